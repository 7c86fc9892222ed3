// The I/O unit pages without the toolkit: every command's bytes, the reply
// handler's routing (what counts, what is stored, per model), the
// conversions between analog codes and field texts, and each page's
// validation (order of the checks, exact messages, values collected, and a
// choice without a selection writing back the device's value).
#include "forms/IoUnitTexts.h"
#include "iounit/IoUnitCore.h"
#include "link/Catalogue.h"
#include "wireless/WirelessGroup.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace {

const std::string T(1, static_cast<char>(REPLY_TERMINATOR));
const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
std::string Msg(const char* message) { return message ? message : "(valid)"; }

std::vector<int> Values(const DigitalInputSettings& s) {
    return {s.m_anDestNode[0], s.m_anDestNode[1], s.m_anDestNode[2], s.m_anDestNode[3], s.m_nRetryCount,
            s.m_nNotifyInterval, s.m_nResetRequest, s.m_nSleepCode, s.m_nCommandWait, s.m_nWakeupNode,
            s.m_nChatterFilter, s.m_nExtensionMask};
}

std::vector<int> Values(const DoChannelSettings (&d)[5]) {
    std::vector<int> v;
    for (const DoChannelSettings& c : d) v.insert(v.end(), {c.m_nMode, c.m_nOneShotTime});
    return v;
}

// Every record a reply may change, as one list of numbers.
std::vector<int> AllRecords() {
    std::vector<int> v = Values(TheDigitalInputSettings());
    for (int x : Values(theDigitalOutputs)) v.push_back(x);
    for (const AoChannelSettings& a : theAnalogOutputs)
        v.insert(v.end(), {a.m_nRange, a.m_nInitialValue, a.m_nLedLow, a.m_nLedHigh, a.m_nLedCondition});
    v.insert(v.end(), {theWirelessGroup.nodeNumber, theWirelessGroup.channel});
    return v;
}

void ClearRecords() {
    theLink.ClearSettings();
    for (DoChannelSettings& d : theDigitalOutputs) d = {};
    for (AoChannelSettings& a : theAnalogOutputs) a = {};
    theWirelessGroup = WirelessGroupRecord{};
}

TEST(IoUnitCommands, Bytes) {
    const DoChannelSettings dout[5] = {{DO_MODE_STARTUP_ON, 0}, {DO_MODE_ONE_SHOT, 50}, {}, {}, {}};
    const AoChannelSettings ao[5] = {{0, 0x3FFF, 0x8000, 0x7FFF, 1}, {1, 0x8000, 0x0010, 0x0100, 0}, {}, {7, 0, 0, 0, 0}, {}};
    const struct { std::vector<std::string> built, expected; } rows[] = {
        {{BuildNotifyCommand(NotifyParams{{5, 0x64, 0, 0}, 3, 2, 7})}, {"SE'05640000\"'" + T}},
        // A value whose character would end the frame goes out as 0.
        {{BuildNotifyCommand(NotifyParams{{0x1FE, 0, 0, 0}, -0x24, 0xA8, 0})}, {"SE$FE000000  " + T}},
        {{BuildSleepCommand(SleepParams{}), BuildSleepCommand(SleepParams{6, 254, 2})}, {"SLEP 00 " + T, "SLEP&FE\"" + T}},
        {DigitalInputWriteCommands({{}, 0, 0, 1, 0, 0, 0, 0, 0x1C}), {  // reset request, extension mask 0x1C
         "SE$00000000  " + T, "SLEP 00 " + T, "MW0C911C" + T, "MW0CC101" + T}},
        {DigitalOutputWriteCommands(dout), {"MW0CB101" + T, "MW0D050032000000" + T}},  // start-up mask, times
        // Five ranges and initial values (low byte first) whatever the
        // count; one threshold command per present output.
        {AnalogOutputWriteCommands(ao, 2),
         {"MW19C50001000700" + T, "MW1A4AFF3F0080000000000000" + T, "AL (80007FFF" + T, "AL! 00100100" + T}},
    };
    for (const auto& r : rows) EXPECT_EQ(r.built, r.expected);
}

// Which answers count and what each stores, per model: the changes each
// answer must make, as (offset in AllRecords(), value); none: the records stay.
constexpr int DO = 12, AO = 22, GROUP = 47;  // DI fields 0..11; DO k at 12+2k; AO c field f at 22+5c+f

