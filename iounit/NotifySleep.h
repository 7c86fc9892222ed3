// The notification and sleep parameters that both input pages edit (digital
// inputs, and the analog inputs of TQ-150-RZ): their answers "sk" and "sy",
// their commands "SE" and "SLEP", the form values of those fields and their
// validation steps. Toolkit-free.
//
// The two pages keep these values in different layouts of the settings
// block, so everything here works on the plain NotifyParams / SleepParams
// values; each page copies them from and into its own record.
#pragma once

#include <cstdint>
#include <string>

#include "iounit/IoUnitCodec.h"

// "sk" answer: positions 2 interval (0x24 + index), 3..10 four destination
// nodes (hex pairs), 11 chattering filter, 12 retry count (space-offset).
constexpr int SK_ANSWER_SIZE = 14;
constexpr int SK_POS_INTERVAL = 2;
constexpr int SK_POS_DEST = 3;
constexpr int SK_POS_CHATTER = 11;
constexpr int SK_POS_RETRY = 12;
// "sy" answer: positions 2 sleep code (space-offset), 3..4 wake-up node (hex
// pair), 5 command wait (space-offset).
constexpr int SY_ANSWER_SIZE = 7;
constexpr int SY_POS_SLEEP_CODE = 2;
constexpr int SY_POS_WAKEUP = 3;
constexpr int SY_POS_COMMAND_WAIT = 5;

// The notification interval travels as the character 0x24 + index.
constexpr int NOTIFY_INTERVAL_BASE = 0x24;
// With sleep off the sleep interval list shows "1時間".
constexpr int SLEEP_INTERVAL_WHEN_OFF = 5;
constexpr int DEST_NODE_COUNT = 4;

struct NotifyParams {
    std::int32_t destNode[DEST_NODE_COUNT] = {};  // 0: empty slot
    std::int32_t notifyInterval = 0;              // index into the interval list
    std::int32_t chatterFilter = 0;               // index; the analog input page sends 0
    std::int32_t retryCount = 0;
};

struct SleepParams {
    std::int32_t sleepCode = 0;    // 0 sleep off, else 1 + sleep interval index
    std::int32_t wakeupNode = 0;   // 1..254 with sleep on, 0 with sleep off
    std::int32_t commandWait = 0;  // index into the command wait list
};

// False (out untouched) for another length.
bool ParseNotifyAnswer(const unsigned char* reply, int len, NotifyParams* out);
bool ParseSleepAnswer(const unsigned char* reply, int len, SleepParams* out);

// "SK" / "SY" with the terminator.
std::string BuildNotifyRead();
std::string BuildSleepRead();
// "SE" (14 bytes with the terminator) and "SLEP" (9 bytes).
std::string BuildNotifyCommand(const NotifyParams& p);
std::string BuildSleepCommand(const SleepParams& p);

// ---- form values ----

// Choice fields hold the selected list index, or NO_CHOICE.
struct NotifyFormValues {
    std::string destNode[DEST_NODE_COUNT];
    std::string retryCount;
    int notifyInterval = NO_CHOICE;
};

struct SleepFormValues {
    bool enabled = false;  // "スリープ有効"
    int sleepInterval = NO_CHOICE;
    int commandWait = NO_CHOICE;
    std::string wakeupNode;
};

// What the form shows for the stored values: destinations in decimal (empty
// for 0), the retry count in decimal, list indices range-checked (outside
// its list: NO_CHOICE).
NotifyFormValues NotifyFormFromParams(const NotifyParams& p);
// Sleep code 0: unticked with "1時間" selected; any other code ticked with
// index code - 1 (NO_CHOICE when outside the list). Wake-up in decimal.
SleepFormValues SleepFormFromParams(const SleepParams& p);

// Destinations: each field trimmed and read as a decimal number; empty and 0
// are skipped, the others packed from slot 0 in field order. A value above
// 254 (checked before it is narrowed, so a huge or negative text cannot wrap
// into range) gives "宛先ノードは1-254の範囲で指定してください。". out is
// cleared first.
const char* PackDestinations(const std::string (&fields)[DEST_NODE_COUNT], std::int32_t (&out)[DEST_NODE_COUNT]);

// The retry field read as the numeric field reads it (decimal, 1 character)
// into *retry; outside 0..7: "再送回数は0-7の範囲で指定してください。".
const char* ReadRetryCount(const std::string& text, std::int32_t* retry);

// The sleep fields into out: with "スリープ有効" ticked, the code is the
// interval index + 1 and the wake-up field (decimal, 3 characters) must be
// 1..254 ("ウェイクアップ通知先は1-254の範囲で指定してください。");
// unticked, code and wake-up node are 0. The command wait is the selected
// index either way. A list without a selection takes device's value.
const char* ValidateSleepForm(const SleepFormValues& form, const SleepParams& device, SleepParams* out);
