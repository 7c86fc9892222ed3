// Texts of the settings windows (frame, gateway, serial converter).
// Toolkit-free: the core library's validators return these.
#pragma once

// ---- frame ----
inline constexpr const char* FMT_SETTINGS_TITLE = "%s の設定";
inline constexpr const char* FMT_SETTINGS_TITLE_NODE = "%s ( node : %d ) の設定";
inline constexpr const char* FMT_STATUS_UID = "UID : %08X";
inline constexpr const char* TXT_STATUS_FONT = "ＭＳ ゴシック";
inline constexpr int STATUS_FONT_POINTS = 10;
inline constexpr const char* MSG_LINK_LOST =
    "通信ゲートウェイとの通信異常。接続からやりなおす必要があります。\n設定画面を閉じます。";

// ---- gateway ----
inline constexpr const char* MSG_PORT_RANGE = "ポート番号は1024-65535の範囲で指定してください。";
inline constexpr const char* MSG_PORTS_EQUAL =
    "コマンドポート番号とシリアルポート番号は異なる値に設定する必要があります。";
inline constexpr const char* MSG_DEST_NODE_RANGE = "送信先ノードは0-254の範囲で指定してください。";
inline constexpr const char* MSG_NETWORK_ADDRESS = "ネットワークアドレスの指定エラーです。";

// ---- serial converter ----
inline constexpr const char* MSG_CHAR_FORMAT_7N1 =
    "「データビット 7bit / ストップビット 1bit / パリティ なし」は設定できません。";
inline constexpr const char* MSG_FILTER_RANGE = "アドレスフィルタは01-F7の範囲で設定してください。";
inline constexpr const char* MSG_FILTER_ORDER = "アドレスフィルタは下限-上限の順で設定してください。";
inline constexpr const char* FMT_SP_ERROR = "設定送信エラー:SP-%02X";

// The baud-rate list (index = m_nBaudIndex) and the packetising time-out list
// (index = m_nTimeoutIndex).
inline constexpr const char* const SERIAL_BAUD_RATES[] = {
    "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600", "115200", "230400", "460800"};
inline constexpr int SERIAL_BAUD_COUNT = 13;
inline constexpr const char* const SERIAL_TIMEOUTS[] = {"5ms", "10ms", "50ms", "250ms", "1sec", "5sec"};
inline constexpr int SERIAL_TIMEOUT_COUNT = 6;

// The serial converter's radio groups, in the order of their buttons (the
// index is the form's choice).
inline constexpr const char* const SERIAL_OP_MODES[] = {"通常", "MODBUS/RTU", "MODBUS/ASCII"};
inline constexpr const char* const SERIAL_DATA_BITS[] = {"8bit", "7bit"};
inline constexpr const char* const SERIAL_STOP_BITS[] = {"1", "2"};
inline constexpr const char* const SERIAL_PARITIES[] = {"なし", "偶数", "奇数"};
inline constexpr const char* const SERIAL_FLOW_CONTROLS[] = {"なし", "CTS/RTS", "Xon/Xoff"};
inline constexpr const char* const SERIAL_FILTERS[] = {"無効", "パスフィルター", "カットフィルター"};
inline constexpr const char* const SERIAL_EXTRA_BYTES[] = {"なし", "1バイト", "2バイト"};
