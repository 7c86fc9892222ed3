// The single process-wide link to the device: transport (serial port or TCP),
// receive thread, command frames, the count of awaited replies and the wait.
//
// Contract in brief
// - Open() blocks until the receive thread has drained whatever the device
//   had sent (a 100 ms quiet gap, at most LINK_DRAIN_LIMIT_MS) or the open
//   failed. Returns 0 or a negative value with m_nError set.
// - Close() is safe from any thread and from several threads at once: exactly
//   one caller closes; the others return once the link is closed. It must not
//   be called from a reply handler (it joins the receive thread).
// - SendCommand() frames the command with the node prefix and writes it; it
//   blocks at most for the write time-out (1000 ms + 10 ms per byte).
// - WaitReplies() blocks until every awaited reply was counted, the time-out
//   ran out (exactly seconds * 1000 ms), the channel was lost, or the wait
//   was ended on purpose (EndWait, StopSending).
// - Reply handlers run on the receive thread. They must never block on the
//   GUI thread (post, do not wait) and must not call Close().
//
// Which replies reach the handler
// Every command that awaits a reply is noted by its mnemonic until the wait
// that follows it ends (answered, timed out, lost or ended on purpose). A
// reply whose mnemonic (lower case) is not noted at that moment is dropped
// at its terminator without calling the handler; the count never goes below
// 0. A noted reply goes to the handler, and when the handler counts it, it
// takes one note of its mnemonic and lowers the count by one. No time enters
// the rule.
// - A command sent to every node (node 255, the node search) stays noted
//   after its first counted reply, so every node that answers reaches the
//   handler; only the first answer lowers the count. Such a note ends with
//   the next wait or when the link closes.
// - "00gq" (the registration status) is taken before this rule: it never
//   goes to the handler and never changes the count.
// What the rule cannot tell apart: the protocol carries no sequence
// numbers, so after a command was sent again, its first answer counts for it
// whether it is the retry's own or a late answer to the earlier attempt
// (then the retry's own answer, arriving later, is dropped). Both carry the
// same kind of answer to the same command, so either tells that the device
// took the command. A late answer that arrives before the retry is sent is
// always dropped, and a late answer never counts for a command of another
// kind.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <type_traits>

#include "link/Trace.h"
#include "link/Transport.h"

// Link modes.
constexpr int LINK_SERIAL = 0;
constexpr int LINK_TCP = 1;

// Link states.
constexpr int LINK_CLOSED = 0;
constexpr int LINK_STARTING = 1;
constexpr int LINK_OPEN = 2;
constexpr int LINK_CLOSING = 3;

// Link error codes; every other m_nError value is the platform's own error
// number (errno on Linux) or the resolver's return code.
constexpr int LINK_E_DISCONNECTED = 20000;
constexpr int LINK_E_NOT_OPEN = 20001;
constexpr int LINK_E_ALREADY_OPEN = 20002;
constexpr int LINK_E_TIMEOUT = 20003;
constexpr int LINK_E_REPLY_TOO_LONG = 20006;
// Waits ended on purpose (never seen by a device): the device's error answer
// was reported by its handler, or the operator stopped the exchange. A caller
// shows no communication error for them.
constexpr int LINK_E_ERROR_ANSWER = 20010;
constexpr int LINK_E_STOPPED = 20011;
// A serial port that exists but that this user may not open (on Linux: not
// a member of the port's group, dialout). Set by the transport's open.
constexpr int LINK_E_NO_PERMISSION = 20012;

constexpr unsigned char REPLY_TERMINATOR = 0xC8;

