// The simulator: its protocol table and scenario text without any I/O, then
// the running channels over a real pseudo-terminal and real loopback TCP,
// driven with plain sockets and termios, and the rzsim program as scripts
// start it. What the tools read and write end to end (identification, search,
// relay, LAN, group and registration exchanges, garbage on opening, dropped
// connections) the other test folders cover.
#include "tools/rzsim/Simulator.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace rzsim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
const std::string T = "\xC8";

Scenario Parse(const std::string& text)
{
    Scenario sc;
    std::string error;
    EXPECT_TRUE(ParseScenario(text, &sc, &error)) << error;
    return sc;
}

std::string ReadFile(const std::string& path)
{
    std::stringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

// The one answer of a node, or "" when it stays silent.
std::string Ask(Scenario& sc, int node, const std::string& command)
{
    auto d = std::find_if(sc.devices.begin(), sc.devices.end(), [&](const DeviceState& s) { return s.node == node; });
    if (d == sc.devices.end()) return "no device";
    const std::vector<std::string> r = AnswerCommand(*d, command, sc);
    EXPECT_LE(r.size(), 1u);
    return r.empty() ? std::string() : r.front();
}

const char* const kNetwork = R"(
device 0 model 14 uid 0012ABCD
device 1 model 3 uid 00A10001 id 1 rssi B5
device 2 model 15 ext 1 id 2 rssi none
device 8 model 8 rssi NN
device 9 model 9 id 0 rssi C4
set 8 ak.1 "(00107FF0"
set 8 tj.2 "\x23\x27\x24FFF603E8"
set 9 mem.1A4 FF3F0080000000000000
)";

std::string GroupWrite(const std::string& group, const std::string& node)
{
    return "GI! " + group + node + "pass     " + std::string(64, '0');
}

TEST(AnswerCommand, RepliesWritesAndFaults)
{
    // fault: a scenario line added to the network; write: sent first and
    // answered, or ""; reply: without the node prefix, "" for no answer.
    const struct { std::string fault; int node; std::string write, command, reply; } cases[] = {
        // Node search without RSSI and with ID 0.
        {"", 2, "", "SN", "sn02-/!" + T},
        {"", 9, "", "SN", "sn09/)C4" + T},
        // Memory echoes address and count, from a set field.
        {"", 9, "", "MR1A4A", "mr1A4AFF3F0080000000000000" + T},
        // Analog pages per channel: set fields, model 9 outputs.
        {"", 8, "", "AK!", "ak!(00107FF0" + T},
        {"", 8, "", "TJ\"", "tj\"#'$FFF603E8" + T},
        {"", 9, "", "AK ", "ak  80007FFF" + T},
        // Four-letter mnemonic acknowledged with two letters; "mw" echoes.
        {"", 1, "", "SLEP 00 ", "sl" + T},
        {"", 1, "", "MW0C9103", "mw0C91" + T},
        // Writes are read back.
        {"", 1, "SE%05090000\"'", "SK", "sk%05090000\"'" + T},
        {"", 1, "SLEP&FE!", "SY", "sy&FE!" + T},
        {"", 1, "MW0D05003200000A", "MR0D05", "mr0D05003200000A" + T},
        {"", 8, "AR$#", "AJ$", "aj$# " + T},
        {"", 8, "AL!(FFF00010", "AK!", "ak!(FFF00010" + T},
        {"", 8, "TC#%#", "TJ#", "tj#%# 000003E8" + T},
        {"", 8, "TF##80000064", "TJ#", "tj# !#80000064" + T},
        // A write of the wrong length is acknowledged but changes nothing.
        {"", 0, "SP  05", "SJ", "sj% 00  ! 0000 01F7" + T},
        {"", 1, "SE%0509", "SK", "sk$01000000 #" + T},
        // Commands the model does not have, and malformed ones, stay silent.
        {"", 0, "", "SK", ""},
        {"", 1, "", "AK ", ""},
        {"", 9, "", "AJ ", ""},
        {"", 1, "", "MW0C91 3", ""},
        {"", 8, "", "AJ%", ""},
        // Faults: for one node or all, by mnemonic prefix.
        {"fault 1 noanswer SJ", 0, "", "SJ", "sj% 00  ! 0000 01F7" + T},
        {"fault * noanswer md", 0, "", "MD", ""},
        {"fault 0 noanswer MR01A", 0, "", "MR01A6", ""},
        {"fault 0 noanswer MR01A", 0, "", "MR0CB1", "mr0CB100" + T},
        // Malformed group writes get the error form, code 1, and store nothing.
        {"", 0, "", "GI! FFFFFFFF01pass", "gi01!" + T},
        {"", 0, GroupWrite("XYZ12345", "05"), "GJ", "gj! FFFFFFFF01 " + T},
    };
    for (const auto& c : cases) {
        Scenario sc = Parse(kNetwork + c.fault + "\n");
        if (!c.write.empty()) {
            EXPECT_NE(Ask(sc, c.node, c.write), "") << c.write;
        }
        EXPECT_EQ(Ask(sc, c.node, c.command), c.reply) << c.fault << " / " << c.write << " / " << c.command;
    }
    // A uid that would give FFFFFFFF ("no group") still gets a real group.
    EXPECT_NE(NewGroupNumber(0xA5FFFFFF), 0xFFFFFFFFu);
}

