#include "iounit/IoUnitProfile.h"

#include "forms/IoUnitTexts.h"
#include "forms/ProfileTexts.h"
#include "iounit/IoUnitCore.h"
#include "link/Catalogue.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

const char* const kDoModes[] = {TXT_DO_NORMAL, TXT_DO_STARTUP_ON, TXT_DO_ONE_SHOT};
const char* const kAoRanges[] = {TXT_AO_VOLTAGE, TXT_AO_CURRENT};

ProfileJson Choice(const char* const* items, int count, int index) {
    if (index < 0 || index >= count) return nullptr;  // the device's value lies outside the list
    return items[index];
}

std::string Numbered(const char* prefix, int n) { return prefix + std::to_string(n); }

int Count(int model, int column) { return std::min(ModelChannels(model, column), 5); }

// ---- analog values ----

double Parse(const char* begin, const char* end) {
    double v = 0;
    std::from_chars(begin, end, v, std::chars_format::fixed);
    return v;
}

// value with d decimals, as the decimal text reads back.
double Rounded(double value, int d) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, d);
    return ec == std::errc() ? Parse(buf, end) : value;
}

// ---- digital input page ----

ProfileJson DigitalInputSettingsOf(const DigitalInputFormValues& f, int inputs) {
    ProfileJson s = ProfileJson::object();
    for (int i = 0; i < DEST_NODE_COUNT; ++i)
        s[Numbered("destNode", i + 1)] = ReadNumericField(f.notify.destNode[i], -1, false);
    s["retryCount"] = ReadNumericField(f.notify.retryCount, 1, false);
    s["notifyInterval"] = Choice(NOTIFY_INTERVALS, NOTIFY_INTERVAL_COUNT, f.notify.notifyInterval);
    s["resetRequest"] = f.resetRequest;
    s["chatterFilter"] = Choice(CHATTER_FILTERS, CHATTER_FILTER_COUNT, f.chatterFilter);
    s["extensionEnabled"] = f.extensionEnabled;
    ProfileJson& ext = s["extension"] = ProfileJson::object();
    for (int n = 0; n < inputs; ++n) ext[Numbered("DI", n + 1)] = f.di[n];
    s["sleepEnabled"] = f.sleep.enabled;
    s["sleepInterval"] = Choice(SLEEP_INTERVALS, SLEEP_INTERVAL_COUNT, f.sleep.sleepInterval);
    s["commandWait"] = Choice(COMMAND_WAITS, COMMAND_WAIT_COUNT, f.sleep.commandWait);
    s["wakeupNode"] = ReadNumericField(f.sleep.wakeupNode, 3, false);
    return s;
}

void ReadDigitalInput(ProfileReader r, int inputs, DigitalInputFormValues* f) {
    for (int i = 0; i < DEST_NODE_COUNT; ++i) {
        int node = 0;
        if (r.Int(Numbered("destNode", i + 1).c_str(), 0, 254, &node, MSG_IO_DEST_NODE_RANGE))
            f->notify.destNode[i] = node == 0 ? std::string() : std::to_string(node);
    }
    int retry = 0, wakeup = 0;
    if (r.Int("retryCount", 0, 7, &retry, MSG_RETRY_RANGE)) f->notify.retryCount = std::to_string(retry);
    r.Choice("notifyInterval", NOTIFY_INTERVALS, NOTIFY_INTERVAL_COUNT, &f->notify.notifyInterval);
    r.Bool("resetRequest", &f->resetRequest);
    r.Choice("chatterFilter", CHATTER_FILTERS, CHATTER_FILTER_COUNT, &f->chatterFilter);
    r.Bool("extensionEnabled", &f->extensionEnabled);
    ProfileReader ext = r.Object("extension");
    for (int n = 0; n < inputs; ++n) ext.Bool(Numbered("DI", n + 1).c_str(), &f->di[n]);
    ext.Finish();
    r.Bool("sleepEnabled", &f->sleep.enabled);
    r.Choice("sleepInterval", SLEEP_INTERVALS, SLEEP_INTERVAL_COUNT, &f->sleep.sleepInterval);
    r.Choice("commandWait", COMMAND_WAITS, COMMAND_WAIT_COUNT, &f->sleep.commandWait);
    if (r.Int("wakeupNode", 0, 254, &wakeup, MSG_WAKEUP_RANGE)) f->sleep.wakeupNode = std::to_string(wakeup);
    r.Finish();
}

