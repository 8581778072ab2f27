// The import log: the plug-in's messages, byte for byte, in a file of its own.
#include <cstdarg>
#include <cstdio>

#include <string>

#include "vertexa/services.h"

namespace {

std::string divert_to;        // empty: logs go where they are named
std::string diverted_name;
bool diverted = false;

}  // namespace

void m_log_divert(const char* path) {
    divert_to = path != nullptr ? path : "";
    diverted = false;
}

const char* m_log_diverted_name() { return diverted ? diverted_name.c_str() : nullptr; }

LogFile::LogFile(const char* /*name*/, const char* log_file_name) {
    // Binary mode: the plug-in writes its own line ends, and they are kept.
    if (log_file_name != nullptr && log_file_name[0] != '\0') {
        if (divert_to.empty()) {
            file_ = std::fopen(log_file_name, "wb");
        } else {
            file_ = std::fopen(divert_to.c_str(), "wb");
            diverted_name = log_file_name;
            diverted = true;
        }
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
