#include "tools/rzsim/Simulator.h"

namespace rzsim {

bool ParseScenario(const std::string&, Scenario* out, std::string*)
{
    *out = Scenario{};
    return true;
}

Scenario DefaultScenario() { return Scenario{}; }

}  // namespace rzsim
