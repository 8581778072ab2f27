// The terminal front end, on ncurses. Modal dialogs, the Open dialog and the
// folder browser take the terminal of standard output (keys from standard
// input, decoded by the library from the terminal's description); modeless
// windows (the progress window) are drawn on the terminal of standard error
// and take no input, so standard output stays free for what the program
// prints. Windows larger than the terminal are shown in part with a notice
// on the last row; a resized terminal is drawn anew. The terminal is given
// back (primary screen, cursor, modes) when the last window goes, at exit,
// on a crash, and on SIGINT, SIGTERM, SIGHUP and SIGQUIT, which then end the
// program with 128 + the signal's number.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <langinfo.h>
#include <map>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include <curses.h>

#include "internal.h"
#include "render.h"

// curses.h defines these as macros; the window classes use the names.
#undef OK

#undef clear
#undef erase
#undef move
#undef refresh

namespace vxp::detail {

namespace {

constexpr int kCursesError = ERR;

// ---------------------------------------------------------------------------
// What a signal handler needs to give the terminal back: written once the
// screen is set up, read only by the handler.
struct Restore {
    int fd = -1;
    char bytes[256] = {};
    size_t length = 0;
    termios modes{};
    bool have_modes = false;
};
Restore restore_data;
volatile sig_atomic_t screen_active = 0;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction previous_actions[4];
bool handlers_installed = false;

// A crash gives the terminal back too, then takes its usual course.
constexpr int kFaults[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
struct sigaction previous_faults[5];

void give_back_terminal() {
    if (screen_active == 0) return;
    ssize_t ignored = ::write(restore_data.fd, restore_data.bytes, restore_data.length);
    (void)ignored;
    if (restore_data.have_modes) tcsetattr(restore_data.fd, TCSANOW, &restore_data.modes);
    screen_active = 0;
}

extern "C" void on_signal(int sig) {
    give_back_terminal();
    _exit(128 + sig);
}

extern "C" void on_fault(int sig) {
    give_back_terminal();
    for (size_t i = 0; i < 5; ++i)
        if (kFaults[i] == sig) sigaction(sig, &previous_faults[i], nullptr);
    raise(sig);
}

void install_handlers() {
    if (handlers_installed) return;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int s : kSignals) sigaddset(&action.sa_mask, s);
    for (size_t i = 0; i < 4; ++i) sigaction(kSignals[i], &action, &previous_actions[i]);
    struct sigaction fault {};
    fault.sa_handler = on_fault;
    sigemptyset(&fault.sa_mask);
    fault.sa_flags = SA_RESETHAND;
    for (size_t i = 0; i < 5; ++i) sigaction(kFaults[i], &fault, &previous_faults[i]);
    handlers_installed = true;
}

void remove_handlers() {
    if (!handlers_installed) return;
    for (size_t i = 0; i < 4; ++i) sigaction(kSignals[i], &previous_actions[i], nullptr);
    for (size_t i = 0; i < 5; ++i) sigaction(kFaults[i], &previous_faults[i], nullptr);
    handlers_installed = false;
}

void add_capability(const char* name) {
    char* value = tigetstr(const_cast<char*>(name));
    if (value == nullptr || value == reinterpret_cast<char*>(-1)) return;
    size_t n = std::strlen(value);
    if (restore_data.length + n >= sizeof restore_data.bytes) return;
    std::memcpy(restore_data.bytes + restore_data.length, value, n);
    restore_data.length += n;
}

// Characters beyond ASCII show as "?" on a terminal that is not UTF-8.
bool utf8_terminal = true;

bool same_file(int a, int b) {
    struct stat sa, sb;
    return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino &&
           sa.st_rdev == sb.st_rdev;
}

// The one curses screen of the process, on the terminal of standard output
// or of standard error.
class Screen {
public:
    ~Screen() { close(); }

