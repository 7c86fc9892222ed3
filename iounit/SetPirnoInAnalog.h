// CSetPirnoInAnalog: the analog input page of the I/O unit window for
// TQ-150-RZ. Besides the notification and sleep settings that the window's
// OK writes, it offers one button per analog input that fetches the
// channel's settings, opens the channel dialog "AIの設定" and, when that is
// confirmed, sends the channel's four commands at once.
//
// Threads: the GUI thread owns the controls. A channel fetch and a channel's
// commands run on one worker at a time (never on the GUI thread); its
// messages block only the worker. From a button press until the channel's
// commands have ended (or the fetch failed, or the dialog was cancelled) the
// page is busy: further presses are refused, and the window refuses its OK
// and Cancel (channelBusyChanged tells it). A press is refused too while the
// window's own write runs (SetWriteRunningQuery).
#pragma once

#include "iounit/AnalogInput.h"
#include "iounit/NotifySleepControls.h"

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class QPushButton;
class QTimer;

namespace Ui {
class CSetPirnoInAnalogForm;
}

class CSetPirnoInAnalog : public QWidget {
    Q_OBJECT
public:
    // The page's 100 ms timer that opens the channel dialog.
    static constexpr int CHANNEL_TIMER_MS = 100;

    explicit CSetPirnoInAnalog(QWidget* parent = nullptr);
    // Waits (serving events) for a running channel worker.
    ~CSetPirnoInAnalog() override;

    Ui::CSetPirnoInAnalogForm* Form() const { return m_ui.get(); }

    // GUI thread, each time the window opens for a model with inputs
    // AI1..AIinputCount: the stored settings shown, the buttons of the other
    // inputs hidden, the enabling rule applied, the timer started.
    void Create(int inputCount);
    // The window closes: the timer stops (a fetched channel whose dialog has
    // not opened yet is dropped).
    void ClosePage();

    // GUI thread.
    AnalogInputFormValues ReadFormValues() const;
    void ShowFormValues(const AnalogInputFormValues& values);
    // The sleep controls follow "スリープ有効".
    void ApplyEnablingRules();

    // Write worker: reads the form on the GUI thread and validates it into
    // TheAnalogInputSettings() (the channel records cleared); on a refused
    // value shows the message (owned by the page) and returns false.
    bool Validate();

    // A fetch, the channel dialog or a channel's commands are in progress.
    bool IsChannelBusy() const { return m_nChannelState.load() != CHANNEL_IDLE; }
    // Asked when an AI button is pressed; true refuses the press.
    void SetWriteRunningQuery(std::function<bool()> query) { m_writeRunning = std::move(query); }

    // The button behind "AIn の設定": fetches channel 0..4 on the worker.
    // False when the press was refused.
    bool FetchChannel(int channel);

signals:
    void channelBusyChanged(bool busy);
    // The operator confirmed the channel dialog of channel 0..4; its
    // commands follow.
    void channelConfirmed(int channel);

private:
    enum ChannelState { CHANNEL_IDLE, CHANNEL_FETCHING, CHANNEL_FETCHED, CHANNEL_DIALOG, CHANNEL_SENDING };

    void OnTimer();
    void SetChannelState(ChannelState state);
    void RunOnWorker(std::function<bool()> job, std::function<void(bool)> done);
    void JoinWorker();

    std::unique_ptr<Ui::CSetPirnoInAnalogForm> m_ui;
    NotifySleepControls m_controls{};
    // What the device reported when the page opened: a list left without a
    // selection writes it back.
    AnalogInputSettings m_device{};
    QPushButton* m_aButtons[AI_CHANNEL_COUNT] = {};
    QTimer* m_pTimer = nullptr;
    std::function<bool()> m_writeRunning;

    std::atomic<int> m_nChannelState{CHANNEL_IDLE};  // written on the GUI thread only
    std::atomic<bool> m_bWorkerRunning{false};
    std::thread m_worker;
};
