// The link object: transport lifetime, the receive thread, framing, the
// count of awaited replies and the wait for them.
#include "link/DeviceLink.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

CDeviceLink theLink;

namespace {
using Clock = std::chrono::steady_clock;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }
}  // namespace

CDeviceLink::CDeviceLink() = default;

CDeviceLink::~CDeviceLink() { Close(); }

void CDeviceLink::ClearSettings() { std::memset(m_settings, 0, sizeof m_settings); }

// ---------------------------------------------------------------- transport

int CDeviceLink::Open() {
    m_nError.store(0);
    if (m_nState.load() != LINK_CLOSED) {
        m_nError.store(LINK_E_ALREADY_OPEN);
        return -1;
    }
    int err = 0;
    std::unique_ptr<ILinkTransport> transport =
        m_nMode.load() == LINK_SERIAL ? OpenSerialTransport(m_strComPort, &err)
                                      : OpenTcpTransport(m_strHost, m_strPort, &err);
    if (!transport) {
        m_nError.store(err);
        return -1;
    }
    return OpenTransport(std::move(transport));
}

int CDeviceLink::OpenTransport(std::unique_ptr<ILinkTransport> transport) {
    m_nError.store(0);
    int expected = LINK_CLOSED;
    if (!m_nState.compare_exchange_strong(expected, LINK_STARTING)) {
        m_nError.store(LINK_E_ALREADY_OPEN);
        return -1;  // the transport is released here; the open link is untouched
    }
    if (m_reader.joinable()) m_reader.join();  // a reader that ended after a failed start

    m_transport = std::move(transport);
    m_nRxLen = 0;
    m_bSkipToTerminator = false;
    m_nChunkLen = m_nChunkPos = 0;
    m_nLostError.store(0);
    {
        std::lock_guard<std::mutex> lock(m_expectMutex);
        m_nExpected = 0;
    }
    SetPending(0);
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_nStartResult = 0;
    }
    m_reader = std::thread(&CDeviceLink::ReaderThread, this);

    int result;
    {
        std::unique_lock<std::mutex> lock(m_stateMutex);
        m_stateCv.wait(lock, [this] { return m_nStartResult != 0; });
        result = m_nStartResult;
    }
    if (result > 0) return 0;

    // The drain failed: the reader has ended; leave the link closed.
    m_reader.join();
    {
        std::lock_guard<std::mutex> lock(m_ioMutex);
        m_transport->Close();
        m_transport.reset();
    }
    m_nState.store(LINK_CLOSED);
    return -1;
}

void CDeviceLink::SetStartResult(int result) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_nStartResult = result;
    }
    m_stateCv.notify_all();
}

void CDeviceLink::PauseReader(int ms) {
    std::unique_lock<std::mutex> lock(m_stateMutex);
    m_stateCv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_nState.load() == LINK_CLOSING; });
}

void CDeviceLink::Close() {
    // Closers queue here; the first finds the link open and closes it, the
    // others find it closed and return.
    std::lock_guard<std::mutex> closeLock(m_closeMutex);
    int expected = LINK_OPEN;
    if (!m_nState.compare_exchange_strong(expected, LINK_CLOSING)) return;
    m_nCloseCount.fetch_add(1);
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);  // pairs with PauseReader's predicate
    }
    m_stateCv.notify_all();
    if (m_transport) m_transport->Wake();
    if (m_reader.joinable()) {
        if (m_reader.get_id() == std::this_thread::get_id())
            m_reader.detach();  // never happens in this program: handlers do not close
        else
            m_reader.join();
    }
    FinishClose();
}

void CDeviceLink::FinishClose() {
    SetPending(0);
    {
        std::lock_guard<std::mutex> lock(m_expectMutex);
        m_nExpected = 0;
    }
    {
        std::lock_guard<std::mutex> lock(m_ioMutex);
        if (m_transport) {
            m_transport->Close();
            m_transport.reset();
        }
    }
    m_nState.store(LINK_CLOSED);
}

int CDeviceLink::WriteRaw(const char* frame) {
    m_nError.store(LINK_E_NOT_OPEN);
    std::lock_guard<std::mutex> lock(m_ioMutex);
    if (m_nState.load() != LINK_OPEN || !m_transport) return -1;
    m_nError.store(0);
    const int len = static_cast<int>(std::strlen(frame));
    int err = 0;
    if (m_transport->Write(reinterpret_cast<const unsigned char*>(frame), len,
                           LINK_WRITE_TIMEOUT_BASE_MS + LINK_WRITE_TIMEOUT_PER_BYTE_MS * len, &err) != 0) {
        m_nError.store(err);
        return -1;
    }
    return 0;
}

int CDeviceLink::ReadOneByte(unsigned char* byte) {
    if (m_nChunkPos >= m_nChunkLen) {
        int err = 0;
        int n = m_transport->Read(m_chunk, static_cast<int>(sizeof m_chunk), &err);
        if (n < 0) {
            m_nError.store(err);
            return -1;
        }
        if (n == 0) return 0;
        m_nChunkLen = n;
        m_nChunkPos = 0;
    }
    *byte = m_chunk[m_nChunkPos++];
    m_rxBuf[m_nRxLen++] = *byte;
    if (m_nRxLen >= LINK_RX_BUFFER_SIZE) {
        m_nError.store(LINK_E_REPLY_TOO_LONG);
        return LINK_READ_OVERFLOW;
    }
    return 1;
}

