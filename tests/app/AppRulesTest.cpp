// Main window rules without the toolkit: time-out and target
// checks with their messages, reply parsing, node rows and the port table.
#include "app/ConnectRules.h"
#include "app/PortTable.h"
#include "forms/AppTexts.h"
#include "link/DeviceLink.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

std::string Bytes(const char* text) { return text + std::string(1, static_cast<char>(REPLY_TERMINATOR)); }
const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
int L(const std::string& s) { return static_cast<int>(s.size()); }
std::string Msg(const char* m) { return m ? m : "<none>"; }

}  // namespace

TEST(TimeoutField, RangeAndCConversion) {
    const struct { const char* text; int seconds; } cases[] = {  // 0: out of range
        {"5", 5},   {"120", 120}, {"4", 0},  {"121", 0}, {" 10 ", 10},
        {"", 0},    {"7x", 7},    {"x7", 0}, {"-10", 0}, {"99999999999999999999", 0},
    };
    for (const auto& c : cases) {
        int seconds = -1;
        const char* msg = CheckTimeoutText(c.text, &seconds);
        EXPECT_EQ(Msg(msg), Msg(c.seconds ? nullptr : MSG_TIMEOUT_RANGE)) << c.text;
        EXPECT_EQ(seconds, c.seconds ? c.seconds : -1) << c.text;  // untouched when invalid
    }
}

TEST(TargetCheck, OrderMessagesAndLinkFields) {
    const struct { const char* name; void (*edit)(TargetForm&); bool forSearch; int node; const char* msg; bool tcp; } cases[] = {
        // each edits a remote LAN form with every field set
        {"direct ignores node", [](auto& f) { f.remote = false, f.node = "0"; }, false, 0, nullptr, false},
        {"no direct port", [](auto& f) { f.remote = false, f.directPort = ""; }, false, -1, MSG_SELECT_TARGET, false},
        {"remote, neither lan nor usb", [](auto& f) { f.lan = false; }, false, 0, nullptr, false},
        {"usb before lan", [](auto& f) { f.usb = true; }, false, 7, nullptr, false},
        {"no usb port", [](auto& f) { f.usb = true, f.gatewayPort = f.node = ""; }, false, -1, MSG_SELECT_TARGET, false},
        {"blank address", [](auto& f) { f.address = "   ", f.port = ""; }, false, -1, MSG_LAN_NO_ADDRESS, true},
        {"blank port", [](auto& f) { f.port = " \t", f.node = ""; }, false, -1, MSG_LAN_NO_PORT, true},
        {"node 1", [](auto& f) { f.node = "1"; }, false, 1, nullptr, true},
        {"node 254", [](auto& f) { f.node = " 254 "; }, false, 254, nullptr, true},
        {"node 0", [](auto& f) { f.node = "0"; }, false, -1, MSG_BAD_NODE, true},
        {"node 255", [](auto& f) { f.node = "255"; }, false, -1, MSG_BAD_NODE, true},
        {"node empty", [](auto& f) { f.node = ""; }, false, -1, MSG_BAD_NODE, true},
        {"search ignores node", [](auto& f) { f.node = ""; }, true, 0, nullptr, true},
        {"usb search", [](auto& f) { f.lan = false, f.usb = true, f.node = "9"; }, true, 0, nullptr, false},
    };
    for (const auto& c : cases) {
        TargetForm f{true, true, false, "/dev/ttyUSB0", "/dev/ttyUSB1", "192.168.0.5", "10003", "7"};
        c.edit(f);
        const TargetResult r = CheckTarget(f, c.forSearch);
        EXPECT_EQ(std::make_tuple(r.node, Msg(r.message), r.mode), std::make_tuple(c.node, Msg(c.msg), c.tcp ? LINK_TCP : LINK_SERIAL))
            << c.name;
    }
}

