#include "tools/rzctl/CtlReplies.h"
#include "tools/rzsim/Simulator.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <tuple>

namespace {

const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

rzsim::Scenario Parse(const std::string& text) {
    rzsim::Scenario sc;
    std::string error;
    EXPECT_TRUE(rzsim::ParseScenario(text, &sc, &error)) << error;
    return sc;
}

std::string Tcp(rzsim::Simulator& sim) { return "--tcp 127.0.0.1:" + std::to_string(sim.StartTcp()) + " "; }

TEST(RzctlReplies, LinesAndIdentity) {
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
}

struct CtlRun { int status; std::string out; };  // out: standard output, then standard error

// Runs rzctl through the shell; as root with asNobody, as the user nobody
// (status 99: that user may not run this build's rzctl).
CtlRun RunCtl(const std::string& args, bool asNobody = false) {
    const std::string cmd = std::string(RZCTL_PATH) + " " + args + " 2>&1";  // built before the fork
    CtlRun r{-1, ""};
    int out[2];
    if (pipe(out) != 0) return r;
    const pid_t child = fork();
    if (child == 0) {
        if (asNobody && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(98);
        if (access(RZCTL_PATH, X_OK) != 0) _exit(99);
        dup2(out[1], 1);
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(97);
    }
    close(out[1]);
    char buf[512];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) r.out.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    int st = 0;
    if (child > 0 && waitpid(child, &st, 0) == child && WIFEXITED(st)) r.status = WEXITSTATUS(st);
    return r;
}

// Exit statuses and output against the simulator; a link lost at any moment
// is a connection error with its code (status 2), not a missing answer, and
// ends each command long before its own time runs out.
TEST(RzctlEndToEnd, AgainstTheSimulatorOverTcpAndPty) {
    rzsim::Simulator sim(rzsim::DefaultScenario()), dropping(Parse("fault drop-after 1\n"));
    const std::string tcp = Tcp(sim), lost = Tcp(dropping);
    const struct { std::string args; int status; std::string start; } cases[] = {
        {tcp + "identify", 0, "model: TQ-RZ900E\ncode: 14\next: 0\nuid: 0012ABCD\n"},
        {"--serial " + sim.StartPty() + " --node 0 identify", 0, "model: TQ-RZ900E\n"},
        {tcp + "--node 0 --timeout 1 raw SJ", 0, "sj% 00  ! 0000 01F7\n"},
        {tcp + "--node 0 --timeout 1 raw GQ", 0, "gq\"\n"},  // the status notification too
        {tcp + "--node 77 --timeout 1 identify", 1, "rzctl: no answer within 1 s\n"},  // nobody is node 77
        {"identify", 2, "rzctl: --tcp or --serial is required\n"},
        {"--tcp 127.0.0.1:1 --timeout 1 identify", 2, "rzctl: cannot connect: error 20003\n"},  // refused
        {"--tcp no-such-host.invalid identify", 2, "rzctl: cannot connect: error -"},  // the resolver's own code
        {"--serial /dev/does-not-exist-rz identify", 2, "rzctl: cannot connect: error 2\n"},
        {"--tcp 127.0.0.1 --node 300 identify", 2, "rzctl: --node takes 0..255\n"},
        {lost + "--timeout 20 identify", 2, "rzctl: connection lost: error 20000\n"},
        {lost + "search --seconds 20", 2, "rzctl: connection lost: error 20000\n"},
        {"--serial " + dropping.StartPty() + " --timeout 20 raw SJ", 2, "rzctl: connection lost: error 5\n"},  // EIO
    };
    for (const auto& c : cases) {
        const auto t0 = std::chrono::steady_clock::now();
        const CtlRun r = RunCtl(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.out;
        EXPECT_EQ(r.out.substr(0, c.start.size()), c.start) << c.args;
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << c.args;
    }
}

// A port that exists but that the user may not open: the message names the
// port and the way out. Root opens every device, so as root the client runs
// as nobody; any other user is kept out of the terminal by its mode.
TEST(RzctlEndToEnd, PortWithoutPermission) {
    rzsim::Simulator sim(rzsim::DefaultScenario());
    const std::string pty = sim.StartPty();
    const bool root = geteuid() == 0;
    if (!root) {
        ASSERT_EQ(chmod(pty.c_str(), 0), 0);
    }
    const CtlRun r = RunCtl("--serial " + pty + " identify", root);
    if (r.status == 99) GTEST_SKIP() << "this build's rzctl cannot be run by nobody";
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(r.out, "rzctl: cannot open " + pty + ": permission denied (add the user to the dialout group and log in again)\n");
    EXPECT_TRUE(sim.Frames().empty());
}

// ---------------------------------------------------------------- profiles

// Sources (1x, 2x) with every written setting away from the defaults, targets
// (3x) as shipped: a serial converter and the I/O units with digital inputs
// (TQ-120-RZ) and with analog inputs, inputs and outputs (TQ-150-RZ).
const char* kProfileNetwork = R"(
device 11 model 15 ext 1
set 11 relay ",#03!\x22#&0D0A\x220A20"
device 12 model 15 ext 1
device 22 model 2
set 22 sk "&0A050000\x22#"
set 22 sy "&01!"
set 22 mem.0C9 11
set 22 mem.0CC 01
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
device 32 model 2
device 38 model 8
set 38 mem.100 000000000000
device 42 model 2
device 43 model 2
fault 42 ignore SLEP
fault 43 noanswer MW0CC
)";

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "rzctl_" + std::to_string(::getpid()) + "_" + name;
}

