#include "iounit/IoUnitProfile.h"

#include "forms/AnalogTexts.h"
#include "forms/IoUnitTexts.h"
#include "forms/ProfileTexts.h"
#include "iounit/IoUnitCore.h"
#include "link/Catalogue.h"

#include <charconv>
#include <cstring>
#include <cmath>
#include <cstdio>

namespace {

// The validators return the texts themselves; a text is compared by its
// characters (the same literal may sit at other addresses in other units).
bool Is(const char* message, const char* text) { return message && std::strcmp(message, text) == 0; }

const char* const kDoModes[] = {TXT_DO_NORMAL, TXT_DO_STARTUP_ON, TXT_DO_ONE_SHOT};
const char* const kAoRanges[] = {TXT_AO_VOLTAGE, TXT_AO_CURRENT};

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

// ---- notification and sleep fields (both input pages) ----

ProfileJson NotifySettings(const NotifyFormValues& n, ProfileJson s) {
    for (int i = 0; i < DEST_NODE_COUNT; ++i) s[Numbered("destNode", i + 1)] = ReadNumericField(n.destNode[i], -1, false);
    s["retryCount"] = ReadNumericField(n.retryCount, 1, false);
    s["notifyInterval"] = ChoiceValue(NOTIFY_INTERVALS, NOTIFY_INTERVAL_COUNT, n.notifyInterval);
    return s;
}

ProfileJson SleepSettings(const SleepFormValues& sl, ProfileJson s) {
    s["sleepEnabled"] = sl.enabled;
    s["sleepInterval"] = ChoiceValue(SLEEP_INTERVALS, SLEEP_INTERVAL_COUNT, sl.sleepInterval);
    s["commandWait"] = ChoiceValue(COMMAND_WAITS, COMMAND_WAIT_COUNT, sl.commandWait);
    s["wakeupNode"] = ReadNumericField(sl.wakeupNode, 3, false);
    return s;
}

void ReadNotify(ProfileReader& r, NotifyFormValues* n) {
    for (int i = 0; i < DEST_NODE_COUNT; ++i) {
        int node = 0;
        if (r.Int(Numbered("destNode", i + 1).c_str(), 0, 254, &node, MSG_IO_DEST_NODE_RANGE))
            n->destNode[i] = node == 0 ? std::string() : std::to_string(node);
    }
    int retry = 0;
    if (r.Int("retryCount", 0, 7, &retry, MSG_RETRY_RANGE)) n->retryCount = std::to_string(retry);
    r.Choice("notifyInterval", NOTIFY_INTERVALS, NOTIFY_INTERVAL_COUNT, &n->notifyInterval);
}

void ReadSleep(ProfileReader& r, SleepFormValues* sl) {
    int wakeup = 0;
    r.Bool("sleepEnabled", &sl->enabled);
    r.Choice("sleepInterval", SLEEP_INTERVALS, SLEEP_INTERVAL_COUNT, &sl->sleepInterval);
    r.Choice("commandWait", COMMAND_WAITS, COMMAND_WAIT_COUNT, &sl->commandWait);
    if (r.Int("wakeupNode", 0, 254, &wakeup, MSG_WAKEUP_RANGE)) sl->wakeupNode = std::to_string(wakeup);
}

// ---- digital input page ----

ProfileJson DigitalInputSettingsOf(const DigitalInputFormValues& f, int inputs) {
    ProfileJson s = NotifySettings(f.notify, ProfileJson::object());
    s["resetRequest"] = f.resetRequest;
    s["chatterFilter"] = ChoiceValue(CHATTER_FILTERS, CHATTER_FILTER_COUNT, f.chatterFilter);
    s["extensionEnabled"] = f.extensionEnabled;
    ProfileJson& ext = s["extension"] = ProfileJson::object();
    for (int n = 0; n < inputs; ++n) ext[Numbered("DI", n + 1)] = f.di[n];
    return SleepSettings(f.sleep, std::move(s));
}

void ReadDigitalInput(ProfileReader r, int inputs, DigitalInputFormValues* f) {
    ReadNotify(r, &f->notify);
    r.Bool("resetRequest", &f->resetRequest);
    r.Choice("chatterFilter", CHATTER_FILTERS, CHATTER_FILTER_COUNT, &f->chatterFilter);
    r.Bool("extensionEnabled", &f->extensionEnabled);
    ProfileReader ext = r.Object("extension");
    for (int n = 0; n < inputs; ++n) ext.Bool(Numbered("DI", n + 1).c_str(), &f->di[n]);
    ext.Finish();
    ReadSleep(r, &f->sleep);
    r.Finish();
}

bool AnalogField(ProfileReader& r, const char* key, double fullScale, long* code);

// ---- analog input page (TQ-150-RZ) ----

const char* const kOnOff[] = {"OFF", "ON"};
const char* const kBurnoutOutputs[] = {"800000h", "7FFFFFh"};

// A temperature in 0.1 degC as degrees: the dialog's "%.1f" as a number.
double Degrees(std::int32_t tenths) { return Rounded(tenths / 10.0, 1); }

ProfileJson ChannelSettingsOf(const AiChannelSettings& rec) {
    const AiChannelForm f = AiFormFromSettings(rec);
    ProfileJson s = ProfileJson::object();
    s["inputRange"] = ChoiceValue(AI_RANGE_ITEMS, AI_RANGE_COUNT, f.inputRange);
    s["thermocouple"] = ChoiceValue(AI_TC_TYPE_ITEMS, AI_TC_TYPE_COUNT, f.tcType);
    s["coldJunction"] = ChoiceValue(kOnOff, 2, f.coldJunction);
    s["burnoutDetect"] = ChoiceValue(kOnOff, 2, f.burnoutDetect);
    s["burnoutOutput"] = ChoiceValue(kBurnoutOutputs, 2, f.burnoutOutput);
    s["scaleRange"] = ChoiceValue(AI_SCALE_RANGE_ITEMS, AI_SCALE_RANGE_COUNT, f.scaleRange);
    s["tempLow"] = Degrees(rec.m_nTempLow);
    s["tempHigh"] = Degrees(rec.m_nTempHigh);
    // Thresholds in the unit of the input range, exactly (a negative
    // milliampere value stays negative: the dialog shows 0 but keeps the code).
    const bool known = f.inputRange != NO_CHOICE;
    const double fs = known ? AiFullScale(f.inputRange) : 0;
    s["ledLow"] = known ? ProfileJson(AnalogProfileValue(rec.m_nLedLow, fs, AiDecimals(f.inputRange))) : ProfileJson();
    s["ledHigh"] = known ? ProfileJson(AnalogProfileValue(rec.m_nLedHigh, fs, AiDecimals(f.inputRange))) : ProfileJson();
    s["ledCondition"] = ChoiceValue(AI_LED_CONDITION_ITEMS, AI_LED_CONDITION_COUNT, f.ledCondition);
    return s;
}

ProfileJson AnalogInputSettingsOf(const IoUnitFormValues& f, int inputs) {
    ProfileJson s = SleepSettings(f.analogInput.sleep, NotifySettings(f.analogInput.notify, ProfileJson::object()));
    for (int c = 0; c < inputs; ++c) s[Numbered("AI", c + 1)] = ChannelSettingsOf(f.channels[c]);
    return s;
}

// A temperature as the dialog's field would hold it (plain decimal text).
std::string TemperatureText(double degrees) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, degrees, std::chars_format::fixed);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

