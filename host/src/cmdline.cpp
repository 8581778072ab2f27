// The command-line reader.
//
// The arguments are first flattened: every "@file" argument is replaced by the
// lines of that file (each trimmed of blanks; empty lines and lines starting
// with "//" skipped), files named inside files included in turn down to a
// depth of 8; a file that is missing or cannot be read adds nothing. Relative
// names are taken from the current folder. argv[0] is the program's name and
// is not read.
//
// The flattened arguments are then scanned for settings, in any of the forms
//   "-key=value"            (one argument; blanks around key and value allowed,
//                            which is how a "-key = value;" line of a file reads)
//   "-key" "=" "value"      "-key=" "value"      "-key" "=value"
// and one ';' ending the value is dropped. Keys compare exactly, case included.
// An argument "-key" that no '=' follows is a switch, not a setting, and is
// passed over. The last setting of the key wins.
//
// Bounds on what files can make us read: each file is read up to 1 MiB (the
// rest reads as absent), and all files of one call together up to 8 MiB in at
// most 16 openings; includes beyond those bounds add nothing. So a file that
// includes itself, however often, ends after 8 levels, and what one call
// reads is at most 16 times the largest file it reads: a few lines that
// include each other twice per level would otherwise open 2^8 files, and
// every key asked for flattens the arguments anew.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bounded_file.h"
#include "vertexa/services.h"

namespace {

constexpr int kMaxIncludeDepth = 8;
constexpr std::size_t kMaxFileBytes = 1u << 20;
constexpr std::size_t kMaxTotalBytes = 8u << 20;
constexpr int kMaxFileOpenings = 16;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

struct Flattener {
    std::vector<std::string> arguments;
    std::size_t bytes_left = kMaxTotalBytes;
    int openings_left = kMaxFileOpenings;

    void add(std::string_view argument, int depth) {
        if (!argument.empty() && argument.front() == '@') {
            include(std::string(argument.substr(1)), depth + 1);
        } else {
            arguments.emplace_back(argument);
        }
    }

    void include(const std::string& path, int depth) {
        if (depth > kMaxIncludeDepth || openings_left <= 0 || bytes_left == 0 || path.empty()) return;
        --openings_left;
        std::string data;
        bool cut = false;
        if (!vertexa::detail::read_regular_file(path, bytes_left < kMaxFileBytes ? bytes_left : kMaxFileBytes, &data,
                                                &cut))
            return;
        bytes_left -= data.size();
        std::size_t start = 0;
        while (start < data.size()) {
            std::size_t end = data.find('\n', start);
            if (end == std::string::npos) end = data.size();
            const std::string_view line = trim_blanks(std::string_view(data).substr(start, end - start));
            start = end + 1;
            if (line.empty() || line.substr(0, 2) == "//") continue;
            add(line, depth);
        }
    }
};

std::string_view strip_one_semicolon(std::string_view value) {
    if (!value.empty() && value.back() == ';') value.remove_suffix(1);
    return value;
}

// Finds the last setting of `key`; true when there is one.
bool find_setting(const std::vector<std::string>& args, std::string_view key, std::string* value) {
    bool found = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg.size() < 2 || arg.front() != '-') continue;
        const std::size_t eq = arg.find('=');
        const std::string_view name = trim_blanks(arg.substr(1, eq == std::string_view::npos ? arg.npos : eq - 1));
        std::string_view text;
        bool has_value = false;
        if (eq != std::string_view::npos) {
            text = arg.substr(eq + 1);
            has_value = true;
            // "-key=" "value": the value is the next argument.
            if (text.empty() && i + 1 < args.size()) text = args[++i];
        } else if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1].front() == '=') {
            const std::string_view next = args[++i];
            has_value = true;
            text = next.substr(1);
            // "-key" "=" "value".
            if (text.empty() && i + 1 < args.size()) text = args[++i];
        }
        if (!has_value || name != key) continue;
        value->assign(strip_one_semicolon(trim_blanks(text)));
        found = true;
    }
    return found;
}

}  // namespace

int m_get_cmdl_string(int argc, char** argv, const char* key, char* out, const char* default_value,
                      int size) {
    std::string value;
    bool found = false;
    if (key != nullptr && key[0] != '\0' && argv != nullptr && argc > 1) {
        Flattener flat;
        for (int i = 1; i < argc; ++i) {
            if (argv[i] != nullptr) flat.add(argv[i], 0);
        }
        found = find_setting(flat.arguments, key, &value);
    }
    if (out == nullptr || size <= 0) return found ? 1 : 0;

    std::string_view delivered = found ? std::string_view(value)
                                       : std::string_view(default_value != nullptr ? default_value : "");
    const std::size_t room = static_cast<std::size_t>(size) - 1;
    const std::size_t count = delivered.size() < room ? delivered.size() : room;
    // `out` may be the default's own buffer: memmove.
    std::memmove(out, delivered.data(), count);
    out[count] = '\0';
    return found ? 1 : 0;
}
