// Serial ports and TCP connections on POSIX systems. Both are plain file
// descriptors in non-blocking mode; reads never block, writes wait with
// poll() up to their time-out, and a pipe wakes the receive thread's wait.
#include "link/DeviceLink.h"
#include "link/Transport.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

class FdTransport final : public ILinkTransport {
public:
    FdTransport(int fd, bool isSocket) : m_fd(fd), m_isSocket(isSocket) {
        if (pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0) m_wake[0] = m_wake[1] = -1;
        int flags = fcntl(m_fd, F_GETFL);
        if (flags >= 0) fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
    }
    ~FdTransport() override {
        Close();
        if (m_wake[0] >= 0) ::close(m_wake[0]);
        if (m_wake[1] >= 0) ::close(m_wake[1]);
    }

    int Read(unsigned char* buf, int max, int* err) override {
        for (;;) {
            ssize_t n = m_isSocket ? ::recv(m_fd, buf, static_cast<size_t>(max), 0)
                                   : ::read(m_fd, buf, static_cast<size_t>(max));
            if (n > 0) return static_cast<int>(n);
            if (n == 0) {
                // A socket's orderly close; a tty whose other end went away.
                *err = m_isSocket ? LINK_E_DISCONNECTED : EIO;
                return -1;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            *err = errno;
            return -1;
        }
    }

    int Write(const unsigned char* data, int len, int timeoutMs, int* err) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int done = 0;
        while (done < len) {
            ssize_t n = m_isSocket ? ::send(m_fd, data + done, static_cast<size_t>(len - done), MSG_NOSIGNAL)
                                   : ::write(m_fd, data + done, static_cast<size_t>(len - done));
            if (n > 0) {
                done += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                *err = errno;
                return -1;
            }
            // The channel is full: wait for room, but never past the deadline.
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                *err = LINK_E_TIMEOUT;
                return -1;
            }
            pollfd p{m_fd, POLLOUT, 0};
            int r = ::poll(&p, 1, static_cast<int>(left));
            if (r < 0 && errno != EINTR) {
                *err = errno;
                return -1;
            }
            if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT)) {
                *err = m_isSocket ? EPIPE : EIO;
                return -1;
            }
        }
        return 0;
    }

    bool WaitReadable(int timeoutMs) override {
        pollfd p[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        int r = ::poll(p, m_wake[0] >= 0 ? 2 : 1, timeoutMs);
        if (r <= 0) return false;
        if (p[1].revents & POLLIN) {
            unsigned char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        return (p[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
    }

    void Wake() override {
        if (m_wake[1] >= 0) {
            unsigned char b = 1;
            [[maybe_unused]] ssize_t n = ::write(m_wake[1], &b, 1);
        }
    }

    void Close() override {
        if (m_fd >= 0) {
            if (!m_isSocket) flock(m_fd, LOCK_UN);
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd;
    bool m_isSocket;
    int m_wake[2] = {-1, -1};
};

}  // namespace

std::unique_ptr<ILinkTransport> MakeFdTransport(int fd, bool isSocket) {
    return std::make_unique<FdTransport>(fd, isSocket);
}

std::unique_ptr<ILinkTransport> OpenSerialTransport(const std::string& path, int* err) {
    // Only a character device is a serial port. A regular file, directory,
    // FIFO or socket typed as the port is refused before anything is opened,
    // read or written, and checked again on what was opened.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        *err = errno;
        return nullptr;
    }
    if (!S_ISCHR(st.st_mode)) {
        *err = ENOTTY;
        return nullptr;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *err = errno;
        return nullptr;
    }
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        *err = ENOTTY;
        ::close(fd);
        return nullptr;
    }
    // No sharing: one program at a time talks to the device.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return nullptr;
    }
    ioctl(fd, TIOCEXCL);
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        // Raw 8-bit bytes: no echo, no line editing, no CR/LF translation, no
        // flow control, so the 0xC8 terminator passes untouched. The speed
        // stays as the driver has it.
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~CRTSCTS;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        // VMIN 1 with a non-blocking descriptor: an empty port reads EAGAIN,
        // so a read of 0 bytes means the port hung up (device gone).
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        if (tcsetattr(fd, TCSANOW, &tio) != 0) {
            *err = errno;
            flock(fd, LOCK_UN);
            ::close(fd);
            return nullptr;
        }
    } else if (errno != ENOTTY) {
        *err = errno;
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<FdTransport>(fd, false);
}

std::unique_ptr<ILinkTransport> OpenTcpTransport(const std::string& host, const std::string& port, int* err) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
    if (rc != 0) {
        *err = rc;
        return nullptr;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) {
        *err = errno;
        ::freeaddrinfo(list);
        return nullptr;
    }
    int r = ::connect(fd, list->ai_addr, list->ai_addrlen);
    int connectErrno = errno;
    ::freeaddrinfo(list);
    if (r != 0 && connectErrno != EINPROGRESS) {
        // Refused or unreachable at once: the gateway cannot be reached.
        *err = LINK_E_TIMEOUT;
        ::close(fd);
        return nullptr;
    }
    if (r != 0) {
        pollfd p{fd, POLLOUT, 0};
        int pr;
        do {
            pr = ::poll(&p, 1, LINK_CONNECT_TIMEOUT_MS);
        } while (pr < 0 && errno == EINTR);
        if (pr == 0) {
            *err = LINK_E_TIMEOUT;
            ::close(fd);
            return nullptr;
        }
        if (pr < 0) {
            *err = errno;
            ::close(fd);
            return nullptr;
        }
        if (!(p.revents & (POLLOUT | POLLERR | POLLHUP))) {
            *err = LINK_E_DISCONNECTED;
            ::close(fd);
            return nullptr;
        }
        // Writable is not enough on this platform: a refused connect is
        // writable too. Only a pending error of 0 is a connection.
        int soerr = 0;
        socklen_t len = sizeof soerr;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soerr, &len) != 0 || soerr != 0) {
            *err = LINK_E_TIMEOUT;
            ::close(fd);
            return nullptr;
        }
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return std::make_unique<FdTransport>(fd, true);
}

bool IsLinkLostError(int err) {
    switch (err) {
    case ECONNRESET:
    case EPIPE:
    case ECONNABORTED:
    case EIO:
    case ENXIO:
    case ENODEV:
    case LINK_E_DISCONNECTED:
        return true;
    default:
        return false;
    }
}
