// The settings profile: an INI file, read once and written back atomically.
//
// The file is kept as its lines, each with its own line end, so that every
// line we do not touch (comments, blank lines, unknown keys and sections,
// CRLF line ends) is written back byte for byte. Only the lines of the keys
// that change are rewritten, and new keys and sections are added.
//
// Syntax, as Windows profiles have it: "[section]" headers and "key=value"
// lines; section and key names match ignoring ASCII case; the value is the
// text after the first '=' with blanks (spaces, tabs) around it removed, and a
// ';' inside it is data (search paths look like d:\map\;c:\map\;). Only whole
// lines starting with ';' or '#' are comments. Of sections or keys given more
// than once, the first one counts. Lines before the first section header are
// kept but belong to no section that can be asked for.
//
// Limits: a file is read up to 1 MiB; what follows (from the last complete
// line within that bound) reads as absent, and such a file is never
// overwritten, since writing it back would lose its tail. A line longer than
// 64 KiB is kept but is not read as a setting, and the lines after it up to
// the next section header belong to no section.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#include <direct.h>
#else
#include <pwd.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bounded_file.h"
#include "vertexa/services.h"

namespace {

constexpr std::size_t kMaxProfileBytes = 1u << 20;
constexpr std::size_t kMaxLineBytes = 64u * 1024u;
constexpr std::size_t npos = std::string::npos;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

// A stored line without its line end ("\n" or "\r\n"). A carriage return
// without a line feed after it (the last line of a file) is not a line end:
// text added after that line must start a new one.
std::string_view content_of(const std::string& line) {
    std::string_view s = line;
    if (s.empty() || s.back() != '\n') return s;
    s.remove_suffix(1);
    if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    return s;
}

std::string_view line_end_of(const std::string& line) {
    return std::string_view(line).substr(content_of(line).size());
}

bool parse_section_header(std::string_view content, std::string_view* name) {
    const std::string_view t = trim_blanks(content);
    if (t.empty() || t.front() != '[') return false;
    const std::size_t close = t.find(']');
    if (close == npos) return false;
    *name = trim_blanks(t.substr(1, close - 1));
    return true;
}

// A "key=value" line. `value_offset` is where the value starts in `content`,
// after the '=' and the blanks that follow it.
bool parse_setting(std::string_view content, std::string_view* key, std::string_view* value,
                   std::size_t* value_offset) {
    const std::string_view lead = trim_blanks(content);
    if (lead.empty() || lead.front() == ';' || lead.front() == '#') return false;
    const std::size_t eq = content.find('=');
    if (eq == npos) return false;
    *key = trim_blanks(content.substr(0, eq));
    if (key->empty()) return false;
    std::size_t start = eq + 1;
    while (start < content.size() && is_blank(content[start])) ++start;
    *value_offset = start;
    *value = trim_blanks(content.substr(start));
    return true;
}

struct Location {
    std::size_t section_header = npos;  // the first section of that name
    std::size_t key_line = npos;        // the first line of the key in it
    std::size_t insert_at = npos;       // after the section's last setting line
};

Location locate(const std::vector<std::string>& lines, std::string_view section, std::string_view key) {
    Location found;
    bool inside = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view content = content_of(lines[i]);
        std::string_view name;
        if (content.size() > kMaxLineBytes) {
            if (inside) break;
            continue;
        }
        if (parse_section_header(content, &name)) {
            if (inside) break;
            if (equal_ignoring_case(name, section)) {
                inside = true;
                found.section_header = i;
                found.insert_at = i + 1;
            }
            continue;
        }
        if (!inside) continue;
        std::string_view k, v;
        std::size_t offset = 0;
        if (parse_setting(content, &k, &v, &offset)) {
            found.insert_at = i + 1;
            if (found.key_line == npos && equal_ignoring_case(k, key)) found.key_line = i;
        }
    }
    return found;
}

// Line breaks in a written text would split its line in the file.
std::string without_line_breaks(std::string_view text) {
    std::string s(text);
    for (char& c : s) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return s;
}

#if defined(_WIN32)
// Creates the folders above `path` that are missing. Both separators count;
// a drive ("C:") or server share ("\\\\server\\share") prefix is not a folder to make.
void make_parent_folders(const std::string& path) {
    std::size_t from = 1;
    if (path.size() >= 2 && path[1] == ':') from = 3;
    if (path.rfind("\\\\", 0) == 0 || path.rfind("//", 0) == 0) {
        from = path.find_first_of("/\\", 2);                         // end of the server
        if (from != npos) from = path.find_first_of("/\\", from + 1);  // end of the share
        if (from == npos) return;
        ++from;
    }
    for (std::size_t sep = path.find_first_of("/\\", from); sep != npos; sep = path.find_first_of("/\\", sep + 1)) {
        const std::string folder = path.substr(0, sep);
        if (::_mkdir(folder.c_str()) != 0 && errno != EEXIST) return;
    }
}
#else
std::string home_folder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    struct passwd entry;
    struct passwd* result = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr && result->pw_dir[0] != '\0') {
        return result->pw_dir;
    }
    return std::string();
}

// Creates the folders above `path` that are missing.
void make_parent_folders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
}
#endif

// Whether the lines WriteString would make read back as this section and
// key. A key that reads as a section header ("[x]") or a comment (";x",
// "#x"), or that holds '=', and a section name holding ']', would not; nor
// would a line longer than the longest line read as a setting.
bool reads_back(const std::string& section, const std::string& key, const std::string& value) {
    if (section.empty() || key.empty()) return false;
    std::string_view name;
    const std::string header = "[" + section + "]";
    if (!parse_section_header(header, &name) || name != section) return false;
    const std::string line = key + "=" + value;
    if (line.size() > kMaxLineBytes || parse_section_header(line, &name)) return false;
    std::string_view k, v;
    std::size_t offset = 0;
    return parse_setting(line, &k, &v, &offset) && k == key;
}

}  // namespace

