// Texts of the device profiles: the rules a refused profile names, the
// window's menu captions and file dialog. Toolkit-free: the profile
// modules return these, the windows and rzctl show them.
#pragma once

// ---- the file as a whole ----
inline constexpr const char* MSG_PROFILE_NOT_JSON = "ファイルが壊れているか途中で切れています (%s)。";
inline constexpr const char* MSG_PROFILE_NOT_PROFILE = "設定プロファイルではありません。";
inline constexpr const char* FMT_PROFILE_NEWER = "新しい版 (%lld) のプロファイルです。読めるのは版 %lld までです。";
inline constexpr const char* MSG_PROFILE_BAD_VERSION = "版は1以上の整数で指定してください。";
inline constexpr const char* FMT_PROFILE_OTHER_MODEL = "%s のプロファイルです。%s には使えません。";
inline constexpr const char* MSG_PROFILE_MODEL_NAME = "モデル名がモデルコードと一致しません。";
inline constexpr const char* MSG_PROFILE_UNSUPPORTED = "設定できないモデルです。";
inline constexpr const char* FMT_PROFILE_CANNOT_READ = "ファイルを読み込めません (%s)。";
inline constexpr const char* FMT_PROFILE_CANNOT_WRITE = "ファイルを書き込めません (%s)。";

// ---- one field ----
inline constexpr const char* MSG_FIELD_MISSING = "項目がありません。";
inline constexpr const char* MSG_FIELD_UNKNOWN = "不明な項目です。";
inline constexpr const char* MSG_FIELD_OBJECT = "{ } で囲んだ項目の組で指定してください。";
inline constexpr const char* MSG_FIELD_INTEGER = "整数で指定してください。";
inline constexpr const char* MSG_FIELD_NUMBER = "数値で指定してください。";
inline constexpr const char* MSG_FIELD_BOOL = "true または false で指定してください。";
inline constexpr const char* MSG_FIELD_TEXT = "文字列で指定してください。";
inline constexpr const char* FMT_FIELD_RANGE = "%lld-%lldの範囲で指定してください。";
inline constexpr const char* FMT_FIELD_CHOICE = "次のいずれかで指定してください: %s";
inline constexpr const char* MSG_FIELD_HEX2 = "2桁までの16進数で指定してください。";
inline constexpr const char* MSG_FIELD_HEX2_OR_EMPTY = "2桁までの16進数、または空の文字列で指定してください。";
inline constexpr const char* FMT_FIELD_VALUE_RANGE = "%s - %s の範囲で指定してください。";

// ---- the settings windows ----
inline constexpr const char* TXT_PROFILE_SAVE = "プロファイルの保存...";
inline constexpr const char* TXT_PROFILE_LOAD = "プロファイルの読込...";
inline constexpr const char* TXT_PROFILE_FILTER = "設定プロファイル (*.json)";
inline constexpr const char* TXT_PROFILE_SUFFIX = "json";
inline constexpr const char* FMT_PROFILE_REFUSED = "プロファイルを読み込めません。\n%s";
inline constexpr const char* FMT_PROFILE_NOT_SAVED = "プロファイルを保存できません。\n%s";