    // Takes the terminal of `fd` into curses mode; false when it cannot be.
    bool enter(int fd) {
        if (screen_ != nullptr && fd != fd_ && !same_file(fd, fd_)) close();
        if (screen_ == nullptr && !open(fd)) return false;
        if (!active_) {
            set_term(screen_);
            ::refresh();
            active_ = true;
            screen_active = 1;
        }
        check_size();
        return true;
    }
    // Gives the terminal back; the next enter takes it again.
    void leave() {
        if (!active_) return;
        curs_set(1);
        endwin();
        active_ = false;
        screen_active = 0;
    }
    void close() {
        leave();
        if (screen_ != nullptr) {
            delscreen(screen_);
            screen_ = nullptr;
        }
        if (out_ != nullptr) std::fclose(out_);
        if (in_ != nullptr) std::fclose(in_);
        out_ = in_ = nullptr;
        fd_ = -1;
    }
    bool active() const { return active_; }
    // Notices a terminal that changed its size (also without a key read).
    bool check_size() {
        winsize ws{};
        if (ioctl(fd_, TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0 || ws.ws_col == 0) return false;
        if (ws.ws_row == LINES && ws.ws_col == COLS) return false;
        resizeterm(ws.ws_row, ws.ws_col);
        return true;
    }

private:
    bool open(int fd) {
        // Own streams on duplicates: closing them never closes the program's.
        int out_fd = dup(fd);
        int in_fd = dup(STDIN_FILENO);
        out_ = out_fd >= 0 ? fdopen(out_fd, "w") : nullptr;
        in_ = in_fd >= 0 ? fdopen(in_fd, "r") : nullptr;
        if (out_ == nullptr || in_ == nullptr) {
            close();
            return false;
        }
        std::setlocale(LC_CTYPE, "");
        utf8_terminal = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
        restore_data.fd = fd;
        restore_data.have_modes = tcgetattr(fd, &restore_data.modes) == 0;
        install_handlers();
        const char* term = std::getenv("TERM");
        const char* type = term != nullptr && *term != '\0' ? term : "vt100";
        screen_ = newterm(type, out_, in_);
        if (screen_ == nullptr) {
            static bool said = false;
            if (!said) std::fprintf(stderr, "windows cannot be drawn on a terminal of type \"%s\"\n", type);
            said = true;
            close();
            return false;
        }
        fd_ = fd;
        set_term(screen_);
        cbreak();
        noecho();
        nonl();
        keypad(stdscr, TRUE);
        set_escdelay(25);
        typeahead(-1);
        restore_data.length = 0;
        add_capability("sgr0");
        add_capability("cnorm");
        add_capability("rmkx");
        add_capability("rmcup");
        static bool at_exit = false;
        if (!at_exit) {
            at_exit = true;
            std::atexit([] {
                if (screen_active != 0) {
                    curs_set(1);
                    endwin();
                    screen_active = 0;
                }
            });
        }
        active_ = true;
        screen_active = 1;
        return true;
    }

    SCREEN* screen_ = nullptr;
    FILE* out_ = nullptr;
    FILE* in_ = nullptr;
    int fd_ = -1;
    bool active_ = false;
};

// ---------------------------------------------------------------------------
// Keys, as the library decodes them.
enum Key {
    key_eof = -2,
    key_none = -1,
    key_tab = 0x10000,
    key_backtab,
    key_enter,
    key_escape,
    key_backspace,
    key_delete,
    key_left,
    key_right,
    key_up,
    key_down,
    key_home,
    key_end,
    key_page_up,
    key_page_down,
    key_resize,
};

int read_key() {
    // An interrupted read is tried again (a few times in a row at most);
    // any other failure is the end of the input.
    static int interrupted = 0;
    errno = 0;
    int c = getch();
    if (c == kCursesError) return errno == EINTR && ++interrupted < 10 ? key_resize : key_eof;
    interrupted = 0;
    switch (c) {
    case '\t': return key_tab;
    case KEY_BTAB: return key_backtab;
    case '\r':
    case '\n':
    case KEY_ENTER: return key_enter;
    case 27: return key_escape;
    case 8:
    case 127:
    case KEY_BACKSPACE: return key_backspace;
    case KEY_DC: return key_delete;
    case KEY_LEFT: return key_left;
    case KEY_RIGHT: return key_right;
    case KEY_UP: return key_up;
    case KEY_DOWN: return key_down;
    case KEY_HOME:
    case KEY_A1: return key_home;
    case KEY_END:
    case KEY_C1: return key_end;
    case KEY_PPAGE:
    case KEY_A3: return key_page_up;
    case KEY_NPAGE:
    case KEY_C3: return key_page_down;
    case KEY_RESIZE: return key_resize;
    default: return c >= 32 && c < 256 && c != 127 ? c : key_none;
    }
}

int virtual_key(int key) {
    switch (key) {
    case key_delete: return VK_DELETE;
    case key_left: return VK_LEFT;
    case key_right: return VK_RIGHT;
    case key_up: return VK_UP;
    case key_down: return VK_DOWN;
    case key_home: return VK_HOME;
    case key_end: return VK_END;
    case key_page_up: return VK_PRIOR;
    case key_page_down: return VK_NEXT;
    default: return 0;
    }
}

attr_t curses_attr(unsigned char a) {
    attr_t out = A_NORMAL;
    if ((a & inverse) != 0) out |= A_REVERSE;
    if ((a & bold) != 0) out |= A_BOLD;
    return out;
}

// Draws `canvas` centred on the screen, with `hint` on the row below it (or
// in its lower frame line when there is no row left). A canvas larger than
// the screen is shown from its top left, moved so that the focused row stays
// in view, with a notice on the last row.
void show(const Canvas& canvas, const std::string& hint) {
    ::erase();
    int rows = canvas.rows();
    int cols = canvas.columns();
    bool fits = rows <= LINES && cols <= COLS;
    int top = 0, left = 0, first = 0, shown_rows = rows;
    if (fits) {
        int below = rows < LINES && !hint.empty() ? 1 : 0;
        top = std::max(0, (LINES - rows - below) / 2);
        left = std::max(0, (COLS - cols) / 2);
    } else {
        shown_rows = std::min(rows, LINES - 1);
        int keep = std::max(canvas.focus_row, canvas.cursor_row);
        if (keep >= shown_rows) first = std::min(rows - shown_rows, keep - shown_rows + 2);
    }
    for (int r = 0; r < shown_rows; ++r) {
        const auto& cells = canvas.cells[static_cast<size_t>(first + r)];
        const auto& attrs = canvas.attr[static_cast<size_t>(first + r)];
        int width = std::min(cols, COLS - left);
        for (int c = 0; c < width;) {
            int end = c;
            std::string run;
            while (end < width && attrs[static_cast<size_t>(end)] == attrs[static_cast<size_t>(c)])
            {
                const std::string& cell = cells[static_cast<size_t>(end++)];
                run += utf8_terminal || cell.size() == 1 ? cell : "?";
            }
            attrset(curses_attr(attrs[static_cast<size_t>(c)]));
            mvaddstr(top + r, left + c, run.c_str());
            c = end;
        }
    }
    attrset(A_NORMAL);
    if (!fits) {
        std::string notice = std::string(" Window shown in part (").append(std::to_string(cols)).append("x");
        notice.append(std::to_string(rows)).append(" on ").append(std::to_string(COLS)).append("x");
        notice.append(std::to_string(LINES)).append(") ");
        if (!hint.empty()) notice += "| " + hint + " ";
        attrset(A_REVERSE);
        mvaddnstr(LINES - 1, 0, fit_text(notice, COLS).c_str(), COLS);
        attrset(A_NORMAL);
    } else if (!hint.empty()) {
        if (top + rows < LINES) {
            int at = std::max(0, std::min(left, COLS - static_cast<int>(hint.size())));
            mvaddnstr(top + rows, at, fit_text(hint, COLS).c_str(), COLS);
        } else {
            mvaddnstr(top + rows - 1, left + 2, std::string(" ").append(fit_text(hint, cols - 6)).append(" ").c_str(),
                      cols - 2);
        }
    }
    int cursor_row = canvas.cursor_row - first;
    if (canvas.cursor_row >= 0 && cursor_row >= 0 && cursor_row < shown_rows && left + canvas.cursor_col < COLS) {
        curs_set(1);
        ::wmove(stdscr, top + cursor_row, left + canvas.cursor_col);
    } else {
        curs_set(0);
    }
    ::wrefresh(stdscr);
}

// ---------------------------------------------------------------------------
// Folders and files.
bool is_directory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string join(const std::string& folder, const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    if (name.rfind("~/", 0) == 0 || name == "~") {
        const char* home = std::getenv("HOME");
        return std::string(home != nullptr ? home : "") + name.substr(1);
    }
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string parent_of(const std::string& folder) {
    size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return folder.substr(0, slash);
}

// "a/./b/../c" as "a/c", without a trailing slash.
std::string tidy(const std::string& path) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        std::string part = path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (slash == std::string::npos) break;
        at = slash + 1;
    }
    std::string out;
    for (const std::string& p : parts) out += "/" + p;
    return out.empty() ? "/" : out;
}

std::string current_folder() {
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
}

struct Filter {
    std::string text;
    std::vector<std::string> patterns;
};

// "Text|*.a;*.b|Text|*.*||" as pairs; blank runs in the texts shown as one.
std::vector<Filter> parse_filter(const std::string& filter_text) {
    std::vector<Filter> out;
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < filter_text.size()) {
        size_t bar = filter_text.find('|', at);
        parts.push_back(filter_text.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
        if (bar == std::string::npos) break;
        at = bar + 1;
    }
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty()) break;
        Filter f;
        for (char c : parts[i])
            if (c != ' ' || (!f.text.empty() && f.text.back() != ' ')) f.text += c;
        size_t p = 0;
        while (p <= parts[i + 1].size()) {
            size_t semi = parts[i + 1].find(';', p);
            std::string pattern = parts[i + 1].substr(p, semi == std::string::npos ? std::string::npos : semi - p);
            if (!pattern.empty()) f.patterns.push_back(pattern == "*.*" ? "*" : pattern);
            if (semi == std::string::npos) break;
            p = semi + 1;
        }
        out.push_back(f);
    }
    if (out.empty()) out.push_back({"All Files (*.*)", {"*"}});
    return out;
}

