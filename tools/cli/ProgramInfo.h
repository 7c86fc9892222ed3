// Command-line conventions shared by rzset, rzctl and rzsim:
//   --help     the program's help on standard output, exit 0;
//   --version  "NAME VERSION" on standard output, exit 0;
//   a usage error: "NAME: WHY" and the usage on standard error, exit 2.
// Each program keeps its own texts in one header beside its main (Usage.h).
#pragma once

#include <iosfwd>
#include <string>

constexpr int EXIT_USAGE_ERROR = 2;

// What --version prints: "rzctl 1.0.3.0" (the version of the programs and
// of the package) and a line end.
std::string VersionText(const char* program);

// Prints "program: why" (when why is not empty) and the usage to err and
// returns EXIT_USAGE_ERROR.
int ReportUsageError(std::ostream& err, const char* program, const std::string& why, const char* usage);
