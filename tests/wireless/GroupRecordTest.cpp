#include "link/DeviceLink.h"
#include "link/ErrorAnswer.h"
#include "wireless/GroupPanelLogic.h"
#include "wireless/WirelessGroup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

std::string Reply(const std::string& body) {
    return body + static_cast<char>(REPLY_TERMINATOR);
}

int Feed(int (*handler)(const unsigned char*, int), const std::string& reply) {
    return handler(reinterpret_cast<const unsigned char*>(reply.data()), static_cast<int>(reply.size()));
}

std::string Gi(const WirelessGroupRecord& rec) {
    char cmd[GI_COMMAND_SIZE + 1];
    std::memset(cmd, 0x7F, sizeof cmd);
    BuildGroupWriteCommand(rec, cmd);
    EXPECT_EQ(cmd[GI_COMMAND_SIZE], '\0');
    return std::string(cmd, GI_COMMAND_SIZE);
}

TEST(WirelessRecord, ImageIsLittleEndianInFieldOrder) {
    WirelessGroupRecord r;
    r.nodeNumber = 0x01020304;
    r.channel = 15;
    r.commMode = 2;
    r.groupNumber = 0xA1B2C3D4u;
    r.encryptionEnabled = 1;
    std::memcpy(r.groupPassword, "pass    ", 8);
    std::memset(r.encryptionPassword, 0, 32);
    r.encryptionPassword[31] = 'z';
    unsigned char img[WIRELESS_RECORD_IMAGE_SIZE];
    RecordToImage(r, img);
    const unsigned char head[20] = {4, 3, 2, 1, 15, 0, 0, 0, 2, 0, 0, 0, 0xD4, 0xC3, 0xB2, 0xA1, 1, 0, 0, 0};
    EXPECT_EQ(std::memcmp(img, head, 20), 0);
    EXPECT_EQ(std::memcmp(img + 20, "pass    ", 8), 0);
    EXPECT_EQ(img[28], 0);
    EXPECT_EQ(img[59], 'z');
    const WirelessGroupRecord back = RecordFromImage(img);
    EXPECT_EQ(back.nodeNumber, r.nodeNumber);
    EXPECT_EQ(back.groupNumber, r.groupNumber);
    EXPECT_EQ(std::memcmp(back.encryptionPassword, r.encryptionPassword, 32), 0);
}

TEST(WirelessRecord, GjReplyOfSixteenBytesIsParsedOthersOnlyCount) {
    theWirelessGroup = WirelessGroupRecord{};
    std::memset(theWirelessGroup.encryptionPassword, 'x', 32);
    // channel 3, mode 1, group in lower case, node 0x0A, encryption on
    const std::string gj = Reply(std::string("gj#!0012abcd0A!"));
    ASSERT_EQ(gj.size(), 16u);
    EXPECT_EQ(Feed(OnWirelessGroupReply, gj), 1);
    EXPECT_EQ(theWirelessGroup.channel, 3);
    EXPECT_EQ(theWirelessGroup.commMode, 1);
    EXPECT_EQ(theWirelessGroup.groupNumber, 0x0012ABCDu);
    EXPECT_EQ(theWirelessGroup.nodeNumber, 10);
    EXPECT_EQ(theWirelessGroup.encryptionEnabled, 1);
    EXPECT_EQ(std::string(theWirelessGroup.groupPassword, 8), "        ");
    EXPECT_EQ(std::string(theWirelessGroup.encryptionPassword, 32), std::string(32, '\0'));

    const WirelessGroupRecord before = theWirelessGroup;
    for (const std::string& odd : {Reply("gj#!0012abcd0A"), Reply("gj#!0012abcd0A!!"), Reply("gj")}) {
        EXPECT_EQ(Feed(OnWirelessGroupReply, odd), 1) << odd.size();
        EXPECT_EQ(theWirelessGroup.groupNumber, before.groupNumber);
        EXPECT_EQ(theWirelessGroup.channel, before.channel);
    }
    // Not ours.
    EXPECT_EQ(Feed(OnWirelessGroupReply, Reply("gi#!0012abcd0A!")), 0);

    // Group digits stop at the first non-hex character.
    EXPECT_EQ(Feed(OnWirelessGroupReply, Reply("gj#!00FFxxxx0A!")), 1);
    EXPECT_EQ(theWirelessGroup.groupNumber, 0xFFu);
}

