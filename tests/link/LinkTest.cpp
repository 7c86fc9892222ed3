#include "link/DeviceLink.h"
#include "link/Transport.h"
#include "tests/link/LinkPeer.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#endif

#include <atomic>
#include <chrono>
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

// Records every reply it is given; counts the mnemonics listed in `accept`.
struct Recorder {
    std::mutex mutex;
    std::vector<std::string> replies;
    std::vector<bool> terminatorInPlace;
    std::string accept = "mdgssjgkmrsnge";

    static int Handler(void* ctx, const unsigned char* reply, int len) {
        auto* self = static_cast<Recorder*>(ctx);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->replies.emplace_back(reinterpret_cast<const char*>(reply), static_cast<std::size_t>(len));
        self->terminatorInPlace.push_back(reply[len - 1] == 0xC8);
        if (len < 3) return 0;
        for (std::size_t i = 0; i + 1 < self->accept.size(); i += 2)
            if (reply[0] == self->accept[i] && reply[1] == self->accept[i + 1]) return 1;
        return 0;
    }
    std::vector<std::string> Replies() {
        std::lock_guard<std::mutex> lock(mutex);
        return replies;
    }
};

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        theLink.m_nNode = 0;
        theLink.m_nError = 0;
        theLink.SetReplyHandler(&recorder, &Recorder::Handler);
    }
    void TearDown() override {
        theLink.Close();
        theLink.SetReplyHandler(nullptr, nullptr);
        theLink.m_nNode = 0;
    }

    // Opens theLink over a stream pair; the peer gets the other end.
    void OpenPair() {
        PeerSocket sv[2];
        ASSERT_TRUE(MakeStreamPair(&sv[0], &sv[1]));
        peer.Reset(sv[1]);
        ASSERT_EQ(theLink.OpenTransport(MakeFdTransport(sv[0], true)), 0);
        ASSERT_EQ(theLink.m_nState.load(), LINK_OPEN);
    }

    Recorder recorder;
    LinkPeer peer;
};

TEST_F(LinkTest, FramesCarryTheNodePrefixAndTerminator) {
    OpenPair();
    struct {
        int node;
        const char* command;
        const char* wire;
    } const cases[] = {
        {0, "MD\xC8", "00MD\xC8"},   {1, "GS\xC8", "01GS\xC8"},  {254, "SJ\xC8", "FESJ\xC8"},
        {255, "SN\xC8", "FFSN\xC8"}, {0x1A5, "GK\xC8", "A5GK\xC8"},
        {0, "RSET/\xC8", "00RSET/\xC8"},
    };
    for (const auto& c : cases) {
        theLink.m_nNode = c.node;
        ASSERT_EQ(theLink.SendCommand(c.command), 0);
        EXPECT_EQ(peer.ReadFrame(), c.wire);
    }
    // Five commands await replies; the reset command awaits none.
    EXPECT_EQ(theLink.m_nPending.load(), 5);
    theLink.SetPending(0);
    ASSERT_EQ(theLink.SendCommand("RSET/\xC8"), 0);
    EXPECT_EQ(theLink.m_nPending.load(), 0);
    const auto t0 = Clock::now();
    EXPECT_EQ(theLink.WaitReplies(5), 1);
    EXPECT_LT(MsSince(t0), 100);
}

TEST_F(LinkTest, TwoCommandsAnsweredInEitherOrderEvenSplitAtOddPoints) {
    const std::string md = Frame("00md !-"), gs = Frame("00gs12AB34CD");
    const std::vector<std::string> cases[] = {{md, gs}, {gs, md}, {"00gs1", "2AB", "34CD\xC8" + md.substr(0, 3), md.substr(3)}};
    for (const auto& pieces : cases) {
        OpenPair();
        ASSERT_EQ(theLink.SendCommand("MD\xC8"), 0);
        ASSERT_EQ(theLink.SendCommand("GS\xC8"), 0);
        EXPECT_EQ(theLink.m_nPending.load(), 2);
        for (const std::string& piece : pieces) peer.Send(piece);
        EXPECT_EQ(theLink.WaitReplies(2), 1);
        const bool mdFirst = pieces[0] == md;
        const Replies expected = mdFirst ? Replies{"md !-\xC8", "gs12AB34CD\xC8"} : Replies{"gs12AB34CD\xC8", "md !-\xC8"};
        EXPECT_EQ(recorder.Replies(), expected);
        for (bool inPlace : recorder.terminatorInPlace) EXPECT_TRUE(inPlace);  // handlers see only received bytes
        theLink.Close();
        recorder.replies.clear();
        recorder.terminatorInPlace.clear();
    }
}

