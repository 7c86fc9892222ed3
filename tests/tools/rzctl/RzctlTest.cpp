#include "tools/rzctl/CtlReplies.h"
#include "tools/rzsim/Simulator.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <regex>
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

// ---------------------------------------------------------------- profiles

// Sources (2x) with every written setting away from the defaults, targets
// (3x) as shipped; the gateway is attached.
const char* kProfileNetwork = R"(
device 11 model 15 ext 1
set 11 relay ",#03!\x22#&0D0A\x220A20"
device 12 model 15 ext 1
device 21 model 1
set 21 mem.0CB 01
set 21 mem.0D0 0014000000
device 22 model 2
set 22 sk "&0A050000\x22#"
set 22 sy "&01!"
set 22 mem.0C9 11
set 22 mem.0CC 01
device 23 model 3
set 23 sk "&0A050000\x22#"
set 23 sy "&01!"
set 23 mem.0C9 05
set 23 mem.0CC 01
set 23 mem.0CB 04
set 23 mem.0D0 00FF000000
device 24 model 4
set 24 sy "&01!"
set 24 mem.0C9 02
set 24 mem.0CC 00
set 24 mem.0CB 1F
set 24 mem.0D0 0000000000
device 28 model 8
set 28 sk "+07000000 \x22"
set 28 sy "\x2209\x22"
set 28 mem.100 000000000000
set 28 mem.0CB 02
set 28 mem.0D0 0A00000000
set 28 aj.0 "\x22 "
set 28 ak.0 "(C0003FFF"
set 28 tj.0 " ! 000003E8"
set 28 aj.1 "\x26 "
set 28 ak.1 " 00100200"
set 28 tj.1 "\x23\x27$FF9C09C4"
set 28 aj.2 "\x23 "
set 28 ak.2 " 80007FFF"
set 28 tj.2 " ! 000003E8"
device 29 model 9
set 29 sk "&0A050000\x22#"
set 29 mem.0C9 06
set 29 mem.0CC 01
set 29 mem.19C 0001000000
set 29 mem.1A4 FF3F0040000000000000
set 29 ak.0 " 80007FFF"
set 29 ak.1 "(00004000"
set 29 ak.2 " 00000100"
device 31 model 1
device 32 model 2
device 33 model 3
device 34 model 4
device 38 model 8
set 38 mem.100 000000000000
device 39 model 9
device 42 model 2
device 43 model 2
fault 42 ignore SLEP
fault 43 noanswer MW0CC
)";

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "rzctl_" + std::to_string(::getpid()) + "_" + name;
}

// Device state in the simulator -> read -> profile -> write to a second
// device of the model -> the same state, for every kind and every I/O unit
// model with pages.
TEST(RzctlProfiles, CopyOneDeviceToAnother) {
    rzsim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(rzsim::ParseScenario(kProfileNetwork, &scenario, &error)) << error;
    rzsim::Simulator sim(scenario);
    const std::string tcp = "--tcp 127.0.0.1:" + std::to_string(sim.StartTcp()) + " ";
    rzsim::Scenario gateway;
    ASSERT_TRUE(rzsim::ParseScenario("device 0 model 14\nset 0 relay \"  05    0000 0000\"\n"
                                     "set 0 lan \"271204D2 0A000005FFFF00000A0000FE\"\n",
                                     &gateway, &error)) << error;
    rzsim::Simulator sourceGateway(gateway);
    ASSERT_TRUE(rzsim::ParseScenario("device 0 model 14\n", &gateway, &error)) << error;
    rzsim::Simulator targetGateway(gateway);
    const struct { std::string from; std::string to; int source; int target; rzsim::Simulator* sim; } copies[] = {
        {tcp + "--node 11", tcp + "--node 12", 11, 12, &sim},
        {tcp + "--node 21", tcp + "--node 31", 21, 31, &sim},
        {tcp + "--node 22", tcp + "--node 32", 22, 32, &sim},
        {tcp + "--node 23", tcp + "--node 33", 23, 33, &sim},
        {tcp + "--node 24", tcp + "--node 34", 24, 34, &sim},
        {tcp + "--node 28", tcp + "--node 38", 28, 38, &sim},
        {tcp + "--node 29", tcp + "--node 39", 29, 39, &sim},
        {"--tcp 127.0.0.1:" + std::to_string(sourceGateway.StartTcp()),
         "--serial " + targetGateway.StartPty(), 0, 0, &targetGateway},
    };
    for (const auto& c : copies) {
        const std::string file = TempPath("copy.json");
        const CtlRun read = RunCtl(c.from + " read --output " + file);
        ASSERT_EQ(read.status, 0) << c.from << ": " << read.out;
        const CtlRun write = RunCtl(c.to + " write " + file + " --verify");
        EXPECT_EQ(write.status, 0) << c.to << ": " << write.out;
        const rzsim::DeviceState a = c.source ? sim.State(c.source) : sourceGateway.State(0);
        const rzsim::DeviceState b = c.sim->State(c.target);
        EXPECT_EQ(a.relay, b.relay) << c.to;
        EXPECT_EQ(a.lan, b.lan) << c.to;
        EXPECT_EQ(a.fields, b.fields) << c.to;
        EXPECT_EQ(b.resetCount, (a.model >= 1 && a.model <= 9) ? 1 : 0) << c.to;  // I/O units restart
        std::remove(file.c_str());
    }
}

