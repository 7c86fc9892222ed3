// Texts of the analog input page and the analog input channel dialog: list
// items, labels, units, display formats and messages. Toolkit-free: the core
// library's validators return these.
#pragma once

// ---- analog input page ----
inline constexpr const char* MSG_CHANNEL_FETCH_FAILED = "通信エラー 設定が取得できませんでした。";
inline constexpr const char* MSG_CHANNEL_TIMEOUT = "通信エラー : タイムアウト";

// ---- channel dialog "AIの設定" ----
inline constexpr const char* TXT_AI_DIALOG_TITLE = "AIの設定";

// Input ranges (index = m_nInputRange).
inline constexpr int AI_RANGE_COUNT = 7;
inline constexpr int AI_RANGE_THERMOCOUPLE = 6;
inline constexpr const char* const AI_RANGE_ITEMS[AI_RANGE_COUNT] = {
    "±100mV", "±1V", "±10V", "±30V", "0-20mA (外付け250Ω)", "0-20mA (外付け50Ω)", "熱電対"};
inline constexpr const char* TXT_UNIT_VOLT = "V";
inline constexpr const char* TXT_UNIT_MILLIAMPERE = "mA";
inline constexpr const char* TXT_UNIT_CELSIUS = "℃";

// Thermocouple types (index = m_nTcType).
inline constexpr int AI_TC_TYPE_COUNT = 8;
inline constexpr const char* const AI_TC_TYPE_ITEMS[AI_TC_TYPE_COUNT] = {"K", "J", "T", "E", "N", "R", "S", "B"};

// Scaling ranges of the temperature extended output (index = m_nScaleRange).
inline constexpr int AI_SCALE_RANGE_COUNT = 5;
inline constexpr const char* const AI_SCALE_RANGE_ITEMS[AI_SCALE_RANGE_COUNT] = {"0-10V", "0-5V", "1-5V", "4-20ｍA",
                                                                                 "無換算"};

// LED conditions (index = m_nLedCondition).
inline constexpr int AI_LED_CONDITION_COUNT = 2;
inline constexpr const char* const AI_LED_CONDITION_ITEMS[AI_LED_CONDITION_COUNT] = {"範囲内で点灯", "範囲外で点灯"};

// Labels and captions of the dialog (accessible names follow them).
inline constexpr const char* TXT_AI_INPUT_RANGE = "AI 入力レンジ :";
inline constexpr const char* TXT_AI_TC_TYPE = "熱電対タイプ :";
inline constexpr const char* TXT_AI_SCALE_RANGE = "レンジ :";
inline constexpr const char* TXT_AI_TEMP_LOW = "下限温度 : 0.1℃単位";
inline constexpr const char* TXT_AI_TEMP_HIGH = "上限温度 : 0.1℃単位";
// "LED点灯条件", "閾値Low", "閾値High" and the LED threshold message are
// shared with the analog output page (IoUnitTexts.h).

// Messages of the dialog's OK, in the order of its checks (the first, on the
// LED thresholds, is MSG_LED_THRESHOLD_ORDER).
inline constexpr const char* MSG_TEMP_INVALID = "下限・上限温度に無効な数字が含まれています。";
inline constexpr const char* MSG_TEMP_RANGE = "下限・上限温度は-3276.8 - 3276.7度の範囲で設定してください。";
inline constexpr const char* MSG_TEMP_ORDER = "下限より上限を大きく設定してください。";
