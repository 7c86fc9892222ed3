// Helpers shared by the core tests: the terminator and the relay record's
// twelve relay fields in record order (node, filter mode, low, high, mode,
// baud, format, flow, time-out, flags, end characters).
#pragma once
#include "settings/RelaySettings.h"

#include <string>
#include <vector>

inline const std::string T(1, static_cast<char>(REPLY_TERMINATOR));

inline const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

inline std::vector<int> Relay(const RelaySettings& r) {
    return {r.m_nDestNode,   r.m_nFilterMode,   r.m_nFilterLow,    r.m_nFilterHigh,
            r.m_nOpMode,     r.m_nBaudIndex,    r.m_nCharFormat,   r.m_nFlowControl,
            r.m_nTimeoutIndex, r.m_nPacketFlags, r.m_nEndChar1,    r.m_nEndChar2};
}