// Device state in the simulator -> read -> profile -> write --verify to a
// second device of the model -> the same state, for each kind of device
// (the attached gateway from TCP to a pty).
TEST(RzctlProfiles, CopyOneDeviceToAnother) {
    rzsim::Simulator sim(Parse(kProfileNetwork));
    const std::string tcp = Tcp(sim);
    rzsim::Simulator sourceGateway(Parse("device 0 model 14\nset 0 relay \"  05    0000 0000\"\n"
                                         "set 0 lan \"271204D2 0A000005FFFF00000A0000FE\"\n"));
    rzsim::Simulator targetGateway(Parse("device 0 model 14\n"));
    const struct { std::string from; std::string to; int source; int target; rzsim::Simulator* sim; } copies[] = {
        {tcp + "--node 11", tcp + "--node 12", 11, 12, &sim},
        {tcp + "--node 22", tcp + "--node 32", 22, 32, &sim},
        {tcp + "--node 28", tcp + "--node 38", 28, 38, &sim},
        {Tcp(sourceGateway), "--serial " + targetGateway.StartPty(), 0, 0, &targetGateway},
    };
    for (const auto& c : copies) {
        const std::string file = TempPath("copy.json");
        const CtlRun read = RunCtl(c.from + " read --output " + file);
        ASSERT_EQ(read.status, 0) << c.from << ": " << read.out;
        const CtlRun write = RunCtl(c.to + " write " + file + " --verify");
        EXPECT_EQ(write.status, 0) << c.to << ": " << write.out;
        const rzsim::DeviceState a = c.source ? sim.State(c.source) : sourceGateway.State(0);
        const int resets = (a.model >= 1 && a.model <= 9) ? 1 : 0;  // I/O units restart
        // "RSET/" goes out last and unanswered: rzctl may have ended before
        // the device took it, so wait (bounded) for the device to see it.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (c.sim->State(c.target).resetCount < resets && std::chrono::steady_clock::now() < until)
            c.sim->WaitForFrames(c.sim->Frames().size() + 1, std::chrono::milliseconds(100));
        const rzsim::DeviceState b = c.sim->State(c.target);
        EXPECT_EQ(std::tie(a.relay, a.lan, a.fields), std::tie(b.relay, b.lan, b.fields)) << c.to;
        EXPECT_EQ(b.resetCount, resets) << c.to;
        std::remove(file.c_str());
    }
}

TEST(RzctlProfiles, VerifyPartialWriteAndRefusals) {
    rzsim::Simulator sim(Parse(kProfileNetwork));
    const std::string tcp = Tcp(sim) + "--timeout 1 ";
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
    // and files that never open a connection (the envelope, and the settings
    // against the profile's own model).
    sim.ClearFrames();
    r = RunCtl(tcp + "--node 28 write " + file);
    EXPECT_EQ(r.status, 4) << r.out;
    EXPECT_NE(r.out.find("profile refused: model: TQ-120-RZ のプロファイルです。TQ-150-RZ には使えません。"),
              std::string::npos) << r.out;
    EXPECT_EQ(sim.Frames(), (std::vector<std::string>{"1CMD", "1CGS"}));
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const struct { std::string text; std::string message; } files[] = {
        {text.substr(0, text.size() / 2), "ファイルが壊れているか途中で切れています"},
        {std::regex_replace(text, std::regex("\"retryCount\": 3"), "\"retryCount\": 9"), "settings.digitalInput.retryCount: "},
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
    rzsim::Simulator sim(Parse("device 0 model 14\ndevice 1 model 3 rssi B5\ndevice 2 model 15 ext 1 id 2 rssi C4\n"
                               "device 3 model 13 rssi none\n"));
    const std::string tcp = Tcp(sim);
    CtlRun r = RunCtl(tcp + "search --seconds 1");
    EXPECT_EQ(r.out, "node 1 model TQ-130-RZ id 1 rssi -75\nnode 2 model VM-310-RZ id - rssi -60\nnode 3 model RG_U id - rssi -\n");
    EXPECT_EQ(sim.Frames(), std::vector<std::string>{"FFSN"});
    r = RunCtl(tcp + "search --seconds 1 --format csv");
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
