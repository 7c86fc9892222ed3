// Texts of the main window and the node search window. Toolkit-free.
#pragma once

// Main window.
inline constexpr const char* TXT_MAIN_CHOOSE = "設定する対象を選択してください。";
inline constexpr const char* TXT_MAIN_DIRECT = "直接接続";
inline constexpr const char* TXT_MAIN_DIRECT_NOTE =
    "USB接続したデバイスを設定します。全ての設定が変更できます。\n初期設定はこちらを選んでください。";
inline constexpr const char* TXT_MAIN_REMOTE = "リモート設定";
inline constexpr const char* TXT_MAIN_REMOTE_NOTE =
    "無線経由でデバイスを設定します。無線設定以外の設定が変更できます。";
inline constexpr const char* TXT_MAIN_GATEWAY_GROUP = "無線ゲートウェイを選択";
inline constexpr const char* TXT_MAIN_LAN = "LAN接続";
inline constexpr const char* TXT_MAIN_ADDRESS = "アドレス:";
inline constexpr const char* TXT_MAIN_PORT = "ポート番号:";
inline constexpr const char* TXT_MAIN_USB = "USB接続";
inline constexpr const char* TXT_MAIN_TIMEOUT = "通信タイムアウト (5-120 秒) :";
inline constexpr const char* TXT_MAIN_NODE = "リモート設定対象のノード番号 (1-254) :";
inline constexpr const char* TXT_MAIN_SEARCH = "ノード検索";
inline constexpr const char* TXT_MAIN_CONNECT = "設定対象と接続";
// Accessible names of the two port lists (they carry no label of their own).
inline constexpr const char* TXT_MAIN_DIRECT_PORT_LIST = "直接接続";
inline constexpr const char* TXT_MAIN_GATEWAY_PORT_LIST = "USB接続";

inline constexpr const char* TXT_DEFAULT_TCP_PORT = "10003";
inline constexpr const char* TXT_DEFAULT_TIMEOUT = "10";
inline constexpr int MAIN_ADDRESS_MAX = 64;
inline constexpr int MAIN_PORT_MAX = 5;
inline constexpr int MAIN_NODE_MAX = 3;
inline constexpr int MAIN_TIMEOUT_MAX = 3;

// Version text formats: without and with the fourth number.
inline constexpr const char* TXT_VERSION_3 = "Version %d.%d%d";
inline constexpr const char* TXT_VERSION_4 = "Version %d.%d%d%d";

// Messages of the main window.
inline constexpr const char* MSG_SOCKET_INIT_FAILED = "Windows ソケットの初期化に失敗しました。";
inline constexpr const char* MSG_TIMEOUT_RANGE = "タイムアウト時間は5-120秒の範囲で設定してください。";
inline constexpr const char* MSG_SELECT_TARGET = "接続先を選択してください。";
inline constexpr const char* MSG_LAN_NO_ADDRESS = "LAN接続の場合、接続先アドレスを設定してください。";
inline constexpr const char* MSG_LAN_NO_PORT = "LAN接続の場合、接続先ポートを設定してください。";
inline constexpr const char* MSG_BAD_NODE = "宛先ノードが正しくありません。";
inline constexpr const char* MSG_GATEWAY_UNREACHABLE = "無線ゲートウェイと接続できません。";
inline constexpr const char* MSG_CONNECT_ERROR_CODE = "接続エラー : %d";
// A serial port that exists but that this user may not open (%s: its path).
inline constexpr const char* MSG_PORT_NO_PERMISSION =
    "シリアルポート %s を開く権限がありません。\nユーザーを dialout グループに追加し、ログインし直してください。";
inline constexpr const char* MSG_UNSUPPORTED_MODEL = "通信エラー、もしくは対応していないモデルです。";
inline constexpr const char* MSG_READ_FAILED = "設定の取得に失敗しました。";
inline constexpr const char* MSG_OVERLOAD = "負荷により処理を中断します。";

// Node search window.
inline constexpr const char* TXT_SEARCH_TITLE = "ノードの検索";
inline constexpr const char* TXT_SEARCH_COL_NODE = "ノード";
inline constexpr const char* TXT_SEARCH_COL_MODEL = "モデル";
inline constexpr const char* TXT_SEARCH_COL_ID = "ID";
inline constexpr const char* TXT_SEARCH_COL_RSSI = "RSSI";
inline constexpr const char* TXT_SEARCH_STATUS_HEAD = "デバイスを検索しています";
inline constexpr const char* TXT_SEARCH_STATUS_DOT = " .";
inline constexpr const char* TXT_SEARCH_STATUS_TAIL = "\n発見したデバイスはリストに順次追加されます。";
inline constexpr const char* TXT_SEARCH_RSSI = "%d dBm";
inline constexpr const char* TXT_SEARCH_LIST = "ノードの検索";
