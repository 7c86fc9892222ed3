// rzctl "group-file show PATH": prints the contents of a wireless settings
// file (never its passwords).
#pragma once

#include <ostream>
#include <string>

// Prints "group: XXXXXXXX", "channel: n", "mode: 高速|中距離|長距離",
// "node: n", "encryption: on|off" to out and returns 0; on a file that does
// not load prints the program's own message (e.g. "ファイル読込エラー:D-3")
// to err and returns 1.
int RunGroupFileShow(const std::string& path, std::ostream& out, std::ostream& err);
