// The running simulator over a real pseudo-terminal and real loopback TCP,
// driven with plain sockets and termios.
#include "tools/rzsim/Simulator.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
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

class TempDir {
public:
    TempDir()
    {
        char name[] = "/tmp/rzsim_test_XXXXXX";
        m_path = mkdtemp(name) ? name : "";
    }
    ~TempDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    std::string Path(const std::string& leaf) const { return m_path + "/" + leaf; }

private:
    std::string m_path;
};

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    void Reset(int fd = -1)
    {
        if (m_fd >= 0) close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

int ConnectTcp(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Opens the device end like a serial port: raw, all eight bits.
int OpenPty(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

void SendFrame(int fd, const std::string& frame)
{
    const std::string bytes = frame + T;
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// Reads until `count` terminators arrived or the deadline passed.
std::string ReadReplies(int fd, int count, std::chrono::milliseconds deadline)
{
    std::string got;
    const auto end = Clock::now() + deadline;
    while (std::count(got.begin(), got.end(), T[0]) < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

// Reads exactly n bytes unless the deadline passes first.
std::string ReadBytes(int fd, std::size_t n, std::chrono::milliseconds deadline)
{
    std::string got;
    const auto end = Clock::now() + deadline;
    while (got.size() < n && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            char b[64];
            const ssize_t r = read(fd, b, std::min(sizeof b, n - got.size()));
            if (r > 0) got.append(b, static_cast<std::size_t>(r));
        }
    }
    return got;
}

// True when the far end hangs up (end of file or a read error) in time.
bool SeesHangup(int fd, std::chrono::milliseconds deadline)
{
    const auto end = Clock::now() + deadline;
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) < 0) return true;
        if (p.revents & (POLLHUP | POLLERR)) return true;
        if (p.revents & POLLIN) {
            char buf[64];
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n == 0 || (n < 0 && errno != EAGAIN)) return true;
        }
    }
    return false;
}

TEST(SimulatorTcp, AnswersRoutesAndBroadcasts)
{
    Simulator sim(DefaultScenario());
    const int port = sim.StartTcp();
    ASSERT_GT(port, 0);
    Fd fd(ConnectTcp(port));
    ASSERT_GE(fd.get(), 0);

    const struct {
        std::string frame;
        int replies;
        std::string expected;
    } cases[] = {
        {"00MD", 1, "00md1." + T},
        {"02MD", 1, "02md1/!" + T},
        {"03GS", 1, "03gs00A10003" + T},
        {"FFSN", 3, "FFsn01.#B5" + T + "FFsn02-/!C4" + T + "FFsn03,-A8" + T},
        {"00GQ", 1, "00gq\"" + T},
        {"01GQ", 1, "00gq\"" + T},  // the notification always comes from 00
    };
    for (const auto& c : cases) {
        SendFrame(fd.get(), c.frame);
        EXPECT_EQ(ReadReplies(fd.get(), c.replies, 2s), c.expected) << c.frame;
    }
    // No node 4: nothing comes back, and the next answer is the next command's.
    SendFrame(fd.get(), "04MD");
    SendFrame(fd.get(), "00GS");
    EXPECT_EQ(ReadReplies(fd.get(), 1, 2s), "00gs0012ABCD" + T);

    ASSERT_TRUE(sim.WaitForFrames(8, 2s));
    const std::vector<std::string> expected = {"00MD", "02MD", "03GS", "FFSN", "00GQ", "01GQ", "04MD", "00GS"};
    EXPECT_EQ(sim.Frames(), expected);
}

TEST(SimulatorTcp, WritesChangeStateAndNotify)
{
    Simulator sim(DefaultScenario());
    std::atomic<int> changes{0};
    sim.SetStateChangedHandler([&] { ++changes; });
    Fd fd(ConnectTcp(sim.StartTcp()));
    ASSERT_GE(fd.get(), 0);

    SendFrame(fd.get(), "02SP% 03  !!0D00 01F7");
    EXPECT_EQ(ReadReplies(fd.get(), 1, 2s), "02sp" + T);
    SendFrame(fd.get(), "02SJ");
    EXPECT_EQ(ReadReplies(fd.get(), 1, 2s), "02sj% 03  !!0D00 01F7" + T);
    EXPECT_EQ(sim.State(2).relay, "% 03  !!0D00 01F7");
    EXPECT_EQ(changes.load(), 1);  // the read changed nothing
    EXPECT_EQ(sim.State(9).node, -1);
}

TEST(SimulatorTcp, DelayedAnswerLetsLaterAnswersAndOtherChannelsPass)
{
    TempDir dir;
    Simulator sim(Parse("device 0 model 14 uid 0012ABCD\nfault 0 delay GS 600\n"));
    Fd tcp(ConnectTcp(sim.StartTcp()));
    const std::string path = sim.StartPty(dir.Path("tty"));
    ASSERT_FALSE(path.empty());
    Fd pty(OpenPty(dir.Path("tty")));
    ASSERT_GE(pty.get(), 0);

    const auto start = Clock::now();
    SendFrame(tcp.get(), "00GS");
    SendFrame(tcp.get(), "00MD");
    SendFrame(pty.get(), "00MD");
    EXPECT_EQ(ReadReplies(pty.get(), 1, 2s), "00md1." + T);
    EXPECT_EQ(ReadReplies(tcp.get(), 1, 2s), "00md1." + T);
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_EQ(ReadReplies(tcp.get(), 1, 3s), "00gs0012ABCD" + T);
    EXPECT_GE(Clock::now() - start, 600ms);
}

TEST(SimulatorTcp, GarbageOnConnectAndDropAfterFrames)
{
    Simulator sim(Parse("device 0 model 13\nfault garbage 41 42 C8\nfault drop-after 2\n"));
    const int port = sim.StartTcp();
    for (int round = 0; round < 2; ++round) {  // the count starts again per connection
        Fd fd(ConnectTcp(port));
        ASSERT_GE(fd.get(), 0);
        EXPECT_EQ(ReadReplies(fd.get(), 1, 2s), "AB" + T);
        SendFrame(fd.get(), "00MD");
        EXPECT_EQ(ReadReplies(fd.get(), 1, 2s), "00md1-" + T);
        SendFrame(fd.get(), "00GS");
        EXPECT_TRUE(SeesHangup(fd.get(), 2s)) << "round " << round;
    }
    EXPECT_EQ(sim.Frames().size(), 4u);
}

TEST(SimulatorTcp, NewConnectionReplacesTheOldOne)
{
    Simulator sim(DefaultScenario());
    const int port = sim.StartTcp();
    Fd first(ConnectTcp(port));
    SendFrame(first.get(), "00MD");
    EXPECT_EQ(ReadReplies(first.get(), 1, 2s), "00md1." + T);
    Fd second(ConnectTcp(port));
    SendFrame(second.get(), "00GS");
    EXPECT_EQ(ReadReplies(second.get(), 1, 2s), "00gs0012ABCD" + T);
    EXPECT_TRUE(SeesHangup(first.get(), 2s));
}

TEST(SimulatorPty, RawExchangeSurvivesManyOpens)
{
    TempDir dir;
    Simulator sim(Parse("device 0 model 8 uid 00000008\n"));
    const std::string link = dir.Path("ttyRZ0");
    const std::string path = sim.StartPty(link);
    ASSERT_FALSE(path.empty());
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(path, target);

    for (int round = 0; round < 10; ++round) {
        Fd fd(OpenPty(link));
        ASSERT_GE(fd.get(), 0);
        // Bytes above 0x7F and control characters pass unchanged, without echo.
        SendFrame(fd.get(), "00AK\x21");
        EXPECT_EQ(ReadReplies(fd.get(), 1, 2s), "00ak! 80007FFF" + T) << "round " << round;
        SendFrame(fd.get(), "00MW0CB10D");
        EXPECT_EQ(ReadReplies(fd.get(), 1, 2s), "00mw0CB1" + T) << "round " << round;
    }
    EXPECT_EQ(sim.State(0).fields.at("mem.0CB"), "0D");
}

TEST(SimulatorPty, GarbageAtOpenAndHangupAfterFrames)
{
    TempDir dir;
    Simulator sim(Parse("device 0 model 15 ext 2\nfault garbage FF00\nfault drop-after 1\n"));
    const std::string link = dir.Path("tty");
    ASSERT_FALSE(sim.StartPty(link).empty());
    Fd fd(OpenPty(link));
    ASSERT_GE(fd.get(), 0);
    const std::string garbage = std::string("\xFF\x00", 2);
    EXPECT_EQ(ReadBytes(fd.get(), 2, 2s), garbage);
    SendFrame(fd.get(), "00MD");
    EXPECT_TRUE(SeesHangup(fd.get(), 2s));
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link goes with the terminal";
    // A fresh terminal only when asked for.
    ASSERT_FALSE(sim.StartPty(link).empty());
    Fd again(OpenPty(link));
    ASSERT_GE(again.get(), 0);
    EXPECT_EQ(ReadBytes(again.get(), 2, 2s), garbage);
}

TEST(Simulator, StopEndsEveryChannelPromptly)
{
    TempDir dir;
    Simulator sim(Parse("device 0 model 14\nfault 0 delay MD 5000\n"));
    const int port = sim.StartTcp();
    const std::string link = dir.Path("tty");
    ASSERT_FALSE(sim.StartPty(link).empty());
    Fd fd(ConnectTcp(port));
    SendFrame(fd.get(), "00MD");  // an answer is waiting in the queue
    ASSERT_TRUE(sim.WaitForFrames(1, 2s));

    const auto start = Clock::now();
    sim.Stop();
    EXPECT_LT(Clock::now() - start, 100ms);
    EXPECT_TRUE(SeesHangup(fd.get(), 1s));
    EXPECT_LT(ConnectTcp(port), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST(Simulator, FrameLogEscapesEveryFrameAsItArrives)
{
    TempDir dir;
    const std::string log = dir.Path("frames.log");
    {
        std::ofstream(log) << "earlier\n";
    }
    Simulator sim(DefaultScenario());
    ASSERT_TRUE(sim.SetFrameLog(log));
    Fd fd(ConnectTcp(sim.StartTcp()));
    SendFrame(fd.get(), "00MD");
    SendFrame(fd.get(), std::string("01X\x01\xFF\\", 6));
    SendFrame(fd.get(), "");
    ASSERT_TRUE(sim.WaitForFrames(3, 2s));
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "earlier\n00MD\n01X\\x01\\xFF\\\n\n");
    EXPECT_NE(sim.DumpState().find("# frame 01X\\x01\\xFF\\\n"), std::string::npos);
}

}  // namespace
}  // namespace rzsim
