#include "progress_logic.h"

#include <climits>
#include <cstring>

namespace cob_progress {

int percent_of(long current, long maximum) {
    int percent = 0;
    if (maximum >= 2) {
        double p = static_cast<double>(current) / static_cast<double>(maximum - 1) * 100.0;
        if (p > 1e9) p = 1e9;
        if (p < -1e9) p = -1e9;
        percent = static_cast<int>(p);
    }
    if (current == maximum - 1) percent = 100;
    return percent;
}

bool passes_throttle(int row, int percent, int last_percent) {
    if (percent == 0) return true;
    switch (row) {
    case 1: return percent != last_percent;
    case 2: return static_cast<long>(percent) > static_cast<long>(last_percent) + 4;
    default: return static_cast<long>(percent) > static_cast<long>(last_percent) + 9;
    }
}

QuietRun quiet_run(int row, long current, long maximum, int last_percent) {
    // For a maximum of 2 or more percent_of rises with the current (each step
    // of its arithmetic is monotonic), so the reports that are dropped for one
    // percentage range of the throttle lie in one run; the search only asks
    // percent_of and passes_throttle, and so agrees with them exactly.
    const auto quiet = [&](long c) {
        const int p = percent_of(c, maximum);
        return p != 0 && !passes_throttle(row, p, last_percent);
    };
    if (maximum < 2 || current < 0 || !quiet(current)) return {current, current};
    QuietRun run;
    long below = -1, inside = current;  // quiet(inside); below is not, or -1
    while (inside - below > 1) {
        const long mid = below + (inside - below) / 2;
        (quiet(mid) ? inside : below) = mid;
    }
    run.lo = inside;
    long last_quiet = current, above = LONG_MAX;  // quiet(last_quiet); above is not, or LONG_MAX
    while (above - last_quiet > 1) {
        const long mid = last_quiet + (above - last_quiet) / 2;
        (quiet(mid) ? last_quiet : above) = mid;
    }
    run.hi = above;
    return run;
}

int label_percent(int position, int lower, int upper) {
    if (upper == lower) return 0;
    return static_cast<int>((static_cast<long>(position) - lower) * 100 / (static_cast<long>(upper) - lower));
}

void format_label(char* out, size_t size, int percent) {
    if (percent > 100) percent = 100;
    if (percent < 0) percent = 0;
    // "%d%" of 0..100 with snprintf's truncation; the dialog formats a label
    // for every element of a scene, so this is written out by hand.
    if (size == 0) return;
    char text[5];
    size_t length = 0;
    if (percent >= 100) text[length++] = '1';
    if (percent >= 10) text[length++] = static_cast<char>('0' + percent / 10 % 10);
    text[length++] = static_cast<char>('0' + percent % 10);
    text[length++] = '%';
    if (length > size - 1) length = size - 1;
    std::memcpy(out, text, length);
    out[length] = '\0';
}

}  // namespace cob_progress
