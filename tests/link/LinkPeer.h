// The device end of a link under test: a stream pair end, a pty master or an
// accepted TCP connection, read and written with deadlines.
#pragma once

#include "tests/support/TestPlatform.h"

#include <chrono>
#include <string>

class LinkPeer {
public:
    ~LinkPeer() { CloseFd(); }

    void Reset(PeerSocket fd) {
        CloseFd();
        m_fd = fd;
        m_pending.clear();
    }
    void CloseFd() {
        if (m_fd != kNoPeer) PeerClose(m_fd);
        m_fd = kNoPeer;
    }

    bool Send(const std::string& bytes) {
        return bytes.empty() || PeerSendAll(m_fd, bytes.data(), static_cast<int>(bytes.size()));
    }

    // Reads one frame up to and including 0xC8; "" at the deadline.
    std::string ReadFrame(int timeoutMs = 2000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::size_t pos;
        while ((pos = m_pending.find('\xC8')) == std::string::npos) {
            char buf[256];
            if (std::chrono::steady_clock::now() >= deadline) return "";
            const int n = PeerRecv(m_fd, buf, sizeof buf, 20);
            if (n < 0) return "";
            m_pending.append(buf, static_cast<std::size_t>(n));
        }
        std::string frame = m_pending.substr(0, pos + 1);
        m_pending.erase(0, pos + 1);
        return frame;
    }

    // True when nothing arrives within ms.
    bool Quiet(int ms) {
        char buf[1];
        return m_pending.empty() && PeerRecv(m_fd, buf, 0, ms) == 0;  // a read of no bytes only waits
    }

private:
    PeerSocket m_fd = kNoPeer;
    std::string m_pending;
};

inline std::string Frame(const std::string& body) { return body + "\xC8"; }