TEST(Scenario, BadLinesAreReportedWithTheirNumber)
{
    const std::pair<std::string, std::string> cases[] = {
        {"device 0 model 14\ndevice 0 model 13", "line 2: device 0 given twice"},
        {"device 1 model 3\nset 1 relay \"% 00\"", "line 2: relay needs 17 bytes, got 4"},
        {"fault 1 error SJ 3", "line 1: error answers exist for GI and SP only"},
        {"set 0 relay \"abc", "line 1: unterminated quote"},
        {"launch", "line 1: unknown directive launch"},
    };
    for (const auto& [text, expected] : cases) {
        Scenario sc;
        std::string error;
        EXPECT_FALSE(ParseScenario(text, &sc, &error)) << text;
        EXPECT_EQ(error, expected) << text;
    }
}

TEST(Scenario, DefaultScenarioIsTheDemonstrationFile)
{
    const Scenario demo = Parse(ReadFile(RZSIM_DEMO));
    ASSERT_EQ(demo.devices.size(), 9u);
    EXPECT_EQ(Simulator(demo).DumpState(), Simulator(DefaultScenario()).DumpState());
}

TEST(Scenario, DumpedStateLoadsBackUnchanged)
{
    Scenario sc = Parse(std::string(kNetwork) + "set 0 relay \"\\x22\\x5C00  ! 0000 01F7\"\ngq 2 0\n"
                                                "fault garbage 00C8FF\nfault 1 delay SK 30\nfault drop-after 3\n"
                                                "fault * noanswer \"mr 1#\\x22\"\n");
    EXPECT_EQ(sc.devices[0].relay.substr(0, 2), "\"\\");
    Ask(sc, 0, GroupWrite("FFFFFFFF", "01"));
    EXPECT_EQ(Ask(sc, 0, "RSET/"), "");
    const std::string text = Simulator(sc).DumpState();
    Scenario back;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, &back, &error)) << error << "\n" << text;
    EXPECT_EQ(Simulator(back).DumpState(), text);
    EXPECT_EQ(back.devices[0].resetCount, 1);
    EXPECT_EQ(back.devices[0].lastGroupWrite, GroupWrite("FFFFFFFF", "01").substr(2));
    ASSERT_EQ(back.faults.size(), 4u);
    EXPECT_EQ(back.faults[0].bytes, std::string("\x00\xC8\xFF", 3));
    EXPECT_EQ(back.faults[3].mnemonic, "MR 1#\"");
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

struct TempDir {
    char path[32] = "/tmp/rzsim_test_XXXXXX";
    TempDir() { EXPECT_NE(mkdtemp(path), nullptr); }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string Path(const std::string& leaf) const { return std::string(path) + "/" + leaf; }
};

struct Fd {  // closed at the end of its scope
    int fd;
    ~Fd() { close(fd); }
};

int ConnectTcp(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    close(fd);
    return -1;
}

// Opens the device end like a serial port: raw, all eight bits.
int OpenPty(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    if (fd >= 0 && tcgetattr(fd, &t) == 0) cfmakeraw(&t), tcsetattr(fd, TCSANOW, &t);
    return fd;
}

