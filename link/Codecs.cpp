// Field codecs shared by every settings form and reply parser.
#include "link/DeviceLink.h"

#include <cctype>
#include <cmath>
#include <cstdio>

std::string Terminated(const std::string& text) {
    std::string command = text;
    command.push_back(static_cast<char>(REPLY_TERMINATOR));
    return command;
}

std::string FormatField(long long value, int width, bool hex, bool leadingZeros) {
    if (width < 1) width = 1;
    if (width > 15) width = 15;
    char buf[32];
    if (hex) {
        // Negative values show their two's-complement digits (FFFF for -1).
        std::snprintf(buf, sizeof buf, leadingZeros ? "%0*llX" : "%*llX", width,
                      static_cast<unsigned long long>(value));
    } else {
        std::snprintf(buf, sizeof buf, leadingZeros ? "%0*lld" : "%*lld", width, value);
    }
    std::string text(buf);
    if (static_cast<int>(text.size()) > width) text = text.substr(text.size() - width);
    return text;
}

static int HexDigitValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::uint32_t ParseHexField(const char* text, int n) {
    if (!text) return 0;
    if (n > 11) n = 11;
    std::uint64_t value = 0;
    for (int i = 0; i < n; ++i) {
        int d = HexDigitValue(static_cast<unsigned char>(text[i]));
        if (d < 0) break;  // also stops at a NUL
        value = (value << 4) | static_cast<unsigned>(d);
    }
    return static_cast<std::uint32_t>(value);
}

std::string TrimText(const std::string& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return text.substr(b, e - b);
}

std::uint32_t ReadNumericField(const std::string& text, int maxChars, bool hex) {
    std::string t = TrimText(text);
    if (maxChars >= 0 && static_cast<int>(t.size()) > maxChars) t.resize(maxChars);
    // The C library's unsigned conversion, with 32-bit results on every
    // platform: leading blanks, an optional sign, "0x" in base 16, digits up
    // to the first invalid one; out of range saturates.
    std::size_t i = 0;
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    const int base = hex ? 16 : 10;
    if (hex && i + 2 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X') &&
        HexDigitValue(static_cast<unsigned char>(t[i + 2])) >= 0) {
        i += 2;
    }
    std::uint64_t value = 0;
    bool any = false;
    bool overflow = false;
    for (; i < t.size(); ++i) {
        int d = HexDigitValue(static_cast<unsigned char>(t[i]));
        if (d < 0 || d >= base) break;
        any = true;
        value = value * base + static_cast<unsigned>(d);
        if (value > 0xFFFFFFFFull) overflow = true;
    }
    if (!any) return 0;
    if (overflow) return 0xFFFFFFFFu;
    std::uint32_t v = static_cast<std::uint32_t>(value);
    return negative ? static_cast<std::uint32_t>(0u - v) : v;
}

void HexEncode32(const unsigned char* in32, char* out64) {
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 32; ++i) {
        out64[2 * i] = digits[in32[i] >> 4];
        out64[2 * i + 1] = digits[in32[i] & 0x0F];
    }
}

int RawToPhysical(long raw, double fullScale, double* out) {
    if (raw & ~0xFFFFL) return -1;
    if ((raw & 0x8000L) == 0) {
        *out = static_cast<double>(raw) / 32767.0 * fullScale;
    } else {
        *out = -static_cast<double>(65536L - raw) * (1.0 / 32768.0) * fullScale;
    }
    return 0;
}

int PhysicalToRaw(double value, double fullScale, long* out) {
    // Typed text such as "nan" or "inf", or a scale that is not positive,
    // converts nothing: no code stands for them.
    if (!std::isfinite(value) || !std::isfinite(fullScale) || !(fullScale > 0)) return -1;
    int result = 0;
    double scaled;
    if (value >= 0) {
        if (value > fullScale) {
            value = fullScale;
            result = -1;
        }
        scaled = value * 32767.0 / fullScale;
    } else {
        if (value < -fullScale) {
            value = -fullScale;
            result = -1;
        }
        scaled = value * 32768.0 / fullScale;
    }
    long raw = static_cast<long>(std::trunc(scaled));
    *out = raw & 0xFFFFL;
    return result;
}
