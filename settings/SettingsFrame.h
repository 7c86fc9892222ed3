// The frame shared by the device settings windows: title, identity line, the
// embedded wireless group panel, the remote shift, the write worker with its
// progress watcher, stop requests, device error answers and a lost link.
//
// Threads: the GUI thread owns every widget. OK starts one write worker
// (std::thread); the worker starts the progress watcher. Both reach the GUI
// through RunOnGuiBlocking (worker only) or queued calls on this window. The
// window refuses to close while a worker runs, and EndWork() (called by the
// destructors) keeps processing events until it has ended, so the GUI thread
// never blocks on a thread that waits for it.
#pragma once

#include <QDialog>

#include <atomic>
#include <thread>

#include "settings/SettingsCore.h"

class CSetSubG;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

class CSettingsFrame : public QDialog {
    Q_OBJECT
public:
    // m_nWriteState
    static constexpr int WRITE_IDLE = 0;
    static constexpr int WRITE_RUNNING = 1;
    static constexpr int WRITE_STOPPED = 2;  // stop requested or write failed
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
    // True from OK until the write worker and its watcher have ended.
    bool IsWriteRunning() const { return m_bWorkerRunning.load(); }

    // Cancel, Escape and the close box: refused while a write worker runs.
    void reject() override;

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
    // Write worker: the device's write commands; 0 or -1.
    virtual int WriteDevice(const SendFailedFn& onSendFailed, StepFailure* failure) = 0;
    // After the form was enabled again.
    virtual void OnFormEnabled() {}
    // Write worker, once every command of a write (the group's included) was
    // answered, before the window reports the write as done.
    virtual void OnWriteSucceeded() {}

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnOk();
    void WorkerMain();
    void WatcherMain();
    void SetFormEnabled(bool enabled);
    void ShowProgress(bool show);
    void OnWorkFinished();
    void OnLinkLost();
    void InstallEnterFilter();
    void JoinWorker();

    CSetSubG* m_pSubG = nullptr;
    QFrame* m_pArea = nullptr;
    QLabel* m_pStatus = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;

    std::atomic<int> m_nWriteState{WRITE_IDLE};
    std::atomic<int> m_nWriteResult{RESULT_NONE};
    std::atomic<bool> m_bWorkerRunning{false};
    std::atomic<bool> m_bWorkerDone{false};  // tells the watcher the worker ended
    std::thread m_worker;
    std::thread m_watcher;  // started and joined by the worker

    // Geometry as designed, restored before each opening (the remote shift
    // moves it).
    bool m_bGeometrySaved = false;
    QSize m_designSize;
    QList<QPair<QWidget*, QRect>> m_designGeometry;
};
