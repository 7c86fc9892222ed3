// The analog output page without the toolkit: the table theAnalogOutputs,
// its answers ("mr" 19C and 1A4, "ak"), its commands, the conversions between
// 16-bit codes and the values shown, its form values and their validation,
// and its read and write routines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "iounit/IoUnitCodec.h"

constexpr int ANALOG_OUTPUT_MAX = 5;  // AO1..AO5
inline constexpr const char* MEM_AO_RANGES = "19C5";
inline constexpr const char* MEM_AO_INITIAL_VALUES = "1A4A";

constexpr int AO_RANGE_VOLTAGE = 0;  // "電圧", full scale 10 V
constexpr int AO_RANGE_CURRENT = 1;  // "電流", full scale 20 mA
constexpr int AO_RANGE_COUNT = 2;
constexpr int AK_ANSWER_SIZE = 13;
constexpr int AL_COMMAND_SIZE = 13;

struct AoChannelSettings {
    std::int32_t m_nRange = AO_RANGE_VOLTAGE;
    std::int32_t m_nInitialValue = 0;  // 16-bit code
    std::int32_t m_nLedLow = 0;        // 16-bit code
    std::int32_t m_nLedHigh = 0;       // 16-bit code
    std::int32_t m_nLedCondition = 0;  // 0 lit within Low..High ("範囲内"), 1 outside ("範囲外")
};

// Process-wide, outside the settings block: not cleared before a read.
extern AoChannelSettings theAnalogOutputs[ANALOG_OUTPUT_MAX];

// Answer parsers (receive thread); each returns whether it stored. "mr"
// answers need their exact length and echo; "ak" needs 13 bytes and a
// channel 0..4 at position 2.
bool OnAnalogOutputRangeReply(const unsigned char* reply, int len);      // "mr" 19C5, 17
bool OnAnalogOutputInitialReply(const unsigned char* reply, int len);    // "mr" 1A4A, 27
bool OnAnalogOutputThresholdReply(const unsigned char* reply, int len);  // "ak", 13

// ---- conversions ----

// Full scale of a range choice: 20 for current, 10 otherwise (a row whose
// device range is neither shows the voltage scale).
double AoFullScale(int rangeChoice);
// Decimals a code is shown with: 3 for current, 5 otherwise.
int AoDecimals(int rangeChoice);
// A code as shown: "%7.3f" for current, "%7.5f" otherwise; "" for a code
// wider than 16 bits.
std::string FormatAoCode(long code, int rangeChoice);
// A field's text as a code: trimmed, read as a decimal number (a text that is
// no number, NaN or infinity reads as 0), limited to +-full scale, converted.
long AoCodeFromText(const std::string& text, int rangeChoice);
// printf's "%*.*f" with a '.' whatever the process locale (the toolkit sets
// the C locale from the environment); "" when it does not fit.
std::string FormatFixed(double value, int width, int precision);
// The decimal reading of a field: the longest leading run of a decimal
// number (sign, digits, point, exponent); 0 when there is none or it is not
// finite.
double ReadDecimalValue(const std::string& text);

// ---- form ----

// One row: the checked radio button and the selected list item (NO_CHOICE:
// none), and the codes the fields stand for (converted when a field was
// left).
struct AoRowValues {
    int range = NO_CHOICE;
    int ledCondition = NO_CHOICE;
    long initialValue = 0;
    long ledLow = 0;
    long ledHigh = 0;
};
struct AnalogOutputFormValues {
    AoRowValues rows[ANALOG_OUTPUT_MAX];
};

AnalogOutputFormValues AnalogOutputFormFromSettings(const AoChannelSettings (&s)[ANALOG_OUTPUT_MAX]);

// Output by output from AO1: outputs beyond count are zeroed; a present one
// takes its range and LED condition (device's when nothing is chosen) and its
// codes; Low above High (as signed 16-bit numbers) gives
// "LED点灯閾値はLow<Highで設定してください。", a negative initial value in
// the current range "電流レンジの初期値は0mA以上にしてください。". nullptr
// when valid.
const char* ValidateAnalogOutputForm(const AnalogOutputFormValues& form, int count,
                                     const AoChannelSettings (&device)[ANALOG_OUTPUT_MAX],
                                     AoChannelSettings (&out)[ANALOG_OUTPUT_MAX]);

// "MR19C5", "MR1A4A", then "AK" with each present channel (count outputs).
std::vector<std::string> AnalogOutputReadCommands(int count);
// "MW19C5" (five ranges), "MW1A4A" (five initial values, low byte first),
// then "AL" for each present channel.
std::vector<std::string> AnalogOutputWriteCommands(const AoChannelSettings (&s)[ANALOG_OUTPUT_MAX], int count);

int ReadAnalogOutputs(int count);
int WriteAnalogOutputs(const AoChannelSettings (&s)[ANALOG_OUTPUT_MAX], int count, const SendFailedFn& onSendFailed,
                       StepFailure* failure);
