// The texts of rzsim's command line: the usage shown with a usage error and
// the help of --help (also the source of the manual page).
#pragma once

namespace rzsim {

inline constexpr const char* kUsage =
    "Usage: rzsim [--scenario FILE] [--tcp HOST:PORT] [--pty-link PATH] [--pty] [--log FILE] [--state FILE]\n"
    "  or:  rzsim --help | --version\n";

inline constexpr const char* kHelp =
    "Device simulator of the RZ wireless I/O network: plays a wireless gateway (or\n"
    "another device attached to the tool) and the wireless nodes behind it over a\n"
    "real pseudo-terminal and loopback TCP, until it is stopped (SIGINT, SIGTERM).\n"
    "\n"
    "Options:\n"
    "  --scenario FILE   devices, their settings and injected faults (default: the\n"
    "                    demonstration network of demo.sim: a LAN gateway and\n"
    "                    the nodes behind it)\n"
    "  --tcp HOST:PORT   serves the attached device as a LAN gateway at HOST:PORT\n"
    "                    (port 0: a free port)\n"
    "  --pty             serves the attached device on a new pseudo-terminal\n"
    "  --pty-link PATH   the same, with a symbolic link to the terminal at PATH\n"
    "  --log FILE        appends every frame received to FILE, one a line\n"
    "  --state FILE      keeps FILE up to date with the devices' state\n"
    "  --help            print this help and exit\n"
    "  --version         print the program's version and exit\n"
    "\n"
    "Without --tcp, --pty and --pty-link it serves both: TCP on 127.0.0.1 at a free\n"
    "port and a pseudo-terminal. It prints \"tcp PORT\" and \"pty PATH\" for what it\n"
    "serves, then \"ready\".\n"
    "\n"
    "Exit status:\n"
    "  0                 stopped by a signal\n"
    "  1                 the TCP port or the pseudo-terminal could not be opened\n"
    "  2                 a usage error, or a scenario or log file that cannot be\n"
    "                    read or opened\n";

}  // namespace rzsim
