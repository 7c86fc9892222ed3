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
    Observe("Open");
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
    Observe("OpenTransport");
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
    SetPending(0);
    AllowSending();
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
    Observe("Close");
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
    AllowSending();
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

int CDeviceLink::FindAwaitedLocked(const unsigned char* mnemonic) const {
    for (int i = 0; i < m_nAwaited; ++i)
        if (m_awaited[i].mnemonic[0] == mnemonic[0] && m_awaited[i].mnemonic[1] == mnemonic[1]) return i;
    return -1;
}

void CDeviceLink::ForgetAwaitedLocked() {
    m_nAwaited = 0;
    m_nEndReason = 0;
}

bool CDeviceLink::IsAwaited(const unsigned char* mnemonic) {
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    return FindAwaitedLocked(mnemonic) >= 0;
}

void CDeviceLink::TakeAwaited(const unsigned char* mnemonic) {
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        // The wait may have ended while the handler ran: then nothing is
        // awaited any more and nothing is taken.
        const int i = FindAwaitedLocked(mnemonic);
        if (i < 0) return;
        Awaited& a = m_awaited[i];
        if (a.count <= 0) return;  // a further answer to a broadcast: listed, not counted
        --a.count;
        if (a.count == 0 && !a.broadcast) {
            m_awaited[i] = m_awaited[m_nAwaited - 1];
            --m_nAwaited;
        }
        const int p = m_nPending.load();
        if (p > 0) m_nPending.store(p - 1);  // never below 0
    }
    m_pendingCv.notify_all();
}

int CDeviceLink::SendCommand(const char* command) {
    Observe("SendCommand");
    const std::size_t len = std::strlen(command);
    if (len + 2 >= static_cast<std::size_t>(LINK_RX_BUFFER_SIZE)) {
        m_nError.store(EMSGSIZE);  // would not fit the frame; never sent
        return -1;
    }
    const bool awaitsReply = len >= 2 && !(command[0] == 'R' && command[1] == 'S');
    const unsigned char mnemonic[2] = {Lower(static_cast<unsigned char>(command[0])),
                                       Lower(static_cast<unsigned char>(len >= 2 ? command[1] : 0))};
    const bool broadcast = m_nNode.load() == 255;
    {
        // Checked under the same lock as StopSending: either the stop comes
        // first and nothing is sent, or this command is noted first and the
        // stop ends its wait.
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        if (m_bSendStopped) {
            m_nError.store(LINK_E_STOPPED);
            return -1;
        }
        if (awaitsReply) {
            if (m_nPending.load() <= 0) m_nEndReason = 0;  // a new exchange begins
            m_nPending.fetch_add(1);
            int i = FindAwaitedLocked(mnemonic);
            if (i < 0) {
                if (m_nAwaited == kMaxAwaited) {
                    // Forget the oldest kind: only a burst of unanswered
                    // commands of many kinds gets here.
                    std::memmove(m_awaited, m_awaited + 1, sizeof(Awaited) * (kMaxAwaited - 1));
                    --m_nAwaited;
                }
                i = m_nAwaited++;
                m_awaited[i] = Awaited{{mnemonic[0], mnemonic[1]}, 0, false};
            }
            ++m_awaited[i].count;
            if (broadcast) m_awaited[i].broadcast = true;
        }
    }
    char frame[LINK_RX_BUFFER_SIZE];
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02X", static_cast<unsigned>(m_nNode.load()));
    const std::size_t plen = std::strlen(prefix);
    frame[0] = prefix[plen - 2];
    frame[1] = prefix[plen - 1];
    std::memcpy(frame + 2, command, len + 1);
    const auto* bytes = reinterpret_cast<const unsigned char*>(frame);
    Trace(TraceDirection::Sent, bytes, static_cast<int>(len + 2));
    if (WriteRaw(frame) == 0) return 0;
    Trace(TraceDirection::NotSent, bytes, static_cast<int>(len + 2), m_nError.load());
    if (awaitsReply) {
        // What was never sent is not awaited: a window that stays open after
        // a failed send must not wait for this reply in its next exchange.
        {
            std::lock_guard<std::mutex> lock(m_pendingMutex);
            const int p = m_nPending.load();
            if (p > 0) m_nPending.store(p - 1);
            const int i = FindAwaitedLocked(mnemonic);
            if (i >= 0 && --m_awaited[i].count <= 0 && !m_awaited[i].broadcast) {
                m_awaited[i] = m_awaited[m_nAwaited - 1];
                --m_nAwaited;
            }
        }
        m_pendingCv.notify_all();
    }
    return -1;
}

