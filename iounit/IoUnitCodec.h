// Wire pieces shared by the I/O unit pages: space-offset characters, hex
// pairs, the memory read and write commands ("MR"/"MW") and their answers.
// Toolkit-free.
#pragma once

#include <cstdint>
#include <string>

#include "link/DeviceLink.h"
#include "settings/SettingsCore.h"

// A small number as one character of code base + value. A value whose
// character would be a NUL or the terminator (only possible for values far
// outside every list) goes out as base itself (value 0), so a command can
// never be cut short or end early.
char OffsetCharFrom(int base, int value);
// The space-offset character (base 0x20).
inline char SpaceChar(int value) { return OffsetCharFrom(0x20, value); }

// Two upper-case hex digits, zero-padded; a wider value keeps its last two.
std::string HexPair(long long value);
// Four upper-case hex digits, zero-padded; a negative value gives its 16-bit
// two's complement.
std::string HexQuad(long long value);

// "MR" + the four address and count characters (e.g. "0C91") + terminator.
std::string BuildMemoryRead(const char* addressAndCount);
// "MW" + the four characters + the data bytes as hex pairs + terminator.
std::string BuildMemoryWrite(const char* addressAndCount, const std::string& hexData);

// Length of an "mr" answer carrying n data bytes: "mr", four echo characters,
// two hex digits per byte, terminator.
constexpr int MemoryAnswerSize(int bytes) { return 2 + 4 + 2 * bytes + 1; }

// Parses an "mr" answer to the read of addressAndCount: true, with bytes
// filled, only when len is exactly the size for that count and the echoed
// four characters are those asked for (hex digits in either case).
bool ParseMemoryAnswer(const unsigned char* reply, int len, const char* addressAndCount, unsigned char* bytes);

// A list index range-checked for showing: value when it is 0..count-1, else
// NO_CHOICE (the control shows no selection).
int ListChoice(int value, int count);
// The selected index, or deviceValue when nothing is selected (or the
// choice lies outside a list of count items): a control that shows no
// selection writes back what the device reported.
int ChoiceOrDevice(int choice, int count, int deviceValue);
