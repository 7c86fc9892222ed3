#include "wireless/GroupPanelLogic.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

namespace {

GroupPanelFields Valid(int role) {
    return {.role = role, .groupNumber = "0012ABCD", .groupPassword = "pw", .channel = "5", .encryption = true,
            .encryptionPassword = "Secret", .mode = 1, .node = "5"};
}

TEST(GroupValidation, MessagesInOrder) {
    using Edit = std::function<void(GroupPanelFields&)>;
    const int P = WG_ROLE_PARENT, CF = WG_ROLE_CHILD_FILE, CM = WG_ROLE_CHILD_MANUAL;
    const struct { const char* name; int role; Edit edit; std::string message; /* empty: valid */ } cases[] = {
        {"manual empty group", CM, [](auto& f) { f.groupNumber = "  "; }, "グループ番号を正しく設定してください。"},
        {"manual 12G4", CM, [](auto& f) { f.groupNumber = "12G4"; }, "グループ番号に使用できない文字が含まれています。"},
        {"manual ffffffff", CM, [](auto& f) { f.groupNumber = "ffffffff"; }, "グループ番号としてFFFFFFFFは設定できません。"},
        {"file text not checked by character", CF, [](auto& f) { f.groupNumber = "12G4"; }, ""},
        {"parent ignores the group field", P, [](auto& f) { f.groupNumber = "zz"; }, ""},
        {"group before password", CM, [](auto& f) { f.groupNumber = "x"; f.groupPassword = ""; }, "グループ番号に使用できない文字が含まれています。"},
        {"empty password", P, [](auto& f) { f.groupPassword = "   "; }, "グループ登録パスワードは1-8文字で設定してください。"},
        {"password full-width", CF, [](auto& f) { f.groupPassword = "ｐｗ"; }, "グループ登録パスワードはすべて半角英数で設定してください。"},
        {"9 full-width characters", CF, [](auto& f) { f.groupPassword = "ａａａａａａａａａ"; }, "グループ登録パスワードは1-8文字で設定してください。"},
        {"password before channel", P, [](auto& f) { f.groupPassword = "a_"; f.channel = "0"; }, "グループ登録パスワードはすべて半角英数で設定してください。"},
        {"channel 16", CM, [](auto& f) { f.channel = "16"; }, "通信チャンネルは1-15の範囲で設定してください。"},
        {"channel 15", CM, [](auto& f) { f.channel = " 15 "; }, ""},
        {"channel before encryption", P, [](auto& f) { f.channel = "99"; f.encryptionPassword = ""; }, "通信チャンネルは1-15の範囲で設定してください。"},
        {"parent empty key", P, [](auto& f) { f.encryptionPassword = ""; }, "暗号化パスワードは1-32文字で設定してください。"},
        {"file empty key passes", CF, [](auto& f) { f.encryptionPassword = ""; }, ""},
        {"file key symbol", CF, [](auto& f) { f.encryptionPassword = "a!b"; }, "暗号化パスワードははすべて半角英数で設定してください。"},
        {"key not looked at when off", P, [](auto& f) { f.encryption = false; f.encryptionPassword = "!"; }, ""},
        {"key before node", CM, [](auto& f) { f.encryptionPassword = "#"; f.node = "1"; }, "暗号化パスワードははすべて半角英数で設定してください。"},
        {"child node 1", CF, [](auto& f) { f.node = "1"; }, "ノード番号は2-254の範囲内で設定してください。"},
        {"child node 254", CM, [](auto& f) { f.node = "254"; }, ""},
        {"parent any node", P, [](auto& f) { f.node = "999"; }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GroupPanelFields f = Valid(c.role);
        c.edit(f);
        WirelessGroupRecord rec;
        const GroupValidation v = ValidateGroupFields(f, &rec);
        EXPECT_EQ(std::make_tuple(v.result, v.message), std::make_tuple(c.message.empty() ? 1 : -1, c.message));
        if (v.result == 1) { EXPECT_EQ(v.pendingAction, c.role == P ? WG_PENDING_PARENT : WG_PENDING_CHILD); }
    }
}

// The node field is emptied only for a child at the parent's number.
TEST(GroupPanelRules, NodeFieldOfAChild) {
    const struct { int role; const char* text; bool clear; } cases[] = {
        {WG_ROLE_CHILD_FILE, "1", true}, {WG_ROLE_CHILD_MANUAL, " 1 ", true}, {WG_ROLE_CHILD_MANUAL, "01", true},
        {WG_ROLE_CHILD_MANUAL, "", false}, {WG_ROLE_CHILD_MANUAL, "10", false}, {WG_ROLE_PARENT, "1", false},
    };
    for (const auto& c : cases) EXPECT_EQ(ShouldClearNodeField(c.role, c.text), c.clear) << c.role << c.text;
}

}  // namespace
