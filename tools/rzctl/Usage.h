// The texts of rzctl's command line: the usage shown with a usage error and
// the help of --help (also the source of the manual page).
#pragma once

namespace rzctl {

inline constexpr const char* kUsage =
    "Usage: rzctl (--tcp HOST[:PORT] | --serial PATH) [--node N] [--timeout S] COMMAND\n"
    "  or:  rzctl group-file show FILE\n"
    "  or:  rzctl --help | --version\n";

inline constexpr const char* kHelp =
    "Command-line client of the RZ wireless I/O network: identifies a wireless\n"
    "gateway attached by USB serial or reached over the LAN, searches the nodes\n"
    "behind it and exchanges single commands with either, for field diagnostics\n"
    "and scripts.\n"
    "\n"
    "Connection:\n"
    "  --tcp HOST[:PORT]     LAN gateway at HOST (port 10003 when not given)\n"
    "  --serial PATH         device or USB gateway on the serial port PATH\n"
    "                        (/dev/ttyUSB0; the user must be in the dialout group)\n"
    "  --node N              node the commands address, 0..255 (default 0: the\n"
    "                        device at the end of the connection)\n"
    "  --timeout S           reply time-out in seconds, 1..3600 (default 10)\n"
    "\n"
    "Commands:\n"
    "  identify              model, code, extension and unit identifier of the target\n"
    "  search [--seconds S]  one line per node that answers the search within S\n"
    "                        seconds (default: the reply time-out)\n"
    "  raw TEXT              sends TEXT (\\xHH escapes allowed) and prints each reply,\n"
    "                        the registration status answer included\n"
    "  group-file show FILE  contents of a wireless settings file (no passwords)\n"
    "\n"
    "Options:\n"
    "  --help                print this help and exit\n"
    "  --version             print the program's version and exit\n"
    "\n"
    "Exit status:\n"
    "  0                     success\n"
    "  1                     no answer in time, or a bad settings file\n"
    "  2                     a usage error, or a connection that failed or was lost\n"
    "                        at any moment (the message carries the error code)\n";

}  // namespace rzctl
