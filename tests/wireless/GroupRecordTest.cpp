#include "link/DeviceLink.h"
#include "wireless/GroupPanelLogic.h"
#include "wireless/WirelessGroup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

namespace {

const char T = static_cast<char>(REPLY_TERMINATOR);

int Feed(int (*handler)(const unsigned char*, int), const std::string& reply) {
    return handler(reinterpret_cast<const unsigned char*>(reply.data()), static_cast<int>(reply.size()));
}

TEST(WirelessRecord, ImageIsLittleEndianInFieldOrder) {
    WirelessGroupRecord r{0x01020304, 15, 2, 0xA1B2C3D4u, 1};
    std::memcpy(r.groupPassword, "pass    ", 8);
    r.encryptionPassword[31] = 'z';
    unsigned char img[WIRELESS_RECORD_IMAGE_SIZE];
    RecordToImage(r, img);
    const unsigned char head[] = {4, 3, 2, 1, 15, 0, 0, 0, 2, 0, 0, 0, 0xD4, 0xC3, 0xB2, 0xA1, 1, 0, 0, 0, 'p', 'a'};
    EXPECT_EQ(std::memcmp(img, head, sizeof head), 0);
    EXPECT_EQ(img[28], 0);
    EXPECT_EQ(img[59], 'z');
}

TEST(WirelessRecord, GjReplyOfSixteenBytesIsParsedOthersOnlyCount) {
    std::memset(theWirelessGroup.encryptionPassword, 'x', 32);
    // channel 3, mode 1, group in lower case, node 0x0A, encryption on
    EXPECT_EQ(Feed(OnWirelessGroupReply, std::string("gj#!0012abcd0A!") + T), 1);
    const WirelessGroupRecord& g = theWirelessGroup;
    EXPECT_EQ(std::make_tuple(g.nodeNumber, g.channel, g.commMode, g.groupNumber, g.encryptionEnabled),
              std::make_tuple(10, 3, 1, 0x0012ABCDu, 1));
    EXPECT_EQ(std::string(g.groupPassword, 8) + std::string(g.encryptionPassword, 32), std::string(8, ' ') + std::string(32, '\0'));

    for (const std::string odd : {"gj#!0012abcd0A", "gj#!0012abcd0A!!", "gj"}) {
        EXPECT_EQ(Feed(OnWirelessGroupReply, odd + T), 1) << odd;
        EXPECT_EQ(theWirelessGroup.groupNumber, 0x0012ABCDu) << odd;
    }
    // Group digits stop at the first non-hex character.
    EXPECT_EQ(Feed(OnWirelessGroupReply, std::string("gj#!00FFxxxx0A!") + T), 1);
    EXPECT_EQ(theWirelessGroup.groupNumber, 0xFFu);
}

TEST(WirelessRecord, GiReplyCarriesTheNewGroupOnlyWhenLongEnough) {
    const struct { std::string reply; int counted; std::uint32_t group; } cases[] = {
        {"gi010012abcd  ", 1, 0x0012ABCDu}, {"gi010012ABC", 0, 0x11111111u},  // one digit short of the group number
    };
    for (const auto& c : cases) {
        theWirelessGroup.groupNumber = 0x11111111u;
        EXPECT_EQ(Feed(OnWirelessGroupWriteReply, c.reply + T), c.counted) << c.reply;
        EXPECT_EQ(theWirelessGroup.groupNumber, c.group) << c.reply;
    }
}

std::string Gi(const WirelessGroupRecord& rec) {
    char cmd[GI_COMMAND_SIZE + 1];
    BuildGroupWriteCommand(rec, cmd);
    EXPECT_EQ(cmd[GI_COMMAND_SIZE], '\0');
    return std::string(cmd, GI_COMMAND_SIZE);
}

// "GI" as the panel builds it: fields validated into the record, then the command.
TEST(WirelessRecord, GroupWriteCommandForEachChildRole) {
    // The file's blank-padded key with a blank inside its group password; a
    // manual child after "GJ" whose key was never set (zero bytes).
    const GroupPanelFields childFile{.role = WG_ROLE_CHILD_FILE, .groupNumber = "0012ABCD", .groupPassword = "ab 12   ",
                                     .channel = "9", .encryption = true, .encryptionPassword = "Key1    ",
                                     .mode = 1, .node = "5"};
    const GroupPanelFields childManual{.role = WG_ROLE_CHILD_MANUAL, .groupNumber = " 12ab ",
                                       .groupPassword = " PA SS", .channel = "3", .encryption = false,
                                       .encryptionPassword = "", .mode = 0, .node = "200"};
    std::string keyHex = "4B657931";
    for (int i = 0; i < 28; ++i) keyHex += "20";
    const struct { GroupPanelFields fields; std::string expected; } cases[] = {
        {childFile, "GI)!0012ABCD05ab 12   !" + keyHex},
        {childManual, "GI# 000012ABC8PA SS    " + std::string(64, '0')},
    };
    for (const auto& c : cases) {
        WirelessGroupRecord rec;
        const GroupValidation v = ValidateGroupFields(c.fields, &rec);
        ASSERT_EQ(v.result, 1) << c.expected << v.message;
        EXPECT_EQ(Gi(rec), c.expected + T);  // no zero byte anywhere
    }
    // A record whose group password was never set still sends no zero byte.
    EXPECT_EQ(Gi(WirelessGroupRecord{1}).substr(4, 18), "FFFFFFFF01        ");
}

}  // namespace