constexpr int LINK_RX_BUFFER_SIZE = 128;
constexpr int LINK_SETTINGS_SIZE = 260;
constexpr int LINK_DEFAULT_TIMEOUT_SEC = 10;
constexpr int LINK_CONNECT_TIMEOUT_MS = 3000;
constexpr int LINK_SOCKET_TIMEOUT_MS = 1000;
constexpr int LINK_WRITE_TIMEOUT_BASE_MS = 1000;
constexpr int LINK_WRITE_TIMEOUT_PER_BYTE_MS = 10;
constexpr int LINK_DRAIN_QUIET_MS = 100;   // quiet gap that ends the start-up drain
constexpr int LINK_DRAIN_LIMIT_MS = 1000;  // the drain never takes longer than this
constexpr int LINK_READ_RETRY_MS = 100;    // pause after a failed read

// ReadOneByte's result when the stored byte filled the receive buffer.
constexpr int LINK_READ_OVERFLOW = -2;

// A reply handler: given the installed context, the reply from its first
// (lower-case) mnemonic letter on, and the length counting the two letters,
// the payload and the terminator. Returns non-zero when the reply counts as an
// awaited one. Runs on the receive thread.
using ReplyHandler = int (*)(void* ctx, const unsigned char* reply, int len);

// True when err says that the link to the device is gone for good: a reset or
// broken TCP connection, or a serial port that went away (cable pulled).
bool IsLinkLostError(int err);

// True for the two errors of a wait ended on purpose (LINK_E_ERROR_ANSWER,
// LINK_E_STOPPED): the one message, if any, was already shown.
inline bool IsEndedOnPurpose(int err) { return err == LINK_E_ERROR_ANSWER || err == LINK_E_STOPPED; }

// Told of every call that may block its caller (Open, Close, SendCommand,
// WaitReplies), first thing, on the caller's thread, with the call's name.
// The desktop tool's tests use it to check that its GUI thread never makes
// one.
using LinkCallObserver = void (*)(const char* call);

class CDeviceLink {
public:
    CDeviceLink();
    ~CDeviceLink();
    CDeviceLink(const CDeviceLink&) = delete;
    CDeviceLink& operator=(const CDeviceLink&) = delete;

    // ---- transport settings (set by the main window before Open) ----
    std::atomic<int> m_nMode{LINK_SERIAL};
    std::string m_strHost;     // TCP host name or dotted IPv4 address
    std::string m_strPort;     // TCP port, decimal text (service for the resolver)
    std::string m_strComPort;  // serial device path, e.g. /dev/ttyUSB0 or a pty

    // ---- identity of the connected device (set by the main window's handler) ----
    std::atomic<int> m_nModelValue{0};  // value byte of "md", unused
    std::atomic<int> m_nModelCode{0};
    std::atomic<int> m_nModelExt{0};
    std::atomic<std::uint32_t> m_dwUid{0};

    // The device settings block; its layouts belong to the settings windows.
    // Handlers fill it on the receive thread while the sender waits; the
    // sender reads it after WaitReplies returned 1 (the count hands it over).
    alignas(8) unsigned char m_settings[LINK_SETTINGS_SIZE] = {};

    template <class T>
    T& SettingsAs() {
        static_assert(std::is_trivially_copyable_v<T>);
        static_assert(sizeof(T) <= LINK_SETTINGS_SIZE && alignof(T) <= 8);
        return *std::launder(reinterpret_cast<T*>(m_settings));
    }
    void ClearSettings();

    // ---- shared integers ----
    std::atomic<int> m_nError{0};
    std::atomic<int> m_nTimeoutSec{LINK_DEFAULT_TIMEOUT_SEC};
    std::atomic<int> m_nNode{0};
    std::atomic<int> m_nPending{0};
    std::atomic<int> m_nRegStatus{-1};
    std::atomic<int> m_nGroupWriteError{0};
    std::atomic<int> m_nState{LINK_CLOSED};

