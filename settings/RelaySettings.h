// The relay settings of the gateway and the serial converter: a layout of the
// device settings block and its wire form ("sj" answer, "SP" command).
// Toolkit-free.
#pragma once

#include <cstdint>
#include <string>

#include "link/DeviceLink.h"

struct RelaySettings {
    std::int32_t m_nDestNode;
    std::int32_t m_nFilterMode;
    std::int32_t m_nFilterLow;
    std::int32_t m_nFilterHigh;
    std::int32_t m_nOpMode;
    std::int32_t m_nBaudIndex;
    std::int32_t m_nCharFormat;
    std::int32_t m_nFlowControl;
    std::int32_t m_nTimeoutIndex;
    std::int32_t m_nPacketFlags;
    std::int32_t m_nEndChar1;
    std::int32_t m_nEndChar2;
    std::uint32_t m_dwIpAddress;   // first octet in the lowest-addressed byte
    std::uint32_t m_dwSubnetMask;  // same order
    std::uint32_t m_dwGateway;     // same order
    std::int32_t m_nCommandPort;
    std::int32_t m_nSerialPort;
};
static_assert(sizeof(RelaySettings) == 17 * 4);

// The relay record inside theLink.m_settings.
inline RelaySettings& TheRelaySettings() { return theLink.SettingsAs<RelaySettings>(); }

// Both "sj" and "SP" are 20 bytes with the terminator.
constexpr int RELAY_FRAME_SIZE = 20;

// A small number as its space-offset character. A value whose character would
// be a NUL or the terminator (only possible for values outside every list) is
// sent as a blank, i.e. 0, so the frame can never be cut short.
char OffsetChar(int value);
// The value of a space-offset character (may be negative for control bytes).
inline int OffsetValue(unsigned char c) { return static_cast<int>(c) - 0x20; }

// Parses positions 2..13 of a 20-byte "sj" answer (baud rate to the second
// end character); withFilter also reads the filter positions 14..18.
// Returns false, leaving rs untouched, when len is not 20.
bool ParseRelayAnswer(const unsigned char* reply, int len, RelaySettings& rs, bool withFilter);

// The full "SP" command (every relay position filled), 20 bytes with the
// terminator.
std::string BuildRelayCommand(const RelaySettings& rs);

// The gateway's "SP": only the destination node and the mode are filled,
// every other relay field travels as 0.
std::string BuildGatewayRelayCommand(const RelaySettings& rs);

// ---- IPv4 addresses in the record's byte order ----

// Builds the stored form from the four octets, first octet first.
std::uint32_t AddressFromOctets(unsigned o0, unsigned o1, unsigned o2, unsigned o3);
// "192.168.0.1" from the stored form.
std::string FormatAddress(std::uint32_t stored);
// Strict dotted decimal: four parts of 1..3 digits, each 0..255, no leading
// zeros (so "010" is not silently octal or decimal), nothing else.
bool ParseAddress(const std::string& text, std::uint32_t* stored);
// Eight hex digits (first octet first) to the stored form and back.
std::uint32_t AddressFromHex(const unsigned char* eightDigits);
std::string AddressToHex(std::uint32_t stored);
