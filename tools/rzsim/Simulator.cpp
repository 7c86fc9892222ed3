// The running simulator: one thread per channel (a TCP listener with its
// current connection, or a pseudo-terminal), each polling its descriptors
// and a shared wake pipe. Frames are answered through AnswerCommand under
// the state mutex; answers with a delay wait in the channel's queue, so a
// slow answer never holds up another channel.
#include "tools/rzsim/Simulator.h"

#include "tools/rzsim/SimText.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <fstream>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace rzsim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kTerminator = static_cast<char>(0xC8);
// Bytes without a terminator beyond this are dropped: no command is longer.
constexpr std::size_t kMaxFrame = 4096;
// How often a pseudo-terminal that nobody holds open is looked at again.
constexpr int kHangupPollMs = 20;

bool IsGatewayModel(int model) { return model == 13 || model == 14; }

bool SameState(const DeviceState& a, const DeviceState& b)
{
    return a.node == b.node && a.model == b.model && a.ext == b.ext && a.uid == b.uid && a.id == b.id &&
           a.rssi == b.rssi && a.relay == b.relay && a.lan == b.lan && a.mac == b.mac && a.group == b.group &&
           a.lastGroupWrite == b.lastGroupWrite && a.resetCount == b.resetCount && a.fields == b.fields;
}

void Normalise(Scenario* sc)
{
    const bool hasAttached =
        std::any_of(sc->devices.begin(), sc->devices.end(), [](const DeviceState& d) { return d.node == 0; });
    if (!hasAttached) sc->devices.insert(sc->devices.begin(), DeviceState{});
    std::stable_sort(sc->devices.begin(), sc->devices.end(),
                     [](const DeviceState& a, const DeviceState& b) { return a.node < b.node; });
    for (DeviceState& d : sc->devices) ApplyDefaults(&d);
}

void SetNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

bool MakeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

void WriteAll(int fd, const std::string& bytes, bool socket)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = socket ? send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                                 : write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;  // peer gone or buffer full: the answer is lost, as on a real line
        }
    }
}

struct Outgoing {
    Clock::time_point due;
    std::uint64_t seq = 0;
    std::string bytes;
};

}  // namespace

struct Channel {
    bool tcp = false;
    int listenFd = -1;
    int dataFd = -1;  // TCP: the current connection; pty: the master
    bool peerOpen = false;
    // TCP: the connection was dropped on purpose. Our side has sent its FIN
    // and reads on only to discard, so that closing never finds unread
    // bytes (which would send a reset instead of an orderly close).
    bool draining = false;
    std::string slavePath;
    std::string linkPath;
    std::thread thread;
    // Touched only by the channel's own thread.
    int frameCount = 0;
    std::string rx;
    std::vector<Outgoing> queue;
    std::uint64_t seq = 0;
};

struct Simulator::Impl {
    mutable std::mutex mutex;  // guards everything below up to the channels
    mutable std::condition_variable framesChanged;
    Scenario scenario;
    std::vector<std::string> frames;
    std::ofstream log;
    std::function<void()> onStateChanged;

    std::mutex channelsMutex;
    std::vector<std::unique_ptr<Channel>> channels;
    int wake[2] = {-1, -1};
    std::atomic<bool> stopping{false};

    struct Result {
        bool drop = false;
        bool changed = false;
        std::vector<std::pair<int, std::string>> replies;  // delay in ms, bytes
    };

    Result HandleFrame(const std::string& frame, Channel* ch);
    void OnConnect(Channel* ch);
    void Deliver(Channel* ch);
    void Feed(Channel* ch, const char* data, std::size_t size, bool* dropped);
    void Run(Channel* ch);
    void CloseChannel(Channel* ch);
};