int CDeviceLink::WaitReplies(int seconds) {
    Observe("WaitReplies");
    const unsigned closesAtStart = m_nCloseCount.load();
    const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<std::int64_t>(seconds) * 1000);
    std::unique_lock<std::mutex> lock(m_pendingMutex);
    m_pendingCv.wait_until(lock, deadline, [this] {
        return m_nPending.load() <= 0 || m_nLostError.load() != 0 || m_nEndReason != 0;
    });
    const int reason = m_nEndReason;
    const bool answered = m_nPending.load() <= 0;
    const int lost = m_nLostError.load();
    // Whatever ended the wait, nothing is awaited afterwards: a reply still
    // on its way is dropped when it comes.
    ForgetAwaitedLocked();
    m_nPending.store(0);
    lock.unlock();

    if (reason != 0) {
        m_nError.store(reason);
        return 0;
    }
    if (answered) {
        if (m_nCloseCount.load() != closesAtStart || m_nState.load() != LINK_OPEN) {
            // The link was closed under the wait: the replies never came.
            m_nError.store(LINK_E_NOT_OPEN);
            return 0;
        }
        return 1;
    }
    // A lost channel ends the wait at once: no reply can come.
    m_nError.store(lost != 0 ? lost : LINK_E_TIMEOUT);
    return 0;
}

void CDeviceLink::SetPending(int n) {
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_nPending.store(n);
        if (n <= 0) ForgetAwaitedLocked();
    }
    m_pendingCv.notify_all();
}

void CDeviceLink::EndWait(int reason) {
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        if (m_nPending.load() <= 0 || reason == 0) return;
        m_nEndReason = reason;
    }
    m_pendingCv.notify_all();
}

void CDeviceLink::StopSending() {
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_bSendStopped = true;
    }
    EndWait(LINK_E_STOPPED);
}

void CDeviceLink::AllowSending() {
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_bSendStopped = false;
}

void CDeviceLink::SetReplyHandler(void* ctx, ReplyHandler handler) {
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    m_pfnReplyHandler.store(handler);
    m_pHandlerCtx.store(ctx);
}

void CDeviceLink::SetNotificationHandler(void* ctx, ReplyHandler handler) {
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    m_pNotifyCtx = ctx;
    m_pfnNotify = handler;
}

void CDeviceLink::Trace(TraceDirection direction, const unsigned char* bytes, int len, int error) {
    if (TraceHook hook = m_pfnTrace.load(std::memory_order_acquire))
        hook(TraceFrame{Clock::now(), direction, bytes, len, error});
}

void CDeviceLink::DispatchReply() {
    const int len = m_nRxLen;  // counts the node prefix and the terminator
    m_nRxLen = 0;
    Trace(TraceDirection::Received, m_rxBuf, len);
    // Shorter than prefix, mnemonic and terminator: no kind to match.
    if (len < 5) return;

    if (std::memcmp(m_rxBuf, "00gq", 4) == 0) {
        // Registration status of the attached device; a notification without
        // its status byte carries nothing.
        if (len >= 6) m_nRegStatus.store(static_cast<int>(m_rxBuf[4]) - 32);
        std::lock_guard<std::mutex> lock(m_handlerMutex);
        if (m_pfnNotify) m_pfnNotify(m_pNotifyCtx, m_rxBuf + 2, len - 2);
        return;
    }

    // Nothing of this kind is awaited: a late or unasked-for reply.
    const unsigned char* mnemonic = m_rxBuf + 2;
    if (!IsAwaited(mnemonic)) return;

    int counted = 0;
    {
        std::lock_guard<std::mutex> lock(m_handlerMutex);
        void* ctx = m_pHandlerCtx.load();
        ReplyHandler handler = m_pfnReplyHandler.load();
        if (ctx && handler) counted = handler(ctx, m_rxBuf + 2, len - 2);
    }
    m_rxBuf[len - 1] = 0;
    if (counted) TakeAwaited(mnemonic);
}
