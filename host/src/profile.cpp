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
// Several processes may write one profile at once (two `options load`, an
// import beside them). A write therefore happens under an exclusive lock on
// "<profile>.lock", reads the file again and applies to it only the keys this
// process set to something else than it had read: its stale copies of other
// keys are not written back. The lock file stays (removing it would let a
// third process lock a file that is no longer there).
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
#define NOMINMAX
#include <windows.h>
#include <direct.h>
#else
#include <pwd.h>
#include <sys/file.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
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

// The file's lines, each with its line end. False when the file cannot be
// read whole: a missing file is no lines and true.
bool read_lines(const std::string& path, std::vector<std::string>* lines, bool* complete) {
    lines->clear();
    *complete = true;
    std::string data;
    bool cut = false;
    if (!vertexa::detail::read_regular_file(path, kMaxProfileBytes, &data, &cut)) return false;
    if (cut) {
        // The last line may have been cut in the middle: drop it.
        const std::size_t last_end = data.rfind('\n');
        data.resize(last_end == npos ? 0 : last_end + 1);
        *complete = false;
    }
    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t end = data.find('\n', start);
        const std::size_t next = end == npos ? data.size() : end + 1;
        lines->emplace_back(data, start, next - start);
        start = next;
    }
    return true;
}

// The value of section/key in `lines`; false when there is none.
bool find_value(const std::vector<std::string>& lines, std::string_view section, std::string_view key,
                std::string* value) {
    const Location at = locate(lines, section, key);
    if (at.key_line == npos) return false;
    std::string_view k, v;
    std::size_t offset = 0;
    parse_setting(content_of(lines[at.key_line]), &k, &v, &offset);
    value->assign(v);
    return true;
}

// Sets section/key to `text` in `lines` (names and text as WriteString has
// checked them): in place, after the section's last setting, or in a new
// section at the end.
void apply_setting(std::vector<std::string>& lines, const std::string& section_name, const std::string& key_name,
                   const std::string& text) {
    const Location at = locate(lines, section_name, key_name);
    if (at.key_line != npos) {
        std::string& line = lines[at.key_line];
        std::string_view k, v;
        std::size_t offset = 0;
        parse_setting(content_of(line), &k, &v, &offset);
        // Keeps the key's spelling and spacing and the line end.
        std::string updated = line.substr(0, offset);
        updated += text;
        updated += line_end_of(line);
        line = std::move(updated);
        return;
    }

    if (at.section_header != npos) {
        std::string& before = lines[at.insert_at - 1];
        if (line_end_of(before).empty()) before += '\n';  // the file's last line
        // New lines take the line end of their neighbour, so CRLF files stay CRLF.
        const std::string line = key_name + "=" + text + std::string(line_end_of(before));
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at.insert_at), line);
        return;
    }

    if (!lines.empty()) {
        if (line_end_of(lines.back()).empty()) lines.back() += '\n';
        if (!trim_blanks(content_of(lines.back())).empty()) lines.emplace_back("\n");
    }
    lines.push_back("[" + section_name + "]\n");
    lines.push_back(key_name + "=" + text + "\n");
}

