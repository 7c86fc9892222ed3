#include "tests/wireless/SimLink.h"
#include "wireless/GroupPanelLogic.h"
#include "wireless/RegistrationPoller.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <chrono>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

const char* kDevice = "device 0 model 13 uid 00A10001\nset 0 group \"# FFFFFFFF01 \"\n";

// Polls cond until it holds or the deadline passes.
template <class Cond>
bool WaitFor(Cond cond, std::chrono::milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    while (!cond()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool Settled(const CRegistrationPoller& p) {
    const int s = p.State();
    return s == WAIT_SUCCEEDED || s == WAIT_FAILED || s == WAIT_ENDED;
}

TEST(RegistrationPoller, FailedSendEndsThePolling) {
    theLink.Close();  // not open: every send fails
    std::atomic<int> reported{-1};
    CRegistrationPoller poller(10);
    poller.Start([&](int s) { reported = s; });
    ASSERT_TRUE(WaitFor([&] { return Settled(poller); }, std::chrono::seconds(2)));
    EXPECT_EQ(poller.State(), WAIT_ENDED);
    EXPECT_EQ(reported.load(), WAIT_ENDED);
    EXPECT_EQ(poller.Polls(), 1);
    poller.Finish();
    EXPECT_EQ(theLink.m_nPending.load(), 0);
    EXPECT_EQ(ReadWirelessGroup(), -1);
    EXPECT_EQ(SendWirelessGroupWrite(), GW_SEND_FAILED);
    EXPECT_EQ(theLink.m_nError.load(), LINK_E_NOT_OPEN);
    theLink.SetPending(0);
}

TEST(RegistrationPoller, StopRacingTheOutcomeNeverLosesEither) {
    // Many short runs with the stop request at varying moments: the state is
    // always a final one, and success is reported exactly when it is kept.
    SimLink link(std::string(kDevice) + "gq 0\n");
    ASSERT_TRUE(link.ok()) << link.error();
    for (int i = 0; i < 20; ++i) {
        std::atomic<int> reported{-1};
        CRegistrationPoller poller(1);
        poller.Start([&](int s) { reported = s; });
        for (int spin = 0; spin < i * 50; ++spin) std::this_thread::yield();
        poller.RequestStop();
        poller.Finish();
        const int s = poller.State();
        ASSERT_TRUE(s == WAIT_SUCCEEDED || s == WAIT_ENDED) << s;
        EXPECT_EQ(reported.load() == WAIT_SUCCEEDED, s == WAIT_SUCCEEDED);
    }
}

TEST(WirelessGroupExchange, ReadThenWriteAsChildAndParent) {
    SimLink link(std::string(kDevice) + "gq 0\n");
    ASSERT_TRUE(link.ok()) << link.error();
    theWirelessGroup = WirelessGroupRecord{};
    ASSERT_EQ(ReadWirelessGroup(), 0);
    EXPECT_EQ(theWirelessGroup.channel, 3);
    EXPECT_EQ(theWirelessGroup.groupNumber, GROUP_NONE);
    EXPECT_EQ(theWirelessGroup.nodeNumber, 1);

    // Parent: the device creates the group and answers its number.
    GroupPanelFields f;
    f.role = WG_ROLE_PARENT;
    f.groupPassword = "pw";
    f.channel = "4";
    f.node = "9";
    ASSERT_EQ(ValidateGroupFields(f, &theWirelessGroup).result, 1);
    ASSERT_EQ(SendWirelessGroupWrite(), GW_OK);
    EXPECT_NE(theWirelessGroup.groupNumber, GROUP_NONE);
    const std::string written = link.sim().State(0).lastGroupWrite;
    ASSERT_EQ(written.size(), 85u);
    EXPECT_EQ(written.substr(2, 10), "FFFFFFFF01");
    EXPECT_EQ(written.substr(12, 8), "pw      ");

    // Child manual into group 0012ABCD as node 7.
    f.role = WG_ROLE_CHILD_MANUAL;
    f.groupNumber = "12abcd";
    f.node = "7";
    ASSERT_EQ(ValidateGroupFields(f, &theWirelessGroup).result, 1);
    ASSERT_EQ(SendWirelessGroupWrite(), GW_OK);
    EXPECT_EQ(theWirelessGroup.groupNumber, 0x0012ABCDu);
    EXPECT_EQ(link.sim().State(0).lastGroupWrite.substr(2, 10), "0012ABCD07");
}

}  // namespace
