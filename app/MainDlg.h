// CKORVELT_RZsetDlg: the main window. The operator chooses the target here;
// the window opens the link, identifies the device and reads its settings on
// a worker, runs the settings window of its kind and closes the link again.
// It also runs the node search.
//
// Threads: the GUI thread only changes controls, starts workers and runs the
// modal windows; it never waits on the link. Every link operation that can
// block (open, send, wait, close) runs on the step worker (one at a time),
// the progress worker (the close of "中止") or, at shutdown, a closer. They
// reach the GUI only through forms/UiThread.h. A step ends in one place:
// the progress worker, which hides the bar, shows the step's one message
// and restores the controls, or posts the completion message to this window.
#pragma once

#include "app/ConnectRules.h"
#include "settings/DeviceKinds.h"
#include "app/PortInventory.h"
#include "app/PortTable.h"
#include "app/SearchNode.h"
#include "wireless/GroupFile.h"

#include <QDialog>
#include <QPointer>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CSearchNode;
class QTimer;
namespace Ui {
class MainDlg;
}

class CKORVELT_RZsetDlg : public QDialog {
    Q_OBJECT
public:
    // inventory lists the serial ports (the platform's by default).
    explicit CKORVELT_RZsetDlg(QWidget* parent = nullptr, PortInventoryFn inventory = ListSerialPorts);
    ~CKORVELT_RZsetDlg() override;

    // ---- operations (GUI thread unless noted) ----
    void UpdateControlStates();
    void RefreshPortLists();
    // Checks the inputs and fills the link's mode, port, host and TCP port as
    // it goes; node number, 0, or -1 after showing the one message.
    int ValidateTarget(bool forSearch);
    void OnConnect();
    void OnNodeSearch();
    // Starts the read of the identified kind on the step worker.
    void StartSettingsRead();
    void OpenSettingsWindow();
    void OnWatchdogTick();
    // Any thread; carried over to the GUI thread in order.
    void RestoreControls();

    // Reply handler of the identification and the search (receive thread).
    static int MainReplyHandler(void* ctx, const unsigned char* reply, int len);

    // ---- shared state ----
    std::atomic<int> m_nTargetNode{0};
    std::atomic<int> m_nBusy{BUSY_IDLE};
    std::atomic<int> m_nPhase{PHASE_NONE};
    std::atomic<int> m_nWatchdog{0};

    // ---- for tests and the program start ----
    Ui::MainDlg* Form() const { return m_ui.get(); }
    QString VersionText() const { return QString::fromStdString(m_strVersion); }
    const PortTable& Ports() const { return m_ports; }
    // The search window while it is open, else null.
    CSearchNode* SearchWindow() const;
    // True while no worker of an earlier step is still running.
    bool WorkersIdle() const;
    // Ends every step in progress: stops and joins the workers, closes the
    // link. Called when the window closes; safe to call twice.
    void Shutdown();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;
    // Posts the completion message of step; ProgressThread calls it (tests
    // override it to lose the message and so reach the watchdog).
    virtual void PostStepDone(int step);

private:
    // How a step's worker ended the step itself (the progress worker then
    // shows the message, closes the link as the case needs and restores).
    enum StepEnd {
        STEP_GOES_ON = 0,     // completion message, or the search window
        STEP_OPEN_FAILED,     // "無線ゲートウェイと接続できません。" / "接続エラー : %d"
        STEP_UNSUPPORTED,     // close, "通信エラー、もしくは対応していないモデルです。"
        STEP_READ_FAILED,     // "設定の取得に失敗しました。", close
        STEP_SEARCH_FAILED,   // "通信エラー : %d" ("SN" not sent), close
    };

    // ---- step workers (one at a time) ----
    void IdentifyThread(int step, int node);
    void ReadThread(int step, IDeviceKind* kind);
    void SearchThread(int step);
    // The worker's last effect: how it ended the step, then the step armed.
    void EndWorker(int end, int error);
    void ProgressThread(int step);
    void FinishStep(int end, int error);
    // GUI thread: runs fn on the step worker; the previous one has ended.
    void StartWorker(std::function<void()> fn);
    // GUI thread: ends the current step from the GUI side: the progress
    // worker of the step ends quietly, the link is closed on the step worker
    // (after linkWork, when given), then onGui and the restore run here.
    void EndStep(std::function<void()> linkWork, std::function<void()> onGui = {});
    // True once the step was ended by "中止", a newer step or the shutdown.
    bool StepCancelled(int step) const;

    void RunNodeSearch(int step);
    void ForgetSearchWindow();
    // GUI thread: the busy look, then the progress worker for the step.
    // armed: the step's commands are already out (else the worker that sends
    // them arms the step once it is done).
    void EnterBusy(bool armed);
    void ApplyBusyLook();
    void ApplyRestore();
    void ShowProgress(bool show);
    // Worker: opens the link; false with *error set on failure.
    bool OpenLink(int* error);
    void CloseLink();
    void Message(const QString& text);
    // Joins workers that have ended (or are ending: past their last effect).
    void JoinWorkers();
    // The identity of the chosen entry, or the trimmed text typed into the
    // list (then also handed back untrimmed in *typed); empty: none.
    std::string SelectedPort(int list, QString* typed = nullptr) const;
    void OnStepDone(int step);
    void AbortStep();

    std::unique_ptr<Ui::MainDlg> m_ui;
    std::string m_strVersion;
    PortTable m_ports;
    PortInventoryFn m_inventory;
    PortWatcher* m_watcher = nullptr;
    QTimer* m_timer = nullptr;
    // Key, IV and cipher context of the wireless settings file, for the run.
    std::unique_ptr<CGroupFileCipher> m_settingsFileCipher;
    std::map<SettingsKind, std::unique_ptr<IDeviceKind>> m_kinds;
    QPointer<CKORVELT_RZsetDlg> m_self;

    QPointer<CSearchNode> m_search;
    std::atomic<int> m_nSearchSession{0};
    bool m_bSearchShown = false;  // GUI thread: the search window's loop runs

    // Per connection: the model was parsed from an "md" of this connection.
    std::atomic<bool> m_bIdentified{false};
    // Per step: its commands are out (or failed) and its worker has finished.
    std::atomic<bool> m_bStepArmed{false};
    // Per step: how its worker ended it (StepEnd) and the error code to show;
    // handed over by m_bStepArmed.
    std::atomic<int> m_nStepEnd{STEP_GOES_ON};
    std::atomic<int> m_nStepError{0};
    // Bumped by every step; a progress worker of an older step ends quietly.
    std::atomic<int> m_nStep{0};
    // The step that "中止" ended; set before its link is closed.
    std::atomic<int> m_nAbortedStep{0};
    std::atomic<bool> m_bShuttingDown{false};
    bool m_bBusyLook = false;  // GUI thread: the button reads "中止"

    std::mutex m_closeMutex;  // one closer of the link at a time
    std::thread m_worker;     // the step worker
    std::thread m_progress;
    std::thread m_closer;     // closes the link at shutdown
    std::atomic<bool> m_bWorkerRunning{false};
    std::atomic<bool> m_bProgressRunning{false};
    std::atomic<bool> m_bCloserRunning{false};
};
