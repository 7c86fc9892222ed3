// Main window rules without the toolkit: time-out and target
// checks with their messages, reply parsing, node rows and the port table.
#include "app/CommandLine.h"
#include "app/ConnectRules.h"
#include "app/PortTable.h"
#include "forms/AppTexts.h"
#include "link/DeviceLink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::string Bytes(const char* text) { return text + std::string(1, static_cast<char>(REPLY_TERMINATOR)); }
MainReply Parse(const std::string& s) { return ParseMainReply(reinterpret_cast<const unsigned char*>(s.data()), int(s.size())); }
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

// The checks in their order with their messages, and the link fields filled
// as the check goes, also when it then fails (addresses and ports trimmed).
TEST(TargetCheck, OrderMessagesAndLinkFields) {
    const char *lan = "tcp host 192.168.0.5 port 10003", *direct = "serial com /dev/ttyUSB0", *usb = "serial com /dev/ttyUSB1";
    const struct { const char* name; void (*edit)(TargetForm&); bool forSearch; int node; const char* msg; const char* link; } cases[] = {
        // each edits a remote LAN form with every field set
        {"direct ignores node", [](auto& f) { f.remote = false, f.node = "0"; }, false, 0, nullptr, direct},
        {"no direct port", [](auto& f) { f.remote = false, f.directPort = ""; }, false, -1, MSG_SELECT_TARGET, "serial"},
        {"remote, neither lan nor usb", [](auto& f) { f.lan = false; }, false, 0, nullptr, direct},
        {"usb before lan", [](auto& f) { f.usb = true; }, false, 7, nullptr, usb},
        {"no usb port", [](auto& f) { f.usb = true, f.gatewayPort = f.node = ""; }, false, -1, MSG_SELECT_TARGET, "serial"},
        {"usb, bad node", [](auto& f) { f.usb = true, f.node = "300"; }, false, -1, MSG_BAD_NODE, usb},
        {"blank address", [](auto& f) { f.address = "   ", f.port = ""; }, false, -1, MSG_LAN_NO_ADDRESS, "tcp host "},
        {"blank port", [](auto& f) { f.address = " h.x ", f.port = " \t", f.node = ""; }, false, -1, MSG_LAN_NO_PORT, "tcp host h.x port "},
        {"node 1", [](auto& f) { f.node = "1", f.port = " 10003 "; }, false, 1, nullptr, lan},
        {"node 254", [](auto& f) { f.node = " 254 "; }, false, 254, nullptr, lan},
        {"node 0", [](auto& f) { f.node = "0"; }, false, -1, MSG_BAD_NODE, lan},
        {"node 255", [](auto& f) { f.node = "255"; }, false, -1, MSG_BAD_NODE, lan},
        {"node empty", [](auto& f) { f.node = ""; }, false, -1, MSG_BAD_NODE, lan},
        {"search ignores node", [](auto& f) { f.node = ""; }, true, 0, nullptr, lan},
        {"usb search", [](auto& f) { f.lan = false, f.usb = true, f.node = "9"; }, true, 0, nullptr, usb},
    };
    for (const auto& c : cases) {
        TargetForm f{true, true, false, "/dev/ttyUSB0", "/dev/ttyUSB1", "192.168.0.5", "10003", "7"};
        c.edit(f);
        const TargetResult r = CheckTarget(f, c.forSearch);
        const std::string link = std::string(r.mode == LINK_TCP ? "tcp" : r.mode == LINK_SERIAL ? "serial" : "?") +
                                 (r.setComPort ? " com " + r.comPort : "") + (r.setHost ? " host " + r.host : "") +
                                 (r.setPort ? " port " + r.port : "");
        EXPECT_EQ(std::make_tuple(r.node, Msg(r.message), link), std::make_tuple(c.node, Msg(c.msg), std::string(c.link))) << c.name;
    }
}

TEST(TargetCheck, OpenFailureMessages) {
    const struct { int mode, err; std::string message; } cases[] = {
        {LINK_TCP, LINK_E_TIMEOUT, MSG_GATEWAY_UNREACHABLE},
        {LINK_SERIAL, LINK_E_TIMEOUT, "接続エラー : 20003"},
        {LINK_SERIAL, ENOENT, "接続エラー : 2"},
        {LINK_SERIAL, EBUSY, "接続エラー : 16"},  // held by another program: not a permission matter
        {LINK_SERIAL, LINK_E_NO_PERMISSION,
         "シリアルポート /dev/ttyUSB0 を開く権限がありません。\nユーザーを dialout グループに追加し、ログインし直してください。"},
        {LINK_TCP, -2, "接続エラー : -2"},  // the resolver's code
    };
    for (const auto& c : cases) EXPECT_EQ(OpenFailureMessage(c.mode, c.err, "/dev/ttyUSB0"), c.message) << c.err;
}

