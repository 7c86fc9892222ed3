// The model catalogue: names, channel counts and the settings window kind.
#pragma once

#include <string>

// Columns of ModelChannelTable.
constexpr int CH_DO = 0;  // digital outputs
constexpr int CH_DI = 1;  // digital inputs
constexpr int CH_AO = 2;  // analog outputs
constexpr int CH_AI = 3;  // analog inputs

constexpr int MODEL_TQ150 = 8;  // the only model with analog inputs
constexpr int MODEL_EXTENDED = 15;

// Channel counts DO, DI, AO, AI of model codes 0..9.
extern const int ModelChannelTable[10][4];

// Display name of a model code and extension index (an owned string).
std::string GetModelName(int code, int ext);

enum class SettingsKind { None, IoUnit, Gateway, Serial };

// Which settings window a model code gets (None: refused as unsupported).
SettingsKind SettingsKindForModel(int code);

// Channel count of a model (0 for codes outside the table).
int ModelChannels(int code, int column);
