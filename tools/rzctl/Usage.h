// The texts of rzctl's command line: the usage shown with a usage error and
// the help of --help (also the source of the manual page).
#pragma once

namespace rzctl {

inline constexpr const char* kUsage =
    "Usage: rzctl (--tcp HOST[:PORT] | --serial PATH) [--node N] [--timeout S] [--trace] COMMAND\n"
    "  or:  rzctl group-file show FILE\n"
    "  or:  rzctl --help | --version\n";

inline constexpr const char* kHelp =
    "Command-line client of the RZ wireless I/O network: identifies a wireless\n"
    "gateway attached by USB serial or reached over the LAN, searches the nodes\n"
    "behind it, reads, compares and writes a device's whole settings as a profile\n"
    "and exchanges single commands, for field diagnostics and scripts.\n"
    "\n"
    "Connection:\n"
    "  --tcp HOST[:PORT]     LAN gateway at HOST (port 10003 when not given)\n"
    "  --serial PATH         device or USB gateway on the serial port PATH\n"
    "                        (/dev/ttyUSB0; the user must be in the dialout group)\n"
    "  --node N              node the commands address, 0..255 (default 0: the\n"
    "                        device at the end of the connection)\n"
    "  --timeout S           reply time-out in seconds, 1..3600 (default 10)\n"
    "  --trace               print every frame sent (>) and received (<) on standard\n"
    "                        error, with the seconds since the start and the node\n"
    "\n"
    "Commands:\n"
    "  identify              model, code, extension and unit identifier of the target\n"
    "  search [--seconds S] [--format text|csv|json]\n"
    "                        the nodes that answer the search within S seconds\n"
    "                        (default: the reply time-out); CSV with a header line\n"
    "  raw TEXT              sends TEXT (\\xHH escapes allowed) and prints each reply,\n"
    "                        the registration status answer included\n"
    "  read [--output FILE]  the target's whole settings as a profile (JSON), on\n"
    "                        standard output without --output\n"
    "  diff FILE             each field where the target differs from the profile\n"
    "  write FILE [--verify]\n"
    "                        writes the profile as the settings window does;\n"
    "                        --verify reads everything back and prints each field\n"
    "                        that differs\n"
    "  group-file show FILE  contents of a wireless settings file (no passwords)\n"
    "\n"
    "Options:\n"
    "  --help                print this help and exit\n"
    "  --version             print the program's version and exit\n"
    "\n"
    "Exit status:\n"
    "  0                     done (for diff and write --verify: no field differs)\n"
    "  1                     no answer in time, the device refused a write with its\n"
    "                        error answer, or a bad settings file (group-file)\n"
    "  2                     a usage error, a connection that failed or was lost at\n"
    "                        any moment (the message carries the error code), or a\n"
    "                        model without settings\n"
    "  3                     a field differs (diff, write --verify)\n"
    "  4                     the profile was refused; no write command was sent\n";

}  // namespace rzctl
