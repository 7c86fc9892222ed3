#include "iounit/AnalogOutputCore.h"

#include "forms/IoUnitTexts.h"

#include <charconv>
#include <cmath>
#include <cstring>

AoChannelSettings theAnalogOutputs[ANALOG_OUTPUT_MAX];

bool OnAnalogOutputRangeReply(const unsigned char* reply, int len) {
    unsigned char ranges[ANALOG_OUTPUT_MAX] = {};
    if (!ParseMemoryAnswer(reply, len, MEM_AO_RANGES, ranges)) return false;
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) theAnalogOutputs[k].m_nRange = ranges[k];
    return true;
}

bool OnAnalogOutputInitialReply(const unsigned char* reply, int len) {
    unsigned char bytes[2 * ANALOG_OUTPUT_MAX] = {};
    if (!ParseMemoryAnswer(reply, len, MEM_AO_INITIAL_VALUES, bytes)) return false;
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) {
        theAnalogOutputs[k].m_nInitialValue = bytes[2 * k] + 256 * bytes[2 * k + 1];  // low byte first
    }
    return true;
}

bool OnAnalogOutputThresholdReply(const unsigned char* reply, int len) {
    if (len != AK_ANSWER_SIZE) return false;
    const int channel = static_cast<int>(reply[2]) - 0x20;
    if (channel < 0 || channel >= ANALOG_OUTPUT_MAX) return false;
    AoChannelSettings& ao = theAnalogOutputs[channel];
    ao.m_nLedCondition = ((static_cast<int>(reply[3]) - 0x20) >> 3) & 1;
    ao.m_nLedLow = static_cast<std::int32_t>(ParseHexField(reply + 4, 4));
    ao.m_nLedHigh = static_cast<std::int32_t>(ParseHexField(reply + 8, 4));
    return true;
}

double AoFullScale(int rangeChoice) { return rangeChoice == AO_RANGE_CURRENT ? 20.0 : 10.0; }

int AoDecimals(int rangeChoice) { return rangeChoice == AO_RANGE_CURRENT ? 3 : 5; }

std::string FormatAoCode(long code, int rangeChoice) {
    double value = 0;
    if (RawToPhysical(code, AoFullScale(rangeChoice), &value) != 0) return "";
    return FormatFixed(value, 7, AoDecimals(rangeChoice));
}

std::string FormatFixed(double value, int width, int precision) {
    char buf[512];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
    if (ec != std::errc()) return std::string();
    std::string text(buf, end);
    if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
    return text;
}

double ReadDecimalValue(const std::string& text) {
    const std::string t = TrimText(text);
    std::size_t run = 0;
    while (run < t.size() && std::strchr("0123456789+-.eE", t[run]) != nullptr && t[run] != '\0') ++run;
    std::size_t start = 0;
    bool negative = false;
    if (start < run && (t[start] == '+' || t[start] == '-')) negative = t[start++] == '-';
    if (start < run && (t[start] == '+' || t[start] == '-')) return 0;  // a second sign: no number
    double value = 0;
    // from_chars reads the longest decimal number at the start and never
    // looks at the locale; anything it refuses (a second sign, a bare point,
    // a value beyond double) reads as 0.
    auto [ptr, ec] = std::from_chars(t.data() + start, t.data() + run, value, std::chars_format::general);
    (void)ptr;
    if (ec != std::errc() || !std::isfinite(value)) return 0;
    return negative ? -value : value;
}

long AoCodeFromText(const std::string& text, int rangeChoice) {
    long code = 0;
    // PhysicalToRaw limits the value to +-full scale before it scales it.
    PhysicalToRaw(ReadDecimalValue(text), AoFullScale(rangeChoice), &code);
    return code;
}