Simulator::Impl::Result Simulator::Impl::HandleFrame(const std::string& frame, Channel* ch)
{
    Result result;
    std::lock_guard<std::mutex> lock(mutex);
    frames.push_back(frame);
    framesChanged.notify_all();
    if (log.is_open()) log << EscapeBytes(frame) << '\n' << std::flush;

    ++ch->frameCount;
    for (const Scenario::Fault& f : scenario.faults) {
        if (f.kind == "drop-after" && ch->frameCount >= f.value) {
            result.drop = true;
            return result;
        }
    }
    if (frame.size() < 2 || !IsHex(frame.substr(0, 2))) return result;
    const std::string prefix = frame.substr(0, 2);
    const int node = HexDigit(prefix[0]) * 16 + HexDigit(prefix[1]);
    const std::string command = frame.substr(2);

    DeviceState* attached = nullptr;
    for (DeviceState& d : scenario.devices)
        if (d.node == 0) attached = &d;
    const bool gateway = attached && IsGatewayModel(attached->model);

    std::vector<DeviceState*> targets;
    if (node == 0) {
        if (attached) targets.push_back(attached);
    } else if (node == 0xFF) {
        if (gateway) {
            for (DeviceState& d : scenario.devices)
                if (d.node >= 1 && d.node <= 254) targets.push_back(&d);
        } else if (attached) {
            targets.push_back(attached);
        }
    } else if (gateway) {
        for (DeviceState& d : scenario.devices)
            if (d.node == node) targets.push_back(&d);
    }

    for (DeviceState* t : targets) {
        const DeviceState before = *t;
        const std::vector<std::string> replies = AnswerCommand(*t, command, scenario);
        if (!SameState(before, *t)) result.changed = true;
        const int delay = ReplyDelayMs(scenario, t->node, command);
        for (const std::string& r : replies) {
            // The registration status always comes as a notification of 00.
            const bool notification = r.size() >= 2 && r.compare(0, 2, "gq") == 0;
            result.replies.emplace_back(delay, (notification ? std::string("00") : prefix) + r);
        }
    }
    return result;
}

void Simulator::Impl::OnConnect(Channel* ch)
{
    ch->frameCount = 0;
    ch->rx.clear();
    ch->queue.clear();
    std::string garbage;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const Scenario::Fault& f : scenario.faults)
            if (f.kind == "garbage") garbage += f.bytes;
    }
    if (!garbage.empty()) WriteAll(ch->dataFd, garbage, ch->tcp);
}

void Simulator::Impl::Deliver(Channel* ch)
{
    const Clock::time_point now = Clock::now();
    std::stable_sort(ch->queue.begin(), ch->queue.end(), [](const Outgoing& a, const Outgoing& b) {
        return a.due < b.due || (a.due == b.due && a.seq < b.seq);
    });
    std::size_t sent = 0;
    while (sent < ch->queue.size() && ch->queue[sent].due <= now) {
        if (ch->dataFd >= 0 && !ch->draining && (ch->tcp || ch->peerOpen)) WriteAll(ch->dataFd, ch->queue[sent].bytes, ch->tcp);
        ++sent;
    }
    ch->queue.erase(ch->queue.begin(), ch->queue.begin() + static_cast<std::ptrdiff_t>(sent));
}

void Simulator::Impl::Feed(Channel* ch, const char* data, std::size_t size, bool* dropped)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != kTerminator) {
            if (ch->rx.size() >= kMaxFrame) ch->rx.clear();
            ch->rx += data[i];
            continue;
        }
        const std::string frame = ch->rx;
        ch->rx.clear();
        Result r = HandleFrame(frame, ch);
        if (r.changed) {
            std::function<void()> handler;
            {
                std::lock_guard<std::mutex> lock(mutex);
                handler = onStateChanged;
            }
            if (handler) handler();
        }
        if (r.drop) {
            *dropped = true;
            return;
        }
        const Clock::time_point now = Clock::now();
        for (auto& [delay, bytes] : r.replies)
            ch->queue.push_back(Outgoing{now + std::chrono::milliseconds(delay), ch->seq++, bytes});
        Deliver(ch);
    }
}

void Simulator::Impl::CloseChannel(Channel* ch)
{
    // The link goes first, so that whoever sees the hang-up finds it gone.
    if (!ch->linkPath.empty()) {
        // Remove the link only while it still names this channel's device.
        char target[4096];
        const ssize_t n = readlink(ch->linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == ch->slavePath) unlink(ch->linkPath.c_str());
    }
    if (ch->dataFd >= 0) close(ch->dataFd);
    if (ch->listenFd >= 0) close(ch->listenFd);
    ch->dataFd = ch->listenFd = -1;
    ch->queue.clear();
}

