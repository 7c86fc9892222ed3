// The analog input channel and page without the toolkit: the channel answers
// with the fetch countdown (the hand-over at the third answer, and none after
// a failed fetch, run end to end in AnalogWindowTest), the page's answers,
// validation and commands, the threshold conversions, the channel dialog's OK
// checks (order and messages) and its four commands' bytes (AR, TC, AL, TF),
// and a channel sequence whose command cannot be sent.
#include "forms/AnalogTexts.h"
#include "forms/CommonTexts.h"
#include "forms/IoUnitTexts.h"
#include "iounit/AnalogInput.h"
#include "iounit/IoUnitCore.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

const std::string T(1, static_cast<char>(REPLY_TERMINATOR));
const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
std::string Msg(const char* message) { return message ? message : "(valid)"; }

std::vector<int> Fields(const AiChannelSettings& c) {
    return {c.m_nInputRange, c.m_nTcType,      c.m_nColdJunction, c.m_nBurnoutDetect, c.m_nBurnoutOutput, c.m_nLedLow,
            c.m_nLedHigh,    c.m_nLedCondition, c.m_nScaleRange,  c.m_nTempLow,       c.m_nTempHigh};
}

using ChannelParser = bool (*)(const unsigned char*, int, int, AnalogInputSettings&);
const ChannelParser AJ = ParseChannelRange, AK = ParseChannelLed, TJ = ParseChannelTemperature;