// One channel through the dialog's form and its OK checks into rec.
void ReadChannel(ProfileReader r, AiChannelSettings* rec) {
    AiChannelForm f;
    double tempLow = 0, tempHigh = 0;
    r.Choice("inputRange", AI_RANGE_ITEMS, AI_RANGE_COUNT, &f.inputRange);
    r.Choice("thermocouple", AI_TC_TYPE_ITEMS, AI_TC_TYPE_COUNT, &f.tcType);
    r.Choice("coldJunction", kOnOff, 2, &f.coldJunction);
    r.Choice("burnoutDetect", kOnOff, 2, &f.burnoutDetect);
    r.Choice("burnoutOutput", kBurnoutOutputs, 2, &f.burnoutOutput);
    r.Choice("scaleRange", AI_SCALE_RANGE_ITEMS, AI_SCALE_RANGE_COUNT, &f.scaleRange);
    r.Number("tempLow", &tempLow);
    r.Number("tempHigh", &tempHigh);
    AiChannelSettings out = *rec;
    if (r.Ok()) {
        const double fs = AiFullScale(f.inputRange);
        long low = 0, high = 0;
        AnalogField(r, "ledLow", fs, &low);
        AnalogField(r, "ledHigh", fs, &high);
        out.m_nLedLow = static_cast<std::int32_t>(low);
        out.m_nLedHigh = static_cast<std::int32_t>(high);
    }
    r.Choice("ledCondition", AI_LED_CONDITION_ITEMS, AI_LED_CONDITION_COUNT, &f.ledCondition);
    if (!r.Finish()) return;
    f.tempLow = TemperatureText(tempLow);
    f.tempHigh = TemperatureText(tempHigh);
    if (const char* message = ValidateAiChannel(f, out)) {
        const char* field = Is(message, MSG_LED_THRESHOLD_ORDER) ? "ledLow" : Is(message, MSG_TEMP_ORDER) ? "tempHigh" : "tempLow";
        if (Is(message, MSG_TEMP_RANGE) || Is(message, MSG_TEMP_INVALID)) {
            // Which of the two: the lower one alone passes when it is the upper.
            AiChannelSettings probe = out;
            AiChannelForm lowOnly = f;
            lowOnly.tempHigh = lowOnly.tempLow;
            if (!ValidateAiChannel(lowOnly, probe)) field = "tempHigh";
        }
        r.Fail(field, message);
        return;
    }
    *rec = out;
}

