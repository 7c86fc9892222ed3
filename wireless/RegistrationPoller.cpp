#include "wireless/RegistrationPoller.h"

#include "link/DeviceLink.h"

#include <chrono>

CRegistrationPoller::CRegistrationPoller(int intervalMs) : m_nIntervalMs(intervalMs) {}

CRegistrationPoller::~CRegistrationPoller() {
    if (m_thread.joinable()) Finish();
}

void CRegistrationPoller::Start(OutcomeFn onOutcome, EndedFn onEnded) {
    if (m_thread.joinable()) Finish();
    m_onOutcome = std::move(onOutcome);
    m_onEnded = std::move(onEnded);
    theLink.m_nRegStatus.store(-1);
    m_nPolls.store(0);
    m_nWaitState.store(WAIT_RUNNING);
    m_bRunning.store(true);
    m_thread = std::thread([this] {
        Run();
        m_bRunning.store(false);
        if (m_onEnded) m_onEnded();
    });
}

int CRegistrationPoller::RequestStop() {
    int expected = WAIT_RUNNING;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nWaitState.compare_exchange_strong(expected, WAIT_STOP_REQUESTED);
    }
    m_wake.notify_all();
    return m_nWaitState.load();
}

void CRegistrationPoller::Finish() {
    RequestStop();
    if (m_thread.joinable()) m_thread.join();
    theLink.SetPending(0);
}

bool CRegistrationPoller::Settle(int to) {
    int expected = WAIT_RUNNING;
    if (!m_nWaitState.compare_exchange_strong(expected, to)) return false;
    if (m_onOutcome) m_onOutcome(to);
    return true;
}

void CRegistrationPoller::Run() {
    static const char kCommand[] = {'G', 'Q', static_cast<char>(REPLY_TERMINATOR), '\0'};
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(m_nIntervalMs),
                            [this] { return m_nWaitState.load() != WAIT_RUNNING; });
        }
        if (m_nWaitState.load() != WAIT_RUNNING) break;

        m_nPolls.fetch_add(1);
        if (theLink.SendCommand(kCommand) < 0) {
            Settle(WAIT_ENDED);
            return;
        }
        // The answer to this poll arrives later; the status read here is the
        // one of the previous answer, as the device reports it.
        const int status = theLink.m_nRegStatus.load();
        if (status == 0 && Settle(WAIT_SUCCEEDED)) return;
        if (status == 1 && Settle(WAIT_FAILED)) return;
    }
    int expected = WAIT_STOP_REQUESTED;
    m_nWaitState.compare_exchange_strong(expected, WAIT_ENDED);
}