TEST_F(LinkTest, RejectedReplyLeavesTheCountAndTheWaitTimesOut) {
    OpenPair();
    ASSERT_EQ(theLink.SendCommand("SJ\xC8"), 0);
    peer.Send(Frame("00zz123"));  // not a mnemonic the handler serves
    auto t0 = Clock::now();
    EXPECT_EQ(theLink.WaitReplies(1), 0);
    const auto elapsed = MsSince(t0);
    EXPECT_GE(elapsed, 1000);
    EXPECT_LT(elapsed, 1500);
    EXPECT_EQ(theLink.m_nError.load(), LINK_E_TIMEOUT);
    EXPECT_EQ(theLink.m_nPending.load(), 0);
    EXPECT_EQ(recorder.Replies().size(), 1u);
}

TEST_F(LinkTest, RegistrationStatusBypassesTheHandlerAndTheCountNeverGoesNegative) {
    OpenPair();
    theLink.m_nRegStatus = -1;
    ASSERT_EQ(theLink.SendCommand("GQ\xC8"), 0);
    peer.Send(Frame("00gq!"));
    peer.Send(Frame("00gq"));       // no status byte: carries nothing
    peer.Send(Frame("01gq\""));     // another prefix goes to the handler
    // One broadcast, three answers: counted, the count stops at 0.
    peer.Send(Frame("01sn01.!B5") + Frame("02sn02.!B0") + Frame("03sn03.!A0"));
    const auto t0 = Clock::now();
    while (recorder.Replies().size() < 4 && MsSince(t0) < 2000) std::this_thread::yield();
    EXPECT_EQ(recorder.Replies(), (Replies{"gq\"\xC8", "sn01.!B5\xC8", "sn02.!B0\xC8", "sn03.!A0\xC8"}));
    EXPECT_EQ(theLink.m_nRegStatus.load(), 1);
    EXPECT_EQ(theLink.m_nPending.load(), 0);
}

TEST_F(LinkTest, LateReplyIsDroppedNotGluedNorCountedLater) {
    OpenPair();
    theLink.m_nNode = 1;
    // First: the reply comes after the wait gave up, before the next command.
    ASSERT_EQ(theLink.SendCommand("SJ\xC8"), 0);
    EXPECT_EQ(theLink.WaitReplies(1), 0);
    EXPECT_EQ(peer.ReadFrame(), "01SJ\xC8");
    peer.Send(Frame("01sj LATE-ONE"));
    ASSERT_EQ(theLink.SendCommand("GK\xC8"), 0);
    EXPECT_EQ(peer.ReadFrame(), "01GK\xC8");
    peer.Send(Frame("01gk fresh"));
    ASSERT_EQ(theLink.WaitReplies(2), 1);
    EXPECT_EQ(recorder.Replies(), Replies{"gk fresh\xC8"});

    // Second: the late reply arrives after the same command was sent again;
    // it must not count for the new one.
    recorder.replies.clear();
    ASSERT_EQ(theLink.SendCommand("SJ\xC8"), 0);
    EXPECT_EQ(theLink.WaitReplies(1), 0);
    ASSERT_EQ(theLink.SendCommand("SJ\xC8"), 0);
    peer.Send(Frame("01sj old"));
    peer.Send(Frame("01sj new"));
    ASSERT_EQ(theLink.WaitReplies(2), 1);
    EXPECT_EQ(recorder.Replies(), Replies{"sj new\xC8"});
    EXPECT_EQ(theLink.m_nPending.load(), 0);
}

