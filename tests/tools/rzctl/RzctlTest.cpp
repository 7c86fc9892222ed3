#include "tools/rzctl/CtlReplies.h"
#include "tools/rzsim/Simulator.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>
#include <thread>

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
    std::string out;  // standard output, then standard error
};

CtlRun RunCtl(const std::string& args) {
    const std::string cmd = std::string(RZCTL_PATH) + " " + args + " 2>&1";
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

    r = RunCtl(tcp + " --node 0 --timeout 1 raw GQ");  // the status notification too
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "gq\"\n");

    r = RunCtl(tcp + " --node 77 --timeout 1 identify");  // nobody is node 77
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "rzctl: no answer within 1 s\n");
}

// A device that answers the first frame by resetting the connection.
int ResettingPeer(std::thread* server) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return -1;
    *server = std::thread([listener] {
        const int conn = ::accept(listener, nullptr, nullptr);
        char byte = 0;
        while (conn >= 0 && ::read(conn, &byte, 1) == 1 && byte != '\xC8') {
        }
        const linger abort{1, 0};
        ::setsockopt(conn, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(conn);
        ::close(listener);
    });
    return ntohs(addr.sin_port);
}

// A link lost at any moment is a connection error with its code, not a
// missing answer: each command, long before its own time runs out.
TEST(RzctlEndToEnd, LostConnectionExitsTwo) {
    rzsim::Scenario dropping;
    std::string error;
    ASSERT_TRUE(rzsim::ParseScenario("fault drop-after 1\n", &dropping, &error)) << error;
    rzsim::Simulator sim(dropping);
    const std::string closing = "--tcp 127.0.0.1:" + std::to_string(sim.StartTcp());
    const std::string vanishing = "--serial " + sim.StartPty();
    std::thread server;
    const int port = ResettingPeer(&server);
    ASSERT_GT(port, 0);
    const struct { std::string args; const char* code; } cases[] = {
        {closing + " --timeout 20 identify", "error 20000"},
        {vanishing + " --timeout 20 raw SJ", "error 5"},  // EIO: the device end went away
        {"--tcp 127.0.0.1:" + std::to_string(port) + " search --seconds 20", "error 104"},  // ECONNRESET
    };
    for (const auto& c : cases) {
        const auto t0 = std::chrono::steady_clock::now();
        const CtlRun r = RunCtl(c.args);
        EXPECT_EQ(r.status, 2) << c.args << ": " << r.out;
        EXPECT_NE(r.out.find(c.code), std::string::npos) << c.args << ": " << r.out;
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << c.args;
    }
    server.join();
}

TEST(RzctlEndToEnd, UsageAndConnectionErrors) {
    EXPECT_EQ(RunCtl("identify").status, 2);
    EXPECT_EQ(RunCtl("--tcp 127.0.0.1:1 --timeout 1 identify").status, 2);
    EXPECT_EQ(RunCtl("--serial /dev/does-not-exist-rz identify").status, 2);
    EXPECT_EQ(RunCtl("--tcp 127.0.0.1 --node 300 identify").status, 2);
    EXPECT_EQ(RunCtl("--tcp 127.0.0.1 frobnicate").status, 2);
}

}  // namespace
