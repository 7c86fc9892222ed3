#include "tests/wireless/SimLink.h"
#include "wireless/RegistrationPoller.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

TEST(RegistrationPoller, FailedSendEndsThePolling) {
    theLink.Close();  // not open: every send fails
    std::promise<int> outcome;
    std::future<int> reported = outcome.get_future();
    CRegistrationPoller poller(10);
    poller.Start([&](int s) { outcome.set_value(s); });
    ASSERT_EQ(reported.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(reported.get(), WAIT_ENDED);
    poller.Finish();
    EXPECT_EQ(poller.Polls(), 1);
    EXPECT_EQ(theLink.m_nPending.load(), 0);
}

TEST(RegistrationPoller, StopRacingTheOutcomeNeverLosesEither) {
    // Many short runs with the stop request at varying moments: the state is
    // always a final one, and success is reported exactly when it is kept.
    SimLink link("device 0 model 13\ngq 0\n");
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

}  // namespace
