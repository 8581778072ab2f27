// The import log: the plug-in's messages, byte for byte, in a file of its own.
#include <cstdarg>
#include <cstdio>

#include "vertexa/services.h"

LogFile::LogFile(const char* /*name*/, const char* log_file_name) {
    // Binary mode: the plug-in writes its own line ends, and they are kept.
    if (log_file_name != nullptr && log_file_name[0] != '\0') {
        file_ = std::fopen(log_file_name, "wb");
    }
}

LogFile::~LogFile() {
    if (file_ != nullptr) std::fclose(file_);
}

// Messages of every level are written; the level only tells the plug-in's
// own verbosity apart and adds nothing to the text.
void LogFile::write(int /*level*/, const char* format, ...) {
    if (file_ == nullptr || format == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(file_, format, args);
    va_end(args);
}

void LogFile::write(const char* format, ...) {
    if (file_ == nullptr || format == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(file_, format, args);
    va_end(args);
}