bool matches(const std::vector<std::string>& patterns, const std::string& name) {
    for (const std::string& p : patterns)
        if (fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD) == 0) return true;
    return false;
}

struct Entry {
    std::string name;
    bool folder;
};

// The folder's entries: its parent, its folders, then its files that match.
std::vector<Entry> list_folder(const std::string& folder, const std::vector<std::string>* patterns) {
    std::vector<Entry> folders, files;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name.empty() || name[0] == '.') continue;
            if (is_directory(join(folder, name))) {
                folders.push_back({name, true});
            } else if (patterns != nullptr && matches(*patterns, name)) {
                files.push_back({name, false});
            }
        }
        ::closedir(d);
    }
    auto by_name = [](const Entry& a, const Entry& b) { return a.name < b.name; };
    std::sort(folders.begin(), folders.end(), by_name);
    std::sort(files.begin(), files.end(), by_name);
    std::vector<Entry> out;
    if (folder != "/") out.push_back({"..", true});
    out.insert(out.end(), folders.begin(), folders.end());
    out.insert(out.end(), files.begin(), files.end());
    return out;
}

// The Open dialog and the folder browser: a folder's entries to move through
// and enter, a name to type, the file types (Open only) and two buttons.
class Chooser {
public:
    enum Field { list_field, name_field, type_field, ok_field, cancel_field };