TEST(TargetCheck, FillsLinkFieldsAsItGoes) {
    const TargetResult r = CheckTarget({true, true, false, "", "", "  host.example  ", "", ""}, false);
    EXPECT_EQ(Msg(r.message), MSG_LAN_NO_PORT);
    EXPECT_TRUE(r.setHost && !r.setComPort);
    EXPECT_EQ(r.host, "host.example");  // trimmed, kept although the check failed
    const TargetResult ru = CheckTarget({true, false, true, "", "/dev/pts/3", "", "", "300"}, false);
    EXPECT_EQ(Msg(ru.message), MSG_BAD_NODE);
    EXPECT_TRUE(ru.setComPort && ru.comPort == "/dev/pts/3");
}

TEST(MainReply, IdentityRepliesByLength) {
    const struct { std::string reply; MainReply::Kind kind; bool counts, parsed; int code, ext; std::uint32_t uid; } cases[] = {
        {Bytes("md!."), MainReply::ModelCode, true, true, 14, 0, 0},  // L 5
        {Bytes("md!/("), MainReply::ModelCode, true, true, 15, 8, 0},  // L 6, code 15 takes ext
        {Bytes("md!#("), MainReply::ModelCode, true, true, 3, 0, 0},  // ext only for 15
        {Bytes("md!/"), MainReply::ModelCode, true, true, 15, 0, 0},  // L 5 with 15: ext 0
        {Bytes("md!"), MainReply::ModelCode, true, false, 0, 0, 0},  // too short: counts, not parsed
        {Bytes("md!#(("), MainReply::ModelCode, true, false, 0, 0, 0},  // too long
        {Bytes("gs00A1BEEF"), MainReply::UnitId, true, true, 0, 0, 0x00A1BEEF},
        {Bytes("gs00A1BEE"), MainReply::UnitId, true, false, 0, 0, 0},
        {Bytes("xx"), MainReply::Other, false, false, 0, 0, 0},
        {std::string("md"), MainReply::Ignored, false, false, 0, 0, 0},  // L < 3
    };
    for (const auto& c : cases) {
        const MainReply r = ParseMainReply(U(c.reply), L(c.reply));
        EXPECT_EQ(std::make_tuple(r.kind, r.counts, r.parsed), std::make_tuple(c.kind, c.counts, c.parsed)) << c.reply;
        if (c.parsed) {
            EXPECT_EQ(std::make_tuple(r.modelCode, r.modelExt, r.uid), std::make_tuple(c.code, c.ext, c.uid)) << c.reply;
        }
    }
}

TEST(NodeAnswer, LayoutAndRowTexts) {
    const struct { std::string reply; const char *node, *model, *id, *rssi; } cases[] = {  // node "": not parsed
        {Bytes("sn05.!B5"), "5", "TQ-110-RZ", "1", "-75 dBm"},
        {Bytes("sn05.!NN"), "5", "TQ-110-RZ", "1", ""},
        {Bytes("sn0A-#"), "10", "TQ-130-RZ", "2", ""},           // L 7: no signal field
        {Bytes("snFE./!C4"), "254", "VM-310-RZ", "", "-60 dBm"},  // L 10, code 15 ext 1
        {Bytes("snFE./\""), "254", "VM-320-RZ", "", ""},         // L 8, code 15 ext 2
        {Bytes("snFE./"), "254", "(EX0)", "", ""},                // L 7: no extension byte
        {Bytes("snFE./C4"), "254", "(EX0)", "", "-60 dBm"},       // L 9: signal, no extension
        {Bytes("sn03.-A8"), "3", "RG_U", "", "-88 dBm"},          // gateway: no ID
        {Bytes("sn05"), "", "", "", ""},                          // L 5
        {Bytes("sn05.!B5xx"), "", "", "", ""},                    // L 11
    };
    for (const auto& c : cases) {
        const MainReply mr = ParseMainReply(U(c.reply), L(c.reply));
        EXPECT_TRUE(mr.counts) << "an sn of any length counts as an answer";
        const NodeRowTexts t = mr.parsed ? FormatNodeRow(mr.node) : NodeRowTexts{};
        EXPECT_EQ(t.node + "|" + t.model + "|" + t.id + "|" + t.rssi,
                  std::string(c.node) + "|" + c.model + "|" + c.id + "|" + c.rssi);
    }
}

