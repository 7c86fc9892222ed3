// An I/O unit's settings as the "settings" object of a device profile
// (settings/ProfileDocument.h): one object per page the model has, holding
// what that page shows. Both directions go through the pages' own form
// values; a profile is checked with the pages' own validation and messages.
// Toolkit-free.
//
//   "analogInput":   (TQ-150-RZ) destNode1..destNode4, retryCount,
//                    notifyInterval, sleepEnabled, sleepInterval,
//                    commandWait, wakeupNode, and AI1..AIn { inputRange,
//                    thermocouple, coldJunction, burnoutDetect,
//                    burnoutOutput, scaleRange, tempLow, tempHigh (degC),
//                    ledLow, ledHigh (in the input range's unit),
//                    ledCondition }: the channel dialog's settings
//   "digitalInput":  destNode1..destNode4 (0: empty), retryCount,
//                    notifyInterval, resetRequest, chatterFilter,
//                    extensionEnabled, extension { DI1..DIn }, sleepEnabled,
//                    sleepInterval, commandWait, wakeupNode
//   "digitalOutput": DO1..DOn { mode, oneShotTime (x 100 ms) }
//   "analogOutput":  AO1..AOn { range, initialValue, ledLow, ledHigh
//                    (V or mA, as the range says), ledCondition }
// Lists by the texts the pages show. Only the inputs and outputs the model
// has are in a profile; the others keep what the device holds (a write
// reads the device first, as the window's connection does).
//
// Analog values are shown with the page's decimals, or with as many more as
// it takes to name the device's 16-bit code exactly, so that a profile read
// from one unit writes the same codes to another.
#pragma once

#include "iounit/AnalogInput.h"
#include "iounit/AnalogOutputCore.h"
#include "iounit/DigitalInputCore.h"
#include "iounit/DigitalOutputCore.h"
#include "settings/ProfileDocument.h"

#include <string>
#include <vector>

// The records of every page (process-wide: TheDigitalInputSettings() or
// TheAnalogInputSettings(), two layouts of one settings block, the model
// decides which; theDigitalOutputs, theAnalogOutputs).
struct IoUnitRecords {
    DigitalInputSettings digitalInput{};
    AnalogInputSettings analogInput{};
    DoChannelSettings digitalOutput[DIGITAL_OUTPUT_MAX];
    AoChannelSettings analogOutput[ANALOG_OUTPUT_MAX];
};
IoUnitRecords TheIoUnitRecords();
void StoreIoUnitRecords(const IoUnitRecords& records, int model);

// The form values of every page.
struct IoUnitFormValues {
    AnalogInputFormValues analogInput;
    // The channel dialog's records: what its OK would leave for each channel.
    AiChannelSettings channels[AI_CHANNEL_COUNT]{};
    DigitalInputFormValues digitalInput;
    DigitalOutputFormValues digitalOutput;
    AnalogOutputFormValues analogOutput;
};

// What the pages show for the records.
IoUnitFormValues IoUnitFormFromRecords(const IoUnitRecords& records);

// The model's pages as a profile's settings object.
ProfileJson IoUnitProfileSettings(const IoUnitFormValues& form, int model);

// Reads a profile's settings into the form values of the device's records
// (what the profile lacks stays as the device has it), checking each field
// and then each page with its own validation. False with the first problem.
bool IoUnitFormFromProfile(const ProfileJson& settings, int model, const IoUnitRecords& device,
                           IoUnitFormValues* form, ProfileError* error);

// The pages' validation of form into out, in page order (a choice left open
// takes device's value); nullptr or the first page's message.
const char* ValidateIoUnitForm(const IoUnitFormValues& form, const IoUnitRecords& device, int model,
                               IoUnitRecords* out);

// The commands of the window's settings read without the wireless group
// (for TQ-150-RZ followed by each channel's fetch, "AJ", "AK", "TJ"), and of
// its write from the records (for TQ-150-RZ each channel's four commands
// first, as its channel dialog sends them, then the pages' writes); page
// order.
std::vector<std::string> IoUnitReadCommands(int model);
std::vector<std::string> IoUnitWriteCommands(const IoUnitRecords& records, int model);
// Only the channels' commands of that write.
std::vector<std::string> AnalogChannelWriteCommands(const AiChannelSettings (&channels)[AI_CHANNEL_COUNT], int model);

// ---- analog values ----

// The value a 16-bit code stands for at full scale fullScale, as shown with
// decimals digits or the fewest more that still convert back to the code.
double AnalogProfileValue(long code, double fullScale, int decimals);
// A value (within +-fullScale) as its code: the page's conversion, with a
// margin of a millionth of a step for the rounding of decimal text.
long AnalogProfileCode(double value, double fullScale);