void Simulator::Impl::Run(Channel* ch)
{
    char buf[512];
    while (!stopping.load()) {
        int timeout = -1;
        if (!ch->queue.empty()) {
            const auto next = std::min_element(ch->queue.begin(), ch->queue.end(),
                                               [](const Outgoing& a, const Outgoing& b) { return a.due < b.due; });
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next->due - Clock::now()).count();
            timeout = static_cast<int>(std::max<long long>(0, left + 1));
        }
        // A master whose far end nobody holds reports POLLHUP at once; look
        // at it again every few milliseconds instead of spinning on it.
        if (!ch->tcp && !ch->peerOpen) timeout = timeout < 0 ? kHangupPollMs : std::min(timeout, kHangupPollMs);

        pollfd fds[3];
        nfds_t n = 0;
        fds[n++] = pollfd{wake[0], POLLIN, 0};
        int listenIdx = -1;
        int dataIdx = -1;
        if (ch->tcp) {
            listenIdx = static_cast<int>(n);
            fds[n++] = pollfd{ch->listenFd, POLLIN, 0};
        }
        if (ch->dataFd >= 0 && (ch->tcp || ch->peerOpen)) {
            dataIdx = static_cast<int>(n);
            fds[n++] = pollfd{ch->dataFd, POLLIN, 0};
        }
        const int ready = poll(fds, n, timeout);
        if (ready < 0 && errno != EINTR) break;
        if (stopping.load()) break;

        if (!ch->tcp && !ch->peerOpen) {
            pollfd p{ch->dataFd, POLLIN, 0};
            if (poll(&p, 1, 0) >= 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                ch->peerOpen = true;
                OnConnect(ch);
            }
        }
        if (dataIdx >= 0 && fds[dataIdx].revents != 0) {
            const ssize_t got = read(ch->dataFd, buf, sizeof buf);
            if (got > 0 && ch->draining) {
                // Dropped: whatever the tool still sends is discarded.
            } else if (got > 0) {
                bool dropped = false;
                Feed(ch, buf, static_cast<std::size_t>(got), &dropped);
                if (dropped) {
                    if (!ch->tcp) break;  // hang up the terminal: the tool's reads fail from now on
                    // An orderly close: the tool reads the end of the stream;
                    // the descriptor goes once the tool has closed its side.
                    shutdown(ch->dataFd, SHUT_WR);
                    ch->draining = true;
                    ch->queue.clear();
                    ch->rx.clear();
                }
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                // TCP: the peer closed. Pty: the last holder of the device closed it.
                if (ch->tcp) {
                    close(ch->dataFd);
                    ch->dataFd = -1;
                    ch->draining = false;
                } else {
                    ch->peerOpen = false;
                }
                ch->queue.clear();
                ch->rx.clear();
            }
        }
        if (listenIdx >= 0 && (fds[listenIdx].revents & POLLIN)) {
            const int conn = accept(ch->listenFd, nullptr, nullptr);
            if (conn >= 0) {
                // One connection at a time: a new one replaces the old.
                if (ch->dataFd >= 0) close(ch->dataFd);
                SetNonBlocking(conn);
                ch->dataFd = conn;
                ch->draining = false;
                OnConnect(ch);
            }
        }
        Deliver(ch);
    }
    CloseChannel(ch);
}

Simulator::Simulator(Scenario scenario) : m_impl(std::make_unique<Impl>())
{
    Normalise(&scenario);
    m_impl->scenario = std::move(scenario);
    if (pipe(m_impl->wake) == 0) {
        SetNonBlocking(m_impl->wake[0]);
        SetNonBlocking(m_impl->wake[1]);
    }
}

Simulator::~Simulator()
{
    Stop();
    if (m_impl->wake[0] >= 0) close(m_impl->wake[0]);
    if (m_impl->wake[1] >= 0) close(m_impl->wake[1]);
}

