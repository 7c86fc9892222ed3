#include "link/DeviceLink.h"
#include "link/ErrorAnswer.h"
#include "link/Transport.h"
#include "tests/support/TestPlatform.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Replies = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

std::string Frame(const std::string& body) { return body + "\xC8"; }

// The device end of a link under test (a stream pair end or a pty master),
// read with deadlines.
struct LinkPeer {
    PeerSocket fd = kNoPeer;
    std::string pending;

    ~LinkPeer() { Reset(kNoPeer); }
    void Reset(PeerSocket s) {
        if (fd != kNoPeer) PeerClose(fd);
        fd = s;
        pending.clear();
    }
    void Send(const std::string& bytes) { PeerSendAll(fd, bytes.data(), static_cast<int>(bytes.size())); }
    // One frame up to and including 0xC8; "" after 2 s.
    std::string ReadFrame() {
        const auto t0 = Clock::now();
        std::size_t pos;
        while ((pos = pending.find('\xC8')) == std::string::npos) {
            char buf[256];
            const int n = PeerRecv(fd, buf, sizeof buf, 20);
            if (n < 0 || MsSince(t0) > 2000) return "";
            pending.append(buf, static_cast<std::size_t>(n));
        }
        std::string frame = pending.substr(0, pos + 1);
        pending.erase(0, pos + 1);
        return frame;
    }
};

// Records every reply it is given; counts the mnemonics of the commands the
// tests send; a 6-byte "sp" is the device's error answer, handled as the
// windows do.
struct Recorder {
    std::mutex mutex;
    Replies replies;
    bool terminatorsInPlace = true;

    static int Handler(void* ctx, const unsigned char* reply, int len) {
        auto* self = static_cast<Recorder*>(ctx);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->replies.emplace_back(reinterpret_cast<const char*>(reply), static_cast<std::size_t>(len));
        self->terminatorsInPlace &= reply[len - 1] == 0xC8;
        if (len < 3) return 0;
        if (len == 6 && reply[0] == 's' && reply[1] == 'p') return ReportDeviceErrorAnswer(reply[2], "SP error"), 0;
        const std::string mnemonic(reinterpret_cast<const char*>(reply), 2);
        return std::string(" md gs sj gk mr sn ge sp gi ").find(" " + mnemonic + " ") != std::string::npos;
    }
    Replies Take() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(replies, {});
    }
};

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        theLink.m_nNode = 0;
        theLink.m_nError = 0;
        theLink.m_nMode = LINK_SERIAL;
        theLink.SetReplyHandler(&recorder, &Recorder::Handler);
    }
    void TearDown() override {
        theLink.Close();
        theLink.SetReplyHandler(nullptr, nullptr);
    }

    // Opens theLink over a stream pair; the peer gets the other end, after it
    // sent `before`.
    void OpenPair(const std::string& before = "") {
        PeerSocket sv[2];
        ASSERT_TRUE(MakeStreamPair(&sv[0], &sv[1]));
        peer.Reset(sv[1]);
        peer.Send(before);
        ASSERT_EQ(theLink.OpenTransport(MakeFdTransport(sv[0], true)), 0);
        ASSERT_EQ(theLink.m_nState.load(), LINK_OPEN);
    }
    // The status notification is handled in order with the replies: once it
    // shows, every reply the peer sent before it has been dealt with.
    void Settle(int status) {
        peer.Send(Frame("00gq" + std::string(1, static_cast<char>(status + 32))));
        const auto t0 = Clock::now();
        while (theLink.m_nRegStatus.load() != status && MsSince(t0) < 2000) std::this_thread::yield();
    }

    Recorder recorder;
    LinkPeer peer;
};

TEST_F(LinkTest, FramesCarryTheNodePrefixAndTerminator) {
    OpenPair();
    const struct { int node; const char *command, *wire; } cases[] = {
        {0, "MD\xC8", "00MD\xC8"},   {1, "GS\xC8", "01GS\xC8"},        {254, "SJ\xC8", "FESJ\xC8"},
        {255, "SN\xC8", "FFSN\xC8"}, {0x1A5, "GK\xC8", "A5GK\xC8"}, {0, "RSET/\xC8", "00RSET/\xC8"},
    };
    for (const auto& c : cases) {
        theLink.m_nNode = c.node;
        ASSERT_EQ(theLink.SendCommand(c.command), 0);
        EXPECT_EQ(peer.ReadFrame(), c.wire);
    }
    EXPECT_EQ(theLink.m_nPending.load(), 5);  // the reset command awaits no reply
}

