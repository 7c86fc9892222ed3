// rzctl's output and exit statuses where the simulator does not run (the
// Windows build): the device is a scripted loopback TCP peer in the test.
#include "tests/support/TestPlatform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

namespace {

TEST(RzctlStatus, OutputAndExitStatuses) {
    int port = 0, closedPort = 0;
    const PeerSocket listener = ListenLoopback(&port);
    ASSERT_NE(listener, kNoPeer);
    PeerClose(ListenLoopback(&closedPort));  // nobody listens there any more
    // The gateway: answers the frames it knows on every connection, stays
    // silent otherwise.
    std::atomic<bool> stop{false};
    std::thread gateway([&] {
        const std::map<std::string, std::string> answers = {
            {"00MD\xC8", "00md /!\xC8"}, {"00GS\xC8", "00gs00a1beef\xC8"}, {"FFSN\xC8", "05sn05.!B5\xC8" "02sn02-/!C4\xC8"},
        };
        while (!stop) {
            const PeerSocket s = AcceptPeer(listener, 50);
            std::string pending;
            char buf[256];
            for (int n; s != kNoPeer && !stop && (n = PeerRecv(s, buf, sizeof buf, 50)) >= 0;) {
                pending.append(buf, static_cast<std::size_t>(n));
                for (std::size_t end; (end = pending.find('\xC8')) != std::string::npos; pending.erase(0, end + 1)) {
                    const auto a = answers.find(pending.substr(0, end + 1));
                    if (a != answers.end()) PeerSendAll(s, a->second.data(), static_cast<int>(a->second.size()));
                }
            }
            PeerClose(s);
        }
    });
    const std::string tcp = "--tcp 127.0.0.1:" + std::to_string(port);
    const struct { std::string args; int status; std::string out; } cases[] = {
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
    stop = true;
    gateway.join();
    PeerClose(listener);
}

}  // namespace
