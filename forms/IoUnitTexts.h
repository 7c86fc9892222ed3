// Texts of the I/O unit pages: labels, list items and validation messages.
// Toolkit-free: the core library's validators return these.
#pragma once

// ---- list contents (the index is what travels on the wire) ----
inline constexpr const char* const NOTIFY_INTERVALS[] = {"1秒", "2秒", "5秒", "10秒", "20秒", "30秒",
                                                         "1分", "2分", "5分", "10分", "30分", "60分"};
inline constexpr int NOTIFY_INTERVAL_COUNT = 12;
inline constexpr const char* const CHATTER_FILTERS[] = {"4ms",  "6ms",  "8ms",  "10ms", "12ms",  "14ms", "16ms",
                                                        "18ms", "20ms", "30ms", "50ms", "100ms", "200ms"};
inline constexpr int CHATTER_FILTER_COUNT = 13;
inline constexpr const char* const SLEEP_INTERVALS[] = {"1分",  "2分",  "5分",   "10分",   "30分",
                                                        "1時間", "3時間", "6時間", "12時間", "24時間"};
inline constexpr int SLEEP_INTERVAL_COUNT = 10;
inline constexpr const char* const COMMAND_WAITS[] = {"なし", "10秒", "30秒"};
inline constexpr int COMMAND_WAIT_COUNT = 3;
inline constexpr const char* const LED_CONDITIONS[] = {"範囲内", "範囲外"};
inline constexpr int LED_CONDITION_COUNT = 2;

// ---- digital input page ----
inline constexpr const char* TXT_DEST_NODES = "送信先ノード  (1-254) :";
inline constexpr const char* TXT_RETRY_COUNT = "再送回数 (0-7) :";
inline constexpr const char* TXT_NOTIFY_INTERVAL = "定期通知 :";
inline constexpr const char* TXT_RESET_REQUEST = "無通信時リセット要求";
inline constexpr const char* TXT_CHATTER_FILTER = "チャタリング除去 : ";
inline constexpr const char* TXT_EXTENSION = "個別延長有効";
inline constexpr const char* TXT_SLEEP = "スリープ有効";
inline constexpr const char* TXT_SLEEP_INTERVAL = "スリープ間隔 :";
inline constexpr const char* TXT_COMMAND_WAIT = "コマンド待機時間 :";
inline constexpr const char* TXT_WAKEUP_NODE = "ウェイクアップ通知先 (1-254) :";

inline constexpr const char* MSG_IO_DEST_NODE_RANGE = "宛先ノードは1-254の範囲で指定してください。";
inline constexpr const char* MSG_RETRY_RANGE = "再送回数は0-7の範囲で指定してください。";
inline constexpr const char* MSG_EXTENSION_NONE = "個別延長有効時はいずれかのDIを有効にしてください。";
inline constexpr const char* MSG_WAKEUP_RANGE = "ウェイクアップ通知先は1-254の範囲で指定してください。";

// ---- digital output page ----
inline constexpr const char* TXT_DO_NORMAL = "通常";
inline constexpr const char* TXT_DO_STARTUP_ON = "起動時ON";
inline constexpr const char* TXT_DO_ONE_SHOT = "ワンショット";
inline constexpr const char* MSG_ONE_SHOT_RANGE = "ワンショット時間は1-255の範囲で設定してください。";

// ---- analog output page ----
inline constexpr const char* TXT_AO_VOLTAGE = "電圧";
inline constexpr const char* TXT_AO_CURRENT = "電流";
inline constexpr const char* TXT_LED_HEADING = "LED点灯条件";
inline constexpr const char* TXT_LED_LOW = "閾値Low";
inline constexpr const char* TXT_LED_HIGH = "閾値High";
inline constexpr const char* TXT_LED_CONDITION = "点灯条件";
inline constexpr const char* MSG_LED_THRESHOLD_ORDER = "LED点灯閾値はLow<Highで設定してください。";
inline constexpr const char* MSG_CURRENT_INITIAL_NEGATIVE = "電流レンジの初期値は0mA以上にしてください。";