    Chooser(std::string title, bool files, std::vector<Filter> filters)
        : title_(std::move(title)), files_(files), filters_(std::move(filters)) {}

    std::string folder;
    std::string name;
    std::string status;  // the folder browser's status line
    // The folder browser hears of every folder it enters.
    std::function<void(const std::string&)> entered;

    // True with the chosen path; false when cancelled or input ended.
    bool run(Screen& screen, std::string& chosen) {
        caret_ = anchor_ = name.size();
        anchor_ = 0;
        reload();
        for (;;) {
            if (!screen.enter(STDOUT_FILENO)) return false;
            draw();
            int key = read_key();
            if (key == key_eof || key == key_escape) return false;
            if (key == key_resize || key == key_none) continue;
            if (key == key_tab || key == key_backtab) {
                move_focus(key == key_tab ? 1 : -1);
                continue;
            }
            int result = 0;
            switch (focus_) {
            case list_field: result = list_key(key); break;
            case name_field: result = name_key(key); break;
            case type_field: result = type_key(key); break;
            case ok_field:
                if (key == key_enter || key == ' ') result = accept();
                if (key == key_left || key == key_up) move_focus(-1);
                if (key == key_right || key == key_down) move_focus(1);
                break;
            case cancel_field:
                if (key == key_enter || key == ' ') return false;
                if (key == key_left || key == key_up) move_focus(-1);
                if (key == key_right || key == key_down) move_focus(1);
                break;
            }
            if (result > 0) {
                chosen = chosen_;
                return true;
            }
        }
    }

private:
    void reload() {
        std::vector<std::string> typed = {custom_};
        entries_ = list_folder(folder, !files_ ? nullptr : custom_.empty() ? &filters_[filter_].patterns : &typed);
        at_ = std::min(at_, entries_.empty() ? 0 : entries_.size() - 1);
        first_ = std::min(first_, at_);
    }

