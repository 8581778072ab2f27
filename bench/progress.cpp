#include "progress.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace bench {
namespace {

constexpr int kTextSize = 1024;

struct Row {
    int last_percent = 0;
    int bar = 0;
    char label[16] = " 0 %";
    char status[kTextSize] = "Status";
};

bool live_progress = true;
Row rows[3];
ProgressTally tally;

// The window's row update: bar, then the percentage label when its text changed.
void set_row_position(Row& row, int percent) {
    ++tally.bar_moves;  // where the window runs its message pump
    row.bar = percent;
    char label[16];
    std::snprintf(label, sizeof label, "%d%c", percent, '%');
    if (std::strcmp(label, row.label) != 0) std::memcpy(row.label, label, sizeof label);
}

// Rows 1, 2 and 3 move on any change, on 5 points and on 10 points.
void report_progress(int index, long current, long maximum) {
    if (!live_progress) return;
    ++tally.progress_calls;
    int percent = 0;
    if (maximum >= 2) percent = static_cast<int>(static_cast<double>(current) / static_cast<double>(maximum - 1) * 100.0);
    if (current == maximum - 1) percent = 100;
    Row& row = rows[index];
    const int step = index == 0 ? 0 : index == 1 ? 4 : 9;
    const bool skip = percent != 0 && (index == 0 ? percent == row.last_percent : percent <= row.last_percent + step);
    if (skip) return;
    set_row_position(row, percent);
    row.last_percent = percent;
}

void report_status(int index, const char* format, va_list args) {
    char text[kTextSize];
    std::vsnprintf(text, sizeof text, format, args);
    Row& row = rows[index];
    if (std::strcmp(text, row.status) == 0) return;
    ++tally.status_changes;
    std::memcpy(row.status, text, sizeof text);
}

void status_1(const char* format, ...) {
    if (!live_progress) return;
    va_list args;
    va_start(args, format);
    report_status(0, format, args);
    va_end(args);
}
void status_2(const char* format, ...) {
    if (!live_progress) return;
    va_list args;
    va_start(args, format);
    report_status(1, format, args);
    va_end(args);
}
void status_3(const char* format, ...) {
    if (!live_progress) return;
    va_list args;
    va_start(args, format);
    report_status(2, format, args);
    va_end(args);
}
void progress_1(long current, long maximum) { report_progress(0, current, maximum); }
void progress_2(long current, long maximum) { report_progress(1, current, maximum); }
void progress_3(long current, long maximum) { report_progress(2, current, maximum); }

}  // namespace

MessageCallBack1* make_progress_record(bool live) {
    live_progress = live;
    return new MessageCallBack1(status_1, progress_1, status_2, progress_2, status_3, progress_3);
}

ProgressTally progress_tally() { return tally; }
void reset_progress_tally() { tally = ProgressTally{}; }

}  // namespace bench
