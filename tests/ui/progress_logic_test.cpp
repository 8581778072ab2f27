// The progress window's arithmetic, without any window.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "progress_logic.h"

namespace {

using cob_progress::format_label;
using cob_progress::label_percent;
using cob_progress::passes_throttle;
using cob_progress::percent_of;

TEST(ProgressPercent, DivisionByMaximumMinusOneTruncated) {
    EXPECT_EQ(percent_of(1, 4), 33);
    EXPECT_EQ(percent_of(29, 101), 28);  // 29 / 100 * 100 in double is 28.999...
    EXPECT_EQ(percent_of(2, 4), 66);
    EXPECT_EQ(percent_of(0, 1000), 0);
}

TEST(ProgressPercent, LastElementIsAlwaysHundred) {
    EXPECT_EQ(percent_of(0, 1), 100);
    EXPECT_EQ(percent_of(-1, 0), 100);
    EXPECT_EQ(percent_of(0, 2), 0);
    EXPECT_EQ(percent_of(1, 2), 100);
    EXPECT_EQ(percent_of(0, 3), 0);
    EXPECT_EQ(percent_of(1, 3), 50);
    EXPECT_EQ(percent_of(2, 3), 100);
}

TEST(ProgressPercent, SmallMaximumGivesZeroAndPastTheEndGoesAboveHundred) {
    EXPECT_EQ(percent_of(5, 1), 0);
    EXPECT_EQ(percent_of(5, 0), 0);
    EXPECT_EQ(percent_of(5, -7), 0);
    EXPECT_EQ(percent_of(100, 100), 101);  // the file row's report once the header is read
    EXPECT_EQ(percent_of(200, 101), 200);
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

TEST(ProgressThrottle, RowOneShowsEveryChangeDecreasesIncluded) {
    EXPECT_EQ(bar_moves(1, {10, 10, 10}), std::vector<int>({10}));
    EXPECT_EQ(bar_moves(1, {40, 30}), std::vector<int>({40, 30}));
    EXPECT_EQ(bar_moves(1, {0, 0, 0}), std::vector<int>({0, 0, 0}));  // 0 always passes
}

TEST(ProgressThrottle, RowTwoNeedsFivePointsRowThreeTen) {
    EXPECT_EQ(bar_moves(2, {0, 3, 5, 6, 9, 10}), std::vector<int>({0, 5, 10}));
    EXPECT_EQ(bar_moves(3, {0, 5, 10, 11}), std::vector<int>({0, 10}));
    EXPECT_EQ(bar_moves(2, {4, 5}), std::vector<int>({5}));
}

TEST(ProgressThrottle, RowTwoAtHundredWaitsForZero) {
    EXPECT_EQ(bar_moves(2, {50, 90, 104, 0, 3, 5}, 100), std::vector<int>({0, 5}));
    EXPECT_EQ(bar_moves(2, {105}, 100), std::vector<int>({105}));
    // The carry-over between imports: a first report of 50 after an import
    // that ended at 100 does not move the bar.
    EXPECT_TRUE(bar_moves(2, {50}, 100).empty());
}

TEST(ProgressThrottle, NoOverflowNearIntLimits) {
    EXPECT_FALSE(passes_throttle(2, INT_MAX, INT_MAX - 2));
    EXPECT_FALSE(passes_throttle(3, INT_MAX, INT_MAX));
    EXPECT_TRUE(passes_throttle(2, INT_MAX, INT_MAX - 5));
}

TEST(ProgressLabel, PercentOfRangeAndText) {
    EXPECT_EQ(label_percent(50, 0, 100), 50);
    EXPECT_EQ(label_percent(5, 0, 10), 50);
    EXPECT_EQ(label_percent(3, 1, 4), 66);
    EXPECT_EQ(label_percent(7, 7, 7), 0);
    char text[16];
    format_label(text, sizeof text, 42);
    EXPECT_STREQ(text, "42%");
    format_label(text, sizeof text, 0);
    EXPECT_STREQ(text, "0%");
    format_label(text, sizeof text, 101);  // shown full, as the bar is
    EXPECT_STREQ(text, "100%");
    format_label(text, sizeof text, -3);
    EXPECT_STREQ(text, "0%");
    char tiny[3];
    format_label(tiny, sizeof tiny, 100);
    EXPECT_STREQ(tiny, "10");
}

}  // namespace
