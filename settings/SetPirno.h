// CSetPirno: the I/O unit settings window on the shared frame. Besides the
// group panel it hosts, chosen by the model's channel counts, an input page
// (upper right pane) and an output page (lower right pane); it validates and
// writes the pages in page order, and once a write has finished the unit
// gets the reset command "RSET/" after the window has closed, however it
// closed: its owner sends it on a worker (SendResetAfterWrite) before the
// link closes; a window destroyed still open sends it itself.
#pragma once

#include "iounit/AnalogInput.h"
#include "iounit/IoUnitCore.h"
#include "settings/SettingsFrame.h"

#include <atomic>
#include <memory>

class CSetPirnoInAnalog;
class CSetPirnoInDigital;
class CSetPirnoOutDigital;
class CSetPirnoOutAnalog;
class QFrame;

namespace Ui {
class CSetPirnoForm;
}

class CSetPirno : public CSettingsFrame {
    Q_OBJECT
public:
    explicit CSetPirno(QWidget* parent = nullptr);
    ~CSetPirno() override;

    Ui::CSetPirnoForm* Form() const { return m_ui.get(); }
    CSetPirnoInDigital* InDigital() const { return m_pInDigital; }
    CSetPirnoInAnalog* InAnalog() const { return m_pInAnalog; }
    CSetPirnoOutDigital* OutDigital() const { return m_pOutDigital; }
    CSetPirnoOutAnalog* OutAnalog() const { return m_pOutAnalog; }

    // True once a write of this opening has finished without error.
    bool SettingsWritten() const { return m_bSettingsWritten.load(); }

    // Sends "RSET/" when a write of this opening has finished, once; a window
    // that never finished a write sends nothing. Any thread but the GUI
    // thread while the link is open: blocks for the write of the command
    // only (no answer is awaited). Called once the window has closed.
    bool SendResetAfterWrite();

    // Every way of closing ends here: a fetched channel whose dialog has not
    // opened yet is dropped.
    void done(int result) override;

protected:
    void FillForm() override;
    bool ValidateForm() override;
    int WriteDevice(const SendFailedFn& onSendFailed, StepFailure* failure) override;
    void OnWriteSucceeded() override;
    bool FormToProfile(ProfileJson* settings, ProfileError* error) override;
    bool ProfileToForm(const ProfileJson& settings, ProfileError* error) override;
    // The analog input page's channel fetch or channel commands.
    bool IsLinkBusy() const override;

private:
    // A page goes into a pane like the panel into its area: 2 pixels in from
    // the inside's top left, 6 pixels narrower and lower than the inside.
    static void PlaceInPane(QWidget* page, QFrame* pane);

    std::unique_ptr<Ui::CSetPirnoForm> m_ui;
    // The pages exist for every model; only those of the connected model are
    // shown. Children of their panes, deleted with the window.
    CSetPirnoInDigital* m_pInDigital = nullptr;    // input pane
    CSetPirnoInAnalog* m_pInAnalog = nullptr;      // input pane (TQ-150-RZ)
    CSetPirnoOutDigital* m_pOutDigital = nullptr;  // output pane
    CSetPirnoOutAnalog* m_pOutAnalog = nullptr;    // output pane
    std::atomic<bool> m_bSettingsWritten{false};   // set by the write worker
    // The channel settings of a loaded profile (TQ-150-RZ): sent at OK before
    // the pages' writes, as the channel dialog would send them; bit c stands
    // for channel c. A channel the operator confirms in its dialog meanwhile
    // is dropped. Set on the GUI thread while no write runs; the write
    // worker sends and clears them.
    AiChannelSettings m_pendingChannels[AI_CHANNEL_COUNT]{};
    std::atomic<unsigned> m_nPendingChannels{0};
    // GUI thread, for saving a profile: every channel's settings fetched
    // ("AJ", "AK", "TJ") on a worker while the window waits, disabled.
    bool FetchChannels(AiChannelSettings (&out)[AI_CHANNEL_COUNT]);
};