TEST_F(LinkTest, OverlongRepliesAreDroppedAndTheNextOneIsIntact) {
    const std::string cases[] = {
        // far too long, its tail arriving later with the terminator
        "00gk" + std::string(300, 'x') + Frame("tail-of-the-long-one"),
        // exactly filling the buffer, terminator included
        "00gk" + std::string(LINK_RX_BUFFER_SIZE - 5, 'y') + "\xC8",
    };
    for (const std::string& overlong : cases) {
        OpenPair();
        ASSERT_EQ(theLink.SendCommand("GK\xC8"), 0);
        peer.Send(overlong);
        peer.Send(Frame("00gk good"));
        ASSERT_EQ(theLink.WaitReplies(2), 1);
        EXPECT_EQ(recorder.Replies(), Replies{"gk good\xC8"});
        theLink.Close();
        recorder.replies.clear();
    }
}

TEST_F(LinkTest, OpenDrainsWhatTheDeviceSentBefore) {
    PeerSocket sv[2];
    ASSERT_TRUE(MakeStreamPair(&sv[0], &sv[1]));
    peer.Reset(sv[1]);
    peer.Send("garbage\xC8half-a-rep");
    ASSERT_EQ(theLink.OpenTransport(MakeFdTransport(sv[0], true)), 0);
    ASSERT_EQ(theLink.SendCommand("MD\xC8"), 0);
    peer.Send(Frame("00md !#"));
    ASSERT_EQ(theLink.WaitReplies(2), 1);
    EXPECT_EQ(recorder.Replies(), Replies{"md !#\xC8"});
}