// Each row opens after the device sent garbage and half a reply (dropped),
// sends its commands, then the device's bytes in pieces; the handler sees
// whole replies only, in the order they came.
TEST_F(LinkTest, RepliesInEitherOrderSplitAtOddPointsAndOverlong) {
    const std::string md = Frame("00md !-"), gs = Frame("00gs12AB34CD"), good = Frame("00gk good");
    const Replies mdGs{"md !-\xC8", "gs12AB34CD\xC8"}, gsMd{"gs12AB34CD\xC8", "md !-\xC8"}, gk{"gk good\xC8"};
    const std::vector<std::string> both{"MD\xC8", "GS\xC8"}, gkOnly{"GK\xC8"};
    const struct { std::vector<std::string> commands, pieces; Replies seen; } rows[] = {
        {both, {md, gs}, mdGs},
        {both, {gs, md}, gsMd},
        {both, {"00gs1", "2AB", "34CD\xC8" + md.substr(0, 3), md.substr(3)}, gsMd},
        // far too long, its tail arriving later with the terminator
        {gkOnly, {"00gk" + std::string(300, 'x'), Frame("tail-of-the-long-one"), good}, gk},
        // exactly filling the buffer, terminator included
        {gkOnly, {"00gk" + std::string(LINK_RX_BUFFER_SIZE - 5, 'y') + "\xC8", good}, gk},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pieces.front().substr(0, 8));
        OpenPair("garbage\xC8half-a-rep");
        for (const std::string& command : row.commands) ASSERT_EQ(theLink.SendCommand(command.c_str()), 0);
        for (const std::string& piece : row.pieces) peer.Send(piece);
        EXPECT_EQ(theLink.WaitReplies(2), 1);
        EXPECT_EQ(recorder.Take(), row.seen);
        EXPECT_TRUE(recorder.terminatorsInPlace);  // handlers see only received bytes
        theLink.Close();
    }
}

TEST_F(LinkTest, RegistrationStatusBypassesTheHandlerAndTheCountNeverGoesNegative) {
    OpenPair();
    theLink.m_nRegStatus = -1;
    ASSERT_EQ(theLink.SendCommand("GQ\xC8"), 0);
    peer.Send(Frame("01sn01.!B5"));  // nothing asked for "sn": dropped
    peer.Send(Frame("00gq"));        // no status byte: carries nothing
    peer.Send(Frame("01gq\""));      // another prefix goes to the handler, which rejects it
    Settle(1);
    // One search to every node, three answers: each reaches the handler,
    // the count drops once and stops at 0.
    theLink.m_nNode = 255;
    ASSERT_EQ(theLink.SendCommand("SN\xC8"), 0);
    peer.Send(Frame("FFsn01.!B5") + Frame("FFsn02.!B0") + Frame("FFsn03.!A0"));
    Settle(2);
    EXPECT_EQ(recorder.Take(), (Replies{"gq\"\xC8", "sn01.!B5\xC8", "sn02.!B0\xC8", "sn03.!A0\xC8"}));
    EXPECT_EQ(theLink.m_nPending.load(), 1);  // the "GQ" poll: its status never counts
}

