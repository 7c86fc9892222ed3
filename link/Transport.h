// The byte channel under the link: a serial port or a TCP connection.
// The exchange above it (framing, counting, waiting) is written once in
// DeviceLink.cpp; each platform provides the channels in its own files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// A connected byte stream handed to the link: a file descriptor on POSIX
// systems; a SOCKET (pointer-sized) or a HANDLE on Windows.
#ifdef _WIN32
using NativeStream = std::uintptr_t;
#else
using NativeStream = int;
#endif

class ILinkTransport {
public:
    virtual ~ILinkTransport() = default;

    // Non-blocking read of up to max bytes. Returns the count, 0 when nothing
    // is waiting, -1 on failure with *err set (a platform error number, or
    // LINK_E_DISCONNECTED when the peer closed the connection).
    virtual int Read(unsigned char* buf, int max, int* err) = 0;

    // Writes all len bytes, completing short writes, within timeoutMs.
    // Returns 0, or -1 with *err set (LINK_E_TIMEOUT when the time ran out).
    virtual int Write(const unsigned char* data, int len, int timeoutMs, int* err) = 0;

    // Blocks until bytes (or an error condition) are waiting, Wake() was
    // called, or timeoutMs passed. Returns true when the channel is readable.
    virtual bool WaitReadable(int timeoutMs) = 0;

    // Makes a current or the next WaitReadable return at once. Thread-safe.
    virtual void Wake() = 0;

    // Releases the channel. Called once, after the receive thread ended.
    virtual void Close() = 0;
};

// Opens a serial device exclusively in raw 8-bit mode (no echo, no line
// discipline, no flow control). nullptr on failure with *err = errno; a path
// that is not a character device fails with ENOTTY, untouched, and a port
// this user may not open with LINK_E_NO_PERMISSION. On Windows *err is the
// last-error number, and "COM5" names \\.\COM5.
std::unique_ptr<ILinkTransport> OpenSerialTransport(const std::string& path, int* err);

// Resolves host:port (IPv4) and connects within LINK_CONNECT_TIMEOUT_MS.
// nullptr on failure with *err = the resolver's code, LINK_E_TIMEOUT (no
// answer, refused or unreachable) or LINK_E_DISCONNECTED.
std::unique_ptr<ILinkTransport> OpenTcpTransport(const std::string& host, const std::string& port,
                                                 int* err);

// Wraps a connected stream (a socketpair end, a pty; on Windows a socket or
// a port handle) that the transport then owns. isSocket selects send()/recv()
// semantics.
std::unique_ptr<ILinkTransport> MakeFdTransport(NativeStream fd, bool isSocket);