    void enter_folder(const std::string& path) {
        std::string previous = folder;
        folder = tidy(path);
        at_ = first_ = 0;
        reload();
        // Back in the parent, the folder just left stays highlighted.
        if (parent_of(previous) == folder)
            for (size_t i = 0; i < entries_.size(); ++i)
                if (entries_[i].folder && join(folder, entries_[i].name) == previous) at_ = i;
        if (entered) entered(folder);
    }

    void set_name(const std::string& text) {
        name = text;
        caret_ = anchor_ = name.size();
    }

    void move_focus(int step) {
        int f = static_cast<int>(focus_);
        do f = (f + step + 5) % 5;
        while (!files_ && f == type_field);
        focus_ = static_cast<Field>(f);
        if (focus_ == name_field) {
            anchor_ = 0;
            caret_ = name.size();
        }
    }

    void highlight(size_t at) {
        if (entries_.empty()) return;
        at_ = std::min(at, entries_.size() - 1);
        if (files_ && !entries_[at_].folder) set_name(entries_[at_].name);
    }

    int list_key(int key) {
        size_t page = static_cast<size_t>(std::max(1, list_rows_ - 1));
        switch (key) {
        case key_up: highlight(at_ > 0 ? at_ - 1 : 0); break;
        case key_down: highlight(at_ + 1); break;
        case key_page_up: highlight(at_ > page ? at_ - page : 0); break;
        case key_page_down: highlight(at_ + page); break;
        case key_home: highlight(0); break;
        case key_end: highlight(entries_.empty() ? 0 : entries_.size() - 1); break;
        case key_backspace:
        case key_left: enter_folder(parent_of(folder)); break;
        case key_right:
            if (!entries_.empty() && entries_[at_].folder) enter_folder(join(folder, entries_[at_].name));
            break;
        case key_enter:
            if (entries_.empty()) return accept();
            if (entries_[at_].folder) {
                enter_folder(join(folder, entries_[at_].name));
                return 0;
            }
            return choose(join(folder, entries_[at_].name));
        default:
            if (key >= 32 && key < 256) {
                // Typing goes to the name.
                focus_ = name_field;
                anchor_ = 0;
                caret_ = name.size();
                line_char(name, caret_, anchor_, MAX_PATH - 1, static_cast<unsigned char>(key));
            }
            break;
        }
        return 0;
    }

