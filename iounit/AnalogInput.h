// The analog input page of TQ-150-RZ without the toolkit: its layout of the
// device settings block, the channel answers ("aj", "ak", "tj", "mr" of
// address 100) with the fetch hand-over, and the two command sequences of a
// channel (the fetch and the four commands of a confirmed channel dialog).
#pragma once

#include "iounit/AnalogChannel.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

constexpr int AI_CHANNEL_COUNT = 5;  // AI1..AI5, channel numbers 0..4

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

// ---- answers (receive thread; IoUnitReplyHandler calls them) ----
// reply starts at the first answer letter; len counts the letters, the
// payload and the terminator. Each returns true when it stored the answer.
// A channel answer is stored (and counted down) only with its exact length,
// for a model that has the page (modelCode), and when the channel it names
// at position 2 is one of the model's inputs; otherwise nothing changes.

// "aj", length 6, TQ-150-RZ only: the channel's input range.
bool OnChannelRange(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s);
// "ak", length 13, models with analog inputs: LED condition and thresholds.
bool OnChannelLed(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s);
// "tj", length 15, TQ-150-RZ only: thermocouple options and scaling.
bool OnChannelTemperature(const unsigned char* reply, int len, int modelCode, AnalogInputSettings& s);
// "mr" of address 100, length 19: the input ranges of channels 0..4.
bool OnChannelRanges(const unsigned char* reply, int len, AnalogInputSettings& s);

// ---- command sequences (a worker thread; never the GUI thread) ----

// Shows one message (UTF-8) and returns when it was acknowledged.
using ShowTextFn = std::function<void(const std::string& text)>;

// The channel's fetch command ("AJ", "AK" or "TJ" with the channel
// character) as sent.
std::string ChannelFetchCommand(const char* mnemonic, int channel);

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
