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

TEST(RzctlReplies, LinesEscapesAndIdentity) {
    const std::pair<std::string, std::string> nodes[] = {  // "" when the answer is not listed
        {"sn05.!NN\xC8", "node 5 model TQ-110-RZ id 1 rssi -"},
        {"sn02-/!C4\xC8", "node 2 model VM-310-RZ id - rssi -60"},
        {"sn05.\xC8", ""},
    };
    for (const auto& [reply, line] : nodes) {
        const MainReply r = ParseMainReply(U(reply.c_str()), static_cast<int>(reply.size()));
        EXPECT_EQ(r.parsed ? FormatNode(r.node) : "", line) << reply;
    }
    CtlIdentity id;
    EXPECT_TRUE(TakeIdentity(ParseMainReply(U("md /!\xC8"), 6), &id));
    EXPECT_TRUE(TakeIdentity(ParseMainReply(U("gs00a1beef\xC8"), 11), &id));
    EXPECT_FALSE(TakeIdentity(ParseMainReply(U("md .!!\xC8"), 7), &id));  // wrong length: nothing taken
    EXPECT_EQ(FormatIdentity(id), "model: VM-310-RZ\ncode: 15\next: 1\nuid: 00A1BEEF\n");
    EXPECT_EQ(UnescapeText("SP\\x41\\x2\\xc8\\xZZ"), std::string("SPA\\x2\xC8\\xZZ"));
    const std::string raw = "gi\x01\xC8 \\";
    EXPECT_EQ(EscapeBytes(U(raw.c_str()), static_cast<int>(raw.size())), "gi\\x01\\xC8 \\x5C");
}

struct CtlRun {
    int status;
    std::string out;  // standard output, then standard error
};

CtlRun RunCtl(const std::string& args) {
    FILE* p = popen((std::string(RZCTL_PATH) + " " + args + " 2>&1").c_str(), "r");
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
    const std::string tcp = "--tcp 127.0.0.1:" + std::to_string(sim.StartTcp()) + " ";
    const struct { std::string args; int status; std::string start; } cases[] = {
        {tcp + "identify", 0, "model: TQ-RZ900E\ncode: 14\next: 0\nuid: 0012ABCD\n"},
        {"--serial " + sim.StartPty() + " --node 0 identify", 0, "model: TQ-RZ900E\n"},
        {tcp + "search --seconds 1", 0, "node "},
        {tcp + "--node 0 --timeout 1 raw SJ", 0, "sj"},
        {tcp + "--node 0 --timeout 1 raw GQ", 0, "gq\"\n"},  // the status notification too
        {tcp + "--node 77 --timeout 1 identify", 1, "rzctl: no answer within 1 s\n"},  // nobody is node 77
        {"identify", 2, "rzctl: --tcp or --serial is required\n"},
        {"--tcp 127.0.0.1:1 --timeout 1 identify", 2, "rzctl: cannot connect: error 20003\n"},  // refused
        {"--tcp no-such-host.invalid identify", 2, "rzctl: cannot connect: error -"},  // the resolver's own code
        {"--serial /dev/does-not-exist-rz identify", 2, "rzctl: cannot connect: error 2\n"},
        {"--tcp 127.0.0.1 --node 300 identify", 2, "rzctl: --node takes 0..255\n"},
    };
    for (const auto& c : cases) {
        const CtlRun r = RunCtl(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.out;
        EXPECT_EQ(r.out.substr(0, c.start.size()), c.start) << c.args;
    }
    const auto frames = sim.Frames();
    EXPECT_NE(std::find(frames.begin(), frames.end(), "FFSN"), frames.end());
}

// A device that answers the first frame by resetting the connection.
int ResettingPeer(std::thread* server) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
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
    std::thread server;
    const int port = ResettingPeer(&server);
    ASSERT_GT(port, 0);
    const struct { std::string args; const char* message; } cases[] = {
        {"--tcp 127.0.0.1:" + std::to_string(sim.StartTcp()) + " --timeout 20 identify", "connection lost: error 20000"},
        {"--serial " + sim.StartPty() + " --timeout 20 raw SJ", "connection lost: error 5"},  // EIO: the device end went away
        {"--tcp 127.0.0.1:" + std::to_string(port) + " search --seconds 20", "connection lost: error 104"},  // ECONNRESET
    };
    for (const auto& c : cases) {
        const auto t0 = std::chrono::steady_clock::now();
        const CtlRun r = RunCtl(c.args);
        EXPECT_EQ(r.status, 2) << c.args << ": " << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << ": " << r.out;
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << c.args;
    }
    server.join();
}

}  // namespace