// A command sent again after its wait failed: what each order of the late
// and the new answer leaves. The protocol has no sequence numbers, so an
// answer after the retry counts for it whichever attempt it belongs to;
// nothing is ever counted twice or for another command.
TEST_F(LinkTest, RetryAfterAFailedWait) {
    // errorAnswer: the device refuses the first attempt; late: when the first
    // attempt's own answer arrives; seen: what the handler was given, in order.
    enum Late { None, BeforeRetry, AfterRetry };
    const struct { const char* name; bool errorAnswer; Late late; Replies seen; } rows[] = {
        {"first answer never comes", false, None, {"sp retry\xC8"}},
        {"late answer before the retry", false, BeforeRetry, {"sp retry\xC8"}},
        {"late answer after the retry", false, AfterRetry, {"sp late\xC8"}},
        {"error answer with code 0, then a retry", true, None, {std::string("sp\0" "00\xC8", 6), "sp retry\xC8"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        OpenPair();
        ASSERT_EQ(theLink.SendCommand("SP\xC8"), 0);
        auto t0 = Clock::now();
        if (row.errorAnswer) peer.Send(Frame(std::string("00sp\0" "00", 7)));
        EXPECT_EQ(theLink.WaitReplies(1), 0);
        EXPECT_EQ(theLink.m_nError.load(), row.errorAnswer ? LINK_E_ERROR_ANSWER : LINK_E_TIMEOUT);
        const long long waited = MsSince(t0);
        EXPECT_TRUE(row.errorAnswer ? waited < 500 : waited >= 1000 && waited < 1500) << waited;
        if (row.late == BeforeRetry) peer.Send(Frame("00sp late")), Settle(2);
        ASSERT_EQ(theLink.SendCommand("SP\xC8"), 0);
        if (row.late == AfterRetry) peer.Send(Frame("00sp late"));
        peer.Send(Frame("00sp retry"));
        t0 = Clock::now();
        EXPECT_EQ(theLink.WaitReplies(2), 1);
        EXPECT_LT(MsSince(t0), 1000);
        Settle(3);
        EXPECT_EQ(recorder.Take(), row.seen);
        EXPECT_EQ(theLink.m_nPending.load(), 0);
        EXPECT_EQ(peer.ReadFrame() + peer.ReadFrame(), "00SP\xC8" "00SP\xC8");
        theLink.Close();
    }
}

// A stop request ends the wait at once and sends nothing more until sending
// is allowed again.
TEST_F(LinkTest, StopEndsTheWaitAndRefusesSends) {
    OpenPair();
    ASSERT_EQ(theLink.SendCommand("SJ\xC8"), 0);
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        theLink.StopSending();
    });
    const auto t0 = Clock::now();
    EXPECT_EQ(theLink.WaitReplies(5), 0);
    stopper.join();
    EXPECT_LT(MsSince(t0), 1000);
    EXPECT_EQ(theLink.m_nError.load(), LINK_E_STOPPED);
    EXPECT_EQ(theLink.SendCommand("GE\xC8"), -1);
    EXPECT_EQ(theLink.m_nError.load(), LINK_E_STOPPED);
    peer.Send(Frame("00sj old"));  // the stopped command's answer: dropped
    theLink.AllowSending();
    ASSERT_EQ(theLink.SendCommand("MD\xC8"), 0);
    peer.Send(Frame("00md !!"));
    EXPECT_EQ(theLink.WaitReplies(2), 1);
    EXPECT_EQ(peer.ReadFrame(), "00SJ\xC8");
    EXPECT_EQ(peer.ReadFrame(), "00MD\xC8");  // "GE" never went out
    EXPECT_EQ(recorder.Take(), Replies{"md !!\xC8"});
}

