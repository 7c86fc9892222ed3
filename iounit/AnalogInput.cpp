#include "iounit/AnalogInput.h"

#include "forms/AnalogTexts.h"
#include "forms/CommonTexts.h"
#include "forms/IoUnitTexts.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"

#include <cstdio>

static_assert(sizeof(AnalogInputSettings) <= LINK_SETTINGS_SIZE);

std::atomic<int> nChannelCountdown{0};
std::atomic<int> nReadyChannel{-1};

AnalogInputSettings& TheAnalogInputSettings() { return theLink.SettingsAs<AnalogInputSettings>(); }

NotifyParams NotifyParamsOf(const AnalogInputSettings& s) {
    NotifyParams p;
    for (int i = 0; i < DEST_NODE_COUNT; ++i) p.destNode[i] = s.m_anDestNode[i];
    p.notifyInterval = s.m_nNotifyInterval;
    p.chatterFilter = 0;  // this page has none: "SE" carries a blank
    p.retryCount = s.m_nRetryCount;
    return p;
}

SleepParams SleepParamsOf(const AnalogInputSettings& s) {
    return SleepParams{s.m_nSleepCode, s.m_nWakeupNode, s.m_nCommandWait};
}

namespace {

void StoreNotifyParams(const NotifyParams& p, AnalogInputSettings* s) {
    for (int i = 0; i < DEST_NODE_COUNT; ++i) s->m_anDestNode[i] = p.destNode[i];
    s->m_nNotifyInterval = p.notifyInterval;
    s->m_nRetryCount = p.retryCount;
}

void StoreSleepParams(const SleepParams& p, AnalogInputSettings* s) {
    s->m_nSleepCode = p.sleepCode;
    s->m_nWakeupNode = p.wakeupNode;
    s->m_nCommandWait = p.commandWait;
}

bool Is(const unsigned char* reply, const char* letters) {
    return reply[0] == static_cast<unsigned char>(letters[0]) && reply[1] == static_cast<unsigned char>(letters[1]);
}

// The channel an answer names at position 2, when it is one of the model's
// analog inputs (and so one of the five records); -1 otherwise.
int AnswerChannel(const unsigned char* reply, int modelCode) {
    const int channel = reply[2] - 0x20;
    const int inputs = ModelChannels(modelCode, CH_AI);
    return channel >= 0 && channel < AI_CHANNEL_COUNT && channel < inputs ? channel : -1;
}

// One of the three answers of a fetch has been stored: the one that brings
// the countdown to exactly 0 hands the channel over.
void CountChannelAnswer(int channel) {
    if (nChannelCountdown.fetch_sub(1) == 1) nReadyChannel.store(channel);
}

std::int32_t Hex4(const unsigned char* p) { return static_cast<std::int32_t>(ParseHexField(p, 4)); }
std::int32_t SignedHex4(const unsigned char* p) { return static_cast<std::int16_t>(Hex4(p)); }

}  // namespace

bool ParseChannelRange(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s) {
    if (len != 6 || !Is(reply, "aj") || modelCode != MODEL_TQ150) return false;
    const int c = AnswerChannel(reply, modelCode);
    if (c < 0) return false;
    s.m_aChannel[c].m_nInputRange = reply[3] - 0x20;
    CountChannelAnswer(c);
    return true;
}

bool ParseChannelLed(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s) {
    if (len != 13 || !Is(reply, "ak") || ModelChannels(modelCode, CH_AI) <= 0) return false;
    const int c = AnswerChannel(reply, modelCode);
    if (c < 0) return false;
    AiChannelSettings& ch = s.m_aChannel[c];
    ch.m_nLedCondition = (reply[3] & 0x08) ? 1 : 0;
    ch.m_nLedLow = Hex4(reply + 4);
    ch.m_nLedHigh = Hex4(reply + 8);
    CountChannelAnswer(c);
    return true;
}

bool ParseChannelTemperature(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s) {
    if (len != 15 || !Is(reply, "tj") || modelCode != MODEL_TQ150) return false;
    const int c = AnswerChannel(reply, modelCode);
    if (c < 0) return false;
    AiChannelSettings& ch = s.m_aChannel[c];
    ch.m_nTcType = reply[3] - 0x20;
    ch.m_nColdJunction = reply[4] & 0x01 ? 1 : 0;
    ch.m_nBurnoutDetect = reply[4] & 0x02 ? 1 : 0;
    ch.m_nBurnoutOutput = reply[4] & 0x04 ? 1 : 0;
    ch.m_nScaleRange = reply[5] & 0x0F;
    ch.m_nTempLow = SignedHex4(reply + 6);
    ch.m_nTempHigh = SignedHex4(reply + 10);
    CountChannelAnswer(c);
    return true;
}

