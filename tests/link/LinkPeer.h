// The device end of a link under test: a stream pair end, a pty master or an
// accepted TCP connection, read and written with deadlines.
#pragma once

#include "tests/support/TestPlatform.h"

#include <chrono>
#include <string>

class LinkPeer {
public:
    explicit LinkPeer(PeerSocket fd = kNoPeer) : m_fd(fd) {}
    ~LinkPeer() { CloseFd(); }
    LinkPeer(const LinkPeer&) = delete;
    LinkPeer& operator=(const LinkPeer&) = delete;

    PeerSocket fd() const { return m_fd; }
    void Reset(PeerSocket fd) {
        CloseFd();
        m_fd = fd;
    }
    void CloseFd() {
        if (m_fd != kNoPeer) PeerClose(m_fd);
        m_fd = kNoPeer;
    }

    bool Send(const std::string& bytes) { return PeerSendAll(m_fd, bytes.data(), static_cast<int>(bytes.size())); }

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
            char buf[256];
            const int n = PeerRecv(m_fd, buf, sizeof buf, static_cast<int>(left));
            if (n < 0) return "";
            m_pending.append(buf, static_cast<std::size_t>(n));
        }
    }

    // True when nothing arrives within ms.
    bool Quiet(int ms) {
        if (!m_pending.empty()) return false;
        char buf[1];
        return PeerRecv(m_fd, buf, 0, ms) == 0;  // a read of no bytes only waits
    }

private:
    PeerSocket m_fd;
    std::string m_pending;
};

inline std::string Frame(const std::string& body) { return body + "\xC8"; }