// The program's options, Qt's options and their values left to the toolkit
// (--help, --version and the usage errors of the process are in the
// command-line tests).
TEST(CommandLine, OwnOptionsQtOptionsAndErrors) {
    using A = RzsetCommandLine::Action;
    const struct { std::vector<std::string> args; A action; std::string trace, error; } cases[] = {
        {{}, A::Run, "", ""},
        {{"-h"}, A::Help, "", ""},
        {{"--trace", "t.log", "--version"}, A::Version, "t.log", ""},
        {{"--trace=/tmp/a b.log"}, A::Run, "/tmp/a b.log", ""},
        {{"--trace="}, A::UsageError, "", "--trace needs a file"},
        {{"--trace", ""}, A::UsageError, "", "--trace needs a file"},
        {{"--style", "fusion", "-reverse", "-style=windows"}, A::Run, "", ""},
        {{"-platform"}, A::UsageError, "", "-platform needs a value"},
        {{"-x", "--help"}, A::UsageError, "", "unknown option -x"},
        {{"-"}, A::UsageError, "", "unexpected argument -"},
    };
    for (const auto& c : cases) {
        const RzsetCommandLine cl = ParseRzsetCommandLine(c.args);
        EXPECT_EQ(std::make_tuple(cl.action, cl.tracePath, cl.error), std::make_tuple(c.action, c.trace, c.error))
            << (c.args.empty() ? "(none)" : c.args[0]);
    }
}

// What the handler takes from each reply, by kind and length: the model
// code and extension of "md" ("ext" only for code 15), the unit ID of "gs",
// and the row texts of an "sn" (an ID only below code 13, an extension byte
// only at lengths 8 and 10).
TEST(MainReply, KindsLengthsAndRowTexts) {
    using K = MainReply::Kind;
    auto taken = [](const MainReply& r) -> std::string {  // "": not parsed
        if (!r.parsed) return "";
        if (r.kind != K::Node) return std::to_string(r.modelCode) + "/" + std::to_string(r.modelExt) + "/" + std::to_string(r.uid);
        const NodeRowTexts t = FormatNodeRow(r.node);
        return t.node + "|" + t.model + "|" + t.id + "|" + t.rssi;
    };
    const struct { std::string reply; K kind; bool counts; const char* taken; } cases[] = {
        {Bytes("md!."), K::ModelCode, true, "14/0/0"},       // L 5
        {Bytes("md!/("), K::ModelCode, true, "15/8/0"},      // L 6, code 15 takes ext
        {Bytes("md!#("), K::ModelCode, true, "3/0/0"},       // ext only for 15
        {Bytes("md!/"), K::ModelCode, true, "15/0/0"},       // L 5 with 15: ext 0
        {Bytes("md!"), K::ModelCode, true, ""},              // too short: counts, not parsed
        {Bytes("md!#(("), K::ModelCode, true, ""},           // too long
        {Bytes("gs00A1BEEF"), K::UnitId, true, "0/0/10600175"},
        {Bytes("gs00A1BEE"), K::UnitId, true, ""},
        {Bytes("xx"), K::Other, false, ""},
        {std::string("md"), K::Ignored, false, ""},          // L < 3
        {Bytes("sn05.!B5"), K::Node, true, "5|TQ-110-RZ|1|-75 dBm"},
        {Bytes("sn05.!NN"), K::Node, true, "5|TQ-110-RZ|1|"},
        {Bytes("sn0A-#"), K::Node, true, "10|TQ-130-RZ|2|"},            // L 7: no signal field
        {Bytes("snFE./!C4"), K::Node, true, "254|VM-310-RZ||-60 dBm"},  // L 10, code 15 ext 1
        {Bytes("snFE./\""), K::Node, true, "254|VM-320-RZ||"},          // L 8, code 15 ext 2
        {Bytes("snFE./"), K::Node, true, "254|(EX0)||"},                // L 7: no extension byte
        {Bytes("snFE./C4"), K::Node, true, "254|(EX0)||-60 dBm"},       // L 9: signal, no extension
        {Bytes("sn03.-A8"), K::Node, true, "3|RG_U||-88 dBm"},          // gateway: no ID
        {Bytes("sn05"), K::Node, true, ""},                             // L 5: counts, not parsed
        {Bytes("sn05.!B5xx"), K::Node, true, ""},                       // L 11
    };
    for (const auto& c : cases) {
        const MainReply r = Parse(c.reply);
        EXPECT_EQ(std::make_tuple(r.kind, r.counts, taken(r)), std::make_tuple(c.kind, c.counts, std::string(c.taken))) << c.reply;
    }
}