int Simulator::StartTcp(const std::string& host, int port)
{
    if (m_impl->wake[0] < 0 || port < 0 || port > 65535) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return -1;
        addr.sin_addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
        freeaddrinfo(res);
    }
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(fd);
        return -1;
    }
    SetNonBlocking(fd);
    auto ch = std::make_unique<Channel>();
    ch->tcp = true;
    ch->listenFd = fd;
    Channel* raw = ch.get();
    std::lock_guard<std::mutex> lock(m_impl->channelsMutex);
    ch->thread = std::thread([impl = m_impl.get(), raw] { impl->Run(raw); });
    m_impl->channels.push_back(std::move(ch));
    return ntohs(addr.sin_port);
}

std::string Simulator::StartPty(const std::string& linkPath)
{
    if (m_impl->wake[0] < 0) return {};
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) return {};
    char name[256];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        close(master);
        return {};
    }
    SetNonBlocking(master);
    // Raw on both ends: no echo, no line editing, all eight bits (0xC8).
    MakeRaw(master);
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0 || !MakeRaw(slave)) {
        if (slave >= 0) close(slave);
        close(master);
        return {};
    }
    close(slave);

    auto ch = std::make_unique<Channel>();
    ch->dataFd = master;
    ch->slavePath = name;
    if (!linkPath.empty()) {
        // Replace an old link, never a file or directory of someone else's.
        struct stat st {};
        if (lstat(linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                close(master);
                errno = EEXIST;
                return {};
            }
            unlink(linkPath.c_str());
        }
        if (symlink(name, linkPath.c_str()) != 0) {
            close(master);
            return {};
        }
        ch->linkPath = linkPath;
    }
    Channel* raw = ch.get();
    std::lock_guard<std::mutex> lock(m_impl->channelsMutex);
    ch->thread = std::thread([impl = m_impl.get(), raw] { impl->Run(raw); });
    m_impl->channels.push_back(std::move(ch));
    return name;
}

void Simulator::Stop()
{
    std::lock_guard<std::mutex> lock(m_impl->channelsMutex);
    if (m_impl->channels.empty()) return;
    m_impl->stopping = true;
    const char byte = 1;
    if (write(m_impl->wake[1], &byte, 1) < 0) {
        // The pipe is full only if a wake byte is already waiting.
    }
    for (auto& ch : m_impl->channels)
        if (ch->thread.joinable()) ch->thread.join();
    m_impl->channels.clear();
    char drain[64];
    while (read(m_impl->wake[0], drain, sizeof drain) > 0) {
    }
    m_impl->stopping = false;
}

std::vector<std::string> Simulator::Frames() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->frames;
}

bool Simulator::WaitForFrames(std::size_t n, std::chrono::milliseconds deadline) const
{
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    return m_impl->framesChanged.wait_for(lock, deadline, [&] { return m_impl->frames.size() >= n; });
}

void Simulator::ClearFrames()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->frames.clear();
}

DeviceState Simulator::State(int node) const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    for (const DeviceState& d : m_impl->scenario.devices)
        if (d.node == node) return d;
    DeviceState none;
    none.node = -1;
    return none;
}

void Simulator::SetState(const DeviceState& state)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    auto& devices = m_impl->scenario.devices;
    auto it = std::find_if(devices.begin(), devices.end(), [&](const DeviceState& d) { return d.node == state.node; });
    if (it != devices.end()) *it = state;
    else devices.push_back(state);
    Normalise(&m_impl->scenario);
}

void Simulator::SetScenario(const Scenario& scenario)
{
    Scenario copy = scenario;
    Normalise(&copy);
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->scenario = std::move(copy);
}

std::string Simulator::DumpState() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    std::string out = ScenarioText(m_impl->scenario);
    for (const std::string& f : m_impl->frames) out += "# frame " + EscapeBytes(f) + "\n";
    return out;
}

bool Simulator::SetFrameLog(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (m_impl->log.is_open()) m_impl->log.close();
    if (path.empty()) return true;
    m_impl->log.open(path, std::ios::app | std::ios::binary);
    return m_impl->log.is_open();
}

void Simulator::SetStateChangedHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->onStateChanged = std::move(handler);
}

}  // namespace rzsim
