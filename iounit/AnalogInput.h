// The analog input page of TQ-150-RZ without the toolkit: its layout of the
// device settings block, its answers ("sk", "sy", "mr" of address 100, and
// the channel answers "aj", "ak", "tj" with the fetch hand-over), its form
// values and their validation, its read and write, and the two command
// sequences of a channel (the fetch and the four commands of a confirmed
// channel dialog).
#pragma once

#include "iounit/AnalogChannel.h"
#include "iounit/NotifySleep.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr int AI_CHANNEL_COUNT = 5;  // AI1..AI5, channel numbers 0..4
// The channel input ranges: six bytes from this address, bytes 2..6 for
// channels 0..4.
inline constexpr const char* MEM_AI_RANGES = "1006";

// The analog input page's layout of m_settings of theLink; zero before the
// settings read.
struct AnalogInputSettings {
    std::int32_t m_anDestNode[4];  // 0..254, 0 = empty slot
    std::int32_t m_nRetryCount;    // 0..7
    std::int32_t m_nNotifyInterval;
    std::int32_t m_nSleepCode;     // 0 = sleep disabled, else 1 + sleep interval index
    std::int32_t m_nCommandWait;
    std::int32_t m_nWakeupNode;    // 0..254
    AiChannelSettings m_aChannel[AI_CHANNEL_COUNT];
};

// The record inside theLink's settings block.
AnalogInputSettings& TheAnalogInputSettings();

// ---- channel fetch hand-over ----

// Answers still expected for the channel being fetched: 3 when a fetch
// starts, CHANNEL_FETCH_FAILED after a failed fetch so that late answers
// never bring it to 0.
extern std::atomic<int> nChannelCountdown;
// The channel (0..4) whose three answers have all arrived; -1 when none.
extern std::atomic<int> nReadyChannel;
constexpr int CHANNEL_ANSWERS = 3;
constexpr int CHANNEL_FETCH_FAILED = 99999;

NotifyParams NotifyParamsOf(const AnalogInputSettings& s);
SleepParams SleepParamsOf(const AnalogInputSettings& s);

// ---- answers (receive thread) ----
// reply starts at the first answer letter; len counts the letters, the
// payload and the terminator. Each returns true when it stored the answer.
// A channel answer is stored (and counted down) only with its exact length,
// for a model that has the page (modelCode), and when the channel it names
// at position 2 is one of the model's inputs; otherwise nothing changes.

// "aj", length 6, TQ-150-RZ only: the channel's input range.
bool ParseChannelRange(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s);
// "ak", length 13, models with analog inputs: LED condition and thresholds.
bool ParseChannelLed(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s);
// "tj", length 15, TQ-150-RZ only: thermocouple options and scaling.
bool ParseChannelTemperature(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s);

// The parsers IoUnitReplyHandler calls, on TheAnalogInputSettings() for the
// connected model: "sk" (14; destinations, interval, retry count; the
// chattering filter is not this page's), "sy" (7), "mr" of address 100 (19,
// echo "1006": the input ranges of channels 0..4), "aj", "ak", "tj".
bool OnAnalogNotifyParams(const unsigned char* reply, int len);
bool OnAnalogSleepParams(const unsigned char* reply, int len);
bool OnChannelRanges(const unsigned char* reply, int len);
bool OnChannelRange(const unsigned char* reply, int len);
bool OnChannelLed(const unsigned char* reply, int len);
bool OnChannelTemperature(const unsigned char* reply, int len);

// ---- the page's form ----

struct AnalogInputFormValues {
    NotifyFormValues notify;
    SleepFormValues sleep;
};

// What the page shows for the stored settings.
AnalogInputFormValues AnalogInputFormFromSettings(const AnalogInputSettings& s);

// Validates in the page's order and collects into out (cleared first, the
// five channel records included): the destinations, the retry count and
// notification interval, the sleep fields. A list without a selection takes
// device's value. nullptr when valid, else the message to show.
const char* ValidateAnalogInputForm(const AnalogInputFormValues& form, const AnalogInputSettings& device,
                                    AnalogInputSettings* out);

// "SK", "SY", "MR1006".
std::vector<std::string> AnalogInputReadCommands();
// "SE" with a blank chattering filter, then "SLEP".
std::vector<std::string> AnalogInputWriteCommands(const AnalogInputSettings& s);

// Each command sent and waited for; 0, or -1 at the first failure.
int ReadAnalogInput();
int WriteAnalogInput(const AnalogInputSettings& s, const SendFailedFn& onSendFailed, StepFailure* failure);

// ---- command sequences (a worker thread; never the GUI thread) ----

// Shows one message (UTF-8) and returns when it was acknowledged.
using ShowTextFn = std::function<void(const std::string& text)>;

// The channel's three fetch commands in sending order: "AJ", "AK", "TJ",
// each with the channel character.
std::vector<std::string> ChannelFetchCommands(int channel);

// Fetches channel 0..4: the countdown goes to 3, then "AJ", "AK" and "TJ"
// for the channel, each sent and waited for with the link's time-out. 0 when
// all three were answered; on the first failed send or time-out the
// countdown goes to CHANNEL_FETCH_FAILED, "通信エラー 設定が取得できませんでした。"
// is shown and -1 returned.
int FetchChannel(int channel, const ShowTextFn& show);

// Sends the four commands of a confirmed channel dialog in order, each
// followed by the wait. A send that fails shows "通信エラー : %d" with the
// link's error; the command then counts as not answered. A command not
// answered shows "通信エラー : タイムアウト" and the rest are not sent.
// 0 when all four were answered, else -1.
int SendChannelCommands(const std::array<std::string, 4>& commands, const ShowTextFn& show);