    int name_key(int key) {
        if (key == key_enter) return accept();
        if (key == key_backspace) {
            line_char(name, caret_, anchor_, MAX_PATH - 1, VK_BACK);
        } else if (int vk = virtual_key(key); vk != 0) {
            if (key == key_up || key == key_down) {
                focus_ = list_field;
                return list_key(key);
            }
            line_key(name, caret_, anchor_, vk);
        } else if (key >= 32 && key < 256) {
            line_char(name, caret_, anchor_, MAX_PATH - 1, static_cast<unsigned char>(key));
        }
        return 0;
    }

    int type_key(int key) {
        if (key == key_enter) return accept();
        int n = static_cast<int>(filters_.size());
        if (key == key_left || key == key_up) filter_ = (filter_ + n - 1) % n;
        if (key == key_right || key == key_down || key == ' ') filter_ = (filter_ + 1) % n;
        custom_.clear();
        reload();
        return 0;
    }

    // Open (or OK): the typed name, else the highlighted entry; a folder is
    // entered (Open) or chosen (folder browser); a pattern filters the list.
    int accept() {
        if (name.empty()) {
            if (!files_) return choose(folder);
            if (entries_.empty()) return 0;
            if (entries_[at_].folder) {
                enter_folder(join(folder, entries_[at_].name));
                return 0;
            }
            return choose(join(folder, entries_[at_].name));
        }
        if (files_ && name.find_first_of("*?") != std::string::npos) {
            custom_ = name;
            set_name("");
            reload();
            return 0;
        }
        std::string path = tidy(join(folder, name));
        if (is_directory(path)) {
            if (!files_) return choose(path);
            enter_folder(path);
            set_name("");
            return 0;
        }
        if (!files_) {
            status = "Not a folder: " + path;
            return 0;
        }
        return choose(path);
    }

    int choose(const std::string& path) {
        chosen_ = path;
        return 1;
    }

    void draw() {
        int width = std::min(COLS, 78);
        int height = std::max(9 + (files_ ? 1 : 0), LINES - 1);
        list_rows_ = height - (files_ ? 8 : 7);
        Canvas canvas;
        canvas.resize(height, width);
        // Built by appending: "+" + std::string(n, '-') trips a false
        // -Wrestrict of GCC 12 at -O3.
        std::string frame = std::string("+").append(static_cast<size_t>(width - 2), '-').append("+");
        canvas.put(0, 0, frame);
        canvas.put(height - 1, 0, frame);
        for (int r = 1; r < height - 1; ++r) {
            canvas.put(r, 0, "|");
            canvas.put(r, width - 1, "|");
        }
        canvas.put(0, 2, std::string(" ").append(fit_text(title_, width - 6)).append(" "), bold);
        int inner = width - 4;
        canvas.put(1, 2, fit_text(files_ ? "Look in: " + folder : status, inner));
        std::string list_frame = std::string("+").append(static_cast<size_t>(inner - 2), '-').append("+");
        canvas.put(2, 2, list_frame);
        canvas.put(3 + list_rows_, 2, list_frame);
        if (at_ < first_) first_ = at_;
        if (at_ >= first_ + static_cast<size_t>(list_rows_)) first_ = at_ - static_cast<size_t>(list_rows_) + 1;
        for (int r = 0; r < list_rows_; ++r) {
            canvas.put(3 + r, 2, "|");
            canvas.put(3 + r, width - 3, "|");
            size_t i = first_ + static_cast<size_t>(r);
            if (i >= entries_.size()) continue;
            std::string shown = entries_[i].name + (entries_[i].folder ? "/" : "");
            shown = fit_text(shown, inner - 2);
            bool here = i == at_;
            shown.resize(static_cast<size_t>(inner - 2), ' ');
            canvas.put(3 + r, 3, shown, here ? (focus_ == list_field ? inverse : bold) : plain);
            if (here && focus_ == list_field) canvas.focus_row = 3 + r;
        }
        if (entries_.size() > static_cast<size_t>(list_rows_)) {
            if (first_ > 0) canvas.put(2, width - 8, " ^ ");
            if (first_ + static_cast<size_t>(list_rows_) < entries_.size()) canvas.put(3 + list_rows_, width - 8, " v ");
        }
        int row = 4 + list_rows_;
        std::string label = files_ ? "File name:     " : "Folder:        ";
        canvas.put(row, 2, label);
        int field = inner - static_cast<int>(label.size());
        put_field(canvas, row, 2 + static_cast<int>(label.size()), field, name, caret_, anchor_, scroll_,
                  focus_ == name_field);
        if (focus_ == name_field) canvas.focus_row = row;
        if (files_) {
            ++row;
            canvas.put(row, 2, "Files of type: ");
            std::string type = "< " + (custom_.empty() ? filters_[filter_].text : custom_) + " >";
            canvas.put(row, 2 + 15, fit_text(type, inner - 15), focus_ == type_field ? inverse : plain);
            if (focus_ == type_field) canvas.focus_row = row;
        }
        ++row;
        std::string ok = files_ ? "<Open>" : "<OK>";
        std::string cancel = "[Cancel]";
        int cancel_col = width - 3 - static_cast<int>(cancel.size());
        int ok_col = cancel_col - 2 - static_cast<int>(ok.size());
        canvas.put(row, ok_col, ok, focus_ == ok_field ? inverse : plain);
        canvas.put(row, cancel_col, cancel, focus_ == cancel_field ? inverse : plain);
        if (focus_ == ok_field || focus_ == cancel_field) canvas.focus_row = row;
        std::string hint = files_ ? "Up/Down: choose  Enter: open  Backspace: up  Tab: next field  Esc: cancel"
                                  : "Up/Down: move  Enter: open folder  Backspace: up  Tab: to <OK>  Esc: cancel";
        show(canvas, hint);
    }