void CDeviceLink::ReaderThread() {
    const std::int64_t started = NowMs();
    for (;;) {
        const int state = m_nState.load();
        if (state != LINK_STARTING && state != LINK_OPEN) break;

        unsigned char byte = 0;
        const int r = ReadOneByte(&byte);

        if (r == -1) {
            if (state == LINK_STARTING) {
                // A port that cannot be read is not opened.
                SetStartResult(-1);
                return;
            }
            const int err = m_nError.load();
            if (IsLinkLostError(err)) {
                {
                    std::lock_guard<std::mutex> lock(m_pendingMutex);
                    m_nLostError.store(err);
                }
                m_pendingCv.notify_all();
            }
            PauseReader(LINK_READ_RETRY_MS);
            continue;
        }

        if (r == 0) {
            if (state == LINK_STARTING) {
                // Draining: a quiet gap ends it, and so does the time bound.
                bool more = m_transport->WaitReadable(LINK_DRAIN_QUIET_MS);
                if (!more || NowMs() - started >= LINK_DRAIN_LIMIT_MS) {
                    m_nRxLen = 0;
                    int expected = LINK_STARTING;
                    m_nState.compare_exchange_strong(expected, LINK_OPEN);
                    SetStartResult(1);
                }
                continue;
            }
            m_transport->WaitReadable(1000);  // Close() wakes it
            continue;
        }

        if (state == LINK_STARTING) {
            m_nRxLen = 0;  // whatever the device sent before: discarded
            m_bSkipToTerminator = false;
            if (NowMs() - started >= LINK_DRAIN_LIMIT_MS) {
                int expected = LINK_STARTING;
                m_nState.compare_exchange_strong(expected, LINK_OPEN);
                SetStartResult(1);
            }
            continue;
        }

        if (r == LINK_READ_OVERFLOW) {
            // The buffer is full without a terminator: drop this reply and
            // everything up to and including its terminator.
            m_nRxLen = 0;
            m_bSkipToTerminator = byte != REPLY_TERMINATOR;
            continue;
        }

        if (m_bSkipToTerminator) {
            m_nRxLen = 0;
            if (byte == REPLY_TERMINATOR) m_bSkipToTerminator = false;
            continue;
        }

        if (byte == REPLY_TERMINATOR) DispatchReply();
    }
}

// ---------------------------------------------------------------- exchange

void CDeviceLink::RememberOutstanding(const char* command) {
    if (!command[0] || !command[1]) return;
    std::lock_guard<std::mutex> lock(m_expectMutex);
    if (m_nExpected >= kMaxExpected) {
        // Forget the oldest: only a burst of unanswered commands gets here.
        std::memmove(m_expected, m_expected + 1, sizeof(Expected) * (kMaxExpected - 1));
        m_nExpected = kMaxExpected - 1;
    }
    Expected& e = m_expected[m_nExpected++];
    e.mnemonic[0] = static_cast<char>(Lower(static_cast<unsigned char>(command[0])));
    e.mnemonic[1] = static_cast<char>(Lower(static_cast<unsigned char>(command[1])));
    e.staleUntilMs = 0;
}

bool CDeviceLink::TakeStaleReply(const unsigned char* mnemonic) {
    std::lock_guard<std::mutex> lock(m_expectMutex);
    const std::int64_t now = NowMs();
    for (int i = 0; i < m_nExpected; ++i) {
        Expected& e = m_expected[i];
        if (e.staleUntilMs == 0 || e.staleUntilMs < now) continue;
        if (static_cast<unsigned char>(e.mnemonic[0]) == mnemonic[0] &&
            static_cast<unsigned char>(e.mnemonic[1]) == mnemonic[1]) {
            std::memmove(m_expected + i, m_expected + i + 1, sizeof(Expected) * (m_nExpected - i - 1));
            --m_nExpected;
            return true;
        }
    }
    return false;
}

void CDeviceLink::ForgetOutstanding(const unsigned char* mnemonic) {
    std::lock_guard<std::mutex> lock(m_expectMutex);
    for (int i = 0; i < m_nExpected; ++i) {
        Expected& e = m_expected[i];
        if (e.staleUntilMs == 0 && static_cast<unsigned char>(e.mnemonic[0]) == mnemonic[0] &&
            static_cast<unsigned char>(e.mnemonic[1]) == mnemonic[1]) {
            std::memmove(m_expected + i, m_expected + i + 1, sizeof(Expected) * (m_nExpected - i - 1));
            --m_nExpected;
            return;
        }
    }
}