TEST(ChannelAnswers, StoreOnlyWhatTheyMayAndCountDown) {
    // channel: the record expected to change (-1: none), fields: that record's.
    const struct { ChannelParser parser; std::string reply; int model, channel; std::vector<int> fields; } rows[] = {
        {AJ, "aj!# " + T, MODEL_TQ150, 1, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {AK, "ak\"(12ABFFFF" + T, MODEL_TQ150, 2, {0, 0, 0, 0, 0, 0x12AB, 0xFFFF, 1, 0, 0, 0}},
        {AK, "ak!'fffe0001" + T, MODEL_TQ150, 1, {0, 0, 0, 0, 0, 0xFFFE, 1, 0, 0, 0, 0}},  // bit 3 clear; either case
        // R type, all three flags, the scaling range from the low four bits,
        // temperatures sign-extended from 16 bits.
        {TJ, "tj %'4FFF603E8" + T, MODEL_TQ150, 0, {0, 5, 1, 1, 1, 0, 0, 0, 4, -10, 1000}},
        {TJ, "tj!(!$0000FFFF" + T, MODEL_TQ150, 1, {0, 8, 1, 0, 0, 0, 0, 0, 4, 0, -1}},  // type 8: kept, shown as nothing
        {TJ, "tj\" \"o8000" "7FFF" + T, MODEL_TQ150, 2, {0, 0, 0, 1, 0, 0, 0, 0, 15, -32768, 32767}},
        // wrong lengths
        {AJ, "aj!#" + T, MODEL_TQ150, -1, {}}, {AJ, "aj!#  " + T, MODEL_TQ150, -1, {}},
        {AK, "ak!(12ABFFF" + T, MODEL_TQ150, -1, {}}, {TJ, "tj!%'$FFF603E" + T, MODEL_TQ150, -1, {}},
        // another model: "aj"/"tj" only for TQ-150-RZ, "ak" only with analog inputs
        {AJ, "aj!# " + T, 9, -1, {}}, {TJ, "tj!%'$FFF603E8" + T, 9, -1, {}},
        {AK, "ak!(12ABFFFF" + T, 9, -1, {}}, {AK, "ak!(12ABFFFF" + T, 3, -1, {}},
        // channels outside 0..4 or beyond the model's three inputs
        {AJ, "aj## " + T, MODEL_TQ150, -1, {}}, {AK, "ak\x1f(12ABFFFF" + T, MODEL_TQ150, -1, {}},
        {TJ, "tj\xC8%'$FFF603E8" + T, MODEL_TQ150, -1, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        // Mid-fetch: the countdown moves by one per stored answer only.
        AnalogInputSettings s{};
        nChannelCountdown = 2, nReadyChannel = -1;
        const bool stored = row.parser(U(row.reply), int(row.reply.size()), row.model, s);
        EXPECT_EQ(stored, row.channel >= 0);
        for (int c = 0; c < AI_CHANNEL_COUNT; ++c)
            EXPECT_EQ(Fields(s.m_aChannel[c]), c == row.channel ? row.fields : std::vector<int>(11, 0)) << c;
        EXPECT_EQ(nChannelCountdown.load(), stored ? 1 : 2);
        EXPECT_EQ(nReadyChannel.load(), -1);
    }
}

// The page's read answers through the window's handler, for TQ-150-RZ.
TEST(AnalogInputAnswers, RoutedForTq150) {
    theLink.ClearSettings();
    theLink.m_nModelCode = MODEL_TQ150;
    const AnalogInputSettings& s = TheAnalogInputSettings();
    // "sk": the chattering filter (position 11) is not this page's; "mr":
    // the first byte is not used. Another count echoed, or a wrong length:
    // counted, nothing stored.
    for (const std::string& reply : {"sk%0A64FE00'#" + T, "sy#05\"" + T, "mr1006FF0102030406" + T,
                                     "mr1007FF0102030406" + T, "mr1006FF01020304" + T, "sk%0A64FE00'" + T})
        EXPECT_EQ(IoUnitReplyHandler(nullptr, U(reply), int(reply.size())), 1) << reply;
    EXPECT_EQ((std::vector<int>{s.m_anDestNode[0], s.m_anDestNode[1], s.m_anDestNode[2], s.m_anDestNode[3],
                                s.m_nNotifyInterval, s.m_nRetryCount, s.m_nSleepCode, s.m_nWakeupNode, s.m_nCommandWait}),
              (std::vector<int>{0x0A, 100, 254, 0, 1, 3, 3, 5, 2}));
    const int ranges[] = {1, 2, 3, 4, 6};
    for (int c = 0; c < AI_CHANNEL_COUNT; ++c) EXPECT_EQ(s.m_aChannel[c].m_nInputRange, ranges[c]) << c;
    theLink.ClearSettings();
}

TEST(AnalogInputForm, ValidationOrderAndWrite) {
    AnalogInputSettings device{};
    device.m_nNotifyInterval = 4, device.m_nCommandWait = 1, device.m_nSleepCode = 3;
    device.m_aChannel[1].m_nInputRange = 2;
    // se, slep: the commands written, when valid.
    const struct { NotifyFormValues notify; SleepFormValues sleep; const char* message; std::string se, slep; } rows[] = {
        {{{"", "100", " ", "7"}, "3", 11}, {true, 0, 1, "254"}, nullptr, "SE/64070000 #", "SLEP!FE!"},
        // no interval chosen: the device's; sleep off
        {{{"0", "", "", ""}, "", NO_CHOICE}, {false, 9, 1, "999"}, nullptr, "SE(00000000  ", "SLEP 00!"},
        {{{"255", "1", "", ""}, "8", 0}, {true, 0, 1, "0"}, MSG_IO_DEST_NODE_RANGE},
        {{{"1", "", "", ""}, "8", 0}, {true, 0, 1, "0"}, MSG_RETRY_RANGE},
        {{{"1", "", "", ""}, "7", 0}, {true, 0, 1, "255"}, MSG_WAKEUP_RANGE},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.notify.destNode[0] + "/" + r.notify.retryCount + "/" + r.sleep.wakeupNode);
        AnalogInputSettings out{};
        EXPECT_EQ(Msg(ValidateAnalogInputForm({r.notify, r.sleep}, device, &out)), Msg(r.message));
        if (r.message) continue;
        EXPECT_EQ(out.m_aChannel[1].m_nInputRange, 0);  // the channel records are cleared
        EXPECT_EQ(AnalogInputWriteCommands(out), (std::vector<std::string>{r.se + T, r.slep + T}));
    }
}

// Codes shown in each range's format and typed text read back as codes
// (clamped to full scale; no number, NaN and infinity read as 0).
TEST(ChannelConversions, ThresholdCodesAndTexts) {
    const struct { std::int32_t code; int range; const char* shown; } shown[] = {
        // 0x4000 read in three ranges; no negative milliamperes; no range, or a
        // code wider than 16 bits: nothing shown.
        {0x7FFF, 2, "10.00000"},  {0x8000, 2, "-10.00000"}, {0x4000, 0, " 0.0500"}, {0x4000, 1, " 0.5000"},
        {0x4000, 2, "5.00015"},   {0x3FFF, 3, " 15.000"},   {0x8000, 4, "  0.000"},  {0xFFFF, 5, "  0.000"},
        {0x7FFF, 4, " 20.000"},   {0x7FFF, 6, "3276.80"},   {0x8000, 6, "-3276.80"}, {0, 6, "   0.00"},
        {0x7FFF, NO_CHOICE, ""},  {0x7FFF, 7, ""},          {0x10000, 2, ""},
    };
    for (const auto& r : shown) EXPECT_EQ(FormatThreshold(r.code, r.range), r.shown) << r.code << " " << r.range;
    const struct { const char* text; int range; std::int32_t code; } typed[] = {
        {"12", 2, 0x7FFF},      {"-12", 2, 0x8000},     {" 10 ", 2, 0x7FFF},   {"-10", 2, 0x8000},
        {"5", 2, 0x3FFF},       {"-5", 2, 0xC000},      {"0.05", 0, 0x3FFF},   {"25", 4, 0x7FFF},
        {"-1", 4, 0xF99A},      // stored as typed; shown as 0
        // read as AoCodeFromText reads (IoUnitCoreTest has the other texts)
        {"1e999", 2, 0},        {"nan", 2, 0},          {"-inf", 3, 0},        {"+2.5x", 2, 0x1FFF},
        {"1,5", 2, 0x0CCC},     {"3", NO_CHOICE, 0x1234},  // no range: the code is kept
    };
    for (const auto& r : typed) EXPECT_EQ(ThresholdCodeFromText(r.text, r.range, 0x1234), r.code) << r.text;
}

TEST(ChannelDialogOk, ChecksInOrderWithTheirMessages) {
    // The record as fetched; the form as the dialog shows it.
    const AiChannelSettings fetched{.m_nInputRange = 6, .m_nTcType = 1, .m_nColdJunction = 1, .m_nLedLow = 0x8000,
                                    .m_nLedHigh = 0x7FFF, .m_nScaleRange = 2, .m_nTempLow = 0, .m_nTempHigh = 1000};
    const struct { std::int32_t ledLow, ledHigh; const char *tempLow, *tempHigh, *message; int storedLow, storedHigh; } rows[] = {
        {0x0001, 0xFFFF, "12a", "1", MSG_LED_THRESHOLD_ORDER, 0, 0},  // 1 > -1: the first check wins
        {0x0100, 0x0100, "100.0", "100.0", nullptr, 1000, 1000},      // equal thresholds, equal temperatures
        // lower before upper; no exponent
        {0x8000, 0x7FFF, "12a", "3276.8", MSG_TEMP_INVALID, 0, 0}, {0x8000, 0x7FFF, "1e2", "0", MSG_TEMP_INVALID, 0, 0},
        // the limits; truncated toward zero
        {0x8000, 0x7FFF, " -3276.8 ", "3276.7", nullptr, -32768, 32767}, {0x8000, 0x7FFF, "-3276.89", "3276.79", nullptr, -32768, 32767},
        {0x8000, 0x7FFF, "3276.8", "12a", MSG_TEMP_RANGE, 0, 0}, {0x8000, 0x7FFF, "0", "-3276.9", MSG_TEMP_RANGE, 0, 0},
        {0x8000, 0x7FFF, "0", "99999999999999999999999999999999999999", MSG_TEMP_RANGE, 0, 0},
        // read as far as they make a number; no digits read as 0
        {0x8000, 0x7FFF, "1-2", "+3.", nullptr, 10, 30}, {0x8000, 0x7FFF, "", "-", nullptr, 0, 0},
        {0x8000, 0x7FFF, "10", "9.99", MSG_TEMP_ORDER, 0, 0}, {0x8000, 0x7FFF, "-1", "-1.05", nullptr, -10, -10},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.tempLow) + " / " + r.tempHigh);
        AiChannelSettings rec = fetched;
        rec.m_nLedLow = r.ledLow, rec.m_nLedHigh = r.ledHigh;
        AiChannelForm form = AiFormFromSettings(rec);
        form.tempLow = r.tempLow, form.tempHigh = r.tempHigh;
        form.tcType = 7, form.coldJunction = 0, form.burnoutDetect = 1, form.burnoutOutput = NO_CHOICE;
        const std::vector<int> expected =
            r.message ? Fields(rec) : std::vector<int>{6, 7, 0, 1, 0, r.ledLow, r.ledHigh, 0, 2, r.storedLow, r.storedHigh};
        EXPECT_EQ(Msg(ValidateAiChannel(form, rec)), Msg(r.message));
        EXPECT_EQ(Fields(rec), expected);  // a refused OK keeps the record
    }
}