TEST(IoUnitReplyHandler, Routing) {
    const struct { int model; std::string reply; int counted; std::vector<std::pair<int, int>> changes; } rows[] = {
        {3, "sk&050A00FE\"'" + T, 1, {{0, 5}, {1, 10}, {3, 254}, {5, 2}, {10, 2}, {4, 7}}},
        {9, "sk#01000000  " + T, 1, {{0, 1}, {5, -1}}},  // interval below its list stored as is
        {3, "sk&050A00FE\"" + T, 1, {}},                 // 13 bytes: counted, nothing stored
        {2, "sy&FE\"" + T, 1, {{7, 6}, {9, 254}, {8, 2}}},
        // the hex echo in either case
        {3, "mr0C9105" + T, 1, {{11, 5}}}, {3, "mr0c9105" + T, 1, {{11, 5}}}, {3, "mr0CC101" + T, 1, {{6, 1}}},
        // count digit not the one asked for, known address of a wrong length: counted, nothing stored
        {3, "mr0C9205" + T, 1, {}}, {3, "mr0C91051" + T, 1, {}},
        {3, "mr01A60080AB123456" + T, 0, {}}, {3, "mr0C" + T, 0, {}},  // unknown address: not counted
        {4, "mr0CB105" + T, 1, {{DO, 1}, {DO + 4, 1}}},  // start-up mask: DO1 and DO3
        {4, "mr0D05000A00FF00" + T, 1, {{DO + 2, 2}, {DO + 3, 10}, {DO + 6, 2}, {DO + 7, 255}}},
        {9, "mr19C50001000000" + T, 1, {{AO + 5, 1}}},
        {9, "mr1A4AFF3F0080000000000000" + T, 1, {{AO + 1, 0x3FFF}, {AO + 6, 0x8000}}},  // low byte first
        // a count digit not the one asked for, a wrong length: counted, nothing stored
        {4, "mr0D04000A00FF00" + T, 1, {}}, {9, "mr1A4AFF3F008000000000000" + T, 1, {}},
        {9, "ak!(8000FFFF" + T, 1, {{AO + 9, 1}, {AO + 7, 0x8000}, {AO + 8, 0xFFFF}}},
        // channel 5 (no such output), a wrong length, a model without analog
        // outputs: counted, dropped
        {9, "ak% 00010002" + T, 1, {}}, {9, "ak!(8000FFF" + T, 1, {}}, {3, "ak!(8000FFFF" + T, 1, {}},
        // TQ-150-RZ's "sk", "sy" and "mr" 100 fill the analog input page's
        // layout of the same block (AnalogCoreTest); its channel answers
        // touch no other page's record.
        {8, "ak!(8000FFFF" + T, 1, {}}, {9, "aj! " + T, 1, {}}, {8, "tj! ! 000003E8" + T, 1, {}},
        {3, "gj! 0012ABCD05 " + T, 1, {{GROUP, 5}, {GROUP + 1, 1}}},
        {3, "gj! 0012ABCD05" + T, 1, {}}, {3, "gi!!!" + T, 0, {}},  // device error answer: not counted
    };
    for (const auto& row : rows) {
        ClearRecords();
        theLink.m_nModelCode = row.model;
        std::vector<int> expected = AllRecords();
        for (const auto& [at, value] : row.changes) expected[at] = value;
        EXPECT_EQ(IoUnitReplyHandler(nullptr, U(row.reply), int(row.reply.size())), row.counted) << row.reply;
        EXPECT_EQ(AllRecords(), expected) << row.model << " " << row.reply;
    }
    // Acknowledgements count at any length; other letters and short answers do not.
    for (const char* ack : {"al", "ap", "ar", "mw0C91", "rs", "se", "sl", "tc", "tf"})
        EXPECT_EQ(IoUnitReplyHandler(nullptr, U(ack + T), int(std::string(ack).size()) + 1), 1) << ack;
    for (const std::string& other : {"zz" + T, "sj" + T, "s" + T})
        EXPECT_EQ(IoUnitReplyHandler(nullptr, U(other), int(other.size())), 0) << other;
    theLink.m_nModelCode = 0;
}

