// Validation of the gateway and serial converter forms: order of the checks,
// exact messages and the values collected.
#include "forms/SettingsTexts.h"
#include "settings/GatewayCore.h"
#include "settings/SerialCore.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Msg(const char* m) { return m ? m : "(valid)"; }

GatewayFormValues GoodGateway() {
    GatewayFormValues f;
    f.destNode = "5";
    f.commandPort = "10003";
    f.serialPort = " 1024";
    f.ipAddress = "192.168.0.1";
    f.subnetMask = "255.255.255.0";
    f.defaultGateway = "192.168.0.254";
    return f;
}

TEST(GatewayValidation, MessagesInOrder) {
    const struct {
        const char* name;
        void (*edit)(GatewayFormValues&);
        const char* message;
    } cases[] = {
        {"valid", [](GatewayFormValues&) {}, nullptr},
        {"command port 1023", [](GatewayFormValues& f) { f.commandPort = "1023"; }, MSG_PORT_RANGE},
        {"serial port 65536", [](GatewayFormValues& f) { f.serialPort = "65536"; }, MSG_PORT_RANGE},
        {"empty port", [](GatewayFormValues& f) { f.serialPort = ""; }, MSG_PORT_RANGE},
        {"range before equality", [](GatewayFormValues& f) { f.commandPort = f.serialPort = "1023"; }, MSG_PORT_RANGE},
        {"range before node", [](GatewayFormValues& f) { f.commandPort = "80"; f.destNode = "999"; }, MSG_PORT_RANGE},
        {"equal ports", [](GatewayFormValues& f) { f.commandPort = "1024"; }, MSG_PORTS_EQUAL},
        {"equal before node", [](GatewayFormValues& f) { f.commandPort = "1024"; f.destNode = "255"; }, MSG_PORTS_EQUAL},
        {"node 255", [](GatewayFormValues& f) { f.destNode = "255"; }, MSG_DEST_NODE_RANGE},
        {"node negative", [](GatewayFormValues& f) { f.destNode = "-1"; }, MSG_DEST_NODE_RANGE},
        {"empty node is 0", [](GatewayFormValues& f) { f.destNode = ""; }, nullptr},
        {"node 254", [](GatewayFormValues& f) { f.destNode = "254"; }, nullptr},
        {"node before address", [](GatewayFormValues& f) { f.destNode = "300"; f.ipAddress = "x"; }, MSG_DEST_NODE_RANGE},
        {"bad ip", [](GatewayFormValues& f) { f.ipAddress = "192.168.0"; }, MSG_NETWORK_ADDRESS},
        {"bad mask", [](GatewayFormValues& f) { f.subnetMask = "255.255.255.256"; }, MSG_NETWORK_ADDRESS},
        {"bad gateway", [](GatewayFormValues& f) { f.defaultGateway = ""; }, MSG_NETWORK_ADDRESS},
        {"zeros accepted", [](GatewayFormValues& f) { f.ipAddress = f.subnetMask = f.defaultGateway = "0.0.0.0"; }, nullptr},
        {"blanks around address", [](GatewayFormValues& f) { f.ipAddress = " 10.0.0.1 "; }, nullptr},
    };
    for (const auto& c : cases) {
        GatewayFormValues f = GoodGateway();
        c.edit(f);
        RelaySettings rs{};
        EXPECT_EQ(Msg(ValidateGatewayForm(f, rs)), Msg(c.message)) << c.name;
    }
}

TEST(GatewayValidation, CollectsValues) {
    RelaySettings rs{};
    rs.m_nOpMode = 2;
    GatewayFormValues f = GoodGateway();
    f.ipAddress = "10.1.2.3";
    ASSERT_EQ(ValidateGatewayForm(f, rs), nullptr);
    EXPECT_EQ(rs.m_nDestNode, 5);
    EXPECT_EQ(rs.m_nOpMode, 0);  // always sent as normal
    EXPECT_EQ(rs.m_nCommandPort, 10003);
    EXPECT_EQ(rs.m_nSerialPort, 1024);
    EXPECT_EQ(FormatAddress(rs.m_dwIpAddress), "10.1.2.3");
    EXPECT_EQ(FormatAddress(rs.m_dwGateway), "192.168.0.254");

    // The form shows ports right-aligned in five characters and 0 as empty.
    rs.m_nDestNode = 0;
    GatewayFormValues shown = GatewayFormFromSettings(rs);
    EXPECT_EQ(shown.destNode, "");
    EXPECT_EQ(shown.serialPort, " 1024");
    EXPECT_EQ(shown.ipAddress, "10.1.2.3");
}

