// The options-file and command-line reader. An input is cut at its NUL bytes
// into pieces: the first three become the argument files a.opt, b.opt and
// c.opt (which may include each other, or themselves, by "@b.opt"), the rest
// (up to 16) command-line arguments. The target then
//  - reads a.opt as an options file and the arguments as a command line,
//  - asks m_get_cmdl_string for keys with small output buffers and checks
//    that every answer fits its buffer and is terminated,
//  - saves the options to a file and reads that into fresh options: every
//    setting must come back as it was (values holding a line break cannot,
//    and are left out of that check).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cob_import_options.h"
#include "fuzz_support.h"
#include "vertexa/services.h"

namespace {

constexpr size_t kMaxArguments = 16;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

bool fits(const char* text, size_t size) { return ::strnlen(text, size) < size; }

bool has_line_break(const char* text) { return std::strpbrk(text, "\r\n") != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::use_unwritable_profile();
    // Argument files name each other relative to the current folder.
    if (::chdir(fuzz::scratch_dir().c_str()) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            if (pieces.size() == 3 + kMaxArguments) break;
            pieces.emplace_back();
        } else {
            pieces.back().push_back(static_cast<char>(data[i]));
        }
    }
    pieces.resize(pieces.size() < 3 ? 3 : pieces.size());
    const char* names[3] = {"a.opt", "b.opt", "c.opt"};
    for (int i = 0; i < 3; ++i) {
        fuzz::write_scratch(names[i], reinterpret_cast<const uint8_t*>(pieces[i].data()), pieces[i].size());
    }
    std::vector<char*> argv;
    std::string program = "vertexa";
    argv.push_back(program.data());
    for (size_t i = 3; i < pieces.size(); ++i) argv.push_back(pieces[i].data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(argv.size() - 1);

    auto* options = new CobImportOptions;
    check(options != nullptr, "options allocated");
    options->Load_Options_File("a.opt");
    options->Load_Command_Line(argc, argv.data());
    check(fits(options->home_path, CobImportOptions::kPathSize), "home_path terminated");
    check(fits(options->image_search_path, CobImportOptions::kPathSize), "image_search_path terminated");
    check(fits(options->Get_LogFileName(), Import_FileOption::kTextSize), "log_file_name terminated");

    // Small buffers, and the default in the output buffer itself.
    const struct {
        const char* key;
        int room;
    } asks[] = {{"home_path", 1}, {"image_search_path", 2}, {"verbose", 7}};
    for (const auto& [key, room] : asks) {
        {
            char out[8];
            std::memset(out, 'Z', sizeof out);
            std::strcpy(out, "dflt");
            out[room - 1] = '\0';
            const int found = m_get_cmdl_string(argc, argv.data(), key, out, out, room);
            check(found == 0 || found == 1, "found is 0 or 1");
            check(fits(out, static_cast<size_t>(room)), "answer fits its buffer");
            check(out[7] == 'Z' || room > 7, "nothing written past the buffer");
        }
    }

    const std::string saved = fuzz::scratch_dir() + "/saved.opt";
    if (options->Save_Options_File(saved.c_str()) == 1 && !has_line_break(options->home_path) &&
        !has_line_break(options->image_search_path) && !has_line_break(options->Get_LogFileName())) {
        auto* again = new CobImportOptions;
        check(again != nullptr, "options allocated");
        again->Load_Options_File(saved.c_str());
        check(std::strcmp(again->home_path, options->home_path) == 0, "home_path read back");
        check(std::strcmp(again->image_search_path, options->image_search_path) == 0,
              "image_search_path read back");
        check(std::strcmp(again->Get_LogFileName(), options->Get_LogFileName()) == 0, "log_file_name read back");
        check(again->Get_Verbose() == options->Get_Verbose(), "verbose read back");
        delete again;
    }
    delete options;
    return 0;
}
