// The simulator where the end-to-end tests do not show it: scenario errors,
// what each fault does to an answer, and the framing over a real
// pseudo-terminal and real loopback TCP (garbage on opening, routing, all
// eight bits, the drop and its orderly close, a stop with an answer queued).
#include "tools/rzsim/Simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace rzsim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
const std::string T = "\xC8";
using Replies = std::vector<std::string>;

Scenario Parse(const std::string& text)
{
    Scenario sc;
    std::string error;
    EXPECT_TRUE(ParseScenario(text, &sc, &error)) << error;
    return sc;
}

TEST(Scenario, BadLinesAreReportedWithTheirNumber)
{
    const std::pair<std::string, std::string> cases[] = {
        {"device 0 model 14\ndevice 0 model 13", "line 2: device 0 given twice"},
        {"device 1 model 3\nset 1 relay \"% 00\"", "line 2: relay needs 17 bytes, got 4"},
        {"fault 1 error SJ 3", "line 1: error answers exist for GI and SP only"},
        {"device 0 model 14\nfault garbage 0C8", "line 2: garbage needs pairs of hex digits"},
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

// Each row adds one fault to a gateway (node 0) with an I/O unit (node 1);
// `write` goes first when given (and must be answered), then `command`
// gets `reply` ("" for none) after `delayMs`.
TEST(AnswerCommand, Faults)
{
    const struct { std::string fault; int node; std::string write, command, reply; int delayMs; } rows[] = {
        {"fault 1 noanswer SJ", 0, "", "SJ", "sj% 00  ! 0000 01F7" + T, 0},  // another node's fault
        {"fault * noanswer md", 1, "", "MD", "", 0},                          // every node, any case
        {"fault 0 noanswer MR01A", 0, "", "MR01A6", "", 0},                   // a prefix of the command
        {"fault 0 noanswer MR01A", 0, "", "MR0CB1", "mr0CB100" + T, 0},
        {"fault 0 badlen MD", 0, "", "MD", "md1" + T, 0},
        {"fault 1 unsupported 5", 1, "", "MD", "md1%" + T, 0},
        {"fault 0 error SP 5", 0, "", "SP% 03  !!0D00 01F7", std::string("sp\x05" "00", 5) + T, 0},
        {"fault 0 error SP 5", 0, "SP% 03  !!0D00 01F7", "SJ", "sj% 00  ! 0000 01F7" + T, 0},  // nothing stored
        {"fault 0 error GI 7", 0, "", "GI! 12345678" "01pass", "gi01'" + T, 0},
        {"fault 1 ignore SE", 1, "SE%05090000\"'", "SK", "sk$01000000 #" + T, 0},  // acknowledged, not kept
        {"fault 1 delay SK 30", 1, "", "SK", "sk$01000000 #" + T, 30},
        {"fault 1 delay SK 30", 0, "", "GS", "gs00A10000" + T, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault + " / " + row.write + " / " + row.command);
        Scenario sc = Parse("device 0 model 14 uid 00A10000\ndevice 1 model 3\n" + row.fault);
        DeviceState& device = sc.devices[static_cast<std::size_t>(row.node)];
        if (!row.write.empty()) {
            EXPECT_EQ(AnswerCommand(device, row.write, sc).size(), 1u);
        }
        EXPECT_EQ(AnswerCommand(device, row.command, sc), row.reply.empty() ? Replies{} : Replies{row.reply});
        EXPECT_EQ(ReplyDelayMs(sc, row.node, row.command), row.delayMs);
    }
}

struct Fd { int fd; ~Fd() { close(fd); } };  // closed at the end of its scope

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

void Send(int fd, const std::string& bytes)
{
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// Reads until `count` terminators arrived, the far end hung up or 2 s passed.
std::string Read(int fd, int count, std::string* end = nullptr)
{
    std::string got;
    const auto stop = Clock::now() + 2s;
    while (std::count(got.begin(), got.end(), T[0]) < count && Clock::now() < stop) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        if (n == 0 || (n < 0 && errno != EAGAIN)) {
            if (end) *end = n == 0 ? "end of stream" : "read error";
            break;
        }
    }
    return got;
}

// What the far end still sends, and how the channel ends.
std::string Ending(int fd)
{
    std::string end = "open";
    return Read(fd, 1, &end) + "|" + end;
}

// Either channel: garbage on opening; routing by the node prefix, the
// "00gq" notification and silence for a missing node; control bytes both
// ways untranslated; then the drop after the fifth frame, before its answer.
// TCP closes in order (end of stream, never a reset; later bytes discarded;
// the next connection served afresh, one connection at a time) and a stop does not
// wait for a queued answer; the pty hangs up and its link goes.
TEST(SimulatorChannels, FramingGarbageRoutingAndDrop)
{
    const std::string relay = "\r\n\x03\x04\x11\x13\x7F\x80\xFF abcdefg";  // 17 bytes
    const std::string base = "device 0 model 14 uid 0012ABCD\ndevice 2 model 15 ext 1\nfault drop-after 5\n"
                             "fault 0 delay GK 5000\n";
    const std::string link = ::testing::TempDir() + "rzsim_tty_" + std::to_string(getpid());
    for (const bool tcp : {true, false}) {
        SCOPED_TRACE(tcp ? "tcp" : "pty");
        Simulator sim(Parse(base + "fault garbage FF00C8\n"));
        std::atomic<int> changes{0};
        sim.SetStateChangedHandler([&] { ++changes; });
        const int port = tcp ? sim.StartTcp() : -1;
        const std::string path = tcp ? "" : sim.StartPty(link);
        const auto open = [&] { return tcp ? ConnectTcp(port) : OpenPty(path); };
        {
            Fd first{open()};
            EXPECT_EQ(Read(first.fd, 1), std::string("\xFF\x00\xC8", 3));
        }
        sim.SetScenario(Parse(base));  // no more garbage: the reopened channel answers at once
        Fd fd{open()};
        ASSERT_GE(fd.fd, 0);
        const struct { std::string frame, reply; } rows[] = {
            {"02GQ", "00gq\"" + T}, {"02SP" + relay, "02sp" + T}, {"04MD", ""}, {"02SJ", "02sj" + relay + T},
        };
        for (const auto& row : rows) {
            Send(fd.fd, row.frame + T);
            EXPECT_EQ(Read(fd.fd, row.reply.empty() ? 0 : 1), row.reply) << row.frame;
        }
        // The fifth frame, then more than the simulator reads at once: closing
        // with those bytes unread would reset the connection.
        Send(fd.fd, "00MD" + T + std::string(1000, 'x') + T + "00GS" + T);
        const std::string ending = Ending(fd.fd);  // a hung-up terminal: either
        EXPECT_TRUE(ending == "|end of stream" || (!tcp && ending == "|read error")) << ending;
        EXPECT_EQ(changes.load(), 1);  // only the write changed a device
        if (!tcp) {
            EXPECT_FALSE(std::filesystem::exists(link));
            EXPECT_EQ(sim.Frames(), (Replies{"02GQ", "02SP" + relay, "04MD", "02SJ", "00MD"}));
            continue;
        }
        Fd second{ConnectTcp(port)};
        Send(second.fd, "00MD" + T);
        EXPECT_EQ(Read(second.fd, 1), "00md1." + T);
        Fd third{ConnectTcp(port)};  // replaces the second
        EXPECT_EQ(Ending(second.fd), "|end of stream");
        Send(third.fd, "00GK" + T);  // its answer waits in the queue
        ASSERT_TRUE(sim.WaitForFrames(7, 2s));
        EXPECT_EQ(sim.Frames(), (Replies{"02GQ", "02SP" + relay, "04MD", "02SJ", "00MD", "00MD", "00GK"}));
        const auto start = Clock::now();
        sim.Stop();
        EXPECT_LT(Clock::now() - start, 2500ms);
        EXPECT_EQ(Ending(third.fd), "|end of stream");
        EXPECT_LT(ConnectTcp(port), 0);
    }
}

}  // namespace
}  // namespace rzsim