// Codes shown in each range's format; typed text read back as codes
// (clamped to full scale; no number, NaN and infinity read as 0).
TEST(AnalogOutputConversions, CodesAndTexts) {
    const struct { long code; int range; std::string text; } shown[] = {
        {0x8000, AO_RANGE_VOLTAGE, "-10.00000"}, {0x7FFF, AO_RANGE_CURRENT, " 20.000"},
        {0x7FFF, NO_CHOICE, "10.00000"}, {0x10000, AO_RANGE_VOLTAGE, ""},  // no range: the voltage scale
    };
    for (const auto& s : shown) EXPECT_EQ(FormatAoCode(s.code, s.range), s.text) << s.code;
    const struct { std::string text; int range; long code; } typed[] = {
        // "4.99985": 0x3FFF as shown gives its code again
        {"5", AO_RANGE_VOLTAGE, 0x3FFF},      {"25", AO_RANGE_CURRENT, 0x7FFF},         {"-10", AO_RANGE_VOLTAGE, 0x8000},
        {" 3276.8 ", AO_RANGE_VOLTAGE, 0x7FFF}, {"-3276.8", AO_RANGE_CURRENT, 0x8000},  {"-0.001", AO_RANGE_VOLTAGE, 0xFFFD},
        {"5V", AO_RANGE_VOLTAGE, 0x3FFF},     {"+1", AO_RANGE_VOLTAGE, 3276},           {".5e1", AO_RANGE_VOLTAGE, 0x3FFF},
        {"0x10", AO_RANGE_VOLTAGE, 0},        {"4.99985", AO_RANGE_VOLTAGE, 0x3FFF},
        {"nan", AO_RANGE_VOLTAGE, 0}, {"-inf", AO_RANGE_CURRENT, 0}, {"1e999", AO_RANGE_VOLTAGE, 0},
        {"abc", AO_RANGE_VOLTAGE, 0}, {"--5", AO_RANGE_VOLTAGE, 0},  {"", AO_RANGE_CURRENT, 0},
    };
    for (const auto& t : typed) EXPECT_EQ(AoCodeFromText(t.text, t.range), t.code) << t.text;
}

TEST(DigitalInputForm, ShownAndCollectedBack) {
    // Values outside their lists select nothing.
    const DigitalInputFormValues f = DigitalInputFormFromSettings({{}, 0, -1, 2, 11, 3, 7, 13, 0});
    EXPECT_EQ((std::vector<int>{f.notify.notifyInterval, f.chatterFilter, f.sleep.enabled, f.sleep.sleepInterval,
                                f.sleep.commandWait, f.resetRequest}),
              (std::vector<int>{NO_CHOICE, NO_CHOICE, 1, NO_CHOICE, NO_CHOICE, 0}));
    // Shown and collected again, every value comes back, those without a
    // selection included.
    for (const DigitalInputSettings& device : {DigitalInputSettings{{5, 254, 0, 0}, 3, 11, 1, 0, 2, 0, 12, 0x12},
                                               DigitalInputSettings{{1, 2, 3, 4}, 0, -1, 0, 11, 3, 7, 13, 1},
                                               DigitalInputSettings{{}, 7, 12, 1, 10, 0, 1, -5, 0x1F}}) {
        DigitalInputSettings out{};
        EXPECT_EQ(ValidateDigitalInputForm(DigitalInputFormFromSettings(device), device, &out), nullptr);
        EXPECT_EQ(Values(out), Values(device));
    }
}

TEST(DigitalInputForm, Validation) {
    using F = DigitalInputFormValues;
    F base;
    base.notify = {{"", " 5", "0", "9"}, "3", 2};
    base.chatterFilter = 1, base.extensionEnabled = true;
    base.di[3] = base.di[4] = true;  // boxes hidden on a two-input model keep their bits
    base.sleep = {true, 4, 1, "254"};
    const struct { std::function<void(F&)> edit; const char* message; std::vector<int> stored; } rows[] = {
        {[](F&) {}, nullptr, {5, 9, 0, 0, 3, 2, 0, 5, 1, 254, 1, 0x18}},
        {[](F& f) { f.notify.retryCount = "", f.resetRequest = true, f.extensionEnabled = false, f.sleep.enabled = false; },
         nullptr, {5, 9, 0, 0, 0, 2, 1, 0, 1, 0, 1, 0}},
        {[](F& f) { f.notify.destNode[2] = "255"; }, MSG_IO_DEST_NODE_RANGE, {}},
        {[](F& f) { f.notify.destNode[0] = "4294967296"; }, MSG_IO_DEST_NODE_RANGE, {}},  // checked before narrowing
        {[](F& f) { f.notify.destNode[0] = "-1"; }, MSG_IO_DEST_NODE_RANGE, {}},
        {[](F& f) { f.notify.destNode[3] = "1000", f.notify.retryCount = "8"; }, MSG_IO_DEST_NODE_RANGE, {}},
        {[](F& f) { f.notify.retryCount = "8", f.di[3] = f.di[4] = false; }, MSG_RETRY_RANGE, {}},
        {[](F& f) { f.di[3] = f.di[4] = false, f.sleep.wakeupNode = "0"; }, MSG_EXTENSION_NONE, {}},
        {[](F& f) { f.sleep.wakeupNode = "255"; }, MSG_WAKEUP_RANGE, {}}, {[](F& f) { f.sleep.wakeupNode = ""; }, MSG_WAKEUP_RANGE, {}},
        {[](F& f) { f.sleep.enabled = false, f.sleep.wakeupNode = "999"; }, nullptr, {5, 9, 0, 0, 3, 2, 0, 0, 1, 0, 1, 0x18}},
    };
    for (const auto& row : rows) {
        F form = base;
        row.edit(form);
        DigitalInputSettings out{};
        EXPECT_EQ(Msg(ValidateDigitalInputForm(form, DigitalInputSettings{}, &out)), Msg(row.message));
        if (!row.message) { EXPECT_EQ(Values(out), row.stored); }
    }
}