void ReadAnalogInput(ProfileReader r, int inputs, IoUnitFormValues* f) {
    ReadNotify(r, &f->analogInput.notify);
    ReadSleep(r, &f->analogInput.sleep);
    for (int c = 0; c < inputs; ++c) ReadChannel(r.Object(Numbered("AI", c + 1).c_str()), &f->channels[c]);
    r.Finish();
}

// ---- digital output page ----

ProfileJson DigitalOutputSettingsOf(const DigitalOutputFormValues& f, int outputs) {
    ProfileJson s = ProfileJson::object();
    for (int k = 0; k < outputs; ++k) {
        ProfileJson& row = s[Numbered("DO", k + 1)];
        row["mode"] = ChoiceValue(kDoModes, DO_MODE_COUNT, f.rows[k].mode);
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

ProfileJson AnalogOutputSettingsOf(const AnalogOutputFormValues& f, int outputs) {
    ProfileJson s = ProfileJson::object();
    for (int k = 0; k < outputs; ++k) {
        const AoRowValues& v = f.rows[k];
        ProfileJson& row = s[Numbered("AO", k + 1)];
        row["range"] = ChoiceValue(kAoRanges, AO_RANGE_COUNT, v.range);
        const double fs = AoFullScale(v.range);
        const int decimals = AoDecimals(v.range);
        row["initialValue"] = AnalogProfileValue(v.initialValue, fs, decimals);
        row["ledLow"] = AnalogProfileValue(v.ledLow, fs, decimals);
        row["ledHigh"] = AnalogProfileValue(v.ledHigh, fs, decimals);
        row["ledCondition"] = ChoiceValue(LED_CONDITIONS, LED_CONDITION_COUNT, v.ledCondition);
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
    r.analogInput = TheAnalogInputSettings();
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) r.digitalOutput[k] = theDigitalOutputs[k];
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) r.analogOutput[k] = theAnalogOutputs[k];
    return r;
}

void StoreIoUnitRecords(const IoUnitRecords& r, int model) {
    // One settings block, laid out by the input page the model has.
    if (ModelChannels(model, CH_AI) > 0) TheAnalogInputSettings() = r.analogInput;
    else TheDigitalInputSettings() = r.digitalInput;
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) theDigitalOutputs[k] = r.digitalOutput[k];
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) theAnalogOutputs[k] = r.analogOutput[k];
}

