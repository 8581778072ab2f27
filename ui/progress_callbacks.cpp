#include "progress_callbacks.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "cob_progress_dialog.h"
#include "progress_logic.h"

int show_progress = 1;
CobProgressDialog* progress_window = nullptr;
int last_percent[3] = {0, 0, 0};

namespace {

constexpr int kTextSize = 1024;

// A window object whose window could not be made (or is gone) counts as none.
CobProgressDialog* live_window() {
    return progress_window != nullptr && progress_window->m_hWnd != nullptr ? progress_window : nullptr;
}

void report_status(int row, const char* format, va_list args) {
    CobProgressDialog* window = live_window();
    if (window == nullptr) return;
    char text[kTextSize];
    std::vsnprintf(text, sizeof text, format, args);
    char current[kTextSize];
    window->GetRowStatus(row, current, sizeof current);
    if (std::strcmp(text, current) != 0) window->SetRowStatus(row, text);
}

// Per row, the reports last found to be dropped by the throttle: a report of
// that run, with the same maximum and the same last percentage, is dropped
// without working out its percentage.
struct QuietReports {
    long maximum = 0;
    int last_percent = 0;
    cob_progress::QuietRun run;
};
QuietReports quiet[3];

// Whether a report lies in its row's quiet run: the callbacks ask this first,
// so that a report that changes nothing costs these comparisons alone.
inline bool quiet_report(int row, long current, long maximum) {
    const QuietReports& q = quiet[row - 1];
    return current < q.run.hi && current >= q.run.lo && maximum == q.maximum && last_percent[row - 1] == q.last_percent;
}

// A report outside its row's quiet run (show_progress is set).
__attribute__((noinline)) void report_progress(int row, long current, long maximum) {
    QuietReports& q = quiet[row - 1];
    CobProgressDialog* window = live_window();
    if (window == nullptr) return;
    int percent = cob_progress::percent_of(current, maximum);
    if (!cob_progress::passes_throttle(row, percent, last_percent[row - 1])) {
        q.maximum = maximum;
        q.last_percent = last_percent[row - 1];
        q.run = cob_progress::quiet_run(row, current, maximum, last_percent[row - 1]);
        return;
    }
    window->SetRowPosition(row, percent);
    last_percent[row - 1] = percent;
}

// What each progress callback does: the common report, dropped by its
// row's quiet run, costs a few comparisons and no call.
inline void report_progress_unless_quiet(int row, long current, long maximum) {
    if (show_progress != 0 && !quiet_report(row, current, maximum)) report_progress(row, current, maximum);
}

}  // namespace

void report_status_1(const char* format, ...) {
    if (show_progress == 0) return;
    va_list args;
    va_start(args, format);
    report_status(1, format, args);
    va_end(args);
}

void report_status_2(const char* format, ...) {
    if (show_progress == 0) return;
    va_list args;
    va_start(args, format);
    report_status(2, format, args);
    va_end(args);
}

void report_status_3(const char* format, ...) {
    if (show_progress == 0) return;
    va_list args;
    va_start(args, format);
    report_status(3, format, args);
    va_end(args);
}

void report_progress_1(long current, long maximum) { report_progress_unless_quiet(1, current, maximum); }
void report_progress_2(long current, long maximum) { report_progress_unless_quiet(2, current, maximum); }
void report_progress_3(long current, long maximum) { report_progress_unless_quiet(3, current, maximum); }
