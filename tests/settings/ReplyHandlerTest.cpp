// The reply handlers of the gateway and serial converter windows: which
// answers count, what they store, and the "sp" device error answer.
#include "link/ErrorAnswer.h"
#include "settings/GatewayCore.h"
#include "settings/SerialCore.h"
#include "wireless/WirelessGroup.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const std::string T(1, static_cast<char>(REPLY_TERMINATOR));

int Call(ReplyHandler h, const std::string& reply) {
    return h(nullptr, reinterpret_cast<const unsigned char*>(reply.data()), static_cast<int>(reply.size()));
}

class ReplyHandlers : public ::testing::Test {
protected:
    void SetUp() override {
        theLink.ClearSettings();
        SetErrorAnswerPresenter([this](const std::string& text, std::function<void()> closed) {
            shown.push_back(text);
            codeWhileShown = theLink.m_nGroupWriteError.load();
            closed();
        });
    }
    void TearDown() override { SetErrorAnswerPresenter({}); }
    std::vector<std::string> shown;
    int codeWhileShown = -1;
};

TEST_F(ReplyHandlers, Counting) {
    const std::string sj = "sj%!05 !!!0D00\"0010" + T;
    const struct {
        const char* reply;
        std::string bytes;
        int gateway;
        int serial;
    } cases[] = {
        {"too short", "g" + T, 0, 0},
        {"gj 16", "gj!!FFFFFFFF01 " + T, 1, 1},
        {"gj other length", "gj!!FF" + T, 1, 1},
        {"ge", "ge" + T, 1, 0},
        {"sp ok", "sp" + T, 1, 1},
        {"sj", sj, 1, 1},
        {"sj other length", "sj%!" + T, 1, 1},
        {"gk other length", "gk0400" + T, 1, 0},
        {"mr good", "mr01A60080AB12CDEF" + T, 1, 0},
        {"mr other address", "mr02A60080AB12CDEF" + T, 0, 0},
        {"mr other length", "mr01A60080" + T, 0, 0},
        {"unknown", "zz" + T, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Call(&GatewayReplyHandler, c.bytes), c.gateway) << "gateway " << c.reply;
        EXPECT_EQ(Call(&SerialReplyHandler, c.bytes), c.serial) << "serial " << c.reply;
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(ReplyHandlers, SerialStoresEveryRelayField) {
    // Filter range 00-00 from the device is shown as 01-F7.
    ASSERT_EQ(Call(&SerialReplyHandler, "sj%!05\"!!!0D00\"0000" + T), 1);
    RelaySettings& rs = TheRelaySettings();
    EXPECT_EQ(rs.m_nBaudIndex, 5);
    EXPECT_EQ(rs.m_nCharFormat, 1);
    EXPECT_EQ(rs.m_nDestNode, 5);
    EXPECT_EQ(rs.m_nOpMode, 2);
    EXPECT_EQ(rs.m_nPacketFlags, 1);
    EXPECT_EQ(rs.m_nEndChar1, 0x0D);
    EXPECT_EQ(rs.m_nFilterMode, 2);
    EXPECT_EQ(rs.m_nFilterLow, 0x01);
    EXPECT_EQ(rs.m_nFilterHigh, 0xF7);

    ASSERT_EQ(Call(&SerialReplyHandler, "sj%!05\"!!!0D00\"0000" + T), 1);
    ASSERT_EQ(Call(&SerialReplyHandler, "sj%!05\"!!!0D00\"0500" + T), 1);
    EXPECT_EQ(rs.m_nFilterLow, 0x05);  // only both zero are replaced
    EXPECT_EQ(rs.m_nFilterHigh, 0x00);
}

TEST_F(ReplyHandlers, GatewayStoresLanMacAndRelay) {
    ASSERT_EQ(Call(&GatewayReplyHandler, "sj%!05\"!!!0D00\"0A0B" + T), 1);
    ASSERT_EQ(Call(&GatewayReplyHandler, "gk27130400 C0A80001FFFFFF00C0A800FE" + T), 1);
    ASSERT_EQ(Call(&GatewayReplyHandler, "mr01A6AABBCCDDEEFF" + T), 1);
    RelaySettings& rs = TheRelaySettings();
    EXPECT_EQ(rs.m_nDestNode, 5);
    EXPECT_EQ(rs.m_nFilterMode, 0);  // not read by the gateway
    EXPECT_EQ(rs.m_nFilterLow, 0);
    EXPECT_EQ(rs.m_nCommandPort, 10003);
    EXPECT_EQ(FormatAddress(rs.m_dwGateway), "192.168.0.254");
    EXPECT_EQ(FormatMac(m_abMacAddress), "AA-BB-CC-DD-EE-FF");
}

TEST_F(ReplyHandlers, SerialErrorAnswer) {
    // "sp" of six bytes: the code is the raw character at position 2.
    EXPECT_EQ(Call(&SerialReplyHandler, std::string("spA00") + T), 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "設定送信エラー:SP-41");
    EXPECT_EQ(codeWhileShown, 0x41);
    EXPECT_EQ(theLink.m_nGroupWriteError.load(), 0);  // back to 0 once closed
    // The gateway treats the error form alike: never counted as written.
    EXPECT_EQ(Call(&GatewayReplyHandler, std::string("sp\"00") + T), 0);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1], "設定送信エラー:SP-22");
}

TEST_F(ReplyHandlers, GroupAnswersReachThePanelRecord) {
    theWirelessGroup = WirelessGroupRecord{};
    ASSERT_EQ(Call(&SerialReplyHandler, "gj/\"0012ABCD07!" + T), 1);
    EXPECT_EQ(theWirelessGroup.nodeNumber, 7);
    EXPECT_EQ(theWirelessGroup.channel, 15);
    EXPECT_EQ(theWirelessGroup.groupNumber, 0x0012ABCDu);
    // "gi" with the new group number counts; the 6-byte error form does not.
    EXPECT_EQ(Call(&GatewayReplyHandler, "gi!!00ABCDEF" + T), 1);
    EXPECT_EQ(theWirelessGroup.groupNumber, 0x00ABCDEFu);
    EXPECT_EQ(Call(&GatewayReplyHandler, "gi!!%" + T), 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "設定送信エラー:GI-05");
}

}  // namespace
