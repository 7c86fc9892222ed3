#include "tools/rzsim/Simulator.h"

namespace rzsim {

struct Simulator::Impl {
    Scenario scenario;
};

Simulator::Simulator(Scenario scenario) : m_impl(std::make_unique<Impl>()) { m_impl->scenario = std::move(scenario); }
Simulator::~Simulator() { Stop(); }
int Simulator::StartTcp(const std::string&, int) { return -1; }
std::string Simulator::StartPty(const std::string&) { return {}; }
void Simulator::Stop() {}
std::vector<std::string> Simulator::Frames() const { return {}; }
bool Simulator::WaitForFrames(std::size_t, std::chrono::milliseconds) const { return false; }
void Simulator::ClearFrames() {}
DeviceState Simulator::State(int) const { return {}; }
void Simulator::SetState(const DeviceState&) {}
void Simulator::SetScenario(const Scenario&) {}
std::string Simulator::DumpState() const { return {}; }

}  // namespace rzsim
