// The progress window's arithmetic, without any window: the edge cases that
// the window's own tests (progress_window_test.cpp) do not reach.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "progress_logic.h"

namespace {

using cob_progress::passes_throttle;
using cob_progress::percent_of;

TEST(ProgressPercent, DivisionByMaximumMinusOneAndTheLastElementIsHundred) {
    EXPECT_EQ(percent_of(2, 4), 66);
    EXPECT_EQ(percent_of(0, 1000), 0);
    EXPECT_EQ(percent_of(1, 3), 50);
    EXPECT_EQ(percent_of(2, 3), 100);
    EXPECT_EQ(percent_of(0, 1), 100);
    EXPECT_EQ(percent_of(-1, 0), 100);
    // A maximum below 2 gives 0; past the end goes above 100.
    EXPECT_EQ(percent_of(5, 1), 0);
    EXPECT_EQ(percent_of(5, -7), 0);
    // Absurd reports stay within int instead of overflowing the conversion.
    EXPECT_EQ(percent_of(LONG_MAX, 2), 1000000000);
    EXPECT_EQ(percent_of(LONG_MIN, 2), -1000000000);
}

// Feeds percentages through a row's throttle as the callbacks do and returns
// the ones that moved the bar.
std::vector<int> bar_moves(int row, std::vector<int> percents, int last = 0) {
    std::vector<int> moves;
    for (int p : percents) {
        if (!passes_throttle(row, p, last)) continue;
        moves.push_back(p);
        last = p;
    }
    return moves;
}

TEST(ProgressThrottle, RowOneEveryChangeRowTwoFivePointsRowThreeTen) {
    using V = std::vector<int>;
    EXPECT_EQ(bar_moves(1, {10, 10, 40, 30}), V({10, 40, 30}));  // decreases included
    EXPECT_EQ(bar_moves(1, {0, 0}), V({0, 0}));                  // 0 always passes
    EXPECT_EQ(bar_moves(3, {0, 5, 10, 11}), V({0, 10}));
    // Row two at 100 waits for 0 (the carry-over between imports) or 105.
    EXPECT_EQ(bar_moves(2, {50, 90, 104, 0, 3, 5}, 100), V({0, 5}));
    EXPECT_EQ(bar_moves(2, {105}, 100), V({105}));
    // No overflow near the limits of int.
    EXPECT_FALSE(passes_throttle(2, INT_MAX, INT_MAX - 2));
    EXPECT_FALSE(passes_throttle(3, INT_MAX, INT_MAX));
    EXPECT_TRUE(passes_throttle(2, INT_MAX, INT_MAX - 5));
}

TEST(ProgressLabel, PercentOfRangeAndText) {
    EXPECT_EQ(cob_progress::label_percent(5, 0, 10), 50);
    EXPECT_EQ(cob_progress::label_percent(3, 1, 4), 66);
    EXPECT_EQ(cob_progress::label_percent(7, 7, 7), 0);
    auto label = [](int percent, size_t size = 16) {
        char text[16];
        cob_progress::format_label(text, size, percent);
        return std::string(text);
    };
    EXPECT_EQ(label(42), "42%");
    EXPECT_EQ(label(-3), "0%");
    EXPECT_EQ(label(100, 3), "10");
    // Every percent, clamped and cut like snprintf would.
    for (int percent = -5; percent <= 105; ++percent) {
        for (size_t size : {16, 4, 3, 2, 1}) {
            char expected[16];
            std::snprintf(expected, size, "%d%%", percent < 0 ? 0 : percent > 100 ? 100 : percent);
            EXPECT_EQ(label(percent, size), expected) << percent << " size " << size;
        }
    }
}

}  // namespace
