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

void report_progress(int row, long current, long maximum) {
    if (show_progress == 0) return;
    CobProgressDialog* window = live_window();
    if (window == nullptr) return;
    int percent = cob_progress::percent_of(current, maximum);
    if (!cob_progress::passes_throttle(row, percent, last_percent[row - 1])) return;
    window->SetRowPosition(row, percent);
    last_percent[row - 1] = percent;
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

void report_progress_1(long current, long maximum) { report_progress(1, current, maximum); }
void report_progress_2(long current, long maximum) { report_progress(2, current, maximum); }
void report_progress_3(long current, long maximum) { report_progress(3, current, maximum); }
