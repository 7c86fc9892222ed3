// Wire forms of the relay record, the gateway's LAN and MAC answers, the
// address text and the window title.
#include "RelayFields.h"
#include "settings/GatewayCore.h"
#include "settings/SettingsCore.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// 9600, 10ms, one end character 0D, filter 01-F7.
const RelaySettings kSerial{.m_nDestNode = 3, .m_nFilterLow = 0x01, .m_nFilterHigh = 0xF7, .m_nBaudIndex = 5,
                            .m_nTimeoutIndex = 1, .m_nPacketFlags = 1, .m_nEndChar1 = 0x0D};

TEST(RelayCodec, CommandBytes) {
    RelaySettings big = kSerial;
    big.m_nDestNode = 0x1FE;  // cut to its last two digits
    big.m_nEndChar2 = 0x100;
    big.m_nBaudIndex = 0xC8 - 0x20;  // would be the terminator
    // The gateway sends neither the baud rate nor the filter.
    const RelaySettings gw{.m_nDestNode = 5, .m_nFilterLow = 0x22, .m_nBaudIndex = 7};
    const RelaySettings lan{.m_dwIpAddress = AddressFromOctets(192, 168, 0, 1),
                            .m_dwSubnetMask = AddressFromOctets(255, 255, 255, 0),
                            .m_dwGateway = AddressFromOctets(192, 168, 0, 254),
                            .m_nCommandPort = 10003,
                            .m_nSerialPort = 1024};
    EXPECT_EQ(BuildRelayCommand(kSerial), "SP% 03  !!0D00 01F7" + T);
    EXPECT_EQ(BuildRelayCommand(RelaySettings{}), "SP  00    0000 0000" + T);
    EXPECT_EQ(BuildRelayCommand(big), "SP  FE  !!0D00 01F7" + T);
    EXPECT_EQ(BuildGatewayRelayCommand(gw), "SP  05    0000 0000" + T);
    EXPECT_EQ(BuildLanCommand(lan), "GE27130400 C0A80001FFFFFF00C0A800FE" + T);
}

TEST(RelayCodec, AnswerParsing) {
    const std::string sj = "sj)#1A\"!%)0D0A\"10E7" + T;
    ASSERT_EQ(sj.size(), 20u);
    RelaySettings full{};
    ASSERT_TRUE(ParseRelayAnswer(U(sj), 20, full, true));
    EXPECT_EQ(Relay(full), (std::vector<int>{0x1A, 2, 0x10, 0xE7, 2, 9, 3, 1, 5, 9, 0x0D, 0x0A}));
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
    EXPECT_EQ(FormatAddress(rs.m_dwSubnetMask) + " " + FormatAddress(rs.m_dwGateway), "255.255.255.0 192.168.0.254");
    // First octet in the lowest-addressed byte.
    EXPECT_EQ(std::memcmp(&rs.m_dwIpAddress, "\xC0\xA8\x00\x01", 4), 0);
    RelaySettings other{};
    EXPECT_FALSE(ParseLanAnswer(U(gk), 35, other));
    EXPECT_EQ(other.m_nCommandPort, 0);
}

TEST(RelayCodec, MacAnswer) {
    const struct {
        std::string reply;
        int len;  // at most the reply's own length
        bool taken;
    } cases[] = {
        {"mr01A60080AB12CDEF" + T, 19, true},
        {"mr01A70080AB12CDEF" + T, 19, true},  // only "01A" compared
        {"mr01B60080AB12CDEF" + T, 19, false},
        {"mr01A60080AB12CDE" + T, 18, false},
        {"mr01A60080AB12CDEF0" + T, 20, false},
        {"mr01A60080AB12CDEF" + T, 18, false},  // the length says shorter
    };
    for (const auto& c : cases) {
        unsigned char mac[6] = {1, 2, 3, 4, 5, 6};
        EXPECT_EQ(ParseMacAnswer(U(c.reply), c.len, mac), c.taken) << c.reply << c.len;
        EXPECT_EQ(FormatMac(mac), c.taken ? "00-80-AB-12-CD-EF" : "01-02-03-04-05-06") << c.reply << c.len;
    }
}

TEST(RelayCodec, AddressText) {
    for (const char* good : {"192.168.0.1", "0.0.0.0", "255.255.255.255"}) {
        std::uint32_t stored = 0;
        EXPECT_TRUE(ParseAddress(good, &stored)) << good;
        EXPECT_EQ(FormatAddress(stored), good);
    }
    for (const char* bad :
         {"256.1.1.1", "1.2.3", "1.2.3.4.5", "1..3.4", "a.b.c.d", "", "1.2.3.4 ", "01.2.3.4", "1.2.3.1000", "-1.2.3.4"}) {
        std::uint32_t stored = 0;
        EXPECT_FALSE(ParseAddress(bad, &stored)) << bad;
    }
}

TEST(SettingsTitle, RemoteOrGroupNodeShown) {
    const struct {
        int target, groupNode;
        const char* expected;
    } cases[] = {
        {0, 0, "RG の設定"}, {0, 255, "RG の設定"}, {0, 254, "RG ( node : 254 ) の設定"}, {7, 3, "RG ( node : 7 ) の設定"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatSettingsTitle("RG", c.target, c.groupNode), c.expected) << c.target << "/" << c.groupNode;
    }
}

}  // namespace
