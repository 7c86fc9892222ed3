// The gateway's settings without the toolkit: the read routine, the reply
// handler, the "gk"/"GE" and "mr" wire forms, the validation of the form's
// plain values and the write routine.
#pragma once

#include <cstdint>
#include <string>

#include "settings/RelaySettings.h"
#include "settings/SettingsCore.h"

// The gateway's MAC address in transmission order. Process-wide, outside the
// settings block, so it is not cleared before a read. Written by the receive
// thread while the reader waits for "mr"; read after the wait.
extern unsigned char m_abMacAddress[6];

constexpr int GK_ANSWER_SIZE = 36;
constexpr int MR_ANSWER_SIZE = 19;

// "gk" (36 bytes): both ports and the three addresses. False (rs untouched)
// for another length.
bool ParseLanAnswer(const unsigned char* reply, int len, RelaySettings& rs);
// "mr" (19 bytes) echoing "01A": the six MAC bytes. False (mac untouched)
// for another length or address.
bool ParseMacAnswer(const unsigned char* reply, int len, unsigned char mac[6]);
// "%02X-%02X-%02X-%02X-%02X-%02X".
std::string FormatMac(const unsigned char mac[6]);

// The 36-byte "GE" command with the terminator.
std::string BuildLanCommand(const RelaySettings& rs);

// Reply handler installed while the gateway window is read and open.
int GatewayReplyHandler(void* ctx, const unsigned char* reply, int len);

// "GJ" when direct, then "SJ", "GK", "MR01A6"; 0 or -1 at the first failure.
int ReadGatewaySettings();

// The form's values as typed.
struct GatewayFormValues {
    std::string destNode;
    std::string commandPort;
    std::string serialPort;
    std::string ipAddress;
    std::string subnetMask;
    std::string defaultGateway;
};

// The form's texts from the record.
GatewayFormValues GatewayFormFromSettings(const RelaySettings& rs);

// Validates in order and stores into rs as it goes; nullptr when valid, else
// the message to show.
const char* ValidateGatewayForm(const GatewayFormValues& form, RelaySettings& rs);

// The write's commands in order: "SP" (destination node and mode only) and "GE".
std::vector<std::string> GatewayWriteCommands(const RelaySettings& rs);
// "SP" then "GE"; 0 or -1 (failure->error holds the failing call's error).
int WriteGatewaySettings(const RelaySettings& rs, const SendFailedFn& onSendFailed, StepFailure* failure);
