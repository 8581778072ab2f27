// The terminal front end. Modal dialogs take over standard output (the
// alternate screen) and read keys from standard input; modeless windows are
// redrawn in place on standard error and take no input.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <map>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "internal.h"
#include "render.h"

namespace vxp::detail {

namespace {

enum Key { key_none = -1, key_eof = -2, key_tab = 1000, key_backtab, key_enter, key_escape, key_backspace, key_up, key_down };

void write_all(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

// Raw keys for the length of one read; Ctrl-C still interrupts.
class RawMode {
public:
    RawMode() {
        if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios raw = saved_;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~RawMode() {
        if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;

private:
    termios saved_{};
    bool active_ = false;
};

int read_byte(int timeout_ms) {
    if (timeout_ms >= 0) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        int r = poll(&p, 1, timeout_ms);
        if (r <= 0) return key_none;
    }
    unsigned char c;
    for (;;) {
        ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n == 1) return c;
        if (n < 0 && errno == EINTR) continue;
        return key_eof;
    }
}

int read_key() {
    RawMode raw;
    int c = read_byte(-1);
    if (c == key_eof) return key_eof;
    if (c == 27) {
        int next = read_byte(50);
        if (next != '[' && next != 'O') return key_escape;
        int code = read_byte(50);
        switch (code) {
        case 'Z': return key_backtab;
        case 'A': return key_up;
        case 'B': return key_down;
        default: return key_none;
        }
    }
    if (c == '\t') return key_tab;
    if (c == '\r' || c == '\n') return key_enter;
    if (c == 127 || c == 8) return key_backspace;
    return c;
}

std::string draw(const Canvas& canvas, bool clear_lines) {
    std::string out;
    for (size_t r = 0; r < canvas.text.size(); ++r) {
        if (clear_lines) out += "\r\x1b[K";
        bool inverse = false;
        for (size_t c = 0; c < canvas.text[r].size(); ++c) {
            bool m = canvas.marked[r][c];
            if (m != inverse) {
                out += m ? "\x1b[7m" : "\x1b[0m";
                inverse = m;
            }
            out += canvas.text[r][c];
        }
        if (inverse) out += "\x1b[0m";
        out += "\r\n";
    }
    return out;
}

bool is_directory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> subfolders(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == ".." || name[0] == '.') continue;
            std::string full = folder == "/" ? "/" + name : folder + "/" + name;
            if (is_directory(full)) names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string parent_of(const std::string& folder) {
    size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return folder.substr(0, slash);
}

class Terminal : public FrontEndImpl {
public:
    ~Terminal() override { leave_screen(); }

    bool wait_input(HWND dialog) override {
        enter_screen();
        std::string out = "\x1b[H\x1b[2J" + draw(render(dialog), false);
        out += "\r\nTab/Shift-Tab: next/previous field   Space: toggle or press   Enter: default button   Esc: cancel\r\n";
        write_all(STDOUT_FILENO, out);
        int key = read_key();
        if (key == key_eof) return false;
        HWND focus = GetFocus();
        HWND target = focus != nullptr && is_inside(focus, dialog) ? focus : dialog;
        switch (key) {
        case key_none: break;
        case key_tab:
        case key_down: PostMessageA(target, WM_KEYDOWN, VK_TAB, 0); break;
        case key_backtab:
        case key_up: PostMessageA(target, WM_KEYDOWN, VK_TAB, 1); break;
        case key_enter: PostMessageA(target, WM_KEYDOWN, VK_RETURN, 0); break;
        case key_escape: PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0); break;
        case key_backspace: PostMessageA(target, WM_KEYDOWN, VK_BACK, 0); break;
        default:
            if (key >= 32 && key < 256) PostMessageA(target, WM_CHAR, static_cast<WPARAM>(key), 0);
            break;
        }
        return true;
    }

    bool run_browser(HWND browser, const std::function<void(const std::string&, bool)>& select,
                     std::string& chosen) override {
        enter_screen();
        std::string folder = state().browser.selection;
        if (!is_directory(folder)) {
            char cwd[4096];
            folder = getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
        }
        select(folder, true);
        size_t at = 0;
        for (;;) {
            if (!is_alive(browser)) return false;
            std::vector<std::string> entries = {"[ Choose this folder ]", ".."};
            for (const std::string& name : subfolders(folder)) entries.push_back(name + "/");
            at = std::min(at, entries.size() - 1);
            const BrowserInfo& b = state().browser;
            std::string out = "\x1b[H\x1b[2J+-- " + b.title + " --\r\n| " + b.status_text + "\r\n|\r\n";
            size_t first = at >= 15 ? at - 14 : 0;
            for (size_t i = first; i < entries.size() && i < first + 15; ++i)
                out += std::string("| ") + (i == at ? "\x1b[7m" : "") + entries[i] + (i == at ? "\x1b[0m" : "") + "\r\n";
            out += "\r\nUp/Down: move   Enter: open the folder or choose   Esc: cancel\r\n";
            write_all(STDOUT_FILENO, out);
            int key = read_key();
            if (key == key_eof || key == key_escape) return false;
            if (key == key_up || key == key_backtab) at = at > 0 ? at - 1 : entries.size() - 1;
            if (key == key_down || key == key_tab) at = (at + 1) % entries.size();
            if (key == key_backspace) {
                folder = parent_of(folder);
                at = 0;
                select(folder, true);
            }
            if (key == key_enter) {
                if (at == 0) {
                    chosen = folder;
                    return true;
                }
                folder = at == 1 ? parent_of(folder)
                                 : (folder == "/" ? "" : folder) + "/" + entries[at].substr(0, entries[at].size() - 1);
                at = 0;
                select(folder, true);
            }
        }
    }

    bool run_file_dialog(const CFileDialog& dialog, std::string& path) override {
        leave_screen();
        std::string out = std::string(dialog.open ? "Open" : "Save as") + " (" +
                          static_cast<const char*>(dialog.filter) + ")\nFile name (empty to cancel) [" +
                          static_cast<const char*>(dialog.file_name) + "]: ";
        write_all(STDOUT_FILENO, out);
        std::string line;
        for (;;) {
            int c = read_byte(-1);
            if (c == key_eof) return false;
            if (c == '\n') break;
            if (c != '\r') line += static_cast<char>(c);
        }
        if (line.empty()) return false;
        path = line;
        return true;
    }

    // Modeless windows (the progress window) are drawn on standard error,
    // over their previous drawing: at once when first shown, then at most
    // once per kRedrawInterval. A window changes with every element read
    // (a status text, a bar), and drawing each change made a scene of many
    // small objects write hundreds of megabytes to the terminal. A change
    // made within the interval stays marked and is drawn by the first pass
    // after it.
    void paint() override {
        const auto now = std::chrono::steady_clock::now();
        for (HWND top : top_level_windows()) {
            if (top->modal || top->cls != "#dialog" || (top->style & WS_VISIBLE) == 0 || !top->dirty) continue;
            auto it = drawn_.find(top);
            if (it != drawn_.end() && now - it->second.at < kRedrawInterval) continue;
            top->dirty = false;
            Canvas canvas = render(top);
            std::string out;
            if (it != drawn_.end() && it->second.rows > 0) out += "\x1b[" + std::to_string(it->second.rows) + "A";
            out += draw(canvas, true);
            drawn_[top] = Drawn{static_cast<int>(canvas.text.size()), now};
            write_all(STDERR_FILENO, out);
        }
    }

    void destroyed(HWND top) override {
        auto it = drawn_.find(top);
        if (it != drawn_.end()) {
            write_all(STDERR_FILENO, "\x1b[" + std::to_string(it->second.rows) + "A\r\x1b[J");
            drawn_.erase(it);
        }
        if (top->modal) {
            bool other_modal = false;
            for (HWND w : top_level_windows())
                if (w != top && w->modal) other_modal = true;
            if (!other_modal) leave_screen();
        }
    }

private:
    void enter_screen() {
        if (on_screen_) return;
        write_all(STDOUT_FILENO, "\x1b[?1049h\x1b[?25l");
        on_screen_ = true;
    }
    void leave_screen() {
        if (!on_screen_) return;
        write_all(STDOUT_FILENO, "\x1b[?25h\x1b[?1049l");
        on_screen_ = false;
    }

    static constexpr std::chrono::milliseconds kRedrawInterval{40};
    struct Drawn {
        int rows;  // how far up the next drawing starts
        std::chrono::steady_clock::time_point at;
    };
    std::map<HWND, Drawn> drawn_;
    bool on_screen_ = false;
};

}  // namespace

FrontEndImpl* make_terminal() { return new Terminal; }

}  // namespace vxp::detail