    std::string title_;
    bool files_;
    std::vector<Filter> filters_;
    size_t filter_ = 0;
    std::string custom_;
    std::vector<Entry> entries_;
    size_t at_ = 0, first_ = 0;
    int list_rows_ = 5;
    Field focus_ = list_field;
    size_t caret_ = 0, anchor_ = 0;
    int scroll_ = 0;
    std::string chosen_;
};

std::string hint_for(HWND dialog, HWND focus) {
    const std::string common = "Tab: next  Enter: <default>  Esc: cancel";
    if (focus == nullptr || focus->cls != "Edit")
        for (HWND kid : dialog->kids)
            if (kid->cls == "Edit" && (kid->style & ES_MULTILINE) != 0 && (kid->style & WS_VISIBLE) != 0)
                return "Tab: to the text, where arrows and PgUp/PgDn scroll  Enter: <default>  Esc: cancel";
    if (focus == nullptr) return common;
    if (focus->cls == "Edit" && (focus->style & ES_MULTILINE) != 0)
        return "Arrows/PgUp/PgDn/Home/End: scroll  " + common;
    if (focus->cls == "Edit") return "Arrows/Home/End: move  Del: delete  " + common;
    if ((focus->style & BS_TYPEMASK) == BS_AUTOCHECKBOX) return "Space: check/uncheck  " + common;
    return "Space: press  " + common;
}

class Terminal : public FrontEndImpl {
public:
    ~Terminal() override {
        screen_.close();
        remove_handlers();
    }