// ---- digital output page ----

ProfileJson DigitalOutputSettingsOf(const DigitalOutputFormValues& f, int outputs) {
    ProfileJson s = ProfileJson::object();
    for (int k = 0; k < outputs; ++k) {
        ProfileJson& row = s[Numbered("DO", k + 1)];
        row["mode"] = Choice(kDoModes, DO_MODE_COUNT, f.rows[k].mode);
        row["oneShotTime"] = ReadNumericField(f.rows[k].time, 3, false);
    }
    return s;
}

void ReadDigitalOutput(ProfileReader r, int outputs, DigitalOutputFormValues* f) {
    for (int k = 0; k < outputs; ++k) {
        const std::string key = Numbered("DO", k + 1);
        ProfileReader row = r.Object(key.c_str());
        int time = 0;
        row.Choice("mode", kDoModes, DO_MODE_COUNT, &f->rows[k].mode);
        // The page reads the time of a one-shot output only, and wants 1..255.
        if (row.Int("oneShotTime", 0, 255, &time, MSG_ONE_SHOT_RANGE) && f->rows[k].mode == DO_MODE_ONE_SHOT &&
            time == 0)
            row.Fail("oneShotTime", MSG_ONE_SHOT_RANGE);
        f->rows[k].time = std::to_string(time);
        row.Finish();
    }
    r.Finish();
}

// ---- analog output page ----

constexpr int kAoDecimals[AO_RANGE_COUNT] = {5, 3};  // "%7.5f" voltage, "%7.3f" current

ProfileJson AnalogOutputSettingsOf(const AnalogOutputFormValues& f, int outputs) {
    ProfileJson s = ProfileJson::object();
    for (int k = 0; k < outputs; ++k) {
        const AoRowValues& v = f.rows[k];
        ProfileJson& row = s[Numbered("AO", k + 1)];
        row["range"] = Choice(kAoRanges, AO_RANGE_COUNT, v.range);
        const double fs = AoFullScale(v.range);
        const int decimals = kAoDecimals[v.range == AO_RANGE_CURRENT ? 1 : 0];
        row["initialValue"] = AnalogProfileValue(v.initialValue, fs, decimals);
        row["ledLow"] = AnalogProfileValue(v.ledLow, fs, decimals);
        row["ledHigh"] = AnalogProfileValue(v.ledHigh, fs, decimals);
        row["ledCondition"] = Choice(LED_CONDITIONS, LED_CONDITION_COUNT, v.ledCondition);
    }
    return s;
}

// A value within +-fullScale as its code; outside it refused (the page would
// clamp it silently, a profile names it).
bool AnalogField(ProfileReader& r, const char* key, double fullScale, long* code) {
    double value = 0;
    if (!r.Number(key, &value)) return false;
    if (!(std::fabs(value) <= fullScale)) {
        char low[32], high[32];
        std::snprintf(low, sizeof low, "%g", -fullScale);
        std::snprintf(high, sizeof high, "%g", fullScale);
        char rule[256];
        std::snprintf(rule, sizeof rule, FMT_FIELD_VALUE_RANGE, low, high);
        r.Fail(key, rule);
        return false;
    }
    *code = AnalogProfileCode(value, fullScale);
    return true;
}

