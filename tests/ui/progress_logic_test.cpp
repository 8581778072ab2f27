// The progress window's arithmetic, without any window: the edge cases that
// the window's own tests (progress_window_test.cpp) do not reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "progress_logic.h"

namespace {

using cob_progress::passes_throttle;

TEST(ProgressPercent, DivisionByMaximumMinusOneAndTheLastElementIsHundred) {
    // A maximum below 2 gives 0; past the end goes above 100; absurd reports
    // stay within int instead of overflowing the conversion.
    const struct { long current, maximum; int percent; } cases[] = {
        {2, 4, 66}, {0, 1000, 0}, {1, 3, 50}, {2, 3, 100}, {0, 1, 100}, {-1, 0, 100}, {5, 1, 0}, {5, -7, 0},
        {LONG_MAX, 2, 1000000000}, {LONG_MIN, 2, -1000000000},
    };
    for (const auto& c : cases) EXPECT_EQ(cob_progress::percent_of(c.current, c.maximum), c.percent) << c.current << "/" << c.maximum;
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

TEST(ProgressLabel, PercentOfRangeAndTextClampedAndCut) {
    EXPECT_EQ(cob_progress::label_percent(5, 0, 10), 50);
    EXPECT_EQ(cob_progress::label_percent(3, 1, 4), 66);
    EXPECT_EQ(cob_progress::label_percent(7, 7, 7), 0);
    const struct { int percent; size_t size; const char* text; } cases[] = {
        {42, 16, "42%"}, {-3, 16, "0%"}, {105, 16, "100%"}, {100, 4, "100"}, {100, 3, "10"}, {7, 2, "7"}, {7, 1, ""},
    };
    for (const auto& c : cases) {
        char text[17];
        std::fill(std::begin(text), std::end(text), '#');
        cob_progress::format_label(text, c.size, c.percent);
        EXPECT_STREQ(text, c.text) << c.percent << " in " << c.size;
        EXPECT_EQ(text[c.size], '#') << "written past the size";
    }
}

}  // namespace
