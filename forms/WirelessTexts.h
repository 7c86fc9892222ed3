// Texts of the wireless group panel, the settings file and the registration
// wait. Toolkit-free: the core library includes it.
#pragma once

// ---- panel labels and captions ----
inline constexpr const char* TXT_WG_MASTER = "無線設定の変更をする";
inline constexpr const char* TXT_WG_ROLE_PARENT = "親機として設定";
inline constexpr const char* TXT_WG_ROLE_CHILD_FILE = "子機としてファイルで設定";
inline constexpr const char* TXT_WG_ROLE_CHILD_MANUAL = "子機としてマニュアルで設定";
inline constexpr const char* TXT_WG_OPEN_FILE = "無線設定ファイルを開く";
inline constexpr const char* TXT_WG_GROUP_NUMBER = "グループ番号 :";
inline constexpr const char* TXT_WG_GROUP_PASSWORD = "グループ登録パスワード (最大8文字) :";
inline constexpr const char* TXT_WG_CHANNEL = "通信チャンネル (1-15) :";
inline constexpr const char* TXT_WG_ENCRYPTION = "パケット暗号化";
inline constexpr const char* TXT_WG_ENCRYPTION_PASSWORD = "暗号化パスワード (最大32文字) :";
inline constexpr const char* TXT_WG_MODE = "通信モード :";
inline constexpr const char* TXT_WG_MODE_FAST = "高速";
inline constexpr const char* TXT_WG_MODE_MEDIUM = "中距離";
inline constexpr const char* TXT_WG_MODE_LONG = "長距離";
inline constexpr const char* TXT_WG_NODE = "ノード番号 (2-254) :";

// ---- validation ----
inline constexpr const char* MSG_WG_GROUP_LENGTH = "グループ番号を正しく設定してください。";
inline constexpr const char* MSG_WG_GROUP_CHARS = "グループ番号に使用できない文字が含まれています。";
inline constexpr const char* MSG_WG_GROUP_FFFFFFFF = "グループ番号としてFFFFFFFFは設定できません。";
inline constexpr const char* MSG_WG_GROUP_PASSWORD_LENGTH =
    "グループ登録パスワードは1-8文字で設定してください。";
inline constexpr const char* MSG_WG_GROUP_PASSWORD_CHARS =
    "グループ登録パスワードはすべて半角英数で設定してください。";
inline constexpr const char* MSG_WG_CHANNEL_RANGE = "通信チャンネルは1-15の範囲で設定してください。";
inline constexpr const char* MSG_WG_ENCRYPTION_PASSWORD_LENGTH =
    "暗号化パスワードは1-32文字で設定してください。";
// The doubled "は" is how the device tool has always shown it.
inline constexpr const char* MSG_WG_ENCRYPTION_PASSWORD_CHARS =
    "暗号化パスワードははすべて半角英数で設定してください。";
inline constexpr const char* MSG_WG_NODE_RANGE = "ノード番号は2-254の範囲内で設定してください。";

// ---- write and completion ----
inline constexpr const char* MSG_WG_WRITE_ERROR = "設定送信エラー:GI-%02X";
inline constexpr const char* MSG_WG_CHANGED = "設定を変更しました。";
inline constexpr const char* MSG_WG_PARENT_CHANGED =
    "親機として設定を変更しました。無線設定保存ダイアログを開きます。";
inline constexpr const char* MSG_WG_FILE_APPLIED = "ファイルからロードしたパラメータを反映しました。";
inline constexpr const char* FMT_WG_DEFAULT_FILE_NAME = "KORZ_%08X.krz";

// ---- settings file ----
inline constexpr const char* TXT_WG_FILE_FILTER_NAME = "KORVELT RZ setting files(*.krz)";
inline constexpr const char* TXT_WG_FILE_FILTER_ALL = "All files (*.*)";
inline constexpr const char* TXT_WG_FILE_EXTENSION = "krz";
inline constexpr const char* MSG_WG_FILE_OPEN_FAILED = "ファイルを開けませんでした。";
inline constexpr const char* MSG_WG_FILE_SAVE_VERSION = "ファイル保存エラー:V-%d";
inline constexpr const char* MSG_WG_FILE_SAVE_ERROR = "ファイル保存エラー:E-%d";
inline constexpr const char* MSG_WG_FILE_LOAD_VERSION = "ファイル読込エラー:V-%d";
inline constexpr const char* MSG_WG_FILE_LOAD_ERROR = "ファイル読込エラー:D-%d";

// ---- registration wait ----
inline constexpr const char* TXT_WG_WAIT_TITLE = "子機として設定";
inline constexpr const char* TXT_WG_WAIT_RUNNING =
    "設定を変更しました。\n\n無線グループ登録中。\nSYS LEDが点滅終了するまでお待ちください。\n"
    "点滅し続ける場合、親機と通信できない、設定が異なる可能性があります。";
inline constexpr const char* TXT_WG_WAIT_SUCCEEDED = "設定に成功しました。";
inline constexpr const char* TXT_WG_WAIT_FAILED =
    "設定に失敗しました。\n\n設定が間違っている、親機の電源が入っていない、\n"
    "電波の状態が悪い、といった可能性がございます。";
inline constexpr const char* TXT_WG_WAIT_CLOSE = "閉じる";
