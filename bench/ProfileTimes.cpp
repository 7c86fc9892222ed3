// Time to read and to write one device's whole settings as a profile (the
// rzctl commands, in-process) against the simulator over loopback TCP, per
// device kind: the attached gateway, a serial converter and every I/O unit
// model behind it. Medians over the iterations; identification included.
//
// Usage: profile_bench [iterations]   (default 20)
#include "link/DeviceLink.h"
#include "tools/rzctl/ProfileCommand.h"
#include "tools/rzsim/Simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::max(3, std::atoi(argv[1])) : 20;
    rzsim::Simulator sim(rzsim::DefaultScenario());
    const int port = sim.StartTcp();
    theLink.m_nMode = LINK_TCP;
    theLink.m_strHost = "127.0.0.1";
    theLink.m_strPort = std::to_string(port);
    if (port <= 0 || theLink.Open() != 0) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }
    std::printf("iterations: %d (median ms, identification included)\n", iterations);
    const struct { int node; const char* kind; } targets[] = {
        {0, "gateway TQ-RZ900E"}, {2, "serial converter VM-310-RZ"}, {4, "I/O unit TQ-110-RZ"},
        {5, "I/O unit TQ-120-RZ"}, {1, "I/O unit TQ-130-RZ"},       {6, "I/O unit TQ-140-RZ"},
        {8, "I/O unit TQ-150-RZ"}, {7, "I/O unit TQ-160-RZ"},
    };
    for (const auto& t : targets) {
        theLink.m_nNode = t.node;
        std::vector<double> reads, writes;
        std::ostringstream out, err;
        for (int i = 0; i < iterations; ++i) {
            out.str("");
            auto t0 = Clock::now();
            if (RunProfileRead("", out, err) != CTL_EXIT_OK) {
                std::fprintf(stderr, "read failed: %s\n", err.str().c_str());
                return 1;
            }
            reads.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            ProfileJson doc = ProfileJson::parse(out.str());
            ProfileModel model{doc["model"]["code"].get<int>(), doc["model"]["ext"].get<int>()};
            t0 = Clock::now();
            if (RunProfileWrite(doc, model, false, out, err) != CTL_EXIT_OK) {
                std::fprintf(stderr, "write failed: %s\n", err.str().c_str());
                return 1;
            }
            writes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        std::printf("%-28s read %7.3f ms   write %7.3f ms\n", t.kind, Median(reads), Median(writes));
    }
    theLink.Close();
    return 0;
}
