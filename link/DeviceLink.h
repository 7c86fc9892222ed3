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
// - WaitReplies() blocks until every awaited reply was counted or the time-out
//   ran out (exactly seconds * 1000 ms).
// - Reply handlers run on the receive thread. They must never block on the
//   GUI thread (post, do not wait) and must not call Close().
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
    // awaited count (except for "RS..." commands) before writing; a failed
    // write takes it back.
    int SendCommand(const char* command);
    // 1 when every awaited reply was counted, 0 on time-out (m_nError 20003).
    int WaitReplies(int seconds);
    // Sets the awaited count (normally to 0) and wakes a waiter.
    void SetPending(int n);
    // Installs a handler and its context; null context: no handler is called.
    // Safe against a dispatch in progress (waits for it to finish).
    void SetReplyHandler(void* ctx, ReplyHandler handler);
    void* HandlerContext() const { return m_pHandlerCtx.load(); }

    // Called by the receive thread when a terminator arrived.
    void DispatchReply();

private:
    void ReaderThread();
    void FinishClose();
    bool WaitReadable(int timeoutMs);
    void NotePendingChanged();
    void RememberOutstanding(const char* command);
    bool TakeStaleReply(const unsigned char* mnemonic);
    void ForgetOutstanding(const unsigned char* mnemonic);

    std::atomic<void*> m_pHandlerCtx{nullptr};
    std::atomic<ReplyHandler> m_pfnReplyHandler{nullptr};
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

    std::mutex m_pendingMutex;
    std::condition_variable m_pendingCv;
    std::atomic<int> m_nLostError{0};     // set by the receive thread when the channel is gone
    std::atomic<unsigned> m_nCloseCount{0};  // a wait that spans a close did not get its replies

    // Open/receive-thread hand-over and the interruptible pauses of the reader.
    std::mutex m_stateMutex;
    std::condition_variable m_stateCv;
    int m_nStartResult = 0;  // 0 while draining, 1 open, -1 failed (guarded by m_stateMutex)
    void SetStartResult(int result);
    void PauseReader(int ms);

    // Replies that were awaited when a wait timed out: a late one is dropped
    // when it arrives instead of being counted for a later command.
    struct Expected {
        char mnemonic[2];
        std::int64_t staleUntilMs;  // 0 while still awaited
    };
    static constexpr int kMaxExpected = 32;
    std::mutex m_expectMutex;
    Expected m_expected[kMaxExpected] = {};
    int m_nExpected = 0;
};

extern CDeviceLink theLink;

// ---- field codecs ----

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
// stored all the same).
int PhysicalToRaw(double value, double fullScale, long* out);

// Trims ASCII white space at both ends.
std::string TrimText(const std::string& text);
