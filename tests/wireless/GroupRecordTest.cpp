// The group record's replies and the "GI" command. Its 60-byte image is
// pinned by the settings file's known answer (GroupFileTest).
#include "link/DeviceLink.h"
#include "wireless/GroupPanelLogic.h"
#include "wireless/WirelessGroup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

namespace {

const char T = static_cast<char>(REPLY_TERMINATOR);
using Handler = int (*)(const unsigned char*, int);

int Feed(Handler handler, std::string reply) {
    reply.push_back(T);
    return handler(reinterpret_cast<const unsigned char*>(reply.data()), static_cast<int>(reply.size()));
}

TEST(WirelessRecord, GjReplyOfSixteenBytesIsParsed) {
    std::memset(theWirelessGroup.encryptionPassword, 'x', 32);
    // channel 3, mode 1, group in lower case, node 0x0A, encryption on
    EXPECT_EQ(Feed(OnWirelessGroupReply, "gj#!0012abcd0A!"), 1);
    const WirelessGroupRecord& g = theWirelessGroup;
    EXPECT_EQ(std::make_tuple(g.nodeNumber, g.channel, g.commMode, g.groupNumber, g.encryptionEnabled),
              std::make_tuple(10, 3, 1, 0x0012ABCDu, 1));
    EXPECT_EQ(std::string(g.groupPassword, 8) + std::string(g.encryptionPassword, 32), std::string(8, ' ') + std::string(32, '\0'));
}

// Every "gj" counts as the answer, only one of 16 bytes is parsed (its group
// digits stop at the first non-hex character); a "gi" carries the new group
// only when long enough for it.
TEST(WirelessRecord, GroupNumberFromEachReplyLength) {
    const std::uint32_t kept = 0x11111111u;
    const struct { Handler handler; const char* reply; int counted; std::uint32_t group; } cases[] = {
        {OnWirelessGroupReply, "gj#!0012abcd0A", 1, kept},      {OnWirelessGroupReply, "gj#!0012abcd0A!!", 1, kept},
        {OnWirelessGroupReply, "gj", 1, kept},                  {OnWirelessGroupReply, "gj#!00FFxxxx0A!", 1, 0xFFu},
        {OnWirelessGroupWriteReply, "gi010012abcd  ", 1, 0x0012ABCDu},
        {OnWirelessGroupWriteReply, "gi010012ABC", 0, kept},  // one digit short of the group number
    };
    for (const auto& c : cases) {
        theWirelessGroup.groupNumber = kept;
        EXPECT_EQ(Feed(c.handler, c.reply), c.counted) << c.reply;
        EXPECT_EQ(theWirelessGroup.groupNumber, c.group) << c.reply;
    }
}

std::string Gi(const WirelessGroupRecord& rec) {
    char cmd[GI_COMMAND_SIZE + 1];
    BuildGroupWriteCommand(rec, cmd);
    EXPECT_EQ(cmd[GI_COMMAND_SIZE], '\0');
    return std::string(cmd, GI_COMMAND_SIZE);
}

// "GI": channel and mode as characters from the blank, group and node in
// hex, the group password, encryption on or off, the key in hex byte by byte
// (zero bytes of a key never set included); no zero byte anywhere. A manual
// child's fields validated into the record: trimmed, padded with blanks. A
// group password never set goes as blanks.
TEST(WirelessRecord, GroupWriteCommand) {
    WirelessGroupRecord rec{5, 9, 1, 0x0012ABCDu, 1};
    std::memcpy(rec.groupPassword, "ab 12   ", 8);
    std::memcpy(rec.encryptionPassword, "Key1 ", 5);
    EXPECT_EQ(Gi(rec), "GI)!0012ABCD05ab 12   !4B65793120" + std::string(54, '0') + T);
    const GroupPanelFields manual{.role = WG_ROLE_CHILD_MANUAL, .groupNumber = " 12ab ", .groupPassword = " PA SS",
                                  .channel = "3", .encryption = false, .encryptionPassword = "", .mode = 0, .node = "200"};
    WirelessGroupRecord afterGj;  // its key never set: zero bytes
    ASSERT_EQ(ValidateGroupFields(manual, &afterGj).result, 1);
    EXPECT_EQ(Gi(afterGj), "GI# 000012ABC8PA SS    " + std::string(64, '0') + T);
    EXPECT_EQ(Gi(WirelessGroupRecord{1}).substr(4, 18), "FFFFFFFF01        ");
}

}  // namespace
