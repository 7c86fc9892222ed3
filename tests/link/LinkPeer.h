// The device end of a link under test: a socketpair, a pty master or an
// accepted TCP connection, read and written with deadlines.
#pragma once

#include <chrono>
#include <string>

#include <poll.h>
#include <unistd.h>

class LinkPeer {
public:
    ~LinkPeer() { CloseFd(); }

    void Reset(int fd) {
        CloseFd();
        m_fd = fd;
        m_pending.clear();
    }
    void CloseFd() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

    bool Send(const std::string& bytes) {
        return bytes.empty() || ::write(m_fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads one frame up to and including 0xC8; "" at the deadline.
    std::string ReadFrame(int timeoutMs = 2000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::size_t pos;
        while ((pos = m_pending.find('\xC8')) == std::string::npos) {
            char buf[256];
            pollfd p{m_fd, POLLIN, 0};
            if (std::chrono::steady_clock::now() >= deadline) return "";
            if (::poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0) return "";
            m_pending.append(buf, static_cast<std::size_t>(n));
        }
        std::string frame = m_pending.substr(0, pos + 1);
        m_pending.erase(0, pos + 1);
        return frame;
    }

    // True when nothing arrives within ms.
    bool Quiet(int ms) {
        pollfd p{m_fd, POLLIN, 0};
        return m_pending.empty() && ::poll(&p, 1, ms) == 0;
    }

private:
    int m_fd = -1;
    std::string m_pending;
};

inline std::string Frame(const std::string& body) { return body + "\xC8"; }
