// The reply handlers of the gateway and serial converter windows: which
// answers count, the "sp" device error answer, and the filter range stored.
#include "RelayFields.h"
#include "link/ErrorAnswer.h"
#include "settings/GatewayCore.h"
#include "settings/SerialCore.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

int Call(ReplyHandler h, const std::string& reply) { return h(nullptr, U(reply), static_cast<int>(reply.size())); }

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
    const struct {
        std::string bytes;
        int gateway, serial;
    } cases[] = {
        {"g" + T, 0, 0},
        {"gj!!FFFFFFFF01 " + T, 1, 1},
        {"gj!!FF" + T, 1, 1},
        {"ge" + T, 1, 0},
        {"sp" + T, 1, 1},
        {"sj%!05 !!!0D00\"0010" + T, 1, 1},
        {"sj%!" + T, 1, 1},
        {"gk0400" + T, 1, 0},
        {"mr01A60080AB12CDEF" + T, 1, 0},
        {"mr02A60080AB12CDEF" + T, 0, 0},
        {"mr01A60080" + T, 0, 0},
        {"zz" + T, 0, 0},
        {"sp\"00" + T, 0, 0},  // the device error answer: shown, never counted
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Call(&GatewayReplyHandler, c.bytes), c.gateway) << "gateway " << c.bytes;
        EXPECT_EQ(Call(&SerialReplyHandler, c.bytes), c.serial) << "serial " << c.bytes;
    }
    // The raw code character at position 2, held while the box is open.
    EXPECT_EQ(shown, (std::vector<std::string>{"設定送信エラー:SP-22", "設定送信エラー:SP-22"}));
    EXPECT_EQ(codeWhileShown, 0x22);
    EXPECT_EQ(theLink.m_nGroupWriteError.load(), 0);
}

TEST_F(ReplyHandlers, SerialStoresEveryRelayField) {
    // Filter range 00-00 from the device is shown as 01-F7; only both zero.
    ASSERT_EQ(Call(&SerialReplyHandler, "sj%!05\"!!!0D00\"0000" + T), 1);
    EXPECT_EQ(Relay(TheRelaySettings()), (std::vector<int>{5, 2, 0x01, 0xF7, 2, 5, 1, 1, 1, 1, 0x0D, 0}));
    ASSERT_EQ(Call(&SerialReplyHandler, "sj%!05\"!!!0D00\"0500" + T), 1);
    EXPECT_EQ(TheRelaySettings().m_nFilterLow, 0x05);
    EXPECT_EQ(TheRelaySettings().m_nFilterHigh, 0x00);
}

}  // namespace
