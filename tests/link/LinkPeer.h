// The device end of a link under test: a socketpair, a pty master or an
// accepted TCP connection, read and written with deadlines.
#pragma once

#include <chrono>
#include <cstring>
#include <string>

#include <poll.h>
#include <unistd.h>

class LinkPeer {
public:
    explicit LinkPeer(int fd = -1) : m_fd(fd) {}
    ~LinkPeer() { CloseFd(); }
    LinkPeer(const LinkPeer&) = delete;
    LinkPeer& operator=(const LinkPeer&) = delete;

    int fd() const { return m_fd; }
    void Reset(int fd) {
        CloseFd();
        m_fd = fd;
    }
    void CloseFd() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

    bool Send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Reads one frame up to and including 0xC8; "" at the deadline.
    std::string ReadFrame(int timeoutMs = 2000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            auto pos = m_pending.find('\xC8');
            if (pos != std::string::npos) {
                std::string frame = m_pending.substr(0, pos + 1);
                m_pending.erase(0, pos + 1);
                return frame;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0) return "";
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buf[256];
            ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0) return "";
            m_pending.append(buf, static_cast<std::size_t>(n));
        }
    }

    // True when nothing arrives within ms.
    bool Quiet(int ms) {
        if (!m_pending.empty()) return false;
        pollfd p{m_fd, POLLIN, 0};
        return ::poll(&p, 1, ms) == 0;
    }

private:
    int m_fd;
    std::string m_pending;
};

inline std::string Frame(const std::string& body) { return body + "\xC8"; }