    // ---- transport ----
    int Open();
    // Opens over an already connected byte stream (used by Open and by tests
    // that hand in a socketpair). Same drain and state rules as Open.
    int OpenTransport(std::unique_ptr<ILinkTransport> transport);
    void Close();
    // Writes the bytes of a NUL-terminated frame; 0 or negative (m_nError).
    int WriteRaw(const char* frame);
    // Receive-thread step: 1 byte stored, 0 nothing waiting, -1 read failed,
    // LINK_READ_OVERFLOW when the byte filled the buffer. Never blocks.
    int ReadOneByte(unsigned char* byte);

    // ---- exchange ----
    // command: NUL-terminated text ending in REPLY_TERMINATOR. Raises the
    // awaited count and notes the mnemonic (except for "RS..." commands)
    // before writing; a failed write takes both back. While sending is
    // stopped (StopSending) nothing is written: -1 with m_nError
    // LINK_E_STOPPED.
    int SendCommand(const char* command);
    // 1 when every awaited reply was counted; 0 with m_nError = 20003 on
    // time-out, the lost channel's error, LINK_E_NOT_OPEN when the link was
    // closed under the wait, or the reason given to EndWait. Whatever the
    // result, nothing is awaited afterwards.
    int WaitReplies(int seconds);
    // Sets the awaited count and wakes a waiter; 0 also forgets every note
    // (nothing is awaited any more) and a pending EndWait.
    void SetPending(int n);

    // Ends the current exchange as a failure: a WaitReplies in progress
    // returns 0 at once with m_nError = reason, and so does the next one when
    // the exchange's commands are out but not yet waited for. Ignored while
    // nothing is awaited. Any thread, reply handlers included (a handler that
    // meets a device error answer ends the wait with LINK_E_ERROR_ANSWER).
    void EndWait(int reason);
    // A stop request: EndWait(LINK_E_STOPPED), and every SendCommand fails
    // without writing until AllowSending() (or the link closes or opens
    // again). A command whose send had already begun still goes out; its
    // wait ends at once.
    void StopSending();
    void AllowSending();
    // The error with which the channel was lost (IsLinkLostError), 0 while
    // it works. Set by the receive thread.
    int LostError() const { return m_nLostError.load(); }

    // Installs a handler and its context; null context: no handler is called.
    // Safe against a dispatch in progress (waits for it to finish).
    void SetReplyHandler(void* ctx, ReplyHandler handler);
    void* HandlerContext() const { return m_pHandlerCtx.load(); }
    // Installs the observer of blocking calls; null: none.
    void SetCallObserver(LinkCallObserver observer) { m_pfnCallObserver.store(observer); }

    // Optional observer of the "00gq" registration status notifications
    // (from the mnemonic on, as a handler sees a reply); its result is
    // ignored. For the command-line client, which prints every answer.
    void SetNotificationHandler(void* ctx, ReplyHandler handler);

    // Called by the receive thread when a terminator arrived.
    void DispatchReply();

    // The traffic trace (link/Trace.h): hook called for every frame sent and
    // received; nullptr turns it off. Any thread, at any time.
    void SetTraceHook(TraceHook hook) { m_pfnTrace.store(hook, std::memory_order_release); }

private:
    void Observe(const char* call) const {
        if (LinkCallObserver observer = m_pfnCallObserver.load()) observer(call);
    }
    void ReaderThread();
    void FinishClose();
    bool WaitReadable(int timeoutMs);
    void ForgetAwaitedLocked();
    int FindAwaitedLocked(const unsigned char* mnemonic) const;
    bool IsAwaited(const unsigned char* mnemonic);
    void TakeAwaited(const unsigned char* mnemonic);

    std::atomic<LinkCallObserver> m_pfnCallObserver{nullptr};
    std::atomic<void*> m_pHandlerCtx{nullptr};
    std::atomic<ReplyHandler> m_pfnReplyHandler{nullptr};
    std::atomic<TraceHook> m_pfnTrace{nullptr};
    void Trace(TraceDirection direction, const unsigned char* bytes, int len, int error = 0);
    void* m_pNotifyCtx = nullptr;             // guarded by m_handlerMutex
    ReplyHandler m_pfnNotify = nullptr;       // guarded by m_handlerMutex
    std::mutex m_handlerMutex;  // held while a handler runs and while one is swapped

