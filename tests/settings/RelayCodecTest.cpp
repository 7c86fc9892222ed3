// Wire forms of the relay record, the gateway's LAN and MAC answers, and
// the window title.
#include "forms/SettingsTexts.h"
#include "settings/GatewayCore.h"
#include "settings/RelaySettings.h"
#include "settings/SettingsCore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const std::string T(1, static_cast<char>(REPLY_TERMINATOR));

const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

RelaySettings SerialExample() {
    RelaySettings rs{};
    rs.m_nDestNode = 3;
    rs.m_nBaudIndex = 5;     // 9600
    rs.m_nTimeoutIndex = 1;  // 10ms
    rs.m_nPacketFlags = 1;   // one end character, no extra bytes
    rs.m_nEndChar1 = 0x0D;
    rs.m_nFilterLow = 0x01;
    rs.m_nFilterHigh = 0xF7;
    return rs;
}

TEST(RelayCodec, CommandBytes) {
    RelaySettings gw{};
    gw.m_nDestNode = 5;
    gw.m_nBaudIndex = 7;  // not sent by the gateway
    gw.m_nFilterLow = 0x22;
    RelaySettings big = SerialExample();
    big.m_nDestNode = 0x1FE;  // cut to its last two digits
    big.m_nEndChar2 = 0x100;
    big.m_nBaudIndex = 0xC8 - 0x20;  // would be the terminator
    RelaySettings gwLan{};
    gwLan.m_nCommandPort = 10003;
    gwLan.m_nSerialPort = 1024;
    gwLan.m_dwIpAddress = AddressFromOctets(192, 168, 0, 1);
    gwLan.m_dwSubnetMask = AddressFromOctets(255, 255, 255, 0);
    gwLan.m_dwGateway = AddressFromOctets(192, 168, 0, 254);

    const struct {
        const char* name;
        std::string built;
        std::string expected;
    } cases[] = {
        {"serial example", BuildRelayCommand(SerialExample()), "SP% 03  !!0D00 01F7" + T},
        {"all zero", BuildRelayCommand(RelaySettings{}), "SP  00    0000 0000" + T},
        {"cut and terminator-safe", BuildRelayCommand(big), "SP  FE  !!0D00 01F7" + T},
        {"gateway SP", BuildGatewayRelayCommand(gw), "SP  05    0000 0000" + T},
        {"gateway GE", BuildLanCommand(gwLan), "GE27130400 C0A80001FFFFFF00C0A800FE" + T},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.built, c.expected) << c.name;
    }
    EXPECT_EQ(BuildRelayCommand(SerialExample()).size(), static_cast<size_t>(RELAY_FRAME_SIZE));
    EXPECT_EQ(BuildLanCommand(gwLan).size(), static_cast<size_t>(GK_ANSWER_SIZE));
}

TEST(RelayCodec, AnswerParsing) {
    const std::string sj = "sj)#1A\"!%)0D0A\"10E7" + T;  // 20 bytes
    ASSERT_EQ(sj.size(), 20u);
    RelaySettings full{};
    ASSERT_TRUE(ParseRelayAnswer(U(sj), 20, full, true));
    EXPECT_EQ(full.m_nBaudIndex, 9);
    EXPECT_EQ(full.m_nCharFormat, 3);
    EXPECT_EQ(full.m_nDestNode, 0x1A);
    EXPECT_EQ(full.m_nOpMode, 2);
    EXPECT_EQ(full.m_nFlowControl, 1);
    EXPECT_EQ(full.m_nTimeoutIndex, 5);
    EXPECT_EQ(full.m_nPacketFlags, 9);
    EXPECT_EQ(full.m_nEndChar1, 0x0D);
    EXPECT_EQ(full.m_nEndChar2, 0x0A);
    EXPECT_EQ(full.m_nFilterMode, 2);
    EXPECT_EQ(full.m_nFilterLow, 0x10);
    EXPECT_EQ(full.m_nFilterHigh, 0xE7);

    // The gateway does not read the filter positions.
    RelaySettings partial{};
    partial.m_nFilterMode = 7;
    ASSERT_TRUE(ParseRelayAnswer(U(sj), 20, partial, false));
    EXPECT_EQ(partial.m_nFilterMode, 7);
    EXPECT_EQ(partial.m_nFilterLow, 0);
    EXPECT_EQ(partial.m_nEndChar2, 0x0A);

    // Another length leaves the record alone.
    for (int len : {19, 21, 3}) {
        RelaySettings untouched{};
        EXPECT_FALSE(ParseRelayAnswer(U(sj), len, untouched, true)) << len;
        EXPECT_EQ(untouched.m_nBaudIndex, 0) << len;
    }
}

