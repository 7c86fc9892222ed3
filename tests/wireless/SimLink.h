// Test helper: the simulator in-process on a real pseudo-terminal and
// theLink opened on it, with a reply handler that routes "gj"/"gi" to the
// wireless group handlers.
#pragma once

#include "link/DeviceLink.h"
#include "tools/rzsim/Simulator.h"
#include "wireless/WirelessGroup.h"

#include <memory>
#include <string>

class SimLink {
public:
    // Parses the scenario, starts the simulator's pty and opens theLink on it.
    // ok() tells whether all of that worked (error() says why not).
    explicit SimLink(const std::string& scenarioText, int timeoutSec = 1) {
        rzsim::Scenario scenario;
        if (!rzsim::ParseScenario(scenarioText, &scenario, &m_error)) return;
        m_sim = std::make_unique<rzsim::Simulator>(scenario);
        const std::string pty = m_sim->StartPty();
        if (pty.empty()) {
            m_error = "no pty";
            return;
        }
        theLink.m_nMode = LINK_SERIAL;
        theLink.m_strComPort = pty;
        theLink.m_nNode = 0;
        theLink.m_nTimeoutSec = timeoutSec;
        theLink.m_nGroupWriteError = 0;
        theLink.SetReplyHandler(this, &SimLink::Handler);
        if (theLink.Open() < 0) {
            m_error = "open failed: " + std::to_string(theLink.m_nError.load());
            return;
        }
        m_ok = true;
    }
    ~SimLink() {
        theLink.Close();
        theLink.SetReplyHandler(nullptr, nullptr);
        theLink.m_nTimeoutSec = LINK_DEFAULT_TIMEOUT_SEC;
        if (m_sim) m_sim->Stop();
    }
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    bool ok() const { return m_ok; }
    const std::string& error() const { return m_error; }
    rzsim::Simulator& sim() { return *m_sim; }

    // Frames the device received whose mnemonic (after the prefix) starts
    // with mn.
    int CountFrames(const std::string& mn) const {
        int n = 0;
        for (const std::string& f : m_sim->Frames())
            if (f.compare(2, mn.size(), mn) == 0) ++n;
        return n;
    }

private:
    static int Handler(void*, const unsigned char* reply, int len) {
        if (len < 3) return 0;
        if (reply[0] == 'g' && reply[1] == 'j') return OnWirelessGroupReply(reply, len);
        if (reply[0] == 'g' && reply[1] == 'i') return OnWirelessGroupWriteReply(reply, len);
        return 0;
    }

    std::unique_ptr<rzsim::Simulator> m_sim;
    std::string m_error;
    bool m_ok = false;
};