TEST(SearchStatus, DotsGrowToTwentyThenWrap) {
    int dots = 1;
    for (int tick = 1; tick < 20; ++tick) dots = NextSearchDots(dots);
    EXPECT_EQ(dots, 20);
    EXPECT_EQ(NextSearchDots(dots), 1);
    EXPECT_EQ(SearchStatusText(2), "デバイスを検索しています . .\n発見したデバイスはリストに順次追加されます。");
}

TEST(PortNames, WindowsFriendlyNames) {
    const struct { const char* name; int number; } cases[] = {  // -1: rejected
        {"USB Serial Device (COM3)", 3}, {"Bluetooth Link (COM12)", 12}, {"Odd (COMx)", -1},
        {"Odd (COM3", -1},               {"Empty (COM)", 0},             {"Modem (COM7) on card", 7},
        {"Printer (LPT1)", -1},          {"lower (com4)", -1},           {"Trailing (COM5x)", 5},
    };
    for (const auto& c : cases) {
        PortTable table;
        EXPECT_EQ(table.AddPortFromFriendlyName(c.name), c.number >= 0) << c.name;
        ASSERT_EQ(table.Count(), c.number >= 0 ? 1 : 0) << c.name;
        if (c.number >= 0) {
            EXPECT_EQ(table.Entries()[0].identity, "\\\\.\\COM" + std::to_string(c.number)) << c.name;
        }
    }
}

TEST(PortNames, ExtraPortsFromEnvironmentText) {
    const std::vector<PortItem> items = ParseExtraPorts("/tmp/rzsim/ttyRZ0::/dev/pts/7:");
    EXPECT_EQ(items, (std::vector<PortItem>{{"Virtual Serial Port (ttyRZ0)", "/tmp/rzsim/ttyRZ0"},
                                            {"Virtual Serial Port (7)", "/dev/pts/7"}}));
    EXPECT_TRUE(ParseExtraPorts("").empty());
}

TEST(PortTableTest, HoldsAtMost256Entries) {
    std::vector<PortItem> items;
    for (int i = 0; i < 300; ++i) items.emplace_back("Port (COM" + std::to_string(i) + ")", "x");
    PortTable table;
    FillPortTable(&table, items, true);
    EXPECT_EQ(table.Count(), PORT_TABLE_SIZE);
    EXPECT_EQ(table.Entries().back().comNumber, 255);
    FillPortTable(&table, {{"a (ttyS0)", "/dev/ttyS0"}}, false);
    ASSERT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Entries()[0].identity, "/dev/ttyS0");
}

TEST(PortSelectionTest, PreselectionAndRefreshRules) {
    const std::vector<PortItem> plain = {{"Communications Port (COM1)", ""}, {"Bluetooth Link (COM12)", ""},
                                         {"Modem (COM4)", ""}};
    const std::vector<PortItem> withUsb = {{"Communications Port (COM1)", ""}, {"USB Serial Device (COM3)", ""},
                                           {"Other USB Port (COM9)", ""}};
    const struct { const char* name; const std::vector<PortItem>* items; const char *direct, *gateway; int d, g; } cases[] = {
        {"first entry", &plain, "", "", 0, 0},
        {"USB overrides remembered", &withUsb, "\\\\.\\COM1", "\\\\.\\COM1", 1, 1},
        {"both kept", &plain, "\\\\.\\COM12", "\\\\.\\COM4", 1, 2},
        {"direct gone keeps first", &plain, "\\\\.\\COM99", "\\\\.\\COM12", 0, 1},
        {"no direct selection: gateway ignored", &plain, "", "\\\\.\\COM12", 0, 0},
    };
    for (const auto& c : cases) {
        PortTable table;
        FillPortTable(&table, *c.items, true);
        const PortSelection s = ChoosePortSelection(table, c.direct, c.gateway);
        EXPECT_EQ(std::make_pair(s.direct, s.gateway), std::make_pair(c.d, c.g)) << c.name;
    }
    const PortSelection none = ChoosePortSelection(PortTable{}, "x", "y");
    EXPECT_EQ(std::make_pair(none.direct, none.gateway), std::make_pair(-1, -1));
}
