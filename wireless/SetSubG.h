// CSetSubG: the wireless group panel embedded in every settings window.
// A borderless child form; its logic (field rules, validation, the "GI"
// bytes, the completion decision) lives in toolkit-free code beside it.
#pragma once

#include "wireless/GroupPanelLogic.h"

#include <QWidget>

#include <atomic>
#include <memory>

class CSetSubG : public QWidget {
    Q_OBJECT
public:
    explicit CSetSubG(QWidget* parent = nullptr);
    ~CSetSubG() override;

    // GUI thread. What creating the panel does each time its window opens:
    // limits, master switch and parent role checked, the record shown,
    // master switch cleared when the device already has a group, visibility
    // rule applied, pending action 0.
    void InitFromRecord();

    enum ValidationResult { WG_INVALID = -1, WG_NOT_REQUESTED = 0, WG_VALID = 1 };

    // Any thread (normally the write worker): reads the fields on the GUI
    // thread, validates into theWirelessGroup and shows its own message
    // (owned by the panel) when invalid.
    int ValidateWirelessGroup();

    // Write worker: sends "GI" and waits; 0 or -1. A failed send shows
    // "通信エラー : %d".
    int WriteWirelessGroup();

    // GUI thread, after a successful write: the message, the save dialog of
    // a parent's settings file, or the registration wait of a child. True
    // lets the settings window close.
    bool FinishWirelessGroupChange();

    int PendingAction() const { return m_nPendingAction.load(); }

    // GUI thread. The field values as plain data, and back (SetFields
    // applies no rule; its caller does).
    GroupPanelFields Fields() const;
    void SetFields(const GroupPanelFields& fields);

    // GUI thread. The visibility rule (master switch) and the role rule.
    void ApplyVisibility();
    void ApplyRoleRule();

    // GUI thread. The open button: asks for a file, loads it into the
    // record and the fields, and says so.
    void OpenSettingsFile();

private:
    void ApplyLayout();

    struct Ui;
    std::unique_ptr<Ui> m_ui;
    std::atomic<int> m_nPendingAction{0};
    bool m_bFilling = false;  // GUI thread: SetFields is changing the controls
};
