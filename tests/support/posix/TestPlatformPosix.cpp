#include "tests/support/TestPlatform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>

const PeerSocket kNoPeer = -1;
const char* const kMissingSerialPort = "/dev/does-not-exist-rz";
const int kMissingSerialPortError = ENOENT;

bool MakeStreamPair(PeerSocket* linkEnd, PeerSocket* peerEnd) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) return false;
    *linkEnd = sv[0];
    *peerEnd = sv[1];
    return true;
}

PeerSocket ListenLoopback(int* port) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return kNoPeer;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 4) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(s);
        return kNoPeer;
    }
    *port = ntohs(addr.sin_port);
    return s;
}

PeerSocket AcceptPeer(PeerSocket listener, int timeoutMs) {
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return kNoPeer;
    return ::accept(listener, nullptr, nullptr);
}

// write() rather than send(): the device end may be a pseudo-terminal.
bool PeerSendAll(PeerSocket s, const char* data, int len) {
    int done = 0;
    while (done < len) {
        ssize_t n = ::write(s, data + done, static_cast<size_t>(len - done));
        if (n <= 0) return false;
        done += static_cast<int>(n);
    }
    return true;
}

bool PeerSendNoWait(PeerSocket s, const char* data, int len) {
    return ::send(s, data, static_cast<size_t>(len), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0 || errno == EAGAIN;
}

int PeerRecv(PeerSocket s, char* buf, int max, int timeoutMs) {
    pollfd p{s, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return 0;
    ssize_t n = ::read(s, buf, static_cast<size_t>(max));
    return n > 0 ? static_cast<int>(n) : -1;
}

void PeerClose(PeerSocket s) {
    if (s >= 0) ::close(s);
}

int RunProgram(const std::string& path, const std::string& args, std::string* out) {
    const std::string cmd = path + " " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    std::array<char, 512> buf{};
    out->clear();
    while (fgets(buf.data(), static_cast<int>(buf.size()), p)) *out += buf.data();
    const int st = pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}