TEST(RzctlProfiles, VerifyPartialWriteAndRefusals) {
    rzsim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(rzsim::ParseScenario(kProfileNetwork, &scenario, &error)) << error;
    rzsim::Simulator sim(scenario);
    const std::string tcp = "--tcp 127.0.0.1:" + std::to_string(sim.StartTcp()) + " --timeout 1 ";
    const std::string file = TempPath("source.json"), bad = TempPath("bad.json");
    ASSERT_EQ(RunCtl(tcp + "--node 22 read --output " + file).status, 0);

    // A device that acknowledges "SLEP" but keeps its old sleep settings.
    CtlRun r = RunCtl(tcp + "--node 42 write " + file + " --verify");
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_NE(r.out.find("settings.digitalInput.sleepEnabled: profile true, device false\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(RunCtl(tcp + "--node 42 diff " + file).status, 3);
    EXPECT_EQ(RunCtl(tcp + "--node 22 diff " + file).status, 0);

    // The fourth command is never answered: the three before it are the
    // written ones, and no reset follows.
    r = RunCtl(tcp + "--node 43 write " + file);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("write command 4 of 4 (MW0CC101): no answer within 1 s\n"
                         "rzctl: written: SE&0A050000\"#, SLEP&01!, MW0C9111\n"
                         "rzctl: not written: MW0CC101 (failed)\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(sim.State(43).resetCount, 0);

    // Refused before anything is written: another model (identified first),
    // and files that never open a connection.
    sim.ClearFrames();
    r = RunCtl(tcp + "--node 21 write " + file);
    EXPECT_EQ(r.status, 4) << r.out;
    EXPECT_NE(r.out.find("profile refused: model: TQ-120-RZ のプロファイルです。TQ-110-RZ には使えません。"),
              std::string::npos) << r.out;
    EXPECT_EQ(sim.Frames(), (std::vector<std::string>{"15MD", "15GS"}));
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const struct { std::string text; std::string message; } files[] = {
        {text.substr(0, text.size() / 2), "ファイルが壊れているか途中で切れています"},
        {std::regex_replace(text, std::regex("\"version\": 1"), "\"version\": 9"), "version: 新しい版 (9)"},
        {std::regex_replace(text, std::regex("\"retryCount\": 3"), "\"retryCount\": 9"), "settings.digitalInput.retryCount: "},
        {std::regex_replace(text, std::regex("\"resetRequest\": true,"), ""), "settings.digitalInput.resetRequest: 項目がありません。"},
    };
    sim.ClearFrames();
    for (const auto& f : files) {
        std::ofstream(bad, std::ios::trunc) << f.text;
        r = RunCtl(tcp + "--node 32 write " + bad);
        EXPECT_EQ(r.status, 4) << r.out;
        EXPECT_NE(r.out.find(f.message), std::string::npos) << r.out;
    }
    EXPECT_TRUE(sim.Frames().empty());
    std::remove(file.c_str());
    std::remove(bad.c_str());
}

TEST(RzctlProfiles, SearchFormatsAndTrace) {
    rzsim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(rzsim::ParseScenario("device 0 model 14\ndevice 1 model 3 rssi B5\ndevice 2 model 15 ext 1 id 2 "
                                     "rssi C4\ndevice 3 model 13 rssi none\n", &scenario, &error)) << error;
    rzsim::Simulator sim(scenario);
    const std::string tcp = "--tcp 127.0.0.1:" + std::to_string(sim.StartTcp()) + " ";
    CtlRun r = RunCtl(tcp + "search --seconds 1 --format csv");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "node,model,code,ext,id,rssi\n1,TQ-130-RZ,3,0,1,-75\n2,VM-310-RZ,15,1,,-60\n3,RG_U,13,0,,\n");
    r = RunCtl(tcp + "search --seconds 1 --format json");
    EXPECT_EQ(r.out.substr(0, 89), "[\n  {\n    \"node\": 1,\n    \"model\": \"TQ-130-RZ\",\n    \"code\": 3,\n    \"ext\": 0,\n"
                                   "    \"id\": 1,\n");
    EXPECT_NE(r.out.find("\"id\": null,\n    \"rssi\": -60"), std::string::npos) << r.out;
    // The trace: every frame each way, on stderr, before or after the target.
    for (const std::string& args : {"--trace " + tcp + "--node 1 identify", tcp + "--trace --node 1 identify"}) {
        r = RunCtl(args);
        EXPECT_EQ(r.status, 0) << r.out;
        for (const char* line : {R"(\d\.\d{6} > 01 MD\\xC8\n)", R"(\d\.\d{6} < 01 md1#\\xC8\n)"})
            EXPECT_TRUE(std::regex_search(r.out, std::regex(line))) << line << r.out;
        EXPECT_NE(r.out.find(" < 01 gs00A10001\\xC8\n"), std::string::npos) << r.out;
    }
}

}  // namespace