RelaySettings Device() {
    RelaySettings d{};
    d.m_nBaudIndex = 5;
    d.m_nFilterLow = 1;
    d.m_nFilterHigh = 0xF7;
    return d;
}

SerialFormValues GoodSerial() {
    SerialFormValues f = SerialFormFromSettings(Device());
    f.destNode = "3";
    return f;
}

TEST(SerialValidation, MessagesInOrder) {
    const struct {
        const char* name;
        void (*edit)(SerialFormValues&);
        const char* message;
    } cases[] = {
        {"valid", [](SerialFormValues&) {}, nullptr},
        {"node 255", [](SerialFormValues& f) { f.destNode = "255"; }, MSG_DEST_NODE_RANGE},
        {"node 999 before 7N1", [](SerialFormValues& f) { f.destNode = "999"; f.dataBits = 1; }, MSG_DEST_NODE_RANGE},
        {"empty node", [](SerialFormValues& f) { f.destNode = ""; }, nullptr},
        {"7N1", [](SerialFormValues& f) { f.dataBits = 1; }, MSG_CHAR_FORMAT_7N1},
        {"7N2", [](SerialFormValues& f) { f.dataBits = 1; f.stopBits = 1; }, nullptr},
        {"7E1", [](SerialFormValues& f) { f.dataBits = 1; f.parity = 1; }, nullptr},
        {"7O1", [](SerialFormValues& f) { f.dataBits = 1; f.parity = 2; }, nullptr},
        {"7N1 before filter", [](SerialFormValues& f) { f.dataBits = 1; f.filterLow = "00"; }, MSG_CHAR_FORMAT_7N1},
        {"filter 00", [](SerialFormValues& f) { f.filterLow = "00"; }, MSG_FILTER_RANGE},
        {"filter F8", [](SerialFormValues& f) { f.filterHigh = "F8"; }, MSG_FILTER_RANGE},
        {"filter empty", [](SerialFormValues& f) { f.filterHigh = ""; }, MSG_FILTER_RANGE},
        {"range before order", [](SerialFormValues& f) { f.filterLow = "F8"; f.filterHigh = "01"; }, MSG_FILTER_RANGE},
        {"order", [](SerialFormValues& f) { f.filterLow = "10"; f.filterHigh = "0a"; }, MSG_FILTER_ORDER},
        {"equal ends", [](SerialFormValues& f) { f.filterLow = f.filterHigh = "0a"; }, nullptr},
    };
    for (const auto& c : cases) {
        SerialFormValues f = GoodSerial();
        c.edit(f);
        RelaySettings out{};
        EXPECT_EQ(Msg(ValidateSerialForm(f, Device(), out)), Msg(c.message)) << c.name;
    }
}

TEST(SerialValidation, CollectsPacketising) {
    const struct {
        const char* name;
        bool checked;
        const char* first;
        const char* second;
        int extra;
        int flags;
        int end1;
        int end2;
        const char* firstAfter;
    } cases[] = {
        {"one", true, "0D", "", 0, 1, 0x0D, 0, "0D"},
        {"two", true, "0d", "0A", 0, 2, 0x0D, 0x0A, "0d"},
        {"second only moves", true, "", "0A", 0, 1, 0x0A, 0, "0A"},
        {"blank first counts as empty", true, " ", "1B", 2, 9, 0x1B, 0, "1B"},
        {"ticked but empty", true, "", "", 0, 0, 0, 0, ""},
        {"not ticked", false, "0D", "0A", 1, 4, 0, 0, "0D"},
        {"non-hex stops parsing", true, "G1", "", 0, 1, 0, 0, "G1"},
        {"extra two bytes", true, "03", "", 2, 9, 3, 0, "03"},
    };
    for (const auto& c : cases) {
        SerialFormValues f = GoodSerial();
        f.endCharEnabled = c.checked;
        f.endChar1 = c.first;
        f.endChar2 = c.second;
        f.extraBytes = c.extra;
        RelaySettings out{};
        ASSERT_EQ(ValidateSerialForm(f, Device(), out), nullptr) << c.name;
        EXPECT_EQ(out.m_nPacketFlags, c.flags) << c.name;
        EXPECT_EQ(out.m_nEndChar1, c.end1) << c.name;
        EXPECT_EQ(out.m_nEndChar2, c.end2) << c.name;
        EXPECT_EQ(f.endChar1, c.firstAfter) << c.name;
    }
}

