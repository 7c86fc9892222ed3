// The frame shared by the device settings windows: title, identity line, the
// embedded wireless group panel, the remote shift, the write worker with its
// progress display, stop requests, device error answers and a lost link.
//
// Threads: the GUI thread owns every widget. OK starts one write worker
// (std::thread), which reaches the GUI through RunOnGuiBlocking or queued
// calls on this window. EndWork() (called by the destructors) keeps
// processing events until the worker has ended, so the GUI thread never
// blocks on a thread that waits for it.
//
// How a write ends (one message at most, the form live only once the worker
// has ended, so whenever the form looks idle it is):
// - every command answered: the completion step of the group panel, then the
//   window closes (or stays, when the step fails);
// - "中止" (OK while writing): the link's current wait ends at once and
//   nothing more is sent (theLink.StopSending); no message, the window stays;
// - a device error answer: its handler has shown the device's own message
//   and ended the wait (LINK_E_ERROR_ANSWER); nothing more is sent, no
//   further message, the window stays;
// - a lost link: the link-lost message, then the window closes with -1;
// - any other failure: "通信エラー", the window stays.
// The close box and Escape during a write stop it the same way and close the
// window once the worker has ended. Nothing is reported as written unless
// every command was answered before a stop.
//
// Device profiles: the window's context menu (and Ctrl+S / Ctrl+O) saves the
// values the form shows to a profile file, after the window's own validation,
// and loads a profile of the same model into the form; nothing is sent until
// OK. Both are unavailable while a write runs.
#pragma once

#include <QDialog>

#include <atomic>
#include <thread>

#include "settings/ProfileDocument.h"
#include "settings/SettingsCore.h"

class CSetSubG;
class QFrame;
class QLabel;
class QAction;
class QProgressBar;
class QPushButton;

class CSettingsFrame : public QDialog {
    Q_OBJECT
public:
    // m_nWriteState
    static constexpr int WRITE_IDLE = 0;
    static constexpr int WRITE_RUNNING = 1;
    static constexpr int WRITE_STOPPED = 2;  // stop requested or write failed
    static constexpr int WRITE_ENDING = 3;   // every command answered; a stop comes too late
    // m_nWriteResult
    static constexpr int RESULT_NONE = 0;
    static constexpr int RESULT_COMM_ERROR = 1;
    static constexpr int RESULT_WRITTEN = 2;
    // Result of the window after the link was lost.
    static constexpr int RESULT_LINK_LOST = -1;

    explicit CSettingsFrame(QWidget* parent);
    ~CSettingsFrame() override;

    // GUI thread, each time before the window runs: title, identity line,
    // panel placement, form filling and the remote shift.
    void OpenWindow();

    CSetSubG* Panel() const { return m_pSubG; }
    int WriteState() const { return m_nWriteState.load(); }
    int WriteResult() const { return m_nWriteResult.load(); }
    // True from OK until the end of the write worker has been dealt with on
    // the GUI thread (form back, messages, completion step).
    bool IsWriteRunning() const { return m_bWorkerRunning.load(); }

    // Cancel, Escape and the close box. While a write worker runs (Cancel is
    // disabled then): a stop request, and the window closes once the worker
    // has ended.
    void reject() override;

    // GUI thread: the two profile actions without their file dialogs. A
    // refusal shows one message (owned by the window); true when done.
    bool SaveProfileTo(const QString& path);
    bool LoadProfileFrom(const QString& path);
    QAction* SaveProfileAction() const { return m_pSaveProfile; }
    QAction* LoadProfileAction() const { return m_pLoadProfile; }

protected:
    // Derived windows call this from their constructor once their form exists.
    void AttachFrame(QFrame* area, QLabel* statusLine, QProgressBar* progress, QPushButton* ok,
                     QPushButton* cancel);
    // Derived destructors call this first: waits (processing events) until
    // the write worker has ended.
    void EndWork();

    // ---- what each window kind supplies ----
    virtual void LimitFields() {}
    virtual void FillForm() = 0;
    // Write worker: read the form (on the GUI thread), validate, show the
    // message (owned by the window) on failure. True when valid.
    virtual bool ValidateForm() = 0;
    // Write worker: the device's write commands; 0 or -1 at the first
    // failing step (SendAndWait), with failure->error set. After a stop or a
    // device error answer every further send fails at once, and
    // IsEndedOnPurpose(failure->error) holds: show no message of your own.
    virtual int WriteDevice(const SendFailedFn& onSendFailed, StepFailure* failure) = 0;
    // After the form was enabled again.
    virtual void OnFormEnabled() {}
    // Write worker, once every command of a write (the group's included) was
    // answered before any stop request, before the window reports the write
    // as done.
    virtual void OnWriteSucceeded() {}
    // GUI thread. The form's values as a profile's settings object, checked
    // with the window's validation (nothing stored, nothing sent); false
    // with the message.
    virtual bool FormToProfile(ProfileJson* settings, ProfileError* error) = 0;
    // GUI thread. Shows a profile's settings in the form; false with the
    // first problem, the form untouched.
    virtual bool ProfileToForm(const ProfileJson& settings, ProfileError* error) = 0;
    // GUI thread: true while a command sequence of the window's own (not its
    // write) is on the link. OK does not start a write, and Cancel and the
    // close box do not close the window, while it is.
    virtual bool IsLinkBusy() const { return false; }
    // GUI thread: such a sequence started or ended. While it runs the
    // progress bar moves in place of the status line and OK and Cancel are
    // disabled.
    void ShowLinkBusy(bool busy);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnOk();
    bool RequestStop();
    void WorkerMain();
    bool RunWrite(int panel);
    void SetFormEnabled(bool enabled);
    void ShowProgress(bool show);
    void OnWorkFinished(bool wrote);
    void OnLinkLost();
    void OnSaveProfile();
    void OnLoadProfile();
    void InstallEnterFilter();
    void JoinWorker();

    CSetSubG* m_pSubG = nullptr;
    QFrame* m_pArea = nullptr;
    QLabel* m_pStatus = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
    QAction* m_pSaveProfile = nullptr;
    QAction* m_pLoadProfile = nullptr;

    std::atomic<int> m_nWriteState{WRITE_IDLE};
    std::atomic<int> m_nWriteResult{RESULT_NONE};
    std::atomic<bool> m_bWorkerRunning{false};  // from OK until OnWorkFinished/OnLinkLost
    std::atomic<bool> m_bThreadActive{false};   // the worker thread has not ended
    bool m_bCloseRequested = false;  // GUI thread: close once the worker has ended
    bool m_bTearingDown = false;     // GUI thread: EndWork has begun
    std::thread m_worker;

    // Geometry as designed, restored before each opening (the remote shift
    // moves it).
    bool m_bGeometrySaved = false;
    QSize m_designSize;
    QList<QPair<QWidget*, QRect>> m_designGeometry;
};
