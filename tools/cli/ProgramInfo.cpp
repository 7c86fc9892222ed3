#include "tools/cli/ProgramInfo.h"

#include <ostream>

#ifndef RZ_VERSION_TEXT
#error "RZ_VERSION_TEXT comes from the project's version (tools/cli/CMakeLists.txt)"
#endif

std::string VersionText(const char* program) { return std::string(program) + " " + RZ_VERSION_TEXT + "\n"; }

int ReportUsageError(std::ostream& err, const char* program, const std::string& why, const char* usage) {
    if (!why.empty()) err << program << ": " << why << "\n";
    err << usage << std::flush;
    return EXIT_USAGE_ERROR;
}
