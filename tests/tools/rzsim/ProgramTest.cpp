// The rzsim program as scripts start it: its stdout lines, the frame log,
// the state file, and the end on SIGTERM.
#include "tools/rzsim/Simulator.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Reads from fd until `until` shows up in what was read, or the deadline.
std::string ReadUntil(int fd, const std::string& until, std::chrono::milliseconds deadline)
{
    std::string got;
    const auto end = Clock::now() + deadline;
    while (got.find(until) == std::string::npos && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

TEST(RzsimProgram, ServesLogsKeepsStateAndEndsOnSigterm)
{
    char dirName[] = "/tmp/rzsim_prog_XXXXXX";
    ASSERT_NE(mkdtemp(dirName), nullptr);
    const std::string dir = dirName;
    const std::string scenario = dir + "/net.sim", log = dir + "/frames.log", state = dir + "/state.sim";
    std::ofstream(scenario) << "device 0 model 14 uid 0012ABCD\n";

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execl(RZSIM_PATH, RZSIM_PATH, "--scenario", scenario.c_str(), "--tcp", "127.0.0.1:0", "--log", log.c_str(),
              "--state", state.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    const std::string banner = ReadUntil(out[0], "ready\n", std::chrono::seconds(5));
    close(out[0]);
    int port = 0;
    ASSERT_EQ(std::sscanf(banner.c_str(), "tcp %d\nready\n", &port), 1) << banner;

    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string frame = "00GE04000401 0A000001FF000000C0A800FE\xC8";
    ASSERT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    EXPECT_EQ(ReadUntil(fd, "\xC8", std::chrono::seconds(2)), "00ge\xC8");
    close(fd);
    EXPECT_EQ(ReadFile(log), "00GE04000401 0A000001FF000000C0A800FE\n");

    ASSERT_EQ(kill(pid, SIGTERM), 0);
    int status = -1;
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (waitpid(pid, &status, WNOHANG) == 0 && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(WIFEXITED(status)) << "still running or killed";
    EXPECT_EQ(WEXITSTATUS(status), 0);

    rzsim::Scenario back;
    std::string error;
    ASSERT_TRUE(rzsim::ParseScenario(ReadFile(state), &back, &error)) << error;
    EXPECT_EQ(back.devices[0].lan, "04000401 0A000001FF000000C0A800FE");
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