    bool wait_input(HWND dialog) override {
        if (!screen_.enter(STDOUT_FILENO)) return false;
        HWND focus = GetFocus();
        show(render(dialog), hint_for(dialog, focus != nullptr && is_inside(focus, dialog) ? focus : nullptr));
        int key = read_key();
        if (key == key_eof) return false;
        focus = GetFocus();
        HWND target = focus != nullptr && is_inside(focus, dialog) ? focus : dialog;
        switch (key) {
        case key_none:
        case key_resize: break;
        case key_tab: PostMessageA(target, WM_KEYDOWN, VK_TAB, 0); break;
        case key_backtab: PostMessageA(target, WM_KEYDOWN, VK_TAB, 1); break;
        case key_enter: PostMessageA(target, WM_KEYDOWN, VK_RETURN, 0); break;
        case key_escape: PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0); break;
        case key_backspace: PostMessageA(target, WM_KEYDOWN, VK_BACK, 0); break;
        default:
            if (int vk = virtual_key(key); vk != 0) {
                PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(vk), 0);
            } else if (key >= 32 && key < 256) {
                PostMessageA(target, WM_CHAR, static_cast<WPARAM>(key), 0);
            }
            break;
        }
        return true;
    }

    bool run_browser(HWND browser, const std::function<void(const std::string&, bool)>& select,
                     std::string& chosen) override {
        Chooser chooser(state().browser.title.empty() ? "Browse for Folder" : state().browser.title, false, {});
        chooser.folder = state().browser.selection;
        if (!is_directory(chooser.folder)) chooser.folder = current_folder();
        chooser.folder = tidy(chooser.folder[0] == '/' ? chooser.folder : join(current_folder(), chooser.folder));
        chooser.entered = [&](const std::string& path) {
            if (is_alive(browser)) select(path, true);
            chooser.status = state().browser.status_text;
        };
        chooser.entered(chooser.folder);
        bool ok = chooser.run(screen_, chosen);
        if (!any_modal()) screen_.leave();
        return ok;
    }

    bool run_file_dialog(const CFileDialog& dialog, std::string& path) override {
        Chooser chooser(dialog.open ? "Open" : "Save As", true, parse_filter(static_cast<const char*>(dialog.filter)));
        std::string initial = static_cast<const char*>(dialog.file_name);
        std::string start = initial.empty() ? current_folder() : tidy(join(current_folder(), initial));
        if (is_directory(start)) {
            chooser.folder = start;
        } else {
            chooser.folder = is_directory(parent_of(start)) ? parent_of(start) : current_folder();
            if (!initial.empty()) chooser.name = start.substr(start.find_last_of('/') + 1);
        }
        bool ok = chooser.run(screen_, path);
        if (!any_modal()) screen_.leave();
        return ok;
    }

    // Modeless windows (the progress window) are drawn on standard error:
    // at once when first shown, then at most once per kRedrawInterval. A
    // window changes with every element read (a status text, a bar); a
    // change made within the interval stays marked and is drawn by the first
    // pass after it.
    void paint() override {
        if (any_modal()) return;
        HWND shown = nullptr;
        for (HWND top : top_level_windows())
            if (top->cls == "#dialog" && (top->style & WS_VISIBLE) != 0) shown = top;
        if (shown == nullptr) return;
        const auto now = std::chrono::steady_clock::now();
        bool first = drawn_ != shown;
        if (!first && now - drawn_at_ < kRedrawInterval) return;
        if (!screen_.enter(STDERR_FILENO)) return;
        bool resized = screen_.check_size();
        if (!first && !resized && !shown->dirty) return;
        shown->dirty = false;
        drawn_ = shown;
        drawn_at_ = now;
        show(render(shown), "");
    }

    void destroyed(HWND top) override {
        if (top == drawn_) drawn_ = nullptr;
        bool others = false;
        for (HWND w : top_level_windows())
            if (w != top && w->cls == "#dialog" && (w->style & WS_VISIBLE) != 0) others = true;
        if (!others) screen_.leave();
    }

private:
    static bool any_modal() {
        for (HWND w : top_level_windows())
            if (w->modal) return true;
        return false;
    }

    static constexpr std::chrono::milliseconds kRedrawInterval{40};
    Screen screen_;
    HWND drawn_ = nullptr;
    std::chrono::steady_clock::time_point drawn_at_{};
};

}  // namespace

FrontEndImpl* make_terminal() { return new Terminal; }

}  // namespace vxp::detail
