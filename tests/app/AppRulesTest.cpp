// Main window rules without the toolkit: version text, time-out and target
// checks with their messages, reply parsing, node rows and the port table.
#include "app/ConnectRules.h"
#include "app/PortTable.h"
#include "forms/AppTexts.h"
#include "link/DeviceLink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Bytes(const char* text) {
    std::string s(text);
    s.push_back(static_cast<char>(REPLY_TERMINATOR));
    return s;
}
const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
int L(const std::string& s) { return static_cast<int>(s.size()); }
std::string Msg(const char* m) { return m ? m : "<none>"; }

}  // namespace

TEST(VersionText, ThreeOrFourNumbers) {
    struct Case { int a, b, c, d; const char* text; } cases[] = {
        {1, 0, 3, 0, "Version 1.03"},
        {1, 2, 3, 4, "Version 1.234"},
        {2, 10, 0, 0, "Version 2.100"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatVersionText(c.a, c.b, c.c, c.d), c.text);
}

TEST(TimeoutField, RangeAndCConversion) {
    struct Case { const char* text; bool ok; int seconds; } cases[] = {
        {"5", true, 5},   {"120", true, 120}, {"4", false, 0},   {"121", false, 0},
        {" 10 ", true, 10}, {"", false, 0},   {"7x", true, 7},   {"x7", false, 0},
        {"-10", false, 0}, {"99999999999999999999", false, 0},
    };
    for (const auto& c : cases) {
        int seconds = -1;
        const char* msg = CheckTimeoutText(c.text, &seconds);
        if (c.ok) {
            EXPECT_EQ(msg, nullptr) << c.text;
            EXPECT_EQ(seconds, c.seconds) << c.text;
        } else {
            EXPECT_EQ(Msg(msg), MSG_TIMEOUT_RANGE) << c.text;
        }
    }
}

TEST(TargetCheck, OrderMessagesAndLinkFields) {
    auto direct = [] {
        TargetForm f;
        f.directPort = "/dev/ttyUSB0";
        f.gatewayPort = "/dev/ttyUSB1";
        f.address = "192.168.0.5";
        f.port = "10003";
        f.node = "7";
        return f;
    };
    struct Case {
        const char* name;
        void (*edit)(TargetForm&);
        bool forSearch;
        int node;
        const char* message;
        int mode;
    } cases[] = {
        {"direct ignores node", [](TargetForm& f) { f.node = "0"; }, false, 0, nullptr, LINK_SERIAL},
        {"direct without port", [](TargetForm& f) { f.directPort.clear(); }, false, -1, MSG_SELECT_TARGET, LINK_SERIAL},
        {"remote with neither lan nor usb is direct", [](TargetForm& f) { f.remote = true; }, false, 0, nullptr,
         LINK_SERIAL},
        {"usb before lan", [](TargetForm& f) { f.remote = f.usb = f.lan = true; }, false, 7, nullptr, LINK_SERIAL},
        {"usb without port", [](TargetForm& f) { f.remote = f.usb = true; f.gatewayPort.clear(); f.node = ""; }, false,
         -1, MSG_SELECT_TARGET, LINK_SERIAL},
        {"lan blank address", [](TargetForm& f) { f.remote = f.lan = true; f.address = "   "; f.port = ""; }, false, -1,
         MSG_LAN_NO_ADDRESS, LINK_TCP},
        {"lan blank port", [](TargetForm& f) { f.remote = f.lan = true; f.port = " \t"; f.node = ""; }, false, -1,
         MSG_LAN_NO_PORT, LINK_TCP},
        {"node 1", [](TargetForm& f) { f.remote = f.lan = true; f.node = "1"; }, false, 1, nullptr, LINK_TCP},
        {"node 254", [](TargetForm& f) { f.remote = f.lan = true; f.node = " 254 "; }, false, 254, nullptr, LINK_TCP},
        {"node 0", [](TargetForm& f) { f.remote = f.lan = true; f.node = "0"; }, false, -1, MSG_BAD_NODE, LINK_TCP},
        {"node 255", [](TargetForm& f) { f.remote = f.lan = true; f.node = "255"; }, false, -1, MSG_BAD_NODE, LINK_TCP},
        {"node empty", [](TargetForm& f) { f.remote = f.lan = true; f.node = ""; }, false, -1, MSG_BAD_NODE, LINK_TCP},
        {"search ignores node", [](TargetForm& f) { f.remote = f.lan = true; f.node = ""; }, true, 0, nullptr, LINK_TCP},
        {"usb search", [](TargetForm& f) { f.remote = f.usb = true; f.node = "999"; }, true, 0, nullptr, LINK_SERIAL},
    };
    for (const auto& c : cases) {
        TargetForm f = direct();
        c.edit(f);
        const TargetResult r = CheckTarget(f, c.forSearch);
        EXPECT_EQ(r.node, c.node) << c.name;
        EXPECT_EQ(Msg(r.message), Msg(c.message)) << c.name;
        EXPECT_EQ(r.mode, c.mode) << c.name;
    }
}

TEST(TargetCheck, FillsLinkFieldsAsItGoes) {
    TargetForm f;
    f.remote = f.lan = true;
    f.address = "  host.example  ";
    f.port = "";
    const TargetResult r = CheckTarget(f, false);
    EXPECT_EQ(Msg(r.message), MSG_LAN_NO_PORT);
    EXPECT_TRUE(r.setHost);
    EXPECT_EQ(r.host, "host.example");  // trimmed, kept although the check failed
    EXPECT_FALSE(r.setComPort);

    TargetForm u;
    u.remote = u.usb = true;
    u.gatewayPort = "/dev/pts/3";
    u.node = "300";
    const TargetResult ru = CheckTarget(u, false);
    EXPECT_EQ(Msg(ru.message), MSG_BAD_NODE);
    EXPECT_TRUE(ru.setComPort);
    EXPECT_EQ(ru.comPort, "/dev/pts/3");
}

TEST(MainReply, IdentityRepliesByLength) {
    struct Case {
        std::string reply;
        MainReply::Kind kind;
        bool counts, parsed;
        int code, ext;
        std::uint32_t uid;
    } cases[] = {
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
        EXPECT_EQ(r.kind, c.kind) << c.reply;
        EXPECT_EQ(r.counts, c.counts) << c.reply;
        EXPECT_EQ(r.parsed, c.parsed) << c.reply;
        if (c.parsed) {
            EXPECT_EQ(r.modelCode, c.code) << c.reply;
            EXPECT_EQ(r.modelExt, c.ext) << c.reply;
            EXPECT_EQ(r.uid, c.uid) << c.reply;
        }
    }
}

TEST(NodeAnswer, LayoutAndRowTexts) {
    struct Case {
        std::string reply;
        bool ok;
        const char *node, *model, *id, *rssi;
    } cases[] = {
        {Bytes("sn05.!B5"), true, "5", "TQ-110-RZ", "1", "-75 dBm"},
        {Bytes("sn05.!NN"), true, "5", "TQ-110-RZ", "1", ""},
        {Bytes("sn0A-#"), true, "10", "TQ-130-RZ", "2", ""},           // L 7: no signal field
        {Bytes("snFE./!C4"), true, "254", "VM-310-RZ", "", "-60 dBm"},  // L 10, code 15 ext 1
        {Bytes("sn03.-A8"), true, "3", "RG_U", "", "-88 dBm"},          // gateway: no ID
        {Bytes("sn03..A8"), true, "3", "TQ-RZ900E", "", "-88 dBm"},
        {Bytes("sn05.!"), true, "5", "TQ-110-RZ", "1", ""},
        {Bytes("sn05"), false, "", "", "", ""},          // L 5
        {Bytes("sn05.!B5xx"), false, "", "", "", ""},    // L 11
    };
    for (const auto& c : cases) {
        const auto a = ParseNodeAnswer(U(c.reply), L(c.reply));
        ASSERT_EQ(a.has_value(), c.ok) << c.reply;
        const MainReply mr = ParseMainReply(U(c.reply), L(c.reply));
        EXPECT_TRUE(mr.counts) << "an sn of any length counts as an answer";
        EXPECT_EQ(mr.parsed, c.ok);
        if (!c.ok) continue;
        const NodeRowTexts t = FormatNodeRow(*a);
        EXPECT_EQ(t.node, c.node) << c.reply;
        EXPECT_EQ(t.model, c.model) << c.reply;
        EXPECT_EQ(t.id, c.id) << c.reply;
        EXPECT_EQ(t.rssi, c.rssi) << c.reply;
    }
}

TEST(SearchStatus, DotsGrowToTwentyThenWrap) {
    int dots = 1;
    std::string first = SearchStatusText(dots);
    EXPECT_EQ(first, "デバイスを検索しています .\n発見したデバイスはリストに順次追加されます。");
    for (int tick = 1; tick < 20; ++tick) dots = NextSearchDots(dots);
    EXPECT_EQ(dots, 20);
    const std::string twenty = SearchStatusText(dots);
    std::string expected = "デバイスを検索しています";
    for (int i = 0; i < 20; ++i) expected += " .";
    EXPECT_EQ(twenty, expected + "\n発見したデバイスはリストに順次追加されます。");
    EXPECT_EQ(NextSearchDots(dots), 1);
}

TEST(PortNames, WindowsFriendlyNames) {
    struct Case { const char* name; bool ok; int number; } cases[] = {
        {"USB Serial Device (COM3)", true, 3},
        {"Communications Port (COM1)", true, 1},
        {"Bluetooth Link (COM12)", true, 12},
        {"Odd (COMx)", false, 0},
        {"Odd (COM3", false, 0},
        {"Empty (COM)", true, 0},
        {"Modem (COM7) on card", true, 7},
        {"Printer (LPT1)", false, 0},
        {"lower (com4)", false, 0},
        {"Trailing (COM5x)", true, 5},
    };
    for (const auto& c : cases) {
        PortTable table;
        EXPECT_EQ(table.AddPortFromFriendlyName(c.name), c.ok) << c.name;
        if (!c.ok) {
            EXPECT_EQ(table.Count(), 0) << c.name;
            continue;
        }
        ASSERT_EQ(table.Count(), 1);
        EXPECT_EQ(table.Entries()[0].name, c.name);
        EXPECT_EQ(table.Entries()[0].comNumber, c.number) << c.name;
        EXPECT_EQ(table.Entries()[0].identity, "\\\\.\\COM" + std::to_string(c.number));
    }
}

TEST(PortNames, LinuxTtyNames) {
    struct Case { const char *desc, *dev; bool usb; const char* name; } cases[] = {
        {"FT232R USB UART", "ttyUSB0", true, "FT232R USB UART (ttyUSB0)"},
        {"CP2102N Bridge", "ttyUSB1", true, "USB CP2102N Bridge (ttyUSB1)"},
        {"", "ttyACM0", true, "USB Serial Device (ttyACM0)"},
        {"16550A", "ttyS0", false, "16550A (ttyS0)"},
        {"", "ttyS1", false, "Communications Port (ttyS1)"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatTtyFriendlyName(c.desc, c.dev, c.usb), c.name);
}

TEST(PortTableTest, HoldsAtMost256Entries) {
    std::vector<PortItem> items;
    for (int i = 0; i < 300; ++i) items.emplace_back("Port (COM" + std::to_string(i) + ")", "x");
    PortTable table;
    FillPortTable(&table, items, true);
    EXPECT_EQ(table.Count(), PORT_TABLE_SIZE);
    EXPECT_EQ(table.Entries().back().comNumber, 255);
    FillPortTable(&table, {{"a (ttyS0)", "/dev/ttyS0"}}, false);
    EXPECT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Entries()[0].identity, "/dev/ttyS0");
}

TEST(PortSelectionTest, PreselectionAndRefreshRules) {
    const std::vector<PortItem> plain = {{"Communications Port (COM1)", ""}, {"Bluetooth Link (COM12)", ""},
                                         {"Modem (COM4)", ""}};
    const std::vector<PortItem> withUsb = {{"Communications Port (COM1)", ""}, {"USB Serial Device (COM3)", ""},
                                           {"Other USB Port (COM9)", ""}};
    struct Case {
        const char* name;
        const std::vector<PortItem>* items;
        const char *rememberedDirect, *rememberedGateway;
        int direct, gateway;
    } cases[] = {
        {"first entry", &plain, "", "", 0, 0},
        {"first USB wins", &withUsb, "", "", 1, 1},
        {"USB overrides remembered", &withUsb, "\\\\.\\COM1", "\\\\.\\COM1", 1, 1},
        {"both kept", &plain, "\\\\.\\COM12", "\\\\.\\COM4", 1, 2},
        {"gateway gone keeps first", &plain, "\\\\.\\COM4", "\\\\.\\COM99", 2, 0},
        {"direct gone keeps first", &plain, "\\\\.\\COM99", "\\\\.\\COM12", 0, 1},
        {"no direct selection: gateway ignored", &plain, "", "\\\\.\\COM12", 0, 0},
    };
    for (const auto& c : cases) {
        PortTable table;
        FillPortTable(&table, *c.items, true);
        const PortSelection s = ChoosePortSelection(table, c.rememberedDirect, c.rememberedGateway);
        EXPECT_EQ(s.direct, c.direct) << c.name;
        EXPECT_EQ(s.gateway, c.gateway) << c.name;
    }
    PortTable empty;
    const PortSelection none = ChoosePortSelection(empty, "x", "y");
    EXPECT_EQ(none.direct, -1);
    EXPECT_EQ(none.gateway, -1);
}

TEST(PortNames, ExtraPortsFromEnvironmentText) {
    const std::vector<PortItem> items = ParseExtraPorts("/tmp/rzsim/ttyRZ0::/dev/pts/7:");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], (PortItem{"Virtual Serial Port (ttyRZ0)", "/tmp/rzsim/ttyRZ0"}));
    EXPECT_EQ(items[1], (PortItem{"Virtual Serial Port (7)", "/dev/pts/7"}));
    EXPECT_TRUE(ParseExtraPorts("").empty());
}
