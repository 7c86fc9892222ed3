// The analog input channel without the toolkit: the channel answers with the
// fetch countdown, the threshold and temperature conversions and formats,
// the channel dialog's OK checks (order and messages), the four commands'
// bytes; the page's answers, validation and commands; a channel sequence
// whose command cannot be sent.
#include "forms/AnalogTexts.h"
#include "forms/CommonTexts.h"
#include "iounit/AnalogChannel.h"
#include "iounit/AnalogInput.h"
#include "iounit/IoUnitCore.h"
#include "forms/IoUnitTexts.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cmath>
#include <vector>

namespace {

const std::string T(1, static_cast<char>(REPLY_TERMINATOR));
const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

std::vector<int> Fields(const AiChannelSettings& c) {
    return {c.m_nInputRange, c.m_nTcType,      c.m_nColdJunction, c.m_nBurnoutDetect, c.m_nBurnoutOutput, c.m_nLedLow,
            c.m_nLedHigh,    c.m_nLedCondition, c.m_nScaleRange,  c.m_nTempLow,       c.m_nTempHigh};
}

enum Parser { AJ, AK, TJ };

bool Parse(Parser p, const std::string& reply, int model, AnalogInputSettings& s) {
    const int len = static_cast<int>(reply.size());
    switch (p) {
    case AJ: return ParseChannelRange(U(reply), len, model, s);
    case AK: return ParseChannelLed(U(reply), len, model, s);
    default: return ParseChannelTemperature(U(reply), len, model, s);
    }
}

TEST(ChannelAnswers, StoreOnlyWhatTheyMayAndCountDown) {
    const std::vector<int> untouched(11, 0);
    const struct {
        Parser parser;
        std::string reply;
        int model;
        int channel;              // record expected to change, -1: none
        std::vector<int> fields;  // of that record
    } rows[] = {
        {AJ, "aj!# " + T, MODEL_TQ150, 1, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {AK, "ak\"(12ABFFFF" + T, MODEL_TQ150, 2, {0, 0, 0, 0, 0, 0x12AB, 0xFFFF, 1, 0, 0, 0}},
        {AK, "ak  8000007F" + T, MODEL_TQ150, 0, {0, 0, 0, 0, 0, 0x8000, 0x007F, 0, 0, 0, 0}},
        {AK, "ak!'fffe0001" + T, MODEL_TQ150, 1, {0, 0, 0, 0, 0, 0xFFFE, 1, 0, 0, 0, 0}},  // bit 3 clear; either case
        // R type, all three flags, the scaling range from the low four bits,
        // temperatures sign-extended from 16 bits.
        {TJ, "tj %'4FFF603E8" + T, MODEL_TQ150, 0, {0, 5, 1, 1, 1, 0, 0, 0, 4, -10, 1000}},
        {TJ, "tj!(!$0000FFFF" + T, MODEL_TQ150, 1, {0, 8, 1, 0, 0, 0, 0, 0, 4, 0, -1}},  // type 8: kept, shown as nothing
        {TJ, "tj\" \"o8000" "7FFF" + T, MODEL_TQ150, 2, {0, 0, 0, 1, 0, 0, 0, 0, 15, -32768, 32767}},
        // wrong lengths
        {AJ, "aj!#" + T, MODEL_TQ150, -1, {}},
        {AJ, "aj!#  " + T, MODEL_TQ150, -1, {}},
        {AK, "ak!(12ABFFF" + T, MODEL_TQ150, -1, {}},
        {TJ, "tj!%'$FFF603E" + T, MODEL_TQ150, -1, {}},
        // another model: "aj"/"tj" only for TQ-150-RZ, "ak" only with analog inputs
        {AJ, "aj!# " + T, 9, -1, {}},
        {TJ, "tj!%'$FFF603E8" + T, 9, -1, {}},
        {AK, "ak!(12ABFFFF" + T, 9, -1, {}},
        {AK, "ak!(12ABFFFF" + T, 3, -1, {}},
        // channels outside 0..4 or beyond the model's three inputs
        {AJ, "aj## " + T, MODEL_TQ150, -1, {}},
        {AJ, "aj%# " + T, MODEL_TQ150, -1, {}},
        {AK, "ak\x1f(12ABFFFF" + T, MODEL_TQ150, -1, {}},
        {TJ, "tj\xC8%'$FFF603E8" + T, MODEL_TQ150, -1, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        // Mid-fetch: the countdown moves by one per stored answer only.
        AnalogInputSettings s{};
        nChannelCountdown = 2;
        nReadyChannel = -1;
        const bool stored = Parse(row.parser, row.reply, row.model, s);
        EXPECT_EQ(stored, row.channel >= 0);
        for (int c = 0; c < AI_CHANNEL_COUNT; ++c)
            EXPECT_EQ(Fields(s.m_aChannel[c]), c == row.channel ? row.fields : untouched) << c;
        EXPECT_EQ(nChannelCountdown.load(), stored ? 1 : 2);
        EXPECT_EQ(nReadyChannel.load(), -1);
    }
}

TEST(ChannelAnswers, LastOfThreeHandsTheChannelOverOnce) {
    AnalogInputSettings s{};
    nChannelCountdown = CHANNEL_ANSWERS;
    nReadyChannel = -1;
    ASSERT_TRUE(Parse(AJ, "aj\"$ " + T, MODEL_TQ150, s));
    ASSERT_TRUE(Parse(TJ, "tj\" ! 000003E8" + T, MODEL_TQ150, s));
    EXPECT_EQ(nReadyChannel.load(), -1);
    ASSERT_TRUE(Parse(AK, "ak\" 80007FFF" + T, MODEL_TQ150, s));
    EXPECT_EQ(nReadyChannel.load(), 2);
    nReadyChannel = -1;
    ASSERT_TRUE(Parse(AK, "ak\" 80007FFF" + T, MODEL_TQ150, s));  // a repeat hands nothing over
    EXPECT_EQ(nReadyChannel.load(), -1);

    // After a failed fetch late answers never reach 0.
    nChannelCountdown = CHANNEL_FETCH_FAILED;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Parse(TJ, "tj\" ! 000003E8" + T, MODEL_TQ150, s));
    EXPECT_EQ(nReadyChannel.load(), -1);
}

// The page's read answers through the window's handler, for TQ-150-RZ.
TEST(AnalogInputAnswers, RoutedForTq150) {
    theLink.ClearSettings();
    theLink.m_nModelCode = MODEL_TQ150;
    const AnalogInputSettings& s = TheAnalogInputSettings();
    const struct { std::string reply; int counts; } answers[] = {
        {"sk%0A64FE00'#" + T, 1},           // the chattering filter (position 11) is not this page's
        {"sy#05\"" + T, 1},
        {"mr1006FF0102030406" + T, 1},      // the first byte is not used
        {"mr1007FF0102030406" + T, 1},      // another count echoed: counted, nothing stored
        {"mr1006FF01020304" + T, 1},        // wrong length: counted, nothing stored
        {"sk%0A64FE00'" + T, 1},
    };
    for (const auto& a : answers) EXPECT_EQ(IoUnitReplyHandler(nullptr, U(a.reply), int(a.reply.size())), a.counts) << a.reply;
    EXPECT_EQ((std::vector<int>{s.m_anDestNode[0], s.m_anDestNode[1], s.m_anDestNode[2], s.m_anDestNode[3],
                                s.m_nNotifyInterval, s.m_nRetryCount, s.m_nSleepCode, s.m_nWakeupNode, s.m_nCommandWait}),
              (std::vector<int>{0x0A, 100, 254, 0, 1, 3, 3, 5, 2}));
    const int ranges[] = {1, 2, 3, 4, 6};
    for (int c = 0; c < AI_CHANNEL_COUNT; ++c) EXPECT_EQ(s.m_aChannel[c].m_nInputRange, ranges[c]) << c;
    // Through the handler a channel answer goes to the page too.
    nChannelCountdown = 1;
    nReadyChannel = -1;
    EXPECT_EQ(IoUnitReplyHandler(nullptr, U("ak\"(12ABFFFF" + T), 13), 1);
    EXPECT_EQ(nReadyChannel.load(), 2);
    EXPECT_EQ(s.m_aChannel[2].m_nLedLow, 0x12AB);
    theLink.ClearSettings();
}

TEST(AnalogInputForm, ValidationOrderAndWrite) {
    AnalogInputSettings device{};
    device.m_nNotifyInterval = 4, device.m_nCommandWait = 1, device.m_nSleepCode = 3;
    device.m_aChannel[1].m_nInputRange = 2;
    const struct {
        std::string dest[4], retry;
        int interval;
        bool sleep;
        int sleepInterval;
        std::string wakeup;
        const char* message;
        std::string se, slep;  // the commands written, when valid
    } rows[] = {
        {{"", "100", " ", "7"}, "3", 11, true, 0, "254", nullptr, "SE/64070000 #", "SLEP!FE!"},
        {{"0", "", "", ""}, "", NO_CHOICE, false, 9, "999", nullptr, "SE(00000000  ", "SLEP 00!"},  // interval as the device had it
        {{"255", "1", "", ""}, "8", 0, true, 0, "0", MSG_IO_DEST_NODE_RANGE, "", ""},
        {{"1", "", "", ""}, "8", 0, true, 0, "0", MSG_RETRY_RANGE, "", ""},
        {{"1", "", "", ""}, "7", 0, true, 0, "0", MSG_WAKEUP_RANGE, "", ""},
        {{"1", "", "", ""}, "7", 0, true, 0, "255", MSG_WAKEUP_RANGE, "", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.dest[1] + "/" + r.retry + "/" + r.wakeup);
        AnalogInputFormValues form = AnalogInputFormFromSettings(device);
        for (int i = 0; i < 4; ++i) form.notify.destNode[i] = r.dest[i];
        form.notify.retryCount = r.retry;
        form.notify.notifyInterval = r.interval;
        form.sleep.enabled = r.sleep;
        form.sleep.sleepInterval = r.sleepInterval;
        form.sleep.wakeupNode = r.wakeup;
        AnalogInputSettings out{};
        const char* message = ValidateAnalogInputForm(form, device, &out);
        if (r.message) {
            EXPECT_STREQ(message, r.message);
            continue;
        }
        ASSERT_EQ(message, nullptr) << message;
        EXPECT_EQ(out.m_aChannel[1].m_nInputRange, 0);  // the channel records are cleared
        const auto cmds = AnalogInputWriteCommands(out);
        EXPECT_EQ(cmds, (std::vector<std::string>{r.se + T, r.slep + T}));
    }
    EXPECT_EQ(AnalogInputReadCommands(), (std::vector<std::string>{"SK" + T, "SY" + T, "MR1006" + T}));
    // The form shows what the device holds: sleep code 0 gives an unticked
    // box with "1時間"; a code outside the list no selection.
    device.m_nSleepCode = 0;
    EXPECT_EQ(AnalogInputFormFromSettings(device).sleep.sleepInterval, 5);
    device.m_nSleepCode = 11, device.m_nNotifyInterval = 12;
    const AnalogInputFormValues odd = AnalogInputFormFromSettings(device);
    EXPECT_EQ((std::vector<int>{odd.sleep.enabled, odd.sleep.sleepInterval, odd.notify.notifyInterval}),
              (std::vector<int>{1, NO_CHOICE, NO_CHOICE}));
}

TEST(ChannelConversions, ThresholdDisplay) {
    const struct { std::int32_t code; int range; const char* shown; } rows[] = {
        {0x7FFF, 2, "10.00000"},  {0x8000, 2, "-10.00000"}, {0x4000, 0, " 0.0500"},
        {0x4000, 1, " 0.5000"},   {0x4000, 2, "5.00015"},   // the same code read in three ranges
        {0x3FFF, 3, " 15.000"},   {0x8000, 4, "  0.000"},   {0xFFFF, 5, "  0.000"},  // no negative milliamperes
        {0x7FFF, 4, " 20.000"},   {0x7FFF, 6, "3276.80"},   {0x8000, 6, "-3276.80"},
        {0, 6, "   0.00"},        {0x7FFF, NO_CHOICE, ""}, {0x7FFF, 7, ""},  // no range: nothing shown
        {0x10000, 2, ""},         // wider than 16 bits
    };
    for (const auto& r : rows) EXPECT_EQ(FormatThreshold(r.code, r.range), r.shown) << r.code << " " << r.range;
    EXPECT_STREQ(AiUnitText(0), "V");
    EXPECT_STREQ(AiUnitText(5), "mA");
    EXPECT_STREQ(AiUnitText(6), "℃");
    EXPECT_STREQ(AiUnitText(NO_CHOICE), "");
    EXPECT_TRUE(AiThermocoupleEnabled(6));
    EXPECT_FALSE(AiThermocoupleEnabled(3) || AiThermocoupleEnabled(NO_CHOICE));
}

TEST(ChannelConversions, ThresholdFromText) {
    const struct { const char* text; int range; std::int32_t code; } rows[] = {
        {"12", 2, 0x7FFF},      {"-12", 2, 0x8000},     {" 10 ", 2, 0x7FFF},   {"-10", 2, 0x8000},
        {"5", 2, 0x3FFF},       {"-5", 2, 0xC000},      {"0.05", 0, 0x3FFF},   {"25", 4, 0x7FFF},
        {"-1", 4, 0xF99A},      // stored as typed; shown as 0
        {"1e999", 2, 0},        {"-1e999", 2, 0},       {"1e-999", 2, 0},      // beyond a double: 0
        {"nan", 2, 0},          {"-inf", 2, 0},         {"infinity", 3, 0},    {"abc", 2, 0},
        {"", 2, 0},             {"+-1", 2, 0},          {"+2.5x", 2, 0x1FFF},  {"1,5", 2, 0x0CCC},
        {"3", NO_CHOICE, 0x1234},  // no range: the code is kept
    };
    for (const auto& r : rows) EXPECT_EQ(ThresholdCodeFromText(r.text, r.range, 0x1234), r.code) << r.text;
}

TEST(ChannelDialogOk, ChecksInOrderWithTheirMessages) {
    // The record as fetched; the form as the dialog shows it.
    const AiChannelSettings fetched{.m_nInputRange = 6, .m_nTcType = 1, .m_nColdJunction = 1, .m_nLedLow = 0x8000,
                                    .m_nLedHigh = 0x7FFF, .m_nScaleRange = 2, .m_nTempLow = 0, .m_nTempHigh = 1000};
    const struct {
        std::int32_t ledLow, ledHigh;
        const char *tempLow, *tempHigh;
        const char* message;
        std::int32_t storedLow, storedHigh;
    } rows[] = {
        {0x0001, 0xFFFF, "12a", "1", MSG_LED_THRESHOLD_ORDER, 0, 0},  // 1 > -1: the first check wins
        {0x0100, 0x0100, "100.0", "100.0", nullptr, 1000, 1000},      // equal thresholds, equal temperatures
        {0x8000, 0x7FFF, "12a", "3276.8", MSG_TEMP_INVALID, 0, 0},   // lower before upper
        {0x8000, 0x7FFF, "1e2", "0", MSG_TEMP_INVALID, 0, 0},
        {0x8000, 0x7FFF, " -3276.8 ", "3276.7", nullptr, -32768, 32767},
        {0x8000, 0x7FFF, "-3276.89", "3276.79", nullptr, -32768, 32767},  // truncated toward zero
        {0x8000, 0x7FFF, "3276.8", "12a", MSG_TEMP_RANGE, 0, 0},
        {0x8000, 0x7FFF, "0", "-3276.9", MSG_TEMP_RANGE, 0, 0},
        {0x8000, 0x7FFF, "0", "99999999999999999999999999999999999999", MSG_TEMP_RANGE, 0, 0},
        {0x8000, 0x7FFF, "1-2", "+3.", nullptr, 10, 30},              // read as far as they make a number
        {0x8000, 0x7FFF, "", "-", nullptr, 0, 0},                     // no digits read as 0
        {0x8000, 0x7FFF, "10", "9.99", MSG_TEMP_ORDER, 0, 0},
        {0x8000, 0x7FFF, "-1", "-1.05", nullptr, -10, -10},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.tempLow) + " / " + r.tempHigh);
        AiChannelSettings rec = fetched;
        rec.m_nLedLow = r.ledLow, rec.m_nLedHigh = r.ledHigh;
        AiChannelForm form = AiFormFromSettings(rec);
        form.tempLow = r.tempLow, form.tempHigh = r.tempHigh;
        form.tcType = 7, form.coldJunction = 0, form.burnoutDetect = 1, form.burnoutOutput = NO_CHOICE;
        const AiChannelSettings before = rec;
        const char* message = ValidateAiChannel(form, rec);
        if (r.message) {
            EXPECT_STREQ(message, r.message);
            EXPECT_EQ(Fields(rec), Fields(before));  // a refused OK keeps the record
        } else {
            ASSERT_EQ(message, nullptr) << message;
            EXPECT_EQ(Fields(rec), (std::vector<int>{6, 7, 0, 1, 0, r.ledLow, r.ledHigh, 0, 2, r.storedLow, r.storedHigh}));
        }
    }
}

