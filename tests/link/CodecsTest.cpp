#include "link/DeviceLink.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

TEST(FormatField, WidthRadixPaddingAndCutting) {
    const struct { long long value; int width; bool hex, zeros; const char* expected; } cases[] = {
        {10, 4, true, true, "000A"},    {250, 2, false, false, "50"},  // longer than the width: its last digits
        {-1, 4, true, true, "FFFF"},    {0x1FF, 2, true, true, "FF"},     {5, 2, true, true, "05"},
        {1024, 5, false, false, " 1024"}, {0xC0A80001LL, 8, true, true, "C0A80001"}, {7, 3, false, true, "007"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatField(c.value, c.width, c.hex, c.zeros), c.expected)
            << c.value << " width " << c.width;
    }
}

TEST(ParseHexField, StopsAtFirstNonHexAndAtN) {
    const struct { const char* text; int n; std::uint32_t expected; } cases[] = {
        {"C0A80001FF", 8, 0xC0A80001u}, {"c0a8", 4, 0xC0A8u},  {"1G", 2, 1},
        {"G1", 2, 0},                   {"", 2, 0},            {"FFFFFFFF", 8, 0xFFFFFFFFu},
        {"0A\xC8", 3, 0x0A},            {"12345678", 4, 0x1234}, {" 5", 2, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseHexField(c.text, c.n), c.expected) << c.text;
}

TEST(ReadNumericField, TrimCutAndCConversion) {
    const struct { const char* text; int maxChars; bool hex; std::uint32_t expected; } cases[] = {
        {" 1024", 5, false, 1024},   {"  12  ", 3, false, 12}, {"1234", 3, false, 123},
        {"", 3, false, 0},           {"abc", 3, false, 0},     {"12x", 3, false, 12},
        {"-1", 3, false, 0xFFFFFFFFu}, {"+7", 2, false, 7},    {"0a", 2, true, 0x0A},
        {"F7", 2, true, 0xF7},       {"F8", 2, true, 0xF8},    {"g1", 2, true, 0},
        {"99999999999", 11, false, 0xFFFFFFFFu}, {"\t5\n", 3, false, 5},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadNumericField(c.text, c.maxChars, c.hex), c.expected) << "'" << c.text << "'";
}

TEST(AnalogScaling, RawToPhysicalTable) {
    const struct { long raw; double expected; } cases[] = {{0x7FFF, 10.0}, {0x8000, -10.0}, {0, 0.0}, {0xC000, -5.0}, {0xFFFF, -10.0 / 32768}};
    for (const auto& c : cases) {
        double out = 123;
        ASSERT_EQ(RawToPhysical(c.raw, 10.0, &out), 0);
        EXPECT_NEAR(out, c.expected, 1e-9) << c.raw;
    }
    double untouched = 42;
    EXPECT_EQ(RawToPhysical(0x10000, 10.0, &untouched), -1);
    EXPECT_EQ(untouched, 42);
}

TEST(AnalogScaling, PhysicalToRawClampsAndReports) {
    const struct { double value; long expected; int result; } cases[] = {
        {12.0, 0x7FFF, -1}, {10.0, 0x7FFF, 0}, {-5.0, 0xC000, 0},
        {-10.0, 0x8000, 0}, {-11.0, 0x8000, -1}, {0.0, 0, 0}, {5.0, 16383, 0},
    };
    for (const auto& c : cases) {
        long out = -1;
        EXPECT_EQ(PhysicalToRaw(c.value, 10.0, &out), c.result) << c.value;
        EXPECT_EQ(out, c.expected) << c.value;
    }
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
