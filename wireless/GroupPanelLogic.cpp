#include "wireless/GroupPanelLogic.h"

#include "forms/WirelessTexts.h"
#include "link/DeviceLink.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Half-width alphanumerics and the blank: what the device takes in a password.
bool IsPasswordChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ';
}

// The first n characters (code points) of a UTF-8 text.
std::string FirstCharacters(const std::string& text, int n) {
    std::size_t i = 0;
    int count = 0;
    while (i < text.size() && count < n) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
        ++count;
    }
    return text.substr(0, i);
}

bool IsChildRole(int role) {
    return role == WG_ROLE_CHILD_FILE || role == WG_ROLE_CHILD_MANUAL;
}

GroupValidation Invalid(const char* message) {
    GroupValidation v;
    v.result = -1;
    v.message = message;
    return v;
}

void PadInto(char* dst, int size, const std::string& text) {
    std::memset(dst, ' ', size);
    std::memcpy(dst, text.data(), std::min<std::size_t>(text.size(), size));
}

}  // namespace

int CountCharacters(const std::string& text) {
    int count = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++count;
    }
    return count;
}

std::string TextUpToZero(const char* bytes, int size) {
    const void* zero = std::memchr(bytes, 0, size);
    const int n = zero ? static_cast<int>(static_cast<const char*>(zero) - bytes) : size;
    return std::string(bytes, n);
}

void ShowRecordInFields(const WirelessGroupRecord& rec, GroupPanelFields* fields) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(rec.groupNumber));
    fields->groupNumber = buf;
    fields->channel = std::to_string(rec.channel);
    fields->encryption = rec.encryptionEnabled != 0;
    if (rec.commMode >= 0 && rec.commMode <= 2) fields->mode = rec.commMode;
    fields->node = std::to_string(rec.nodeNumber);
}

void ShowLoadedRecordInFields(const WirelessGroupRecord& rec, GroupPanelFields* fields) {
    ShowRecordInFields(rec, fields);
    fields->groupPassword = TextUpToZero(rec.groupPassword, sizeof rec.groupPassword);
    fields->encryptionPassword = TextUpToZero(rec.encryptionPassword, sizeof rec.encryptionPassword);
    fields->node.clear();
}

GroupPanelLayout ComputePanelLayout(bool master, int role, bool encryption) {
    GroupPanelLayout l;
    if (!master) return l;  // everything but the master switch hidden
    const bool fromFile = role == WG_ROLE_CHILD_FILE;
    const bool editable = !fromFile;  // parent and child manual
    l.frameVisible = true;
    l.roleButtons = {true, true};
    l.openButton = {fromFile, fromFile};
    l.groupNumber = {role != WG_ROLE_PARENT, role == WG_ROLE_CHILD_MANUAL};
    l.settings = {true, editable};
    l.encryptionPassword = {true, editable && encryption};
    l.node = {true, role != WG_ROLE_PARENT};
    return l;
}

bool ShouldClearNodeField(int role, const std::string& nodeText) {
    if (!IsChildRole(role)) return false;
    const std::string t = TrimText(nodeText);
    if (t.empty()) return false;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
    }
    return ReadNumericField(t, WG_NODE_MAX, false) == 1 && t.size() <= static_cast<std::size_t>(WG_NODE_MAX);
}

GroupValidation ValidateGroupFields(const GroupPanelFields& fields, WirelessGroupRecord* rec) {
    if (!fields.master) return GroupValidation{};  // not requested; nothing read or changed

    const int role = fields.role;

    // Group number.
    if (IsChildRole(role)) {
        const std::string text = TrimText(fields.groupNumber);
        if (role == WG_ROLE_CHILD_MANUAL) {
            const int n = CountCharacters(text);
            if (n < 1 || n > WG_GROUP_NUMBER_MAX) return Invalid(MSG_WG_GROUP_LENGTH);
            for (char c : text) {
                if (!IsHexDigit(c)) return Invalid(MSG_WG_GROUP_CHARS);
            }
        }
        // The file role's field was filled from the file and is disabled.
        rec->groupNumber = ParseHexField(text.c_str(), WG_GROUP_NUMBER_MAX);
        if (rec->groupNumber == GROUP_NONE) return Invalid(MSG_WG_GROUP_FFFFFFFF);
    } else {
        rec->groupNumber = GROUP_NONE;
    }

    // Group registration password.
    {
        const std::string text = TrimText(fields.groupPassword);
        const int n = CountCharacters(text);
        if (n < 1 || n > WG_GROUP_PASSWORD_MAX) return Invalid(MSG_WG_GROUP_PASSWORD_LENGTH);
        for (char c : text) {
            if (!IsPasswordChar(c)) return Invalid(MSG_WG_GROUP_PASSWORD_CHARS);
        }
        PadInto(rec->groupPassword, sizeof rec->groupPassword, text);
    }

    // Channel.
    {
        const std::uint32_t channel = ReadNumericField(fields.channel, WG_CHANNEL_MAX, false);
        rec->channel = static_cast<std::int32_t>(channel);
        if (channel < 1 || channel > 15) return Invalid(MSG_WG_CHANNEL_RANGE);
    }

    // Packet encryption.
    rec->encryptionEnabled = fields.encryption ? 1 : 0;
    if (fields.encryption) {
        const std::string text = TrimText(fields.encryptionPassword);
        if (role != WG_ROLE_CHILD_FILE) {
            const int n = CountCharacters(text);
            if (n < 1 || n > WG_ENCRYPTION_PASSWORD_MAX) return Invalid(MSG_WG_ENCRYPTION_PASSWORD_LENGTH);
        }
        const std::string first = FirstCharacters(text, WG_ENCRYPTION_PASSWORD_MAX);
        for (char c : first) {
            if (!IsPasswordChar(c)) return Invalid(MSG_WG_ENCRYPTION_PASSWORD_CHARS);
        }
        PadInto(rec->encryptionPassword, sizeof rec->encryptionPassword, first);
    }

    // Communication mode.
    rec->commMode = (fields.mode >= 0 && fields.mode <= 2) ? fields.mode : 0;

    // Node number.
    const std::uint32_t node = ReadNumericField(fields.node, WG_NODE_MAX, false);
    rec->nodeNumber = static_cast<std::int32_t>(node);
    GroupValidation v;
    v.result = 1;
    if (role == WG_ROLE_PARENT) {
        rec->nodeNumber = 1;
        v.pendingAction = WG_PENDING_PARENT;
    } else {
        if (node < 2 || node > 254) return Invalid(MSG_WG_NODE_RANGE);
        v.pendingAction = WG_PENDING_CHILD;
    }
    return v;
}

CompletionStep DecideCompletion(int pendingAction) {
    switch (pendingAction) {
    case WG_PENDING_PARENT:
        return CompletionStep::SaveFile;
    case WG_PENDING_CHILD:
        return CompletionStep::RegistrationWait;
    default:
        return CompletionStep::Message;
    }
}

std::string DefaultGroupFileName(std::uint32_t groupNumber) {
    char buf[32];
    std::snprintf(buf, sizeof buf, FMT_WG_DEFAULT_FILE_NAME, static_cast<unsigned>(groupNumber));
    return buf;
}
