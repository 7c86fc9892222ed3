#include "tools/rzsim/Simulator.h"

namespace rzsim {

std::vector<std::string> AnswerCommand(DeviceState&, const std::string&, Scenario&) { return {}; }

}  // namespace rzsim
