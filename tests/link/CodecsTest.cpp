#include "link/DeviceLink.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>

namespace {

TEST(FormatField, WidthRadixPaddingAndCutting) {
    const struct { long long value; int width; bool hex, zeros; const char* expected; } cases[] = {
        {10, 4, true, true, "000A"},    {250, 2, false, false, "50"},  // longer than the width: its last digits
        {-1, 4, true, true, "FFFF"},    {0x1FF, 2, true, true, "FF"},     {5, 2, true, true, "05"},
        {1024, 5, false, false, " 1024"}, {0xC0A80001LL, 8, true, true, "C0A80001"}, {7, 3, false, true, "007"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatField(c.value, c.width, c.hex, c.zeros), c.expected) << c.value << " width " << c.width;
}

// Hex fields stop at the first non-hex character and after n characters.
TEST(FieldParsing, HexAndNumericFields) {
    const struct { const char* text; int n; std::uint32_t expected; } cases[] = {
        {"C0A80001FF", 8, 0xC0A80001u}, {"c0a8", 4, 0xC0A8u},  {"1G", 2, 1},
        {"G1", 2, 0},                   {"", 2, 0},            {"FFFFFFFF", 8, 0xFFFFFFFFu},
        {"0A\xC8", 3, 0x0A},            {"12345678", 4, 0x1234}, {" 5", 2, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseHexField(c.text, c.n), c.expected) << c.text;
    // A form field: trimmed, cut, then converted as the C library does.
    const struct { const char* text; int maxChars; bool hex; std::uint32_t expected; } fields[] = {
        {" 1024", 5, false, 1024},   {"  12  ", 3, false, 12}, {"1234", 3, false, 123},
        {"", 3, false, 0},           {"abc", 3, false, 0},     {"12x", 3, false, 12},
        {"-1", 3, false, 0xFFFFFFFFu}, {"+7", 2, false, 7},    {"0a", 2, true, 0x0A},
        {"F7", 2, true, 0xF7},       {"F8", 2, true, 0xF8},    {"g1", 2, true, 0},
        {"99999999999", 11, false, 0xFFFFFFFFu}, {"\t5\n", 3, false, 5},
    };
    for (const auto& c : fields)
        EXPECT_EQ(ReadNumericField(c.text, c.maxChars, c.hex), c.expected) << "'" << c.text << "'";
}

// 16-bit codes and values at full scale 10: `exact` rows convert both ways;
// the others come from a value only (clamped with -1, or truncated).
TEST(AnalogScaling, BothWaysClampedAndRefused) {
    const struct { long raw; double value; bool exact; int result; } rows[] = {
        {0x7FFF, 10.0, true, 0},   {0x8000, -10.0, true, 0},  {0, 0.0, true, 0},     {0xC000, -5.0, true, 0},
        {0xFFFF, -10.0 / 32768, true, 0}, {0x7FFF, 12.0, false, -1}, {0x8000, -11.0, false, -1}, {16383, 5.0, false, 0},
    };
    for (const auto& r : rows) {
        long raw = -1;
        EXPECT_EQ(PhysicalToRaw(r.value, 10.0, &raw), r.result) << r.value;
        EXPECT_EQ(raw, r.raw) << r.value;
        double value = 123;
        EXPECT_EQ(RawToPhysical(r.raw, 10.0, &value), 0) << r.raw;
        if (r.exact) {
            EXPECT_NEAR(value, r.value, 1e-9) << r.raw;
        }
    }
    double untouched = 42;
    EXPECT_EQ(RawToPhysical(0x10000, 10.0, &untouched), -1);
    EXPECT_EQ(untouched, 42);
    // Nothing converted: typed "nan" / "inf", or a scale that is not positive.
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, double> refused[] = {{nan, 10}, {inf, 10}, {-inf, 10}, {1, 0}, {-1, -10}, {1, nan}, {1, inf}};
    for (const auto& [value, scale] : refused) {
        long out = 42;
        EXPECT_EQ(PhysicalToRaw(value, scale, &out), -1) << value << " " << scale;
        EXPECT_EQ(out, 42) << value << " " << scale;
    }
}

}  // namespace

TEST(TraceLine, TimeDirectionPrefixAndEscapes) {
    const auto origin = std::chrono::steady_clock::time_point{} + std::chrono::seconds(5);
    const std::string sent = "01SE\\\x01 \xC8", got = "0\x7Fgs\xC8";
    const auto at = [&](long long us) { return origin + std::chrono::microseconds(us); };
    const auto* s = reinterpret_cast<const unsigned char*>(sent.data());
    const auto* g = reinterpret_cast<const unsigned char*>(got.data());
    EXPECT_EQ(FormatTraceLine(TraceFrame{at(12345678), TraceDirection::Sent, s, 8, 0}, origin),
              "   12.345678 > 01 SE\\x5C\\x01 \\xC8");
    EXPECT_EQ(FormatTraceLine(TraceFrame{at(7), TraceDirection::Received, g, 5, 0}, origin),
              "    0.000007 < 0\\x7F gs\\xC8");
    EXPECT_EQ(FormatTraceLine(TraceFrame{at(0), TraceDirection::NotSent, s, 8, 5}, origin),
              "    0.000000 ! 01 SE\\x5C\\x01 \\xC8 (not sent: error 5)");
}
