// The registration worker: after a device was written as a child it polls
// the attached device with "GQ" until the link reports the outcome in
// theLink.m_nRegStatus (0 registered, 1 failed, anything else: not yet).
//
// Wait state hand-over: the worker moves 0 to 3, 4 or 1 and the teardown
// moves 0 to 2, each by compare-and-exchange, so neither overwrites the
// other; the worker turns a 2 into 1 when it notices it. A stop request
// wakes the worker's sleep, so stopping costs at most one "GQ" send.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

constexpr int WAIT_RUNNING = 0;
constexpr int WAIT_ENDED = 1;
constexpr int WAIT_STOP_REQUESTED = 2;
constexpr int WAIT_SUCCEEDED = 3;
constexpr int WAIT_FAILED = 4;

constexpr int REGISTRATION_POLL_MS = 500;

class CRegistrationPoller {
public:
    // Called on the worker thread once it has set WAIT_SUCCEEDED, WAIT_FAILED
    // or (after a failed send) WAIT_ENDED; never after a stop request won.
    using OutcomeFn = std::function<void(int state)>;

    // Called on the worker thread as its very last step, however it ended.
    using EndedFn = std::function<void()>;

    explicit CRegistrationPoller(int intervalMs = REGISTRATION_POLL_MS);
    ~CRegistrationPoller();  // stops and joins like Finish()
    CRegistrationPoller(const CRegistrationPoller&) = delete;
    CRegistrationPoller& operator=(const CRegistrationPoller&) = delete;

    // Resets theLink.m_nRegStatus to -1 so that no earlier answer counts,
    // sets the state to running and starts the worker.
    void Start(OutcomeFn onOutcome, EndedFn onEnded = {});

    // Asks a running worker to stop (0 -> 2) and wakes it. Returns the state
    // after the request: WAIT_SUCCEEDED only when the worker got there first.
    int RequestStop();

    // RequestStop, waits for the worker to end, then sets the link's awaited
    // count to 0: every "GQ" raised it and no answer lowered it.
    void Finish();

    int State() const { return m_nWaitState.load(); }
    // True once the worker has sent its last "GQ" (or was never started).
    bool Ended() const { return !m_bRunning.load(); }
    // Number of "GQ" sent so far.
    int Polls() const { return m_nPolls.load(); }

private:
    void Run();
    bool Settle(int to);

    const int m_nIntervalMs;
    std::atomic<int> m_nWaitState{WAIT_ENDED};
    std::atomic<int> m_nPolls{0};
    OutcomeFn m_onOutcome;
    EndedFn m_onEnded;
    std::atomic<bool> m_bRunning{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
};
