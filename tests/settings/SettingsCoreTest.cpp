// The relay record's wire forms, the gateway's LAN and MAC answers, the
// address text and the window title; the reply handlers of both windows
// (which answers count, the "sp" device error answer, the filter range
// stored); the forms' validation: order of the checks, exact messages and
// the values collected.
#include "forms/SettingsTexts.h"
#include "link/ErrorAnswer.h"
#include "settings/GatewayCore.h"
#include "settings/SerialCore.h"
#include "settings/SettingsCore.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const std::string T(1, static_cast<char>(REPLY_TERMINATOR));

const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// The twelve relay fields in record order: node, filter mode, low, high,
// mode, baud, format, flow, time-out, flags, end characters.
std::vector<int> Relay(const RelaySettings& r) {
    return {r.m_nDestNode,     r.m_nFilterMode,  r.m_nFilterLow,  r.m_nFilterHigh, r.m_nOpMode,   r.m_nBaudIndex,
            r.m_nCharFormat,   r.m_nFlowControl, r.m_nTimeoutIndex, r.m_nPacketFlags, r.m_nEndChar1, r.m_nEndChar2};
}

TEST(RelayCodec, CommandBytes) {
    // 9600, 10ms, one end character 0D, filter 01-F7.
    const RelaySettings serial{.m_nDestNode = 3, .m_nFilterLow = 0x01, .m_nFilterHigh = 0xF7, .m_nBaudIndex = 5,
                               .m_nTimeoutIndex = 1, .m_nPacketFlags = 1, .m_nEndChar1 = 0x0D};
    // The node cut to its last two digits; a baud character that would be
    // the terminator goes out as 0.
    RelaySettings big = serial;
    big.m_nDestNode = 0x1FE, big.m_nEndChar2 = 0x100, big.m_nBaudIndex = 0xC8 - 0x20;
    const RelaySettings lan{.m_dwIpAddress = AddressFromOctets(192, 168, 0, 1), .m_dwSubnetMask = AddressFromOctets(255, 255, 255, 0),
                            .m_dwGateway = AddressFromOctets(192, 168, 0, 254), .m_nCommandPort = 10003, .m_nSerialPort = 1024};
    EXPECT_EQ(BuildRelayCommand(serial), "SP% 03  !!0D00 01F7" + T);
    EXPECT_EQ(BuildRelayCommand(RelaySettings{}), "SP  00    0000 0000" + T);
    EXPECT_EQ(BuildRelayCommand(big), "SP  FE  !!0D00 01F7" + T);
    // The gateway sends neither the baud rate nor the filter.
    EXPECT_EQ(BuildGatewayRelayCommand({.m_nDestNode = 5, .m_nFilterLow = 0x22, .m_nBaudIndex = 7}), "SP  05    0000 0000" + T);
    EXPECT_EQ(BuildLanCommand(lan), "GE27130400 C0A80001FFFFFF00C0A800FE" + T);
}

// Each answer is parsed only at its own length; another length leaves the
// record alone.
TEST(RelayCodec, AnswerParsing) {
    const std::string sj = "sj)#1A\"!%)0D0A\"10E7" + T, gk = "gk27130400 C0A80001FFFFFF00C0A800FE" + T;
    RelaySettings full{}, lan{}, untouched{};
    ASSERT_TRUE(ParseRelayAnswer(U(sj), 20, full, true));
    EXPECT_EQ(Relay(full), (std::vector<int>{0x1A, 2, 0x10, 0xE7, 2, 9, 3, 1, 5, 9, 0x0D, 0x0A}));
    ASSERT_TRUE(ParseLanAnswer(U(gk), 36, lan));
    EXPECT_EQ((std::vector<int>{lan.m_nCommandPort, lan.m_nSerialPort}), (std::vector<int>{10003, 1024}));
    EXPECT_EQ(FormatAddress(lan.m_dwSubnetMask) + " " + FormatAddress(lan.m_dwGateway), "255.255.255.0 192.168.0.254");
    EXPECT_EQ(std::memcmp(&lan.m_dwIpAddress, "\xC0\xA8\x00\x01", 4), 0);  // first octet in the lowest-addressed byte
    for (int len : {19, 21, 3}) EXPECT_FALSE(ParseRelayAnswer(U(sj), len, untouched, true)) << len;
    EXPECT_FALSE(ParseLanAnswer(U(gk), 35, untouched));
    EXPECT_EQ(Relay(untouched), std::vector<int>(12, 0));
    EXPECT_EQ(untouched.m_nCommandPort + untouched.m_nSerialPort, 0);
    const struct { std::string reply; int len; bool taken; } macs[] = {  // len: at most the reply's own
        {"mr01A70080AB12CDEF" + T, 19, true}, {"mr01B60080AB12CDEF" + T, 19, false},  // only "01A" compared
        {"mr01A60080AB12CDEF0" + T, 20, false}, {"mr01A60080AB12CDEF" + T, 18, false},  // 18: the length says shorter
    };
    for (const auto& c : macs) {
        unsigned char mac[6] = {1, 2, 3, 4, 5, 6};
        EXPECT_EQ(ParseMacAnswer(U(c.reply), c.len, mac), c.taken) << c.reply << c.len;
        EXPECT_EQ(FormatMac(mac), c.taken ? "00-80-AB-12-CD-EF" : "01-02-03-04-05-06") << c.reply << c.len;
    }
}