TEST_F(LinkTest, OpenEndsEvenWhenTheDeviceNeverFallsSilent) {
    PeerSocket sv[2];
    ASSERT_TRUE(MakeStreamPair(&sv[0], &sv[1]));
    peer.Reset(sv[1]);
    std::atomic<bool> stop{false};
    std::thread chatter([&] {
        while (!stop && PeerSendNoWait(sv[1], "zz", 2)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    const auto t0 = Clock::now();
    EXPECT_EQ(theLink.OpenTransport(MakeFdTransport(sv[0], true)), 0);
    EXPECT_LT(MsSince(t0), LINK_DRAIN_LIMIT_MS + 500);
    stop = true;
    chatter.join();
}

TEST_F(LinkTest, ClosedMissingRefusedAndDoubleOpenedLinks) {
    theLink.m_strComPort = kMissingSerialPort;
    EXPECT_EQ(theLink.Open(), -1);
    EXPECT_EQ(theLink.m_nError.load(), kMissingSerialPortError);  // the platform's own error number
    EXPECT_EQ(theLink.SendCommand("MD\xC8"), -1);
    EXPECT_EQ(theLink.m_nError.load(), LINK_E_NOT_OPEN);
    EXPECT_EQ(theLink.m_nPending.load(), 0);  // what was never sent is not awaited
    theLink.Close();  // closing a closed link does nothing
    EXPECT_EQ(theLink.m_nState.load(), LINK_CLOSED);

#ifndef _WIN32
    // Only character devices open as serial ports: a regular file (large, so
    // that a drain would run out before its end), a directory and a FIFO
    // (whose open would wait for a writer) are refused untouched.
    namespace fs = std::filesystem;
    char dir[] = "/tmp/rz-link-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/file", fifo = std::string(dir) + "/fifo";
    std::ofstream(file) << "content";
    fs::resize_file(file, 1 << 24);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {file, std::string(dir), fifo}) {
        theLink.m_strComPort = path;
        EXPECT_EQ(theLink.Open(), -1) << path;
        EXPECT_EQ(theLink.m_nError.load(), ENOTTY) << path;
        EXPECT_EQ(theLink.m_nState.load(), LINK_CLOSED) << path;
    }
    std::string head(7, '\0');
    std::ifstream(file).read(head.data(), 7);
    EXPECT_EQ(head, "content");
    EXPECT_EQ(fs::file_size(file), 1u << 24);
    fs::remove_all(dir);
#endif

    OpenPair();
    EXPECT_EQ(theLink.Open(), -1);
    EXPECT_EQ(theLink.m_nError.load(), LINK_E_ALREADY_OPEN);
    PeerSocket sv[2];
    ASSERT_TRUE(MakeStreamPair(&sv[0], &sv[1]));
    PeerClose(sv[1]);
    EXPECT_EQ(theLink.OpenTransport(MakeFdTransport(sv[0], true)), -1);
    EXPECT_EQ(theLink.m_nError.load(), LINK_E_ALREADY_OPEN);
    // The open link is undisturbed.
    ASSERT_EQ(theLink.SendCommand("MD\xC8"), 0);
    EXPECT_EQ(peer.ReadFrame(), "00MD\xC8");
    peer.Send(Frame("00md !!"));
    EXPECT_EQ(theLink.WaitReplies(2), 1);
}

TEST_F(LinkTest, PeerCloseEndsAWaitAtOnceAndConcurrentClosesCloseOnce) {
    OpenPair();
    ASSERT_EQ(theLink.SendCommand("SJ\xC8"), 0);
    peer.Reset(kNoPeer);
    const auto t0 = Clock::now();
    EXPECT_EQ(theLink.WaitReplies(5), 0);
    EXPECT_LT(MsSince(t0), 1000);
    // An orderly close, or a reset because our frame was never read.
    EXPECT_TRUE(IsLinkLostError(theLink.m_nError.load())) << theLink.m_nError.load();
    EXPECT_EQ(theLink.m_nState.load(), LINK_OPEN);  // until Close
    theLink.Close();

    OpenPair();
    ASSERT_EQ(theLink.SendCommand("SJ\xC8"), 0);
    std::atomic<int> waitResult{-1};
    std::thread waiter([&] { waitResult = theLink.WaitReplies(10); });
    std::vector<std::thread> closers;
    for (int i = 0; i < 8; ++i) closers.emplace_back([] { theLink.Close(); });
    for (auto& t : closers) t.join();
    waiter.join();
    EXPECT_EQ(theLink.m_nState.load(), LINK_CLOSED);
    EXPECT_EQ(theLink.m_nPending.load(), 0);
    EXPECT_EQ(waitResult.load(), 0);  // replies that never came are not success
    EXPECT_EQ(theLink.SendCommand("MD\xC8"), -1);
    EXPECT_EQ(theLink.m_nError.load(), LINK_E_NOT_OPEN);
}

#ifndef _WIN32
// Needs a pseudo-terminal: Linux only.
TEST_F(LinkTest, SerialPortIsRawAndExclusive) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    const std::string path = ptsname(master);
    peer.Reset(master);

    theLink.m_strComPort = path;
    ASSERT_EQ(theLink.Open(), 0) << theLink.m_nError.load();
    // A second opener is refused while the link holds the port.
    int secondErr = 0;
    EXPECT_EQ(OpenSerialTransport(path, &secondErr), nullptr);

    ASSERT_EQ(theLink.SendCommand("GI\x7F\x80\r\n\xC8"), 0);
    EXPECT_EQ(peer.ReadFrame(), "00GI\x7F\x80\r\n\xC8");  // nothing translated
    peer.Send(Frame("00gi\r\n\x03\x11"));
    ASSERT_EQ(theLink.WaitReplies(2), 1);
    EXPECT_EQ(recorder.Take(), Replies{"gi\r\n\x03\x11\xC8"});
    char echo;
    EXPECT_TRUE(peer.pending.empty() && PeerRecv(peer.fd, &echo, 0, 50) == 0);  // no echo of the device's bytes
}
#endif

}  // namespace