TEST_F(LinkTest, OpenEndsEvenWhenTheDeviceNeverFallsSilent) {
    PeerSocket sv[2];
    ASSERT_TRUE(MakeStreamPair(&sv[0], &sv[1]));
    peer.Reset(sv[1]);
    std::atomic<bool> stop{false};
    std::thread chatter([&] {
        while (!stop) {
            if (!PeerSendNoWait(sv[1], "zz", 2)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto t0 = Clock::now();
    const int r = theLink.OpenTransport(MakeFdTransport(sv[0], true));
    const auto elapsed = MsSince(t0);
    stop = true;
    chatter.join();
    EXPECT_EQ(r, 0);
    EXPECT_LT(elapsed, LINK_DRAIN_LIMIT_MS + 500);
}

TEST_F(LinkTest, PeerCloseIsDisconnectedAndEndsAWaitAtOnce) {
    OpenPair();
    ASSERT_EQ(theLink.SendCommand("SJ\xC8"), 0);
    peer.CloseFd();
    const auto t0 = Clock::now();
    EXPECT_EQ(theLink.WaitReplies(5), 0);
    EXPECT_LT(MsSince(t0), 1000);
    // An orderly close, or a reset because our frame was never read.
    EXPECT_TRUE(IsLinkLostError(theLink.m_nError.load())) << theLink.m_nError.load();
    EXPECT_EQ(theLink.m_nState.load(), LINK_OPEN);  // until Close
    theLink.Close();
    EXPECT_EQ(theLink.m_nState.load(), LINK_CLOSED);
}

TEST_F(LinkTest, ClosedMissingAndDoubleOpenedLinks) {
    theLink.m_nMode = LINK_SERIAL;
    theLink.m_strComPort = kMissingSerialPort;
    EXPECT_EQ(theLink.Open(), -1);
    EXPECT_EQ(theLink.m_nError.load(), kMissingSerialPortError);  // the platform's own error number
    EXPECT_EQ(theLink.m_nState.load(), LINK_CLOSED);
    EXPECT_EQ(theLink.SendCommand("MD\xC8"), -1);
    EXPECT_EQ(theLink.m_nError.load(), LINK_E_NOT_OPEN);
    EXPECT_EQ(theLink.m_nPending.load(), 0);  // what was never sent is not awaited
    theLink.Close();  // closing a closed link does nothing
    EXPECT_EQ(theLink.m_nState.load(), LINK_CLOSED);

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

TEST_F(LinkTest, ConcurrentClosesCloseOnceAndWakeTheWaiter) {
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

TEST_F(LinkTest, TcpLoopbackExchangeAndRefusal) {
    int portNumber = 0;
    const PeerSocket listener = ListenLoopback(&portNumber);
    ASSERT_NE(listener, kNoPeer);
    const std::string port = std::to_string(portNumber);

    theLink.m_nMode = LINK_TCP;
    theLink.m_strHost = "127.0.0.1";
    theLink.m_strPort = port;
    ASSERT_EQ(theLink.Open(), 0);
    peer.Reset(AcceptPeer(listener, 2000));
    theLink.m_nNode = 3;
    ASSERT_EQ(theLink.SendCommand("MD\xC8"), 0);
    EXPECT_EQ(peer.ReadFrame(), "03MD\xC8");
    peer.Send(Frame("03md !/"));
    EXPECT_EQ(theLink.WaitReplies(2), 1);
    theLink.Close();
    PeerClose(listener);

    // Nobody listens there any more: refused, reported as "cannot connect".
    const auto t0 = Clock::now();
    EXPECT_EQ(theLink.Open(), -1);
    EXPECT_EQ(theLink.m_nError.load(), LINK_E_TIMEOUT);
    EXPECT_LT(MsSince(t0), LINK_CONNECT_TIMEOUT_MS);
    EXPECT_EQ(theLink.m_nState.load(), LINK_CLOSED);

    theLink.m_strHost = "no-such-host.invalid";
    EXPECT_EQ(theLink.Open(), -1);
    const int err = theLink.m_nError.load();
    EXPECT_NE(err, 0);
    EXPECT_NE(err, LINK_E_TIMEOUT);  // the resolver's own code
    theLink.m_nMode = LINK_SERIAL;
}

#ifndef _WIN32
// Needs a pseudo-terminal: Linux only.
TEST_F(LinkTest, SerialPortIsRawAndExclusive) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string path = ptsname(master);
    peer.Reset(master);

    theLink.m_nMode = LINK_SERIAL;
    theLink.m_strComPort = path;
    ASSERT_EQ(theLink.Open(), 0) << theLink.m_nError.load();
    // A second opener is refused while the link holds the port.
    int secondErr = 0;
    auto second = OpenSerialTransport(path, &secondErr);
    EXPECT_EQ(second, nullptr);

    ASSERT_EQ(theLink.SendCommand("GI\x7F\x80\r\n\xC8"), 0);
    EXPECT_EQ(peer.ReadFrame(), "00GI\x7F\x80\r\n\xC8");  // nothing translated
    peer.Send(Frame("00md\r\n\x03\x11"));
    ASSERT_EQ(theLink.WaitReplies(2), 1);
    EXPECT_EQ(recorder.Replies(), Replies{"md\r\n\x03\x11\xC8"});
    EXPECT_TRUE(peer.Quiet(50));  // no echo of what the device sent

    // The device end goes away (cable pulled): reads fail with a lost link.
    ASSERT_EQ(theLink.SendCommand("SJ\xC8"), 0);
    peer.ReadFrame();
    peer.CloseFd();
    EXPECT_EQ(theLink.WaitReplies(5), 0);
    EXPECT_TRUE(IsLinkLostError(theLink.m_nError.load())) << theLink.m_nError.load();
    theLink.Close();
    EXPECT_EQ(theLink.m_nState.load(), LINK_CLOSED);
}

TEST(LinkLost, Predicate) {
    for (int e : {ECONNRESET, EPIPE, EIO, ENXIO, ENODEV, LINK_E_DISCONNECTED}) EXPECT_TRUE(IsLinkLostError(e)) << e;
    for (int e : {0, LINK_E_TIMEOUT, LINK_E_NOT_OPEN, LINK_E_REPLY_TOO_LONG, EAGAIN, ENOENT})
        EXPECT_FALSE(IsLinkLostError(e)) << e;
}
#else
TEST(LinkLost, Predicate) {
    // 10054: the connection was reset; 22: the USB serial adapter was pulled.
    for (int e : {10054, 10053, 22, 1167, LINK_E_DISCONNECTED}) EXPECT_TRUE(IsLinkLostError(e)) << e;
    for (int e : {0, LINK_E_TIMEOUT, LINK_E_NOT_OPEN, LINK_E_REPLY_TOO_LONG, 10035, 2}) EXPECT_FALSE(IsLinkLostError(e)) << e;
}
#endif

}  // namespace
