#include "iounit/AnalogChannel.h"

#include "forms/AnalogTexts.h"
#include "forms/IoUnitTexts.h"
#include "iounit/AnalogOutputCore.h"
#include "link/DeviceLink.h"

#include <cmath>
#include <cstring>

namespace {

struct RangeInfo {
    double fullScale;
    const char* unit;
    int precision;  // the field is 7 characters wide
    bool milliampere;
};

const RangeInfo kRanges[AI_RANGE_COUNT] = {
    {0.1, TXT_UNIT_VOLT, 4, false},          // ±100mV
    {1.0, TXT_UNIT_VOLT, 4, false},          // ±1V
    {10.0, TXT_UNIT_VOLT, 5, false},         // ±10V
    {30.0, TXT_UNIT_VOLT, 3, false},         // ±30V
    {20.0, TXT_UNIT_MILLIAMPERE, 3, true},   // 0-20mA (250 ohm)
    {20.0, TXT_UNIT_MILLIAMPERE, 3, true},   // 0-20mA (50 ohm)
    {3276.8, TXT_UNIT_CELSIUS, 2, false},    // thermocouple
};

constexpr int kThresholdWidth = 7;

bool ValidRange(int range) { return range >= 0 && range < AI_RANGE_COUNT; }

}  // namespace

double AiFullScale(int range) { return ValidRange(range) ? kRanges[range].fullScale : 0.0; }

const char* AiUnitText(int range) { return ValidRange(range) ? kRanges[range].unit : ""; }

int AiDecimals(int range) { return ValidRange(range) ? kRanges[range].precision : 0; }

bool AiThermocoupleEnabled(int range) { return range == AI_RANGE_THERMOCOUPLE; }

std::string FormatThreshold(std::int32_t code, int range) {
    if (!ValidRange(range)) return std::string();
    const RangeInfo& r = kRanges[range];
    double value = 0;
    if (RawToPhysical(code, r.fullScale, &value) != 0) return std::string();
    if (r.milliampere && value < 0) value = 0;
    return FormatFixed(value, kThresholdWidth, r.precision);
}

std::int32_t ThresholdCodeFromText(const std::string& text, int range, std::int32_t current) {
    if (!ValidRange(range)) return current;
    const double value = ReadDecimalValue(text);
    long code = 0;
    PhysicalToRaw(value, kRanges[range].fullScale, &code);  // beyond full scale: clamped, no error
    return static_cast<std::int32_t>(code);
}

std::string FormatTemperature(std::int32_t tenths) { return FormatFixed(tenths / 10.0, 0, 1); }

AiChannelForm AiFormFromSettings(const AiChannelSettings& rec) {
    AiChannelForm f;
    f.inputRange = ListChoice(rec.m_nInputRange, AI_RANGE_COUNT);
    f.tcType = ListChoice(rec.m_nTcType, AI_TC_TYPE_COUNT);
    f.coldJunction = ListChoice(rec.m_nColdJunction, 2);
    f.burnoutDetect = ListChoice(rec.m_nBurnoutDetect, 2);
    f.burnoutOutput = ListChoice(rec.m_nBurnoutOutput, 2);
    f.scaleRange = ListChoice(rec.m_nScaleRange, AI_SCALE_RANGE_COUNT);
    f.tempLow = FormatTemperature(rec.m_nTempLow);
    f.tempHigh = FormatTemperature(rec.m_nTempHigh);
    f.ledCondition = ListChoice(rec.m_nLedCondition, AI_LED_CONDITION_COUNT);
    f.ledLow = FormatThreshold(rec.m_nLedLow, f.inputRange);
    f.ledHigh = FormatThreshold(rec.m_nLedHigh, f.inputRange);
    return f;
}

// One temperature field: nullptr and the value in 0.1 degC, or the message.
static const char* ReadTemperature(const std::string& input, std::int32_t* out) {
    const std::string text = TrimText(input);
    if (std::strspn(text.c_str(), "0123456789.-+") < text.size()) return MSG_TEMP_INVALID;
    const double degrees = ReadDecimalValue(text);
    // The range is checked on the decimal value first, so that the product
    // below can neither overflow nor leave the 16 bits the command carries.
    if (!(degrees > -4000.0 && degrees < 4000.0)) return MSG_TEMP_RANGE;
    const double tenths = std::trunc(degrees * 10.0);
    if (tenths < -32768.0 || tenths > 32767.0) return MSG_TEMP_RANGE;
    *out = static_cast<std::int32_t>(tenths);
    return nullptr;
}

const char* ValidateAiChannel(const AiChannelForm& form, AiChannelSettings& rec) {
    AiChannelSettings out = rec;
    // 1. lists and radio pairs
    if (form.inputRange != NO_CHOICE) out.m_nInputRange = form.inputRange;
    if (form.tcType != NO_CHOICE) out.m_nTcType = form.tcType;
    out.m_nColdJunction = form.coldJunction == 1 ? 1 : 0;
    out.m_nBurnoutDetect = form.burnoutDetect == 1 ? 1 : 0;
    out.m_nBurnoutOutput = form.burnoutOutput == 1 ? 1 : 0;
    if (form.ledCondition != NO_CHOICE) out.m_nLedCondition = form.ledCondition;
    // 2. thresholds as signed 16-bit numbers; equal ones are accepted
    if (static_cast<std::int16_t>(out.m_nLedLow & 0xFFFF) > static_cast<std::int16_t>(out.m_nLedHigh & 0xFFFF))
        return MSG_LED_THRESHOLD_ORDER;
    // 3.
    if (form.scaleRange != NO_CHOICE) out.m_nScaleRange = form.scaleRange;
    // 4. lower, then upper temperature, whatever the input range
    if (const char* message = ReadTemperature(form.tempLow, &out.m_nTempLow)) return message;
    if (const char* message = ReadTemperature(form.tempHigh, &out.m_nTempHigh)) return message;
    // 5.
    if (out.m_nTempLow > out.m_nTempHigh) return MSG_TEMP_ORDER;
    rec = out;
    return nullptr;
}

std::array<std::string, 4> BuildAiChannelCommands(int channel, const AiChannelSettings& rec) {
    const std::string c(1, SpaceChar(channel));
    const int flags = (rec.m_nColdJunction ? 1 : 0) + 2 * (rec.m_nBurnoutDetect ? 1 : 0) + 4 * (rec.m_nBurnoutOutput ? 1 : 0);
    return {
        Terminated("AR" + c + SpaceChar(rec.m_nInputRange)),
        Terminated("TC" + c + SpaceChar(rec.m_nTcType) + SpaceChar(flags)),
        Terminated("AL" + c + SpaceChar(rec.m_nLedCondition == 1 ? 8 : 0) + HexQuad(rec.m_nLedLow) + HexQuad(rec.m_nLedHigh)),
        Terminated("TF" + c + SpaceChar(rec.m_nScaleRange) + HexQuad(rec.m_nTempLow) + HexQuad(rec.m_nTempHigh)),
    };
}
