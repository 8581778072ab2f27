// The progress window's arithmetic: percentages of progress reports, the
// per-row throttle and the percentage label. Plain code, no windows.
#pragma once

#include <cstddef>

namespace cob_progress {

// current / (maximum - 1) * 100 in double precision, truncated toward zero;
// 0 when maximum < 2; 100 when current is maximum - 1. Values above 100 (a
// current at or past the maximum) are kept; results are held within
// -1000000000 to 1000000000, so absurd reports cannot overflow.
int percent_of(long current, long maximum);

// Whether a percentage reaches row 1, 2 or 3 against the row's last one: row
// 1 on any change, row 2 on a rise of 5 points, row 3 on a rise of 10; a 0
// always passes and restarts the row.
bool passes_throttle(int row, int percent, int last_percent);

// The reports of a row that its throttle drops, around one that it drops:
// every current in lo..hi-1 gives, with the same maximum and last percentage,
// a percentage that does not pass. Empty (lo == hi) when the report at
// `current` passes, or for a maximum below 2 or a negative current. With it
// the callbacks drop the reports of a million elements by a comparison
// instead of a division each.
struct QuietRun {
    long lo = 0;
    long hi = 0;
};
QuietRun quiet_run(int row, long current, long maximum, int last_percent);

// The label's percentage of a bar position in lower..upper, in integer
// arithmetic: (position - lower) * 100 / (upper - lower); 0 for an empty range.
int label_percent(int position, int lower, int upper);

// The label text "N%" of a label percentage. The label shows at most 100%
// and at least 0%: a report past the maximum (the file row's 100 of 100
// gives 101) reads 100%, as its bar shows full.
void format_label(char* out, size_t size, int percent);

}  // namespace cob_progress