TEST(WirelessRecord, GiErrorAnswerIsShownNotCountedAndHoldsTheCodeWhileOpen) {
    std::string shown;
    int codeWhileShown = -1;
    std::function<void()> close;
    SetErrorAnswerPresenter([&](const std::string& text, std::function<void()> closed) {
        shown = text;
        codeWhileShown = theLink.m_nGroupWriteError.load();
        close = std::move(closed);  // the box stays open; nothing blocks
    });
    theWirelessGroup.groupNumber = 0x11111111u;
    EXPECT_EQ(Feed(OnWirelessGroupWriteReply, Reply("gi\x20\x20\x2A")), 0);  // code 0x0A
    EXPECT_EQ(shown, "設定送信エラー:GI-0A");
    EXPECT_EQ(codeWhileShown, 0x0A);
    EXPECT_EQ(theLink.m_nGroupWriteError.load(), 0x0A);
    ASSERT_TRUE(close);
    close();
    EXPECT_EQ(theLink.m_nGroupWriteError.load(), 0);
    EXPECT_EQ(theWirelessGroup.groupNumber, 0x11111111u);
    SetErrorAnswerPresenter({});
}

TEST(WirelessRecord, GiReplyCarriesTheNewGroupOnlyWhenLongEnough) {
    const struct {
        std::string reply;
        int counted;
        std::uint32_t group;
    } cases[] = {
        {Reply("gi  0012ABCD"), 1, 0x0012ABCDu},
        {Reply("gi  0012abcd  "), 1, 0x0012ABCDu},
        {Reply("gi  0012"), 0, 0x11111111u},       // shorter than the group number
        {Reply("gi  0012ABC"), 0, 0x11111111u},    // one digit missing
        {Reply("gj  0012ABCD"), 0, 0x11111111u},   // not ours
    };
    for (const auto& c : cases) {
        theWirelessGroup.groupNumber = 0x11111111u;
        EXPECT_EQ(Feed(OnWirelessGroupWriteReply, c.reply), c.counted) << c.reply;
        EXPECT_EQ(theWirelessGroup.groupNumber, c.group) << c.reply;
    }
}

// "GI" bytes for each role, built the way the panel builds them: the fields
// validated into the record, the record turned into the command.
TEST(WirelessRecord, GroupWriteCommandForEachRole) {
    WirelessGroupRecord fromFile;
    fromFile.nodeNumber = 1;
    fromFile.channel = 9;
    fromFile.commMode = 1;
    fromFile.groupNumber = 0x0012ABCDu;
    fromFile.encryptionEnabled = 1;
    std::memcpy(fromFile.groupPassword, "ab 12   ", 8);
    std::memcpy(fromFile.encryptionPassword, "Key1                            ", 32);

    // After a "GJ" read with encryption off: encryption password all zero.
    WirelessGroupRecord afterGj;
    std::memset(afterGj.groupPassword, ' ', 8);
    std::memset(afterGj.encryptionPassword, 0, 32);

    GroupPanelFields parent;
    parent.role = WG_ROLE_PARENT;
    parent.groupNumber = "00000005";
    parent.groupPassword = "pw";
    parent.channel = "15";
    parent.mode = 2;
    parent.node = "77";

    GroupPanelFields childFile;
    ShowLoadedRecordInFields(fromFile, &childFile);
    childFile.role = WG_ROLE_CHILD_FILE;
    childFile.node = "5";

    GroupPanelFields childManual;
    childManual.role = WG_ROLE_CHILD_MANUAL;
    childManual.groupNumber = " 12ab ";
    childManual.groupPassword = "PASS";
    childManual.channel = "3";
    childManual.node = "200";

    const std::string keyHex = "4B657931" + [] {
        std::string s;
        for (int i = 0; i < 28; ++i) s += "20";
        return s;
    }();
    const struct {
        const char* name;
        WirelessGroupRecord start;
        GroupPanelFields fields;
        std::string expected;  // without the terminator
    } cases[] = {
        {"parent", afterGj, parent,
         std::string("GI/\"FFFFFFFF01pw      ") + " " + std::string(64, '0')},
        {"child from file", fromFile, childFile,
         std::string("GI)!0012ABCD05ab 12   ") + "!" + keyHex},
        {"child manual after GJ", afterGj, childManual,
         std::string("GI# 000012ABC8PASS    ") + " " + std::string(64, '0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WirelessGroupRecord rec = c.start;
        const GroupValidation v = ValidateGroupFields(c.fields, &rec);
        ASSERT_EQ(v.result, 1) << v.message;
        const std::string gi = Gi(rec);
        EXPECT_EQ(gi.substr(0, 87), c.expected);
        EXPECT_EQ(static_cast<unsigned char>(gi[87]), REPLY_TERMINATOR);
        EXPECT_EQ(gi.find('\0'), std::string::npos);
    }
}

TEST(WirelessRecord, ParentAlwaysAsksForANewGroupAndNeverSendsAZeroByte) {
    WirelessGroupRecord r;  // passwords never set: all zero bytes
    r.nodeNumber = 1;
    r.groupNumber = 0x0012ABCDu;
    r.channel = 1;
    const std::string gi = Gi(r);
    EXPECT_EQ(gi.substr(4, 10), "FFFFFFFF01");
    EXPECT_EQ(gi.substr(14, 8), "        ");
    EXPECT_EQ(gi.find('\0'), std::string::npos);
}

}  // namespace
