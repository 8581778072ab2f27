// The six progress callbacks of the import's MessageCallBack1 record and the
// library-wide progress state they work on.
#pragma once

class CobProgressDialog;

// Non-zero: imports show the progress window and the callbacks act.
extern int show_progress;
// The window of the running import. A window that is deleted clears it, so
// between imports it is null.
extern CobProgressDialog* progress_window;
// The percentage last given to each row's bar; kept from one import to the
// next.
extern int last_percent[3];

// Status texts longer than 1023 characters are cut to their first 1023.
void report_status_1(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report_progress_1(long current, long maximum);
void report_status_2(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report_progress_2(long current, long maximum);
void report_status_3(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report_progress_3(long current, long maximum);
