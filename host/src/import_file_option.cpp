// Base of importer options: file, filter, log file name, verbose flag.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "vertexa/services.h"

namespace {

constexpr const char* kCommonSection = "Common Settings";
constexpr const char* kVerboseKey = "verbose";
constexpr const char* kLogFileKey = "log_file_name";

// Copies at most size - 1 characters and a NUL; null copies as empty.
void copy_bounded(char* out, std::size_t size, const char* text) {
    if (text == nullptr) text = "";
    std::size_t length = std::strlen(text);
    if (length > size - 1) length = size - 1;
    std::memmove(out, text, length);
    out[length] = '\0';
}

// A whole decimal int (blanks around it allowed); false leaves `value` alone.
bool parse_int(const char* text, int* value) {
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return false;
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace

Import_FileOption::Import_FileOption(const char* name, const char* log_file_name) {
    copy_bounded(profile_name_, sizeof profile_name_, name);
    copy_bounded(log_file_name_, sizeof log_file_name_, log_file_name);
    load_common_settings();
}

Import_FileOption::Import_FileOption(int argc, char** argv, const char* log_file_name) {
    copy_bounded(profile_name_, sizeof profile_name_, "vertexa");
    copy_bounded(log_file_name_, sizeof log_file_name_, log_file_name);
    argc_ = argc;
    argv_ = argv;
    load_common_settings();
    Load(argc, argv);
}

Import_FileOption::~Import_FileOption() {
    save_common_settings();
    delete profile_;
    my_free(filter_);
}

void Import_FileOption::Set_Filename(const char* name) { copy_bounded(filename_, sizeof filename_, name); }

void Import_FileOption::Set_Filter(const char* filter) {
    char* copy = my_strdup(filter);
    my_free(filter_);
    filter_ = copy;
}

void Import_FileOption::Set_LogFileName(const char* name) {
    copy_bounded(log_file_name_, sizeof log_file_name_, name);
}

void Import_FileOption::load_common_settings() {
    delete profile_;
    profile_ = new Profile(profile_name_);
    std::optional<Profile> fallback;  // when there was no memory to keep it
    Profile& profile = profile_ != nullptr ? *profile_ : fallback.emplace(profile_name_);
    char buffer[kTextSize];
    // A value that is not a number leaves the default.
    if (profile.GetString(kCommonSection, kVerboseKey, "", buffer, sizeof buffer) != 0) {
        parse_int(buffer, &verbose_);
    }
    // An empty value would mean no log at all; the default stays instead.
    if (profile.GetString(kCommonSection, kLogFileKey, "", buffer, sizeof buffer) != 0) {
        copy_bounded(log_file_name_, sizeof log_file_name_, buffer);
    }
}

void Import_FileOption::save_common_settings() {
    // Into the profile as read on construction: of the settings stored back
    // unchanged, none is written over what another process wrote meanwhile.
    std::optional<Profile> fallback;
    Profile& profile = profile_ != nullptr ? *profile_ : fallback.emplace(profile_name_);
    char number[16];
    std::snprintf(number, sizeof number, "%d", verbose_);
    profile.WriteString(kCommonSection, kVerboseKey, number);
    profile.WriteString(kCommonSection, kLogFileKey, log_file_name_);
    profile.Flush();
}

void Import_FileOption::Load(int argc, char** argv) {
    char buffer[kTextSize];
    if (m_get_cmdl_string(argc, argv, kVerboseKey, buffer, "", sizeof buffer) != 0) {
        parse_int(buffer, &verbose_);
    }
    m_get_cmdl_string(argc, argv, kLogFileKey, log_file_name_, log_file_name_, kTextSize);
}

void Import_FileOption::Save(FILE* f) {
    if (f == nullptr) return;
    std::fprintf(f, "-verbose = %d;\n", verbose_);
    std::fprintf(f, "-log_file_name = %s;\n", log_file_name_);
}

void Import_FileOption::Print_Options(FILE* f) {
    if (f == nullptr) return;
    std::fprintf(f, "\t Verbose: %d\n", verbose_);
    std::fprintf(f, "\t Log File: %s\n", log_file_name_);
}
