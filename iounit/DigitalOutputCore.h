// The digital output page without the toolkit: the table theDigitalOutputs,
// its answers ("mr" 0CB and 0D0), its commands, its form values and their
// validation, and its read and write routines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "iounit/IoUnitCodec.h"

constexpr int DIGITAL_OUTPUT_MAX = 5;  // DO1..DO5
inline constexpr const char* MEM_STARTUP_MASK = "0CB1";
inline constexpr const char* MEM_ONE_SHOT_TIMES = "0D05";

// Modes of one output.
constexpr int DO_MODE_NORMAL = 0;      // "通常"
constexpr int DO_MODE_STARTUP_ON = 1;  // "起動時ON"
constexpr int DO_MODE_ONE_SHOT = 2;    // "ワンショット"
constexpr int DO_MODE_COUNT = 3;

struct DoChannelSettings {
    std::int32_t m_nMode = DO_MODE_NORMAL;
    std::int32_t m_nOneShotTime = 0;  // x 100 ms, 1..255; 0 unless one-shot
};

// Process-wide, outside the settings block: not cleared before a read.
// Written by the receive thread while the reader waits; by the write worker
// during validation; read on the GUI thread when the page opens.
extern DoChannelSettings theDigitalOutputs[DIGITAL_OUTPUT_MAX];

// Answer parsers (receive thread). Bit k of the mask: output k+1 ON at
// start-up; a one-shot time other than 0 makes the output one-shot. Each
// returns whether it stored (false for a wrong length or echo).
bool OnStartupMaskReply(const unsigned char* reply, int len);  // "mr" 0CB1, 9
bool OnOneShotTimeReply(const unsigned char* reply, int len);  // "mr" 0D05, 17

// The form: per row the checked radio button (NO_CHOICE: none) and the time
// field as typed.
struct DoRowValues {
    int mode = NO_CHOICE;
    std::string time;
};
struct DigitalOutputFormValues {
    DoRowValues rows[DIGITAL_OUTPUT_MAX];
};

// The mode's radio button (NO_CHOICE outside 0..2); the time in decimal for
// a one-shot output, "0" otherwise.
DigitalOutputFormValues DigitalOutputFormFromSettings(const DoChannelSettings (&s)[DIGITAL_OUTPUT_MAX]);

// Every row from DO1 (hidden rows too), into out: a one-shot row reads its
// time (decimal, 3 characters) and must be 1..255, or
// "ワンショット時間は1-255の範囲で設定してください。". A row without a
// checked button keeps what device had. nullptr when valid.
const char* ValidateDigitalOutputForm(const DigitalOutputFormValues& form,
                                      const DoChannelSettings (&device)[DIGITAL_OUTPUT_MAX],
                                      DoChannelSettings (&out)[DIGITAL_OUTPUT_MAX]);

// "MR0CB1", "MR0D05".
std::vector<std::string> DigitalOutputReadCommands();
// "MW0CB1" with the start-up mask, then "MW0D05" with the five times.
std::vector<std::string> DigitalOutputWriteCommands(const DoChannelSettings (&s)[DIGITAL_OUTPUT_MAX]);

int ReadDigitalOutputs();
int WriteDigitalOutputs(const DoChannelSettings (&s)[DIGITAL_OUTPUT_MAX], const SendFailedFn& onSendFailed,
                        StepFailure* failure);