TEST(ChannelDialogOk, OutOfRangeDeviceValuesShowNothingAndAreKept) {
    const AiChannelSettings odd{.m_nInputRange = 9, .m_nTcType = 8, .m_nColdJunction = 1, .m_nLedLow = 5,
                                .m_nLedHigh = 7, .m_nLedCondition = 1, .m_nScaleRange = 15};
    const AiChannelForm f = AiFormFromSettings(odd);
    EXPECT_EQ((std::vector<int>{f.inputRange, f.tcType, f.scaleRange, f.coldJunction, f.ledCondition}),
              (std::vector<int>{NO_CHOICE, NO_CHOICE, NO_CHOICE, 1, 1}));
    EXPECT_EQ(f.ledLow + f.ledHigh, "");
    EXPECT_EQ(f.tempLow + "/" + f.tempHigh, "0.0/0.0");
    AiChannelSettings rec = odd;
    ASSERT_EQ(ValidateAiChannel(f, rec), nullptr);
    EXPECT_EQ(Fields(rec), (std::vector<int>{9, 8, 1, 0, 0, 5, 7, 1, 15, 0, 0}));
    EXPECT_EQ(BuildAiChannelCommands(0, rec)[0], "AR )" + T);
}

TEST(ChannelDialogOk, CommandBytes) {
    const AiChannelSettings rec{.m_nInputRange = 3, .m_nTcType = 7, .m_nColdJunction = 1, .m_nBurnoutDetect = 0,
                                .m_nBurnoutOutput = 1, .m_nLedLow = 0x8000, .m_nLedHigh = 0x7FFF, .m_nLedCondition = 1,
                                .m_nScaleRange = 4, .m_nTempLow = -32768, .m_nTempHigh = -10};
    const auto cmds = BuildAiChannelCommands(2, rec);  // AI3 on ±30V
    EXPECT_EQ(cmds[0], "AR\x22\x23" + T);
    EXPECT_EQ(cmds[1], "TC\"'%" + T);
    EXPECT_EQ(cmds[2], "AL\"(80007FFF" + T);
    EXPECT_EQ(cmds[3], "TF\"$8000FFF6" + T);
    AiChannelSettings within = rec;
    within.m_nLedCondition = 0, within.m_nColdJunction = 0, within.m_nBurnoutOutput = 0, within.m_nTempLow = 0;
    const auto other = BuildAiChannelCommands(0, within);
    EXPECT_EQ(other[1] + other[2] + other[3], "TC ' " + T + "AL  80007FFF" + T + "TF $0000FFF6" + T);
    EXPECT_EQ((std::vector<size_t>{cmds[0].size(), cmds[1].size(), cmds[2].size(), cmds[3].size()}),
              (std::vector<size_t>{5, 6, 13, 13}));
}

// A command that cannot be sent: its code, then the time-out message, and
// nothing after it. (Answered and unanswered sequences run end to end in the
// window test.)
TEST(ChannelSequence, FailedSendShowsItsCodeThenTheTimeOut) {
    theLink.Close();
    std::vector<std::string> shown;
    EXPECT_EQ(SendChannelCommands(BuildAiChannelCommands(0, AiChannelSettings{}),
                                  [&](const std::string& t) { shown.push_back(t); }),
              -1);
    char code[64];
    std::snprintf(code, sizeof code, MSG_COMM_ERROR_CODE, LINK_E_NOT_OPEN);
    EXPECT_EQ(shown, (std::vector<std::string>{code, MSG_CHANNEL_TIMEOUT}));
    shown.clear();
    EXPECT_EQ(FetchChannel(2, [&](const std::string& t) { shown.push_back(t); }), -1);
    EXPECT_EQ(shown, std::vector<std::string>{MSG_CHANNEL_FETCH_FAILED});
    EXPECT_EQ(nChannelCountdown.load(), CHANNEL_FETCH_FAILED);
}

}  // namespace