TEST(DigitalOutputForm, ShownAndValidated) {
    const DoChannelSettings device[5] = {{1, 0}, {2, 10}, {0, 0}, {7, 3}, {2, 255}};
    using F = DigitalOutputFormValues;
    const F shown = DigitalOutputFormFromSettings(device);
    EXPECT_EQ(shown.rows[3].mode, NO_CHOICE);  // mode 7 is outside the list
    const struct { std::function<void(F&)> edit; const char* message; std::vector<int> stored; } rows[] = {
        // Unchanged: a row without a selection writes back what the device had.
        {[](F&) {}, nullptr, {1, 0, 2, 10, 0, 0, 7, 3, 2, 255}},
        {[](F& g) { g.rows[0] = {DO_MODE_NORMAL, "12"}, g.rows[3] = {DO_MODE_STARTUP_ON, "5"}; }, nullptr,
         {0, 0, 2, 10, 0, 0, 1, 0, 2, 255}},
        {[](F& g) { g.rows[1].time = "0"; }, MSG_ONE_SHOT_RANGE, {}}, {[](F& g) { g.rows[1].time = "256"; }, MSG_ONE_SHOT_RANGE, {}},
        {[](F& g) { g.rows[1].time = ""; }, MSG_ONE_SHOT_RANGE, {}}, {[](F& g) { g.rows[1].time = "-1"; }, MSG_ONE_SHOT_RANGE, {}},
        {[](F& g) { g.rows[4].time = "2550"; }, nullptr, {1, 0, 2, 10, 0, 0, 7, 3, 2, 255}},  // first 3 characters
    };
    for (const auto& row : rows) {
        F form = shown;
        row.edit(form);
        DoChannelSettings out[5];
        EXPECT_EQ(Msg(ValidateDigitalOutputForm(form, device, out)), Msg(row.message));
        if (!row.message) { EXPECT_EQ(Values(out), row.stored); }
    }
}

TEST(AnalogOutputForm, Validation) {
    const AoChannelSettings device[5] = {{0, 0, 0, 0, 0}, {1, 0, 0, 0, 1}, {5, 0xC000, 0, 0, 0}, {1, 0, 9, 1, 0}, {}};
    using F = AnalogOutputFormValues;
    const F shown = AnalogOutputFormFromSettings(device);
    EXPECT_EQ(shown.rows[2].range, NO_CHOICE);
    // stored (when given): AO2's LED condition; AO3's range and initial
    // value, its range chosen by nobody staying the device's; AO4's range and
    // Low, beyond the count and so 0.
    const struct { std::function<void(F&)> edit; const char* message; std::vector<int> stored; } rows[] = {
        {[](F&) {}, nullptr, {1, 5, 0xC000, 0, 0}},  // AO4's Low above High is beyond the count: zeroed, not checked
        {[](F& f) { f.rows[0].ledLow = f.rows[0].ledHigh = AoCodeFromText("2.0", 0); }, nullptr, {}},
        {[](F& f) { f.rows[0].ledLow = AoCodeFromText("3", 0), f.rows[0].ledHigh = AoCodeFromText("2", 0); },
         MSG_LED_THRESHOLD_ORDER, {}},
        {[](F& f) { f.rows[0].ledLow = 0x8000, f.rows[0].ledHigh = 0x7FFF; }, nullptr, {}},  // signed comparison
        {[](F& f) { f.rows[1].initialValue = AoCodeFromText("-1", 1); }, MSG_CURRENT_INITIAL_NEGATIVE, {}},
        {[](F& f) { f.rows[1].initialValue = 0xFFFF, f.rows[1].ledLow = 1; }, MSG_LED_THRESHOLD_ORDER, {}},
        {[](F& f) { f.rows[0].range = AO_RANGE_CURRENT, f.rows[0].initialValue = 0x8000; }, MSG_CURRENT_INITIAL_NEGATIVE, {}},
    };
    for (const auto& row : rows) {
        F form = shown;
        row.edit(form);
        AoChannelSettings out[5];
        EXPECT_EQ(Msg(ValidateAnalogOutputForm(form, 3, device, out)), Msg(row.message));
        if (row.stored.empty()) continue;
        EXPECT_EQ(std::vector<int>({out[1].m_nLedCondition, out[2].m_nRange, out[2].m_nInitialValue, out[3].m_nRange,
                                    out[3].m_nLedLow}), row.stored);
    }
}

}  // namespace
