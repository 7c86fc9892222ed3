// The texts of rzset's command line: the usage shown with a usage error and
// the help of --help (also the source of the manual page).
#pragma once

namespace rzset {

inline constexpr const char* kUsage =
    "Usage: rzset [--trace FILE] [QT-OPTION]...\n"
    "  or:  rzset --help | --version\n";

inline constexpr const char* kHelp =
    "Configuration tool of the RZ wireless I/O network: sets up a wireless gateway\n"
    "attached by USB serial or reached over the LAN, and the wireless nodes behind\n"
    "it (I/O units, serial converters), and enrols devices in a wireless group.\n"
    "\n"
    "Options:\n"
    "  --trace FILE   write every frame sent to and received from the device to\n"
    "                 FILE (created or emptied), with a time stamp, its direction\n"
    "                 and node\n"
    "  --help         print this help and exit\n"
    "  --version      print the program's version and exit\n"
    "\n"
    "Qt's standard options (-platform NAME, -style NAME, -display DISPLAY, -reverse\n"
    "and the like) are handed to the toolkit.\n"
    "\n"
    "Serial ports: the user must be a member of the group that owns them\n"
    "(dialout). RZSET_EXTRA_PORTS=/path/a:/path/b adds device paths at the top of\n"
    "both port lists.\n"
    "\n"
    "Exit status:\n"
    "  0              the main window was closed, or --help or --version\n"
    "  2              a usage error, or a trace file that cannot be written\n";

}  // namespace rzset
