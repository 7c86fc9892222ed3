#include "tools/rzctl/CtlReplies.h"
#include "tools/rzsim/Simulator.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

TEST(RzctlReplies, LinesOfIdentifyAndSearch) {
    struct {
        const char* reply;
        const char* line;  // "" when the answer is not listed
    } const cases[] = {
        {"sn05.!B5\xC8", "node 5 model TQ-110-RZ id 1 rssi -75"},
        {"sn05.!NN\xC8", "node 5 model TQ-110-RZ id 1 rssi -"},
        {"sn02-/!C4\xC8", "node 2 model VM-310-RZ id - rssi -60"},
        {"snFE..B0\xC8", "node 254 model TQ-RZ900E id - rssi -80"},
        {"sn05.\xC8", ""},
    };
    for (const auto& c : cases) {
        const MainReply r = ParseMainReply(U(c.reply), static_cast<int>(std::string(c.reply).size()));
        EXPECT_EQ(r.parsed ? FormatNode(r.node) : "", c.line) << c.reply;
    }
    CtlIdentity id;
    EXPECT_TRUE(TakeIdentity(ParseMainReply(U("md /!\xC8"), 6), &id));
    EXPECT_TRUE(TakeIdentity(ParseMainReply(U("gs00a1beef\xC8"), 11), &id));
    EXPECT_FALSE(TakeIdentity(ParseMainReply(U("md .!!\xC8"), 7), &id));  // wrong length: nothing taken
    EXPECT_EQ(FormatIdentity(id), "model: VM-310-RZ\ncode: 15\next: 1\nuid: 00A1BEEF\n");
}

TEST(RzctlReplies, EscapesRoundTrip) {
    EXPECT_EQ(UnescapeText("SP\\x41\\x2"), "SPA\\x2");
    EXPECT_EQ(UnescapeText("\\xc8\\xZZ"), std::string("\xC8\\xZZ"));
    const std::string raw = "gi\x01\xC8 \\";
    EXPECT_EQ(EscapeBytes(U(raw.c_str()), static_cast<int>(raw.size())), "gi\\x01\\xC8 \\x5C");
}

struct CtlRun {
    int status;
    std::string out;
};

CtlRun RunCtl(const std::string& args) {
    const std::string cmd = std::string(RZCTL_PATH) + " " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    CtlRun r{-1, ""};
    if (!p) return r;
    std::array<char, 512> buf{};
    while (fgets(buf.data(), buf.size(), p)) r.out += buf.data();
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

TEST(RzctlEndToEnd, AgainstTheSimulatorOverTcpAndPty) {
    rzsim::Simulator sim(rzsim::DefaultScenario());
    const int port = sim.StartTcp();
    ASSERT_GT(port, 0);
    const std::string pty = sim.StartPty();
    ASSERT_FALSE(pty.empty());
    const std::string tcp = "--tcp 127.0.0.1:" + std::to_string(port);

    CtlRun r = RunCtl(tcp + " identify");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("model: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nuid: "), std::string::npos);

    r = RunCtl("--serial " + pty + " --node 0 identify");
    EXPECT_EQ(r.status, 0) << r.out;

    r = RunCtl(tcp + " search --seconds 1");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("node 1 model "), std::string::npos) << r.out;
    const auto frames = sim.Frames();
    bool sawBroadcast = false;
    for (const auto& f : frames) sawBroadcast |= f == "FFSN";
    EXPECT_TRUE(sawBroadcast);

    r = RunCtl(tcp + " --node 0 --timeout 1 raw SJ");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("sj", 0), 0u) << r.out;

    r = RunCtl(tcp + " --node 77 --timeout 1 identify");  // nobody is node 77
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
}

TEST(RzctlEndToEnd, UsageAndConnectionErrors) {
    EXPECT_EQ(RunCtl("identify").status, 2);
    EXPECT_EQ(RunCtl("--tcp 127.0.0.1:1 --timeout 1 identify").status, 2);
    EXPECT_EQ(RunCtl("--serial /dev/does-not-exist-rz identify").status, 2);
    EXPECT_EQ(RunCtl("--tcp 127.0.0.1 --node 300 identify").status, 2);
    EXPECT_EQ(RunCtl("--tcp 127.0.0.1 frobnicate").status, 2);
}

}  // namespace