// An exclusive lock on the file beside the profile, held while it lives. A
// lock file that cannot be made (a folder we may not write to) leaves the
// write unlocked; the write itself then fails in that folder as well.
#if defined(_WIN32)
class ProfileLock {
public:
    explicit ProfileLock(const std::string& profile_path) {
        handle_ = CreateFileA((profile_path + ".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) return;
        OVERLAPPED at = {};
        LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
    }
    ~ProfileLock() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);  // releases the lock
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};
#else
class ProfileLock {
public:
    explicit ProfileLock(const std::string& profile_path) {
        // Through a symbolic link the file it names is written: lock beside
        // that one, so that every path to the profile takes the same lock.
        std::string target = profile_path;
        if (char* resolved = ::realpath(profile_path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
        fd_ = ::open((target + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~ProfileLock() {
        if (fd_ >= 0) ::close(fd_);  // releases the lock
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

private:
    int fd_ = -1;
};
#endif

// Whether the profile's path names a file that may be replaced: a regular
// file read whole, or nothing yet. When not, errno tells why.
bool replaceable(const std::string& path) {
    // stat follows a symbolic link to the file that will be replaced.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return true;
    errno = S_ISDIR(st.st_mode) ? EISDIR : !S_ISREG(st.st_mode) ? EINVAL : EFBIG;
    return S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= kMaxProfileBytes;
}

// The last profile write of the process that failed, for the program to tell.
std::mutex failure_mutex;
std::string failed_path;
int failed_error = 0;

bool write_failed(const std::string& path, int error) {
    const std::lock_guard<std::mutex> hold(failure_mutex);
    failed_path = path;
    failed_error = error != 0 ? error : EIO;
    errno = failed_error;
    return false;
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
    bool complete = true;
    read_lines(path_, &lines_, &complete);
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
// blanks around the value are dropped (they would be lost on reading); a null
// value is written as empty. A setting that would not read back as written is ignored: an empty
// section or key, a section holding ']', a key holding '=' or starting like a
// section header or a comment, a line longer than 64 KiB.
unsigned long Profile::WriteString(const char* section, const char* key, const char* value) {
    if (section == nullptr || key == nullptr) return 1;
    const std::string section_name(trim_blanks(without_line_breaks(section)));
    const std::string key_name(trim_blanks(without_line_breaks(key)));
    const std::string text(trim_blanks(without_line_breaks(value != nullptr ? value : "")));
    if (!reads_back(section_name, key_name, text)) return 1;

    Change* change = nullptr;
    for (Change& c : changes_)
        if (equal_ignoring_case(c.section, section_name) && equal_ignoring_case(c.key, key_name)) change = &c;
    if (change == nullptr) {
        changes_.push_back(Change{section_name, key_name, std::string(), std::string(), false});
        change = &changes_.back();
        change->was_set = find_value(lines_, section_name, key_name, &change->loaded);
    }
    change->value = text;
    std::string now;
    if (!find_value(lines_, section_name, key_name, &now) || now != text)
        apply_setting(lines_, section_name, key_name, text);
    return 1;
}

bool Profile::Flush() {
    // Keys set back to what was read are no change: an import that stores
    // its settings unchanged writes nothing, and cannot undo another
    // process's change with its stale copy.
    std::vector<const Change*> changed;
    for (const Change& c : changes_)
        if (!c.was_set || c.value != c.loaded) changed.push_back(&c);
    if (changed.empty()) {
        changes_.clear();
        return true;
    }
    if (path_.empty()) return write_failed("(no home folder)", ENOENT);
    if (!replaceable(path_)) return write_failed(path_, errno);

    make_parent_folders(path_);
    const ProfileLock lock(path_);
    // What other processes wrote since this profile was read, under the
    // lock: nobody writes it until this write is done.
    std::vector<std::string> lines;
    bool complete = true;
    if (!replaceable(path_)) return write_failed(path_, errno);
    read_lines(path_, &lines, &complete);
    if (!complete) return write_failed(path_, EFBIG);  // writing it back would lose its unread tail
    std::string before;
    for (const std::string& line : lines) before += line;
    for (const Change* c : changed) {
        std::string now;
        if (!find_value(lines, c->section, c->key, &now) || now != c->value)
            apply_setting(lines, c->section, c->key, c->value);
    }
    std::string data;
    for (const std::string& line : lines) data += line;
    if (data != before) {
        MReplaceFile* file = m_replace_open(path_.c_str());
        if (file == nullptr) return write_failed(path_, errno);
        if (!data.empty() && std::fwrite(data.data(), 1, data.size(), m_replace_stream(file)) != data.size()) {
            const int error = errno;
            m_replace_abandon(file);
            return write_failed(path_, error);
        }
        if (m_replace_commit(file) == 0) return write_failed(path_, errno);
    }
    // From now on this profile holds the file as written.
    lines_ = std::move(lines);
    changes_.clear();
    return true;
}

bool Profile::TakeWriteFailure(std::string* path, int* error) {
    const std::lock_guard<std::mutex> hold(failure_mutex);
    if (failed_error == 0) return false;
    if (path != nullptr) *path = failed_path;
    if (error != nullptr) *error = failed_error;
    failed_error = 0;
    return true;
}