void ReadAnalogOutput(ProfileReader r, int outputs, AnalogOutputFormValues* f) {
    for (int k = 0; k < outputs; ++k) {
        const std::string key = Numbered("AO", k + 1);
        ProfileReader row = r.Object(key.c_str());
        AoRowValues& v = f->rows[k];
        if (row.Choice("range", kAoRanges, AO_RANGE_COUNT, &v.range)) {
            const double fs = AoFullScale(v.range);
            AnalogField(row, "initialValue", fs, &v.initialValue);
            AnalogField(row, "ledLow", fs, &v.ledLow);
            AnalogField(row, "ledHigh", fs, &v.ledHigh);
        }
        row.Choice("ledCondition", LED_CONDITIONS, LED_CONDITION_COUNT, &v.ledCondition);
        row.Finish();
    }
    r.Finish();
}

}  // namespace

double AnalogProfileValue(long code, double fullScale, int decimals) {
    code &= 0xFFFF;
    double exact = 0;
    if (RawToPhysical(code, fullScale, &exact) != 0) return 0;
    for (int d = decimals; d <= 12; ++d) {
        const double near = Rounded(exact, d);
        if (AnalogProfileCode(near, fullScale) == code) return near;
        // Rounded toward zero, the text may fall just below the code's step:
        // the next decimal away from zero lies inside it.
        const double away = Rounded(near + std::copysign(std::pow(10.0, -d), exact), d);
        if (std::fabs(away) <= fullScale && AnalogProfileCode(away, fullScale) == code) return away;
    }
    return exact;
}

long AnalogProfileCode(double value, double fullScale) {
    constexpr double kMargin = 1e-6;  // of one step
    if (value >= 0) return static_cast<long>(std::trunc(value * 32767.0 / fullScale + kMargin)) & 0xFFFF;
    const long magnitude = static_cast<long>(std::trunc(-value * 32768.0 / fullScale + kMargin));
    return (65536 - magnitude) & 0xFFFF;
}

IoUnitRecords TheIoUnitRecords() {
    IoUnitRecords r;
    r.digitalInput = TheDigitalInputSettings();
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) r.digitalOutput[k] = theDigitalOutputs[k];
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) r.analogOutput[k] = theAnalogOutputs[k];
    return r;
}

void StoreIoUnitRecords(const IoUnitRecords& r) {
    TheDigitalInputSettings() = r.digitalInput;
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) theDigitalOutputs[k] = r.digitalOutput[k];
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) theAnalogOutputs[k] = r.analogOutput[k];
}

IoUnitFormValues IoUnitFormFromRecords(const IoUnitRecords& r) {
    return IoUnitFormValues{DigitalInputFormFromSettings(r.digitalInput),
                            DigitalOutputFormFromSettings(r.digitalOutput),
                            AnalogOutputFormFromSettings(r.analogOutput)};
}

ProfileJson IoUnitProfileSettings(const IoUnitFormValues& form, int model) {
    ProfileJson s = ProfileJson::object();
    for (IoUnitPage page : IoUnitPages(model)) {
        switch (page) {
        case IoUnitPage::DigitalInput:
            s["digitalInput"] = DigitalInputSettingsOf(form.digitalInput, Count(model, CH_DI));
            break;
        case IoUnitPage::AnalogInput: break;
        case IoUnitPage::DigitalOutput:
            s["digitalOutput"] = DigitalOutputSettingsOf(form.digitalOutput, Count(model, CH_DO));
            break;
        case IoUnitPage::AnalogOutput:
            s["analogOutput"] = AnalogOutputSettingsOf(form.analogOutput, Count(model, CH_AO));
            break;
        }
    }
    return s;
}

