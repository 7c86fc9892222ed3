// The group panel's rules over plain field values: what the fields show for
// a record, which controls are visible and enabled, the validation with its
// exact messages, and the step after a successful write. Toolkit-free.
#pragma once

#include "wireless/WirelessGroup.h"

#include <cstdint>
#include <string>

// Role radio buttons.
constexpr int WG_ROLE_PARENT = 0;
constexpr int WG_ROLE_CHILD_FILE = 1;
constexpr int WG_ROLE_CHILD_MANUAL = 2;

// m_nPendingAction: what the last successful validation prepared.
constexpr int WG_PENDING_NONE = 0;
constexpr int WG_PENDING_PARENT = 1;
constexpr int WG_PENDING_CHILD = 2;

// Field limits (characters).
constexpr int WG_GROUP_NUMBER_MAX = 8;
constexpr int WG_GROUP_PASSWORD_MAX = 8;
constexpr int WG_CHANNEL_MAX = 2;
constexpr int WG_ENCRYPTION_PASSWORD_MAX = 32;
constexpr int WG_NODE_MAX = 3;

// The panel's field values (texts in UTF-8, untrimmed as typed).
struct GroupPanelFields {
    bool master = true;
    int role = WG_ROLE_PARENT;
    std::string groupNumber;
    std::string groupPassword;
    std::string channel;
    bool encryption = false;
    std::string encryptionPassword;
    int mode = 0;  // 0 高速, 1 中距離, 2 長距離
    std::string node;
};

// What the fields show for a record; the two passwords are left as they were.
void ShowRecordInFields(const WirelessGroupRecord& rec, GroupPanelFields* fields);

// After a file was loaded: the record shown, both passwords up to their
// first zero byte, the node number emptied (the file holds the parent's).
void ShowLoadedRecordInFields(const WirelessGroupRecord& rec, GroupPanelFields* fields);

// A fixed-size, possibly unterminated text up to its first zero byte.
std::string TextUpToZero(const char* bytes, int size);

struct ControlState {
    bool visible = false;
    bool enabled = false;
    bool operator==(const ControlState&) const = default;
};

// Every control but the master switch, for the visibility and role rules.
struct GroupPanelLayout {
    ControlState roleButtons;         // the three role radio buttons
    ControlState openButton;
    ControlState groupNumber;         // label and field
    ControlState settings;            // group password, channel, encryption box, mode radios and their labels
    ControlState encryptionPassword;  // the field (its label goes with settings)
    ControlState node;                // label and field
    bool frameVisible = false;
    bool operator==(const GroupPanelLayout&) const = default;
};

GroupPanelLayout ComputePanelLayout(bool master, int role, bool encryption);

// True when the role rule must empty the node number field: a child role and
// the field holding the decimal value 1 (the parent's node number).
bool ShouldClearNodeField(int role, const std::string& nodeText);

struct GroupValidation {
    int result = 0;       // CSetSubG::ValidationResult: -1 invalid, 0 not requested, 1 valid
    std::string message;  // the message to show when invalid
    int pendingAction = WG_PENDING_NONE;  // meaningful when valid
};

// Validates fields in the fixed order, assigning rec as it goes (fields
// assigned before a failing step keep their new values).
GroupValidation ValidateGroupFields(const GroupPanelFields& fields, WirelessGroupRecord* rec);

// What the completion step does.
enum class CompletionStep { Message, SaveFile, RegistrationWait };
CompletionStep DecideCompletion(int pendingAction);

// "KORZ_%08X.krz".
std::string DefaultGroupFileName(std::uint32_t groupNumber);

// UTF-8 code points in text.
int CountCharacters(const std::string& text);
