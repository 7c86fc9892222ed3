#include "tests/support/TestPlatform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <vector>

const PeerSocket kNoPeer = static_cast<PeerSocket>(INVALID_SOCKET);
const char* const kMissingSerialPort = "COM250";
const int kMissingSerialPortError = ERROR_FILE_NOT_FOUND;

namespace {

bool StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

bool WaitSocket(SOCKET s, bool forWrite, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return ::select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &tv) > 0;
}

}  // namespace

PeerSocket ListenLoopback(int* port) {
    if (!StartSockets()) return kNoPeer;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return kNoPeer;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 4) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        closesocket(s);
        return kNoPeer;
    }
    *port = ntohs(addr.sin_port);
    return static_cast<PeerSocket>(s);
}

PeerSocket AcceptPeer(PeerSocket listener, int timeoutMs) {
    const SOCKET l = static_cast<SOCKET>(listener);
    if (!WaitSocket(l, false, timeoutMs)) return kNoPeer;
    return static_cast<PeerSocket>(::accept(l, nullptr, nullptr));
}

// Windows has no socketpair: a loopback connection through a listener that
// is closed again at once.
bool MakeStreamPair(PeerSocket* linkEnd, PeerSocket* peerEnd) {
    int port = 0;
    const PeerSocket listener = ListenLoopback(&port);
    if (listener == kNoPeer) return false;
    SOCKET c = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<u_short>(port));
    bool ok = c != INVALID_SOCKET && ::connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    const PeerSocket a = ok ? AcceptPeer(listener, 2000) : kNoPeer;
    PeerClose(listener);
    if (a == kNoPeer) {
        if (c != INVALID_SOCKET) closesocket(c);
        return false;
    }
    BOOL one = TRUE;
    setsockopt(c, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    setsockopt(static_cast<SOCKET>(a), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    *linkEnd = static_cast<PeerSocket>(c);
    *peerEnd = a;
    return true;
}

bool PeerSendAll(PeerSocket s, const char* data, int len) {
    int done = 0;
    while (done < len) {
        const int n = ::send(static_cast<SOCKET>(s), data + done, len - done, 0);
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

bool PeerSendNoWait(PeerSocket s, const char* data, int len) {
    if (!WaitSocket(static_cast<SOCKET>(s), true, 0)) return true;  // full: nothing sent, no error
    return ::send(static_cast<SOCKET>(s), data, len, 0) != SOCKET_ERROR;
}

int PeerRecv(PeerSocket s, char* buf, int max, int timeoutMs) {
    if (!WaitSocket(static_cast<SOCKET>(s), false, timeoutMs)) return 0;
    const int n = ::recv(static_cast<SOCKET>(s), buf, max, 0);
    return n > 0 ? n : -1;
}

void PeerClose(PeerSocket s) {
    if (s != kNoPeer) closesocket(static_cast<SOCKET>(s));
}

int RunProgram(const std::string& path, const std::string& args, std::string* out) {
    std::string program = path;
    if (program.size() < 2 || (program[1] != ':' && program[0] != '\\' && program[0] != '/')) {
        char self[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
        std::string dir(self, n);
        dir.erase(dir.find_last_of("\\/") + 1);
        program = dir + path;
        for (char& c : program)
            if (c == '/') c = '\\';
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = writeEnd;
    si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    std::string cmdline = "\"" + program + "\" " + args;
    std::vector<char> line(cmdline.begin(), cmdline.end());
    line.push_back('\0');
    const BOOL started =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!started) {
        CloseHandle(readEnd);
        return -1;
    }
    out->clear();
    char buf[512];
    DWORD got = 0;
    while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) out->append(buf, got);
    CloseHandle(readEnd);
    DWORD code = static_cast<DWORD>(-1);
    const bool ended = WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0;
    if (ended) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    // Windows has no text mode for a pipe read: drop the CR of each CR LF.
    std::string text;
    for (char c : *out)
        if (c != '\r') text += c;
    *out = text;
    return ended ? static_cast<int>(code) : -1;
}