bool IoUnitFormFromProfile(const ProfileJson& settings, int model, const IoUnitRecords& device,
                           IoUnitFormValues* form, ProfileError* error) {
    *error = ProfileError{};
    IoUnitFormValues f = IoUnitFormFromRecords(device);
    ProfileReader r(&settings, "settings", error);
    for (IoUnitPage page : IoUnitPages(model)) {
        switch (page) {
        case IoUnitPage::DigitalInput:
            ReadDigitalInput(r.Object("digitalInput"), Count(model, CH_DI), &f.digitalInput);
            break;
        case IoUnitPage::AnalogInput: break;
        case IoUnitPage::DigitalOutput:
            ReadDigitalOutput(r.Object("digitalOutput"), Count(model, CH_DO), &f.digitalOutput);
            break;
        case IoUnitPage::AnalogOutput:
            ReadAnalogOutput(r.Object("analogOutput"), Count(model, CH_AO), &f.analogOutput);
            break;
        }
    }
    if (!r.Finish()) return false;

    // The pages' own validation, for the rules between fields; the message
    // is put on the field it speaks of.
    IoUnitRecords scratch;
    if (const char* message = ValidateIoUnitForm(f, device, model, &scratch)) {
        std::string field = "settings";
        if (message == MSG_EXTENSION_NONE) field = "settings.digitalInput.extensionEnabled";
        else if (message == MSG_WAKEUP_RANGE) field = "settings.digitalInput.wakeupNode";
        else if (message == MSG_LED_THRESHOLD_ORDER || message == MSG_CURRENT_INITIAL_NEGATIVE) {
            // The first output the page refuses.
            for (int k = 1; k <= Count(model, CH_AO); ++k) {
                AoChannelSettings out[ANALOG_OUTPUT_MAX];
                if (ValidateAnalogOutputForm(f.analogOutput, k, device.analogOutput, out)) {
                    field = "settings.analogOutput." + Numbered("AO", k) +
                            (message == MSG_LED_THRESHOLD_ORDER ? ".ledLow" : ".initialValue");
                    break;
                }
            }
        }
        *error = ProfileError{field, message};
        return false;
    }
    *form = f;
    return true;
}

const char* ValidateIoUnitForm(const IoUnitFormValues& form, const IoUnitRecords& device, int model,
                               IoUnitRecords* out) {
    *out = device;
    for (IoUnitPage page : IoUnitPages(model)) {
        const char* message = nullptr;
        switch (page) {
        case IoUnitPage::DigitalInput:
            message = ValidateDigitalInputForm(form.digitalInput, device.digitalInput, &out->digitalInput);
            break;
        case IoUnitPage::AnalogInput: break;
        case IoUnitPage::DigitalOutput:
            message = ValidateDigitalOutputForm(form.digitalOutput, device.digitalOutput, out->digitalOutput);
            break;
        case IoUnitPage::AnalogOutput:
            message = ValidateAnalogOutputForm(form.analogOutput, Count(model, CH_AO), device.analogOutput,
                                               out->analogOutput);
            break;
        }
        if (message) return message;
    }
    return nullptr;
}

std::vector<std::string> IoUnitReadCommands(int model) {
    std::vector<std::string> commands;
    auto add = [&](const std::vector<std::string>& more) { commands.insert(commands.end(), more.begin(), more.end()); };
    for (IoUnitPage page : IoUnitPages(model)) {
        switch (page) {
        case IoUnitPage::DigitalInput: add(DigitalInputReadCommands()); break;
        case IoUnitPage::AnalogInput: break;
        case IoUnitPage::DigitalOutput: add(DigitalOutputReadCommands()); break;
        case IoUnitPage::AnalogOutput: add(AnalogOutputReadCommands(ModelChannels(model, CH_AO))); break;
        }
    }
    return commands;
}

std::vector<std::string> IoUnitWriteCommands(const IoUnitRecords& r, int model) {
    std::vector<std::string> commands;
    auto add = [&](const std::vector<std::string>& more) { commands.insert(commands.end(), more.begin(), more.end()); };
    for (IoUnitPage page : IoUnitPages(model)) {
        switch (page) {
        case IoUnitPage::DigitalInput: add(DigitalInputWriteCommands(r.digitalInput)); break;
        case IoUnitPage::AnalogInput: break;
        case IoUnitPage::DigitalOutput: add(DigitalOutputWriteCommands(r.digitalOutput)); break;
        case IoUnitPage::AnalogOutput:
            add(AnalogOutputWriteCommands(r.analogOutput, ModelChannels(model, CH_AO)));
            break;
        }
    }
    return commands;
}
