// Test helper: the simulator in-process on a real pseudo-terminal and
// theLink opened on it.
#pragma once

#include "link/DeviceLink.h"
#include "tools/rzsim/Simulator.h"

#include <memory>
#include <string>

class SimLink {
public:
    // ok() tells whether parsing, the pty and opening all worked (error() says why not).
    explicit SimLink(const std::string& scenarioText) {
        rzsim::Scenario scenario;
        if (!rzsim::ParseScenario(scenarioText, &scenario, &m_error)) return;
        m_sim = std::make_unique<rzsim::Simulator>(scenario);
        theLink.m_strComPort = m_sim->StartPty();
        theLink.m_nTimeoutSec = 1;
        if (theLink.m_strComPort.empty()) m_error = "no pty";
        else if (theLink.Open() < 0) m_error = "open failed: " + std::to_string(theLink.m_nError.load());
    }
    ~SimLink() {
        theLink.Close();
        theLink.m_nTimeoutSec = LINK_DEFAULT_TIMEOUT_SEC;
        if (m_sim) m_sim->Stop();
    }

    bool ok() const { return m_sim && m_error.empty(); }
    const std::string& error() const { return m_error; }

private:
    std::unique_ptr<rzsim::Simulator> m_sim;
    std::string m_error;
};
