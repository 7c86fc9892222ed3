#include "link/Catalogue.h"

#include <gtest/gtest.h>

namespace {

TEST(Catalogue, NamesIncludingFallbacks) {
    struct {
        int code, ext;
        const char* name;
    } const cases[] = {
        {1, 0, "TQ-110-RZ"}, {8, 0, "TQ-150-RZ"}, {13, 0, "RG_U"},   {14, 0, "TQ-RZ900E"},
        {15, 1, "VM-310-RZ"}, {15, 2, "VM-320-RZ"}, {15, 0, "(EX0)"}, {15, 7, "(EX7)"},
        {15, -1, "(EX-1)"},  {5, 0, "(5)"},        {16, 0, "(16)"},  {-3, 0, "(-3)"},
        {3, 9, "TQ-130-RZ"},  // the extension matters only for code 15
        {2147483647, 0, "(2147483647)"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetModelName(c.code, c.ext), c.name) << c.code << "/" << c.ext;
}

TEST(Catalogue, SettingsKindPerCode) {
    for (int code = -1; code <= 16; ++code) {
        SettingsKind expected = SettingsKind::None;
        if (code == 1 || code == 2 || code == 3 || code == 4 || code == 8 || code == 9) expected = SettingsKind::IoUnit;
        if (code == 13 || code == 14) expected = SettingsKind::Gateway;
        if (code == 15) expected = SettingsKind::Serial;
        EXPECT_EQ(SettingsKindForModel(code), expected) << code;
    }
}

TEST(Catalogue, ChannelCountsOfTheIoUnits) {
    EXPECT_EQ(ModelChannels(8, CH_DO), 2);
    EXPECT_EQ(ModelChannels(8, CH_AI), 3);
    EXPECT_EQ(ModelChannels(8, CH_DI), 0);
    EXPECT_EQ(ModelChannels(9, CH_AO), 3);
    EXPECT_EQ(ModelChannels(4, CH_DI), 2);
    EXPECT_EQ(ModelChannels(12, CH_DO), 0);  // outside the table
    EXPECT_EQ(ModelChannels(-1, CH_DO), 0);
    // Only TQ-150-RZ has analog inputs.
    for (int code = 0; code < 10; ++code) EXPECT_EQ(ModelChannelTable[code][CH_AI] > 0, code == MODEL_TQ150);
}

}  // namespace