TEST(RelayCodec, AddressText) {
    std::uint32_t stored = 0;
    for (const char* good : {"192.168.0.1", "0.0.0.0", "255.255.255.255"})
        EXPECT_TRUE(ParseAddress(good, &stored) && FormatAddress(stored) == good) << good;
    for (const char* bad : {"256.1.1.1", "1.2.3", "1.2.3.4.5", "1..3.4", "a.b.c.d", "", "1.2.3.4 ", "01.2.3.4", "1.2.3.1000", "-1.2.3.4"})
        EXPECT_FALSE(ParseAddress(bad, &stored)) << bad;
}

TEST(SettingsTitle, RemoteOrGroupNodeShown) {
    EXPECT_EQ(FormatSettingsTitle("RG", 0, 0) + "|" + FormatSettingsTitle("RG", 0, 255), "RG の設定|RG の設定");
    EXPECT_EQ(FormatSettingsTitle("RG", 0, 254) + "|" + FormatSettingsTitle("RG", 7, 3), "RG ( node : 254 ) の設定|RG ( node : 7 ) の設定");
}

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
    std::vector<std::string> shown;  // the error boxes' texts
    int codeWhileShown = -1;
};

TEST_F(ReplyHandlers, Counting) {
    const struct { std::string bytes; int gateway, serial; } cases[] = {
        {"g" + T, 0, 0},          {"gj!!FFFFFFFF01 " + T, 1, 1}, {"gj!!FF" + T, 1, 1},
        {"ge" + T, 1, 0},         {"sp" + T, 1, 1},              {"sj%!05 !!!0D00\"0010" + T, 1, 1},
        {"sj%!" + T, 1, 1},       {"gk0400" + T, 1, 0},          {"mr01A60080AB12CDEF" + T, 1, 0},
        {"mr02A60080AB12CDEF" + T, 0, 0}, {"mr01A60080" + T, 0, 0}, {"zz" + T, 0, 0},
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
    EXPECT_EQ(std::make_pair(TheRelaySettings().m_nFilterLow, TheRelaySettings().m_nFilterHigh), std::make_pair(0x05, 0x00));
}

std::string Msg(const char* m) { return m ? m : "(valid)"; }

// One edit of a valid form and the message it must give (null: valid).
template <class F>
struct EditCase { const char* name; void (*edit)(F&); const char* message; };

TEST(GatewayValidation, MessagesInOrder) {
    using F = GatewayFormValues;
    const EditCase<F> cases[] = {
        {"valid", [](F&) {}, nullptr}, {"command port 1023", [](F& f) { f.commandPort = "1023"; }, MSG_PORT_RANGE},
        {"empty port", [](F& f) { f.serialPort = ""; }, MSG_PORT_RANGE},
        {"range before equality", [](F& f) { f.commandPort = f.serialPort = "1023"; }, MSG_PORT_RANGE},
        {"equal ports", [](F& f) { f.commandPort = "1024"; }, MSG_PORTS_EQUAL},
        {"equal before node", [](F& f) { f.commandPort = "1024"; f.destNode = "255"; }, MSG_PORTS_EQUAL},
        {"node 255", [](F& f) { f.destNode = "255"; }, MSG_DEST_NODE_RANGE},
        {"node negative", [](F& f) { f.destNode = "-1"; }, MSG_DEST_NODE_RANGE},
        {"empty node is 0", [](F& f) { f.destNode = ""; }, nullptr},
        {"node before address", [](F& f) { f.destNode = "300"; f.ipAddress = "x"; }, MSG_DEST_NODE_RANGE},
        {"bad ip", [](F& f) { f.ipAddress = "192.168.0"; }, MSG_NETWORK_ADDRESS},
        {"bad gateway", [](F& f) { f.defaultGateway = ""; }, MSG_NETWORK_ADDRESS},
        {"zeros accepted", [](F& f) { f.ipAddress = f.subnetMask = f.defaultGateway = "0.0.0.0"; }, nullptr},
        {"blanks around address", [](F& f) { f.ipAddress = " 10.0.0.1 "; }, nullptr},
    };
    for (const auto& c : cases) {
        F f{"5", "10003", " 1024", "192.168.0.1", "255.255.255.0", "192.168.0.254"};
        c.edit(f);
        RelaySettings rs{};
        EXPECT_EQ(Msg(ValidateGatewayForm(f, rs)), Msg(c.message)) << c.name;
    }
}

RelaySettings Device() { return {.m_nFilterLow = 1, .m_nFilterHigh = 0xF7, .m_nBaudIndex = 5}; }

SerialFormValues GoodSerial() { auto f = SerialFormFromSettings(Device()); f.destNode = "3"; return f; }

// One edit of a valid form: the message (in the checks' order), and for
// some valid forms the packetising collected (flags, end characters) and the
// first end character's text afterwards.
TEST(SerialValidation, MessagesInOrderAndPacketising) {
    using F = SerialFormValues;
    const struct { const char* name; void (*edit)(F&); const char* message; std::vector<int> packet; const char* first; } cases[] = {
        {"valid", [](F&) {}, nullptr}, {"node 255", [](F& f) { f.destNode = "255"; }, MSG_DEST_NODE_RANGE},
        {"node 999 before 7N1", [](F& f) { f.destNode = "999"; f.dataBits = 1; }, MSG_DEST_NODE_RANGE},
        {"empty node", [](F& f) { f.destNode = ""; }, nullptr},
        {"7N1", [](F& f) { f.dataBits = 1; }, MSG_CHAR_FORMAT_7N1},
        {"7N2", [](F& f) { f.dataBits = 1; f.stopBits = 1; }, nullptr},
        {"7N1 before filter", [](F& f) { f.dataBits = 1; f.filterLow = "00"; }, MSG_CHAR_FORMAT_7N1},
        {"filter 00", [](F& f) { f.filterLow = "00"; }, MSG_FILTER_RANGE},
        {"filter empty", [](F& f) { f.filterHigh = ""; }, MSG_FILTER_RANGE},
        {"range before order", [](F& f) { f.filterLow = "F8"; f.filterHigh = "01"; }, MSG_FILTER_RANGE},
        {"order", [](F& f) { f.filterLow = "10"; f.filterHigh = "0a"; }, MSG_FILTER_ORDER},
        {"equal ends", [](F& f) { f.filterLow = f.filterHigh = "0a"; }, nullptr},
        {"one end", [](F& f) { f.endCharEnabled = true, f.endChar1 = "0D"; }, nullptr, {1, 0x0D, 0}, "0D"},
        {"two ends", [](F& f) { f.endCharEnabled = true, f.endChar1 = "0d", f.endChar2 = "0A"; }, nullptr, {2, 0x0D, 0x0A}, "0d"},
        {"second only moves", [](F& f) { f.endCharEnabled = true, f.endChar2 = "0A"; }, nullptr, {1, 0x0A, 0}, "0A"},
        {"blank first counts as empty", [](F& f) { f.endCharEnabled = true, f.endChar1 = " ", f.endChar2 = "1B", f.extraBytes = 2; },
         nullptr, {9, 0x1B, 0}, "1B"},
        {"ticked but empty", [](F& f) { f.endCharEnabled = true; }, nullptr, {0, 0, 0}, ""},
        {"not ticked", [](F& f) { f.endChar1 = "0D", f.endChar2 = "0A", f.extraBytes = 1; }, nullptr, {4, 0, 0}, "0D"},
        {"non-hex stops parsing", [](F& f) { f.endCharEnabled = true, f.endChar1 = "G1"; }, nullptr, {1, 0, 0}, "G1"},
    };
    for (const auto& c : cases) {
        F f = GoodSerial();
        c.edit(f);
        RelaySettings out{};
        EXPECT_EQ(Msg(ValidateSerialForm(f, Device(), out)), Msg(c.message)) << c.name;
        if (c.packet.empty()) continue;
        EXPECT_EQ(std::vector<int>({out.m_nPacketFlags, out.m_nEndChar1, out.m_nEndChar2}), c.packet) << c.name;
        EXPECT_EQ(f.endChar1, c.first) << c.name;
    }
}

TEST(SerialForm, DeviceValuesOutsideTheGroups) {
    // Parity 12, extra bytes 12: no button.
    const RelaySettings d{.m_nFilterMode = 9, .m_nFilterLow = 1, .m_nFilterHigh = 0xF7, .m_nOpMode = 3,
                          .m_nBaudIndex = 13, .m_nCharFormat = 12 | 1 | 2, .m_nFlowControl = -1,
                          .m_nTimeoutIndex = 6, .m_nPacketFlags = 12 | 2, .m_nEndChar1 = 0x0D, .m_nEndChar2 = 0x0A};
    // The form shows no choice in those groups; groups left without a
    // selection, or with an index outside the group, write back the device's
    // own values.
    SerialFormValues f = SerialFormFromSettings(d);
    EXPECT_EQ((std::vector<int>{f.opMode, f.baudIndex, f.parity, f.flowControl, f.filterMode, f.timeoutIndex}),
              std::vector<int>(6, NO_CHOICE));
    f.destNode = "1", f.parity = 7;
    RelaySettings out{};
    ASSERT_EQ(ValidateSerialForm(f, d, out), nullptr);
    EXPECT_EQ(Relay(out), (std::vector<int>{1, 9, 1, 0xF7, 3, 13, 15, -1, 6, 12 | 2, 0x0D, 0x0A}));
}

}  // namespace
