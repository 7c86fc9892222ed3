#include "link/DeviceLink.h"
#include "link/ErrorAnswer.h"
#include "wireless/GroupPanelLogic.h"
#include "wireless/WirelessGroup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

const char T = static_cast<char>(REPLY_TERMINATOR);

int Feed(int (*handler)(const unsigned char*, int), const std::string& reply) {
    return handler(reinterpret_cast<const unsigned char*>(reply.data()), static_cast<int>(reply.size()));
}

std::string Gi(const WirelessGroupRecord& rec) {
    char cmd[GI_COMMAND_SIZE + 1];
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
    r.encryptionPassword[31] = 'z';
    unsigned char img[WIRELESS_RECORD_IMAGE_SIZE];
    RecordToImage(r, img);
    const unsigned char head[] = {4, 3, 2, 1, 15, 0, 0, 0, 2, 0, 0, 0, 0xD4, 0xC3, 0xB2, 0xA1, 1, 0, 0, 0, 'p', 'a'};
    EXPECT_EQ(std::memcmp(img, head, sizeof head), 0);
    EXPECT_EQ(img[28], 0);
    EXPECT_EQ(img[59], 'z');
    unsigned char again[WIRELESS_RECORD_IMAGE_SIZE];
    RecordToImage(RecordFromImage(img), again);
    EXPECT_EQ(std::memcmp(img, again, sizeof img), 0);
}

TEST(WirelessRecord, GjReplyOfSixteenBytesIsParsedOthersOnlyCount) {
    std::memset(theWirelessGroup.encryptionPassword, 'x', 32);
    // channel 3, mode 1, group in lower case, node 0x0A, encryption on
    EXPECT_EQ(Feed(OnWirelessGroupReply, std::string("gj#!0012abcd0A!") + T), 1);
    EXPECT_EQ(theWirelessGroup.channel, 3);
    EXPECT_EQ(theWirelessGroup.commMode, 1);
    EXPECT_EQ(theWirelessGroup.groupNumber, 0x0012ABCDu);
    EXPECT_EQ(theWirelessGroup.nodeNumber, 10);
    EXPECT_EQ(theWirelessGroup.encryptionEnabled, 1);
    EXPECT_EQ(std::string(theWirelessGroup.groupPassword, 8), "        ");
    EXPECT_EQ(std::string(theWirelessGroup.encryptionPassword, 32), std::string(32, '\0'));

    for (const std::string odd : {"gj#!0012abcd0A", "gj#!0012abcd0A!!", "gj"}) {
        EXPECT_EQ(Feed(OnWirelessGroupReply, odd + T), 1) << odd;
        EXPECT_EQ(theWirelessGroup.groupNumber, 0x0012ABCDu) << odd;
    }
    EXPECT_EQ(Feed(OnWirelessGroupReply, std::string("gi#!0012abcd0A!") + T), 0);
    // Group digits stop at the first non-hex character.
    EXPECT_EQ(Feed(OnWirelessGroupReply, std::string("gj#!00FFxxxx0A!") + T), 1);
    EXPECT_EQ(theWirelessGroup.groupNumber, 0xFFu);
}

TEST(WirelessRecord, GiErrorAnswerHoldsTheCodeWhileItsBoxIsOpenAndIsNotCounted) {
    std::string shown;
    std::function<void()> close;
    SetErrorAnswerPresenter([&](const std::string& text, std::function<void()> closed) {
        shown = text;
        close = std::move(closed);  // the box stays open; nothing blocks
    });
    theWirelessGroup.groupNumber = 0x11111111u;
    EXPECT_EQ(Feed(OnWirelessGroupWriteReply, std::string("gi  *") + T), 0);
    EXPECT_EQ(shown, "設定送信エラー:GI-0A");
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
        {"gi010012ABCD", 1, 0x0012ABCDu},
        {"gi010012abcd  ", 1, 0x0012ABCDu},
        {"gi010012", 0, 0x11111111u},     // shorter than the group number
        {"gi010012ABC", 0, 0x11111111u},  // one digit missing
        {"gj010012ABCD", 0, 0x11111111u}, // not ours
    };
    for (const auto& c : cases) {
        theWirelessGroup.groupNumber = 0x11111111u;
        EXPECT_EQ(Feed(OnWirelessGroupWriteReply, c.reply + T), c.counted) << c.reply;
        EXPECT_EQ(theWirelessGroup.groupNumber, c.group) << c.reply;
    }
}

// "GI" as the panel builds it: fields validated into the record, then the command.
TEST(WirelessRecord, GroupWriteCommandForEachRole) {
    WirelessGroupRecord fromFile;
    fromFile.nodeNumber = 1;
    fromFile.channel = 9;
    fromFile.commMode = 1;
    fromFile.groupNumber = 0x0012ABCDu;
    fromFile.encryptionEnabled = 1;
    std::memcpy(fromFile.groupPassword, "ab 12   ", 8);
    std::memcpy(fromFile.encryptionPassword, "Key1                            ", 32);
    WirelessGroupRecord afterGj;  // encryption password never set: zero bytes
    std::memset(afterGj.groupPassword, ' ', 8);

    GroupPanelFields parent;
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

    std::string keyHex = "4B657931";
    for (int i = 0; i < 28; ++i) keyHex += "20";
    const struct {
        const char* name;
        WirelessGroupRecord start;
        GroupPanelFields fields;
        std::string expected;
    } cases[] = {
        {"parent", afterGj, parent, "GI/\"FFFFFFFF01pw       " + std::string(64, '0')},
        {"child from file", fromFile, childFile, "GI)!0012ABCD05ab 12   !" + keyHex},
        {"child manual after GJ", afterGj, childManual, "GI# 000012ABC8PASS     " + std::string(64, '0')},
    };
    for (const auto& c : cases) {
        WirelessGroupRecord rec = c.start;
        const GroupValidation v = ValidateGroupFields(c.fields, &rec);
        ASSERT_EQ(v.result, 1) << c.name << v.message;
        const std::string gi = Gi(rec);
        EXPECT_EQ(gi, c.expected + T) << c.name;
        EXPECT_EQ(gi.find('\0'), std::string::npos) << c.name;
    }
    // A record whose group password was never set still sends no zero byte.
    WirelessGroupRecord blank;
    blank.nodeNumber = 1;
    EXPECT_EQ(Gi(blank).substr(4, 18), "FFFFFFFF01        ");
}

}  // namespace
