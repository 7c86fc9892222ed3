// Serial (COM) ports and TCP connections on Windows.
//
// Sockets: the receive thread waits on a network event (FD_READ, FD_CLOSE)
// and on a wake event; a read first asks how many bytes are waiting
// (FIONREAD) and takes exactly those.
//
// COM ports: opened for overlapped I/O so that a pending wait for incoming
// characters (WaitCommEvent) never holds up a write from another thread;
// reads and writes still complete before they return. A read first asks the
// port's input-queue count (ClearCommError). Some drivers complete
// WaitCommEvent at once with an empty mask, and wine as aborted; such a port
// is polled every few milliseconds instead.
#include "link/DeviceLink.h"
#include "link/Transport.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPortPollMs = 5;  // polling step where the port cannot be waited on

int MsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The socket library is started once per process; the desktop program starts
// it at start-up as well, which only raises the library's own count.
bool StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// ------------------------------------------------------------------ sockets

class SocketTransport final : public ILinkTransport {
public:
    explicit SocketTransport(SOCKET s) : m_sock(s) {
        m_netEvent = WSACreateEvent();
        m_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        // Also makes the socket non-blocking; FD_READ is signalled again after
        // every recv that leaves bytes behind, so no arrival is missed.
        if (m_netEvent != WSA_INVALID_EVENT) WSAEventSelect(m_sock, m_netEvent, FD_READ | FD_CLOSE);
    }
    ~SocketTransport() override {
        Close();
        if (m_netEvent != WSA_INVALID_EVENT) WSACloseEvent(m_netEvent);
        if (m_wake) CloseHandle(m_wake);
    }

    int Read(unsigned char* buf, int max, int* err) override {
        u_long waiting = 0;
        if (ioctlsocket(m_sock, FIONREAD, &waiting) != 0) {
            *err = WSAGetLastError();
            return -1;
        }
        // A closed or reset connection has nothing waiting either; recv tells
        // which once the close was signalled.
        if (waiting == 0 && !m_closeSignalled.load()) return 0;
        const int want = waiting == 0 ? 1 : static_cast<int>(std::min<u_long>(waiting, static_cast<u_long>(max)));
        const int n = ::recv(m_sock, reinterpret_cast<char*>(buf), want, 0);
        if (n > 0) return n;
        if (n == 0) {
            *err = LINK_E_DISCONNECTED;
            return -1;
        }
        const int e = WSAGetLastError();
        if (e == WSAEWOULDBLOCK) return 0;
        *err = e;
        return -1;
    }

    int Write(const unsigned char* data, int len, int timeoutMs, int* err) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int done = 0;
        while (done < len) {
            const int n = ::send(m_sock, reinterpret_cast<const char*>(data) + done, len - done, 0);
            if (n > 0) {
                done += n;
                continue;
            }
            const int e = WSAGetLastError();
            if (n == SOCKET_ERROR && e != WSAEWOULDBLOCK) {
                *err = e;
                return -1;
            }
            // The send buffer is full: wait for room, never past the deadline.
            // select() leaves the receive thread's network events alone.
            const int left = MsLeft(deadline);
            if (left <= 0) {
                *err = LINK_E_TIMEOUT;
                return -1;
            }
            fd_set wr, ex;
            FD_ZERO(&wr);
            FD_ZERO(&ex);
            FD_SET(m_sock, &wr);
            FD_SET(m_sock, &ex);
            timeval tv{left / 1000, (left % 1000) * 1000};
            if (::select(0, nullptr, &wr, &ex, &tv) == SOCKET_ERROR) {
                *err = WSAGetLastError();
                return -1;
            }
            if (FD_ISSET(m_sock, &ex)) {
                *err = WSAECONNRESET;
                return -1;
            }
        }
        return 0;
    }

    bool WaitReadable(int timeoutMs) override {
        u_long waiting = 0;
        if (ioctlsocket(m_sock, FIONREAD, &waiting) == 0 && waiting > 0) return true;
        if (m_closeSignalled.load()) return true;
        HANDLE events[2] = {m_netEvent, m_wake};
        const DWORD r = WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(timeoutMs));
        if (r != WAIT_OBJECT_0) return false;  // woken, timed out or failed
        WSANETWORKEVENTS happened{};
        if (WSAEnumNetworkEvents(m_sock, m_netEvent, &happened) != 0) return true;  // the read reports it
        if (happened.lNetworkEvents & FD_CLOSE) m_closeSignalled.store(true);
        return (happened.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0;
    }

    void Wake() override {
        if (m_wake) SetEvent(m_wake);
    }

    void Close() override {
        if (m_sock != INVALID_SOCKET) {
            closesocket(m_sock);
            m_sock = INVALID_SOCKET;
        }
    }

private:
    SOCKET m_sock;
    WSAEVENT m_netEvent = WSA_INVALID_EVENT;
    HANDLE m_wake = nullptr;
    std::atomic<bool> m_closeSignalled{false};
};

