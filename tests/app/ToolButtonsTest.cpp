#include "app/ToolButtons.h"

#include <gtest/gtest.h>
#include <set>

namespace eitool {
namespace {

// Every button can be told from the others (the two waste bins alike), and a disabled one is
// plainly grey.
TEST(ToolButtons, ImagesDifferAndDisabledOnesAreGrey) {
    std::set<ToolImage> enabled;
    for (int i = 0; i < kToolImageCount; ++i) {
        const ToolImage colour = ToolButtonImage(i, true);
        const ToolImage grey = ToolButtonImage(i, false);
        enabled.insert(colour);
        EXPECT_NE(colour, grey) << i;
        int opaque = 0;
        for (std::size_t p = 0; p < grey.size(); ++p) {
            EXPECT_EQ(grey[p] >> 24, colour[p] >> 24) << i;
            const std::uint32_t r = (grey[p] >> 16) & 0xFF;
            EXPECT_TRUE(r == (grey[p] & 0xFF) && r == ((grey[p] >> 8) & 0xFF)) << i;
            opaque += (colour[p] >> 24) != 0 ? 1 : 0;
        }
        EXPECT_GT(opaque, 40) << i;
    }
    EXPECT_EQ(ToolButtonImage(2, true), ToolButtonImage(3, true));
    EXPECT_EQ(enabled.size(), 6u);
}

} // namespace
} // namespace eitool
