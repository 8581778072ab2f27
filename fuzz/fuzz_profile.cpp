// The profile reader and writer. The input is the profile file itself; its
// first three lines also name a section, a key and a value to write. The
// target
//  - reads the importer's settings from it through the options classes,
//  - asks for keys with small output buffers (every answer must fit and
//    match the count returned),
//  - writes the named key and reads it back: a key that the profile accepts
//    must read back as written, line breaks as blanks and without the blanks
//    around it, from the object and, after Flush, from the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "cob_import_options.h"
#include "fuzz_support.h"
#include "vertexa/services.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

std::string line_of(std::string_view data, int index) {
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const size_t nl = data.find('\n', start);
        if (nl == std::string_view::npos) return std::string();
        start = nl + 1;
    }
    const size_t nl = data.find('\n', start);
    std::string line(data.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start));
    // Texts passed to the profile end at a NUL like any C text.
    line.resize(::strnlen(line.c_str(), line.size()));
    return line;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

void check_answer(Profile& profile, const char* section, const char* key) {
    for (unsigned long room : {1ul, 3ul, 4096ul}) {
        char out[4096];
        const unsigned long count = profile.GetString(section, key, "default", out, room);
        check(count < room, "count within the buffer");
        check(std::strlen(out) == count, "count is the length delivered");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string path = fuzz::scratch_dir() + "/profile.ini";
    ::setenv("VERTEXA_PROFILE", path.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::write_scratch("profile.ini", data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    {
        // Reads "Common Settings" and "Specific Settings", stores them back.
        auto* options = new CobImportOptions;
        check(options != nullptr, "options allocated");
        check(::strnlen(options->home_path, CobImportOptions::kPathSize) < CobImportOptions::kPathSize,
              "home_path terminated");
        delete options;
    }
    fuzz::write_scratch("profile.ini", data, size);

    std::string section = line_of(text, 0), key = line_of(text, 1), value = line_of(text, 2);
    Profile profile("fuzz");
    check_answer(profile, "Common Settings", "verbose");
    check_answer(profile, "Specific Settings", "image_search_path");
    check_answer(profile, section.c_str(), key.c_str());

    profile.WriteString(section.c_str(), key.c_str(), value.c_str());
    // Names are stored with their line breaks as blanks; they are asked for so.
    for (std::string* name : {&section, &key}) {
        for (char& c : *name) {
            if (c == '\r' || c == '\n') c = ' ';
        }
    }
    const std::string_view s = trim(section), k = trim(key);
    std::string expected(trim(value));
    for (char& c : expected) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    expected = std::string(trim(expected));
    // Settings the profile refuses, since they would not read back.
    if (s.empty() || k.empty() || k.find('=') != std::string_view::npos || s.find(']') != std::string_view::npos ||
        k.front() == ';' || k.front() == '#' || (k.front() == '[' && (k.find(']') != std::string_view::npos || expected.find(']') != std::string::npos)) ||
        k.size() + 1 + expected.size() > 64 * 1024)
        return 0;
    if (expected.size() >= 4096) return 0;
    char out[4096];
    profile.GetString(section.c_str(), key.c_str(), "", out, sizeof out);
    check(expected == out, "written key reads back");
    if (profile.Flush()) {
        Profile reread("fuzz");
        reread.GetString(section.c_str(), key.c_str(), "", out, sizeof out);
        check(expected == out, "written key reads back from the file");
    }
    (void)path;
    return 0;
}