    std::unique_ptr<ILinkTransport> m_transport;
    std::mutex m_ioMutex;  // a write and the final close never overlap
    std::mutex m_closeMutex;  // one Close at a time performs the close
    std::thread m_reader;
    std::atomic<bool> m_wake{false};

    // Receive buffer: touched only by the receive thread while it runs.
    unsigned char m_rxBuf[LINK_RX_BUFFER_SIZE] = {};
    int m_nRxLen = 0;
    bool m_bSkipToTerminator = false;  // after an overflow, drop up to the next terminator
    unsigned char m_chunk[256] = {};   // bytes read from the transport, not yet stored
    int m_nChunkLen = 0;
    int m_nChunkPos = 0;

    // The count, the notes of awaited mnemonics, the stop latch and an
    // EndWait reason, all under m_pendingMutex.
    std::mutex m_pendingMutex;
    std::condition_variable m_pendingCv;
    std::atomic<int> m_nLostError{0};     // set by the receive thread when the channel is gone
    std::atomic<unsigned> m_nCloseCount{0};  // a wait that spans a close did not get its replies
    int m_nEndReason = 0;                 // EndWait's reason, taken by the next wait
    bool m_bSendStopped = false;          // StopSending until AllowSending
    struct Awaited {
        unsigned char mnemonic[2];
        int count;       // commands of this kind still unanswered
        bool broadcast;  // sent to every node: kept after its first answer
    };
    static constexpr int kMaxAwaited = 32;  // more kinds than the command table has
    Awaited m_awaited[kMaxAwaited] = {};
    int m_nAwaited = 0;

    // Open/receive-thread hand-over and the interruptible pauses of the reader.
    std::mutex m_stateMutex;
    std::condition_variable m_stateCv;
    int m_nStartResult = 0;  // 0 while draining, 1 open, -1 failed (guarded by m_stateMutex)
    void SetStartResult(int result);
    void PauseReader(int ms);
};

extern CDeviceLink theLink;

// ---- field codecs ----

// The command text followed by the terminator.
std::string Terminated(const std::string& text);

// Formats value with the given width, decimal or upper-case hex, with leading
// zeros or blanks; a longer text is cut to its last width characters
// (-1 in 4 hex digits is FFFF). width is 1..15.
std::string FormatField(long long value, int width, bool hex, bool leadingZeros);

// Parses the first n characters (n <= 11) of text as hex; stops at the first
// non-hex character (or a NUL); no digits give 0.
std::uint32_t ParseHexField(const char* text, int n);
inline std::uint32_t ParseHexField(const unsigned char* text, int n) {
    return ParseHexField(reinterpret_cast<const char*>(text), n);
}

// A numeric form field: text trimmed, cut to maxChars, parsed like the C
// library's unsigned conversion (leading blanks, optional sign, digits up to
// the first invalid one; no digits give 0; a minus sign gives the two's
// complement). Callers range-check the result.
std::uint32_t ReadNumericField(const std::string& text, int maxChars, bool hex);

// 32 bytes as 64 upper-case hex characters; no NUL is added.
void HexEncode32(const unsigned char* in32, char* out64);

// 16-bit analog codes: 0x7FFF is +fullScale, 0x8000 is -fullScale.
// Returns 0, or -1 (raw wider than 16 bits; out untouched).
int RawToPhysical(long raw, double fullScale, double* out);
// Returns 0, or -1 when value was outside +-fullScale (the clamped code is
// stored all the same). A value or scale that is not finite, or a scale that
// is not positive: -1, out untouched.
int PhysicalToRaw(double value, double fullScale, long* out);

// Trims ASCII white space at both ends.
std::string TrimText(const std::string& text);
