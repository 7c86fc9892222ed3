// Validation of the gateway and serial converter forms: order of the checks,
// exact messages and the values collected.
#include "RelayFields.h"
#include "forms/SettingsTexts.h"
#include "settings/GatewayCore.h"
#include "settings/SerialCore.h"

#include <gtest/gtest.h>


namespace {

std::string Msg(const char* m) { return m ? m : "(valid)"; }

// One edit of a valid form and the message it must give (null: valid).
template <class F>
struct EditCase {
    const char* name;
    void (*edit)(F&);
    const char* message;
};

GatewayFormValues GoodGateway() {
    return {"5", "10003", " 1024", "192.168.0.1", "255.255.255.0", "192.168.0.254"};
}

TEST(GatewayValidation, MessagesInOrder) {
    using F = GatewayFormValues;
    const EditCase<F> cases[] = {
        {"valid", [](F&) {}, nullptr},
        {"command port 1023", [](F& f) { f.commandPort = "1023"; }, MSG_PORT_RANGE},
        {"serial port 65536", [](F& f) { f.serialPort = "65536"; }, MSG_PORT_RANGE},
        {"empty port", [](F& f) { f.serialPort = ""; }, MSG_PORT_RANGE},
        {"range before equality", [](F& f) { f.commandPort = f.serialPort = "1023"; }, MSG_PORT_RANGE},
        {"range before node", [](F& f) { f.commandPort = "80"; f.destNode = "999"; }, MSG_PORT_RANGE},
        {"equal ports", [](F& f) { f.commandPort = "1024"; }, MSG_PORTS_EQUAL},
        {"equal before node", [](F& f) { f.commandPort = "1024"; f.destNode = "255"; }, MSG_PORTS_EQUAL},
        {"node 255", [](F& f) { f.destNode = "255"; }, MSG_DEST_NODE_RANGE},
        {"node negative", [](F& f) { f.destNode = "-1"; }, MSG_DEST_NODE_RANGE},
        {"empty node is 0", [](F& f) { f.destNode = ""; }, nullptr},
        {"node 254", [](F& f) { f.destNode = "254"; }, nullptr},
        {"node before address", [](F& f) { f.destNode = "300"; f.ipAddress = "x"; }, MSG_DEST_NODE_RANGE},
        {"bad ip", [](F& f) { f.ipAddress = "192.168.0"; }, MSG_NETWORK_ADDRESS},
        {"bad mask", [](F& f) { f.subnetMask = "255.255.255.256"; }, MSG_NETWORK_ADDRESS},
        {"bad gateway", [](F& f) { f.defaultGateway = ""; }, MSG_NETWORK_ADDRESS},
        {"zeros accepted", [](F& f) { f.ipAddress = f.subnetMask = f.defaultGateway = "0.0.0.0"; }, nullptr},
        {"blanks around address", [](F& f) { f.ipAddress = " 10.0.0.1 "; }, nullptr},
    };
    for (const auto& c : cases) {
        F f = GoodGateway();
        c.edit(f);
        RelaySettings rs{};
        EXPECT_EQ(Msg(ValidateGatewayForm(f, rs)), Msg(c.message)) << c.name;
    }
}

RelaySettings Device() { return {.m_nFilterLow = 1, .m_nFilterHigh = 0xF7, .m_nBaudIndex = 5}; }

SerialFormValues GoodSerial() {
    SerialFormValues f = SerialFormFromSettings(Device());
    f.destNode = "3";
    return f;
}

TEST(SerialValidation, MessagesInOrder) {
    using F = SerialFormValues;
    const EditCase<F> cases[] = {
        {"valid", [](F&) {}, nullptr},
        {"node 255", [](F& f) { f.destNode = "255"; }, MSG_DEST_NODE_RANGE},
        {"node 999 before 7N1", [](F& f) { f.destNode = "999"; f.dataBits = 1; }, MSG_DEST_NODE_RANGE},
        {"empty node", [](F& f) { f.destNode = ""; }, nullptr},
        {"7N1", [](F& f) { f.dataBits = 1; }, MSG_CHAR_FORMAT_7N1},
        {"7N2", [](F& f) { f.dataBits = 1; f.stopBits = 1; }, nullptr},
        {"7E1", [](F& f) { f.dataBits = 1; f.parity = 1; }, nullptr},
        {"7N1 before filter", [](F& f) { f.dataBits = 1; f.filterLow = "00"; }, MSG_CHAR_FORMAT_7N1},
        {"filter 00", [](F& f) { f.filterLow = "00"; }, MSG_FILTER_RANGE},
        {"filter F8", [](F& f) { f.filterHigh = "F8"; }, MSG_FILTER_RANGE},
        {"filter empty", [](F& f) { f.filterHigh = ""; }, MSG_FILTER_RANGE},
        {"range before order", [](F& f) { f.filterLow = "F8"; f.filterHigh = "01"; }, MSG_FILTER_RANGE},
        {"order", [](F& f) { f.filterLow = "10"; f.filterHigh = "0a"; }, MSG_FILTER_ORDER},
        {"equal ends", [](F& f) { f.filterLow = f.filterHigh = "0a"; }, nullptr},
    };
    for (const auto& c : cases) {
        F f = GoodSerial();
        c.edit(f);
        RelaySettings out{};
        EXPECT_EQ(Msg(ValidateSerialForm(f, Device(), out)), Msg(c.message)) << c.name;
    }
}

TEST(SerialValidation, CollectsPacketising) {
    const struct {
        const char* name;
        bool checked;
        const char *first, *second;
        int extra, flags, end1, end2;
        const char* firstAfter;
    } cases[] = {
        {"one", true, "0D", "", 0, 1, 0x0D, 0, "0D"},
        {"two", true, "0d", "0A", 0, 2, 0x0D, 0x0A, "0d"},
        {"second only moves", true, "", "0A", 0, 1, 0x0A, 0, "0A"},
        {"blank first counts as empty", true, " ", "1B", 2, 9, 0x1B, 0, "1B"},
        {"ticked but empty", true, "", "", 0, 0, 0, 0, ""},
        {"not ticked", false, "0D", "0A", 1, 4, 0, 0, "0D"},
        {"non-hex stops parsing", true, "G1", "", 0, 1, 0, 0, "G1"},
    };
    for (const auto& c : cases) {
        SerialFormValues f = GoodSerial();
        f.endCharEnabled = c.checked;
        f.endChar1 = c.first;
        f.endChar2 = c.second;
        f.extraBytes = c.extra;
        RelaySettings out{};
        ASSERT_EQ(ValidateSerialForm(f, Device(), out), nullptr) << c.name;
        EXPECT_EQ(std::vector<int>({out.m_nPacketFlags, out.m_nEndChar1, out.m_nEndChar2}),
                  std::vector<int>({c.flags, c.end1, c.end2})) << c.name;
        EXPECT_EQ(f.endChar1, c.firstAfter) << c.name;
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
    f.destNode = "1";
    f.parity = 7;
    RelaySettings out{};
    ASSERT_EQ(ValidateSerialForm(f, d, out), nullptr);
    EXPECT_EQ(Relay(out), (std::vector<int>{1, 9, 1, 0xF7, 3, 13, 15, -1, 6, 12 | 2, 0x0D, 0x0A}));
}

TEST(SerialForm, EnablingRules) {
    // Enabled, in order: filter choices, filter range, packetising, end characters, extra bytes.
    const struct {
        int mode, filter;
        bool checked;
        const char* expected;
    } cases[] = {{0, 1, false, "00100"}, {0, 0, true, "00111"},         {1, 1, false, "11000"},
                 {2, 2, true, "11000"},  {2, NO_CHOICE, false, "10000"}, {NO_CHOICE, 1, true, "00000"}};
    for (const auto& c : cases) {
        const SerialEnabling e = SerialEnablingFor(c.mode, c.filter, c.checked);
        std::string got;
        for (bool on : {e.filterChoices, e.filterRange, e.packetising, e.endChars, e.extraBytes}) got += on ? '1' : '0';
        EXPECT_EQ(got, c.expected) << c.mode << c.filter << c.checked;
    }
}

}  // namespace