// ---------------------------------------------------------------- COM ports

// One overlapped request whose completion is waited for at once.
class Overlapped {
public:
    Overlapped() { m_ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() {
        if (m_ov.hEvent) CloseHandle(m_ov.hEvent);
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    OVERLAPPED* get() {
        HANDLE e = m_ov.hEvent;
        m_ov = OVERLAPPED{};
        m_ov.hEvent = e;
        ResetEvent(e);
        return &m_ov;
    }
    bool ok() const { return m_ov.hEvent != nullptr; }

private:
    OVERLAPPED m_ov{};
};

class CommTransport final : public ILinkTransport {
public:
    explicit CommTransport(HANDLE h) : m_port(h) {
        m_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_waitEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_canWait = m_waitEvent && SetCommMask(m_port, EV_RXCHAR | EV_ERR) != 0;
    }
    ~CommTransport() override {
        Close();
        if (m_wake) CloseHandle(m_wake);
        if (m_waitEvent) CloseHandle(m_waitEvent);
    }

    int Read(unsigned char* buf, int max, int* err) override {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(m_port, &errors, &status)) {
            *err = static_cast<int>(GetLastError());
            return -1;
        }
        if (status.cbInQue == 0) return 0;
        const DWORD want = std::min<DWORD>(status.cbInQue, static_cast<DWORD>(max));
        DWORD got = 0;
        if (!Transfer(false, buf, want, &got, err)) return -1;
        return static_cast<int>(got);
    }

    int Write(const unsigned char* data, int len, int timeoutMs, int* err) override {
        // The port's write time-outs (10 ms per byte + 1000 ms) bound each
        // call; a short write is completed until the caller's deadline.
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int done = 0;
        while (done < len) {
            DWORD n = 0;
            if (!Transfer(true, const_cast<unsigned char*>(data) + done, static_cast<DWORD>(len - done), &n, err))
                return -1;
            done += static_cast<int>(n);
            if (done < len && MsLeft(deadline) <= 0) {
                *err = LINK_E_TIMEOUT;
                return -1;
            }
        }
        return 0;
    }

    bool WaitReadable(int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            DWORD errors = 0;
            COMSTAT status{};
            if (!ClearCommError(m_port, &errors, &status)) return true;  // the read reports the error
            if (status.cbInQue > 0) return true;
            const int left = MsLeft(deadline);
            if (left <= 0) return false;
            if (m_canWait) {
                const int r = WaitForCharacters(left);
                if (r >= 0) return r > 0;
                m_canWait = false;  // this port cannot be waited on: poll it
            }
            if (WaitForSingleObject(m_wake, static_cast<DWORD>(std::min(left, kPortPollMs))) == WAIT_OBJECT_0)
                return false;
        }
    }

    void Wake() override {
        if (m_wake) SetEvent(m_wake);
    }

    void Close() override {
        if (m_port == INVALID_HANDLE_VALUE) return;
        if (m_waitPending) {
            // The receive thread has ended, but its wait may still be queued
            // and would write into this object: an empty mask ends it at once.
            SetCommMask(m_port, 0);
            CancelIoEx(m_port, &m_waitOv);
            DWORD unused = 0;
            GetOverlappedResult(m_port, &m_waitOv, &unused, TRUE);
            m_waitPending = false;
        }
        CloseHandle(m_port);
        m_port = INVALID_HANDLE_VALUE;
    }

private:
    // Reads or writes with an overlapped request and waits for it.
    bool Transfer(bool write, unsigned char* buf, DWORD len, DWORD* done, int* err) {
        Overlapped& request = write ? m_writeRequest : m_readRequest;
        if (!request.ok()) {
            *err = ERROR_NOT_ENOUGH_MEMORY;
            return false;
        }
        OVERLAPPED* ov = request.get();
        BOOL ok = write ? WriteFile(m_port, buf, len, nullptr, ov) : ReadFile(m_port, buf, len, nullptr, ov);
        if (!ok && GetLastError() != ERROR_IO_PENDING) {
            *err = static_cast<int>(GetLastError());
            return false;
        }
        if (!GetOverlappedResult(m_port, ov, done, TRUE)) {
            *err = static_cast<int>(GetLastError());
            return false;
        }
        return true;
    }