bool OnChannelRanges(const unsigned char* reply, int len) {
    unsigned char bytes[6] = {};
    if (!ParseMemoryAnswer(reply, len, MEM_AI_RANGES, bytes)) return false;
    // The first byte is not used here; bytes 2..6 are channels 0..4.
    AnalogInputSettings& s = TheAnalogInputSettings();
    for (int c = 0; c < AI_CHANNEL_COUNT; ++c) s.m_aChannel[c].m_nInputRange = bytes[1 + c];
    return true;
}

bool OnAnalogNotifyParams(const unsigned char* reply, int len) {
    NotifyParams p;
    if (!ParseNotifyAnswer(reply, len, &p)) return false;
    StoreNotifyParams(p, &TheAnalogInputSettings());
    return true;
}

bool OnAnalogSleepParams(const unsigned char* reply, int len) {
    SleepParams p;
    if (!ParseSleepAnswer(reply, len, &p)) return false;
    StoreSleepParams(p, &TheAnalogInputSettings());
    return true;
}

bool OnChannelRange(const unsigned char* reply, int len) {
    return ParseChannelRange(reply, len, theLink.m_nModelCode.load(), TheAnalogInputSettings());
}
bool OnChannelLed(const unsigned char* reply, int len) {
    return ParseChannelLed(reply, len, theLink.m_nModelCode.load(), TheAnalogInputSettings());
}
bool OnChannelTemperature(const unsigned char* reply, int len) {
    return ParseChannelTemperature(reply, len, theLink.m_nModelCode.load(), TheAnalogInputSettings());
}

AnalogInputFormValues AnalogInputFormFromSettings(const AnalogInputSettings& s) {
    return {NotifyFormFromParams(NotifyParamsOf(s)), SleepFormFromParams(SleepParamsOf(s))};
}

const char* ValidateAnalogInputForm(const AnalogInputFormValues& form, const AnalogInputSettings& device,
                                    AnalogInputSettings* out) {
    *out = AnalogInputSettings{};
    if (const char* message = PackDestinations(form.notify.destNode, out->m_anDestNode)) return message;
    const char* retryMessage = ReadRetryCount(form.notify.retryCount, &out->m_nRetryCount);
    out->m_nNotifyInterval = ChoiceOrDevice(form.notify.notifyInterval, NOTIFY_INTERVAL_COUNT, device.m_nNotifyInterval);
    if (retryMessage) return retryMessage;
    SleepParams sleep;
    const char* sleepMessage = ValidateSleepForm(form.sleep, SleepParamsOf(device), &sleep);
    StoreSleepParams(sleep, out);
    return sleepMessage;
}

std::vector<std::string> AnalogInputReadCommands() {
    return {BuildNotifyRead(), BuildSleepRead(), BuildMemoryRead(MEM_AI_RANGES)};
}

std::vector<std::string> AnalogInputWriteCommands(const AnalogInputSettings& s) {
    return {BuildNotifyCommand(NotifyParamsOf(s)), BuildSleepCommand(SleepParamsOf(s))};
}

int ReadAnalogInput() { return SendAndWaitEach(AnalogInputReadCommands(), nullptr, nullptr); }

int WriteAnalogInput(const AnalogInputSettings& s, const SendFailedFn& onSendFailed, StepFailure* failure) {
    return SendAndWaitEach(AnalogInputWriteCommands(s), onSendFailed, failure);
}

std::vector<std::string> ChannelFetchCommands(int channel) {
    std::vector<std::string> commands;
    for (const char* mnemonic : {"AJ", "AK", "TJ"}) commands.push_back(Terminated(std::string(mnemonic) + SpaceChar(channel)));
    return commands;
}

int FetchChannel(int channel, const ShowTextFn& show) {
    nChannelCountdown.store(CHANNEL_ANSWERS);
    if (SendAndWaitEach(ChannelFetchCommands(channel), nullptr, nullptr) < 0) {
        nChannelCountdown.store(CHANNEL_FETCH_FAILED);
        if (show) show(MSG_CHANNEL_FETCH_FAILED);
        return -1;
    }
    return 0;
}

int SendChannelCommands(const std::array<std::string, 4>& commands, const ShowTextFn& show) {
    for (const std::string& command : commands) {
        bool answered = false;
        if (theLink.SendCommand(command.c_str()) < 0) {
            char text[128];
            std::snprintf(text, sizeof text, MSG_COMM_ERROR_CODE, theLink.m_nError.load());
            if (show) show(text);
            // A command that never went out is not awaited by the link, so
            // there is no answer to wait for: it ends as one that timed out.
        } else {
            answered = theLink.WaitReplies(theLink.m_nTimeoutSec.load()) == 1;
        }
        if (!answered) {
            if (show) show(MSG_CHANNEL_TIMEOUT);
            return -1;
        }
    }
    return 0;
}
