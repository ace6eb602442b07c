#include "platform/ui/modifier_keys.h"
#include "platform/ui/random_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace zerin {
namespace {

TEST(ModifierKeys, OptionIsAltAndLockKeysAreIgnored) {
    EXPECT_EQ(modifierKeysFromX11State(1u << 3), (ModifierKeys{false, false, true, false}));
    // Caps Lock (bit 1) and Num Lock (Mod2, bit 4) say nothing about what the user holds.
    EXPECT_EQ(modifierKeysFromX11State((1u << 1) | (1u << 4)), ModifierKeys{});
    EXPECT_EQ(modifierKeysFromX11State(1u | (1u << 2) | (1u << 6)),
              (ModifierKeys{true, true, false, true}));
}

TEST(RandomSource, SeededSequencesRepeatAndDrawsStayOnTheirGrid) {
    RandomSource a(7);
    RandomSource b(7);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(a.next(), b.next());

    std::set<std::uint64_t> small;
    double sum = 0.0;
    constexpr int draws = 20000;
    for (int i = 0; i < draws; ++i) {
        small.insert(a.below(7));
        const float unit = a.uniformFloat(0.0f, 1.0f);
        ASSERT_GE(unit, 0.0f);
        ASSERT_LE(unit, 1.0f);
        const float steps = unit * 16777216.0f; // a draw is r / 2^24
        ASSERT_EQ(steps, std::floor(steps));
        sum += unit;
        const float alpha = a.uniformFloat(0.3f, 1.0f);
        ASSERT_GE(alpha, 0.3f);
        ASSERT_LE(alpha, 1.0f);
    }
    EXPECT_EQ(small, (std::set<std::uint64_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_NEAR(sum / draws, 0.5, 0.01);
    EXPECT_EQ(a.below(0), 0u);
}

} // namespace
} // namespace zerin
