// CKORVELT_RZsetDlg: the main window. The operator chooses the target here;
// the window opens the link, identifies the device on a worker, reads its
// settings, runs the settings window of its kind and closes the link again.
// It also runs the node search.
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
    // Posts the completion message; ProgressThread calls it (tests override
    // it to lose the message and so reach the watchdog).
    virtual void PostStepDone();

private:
    void IdentifyThread(int step);
    void ProgressThread(int step);
    void RunNodeSearch();
    // GUI thread: the busy look, then the progress worker for the step.
    // armed: the step's commands are already out (else the worker that sends
    // them arms the step once it is done).
    void EnterBusy(bool armed);
    void ApplyBusyLook();
    void ApplyRestore();
    void ShowProgress(bool show);
    // Opens the link; on failure shows the connection message and returns false.
    bool OpenLink();
    void CloseLink();
    void Message(const QString& text);
    void JoinWorkers();
    // The identity of the chosen entry, or the trimmed text typed into the
    // list (then also handed back untrimmed in *typed); empty: none.
    std::string SelectedPort(int list, QString* typed = nullptr) const;
    void OnStepDone();
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

    // Per connection: the model was parsed from an "md" of this connection.
    std::atomic<bool> m_bIdentified{false};
    // Per step: its commands are out (or failed) and its sender has finished.
    std::atomic<bool> m_bStepArmed{false};
    // Bumped by every step; a progress worker of an older step ends quietly.
    std::atomic<int> m_nStep{0};
    // The step that "中止" ended; set before its link is closed.
    std::atomic<int> m_nAbortedStep{0};
    std::atomic<bool> m_bShuttingDown{false};
    bool m_bBusyLook = false;  // GUI thread: the button reads "中止"

    std::mutex m_closeMutex;  // one closer of the link at a time
    std::thread m_identify;
    std::thread m_progress;
    std::atomic<bool> m_bIdentifyRunning{false};
    std::atomic<bool> m_bProgressRunning{false};
};
