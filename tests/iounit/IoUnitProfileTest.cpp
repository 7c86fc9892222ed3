// I/O unit profiles: analog values that name every 16-bit code exactly; one
// table of each model's profile loaded back (unchanged: the device's own
// write; one field changed: refused by name with the pages' own rules); and
// the write commands being the window's own (the frames its write routine
// sends, seen through the link's trace hook).
#include "forms/IoUnitTexts.h"
#include "forms/ProfileTexts.h"
#include "iounit/IoUnitCore.h"
#include "iounit/IoUnitProfile.h"
#include "link/Catalogue.h"
#ifdef RZ_HAVE_SIMULATOR
#include "tests/wireless/SimLink.h"
#endif

#include <gtest/gtest.h>

namespace {

TEST(IoUnitProfile, AnalogValuesNameEveryCode) {
    // Full scales and the pages' decimals: analog outputs 10 V and 20 mA; the
    // channel dialog's input ranges.
    for (auto [fs, decimals] : {std::pair{10.0, 5}, std::pair{20.0, 3}, std::pair{0.1, 4}, std::pair{1.0, 4},
                                std::pair{30.0, 3}, std::pair{3276.8, 2}}) {
        for (long code = 0; code <= 0xFFFF; ++code) {
            const double v = AnalogProfileValue(code, fs, decimals);
            ASSERT_EQ(AnalogProfileCode(v, fs), code) << fs << " " << code << " " << v;
        }
    }
    // Every temperature of a channel reads back as the dialog reads its field
    // (into a device whose own temperatures are 0).
    IoUnitRecords r{}, blank{};
    for (int t = -32768; t <= 32767; ++t) {
        r.analogInput.m_aChannel[0] = AiChannelSettings{2, 0, 0, 0, 0, 0, 0, 0, 0, t, t};
        IoUnitFormValues form;
        ProfileError error;
        ASSERT_TRUE(IoUnitFormFromProfile(IoUnitProfileSettings(IoUnitFormFromRecords(r), MODEL_TQ150), MODEL_TQ150,
                                          blank, &form, &error)) << t << error.Text();
        ASSERT_EQ(form.channels[0].m_nTempLow, t);
    }
    // The page's own text where it is exact; the page's reading of typed text.
    EXPECT_EQ(AnalogProfileValue(0x3FFF, 10.0, 5), 4.99985);
    EXPECT_EQ(AnalogProfileValue(0x8000, 10.0, 5), -10.0);
    EXPECT_EQ(AnalogProfileCode(5.0, 10.0), 0x3FFF);  // truncated like the page: 16383.5
    EXPECT_EQ(AnalogProfileCode(-5.0, 10.0), 0xC000);
    EXPECT_EQ(AnalogProfileCode(20.0, 20.0), 0x7FFF);
}

IoUnitRecords Records() {
    IoUnitRecords r;
    r.digitalInput = DigitalInputSettings{{5, 0, 0, 0}, 3, 2, 1, 6, 1, 9, 4, 0x01};
    r.digitalOutput[0] = {DO_MODE_STARTUP_ON, 0}, r.digitalOutput[1] = {DO_MODE_ONE_SHOT, 50};
    r.analogOutput[1] = {AO_RANGE_CURRENT, 0x4000, 0, 0x7FFF, 1};
    r.analogInput = AnalogInputSettings{{7, 0, 0, 0}, 2, 3, 0, 1, 0, {}};
    r.analogInput.m_aChannel[1] = AiChannelSettings{6, 3, 1, 1, 1, 0x0100, 0x0200, 1, 4, -100, 2500};
    return r;
}

// Each model's profile of Records() loaded back into them: unchanged, it
// gives the device's own write; with one field changed (TQ-160-RZ: digital
// inputs, analog outputs; TQ-150-RZ; TQ-130-RZ: digital outputs) it is
// refused, naming the field ("" for none) and the pages' rule.
TEST(IoUnitProfile, LoadedBackPerModel) {
    const IoUnitRecords device = Records();
    const struct { int model; std::string path; ProfileJson value; std::string field, rule; } rows[] = {
        {1, "", {}, "", ""}, {2, "", {}, "", ""}, {3, "", {}, "", ""}, {4, "", {}, "", ""}, {8, "", {}, "", ""}, {9, "", {}, "", ""},
        {9, "/digitalInput/destNode2", 255, "digitalInput.destNode2", MSG_IO_DEST_NODE_RANGE},
        {9, "/digitalInput/retryCount", 8, "digitalInput.retryCount", MSG_RETRY_RANGE},
        {9, "/digitalInput/chatterFilter", "5ms", "digitalInput.chatterFilter", "次のいずれかで指定してください: 4ms"},
        {9, "/digitalInput/extension/DI1", false, "digitalInput.extensionEnabled", MSG_EXTENSION_NONE},
        {9, "/digitalInput/extension/DI4", true, "digitalInput.extension.DI4", MSG_FIELD_UNKNOWN},  // 3 inputs
        {9, "/digitalInput/wakeupNode", 0, "digitalInput.wakeupNode", MSG_WAKEUP_RANGE},
        {9, "/analogOutput/AO2/initialValue", 20.5, "analogOutput.AO2.initialValue", "-20 - 20 の範囲で指定してください。"},
        {9, "/analogOutput/AO2/initialValue", -1, "analogOutput.AO2.initialValue", MSG_CURRENT_INITIAL_NEGATIVE},
        {9, "/analogOutput/AO3/ledLow", 1, "analogOutput.AO3.ledLow", MSG_LED_THRESHOLD_ORDER},
        {9, "/analogOutput/AO1/range", "電力", "analogOutput.AO1.range", "次のいずれかで指定してください: 電圧, 電流"},
        {9, "/analogOutput/AO1/ledHigh", "1", "analogOutput.AO1.ledHigh", MSG_FIELD_NUMBER},
        {8, "/analogInput/AI2/tempLow", 3276.8, "analogInput.AI2.tempLow", "下限・上限温度は-3276.8 - 3276.7度"},
        {8, "/analogInput/AI2/tempHigh", -20.0, "analogInput.AI2.tempHigh", "下限より上限を大きく設定してください。"},
        {8, "/analogInput/AI2/ledHigh", 2.0, "analogInput.AI2.ledLow", MSG_LED_THRESHOLD_ORDER},
        {8, "/analogInput/AI3/coldJunction", "On", "analogInput.AI3.coldJunction", "次のいずれかで指定してください: OFF, ON"},
        {8, "/analogInput/AI4", ProfileJson::object(), "analogInput.AI4", MSG_FIELD_UNKNOWN},  // 3 inputs
        {3, "/digitalOutput/DO2/oneShotTime", 0, "digitalOutput.DO2.oneShotTime", MSG_ONE_SHOT_RANGE},
        {3, "/digitalOutput/DO3/oneShotTime", 256, "digitalOutput.DO3.oneShotTime", MSG_ONE_SHOT_RANGE},
        {3, "/digitalOutput/DO4", ProfileJson::object(), "digitalOutput.DO4", MSG_FIELD_UNKNOWN},  // 3 outputs
        {3, "/analogOutput", ProfileJson::object(), "analogOutput", MSG_FIELD_UNKNOWN},  // no such page
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(std::to_string(c.model) + " " + c.path);
        ProfileJson s = IoUnitProfileSettings(IoUnitFormFromRecords(device), c.model);
        if (!c.path.empty()) s[ProfileJson::json_pointer(c.path)] = c.value;
        IoUnitFormValues form;
        ProfileError error;
        const bool taken = IoUnitFormFromProfile(s, c.model, device, &form, &error);
        EXPECT_EQ(taken ? "" : error.field + ": " + error.rule.substr(0, c.rule.size()),
                  c.field.empty() ? "" : "settings." + c.field + ": " + c.rule);
        IoUnitRecords out;
        if (!taken) continue;
        ASSERT_EQ(ValidateIoUnitForm(form, device, c.model, &out), nullptr);
        EXPECT_EQ(IoUnitWriteCommands(out, c.model), IoUnitWriteCommands(device, c.model));
    }
}

#ifdef RZ_HAVE_SIMULATOR
// Sent frames are traced on the sending thread, this test's own; the
// receive thread's calls return at once.
std::vector<std::string> g_sent;

void RecordSent(const TraceFrame& f) {
    if (f.direction != TraceDirection::Sent) return;
    g_sent.emplace_back(reinterpret_cast<const char*>(f.bytes) + 2, f.len - 2);  // without the node prefix
}

// The profile's write sends what the window's write routine sends, for every
// I/O unit model (TQ-150-RZ: after the channels' commands, which its channel
// dialog sends).
TEST(IoUnitProfile, WriteCommandsAreTheWindowsOwn) {
    for (int model : {1, 2, 3, 4, 8, 9}) {
        SimLink sim("device 0 model " + std::to_string(model) + "\n");
        ASSERT_TRUE(sim.ok()) << sim.error();
        static int context;
        theLink.SetReplyHandler(&context, &IoUnitReplyHandler);
        theLink.m_nModelCode = model;
        StoreIoUnitRecords(Records(), model);
        g_sent.clear();
        theLink.SetTraceHook(&RecordSent);
        StepFailure failure;
        EXPECT_EQ(WriteIoUnitPages(nullptr, &failure), 0) << model << " " << failure.error;
        theLink.SetTraceHook(nullptr);
        const std::vector<std::string> all = IoUnitWriteCommands(Records(), model);
        const std::ptrdiff_t channels = model == MODEL_TQ150 ? 3 * 4 : 0;  // AR, TC, AL, TF of each input
        EXPECT_EQ(g_sent, std::vector<std::string>(all.begin() + channels, all.end())) << model;
        theLink.SetReplyHandler(nullptr, nullptr);
    }
}

#endif  // RZ_HAVE_SIMULATOR

}  // namespace
