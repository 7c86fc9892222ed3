// rzset, rzctl and rzsim follow one convention: --help on standard output
// and status 0, --version "NAME VERSION" and status 0, a usage error as one
// line and the usage on standard error and status 2. Run as the processes a
// user starts (rzset before any window system: no display needed).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string TakeFile(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    std::remove(path.c_str());
    return text.str();
}

// No display: rzset must answer these without one.
Outcome RunProgram(const std::string& program, const std::string& args) {
    const std::string base = ::testing::TempDir() + "rz-cli-" + std::to_string(getpid());
    const int st = std::system(("env -u DISPLAY -u WAYLAND_DISPLAY " + program + " " + args + " >" + base + ".out 2>" +
                                base + ".err </dev/null").c_str());
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, TakeFile(base + ".out"), TakeFile(base + ".err")};
}

TEST(CommandLine, HelpVersionAndUsageErrors) {
    std::map<std::string, std::string> programs = {{"rzctl", RZCTL_PATH}, {"rzsim", RZSIM_PATH}};
#ifdef RZSET_PATH
    programs["rzset"] = RZSET_PATH;
#endif
    std::map<std::string, std::string> help;
    for (const auto& [name, path] : programs) {
        const Outcome r = RunProgram(path, "--help");
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.out.rfind("Usage: " + name + " ", 0), 0u) << name << ": " << r.out;
        EXPECT_NE(r.out.find("--version"), std::string::npos) << name;
        EXPECT_EQ(r.err, "") << name;
        help[name] = r.out;
    }
    const std::string version = std::string(" ") + RZ_PROJECT_VERSION + "\n";
    // out: all of standard output; err: standard error's one line, followed
    // by the usage when `usage` is set.
    struct Row { std::string program, args; int status; std::string out, err; bool usage = true; };
    std::vector<Row> rows = {
        {"rzctl", "--version", 0, "rzctl" + version, ""}, {"rzctl", "", 2, "", "rzctl: no command"},
        {"rzctl", "--bogus identify", 2, "", "rzctl: unknown option --bogus"},
        {"rzctl", "--tcp", 2, "", "rzctl: --tcp needs a value"},
        {"rzctl", "--serial /dev/null --node", 2, "", "rzctl: --node needs a value"},
        {"rzctl", "--tcp 127.0.0.1 teleport", 2, "", "rzctl: unknown command or arguments: teleport"},
        {"rzctl", "group-file show", 2, "", "rzctl: group-file takes: show FILE"},
        {"rzsim", "--version", 0, "rzsim" + version, ""}, {"rzsim", "--bogus", 2, "", "rzsim: unknown option --bogus"},
        {"rzsim", "--scenario", 2, "", "rzsim: --scenario needs a value"},
        {"rzsim", "demo.sim", 2, "", "rzsim: unexpected argument demo.sim"},
#ifdef RZSET_PATH
        {"rzset", "--version", 0, "rzset" + version, ""}, {"rzset", "--bogus", 2, "", "rzset: unknown option --bogus"},
        {"rzset", "-style fusion --version", 0, "rzset" + version, ""},  // Qt's own options pass untouched
        {"rzset", "--trace", 2, "", "rzset: --trace needs a file"},
        {"rzset", "-platform offscreen file.krz", 2, "", "rzset: unexpected argument file.krz"},
        // A trace that cannot be written ends the start before any window.
        {"rzset", "-platform offscreen --trace /nonexistent-rz-dir/t.log", 2, "",
         "rzset: cannot write the trace to /nonexistent-rz-dir/t.log: No such file or directory", false},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.program + " " + row.args);
        const Outcome r = RunProgram(programs[row.program], row.args);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.out, row.out);
        const std::string line = row.err.empty() ? "" : row.err + "\n";
        EXPECT_EQ(r.err.substr(0, line.size()), line);
        // Then the usage, as --help begins; nothing else.
        const std::string rest = r.err.substr(std::min(line.size(), r.err.size()));
        EXPECT_TRUE(row.status == 2 && row.usage ? !rest.empty() && help[row.program].rfind(rest, 0) == 0 : rest.empty())
            << rest;
    }
}

}  // namespace
