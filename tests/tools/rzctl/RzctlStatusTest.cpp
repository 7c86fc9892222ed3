// rzctl's output and exit statuses where the simulator does not run (the
// Windows build): the device is a scripted loopback TCP peer in the test.
#include "tests/support/TestPlatform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

namespace {

// Answers the frames it knows on every connection; stays silent otherwise.
class ScriptedGateway {
public:
    ScriptedGateway() {
        m_listener = ListenLoopback(&m_port);
        if (m_listener != kNoPeer) m_thread = std::thread([this] { Serve(); });
    }
    ~ScriptedGateway() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        PeerClose(m_listener);
    }
    int port() const { return m_port; }

private:
    void Serve() {
        const std::map<std::string, std::string> answers = {
            {"00MD\xC8", "00md /!\xC8"},
            {"00GS\xC8", "00gs00a1beef\xC8"},
            {"FFSN\xC8", "05sn05.!B5\xC8" "02sn02-/!C4\xC8"},
        };
        while (!m_stop) {
            const PeerSocket s = AcceptPeer(m_listener, 50);
            if (s == kNoPeer) continue;
            std::string pending;
            char buf[256];
            for (int n; !m_stop && (n = PeerRecv(s, buf, sizeof buf, 50)) >= 0;) {
                pending.append(buf, static_cast<std::size_t>(n));
                for (std::size_t end; (end = pending.find('\xC8')) != std::string::npos;) {
                    const auto a = answers.find(pending.substr(0, end + 1));
                    if (a != answers.end()) PeerSendAll(s, a->second.data(), static_cast<int>(a->second.size()));
                    pending.erase(0, end + 1);
                }
            }
            PeerClose(s);
        }
    }

    PeerSocket m_listener = kNoPeer;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(RzctlStatus, OutputAndExitStatuses) {
    ScriptedGateway gateway;
    ASSERT_GT(gateway.port(), 0);
    const std::string tcp = "--tcp 127.0.0.1:" + std::to_string(gateway.port());
    int closedPort = 0;
    PeerClose(ListenLoopback(&closedPort));  // nobody listens there any more

    const struct {
        std::string args;
        int status;
        std::string out;
    } cases[] = {
        {tcp + " identify", 0, "model: VM-310-RZ\ncode: 15\next: 1\nuid: 00A1BEEF\n"},
        {tcp + " search --seconds 1", 0, "node 5 model TQ-110-RZ id 1 rssi -75\nnode 2 model VM-310-RZ id - rssi -60\n"},
        {tcp + " --node 77 --timeout 1 identify", 1, ""},  // a silent node
        {"--tcp 127.0.0.1:" + std::to_string(closedPort) + " --timeout 1 identify", 2, ""},
        {"--tcp no-such-host.invalid identify", 2, ""},
        {std::string("--serial ") + kMissingSerialPort + " identify", 2, ""},
        {"identify", 2, ""},
        {"--version", 0, "rzctl " RZ_VERSION_TEXT "\n"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(RunProgram(RZCTL_PATH, c.args, &out), c.status) << c.args;
        EXPECT_EQ(out, c.out) << c.args;
    }
}

}  // namespace
