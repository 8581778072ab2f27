// Progress callbacks for the benchmark that do what the plug-in's progress
// window does per report, without a window: a percentage per report, the
// throttle against the row's last percentage, and on every bar move the
// label text and a count standing for the pass of the message pump. Status
// texts are expanded and compared with the row's current text.
#pragma once

#include "vertexa/services.h"

namespace bench {

struct ProgressTally {
    long progress_calls = 0;  // reports received
    long bar_moves = 0;       // reports that passed the throttle
    long status_changes = 0;  // status texts that differed from the row's text
};

// A record with the six callbacks; with `live` false every callback returns
// at once, as the plug-in's do when progress is switched off. Delete it with
// delete (host allocator).
MessageCallBack1* make_progress_record(bool live);

// What the callbacks saw since the last reset; the rows' last percentages
// carry over from one import to the next, as the plug-in's do.
ProgressTally progress_tally();
void reset_progress_tally();

}  // namespace bench