IoUnitFormValues IoUnitFormFromRecords(const IoUnitRecords& r) {
    IoUnitFormValues f;
    f.analogInput = AnalogInputFormFromSettings(r.analogInput);
    for (int c = 0; c < AI_CHANNEL_COUNT; ++c) f.channels[c] = r.analogInput.m_aChannel[c];
    f.digitalInput = DigitalInputFormFromSettings(r.digitalInput);
    f.digitalOutput = DigitalOutputFormFromSettings(r.digitalOutput);
    f.analogOutput = AnalogOutputFormFromSettings(r.analogOutput);
    return f;
}

ProfileJson IoUnitProfileSettings(const IoUnitFormValues& form, int model) {
    ProfileJson s = ProfileJson::object();
    for (IoUnitPage page : IoUnitPages(model)) {
        switch (page) {
        case IoUnitPage::DigitalInput:
            s["digitalInput"] = DigitalInputSettingsOf(form.digitalInput, Count(model, CH_DI));
            break;
        case IoUnitPage::AnalogInput: s["analogInput"] = AnalogInputSettingsOf(form, Count(model, CH_AI)); break;
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
        case IoUnitPage::AnalogInput: ReadAnalogInput(r.Object("analogInput"), Count(model, CH_AI), &f); break;
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
        const std::string input = ModelChannels(model, CH_AI) > 0 ? "settings.analogInput" : "settings.digitalInput";
        if (Is(message, MSG_EXTENSION_NONE)) field = input + ".extensionEnabled";
        else if (Is(message, MSG_WAKEUP_RANGE)) field = input + ".wakeupNode";
        else if (Is(message, MSG_LED_THRESHOLD_ORDER) || Is(message, MSG_CURRENT_INITIAL_NEGATIVE)) {
            // The first output the page refuses.
            for (int k = 1; k <= Count(model, CH_AO); ++k) {
                AoChannelSettings out[ANALOG_OUTPUT_MAX];
                if (ValidateAnalogOutputForm(f.analogOutput, k, device.analogOutput, out)) {
                    field = "settings.analogOutput." + Numbered("AO", k) +
                            (Is(message, MSG_LED_THRESHOLD_ORDER) ? ".ledLow" : ".initialValue");
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
        case IoUnitPage::AnalogInput:
            message = ValidateAnalogInputForm(form.analogInput, device.analogInput, &out->analogInput);
            // The page's validation clears the channels; they are the dialog's.
            for (int c = 0; c < AI_CHANNEL_COUNT; ++c) out->analogInput.m_aChannel[c] = form.channels[c];
            break;
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
        case IoUnitPage::AnalogInput:
            add(AnalogInputReadCommands());
            for (int c = 0; c < Count(model, CH_AI); ++c) add(ChannelFetchCommands(c));
            break;
        case IoUnitPage::DigitalOutput: add(DigitalOutputReadCommands()); break;
        case IoUnitPage::AnalogOutput: add(AnalogOutputReadCommands(ModelChannels(model, CH_AO))); break;
        }
    }
    return commands;
}

std::vector<std::string> AnalogChannelWriteCommands(const AiChannelSettings (&channels)[AI_CHANNEL_COUNT], int model) {
    std::vector<std::string> commands;
    for (int c = 0; c < Count(model, CH_AI); ++c)
        for (const std::string& command : BuildAiChannelCommands(c, channels[c])) commands.push_back(command);
    return commands;
}

std::vector<std::string> IoUnitWriteCommands(const IoUnitRecords& r, int model) {
    // The channel dialogs come before the window's OK.
    std::vector<std::string> commands = AnalogChannelWriteCommands(r.analogInput.m_aChannel, model);
    auto add = [&](const std::vector<std::string>& more) { commands.insert(commands.end(), more.begin(), more.end()); };
    for (IoUnitPage page : IoUnitPages(model)) {
        switch (page) {
        case IoUnitPage::DigitalInput: add(DigitalInputWriteCommands(r.digitalInput)); break;
        case IoUnitPage::AnalogInput: add(AnalogInputWriteCommands(r.analogInput)); break;
        case IoUnitPage::DigitalOutput: add(DigitalOutputWriteCommands(r.digitalOutput)); break;
        case IoUnitPage::AnalogOutput:
            add(AnalogOutputWriteCommands(r.analogOutput, ModelChannels(model, CH_AO)));
            break;
        }
    }
    return commands;
}
