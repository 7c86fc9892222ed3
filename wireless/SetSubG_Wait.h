// CSetSubG_Wait: the modal "子機として設定" dialog shown after a device was
// written as a child. It polls "GQ" on a worker until the device reports the
// registration's outcome and shows it. Enter is swallowed; "閉じる", Escape
// and the close box end it in any state. Succeeded() is the state at the
// moment the operator closed it; a later answer does not count. The dialog
// goes once the worker has sent its last "GQ" (the GUI thread never waits
// for a send): at most one send after the close.
#pragma once

#include "wireless/RegistrationPoller.h"

#include <QDialog>

#include <memory>

class CSetSubG_Wait : public QDialog {
    Q_OBJECT
public:
    // Starts polling at once (every pollMs).
    explicit CSetSubG_Wait(QWidget* parent = nullptr, int pollMs = REGISTRATION_POLL_MS);
    // Stops the worker (at most one "GQ" send) and leaves the link's awaited
    // count at 0.
    ~CSetSubG_Wait() override;

    int WaitState() const { return m_poller.State(); }
    bool Succeeded() const { return m_poller.State() == WAIT_SUCCEEDED; }
    int Polls() const { return m_poller.Polls(); }

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowOutcome(int state);
    void OnWorkerEnded();

    struct Ui;
    std::unique_ptr<Ui> m_ui;
    CRegistrationPoller m_poller;
    bool m_bClosing = false;  // GUI thread: closed while the worker still ran
    int m_nCloseResult = 0;
};