TEST(SerialValidation, ClearsRecordAndCollects) {
    SerialFormValues f = GoodSerial();
    f.opMode = 1;
    f.baudIndex = 10;
    f.stopBits = 1;
    f.parity = 1;   // even
    f.flowControl = 2;
    f.filterMode = 2;
    f.filterLow = "0a";
    f.filterHigh = "F7";
    f.timeoutIndex = 4;
    RelaySettings out{};
    out.m_nCommandPort = 10003;
    out.m_dwIpAddress = 0x0100007F;
    ASSERT_EQ(ValidateSerialForm(f, Device(), out), nullptr);
    EXPECT_EQ(out.m_nCommandPort, 0);  // the gateway fields are cleared
    EXPECT_EQ(out.m_dwIpAddress, 0u);
    EXPECT_EQ(out.m_nDestNode, 3);
    EXPECT_EQ(out.m_nOpMode, 1);
    EXPECT_EQ(out.m_nBaudIndex, 10);
    EXPECT_EQ(out.m_nCharFormat, 2 | 8);
    EXPECT_EQ(out.m_nFlowControl, 2);
    EXPECT_EQ(out.m_nFilterMode, 2);
    EXPECT_EQ(out.m_nFilterLow, 0x0A);
    EXPECT_EQ(out.m_nFilterHigh, 0xF7);
    EXPECT_EQ(out.m_nTimeoutIndex, 4);
}

TEST(SerialForm, DeviceValuesOutsideTheGroups) {
    RelaySettings d = Device();
    d.m_nOpMode = 3;
    d.m_nBaudIndex = 13;
    d.m_nCharFormat = 12 | 1 | 2;  // parity 12: no button
    d.m_nFlowControl = -1;
    d.m_nFilterMode = 9;
    d.m_nTimeoutIndex = 6;
    d.m_nPacketFlags = 12 | 2;
    d.m_nEndChar1 = 0x0D;
    d.m_nEndChar2 = 0x0A;
    SerialFormValues f = SerialFormFromSettings(d);
    EXPECT_EQ(f.opMode, NO_CHOICE);
    EXPECT_EQ(f.baudIndex, NO_CHOICE);
    EXPECT_EQ(f.dataBits, 1);
    EXPECT_EQ(f.stopBits, 1);
    EXPECT_EQ(f.parity, NO_CHOICE);
    EXPECT_EQ(f.flowControl, NO_CHOICE);
    EXPECT_EQ(f.filterMode, NO_CHOICE);
    EXPECT_EQ(f.timeoutIndex, NO_CHOICE);
    EXPECT_EQ(f.extraBytes, NO_CHOICE);
    EXPECT_TRUE(f.endCharEnabled);
    EXPECT_EQ(f.endChar1, "0D");
    EXPECT_EQ(f.endChar2, "0A");

    // Groups left without a selection write back the device's own values.
    f.destNode = "1";
    RelaySettings out{};
    ASSERT_EQ(ValidateSerialForm(f, d, out), nullptr);
    EXPECT_EQ(out.m_nOpMode, 3);
    EXPECT_EQ(out.m_nBaudIndex, 13);
    EXPECT_EQ(out.m_nCharFormat, 15);
    EXPECT_EQ(out.m_nFlowControl, -1);
    EXPECT_EQ(out.m_nFilterMode, 9);
    EXPECT_EQ(out.m_nTimeoutIndex, 6);
    EXPECT_EQ(out.m_nPacketFlags, 12 | 2);
}

TEST(SerialForm, EnablingRules) {
    const struct {
        int mode;
        int filter;
        bool checked;
        SerialEnabling expected;  // filterChoices, filterRange, packetising, endChars, extraBytes
    } cases[] = {
        {0, 1, false, {false, false, true, false, false}},
        {0, 0, true, {false, false, true, true, true}},
        {1, 0, true, {true, false, false, false, false}},
        {1, 1, false, {true, true, false, false, false}},
        {2, 2, true, {true, true, false, false, false}},
        {2, NO_CHOICE, false, {true, false, false, false, false}},
        {NO_CHOICE, 1, true, {false, false, false, false, false}},
    };
    for (const auto& c : cases) {
        SerialEnabling e = SerialEnablingFor(c.mode, c.filter, c.checked);
        EXPECT_EQ(e.filterChoices, c.expected.filterChoices) << c.mode << c.filter << c.checked;
        EXPECT_EQ(e.filterRange, c.expected.filterRange) << c.mode << c.filter << c.checked;
        EXPECT_EQ(e.packetising, c.expected.packetising) << c.mode << c.filter << c.checked;
        EXPECT_EQ(e.endChars, c.expected.endChars) << c.mode << c.filter << c.checked;
        EXPECT_EQ(e.extraBytes, c.expected.extraBytes) << c.mode << c.filter << c.checked;
    }
}

}  // namespace