std::string Profile::PathFor(const char* name) {
    // The name becomes one file name: no separators that would leave the folder.
    std::string file = (name != nullptr && name[0] != '\0') ? name : "vertexa";
    for (char& c : file) {
        if (c == '/' || c == '\\') c = '_';
    }
    file += ".ini";

    const char* explicit_path = std::getenv("VERTEXA_PROFILE");
    if (explicit_path != nullptr && explicit_path[0] != '\0') return explicit_path;
#if defined(_WIN32)
    // The user's roaming application data, as Windows programs keep settings.
    const char* app_data = std::getenv("APPDATA");
    if (app_data != nullptr && app_data[0] != '\0') return std::string(app_data) + "\\vertexa\\" + file;
    return std::string();
#else
    // A relative XDG_CONFIG_HOME is ignored, as the XDG rules ask.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/vertexa/" + file;
    const std::string home = home_folder();
    if (!home.empty()) return home + "/.config/vertexa/" + file;
    return std::string();  // nowhere to keep it: reads as empty, writes fail
#endif
}

Profile::Profile(const char* name) : path_(PathFor(name)) {
    if (path_.empty()) return;
    std::string data;
    bool cut = false;
    if (!vertexa::detail::read_regular_file(path_, kMaxProfileBytes, &data, &cut)) return;
    if (cut) {
        // The last line may have been cut in the middle: drop it.
        const std::size_t last_end = data.rfind('\n');
        data.resize(last_end == npos ? 0 : last_end + 1);
    }
    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t end = data.find('\n', start);
        const std::size_t next = end == npos ? data.size() : end + 1;
        lines_.emplace_back(data, start, next - start);
        start = next;
    }
}

Profile::~Profile() { Flush(); }

unsigned long Profile::GetString(const char* section, const char* key, const char* default_value,
                                 char* out, unsigned long size) {
    if (out == nullptr || size == 0) return 0;
    std::string_view delivered = default_value != nullptr ? default_value : "";
    std::string value;  // a copy: `out` may be the caller's default buffer
    if (section != nullptr && key != nullptr) {
        const Location at = locate(lines_, trim_blanks(section), trim_blanks(key));
        if (at.key_line != npos) {
            std::string_view k, v;
            std::size_t offset = 0;
            parse_setting(content_of(lines_[at.key_line]), &k, &v, &offset);
            value.assign(v);
            delivered = value;
        }
    }
    // The caller gets a C text: a NUL byte in the file ends the value there,
    // so that the count returned is the length the caller sees.
    delivered = delivered.substr(0, delivered.find('\0'));
    const std::size_t count = delivered.size() < size - 1 ? delivered.size() : size - 1;
    std::memmove(out, delivered.data(), count);
    out[count] = '\0';
    return count;
}

// Sets a key. Line breaks in section, key and value are written as blanks,
// and blanks around the value are lost on reading; a null value is written as
// empty. A setting that would not read back as written is ignored: an empty
// section or key, a section holding ']', a key holding '=' or starting like a
// section header or a comment, a line longer than 64 KiB.
unsigned long Profile::WriteString(const char* section, const char* key, const char* value) {
    if (section == nullptr || key == nullptr) return 1;
    const std::string section_name(trim_blanks(without_line_breaks(section)));
    const std::string key_name(trim_blanks(without_line_breaks(key)));
    const std::string text = without_line_breaks(value != nullptr ? value : "");
    if (!reads_back(section_name, key_name, text)) return 1;

    const Location at = locate(lines_, section_name, key_name);
    if (at.key_line != npos) {
        std::string& line = lines_[at.key_line];
        std::string_view k, v;
        std::size_t offset = 0;
        parse_setting(content_of(line), &k, &v, &offset);
        // Keeps the key's spelling and spacing and the line end.
        std::string updated = line.substr(0, offset);
        updated += text;
        updated += line_end_of(line);
        if (updated != line) {
            line = std::move(updated);
            dirty_ = true;
        }
        return 1;
    }

    if (at.section_header != npos) {
        std::string& before = lines_[at.insert_at - 1];
        if (line_end_of(before).empty()) before += '\n';  // the file's last line
        // New lines take the line end of their neighbour, so CRLF files stay CRLF.
        const std::string line = key_name + "=" + text + std::string(line_end_of(before));
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at.insert_at), line);
        dirty_ = true;
        return 1;
    }

    if (!lines_.empty()) {
        if (line_end_of(lines_.back()).empty()) lines_.back() += '\n';
        if (!trim_blanks(content_of(lines_.back())).empty()) lines_.emplace_back("\n");
    }
    lines_.push_back("[" + section_name + "]\n");
    lines_.push_back(key_name + "=" + text + "\n");
    dirty_ = true;
    return 1;
}

bool Profile::Flush() {
    if (!dirty_) return true;
    if (path_.empty()) return false;

    // stat follows a symbolic link to the file that will be replaced.
    struct stat st;
    const bool exists = ::stat(path_.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > kMaxProfileBytes)) {
        return false;  // not a file, or one we read only in part
    }

    make_parent_folders(path_);
    MReplaceFile* file = m_replace_open(path_.c_str());
    if (file == nullptr) return false;
    std::string data;
    for (const std::string& line : lines_) data += line;
    if (!data.empty() && std::fwrite(data.data(), 1, data.size(), m_replace_stream(file)) != data.size()) {
        m_replace_abandon(file);
        return false;
    }
    if (m_replace_commit(file) == 0) return false;
    dirty_ = false;
    return true;
}