// The search's dots grow to twenty, then start again; the version text has a
// fourth digit only when there is one.
TEST(Texts, SearchStatusAndVersion) {
    int dots = 1;
    for (int tick = 1; tick < 20; ++tick) dots = NextSearchDots(dots);
    EXPECT_EQ(dots, 20);
    EXPECT_EQ(NextSearchDots(dots), 1);
    EXPECT_EQ(SearchStatusText(2), "デバイスを検索しています . .\n発見したデバイスはリストに順次追加されます。");
    EXPECT_EQ(FormatVersionText(1, 0, 3, 0) + " " + FormatVersionText(1, 2, 3, 4), "Version 1.03 Version 1.234");
}

// The table from an inventory (the Windows rule keeps "(COMn)" names only,
// Linux items are taken as they are) and the rows a refresh selects: the
// first, the first USB entry, else each remembered port still present (the
// gateway's only when the direct list had a selection).
TEST(PortTableTest, EntriesAndSelection) {
    std::vector<PortItem> names;
    for (const char* n : {"USB Serial Device (COM3)", "Bluetooth Link (COM12)", "Odd (COMx)", "Odd (COM3", "Empty (COM)",
                          "Modem (COM7) on card", "Printer (LPT1)", "lower (com4)", "Trailing (COM5x)"})
        names.emplace_back(n, "");
    const std::vector<PortItem> plain = {{"Communications Port (COM1)", ""}, {"Bluetooth Link (COM12)", ""}, {"Modem (COM4)", ""}};
    const std::vector<PortItem> usb = {{"Communications Port (COM1)", ""}, {"USB Serial Device (COM3)", ""}, {"Other USB Port (COM9)", ""}};
    const char *plainIds = R"(\\.\COM1 \\.\COM12 \\.\COM4)", *usbIds = R"(\\.\COM1 \\.\COM3 \\.\COM9)";
    const struct { const char* name; std::vector<PortItem> items; bool windows; const char *direct, *gateway, *ids; int d, g; } cases[] = {
        {"windows names", names, true, "", "", R"(\\.\COM3 \\.\COM12 \\.\COM0 \\.\COM7 \\.\COM5)", 0, 0},
        {"linux items", {{"a (ttyS0)", "/dev/ttyS0"}, {"b (COM3)", "/dev/b"}}, false, "", "", "/dev/ttyS0 /dev/b", 0, 0},
        {"first entry", plain, true, "", "", plainIds, 0, 0},
        {"USB overrides remembered", usb, true, R"(\\.\COM1)", R"(\\.\COM1)", usbIds, 1, 1},
        {"both kept", plain, true, R"(\\.\COM12)", R"(\\.\COM4)", plainIds, 1, 2},
        {"direct gone keeps first", plain, true, R"(\\.\COM99)", R"(\\.\COM12)", plainIds, 0, 1},
        {"no direct selection: gateway ignored", plain, true, "", R"(\\.\COM12)", plainIds, 0, 0},
        {"no ports", {}, true, "x", "y", "", -1, -1},
    };
    for (const auto& c : cases) {
        PortTable table;
        FillPortTable(&table, c.items, c.windows);
        std::string ids;
        for (const PortEntry& e : table.Entries()) ids += (ids.empty() ? "" : " ") + e.identity;
        const PortSelection s = ChoosePortSelection(table, c.direct, c.gateway);
        EXPECT_EQ(std::make_tuple(ids, s.direct, s.gateway), std::make_tuple(std::string(c.ids), c.d, c.g)) << c.name;
    }
}

// At most 256 entries; a refill starts afresh; the environment's extra ports.
TEST(PortTableTest, CapacityAndExtraPorts) {
    std::vector<PortItem> items;
    for (int i = 0; i < 300; ++i) items.emplace_back("Port (COM" + std::to_string(i) + ")", "x");
    PortTable table;
    FillPortTable(&table, items, true);
    EXPECT_EQ(table.Count(), PORT_TABLE_SIZE);
    EXPECT_EQ(table.Entries().back().comNumber, 255);
    items = ParseExtraPorts("/tmp/rzsim/ttyRZ0::/dev/pts/7:");
    EXPECT_EQ(items, (std::vector<PortItem>{{"Virtual Serial Port (ttyRZ0)", "/tmp/rzsim/ttyRZ0"}, {"Virtual Serial Port (7)", "/dev/pts/7"}}));
    FillPortTable(&table, items, false);
    ASSERT_EQ(table.Count(), 2);
    EXPECT_EQ(table.Entries()[1].identity, "/dev/pts/7");
    EXPECT_TRUE(ParseExtraPorts("").empty());
}
