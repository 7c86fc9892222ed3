#include "link/Catalogue.h"

#include <gtest/gtest.h>

namespace {

TEST(Catalogue, NamesAndChannelCountsIncludingFallbacks) {
    const struct { int code, ext; const char* name; } cases[] = {
        {1, 0, "TQ-110-RZ"}, {8, 0, "TQ-150-RZ"}, {13, 0, "RG_U"},   {14, 0, "TQ-RZ900E"},
        {15, 1, "VM-310-RZ"}, {15, 2, "VM-320-RZ"}, {15, 0, "(EX0)"}, {15, 7, "(EX7)"},
        {15, -1, "(EX-1)"},  {5, 0, "(5)"},        {16, 0, "(16)"},  {-3, 0, "(-3)"},
        {3, 9, "TQ-130-RZ"},  // the extension matters only for code 15
        {2147483647, 0, "(2147483647)"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetModelName(c.code, c.ext), c.name) << c.code << "/" << c.ext;
    // Channel counts: codes outside the table have none.
    EXPECT_EQ(ModelChannels(9, CH_AO), 3);
    EXPECT_EQ(ModelChannels(12, CH_DO), 0);
    EXPECT_EQ(ModelChannels(-1, CH_DO), 0);
}

}  // namespace
