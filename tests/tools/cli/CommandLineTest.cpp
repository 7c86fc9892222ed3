// rzset, rzctl and rzsim follow one convention: --help on standard output
// and status 0, --version "NAME VERSION" and status 0, a usage error as one
// line and the usage on standard error and status 2. Run as the processes a
// user starts (rzset before any window system: no display needed).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome RunProgram(const std::string& program, const std::string& args) {
    char errPath[] = "/tmp/rz-cli-test-XXXXXX";
    const int fd = mkstemp(errPath);
    Outcome r;
    if (fd < 0) return r;
    close(fd);
    // No display: rzset must answer these without one.
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY " + program + " " + args + " 2>" + errPath + " </dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (p) {
        std::array<char, 512> buf{};
        while (fgets(buf.data(), buf.size(), p)) r.out += buf.data();
        const int st = pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    std::ifstream in(errPath);
    std::stringstream err;
    err << in.rdbuf();
    r.err = err.str();
    unlink(errPath);
    return r;
}

std::string Line(const std::string& text, int index) {
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i <= index; ++i)
        if (!std::getline(in, line)) return "<none>";
    return line;
}

struct Program {
    std::string name, path;
    std::vector<std::pair<std::string, std::string>> usageErrors;  // arguments, the one line
};

std::vector<Program> Programs() {
    std::vector<Program> programs = {
        {"rzctl", RZCTL_PATH,
         {{"", "rzctl: no command"},
          {"--bogus identify", "rzctl: unknown option --bogus"},
          {"--tcp", "rzctl: --tcp needs a value"},
          {"--serial /dev/null --node", "rzctl: --node needs a value"},
          {"--tcp 127.0.0.1 teleport", "rzctl: unknown command or arguments: teleport"},
          {"group-file show", "rzctl: group-file takes: show FILE"}}},
        {"rzsim", RZSIM_PATH,
         {{"--bogus", "rzsim: unknown option --bogus"},
          {"--scenario", "rzsim: --scenario needs a value"},
          {"demo.sim", "rzsim: unexpected argument demo.sim"}}},
    };
#ifdef RZSET_PATH
    programs.push_back({"rzset", RZSET_PATH,
                        {{"--bogus", "rzset: unknown option --bogus"},
                         {"--trace", "rzset: --trace needs a file"},
                         {"-platform offscreen file.krz", "rzset: unexpected argument file.krz"}}});
#endif
    return programs;
}

TEST(CommandLine, HelpVersionAndUsageErrors) {
    for (const Program& p : Programs()) {
        const Outcome help = RunProgram(p.path, "--help");
        EXPECT_EQ(help.status, 0) << p.name;
        EXPECT_EQ(Line(help.out, 0).rfind("Usage: " + p.name + " ", 0), 0u) << p.name << ": " << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos) << p.name;
        EXPECT_EQ(help.err, "") << p.name;

        const Outcome version = RunProgram(p.path, "--version");
        EXPECT_EQ(version.status, 0) << p.name;
        EXPECT_EQ(version.out, p.name + " " + RZ_PROJECT_VERSION + "\n");
        EXPECT_EQ(version.err, "") << p.name;

        for (const auto& [args, line] : p.usageErrors) {
            const Outcome bad = RunProgram(p.path, args);
            EXPECT_EQ(bad.status, 2) << p.name << " " << args;
            EXPECT_EQ(bad.out, "") << p.name << " " << args;
            EXPECT_EQ(Line(bad.err, 0), line) << p.name << " " << args;
            // The usage follows, as --help begins.
            EXPECT_EQ(Line(bad.err, 1), Line(help.out, 0)) << p.name << " " << args;
        }
    }
}

#ifdef RZSET_PATH
// A trace that cannot be written ends the start with one line, before any
// window; Qt's own options pass untouched.
TEST(CommandLine, RzsetTraceFileThatCannotBeWritten) {
    const Outcome r = RunProgram(RZSET_PATH, "-platform offscreen --trace /nonexistent-rz-dir/t.log");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "rzset: cannot write the trace to /nonexistent-rz-dir/t.log: No such file or directory\n");
    EXPECT_EQ(RunProgram(RZSET_PATH, "-style fusion --version").out, std::string("rzset ") + RZ_PROJECT_VERSION + "\n");
}
#endif

}  // namespace
