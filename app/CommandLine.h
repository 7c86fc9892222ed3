// rzset's command line, read before the window system starts so that --help
// and --version answer without a display. Toolkit-free.
#pragma once

#include <string>
#include <vector>

struct RzsetCommandLine {
    enum Action { Run, Help, Version, UsageError };
    Action action = Run;
    std::string tracePath;  // --trace FILE; empty: no trace
    std::string error;      // the one line of a usage error
};

// args: the arguments after the program name. Qt's own standard options
// (with their values) are left to the toolkit; anything else is ours.
RzsetCommandLine ParseRzsetCommandLine(const std::vector<std::string>& args);
