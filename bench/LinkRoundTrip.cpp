// Round trip of one command through theLink against the simulator, over
// loopback TCP and over a pseudo-terminal, beside a raw echo of the same
// bytes over the same kind of channel (the floor on this machine).
//
// Usage: link_bench [iterations]   (default 500)
#include "link/DeviceLink.h"
#include "link/Transport.h"
#include "tools/rzsim/Simulator.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int CountGs(void*, const unsigned char* reply, int len) {
    return len >= 3 && reply[0] == 'g' && reply[1] == 's';
}

std::vector<double> LinkRoundTrips(int iterations) {
    std::vector<double> ms;
    for (int i = 0; i < iterations; ++i) {
        const auto t0 = Clock::now();
        if (theLink.SendCommand("GS\xC8") != 0 || theLink.WaitReplies(5) != 1) {
            std::fprintf(stderr, "round trip %d failed: %d\n", i, theLink.m_nError.load());
            std::exit(1);
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return ms;
}

// Reads until the terminator arrives.
bool ReadFrame(int fd) {
    char buf[256];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) return false;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return false;
        if (std::memchr(buf, 0xC8, static_cast<size_t>(n))) return true;
    }
}

// client writes a frame, the echo thread writes a reply of the same size
// back, the client waits for it.
std::vector<double> RawEcho(int clientFd, int serverFd, int iterations) {
    const std::string frame = "00GS\xC8";
    const std::string reply = "00gs0012ABCD\xC8";
    std::thread echo([&] {
        for (int i = 0; i < iterations; ++i) {
            if (!ReadFrame(serverFd)) return;
            if (write(serverFd, reply.data(), reply.size()) < 0) return;
        }
    });
    std::vector<double> ms;
    for (int i = 0; i < iterations; ++i) {
        const auto t0 = Clock::now();
        if (write(clientFd, frame.data(), frame.size()) < 0 || !ReadFrame(clientFd)) break;
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    echo.join();
    return ms;
}

std::vector<double> RawTcpEcho(int iterations) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listener, 1);
    socklen_t len = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    int client = socket(AF_INET, SOCK_STREAM, 0);
    connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int server = accept(listener, nullptr, nullptr);
    int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto ms = RawEcho(client, server, iterations);
    close(client);
    close(server);
    close(listener);
    return ms;
}

std::vector<double> RawPtyEcho(int iterations) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    auto ms = RawEcho(slave, master, iterations);
    close(slave);
    close(master);
    return ms;
}

void Report(const char* channel, const std::vector<double>& link, const std::vector<double>& raw, bool last) {
    const double a = Median(link), b = Median(raw);
    std::printf("%s: round trip median: %.3f ms, raw echo median: %.3f ms, ratio: %.2f\n", channel, a, b,
                b > 0 ? a / b : 0.0);
    // The closing line speaks of loopback TCP, the channel the target is set for.
    if (last)
        std::printf("round trip median: %.3f ms, raw echo median: %.3f ms, ratio: %.2f\n", a, b, b > 0 ? a / b : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::max(10, std::atoi(argv[1])) : 500;
    static int context;
    theLink.SetReplyHandler(&context, &CountGs);

    rzsim::Simulator sim(rzsim::DefaultScenario());
    const int port = sim.StartTcp();
    const std::string pty = sim.StartPty();
    if (port <= 0 || pty.empty()) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }

    theLink.m_nMode = LINK_SERIAL;
    theLink.m_strComPort = pty;
    if (theLink.Open() != 0) return 1;
    auto ptyLink = LinkRoundTrips(iterations);
    theLink.Close();
    auto ptyRaw = RawPtyEcho(iterations);

    theLink.m_nMode = LINK_TCP;
    theLink.m_strHost = "127.0.0.1";
    theLink.m_strPort = std::to_string(port);
    if (theLink.Open() != 0) return 1;
    auto tcpLink = LinkRoundTrips(iterations);
    theLink.Close();
    auto tcpRaw = RawTcpEcho(iterations);

    std::printf("iterations: %d\n", iterations);
    Report("pty", ptyLink, ptyRaw, false);
    Report("tcp", tcpLink, tcpRaw, true);
    return 0;
}