TEST(ChannelDialogOk, OutOfRangeDeviceValuesShowNothingAndAreKept) {
    const AiChannelSettings odd{.m_nInputRange = 9, .m_nTcType = 8, .m_nColdJunction = 1, .m_nLedLow = 5,
                                .m_nLedHigh = 7, .m_nLedCondition = 1, .m_nScaleRange = 15};
    const AiChannelForm f = AiFormFromSettings(odd);
    EXPECT_EQ((std::vector<int>{f.inputRange, f.tcType, f.scaleRange, f.coldJunction, f.ledCondition}),
              (std::vector<int>{NO_CHOICE, NO_CHOICE, NO_CHOICE, 1, 1}));
    EXPECT_EQ(f.ledLow + f.ledHigh + "|" + f.tempLow + "/" + f.tempHigh, "|0.0/0.0");
    AiChannelSettings rec = odd;
    ASSERT_EQ(ValidateAiChannel(f, rec), nullptr);
    EXPECT_EQ(Fields(rec), (std::vector<int>{9, 8, 1, 0, 0, 5, 7, 1, 15, 0, 0}));
    EXPECT_EQ(BuildAiChannelCommands(0, rec)[0], "AR )" + T);
}

// The four commands in sending order: AR, TC, AL, TF.
TEST(ChannelDialogOk, CommandBytes) {
    const AiChannelSettings outside{.m_nInputRange = 3, .m_nTcType = 7, .m_nColdJunction = 1, .m_nBurnoutDetect = 0,
                                    .m_nBurnoutOutput = 1, .m_nLedLow = 0x8000, .m_nLedHigh = 0x7FFF, .m_nLedCondition = 1,
                                    .m_nScaleRange = 4, .m_nTempLow = -32768, .m_nTempHigh = -10};
    AiChannelSettings within = outside;
    within.m_nLedCondition = 0, within.m_nColdJunction = 0, within.m_nBurnoutOutput = 0, within.m_nTempLow = 0;
    EXPECT_EQ(BuildAiChannelCommands(2, outside),  // AI3 on ±30V
              (std::array<std::string, 4>{"AR\"#" + T, "TC\"'%" + T, "AL\"(80007FFF" + T, "TF\"$8000FFF6" + T}));
    EXPECT_EQ(BuildAiChannelCommands(0, within),
              (std::array<std::string, 4>{"AR #" + T, "TC ' " + T, "AL  80007FFF" + T, "TF $0000FFF6" + T}));
}

// A command that cannot be sent: its code, then the time-out message, and
// nothing after it. (Answered and unanswered sequences run end to end in the
// window test.)
TEST(ChannelSequence, FailedSendShowsItsCodeThenTheTimeOut) {
    theLink.Close();
    std::vector<std::string> shown;
    const auto show = [&](const std::string& t) { shown.push_back(t); };
    EXPECT_EQ(SendChannelCommands(BuildAiChannelCommands(0, AiChannelSettings{}), show), -1);
    char code[64];
    std::snprintf(code, sizeof code, MSG_COMM_ERROR_CODE, LINK_E_NOT_OPEN);
    EXPECT_EQ(shown, (std::vector<std::string>{code, MSG_CHANNEL_TIMEOUT}));
    shown.clear();
    EXPECT_EQ(FetchChannel(2, show), -1);
    EXPECT_EQ(shown, std::vector<std::string>{MSG_CHANNEL_FETCH_FAILED});
    EXPECT_EQ(nChannelCountdown.load(), CHANNEL_FETCH_FAILED);
}

}  // namespace