TEST(RelayCodec, LanAnswer) {
    const std::string gk = "gk27130400 C0A80001FFFFFF00C0A800FE" + T;
    RelaySettings rs{};
    ASSERT_TRUE(ParseLanAnswer(U(gk), 36, rs));
    EXPECT_EQ(rs.m_nCommandPort, 10003);
    EXPECT_EQ(rs.m_nSerialPort, 1024);
    EXPECT_EQ(FormatAddress(rs.m_dwIpAddress), "192.168.0.1");
    EXPECT_EQ(FormatAddress(rs.m_dwSubnetMask), "255.255.255.0");
    EXPECT_EQ(FormatAddress(rs.m_dwGateway), "192.168.0.254");
    // First octet in the lowest-addressed byte.
    unsigned char bytes[4];
    std::memcpy(bytes, &rs.m_dwIpAddress, 4);
    EXPECT_EQ(bytes[0], 192);
    EXPECT_EQ(bytes[3], 1);

    RelaySettings other{};
    EXPECT_FALSE(ParseLanAnswer(U(gk), 35, other));
    EXPECT_EQ(other.m_nCommandPort, 0);
}

TEST(RelayCodec, MacAnswer) {
    const struct {
        const char* name;
        std::string reply;
        int len;  // -1: the reply's own length
        bool taken;
    } cases[] = {
        {"normal", "mr01A60080AB12CDEF" + T, -1, true},
        {"only 01A compared", "mr01A70080AB12CDEF" + T, -1, true},
        {"other address", "mr01B60080AB12CDEF" + T, -1, false},
        {"short", "mr01A60080AB12CDE" + T, -1, false},
        {"long", "mr01A60080AB12CDEF0" + T, -1, false},
        {"length says shorter", "mr01A60080AB12CDEF" + T, 18, false},
    };
    for (const auto& c : cases) {
        unsigned char mac[6] = {1, 2, 3, 4, 5, 6};
        int len = c.len < 0 ? static_cast<int>(c.reply.size()) : c.len;
        EXPECT_EQ(ParseMacAnswer(U(c.reply), len, mac), c.taken) << c.name;
        EXPECT_EQ(FormatMac(mac), c.taken ? "00-80-AB-12-CD-EF" : "01-02-03-04-05-06") << c.name;
    }
}

TEST(RelayCodec, AddressText) {
    const struct {
        const char* text;
        bool ok;
    } cases[] = {
        {"192.168.0.1", true}, {"0.0.0.0", true},     {"255.255.255.255", true}, {"256.1.1.1", false},
        {"1.2.3", false},      {"1.2.3.4.5", false}, {"1..3.4", false},         {"a.b.c.d", false},
        {"", false},           {"1.2.3.4 ", false},  {"01.2.3.4", false},       {"1.2.3.1000", false},
        {"-1.2.3.4", false},
    };
    for (const auto& c : cases) {
        std::uint32_t stored = 0x12345678;
        EXPECT_EQ(ParseAddress(c.text, &stored), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(FormatAddress(stored), c.text);
        }
    }
}

TEST(SettingsTitle, Forms) {
    const struct {
        int target;
        int groupNode;
        const char* expected;
    } cases[] = {
        {0, 0, "RG の設定"},           {0, 255, "RG の設定"},          {0, 1, "RG ( node : 1 ) の設定"},
        {0, 254, "RG ( node : 254 ) の設定"}, {7, 0, "RG ( node : 7 ) の設定"}, {7, 3, "RG ( node : 7 ) の設定"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatSettingsTitle("RG", c.target, c.groupNode), c.expected) << c.target << "/" << c.groupNode;
    }
    EXPECT_EQ(FormatStatusLine(0x00AB12CDu), "UID : 00AB12CD");
}

}  // namespace
