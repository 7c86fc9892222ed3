// One analog input channel of TQ-150-RZ without the toolkit: its record, the
// conversions and display formats of the channel dialog "AIの設定", the
// dialog's OK checks and the four commands that OK prepares.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "iounit/IoUnitCodec.h"

// One channel's settings; m_aChannel of AnalogInputSettings holds five.
// Filled by the "aj", "ak" and "tj" answers, sent by "AR", "TC", "AL", "TF".
struct AiChannelSettings {
    std::int32_t m_nInputRange;     // 0..6, index into the input ranges
    std::int32_t m_nTcType;         // 0..7, index into the thermocouple types
    std::int32_t m_nColdJunction;   // 0 OFF, 1 ON
    std::int32_t m_nBurnoutDetect;  // 0 OFF, 1 ON
    std::int32_t m_nBurnoutOutput;  // 0 "800000h", 1 "7FFFFFh"
    std::int32_t m_nLedLow;         // 16-bit code 0x0000..0xFFFF
    std::int32_t m_nLedHigh;        // 16-bit code
    std::int32_t m_nLedCondition;   // 0 lit within range, 1 lit outside range
    std::int32_t m_nScaleRange;     // 0..4, index into the scaling ranges
    std::int32_t m_nTempLow;        // -32768..32767, 0.1 degC
    std::int32_t m_nTempHigh;       // -32768..32767, 0.1 degC
};
static_assert(sizeof(AiChannelSettings) == 44);

// ---- input range dependent presentation ----

// Full scale of the LED thresholds for a valid input range (0 otherwise).
double AiFullScale(int range);
// "V", "mA" or "℃"; "" when range selects nothing.
const char* AiUnitText(int range);
// Decimals of the range's threshold format (0 when range selects nothing).
int AiDecimals(int range);
// The thermocouple items (type, radio pairs, scaling frame) are enabled
// exactly for the range "熱電対".
bool AiThermocoupleEnabled(int range);

// A threshold code as the field shows it: its physical value in the range's
// format ("%7.4f", "%7.5f", "%7.3f" or "%7.2f"), a negative milliampere
// value as 0. "" when range selects nothing or the code is wider than 16
// bits. Always with a decimal point, whatever the process locale.
std::string FormatThreshold(std::int32_t code, int range);

// The code a threshold field's text stands for: trimmed, read as a decimal
// number (ReadDecimalValue: no number, NaN and infinity read as 0) and
// converted with the range's full scale, clamped to it. With no range
// selected the code cannot be converted and current is returned.
std::int32_t ThresholdCodeFromText(const std::string& text, int range, std::int32_t current);

// A temperature in 0.1 degC as "%.1f" of degrees ("-1.0" for -10).
std::string FormatTemperature(std::int32_t tenths);

// ---- the dialog's form ----

// The dialog's controls as plain values. Lists hold the selected index or
// NO_CHOICE; radio pairs hold the field value their checked button stands
// for (1 for "ON", 1 for "7FFFFFh") or NO_CHOICE when neither is checked.
struct AiChannelForm {
    int inputRange = NO_CHOICE;
    int tcType = NO_CHOICE;
    int coldJunction = NO_CHOICE;
    int burnoutDetect = NO_CHOICE;
    int burnoutOutput = NO_CHOICE;
    int scaleRange = NO_CHOICE;
    std::string tempLow;
    std::string tempHigh;
    int ledCondition = NO_CHOICE;
    std::string ledLow;   // as shown (FormatThreshold)
    std::string ledHigh;
};

// What the dialog shows when it opens for a channel record.
AiChannelForm AiFormFromSettings(const AiChannelSettings& rec);

// The checks of the dialog's OK, in order. rec holds the record the dialog
// edits (thresholds already converted when their fields were left). Returns
// nullptr and the rebuilt record in rec, or the first failing check's
// message and leaves rec unchanged. A list without a selection keeps the
// value the device reported; a radio pair without a checked button gives 0.
const char* ValidateAiChannel(const AiChannelForm& form, AiChannelSettings& rec);

// The four commands of a confirmed dialog, in sending order: input range
// "AR", thermocouple "TC", LED "AL", temperature scaling "TF"; each a
// complete command text ending in the terminator.
std::array<std::string, 4> BuildAiChannelCommands(int channel, const AiChannelSettings& rec);