void SendFrame(int fd, const std::string& frame)
{
    const std::string bytes = frame + T;
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// Reads until `count` stop bytes arrived, the far end hung up (end of file
// or a read error) or the deadline passed.
std::string ReadReplies(int fd, int count, std::chrono::milliseconds deadline, char stop = T[0], bool* hungUp = nullptr)
{
    std::string got;
    const auto end = Clock::now() + deadline;
    while (std::count(got.begin(), got.end(), stop) < count && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0 && (n == 0 || errno != EAGAIN)) {
            if (hungUp) *hungUp = true;
            break;
        }
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

bool SeesHangup(int fd, std::chrono::milliseconds deadline)
{
    bool hungUp = false;
    ReadReplies(fd, 1 << 20, deadline, T[0], &hungUp);
    return hungUp;
}

TEST(SimulatorTcp, RoutesAnswersWritesAndHandsOverToANewConnection)
{
    Scenario three = DefaultScenario();
    three.devices.resize(4);  // the gateway and nodes 1 to 3
    Simulator sim(three);
    std::atomic<int> changes{0};
    sim.SetStateChangedHandler([&] { ++changes; });
    const int port = sim.StartTcp();
    ASSERT_GT(port, 0);
    Fd fd{ConnectTcp(port)};
    ASSERT_GE(fd.fd, 0);

    const struct { std::string frame; int replies; std::string expected; } cases[] = {
        {"01GQ", 1, "00gq\"" + T},  // the notification always comes from 00
        {"02SP% 03  !!0D00 01F7", 1, "02sp" + T},
        {"04MD", 0, ""},  // no node 4: the next answer is the next command's
        {"00GS", 1, "00gs0012ABCD" + T},
    };
    std::vector<std::string> frames;
    for (const auto& c : cases) {
        SendFrame(fd.fd, c.frame);
        EXPECT_EQ(ReadReplies(fd.fd, c.replies, 2s), c.expected) << c.frame;
        frames.push_back(c.frame);
    }
    ASSERT_TRUE(sim.WaitForFrames(frames.size(), 2s));
    EXPECT_EQ(sim.Frames(), frames);
    EXPECT_EQ(sim.State(2).relay, "% 03  !!0D00 01F7");
    EXPECT_EQ(changes.load(), 1);  // only the write changed a device

    Fd second{ConnectTcp(port)};
    SendFrame(second.fd, "00MD");
    EXPECT_EQ(ReadReplies(second.fd, 1, 2s), "00md1." + T);
    EXPECT_TRUE(SeesHangup(fd.fd, 2s)) << "the new connection replaces the old one";
}

// A delayed answer letting others pass meanwhile the settings windows' tests
// show end to end; here, that it never holds up a stop.
TEST(Simulator, PtyReopensAndAQueuedAnswerDoesNotHoldUpStop)
{
    TempDir dir;
    const std::string link = dir.Path("ttyRZ0");
    Simulator sim(Parse("device 0 model 14 uid 0012ABCD\nfault 0 delay GK 5000\n"));
    const int port = sim.StartTcp();
    Fd tcp{ConnectTcp(port)};
    ASSERT_FALSE(sim.StartPty(link).empty());
    for (int round = 0; round < 5; ++round) {  // raw, all eight bits, no echo, whatever opened it before
        Fd again{OpenPty(link)};
        SendFrame(again.fd, "00MD");
        EXPECT_EQ(ReadReplies(again.fd, 1, 2s), "00md1." + T) << "round " << round;
    }
    SendFrame(tcp.fd, "00GK");  // an answer is waiting in the queue
    ASSERT_TRUE(sim.WaitForFrames(6, 2s));
    const auto start = Clock::now();
    sim.Stop();
    EXPECT_LT(Clock::now() - start, 2500ms);  // does not wait for the queued 5 s answer
    EXPECT_TRUE(SeesHangup(tcp.fd, 1s));
    EXPECT_LT(ConnectTcp(port), 0);
    EXPECT_FALSE(Exists(link));
}

// Kills the program if a test ends before it was reaped.
struct Child {
    pid_t pid = -1;
    ~Child()
    {
        if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    }
};

TEST(RzsimProgram, ServesLogsEscapedFramesKeepsStateAndEndsOnSigterm)
{
    TempDir dir;
    const std::string log = dir.Path("frames.log"), state = dir.Path("state.sim");
    std::ofstream(log) << "earlier\n";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    Child child;
    child.pid = fork();
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        execl(RZSIM_PATH, RZSIM_PATH, "--scenario", RZSIM_DEMO, "--tcp", "127.0.0.1:0", "--log", log.c_str(),
              "--state", state.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    Fd stdoutPipe{out[0]};
    const std::string banner = ReadReplies(stdoutPipe.fd, 2, 5s, '\n');
    int port = 0;
    ASSERT_EQ(std::sscanf(banner.c_str(), "tcp %d\nready\n", &port), 1) << banner;

    {
        Fd fd{ConnectTcp(port)};
        SendFrame(fd.fd, std::string("01X\x01\xFF\\", 6));
        SendFrame(fd.fd, "");
        SendFrame(fd.fd, "00GE04000401 0A000001FF000000C0A800FE");
        EXPECT_EQ(ReadReplies(fd.fd, 1, 2s), "00ge" + T);
    }
    EXPECT_EQ(ReadFile(log), "earlier\n01X\\x01\\xFF\\\n\n00GE04000401 0A000001FF000000C0A800FE\n");

    ASSERT_EQ(kill(child.pid, SIGTERM), 0);
    ASSERT_TRUE(SeesHangup(stdoutPipe.fd, 5s)) << "still running";
    int status = -1;
    waitpid(child.pid, &status, 0);
    child.pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const std::string text = ReadFile(state);
    EXPECT_NE(text.find("# frame 01X\\x01\\xFF\\\n"), std::string::npos) << text;
    Scenario back;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, &back, &error)) << error;
    EXPECT_EQ(back.devices[0].lan, "04000401 0A000001FF000000C0A800FE");
}

}  // namespace
}  // namespace rzsim
