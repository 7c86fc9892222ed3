#include "link/Catalogue.h"

#include <cstdio>

const int ModelChannelTable[10][4] = {
    {0, 0, 0, 0},  // 0
    {5, 0, 0, 0},  // 1 TQ-110-RZ
    {0, 5, 0, 0},  // 2 TQ-120-RZ
    {3, 3, 0, 0},  // 3 TQ-130-RZ
    {5, 2, 0, 0},  // 4 TQ-140-RZ
    {0, 0, 0, 0},  // 5
    {0, 0, 0, 0},  // 6
    {0, 0, 0, 0},  // 7
    {2, 0, 0, 3},  // 8 TQ-150-RZ
    {0, 3, 3, 0},  // 9 TQ-160-RZ
};

namespace {
const char* const kModelNames[15] = {
    "(0)", "TQ-110-RZ", "TQ-120-RZ", "TQ-130-RZ", "TQ-140-RZ", "(5)", "(6)", "(7)",
    "TQ-150-RZ", "TQ-160-RZ", "(10)", "(11)", "(12)", "RG_U", "TQ-RZ900E",
};
const char* const kExtendedNames[3] = {"(EX0)", "VM-310-RZ", "VM-320-RZ"};
}  // namespace

std::string GetModelName(int code, int ext) {
    char buf[32];
    if (code < 0 || code > 15) {
        std::snprintf(buf, sizeof buf, "(%d)", code);
        return buf;
    }
    if (code == MODEL_EXTENDED) {
        if (ext >= 0 && ext <= 2) return kExtendedNames[ext];
        std::snprintf(buf, sizeof buf, "(EX%d)", ext);
        return buf;
    }
    return kModelNames[code];
}

SettingsKind SettingsKindForModel(int code) {
    switch (code) {
    case 1: case 2: case 3: case 4: case 8: case 9:
        return SettingsKind::IoUnit;
    case 13: case 14:
        return SettingsKind::Gateway;
    case 15:
        return SettingsKind::Serial;
    default:
        return SettingsKind::None;
    }
}

int ModelChannels(int code, int column) {
    if (code < 0 || code > 9 || column < 0 || column > 3) return 0;
    return ModelChannelTable[code][column];
}