int CDeviceLink::SendCommand(const char* command) {
    const std::size_t len = std::strlen(command);
    if (len + 2 >= static_cast<std::size_t>(LINK_RX_BUFFER_SIZE)) {
        m_nError.store(EMSGSIZE);  // would not fit the frame; never sent
        return -1;
    }
    const bool awaitsReply = !(command[0] == 'R' && command[1] == 'S');
    if (awaitsReply) {
        {
            std::lock_guard<std::mutex> lock(m_pendingMutex);
            m_nPending.fetch_add(1);
        }
        RememberOutstanding(command);
    }
    char frame[LINK_RX_BUFFER_SIZE];
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02X", static_cast<unsigned>(m_nNode.load()));
    const std::size_t plen = std::strlen(prefix);
    frame[0] = prefix[plen - 2];
    frame[1] = prefix[plen - 1];
    std::memcpy(frame + 2, command, len + 1);
    if (WriteRaw(frame) == 0) return 0;
    if (awaitsReply) {
        // What was never sent is not awaited: a window that stays open after
        // a failed send must not wait for this reply in its next exchange.
        {
            std::lock_guard<std::mutex> lock(m_pendingMutex);
            int p = m_nPending.load();
            if (p > 0) m_nPending.store(p - 1);
        }
        m_pendingCv.notify_all();
        const unsigned char mnemonic[2] = {Lower(static_cast<unsigned char>(command[0])),
                                           Lower(static_cast<unsigned char>(command[1]))};
        ForgetOutstanding(mnemonic);
    }
    return -1;
}

int CDeviceLink::WaitReplies(int seconds) {
    const unsigned closesAtStart = m_nCloseCount.load();
    const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<std::int64_t>(seconds) * 1000);
    std::unique_lock<std::mutex> lock(m_pendingMutex);
    m_pendingCv.wait_until(lock, deadline, [this] { return m_nPending.load() <= 0 || m_nLostError.load() != 0; });

    if (m_nPending.load() <= 0) {
        m_nPending.store(0);
        lock.unlock();
        if (m_nCloseCount.load() != closesAtStart || m_nState.load() != LINK_OPEN) {
            // The link was closed under the wait: the replies never came.
            m_nError.store(LINK_E_NOT_OPEN);
            return 0;
        }
        std::lock_guard<std::mutex> expectLock(m_expectMutex);
        m_nExpected = 0;
        return 1;
    }

    const int lost = m_nLostError.load();
    m_nPending.store(0);
    lock.unlock();
    if (lost != 0) {
        // The channel is gone: no reply can come, so do not wait it out.
        m_nError.store(lost);
        std::lock_guard<std::mutex> expectLock(m_expectMutex);
        m_nExpected = 0;
        return 0;
    }
    m_nError.store(LINK_E_TIMEOUT);
    // Replies still awaited now are dropped should they come late.
    const std::int64_t staleUntil = NowMs() + 2LL * 1000 * (seconds > 1 ? seconds : 1);
    std::lock_guard<std::mutex> expectLock(m_expectMutex);
    int kept = 0;
    for (int i = 0; i < m_nExpected; ++i) {
        Expected e = m_expected[i];
        if (e.staleUntilMs == 0) e.staleUntilMs = staleUntil;
        m_expected[kept++] = e;
    }
    m_nExpected = kept;
    return 0;
}

void CDeviceLink::SetPending(int n) {
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_nPending.store(n);
    }
    m_pendingCv.notify_all();
    if (n == 0) {
        std::lock_guard<std::mutex> lock(m_expectMutex);
        int kept = 0;
        for (int i = 0; i < m_nExpected; ++i)
            if (m_expected[i].staleUntilMs != 0) m_expected[kept++] = m_expected[i];
        m_nExpected = kept;
    }
}

void CDeviceLink::SetReplyHandler(void* ctx, ReplyHandler handler) {
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    m_pfnReplyHandler.store(handler);
    m_pHandlerCtx.store(ctx);
}

void CDeviceLink::DispatchReply() {
    const int len = m_nRxLen;  // counts the terminator
    m_nRxLen = 0;

    // After a recorded time-out the reply is late: drop it whole.
    if (m_nError.load() == LINK_E_TIMEOUT) return;

    if (len >= 5 && std::memcmp(m_rxBuf, "00gq", 4) == 0) {
        // Registration status of the attached device; a notification without
        // its status byte carries nothing.
        if (len >= 6) m_nRegStatus.store(static_cast<int>(m_rxBuf[4]) - 32);
        return;
    }

    if (len >= 5 && TakeStaleReply(m_rxBuf + 2)) return;

    int counted = 0;
    const int replyLen = len - 2;
    if (replyLen >= 1) {
        std::lock_guard<std::mutex> lock(m_handlerMutex);
        void* ctx = m_pHandlerCtx.load();
        ReplyHandler handler = m_pfnReplyHandler.load();
        if (ctx && handler) counted = handler(ctx, m_rxBuf + 2, replyLen);
    }
    m_rxBuf[len - 1] = 0;
    if (counted) {
        if (replyLen >= 2) ForgetOutstanding(m_rxBuf + 2);
        {
            std::lock_guard<std::mutex> lock(m_pendingMutex);
            int p = m_nPending.load();
            if (p > 0) m_nPending.store(p - 1);  // never below 0
        }
        m_pendingCv.notify_all();
    }
}