AnalogOutputFormValues AnalogOutputFormFromSettings(const AoChannelSettings (&s)[ANALOG_OUTPUT_MAX]) {
    AnalogOutputFormValues f;
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) {
        AoRowValues& row = f.rows[k];
        row.range = ListChoice(s[k].m_nRange, AO_RANGE_COUNT);
        row.ledCondition = ListChoice(s[k].m_nLedCondition, LED_CONDITION_COUNT);
        row.initialValue = s[k].m_nInitialValue;
        row.ledLow = s[k].m_nLedLow;
        row.ledHigh = s[k].m_nLedHigh;
    }
    return f;
}

static int Signed16(long code) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(code & 0xFFFF)); }

const char* ValidateAnalogOutputForm(const AnalogOutputFormValues& form, int count,
                                     const AoChannelSettings (&device)[ANALOG_OUTPUT_MAX],
                                     AoChannelSettings (&out)[ANALOG_OUTPUT_MAX]) {
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) {
        const AoRowValues& row = form.rows[k];
        AoChannelSettings ao{};
        if (k < count) {
            ao.m_nRange = ChoiceOrDevice(row.range, AO_RANGE_COUNT, device[k].m_nRange);
            ao.m_nLedCondition = ChoiceOrDevice(row.ledCondition, LED_CONDITION_COUNT, device[k].m_nLedCondition);
            ao.m_nInitialValue = static_cast<std::int32_t>(row.initialValue & 0xFFFF);
            ao.m_nLedLow = static_cast<std::int32_t>(row.ledLow & 0xFFFF);
            ao.m_nLedHigh = static_cast<std::int32_t>(row.ledHigh & 0xFFFF);
        }
        out[k] = ao;
        if (k >= count) continue;
        if (Signed16(ao.m_nLedLow) > Signed16(ao.m_nLedHigh)) return MSG_LED_THRESHOLD_ORDER;
        if (ao.m_nRange == AO_RANGE_CURRENT && (ao.m_nInitialValue & 0x8000) != 0) return MSG_CURRENT_INITIAL_NEGATIVE;
    }
    return nullptr;
}

std::vector<std::string> AnalogOutputReadCommands(int count) {
    std::vector<std::string> commands = {BuildMemoryRead(MEM_AO_RANGES), BuildMemoryRead(MEM_AO_INITIAL_VALUES)};
    for (int i = 0; i < count && i < ANALOG_OUTPUT_MAX; ++i) commands.push_back(Terminated(std::string("AK") + SpaceChar(i)));
    return commands;
}

std::vector<std::string> AnalogOutputWriteCommands(const AoChannelSettings (&s)[ANALOG_OUTPUT_MAX], int count) {
    std::string ranges, initial;
    for (const AoChannelSettings& ao : s) {
        ranges += HexPair(ao.m_nRange);
        initial += HexPair(ao.m_nInitialValue & 0xFF) + HexPair((ao.m_nInitialValue >> 8) & 0xFF);
    }
    std::vector<std::string> commands = {BuildMemoryWrite(MEM_AO_RANGES, ranges),
                                         BuildMemoryWrite(MEM_AO_INITIAL_VALUES, initial)};
    for (int i = 0; i < count && i < ANALOG_OUTPUT_MAX; ++i) {
        std::string al = "AL";
        al += SpaceChar(i);
        al += static_cast<char>(s[i].m_nLedCondition == 1 ? 0x28 : 0x20);
        al += HexQuad(s[i].m_nLedLow) + HexQuad(s[i].m_nLedHigh);
        commands.push_back(Terminated(al));
    }
    return commands;
}

int ReadAnalogOutputs(int count) { return SendAndWaitEach(AnalogOutputReadCommands(count), nullptr, nullptr); }

int WriteAnalogOutputs(const AoChannelSettings (&s)[ANALOG_OUTPUT_MAX], int count, const SendFailedFn& onSendFailed,
                       StepFailure* failure) {
    return SendAndWaitEach(AnalogOutputWriteCommands(s, count), onSendFailed, failure);
}
