// The serial converter's settings without the toolkit: the read routine, the
// reply handler, the form's plain values, the enabling rules, the validation
// and the write routine.
#pragma once

#include <string>

#include "settings/RelaySettings.h"
#include "settings/SettingsCore.h"

// The form as plain values. Choice fields are the zero-based position of the
// selected entry or radio button (order as on the form).
struct SerialFormValues {
    std::string destNode;
    int opMode = NO_CHOICE;        // 通常, MODBUS/RTU, MODBUS/ASCII
    int baudIndex = NO_CHOICE;     // baud-rate list
    int dataBits = NO_CHOICE;      // 8bit, 7bit
    int stopBits = NO_CHOICE;      // 1, 2
    int parity = NO_CHOICE;        // なし, 偶数, 奇数
    int flowControl = NO_CHOICE;   // なし, CTS/RTS, Xon/Xoff
    int filterMode = NO_CHOICE;    // 無効, パスフィルター, カットフィルター
    std::string filterLow;
    std::string filterHigh;
    int timeoutIndex = NO_CHOICE;  // time-out list
    bool endCharEnabled = false;   // キャラクタ (HEX指定)
    std::string endChar1;
    std::string endChar2;
    int extraBytes = NO_CHOICE;    // なし, 1バイト, 2バイト
};

// Which controls the enabling rules leave enabled.
struct SerialEnabling {
    bool filterChoices = false;  // three filter buttons and their label
    bool filterRange = false;    // both range fields, their label and "-"
    bool packetising = false;    // heading, time-out label and list, check box
    bool endChars = false;       // both end-character fields
    bool extraBytes = false;     // three extra-byte buttons and their label
};

// The enabling rules for the operating mode choice, the filter choice and the
// check box.
SerialEnabling SerialEnablingFor(int opMode, int filterMode, bool endCharEnabled);

// The form's values from the record.
SerialFormValues SerialFormFromSettings(const RelaySettings& rs);

// Validates in order and collects into out (cleared first). A group without a
// selection takes the value the device reported (device). nullptr when
// valid, else the message. May move a lone second end character into the
// first field of form.
const char* ValidateSerialForm(SerialFormValues& form, const RelaySettings& device, RelaySettings& out);

// Reply handler installed while the serial converter window is read and open.
int SerialReplyHandler(void* ctx, const unsigned char* reply, int len);

// The answer to "SP": the 6-byte form is a device error answer, reported
// with "設定送信エラー:SP-%02X" (the raw code character, whatever its value)
// and not counted; the report ends the write at once as failed. Any other
// length counts. Used by the serial converter's and the gateway's handlers.
int OnRelayWriteReply(const unsigned char* reply, int len);

// "GJ" when direct, then "SJ"; 0 or -1.
int ReadSerialSettings();

// "SP"; 0 or -1 (failure->error holds the failing call's error).
int WriteSerialSettings(const RelaySettings& rs, const SendFailedFn& onSendFailed, StepFailure* failure);
