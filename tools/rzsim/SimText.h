// Small text helpers of the simulator: fixed-width hex fields, the
// space-offset character, and the escaped form of raw bytes.
#pragma once

#include <cstdint>
#include <string>

namespace rzsim {

// value as width upper-case hex digits, zero-padded; a wider value keeps
// its last width digits.
inline std::string Hex(std::uint32_t value, int width)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i) {
        s[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
        value >>= 4;
    }
    return s;
}

// The character whose code is n + 0x20.
inline std::string SpaceOffset(int n) { return std::string(1, static_cast<char>((n + 0x20) & 0xFF)); }

inline int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

inline bool IsHex(const std::string& s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (HexDigit(c) < 0) return false;
    return true;
}

// Every character a hex digit, at most 8 of them.
inline bool ParseHex(const std::string& s, std::uint32_t* out)
{
    if (!IsHex(s) || s.size() > 8) return false;
    std::uint32_t v = 0;
    for (char c : s) v = (v << 4) | static_cast<std::uint32_t>(HexDigit(c));
    *out = v;
    return true;
}

// Like EscapeBytes, but also escapes '"' and '\' so that the result can be
// quoted in scenario text.
std::string QuoteBytes(const std::string& bytes);
// Reverses \xHH escapes; false on a malformed escape.
bool UnescapeBytes(const std::string& text, std::string* out);

struct Scenario;
// The scenario as text that ParseScenario reads back.
std::string ScenarioText(const Scenario& scenario);

}  // namespace rzsim
