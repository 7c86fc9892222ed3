// The digital input page without the toolkit: its layout of the settings
// block, its answer parsers ("sk", "sy", "mr" 0C9 and 0CC), its form values,
// their validation and its read and write routines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "iounit/NotifySleep.h"

constexpr int DIGITAL_INPUT_MAX = 5;  // DI1..DI5
// Memory addresses with their byte count, as read and written.
inline constexpr const char* MEM_EXTENSION_MASK = "0C91";
inline constexpr const char* MEM_RESET_REQUEST = "0CC1";

// The digital input page's layout of theLink.m_settings (cleared before
// every settings read).
struct DigitalInputSettings {
    std::int32_t m_anDestNode[DEST_NODE_COUNT];
    std::int32_t m_nRetryCount;
    std::int32_t m_nNotifyInterval;
    std::int32_t m_nResetRequest;   // 0 or 1
    std::int32_t m_nSleepCode;      // 0 off, else 1 + sleep interval index
    std::int32_t m_nCommandWait;
    std::int32_t m_nWakeupNode;
    std::int32_t m_nChatterFilter;
    std::int32_t m_nExtensionMask;  // bit 0 = DI1 .. bit 4 = DI5
};

inline DigitalInputSettings& TheDigitalInputSettings() { return theLink.SettingsAs<DigitalInputSettings>(); }

NotifyParams NotifyParamsOf(const DigitalInputSettings& s);
SleepParams SleepParamsOf(const DigitalInputSettings& s);
void StoreNotifyParams(const NotifyParams& p, DigitalInputSettings* s);
void StoreSleepParams(const SleepParams& p, DigitalInputSettings* s);

// Answer parsers, called by IoUnitReplyHandler on the receive thread; each
// stores into TheDigitalInputSettings() and returns whether it stored
// (false for a wrong length or, for "mr", a wrong echo).
bool OnNotifyParams(const unsigned char* reply, int len);   // "sk", 14
bool OnSleepParams(const unsigned char* reply, int len);    // "sy", 7
bool OnExtensionMask(const unsigned char* reply, int len);  // "mr" 0C91, 9
bool OnResetRequest(const unsigned char* reply, int len);   // "mr" 0CC1, 9

// The page's form as plain values.
struct DigitalInputFormValues {
    NotifyFormValues notify;
    bool resetRequest = false;       // "無通信時リセット要求"
    int chatterFilter = NO_CHOICE;   // chattering filter list
    bool extensionEnabled = false;   // "個別延長有効"
    bool di[DIGITAL_INPUT_MAX] = {}; // DI1..DI5, hidden boxes included
    SleepFormValues sleep;
};

// What the page shows for the stored settings.
DigitalInputFormValues DigitalInputFormFromSettings(const DigitalInputSettings& s);

// Validates in the page's order and collects into out (cleared first): the
// destinations, the retry count, the extension mask, the sleep fields. A
// list without a selection takes device's value. nullptr when valid, else
// the message to show.
const char* ValidateDigitalInputForm(const DigitalInputFormValues& form, const DigitalInputSettings& device,
                                     DigitalInputSettings* out);

// The four read commands: "SK", "SY", "MR0C91", "MR0CC1".
std::vector<std::string> DigitalInputReadCommands();
// The four write commands in order: "SE", "SLEP", "MW0C91", "MW0CC1".
std::vector<std::string> DigitalInputWriteCommands(const DigitalInputSettings& s);

// Each command sent and waited for; 0, or -1 at the first failure.
int ReadDigitalInput();
int WriteDigitalInput(const DigitalInputSettings& s, const SendFailedFn& onSendFailed, StepFailure* failure);
