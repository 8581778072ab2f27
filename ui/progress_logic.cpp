#include "progress_logic.h"

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