    // 1: characters arrived; 0: woken or timed out; -1: the port completes
    // the wait without an event, so it cannot be waited on.
    int WaitForCharacters(int timeoutMs) {
        if (!m_waitPending) {
            m_waitMask = 0;
            m_waitOv = OVERLAPPED{};
            m_waitOv.hEvent = m_waitEvent;
            ResetEvent(m_waitEvent);
            if (WaitCommEvent(m_port, &m_waitMask, &m_waitOv)) return m_waitMask != 0 ? 1 : -1;
            if (GetLastError() != ERROR_IO_PENDING) return -1;
            m_waitPending = true;
        }
        HANDLE events[2] = {m_waitEvent, m_wake};
        const DWORD r = WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(timeoutMs));
        if (r != WAIT_OBJECT_0) return 0;  // the wait stays pending for the next call
        m_waitPending = false;
        // wine completes the wait at once as aborted; a driver may end it with
        // an empty mask. Either way the port is polled from now on (and a
        // port that went away shows in the next ClearCommError).
        DWORD unused = 0;
        if (!GetOverlappedResult(m_port, &m_waitOv, &unused, FALSE)) return -1;
        return m_waitMask != 0 ? 1 : -1;
    }

    HANDLE m_port;
    HANDLE m_wake = nullptr;
    HANDLE m_waitEvent = nullptr;
    bool m_canWait = false;
    bool m_waitPending = false;  // touched only by the receive thread
    DWORD m_waitMask = 0;
    OVERLAPPED m_waitOv{};
    Overlapped m_readRequest;
    Overlapped m_writeRequest;
};

// "COM5" (any case) names the port \\.\COM5, which also reaches ports above
// COM9; any other text is taken as the device path itself.
std::string CommDevicePath(const std::string& name) {
    if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
        (name[2] == 'M' || name[2] == 'm') &&
        std::all_of(name.begin() + 3, name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return "\\\\.\\COM" + name.substr(3);
    return name;
}

}  // namespace

std::unique_ptr<ILinkTransport> MakeFdTransport(NativeStream fd, bool isSocket) {
    if (isSocket) {
        StartSockets();
        return std::make_unique<SocketTransport>(static_cast<SOCKET>(fd));
    }
    return std::make_unique<CommTransport>(reinterpret_cast<HANDLE>(fd));
}

std::unique_ptr<ILinkTransport> OpenSerialTransport(const std::string& path, int* err) {
    // Read and write, no sharing (one program at a time talks to the
    // device), existing device only.
    HANDLE h = CreateFileA(CommDevicePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *err = static_cast<int>(GetLastError());
        return nullptr;
    }
    // Baud rate, framing and handshake stay as the driver has them (a USB
    // virtual port ignores them); only the time-outs are set.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutMultiplier = 10;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutMultiplier = LINK_WRITE_TIMEOUT_PER_BYTE_MS;
    timeouts.WriteTotalTimeoutConstant = LINK_WRITE_TIMEOUT_BASE_MS;
    if (!SetCommTimeouts(h, &timeouts)) {
        *err = static_cast<int>(GetLastError());
        CloseHandle(h);
        return nullptr;
    }
    return std::make_unique<CommTransport>(h);
}

std::unique_ptr<ILinkTransport> OpenTcpTransport(const std::string& host, const std::string& port, int* err) {
    if (!StartSockets()) {
        *err = WSASYSNOTREADY;
        return nullptr;
    }
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        *err = WSAGetLastError();
        return nullptr;
    }
    const DWORD ioTimeout = LINK_SOCKET_TIMEOUT_MS;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ioTimeout), sizeof ioTimeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ioTimeout), sizeof ioTimeout);

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
    if (rc != 0) {
        *err = rc;
        closesocket(s);
        return nullptr;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    ::connect(s, list->ai_addr, static_cast<int>(list->ai_addrlen));
    ::freeaddrinfo(list);

    // Writable is a connection; a refusal shows in the exception set and
    // fails at once with the same code as an unanswered connect.
    fd_set wr, ex;
    FD_ZERO(&wr);
    FD_ZERO(&ex);
    FD_SET(s, &wr);
    FD_SET(s, &ex);
    timeval tv{LINK_CONNECT_TIMEOUT_MS / 1000, (LINK_CONNECT_TIMEOUT_MS % 1000) * 1000};
    const int r = ::select(0, nullptr, &wr, &ex, &tv);
    int fail = 0;
    if (r == 0 || (r > 0 && FD_ISSET(s, &ex))) {
        fail = LINK_E_TIMEOUT;
    } else if (r == SOCKET_ERROR) {
        fail = WSAGetLastError();
    } else if (!FD_ISSET(s, &wr)) {
        fail = LINK_E_DISCONNECTED;
    } else {
        int soerr = 0;
        int len = sizeof soerr;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soerr), &len) != 0 || soerr != 0)
            fail = LINK_E_TIMEOUT;
    }
    if (fail != 0) {
        *err = fail;
        closesocket(s);
        return nullptr;
    }
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return std::make_unique<SocketTransport>(s);
}

bool IsLinkLostError(int err) {
    switch (err) {
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENETRESET:
    case WSAESHUTDOWN:
    case WSAENOTCONN:
    case ERROR_BAD_COMMAND:           // a USB serial adapter that was pulled out
    case ERROR_ACCESS_DENIED:         // the same, on some drivers
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_BROKEN_PIPE:
    case LINK_E_DISCONNECTED:
        return true;
    default:
        return false;
    }
}
