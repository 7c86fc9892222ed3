#include "iounit/AnalogInput.h"

#include "forms/AnalogTexts.h"
#include "forms/CommonTexts.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"

#include <cstdio>

static_assert(sizeof(AnalogInputSettings) <= LINK_SETTINGS_SIZE);

std::atomic<int> nChannelCountdown{0};
std::atomic<int> nReadyChannel{-1};

AnalogInputSettings& TheAnalogInputSettings() { return theLink.SettingsAs<AnalogInputSettings>(); }

namespace {

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

std::int32_t Hex4(const unsigned char* p) { return static_cast<std::int32_t>(ParseHexField(p, 4) & 0xFFFF); }
std::int32_t SignedHex4(const unsigned char* p) { return static_cast<std::int16_t>(Hex4(p)); }

}  // namespace

bool OnChannelRange(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s) {
    if (len != 6 || !Is(reply, "aj") || modelCode != MODEL_TQ150) return false;
    const int c = AnswerChannel(reply, modelCode);
    if (c < 0) return false;
    s.m_aChannel[c].m_nInputRange = reply[3] - 0x20;
    CountChannelAnswer(c);
    return true;
}

bool OnChannelLed(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s) {
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

bool OnChannelTemperature(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s) {
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

bool OnChannelRanges(const unsigned char* reply, int len, AnalogInputSettings& s) {
    if (len != 19 || !Is(reply, "mr") || reply[2] != '1' || reply[3] != '0' || reply[4] != '0') return false;
    // Byte 1 (positions 6-7) is not used here; bytes 2..6 are channels 0..4.
    for (int c = 0; c < AI_CHANNEL_COUNT; ++c)
        s.m_aChannel[c].m_nInputRange = static_cast<std::int32_t>(ParseHexField(reply + 8 + 2 * c, 2));
    return true;
}

std::string ChannelFetchCommand(const char* mnemonic, int channel) {
    std::string command = mnemonic;
    command += static_cast<char>(0x20 + channel);
    command += static_cast<char>(REPLY_TERMINATOR);
    return command;
}

int FetchChannel(int channel, const ShowTextFn& show) {
    nChannelCountdown.store(CHANNEL_ANSWERS);
    for (const char* mnemonic : {"AJ", "AK", "TJ"}) {
        const std::string command = ChannelFetchCommand(mnemonic, channel);
        if (theLink.SendCommand(command.c_str()) < 0 || theLink.WaitReplies(theLink.m_nTimeoutSec.load()) != 1) {
            nChannelCountdown.store(CHANNEL_FETCH_FAILED);
            if (show) show(MSG_CHANNEL_FETCH_FAILED);
            return -1;
        }
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
