// rzsim: runs the device simulator until it is killed. Its command line is
// described in Usage.h (rzsim --help).
//
// Prints "tcp PORT" and/or "pty PATH", then "ready". Without --tcp, --pty
// and --pty-link it serves both: TCP on 127.0.0.1 (a free port) and a pty.
#include "tools/cli/ProgramInfo.h"
#include "tools/rzsim/Simulator.h"
#include "tools/rzsim/Usage.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <sstream>

namespace {

int Usage(const std::string& why)
{
    return ReportUsageError(std::cerr, "rzsim", why, rzsim::kUsage);
}

// Writes the file whole: a reader never sees half of it.
void WriteFileAtomically(const std::string& path, const std::string& text)
{
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc | std::ios::binary);
        if (!out) return;
        out << text;
        if (!out.flush()) return;
    }
    std::rename(tmp.c_str(), path.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    std::string scenarioPath, tcp, ptyLink, logPath, statePath;
    bool pty = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        bool ok = true;
        if (arg == "--help") {
            std::cout << rzsim::kUsage << "\n" << rzsim::kHelp;
            return 0;
        }
        if (arg == "--version") {
            std::cout << VersionText("rzsim");
            return 0;
        }
        if (arg == "--scenario") ok = value(&scenarioPath);
        else if (arg == "--tcp") ok = value(&tcp);
        else if (arg == "--pty-link") ok = value(&ptyLink), pty = true;
        else if (arg == "--pty") pty = true;
        else if (arg == "--log") ok = value(&logPath);
        else if (arg == "--state") ok = value(&statePath);
        else return Usage((arg.rfind('-', 0) == 0 ? "unknown option " : "unexpected argument ") + arg);
        if (!ok) return Usage(arg + " needs a value");
    }
    if (tcp.empty() && !pty) {
        tcp = "127.0.0.1:0";
        pty = true;
    }

    rzsim::Scenario scenario = rzsim::DefaultScenario();
    if (!scenarioPath.empty()) {
        std::ifstream in(scenarioPath, std::ios::binary);
        if (!in) return Usage("cannot read " + scenarioPath);
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        if (!rzsim::ParseScenario(text.str(), &scenario, &error))
            return Usage(scenarioPath + ": " + error);
    }

    // Signals are taken by sigwait below; every thread started from here on
    // inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    rzsim::Simulator sim(scenario);
    if (!logPath.empty() && !sim.SetFrameLog(logPath)) return Usage("cannot open " + logPath);
    if (!statePath.empty()) {
        sim.SetStateChangedHandler([&sim, statePath] { WriteFileAtomically(statePath, sim.DumpState()); });
        WriteFileAtomically(statePath, sim.DumpState());
    }

    if (!tcp.empty()) {
        const std::size_t colon = tcp.rfind(':');
        if (colon == std::string::npos) return Usage("--tcp needs HOST:PORT");
        int port = -1;
        try {
            port = std::stoi(tcp.substr(colon + 1));
        } catch (...) {
            return Usage("--tcp needs a numeric port");
        }
        const int bound = sim.StartTcp(tcp.substr(0, colon), port);
        if (bound < 0) {
            std::fprintf(stderr, "rzsim: cannot listen on %s: %s\n", tcp.c_str(), std::strerror(errno));
            return 1;
        }
        std::printf("tcp %d\n", bound);
    }
    if (pty) {
        const std::string path = sim.StartPty(ptyLink);
        if (path.empty()) {
            std::fprintf(stderr, "rzsim: cannot create a pseudo-terminal%s%s: %s\n", ptyLink.empty() ? "" : " at ",
                         ptyLink.c_str(), std::strerror(errno));
            return 1;
        }
        std::printf("pty %s\n", path.c_str());
    }
    std::printf("ready\n");
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.Stop();
    if (!statePath.empty()) WriteFileAtomically(statePath, sim.DumpState());
    return 0;
}
