// Texts shared by several windows. Toolkit-free: core libraries include it.
// Each window's own texts live beside its form (AppTexts.h, SettingsTexts.h,
// WirelessTexts.h).
#pragma once

inline constexpr const char* TXT_PROGRAM_TITLE = "KORVELT RZset";
inline constexpr const char* TXT_OK = "OK";
inline constexpr const char* TXT_CANCEL = "キャンセル";
inline constexpr const char* TXT_ABORT = "中止";
// printf format with the link's error code.
inline constexpr const char* MSG_COMM_ERROR_CODE = "通信エラー : %d";
inline constexpr const char* MSG_COMM_ERROR = "通信エラー";
