// A tmux server of a test's own, for driving terminal programs: send-keys
// in, capture-pane out.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

inline std::string run_output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        ::pclose(p);
    }
    return out;
}

inline bool have_tmux() { return std::system("tmux -V >/dev/null 2>&1") == 0; }

// The number of '#' in the first bar ("[###...]") drawn after `label` in
// `screen`, or -1 when there is none.
inline int bar_fill(const std::string& screen, const std::string& label) {
    size_t at = screen.find(label);
    size_t bar = at == std::string::npos ? std::string::npos : screen.find('[', at);
    size_t end = bar == std::string::npos ? std::string::npos : screen.find(']', bar);
    if (end == std::string::npos) return -1;
    return static_cast<int>(std::count(screen.begin() + static_cast<long>(bar), screen.begin() + static_cast<long>(end), '#'));
}

// A tmux server of the test's own, with one pane running `command`.
class Tmux {
public:
    explicit Tmux(const std::string& command, int columns = 110, int rows = 32)
        : socket_("vertexa-test-" + std::to_string(::getpid()) + "-" + std::to_string(next_session_++)) {
        std::string line = "tmux -L " + socket_ + " -f /dev/null new-session -d -s ui -x " + std::to_string(columns) +
                           " -y " + std::to_string(rows) + " '" + command + "; sleep 60' 2>&1";
        std::system(line.c_str());
    }
    ~Tmux() { std::system(("tmux -L " + socket_ + " kill-server >/dev/null 2>&1").c_str()); }
    Tmux(const Tmux&) = delete;
    Tmux& operator=(const Tmux&) = delete;

    std::string capture() const { return run_output("tmux -L " + socket_ + " capture-pane -p -t ui 2>/dev/null"); }
    void keys(const std::string& keys) const { std::system(("tmux -L " + socket_ + " send-keys -t ui " + keys).c_str()); }
    void resize(int columns, int rows) const {
        std::system(("tmux -L " + socket_ + " resize-window -t ui -x " + std::to_string(columns) + " -y " +
                     std::to_string(rows)).c_str());
    }
    // A value of the pane, e.g. "#{alternate_on}", "#{cursor_flag}", "#{history_size}".
    std::string value(const std::string& format) const {
        std::string v = run_output("tmux -L " + socket_ + " display-message -p -t ui '" + format + "' 2>/dev/null");
        while (!v.empty() && (v.back() == '\n' || v.back() == '\r')) v.pop_back();
        return v;
    }
    // Waits (up to 20 s; a loaded machine is slow, not wrong) until the pane
    // shows `text`; pane() is the pane as last seen, which a failure prints.
    ::testing::AssertionResult shows(const std::string& text) {
        for (int i = 0; i < 400; ++i) {
            pane_ = capture();
            if (pane_.find(text) != std::string::npos) return ::testing::AssertionSuccess();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return ::testing::AssertionFailure() << "no \"" << text << "\" in the pane:\n" << pane_;
    }
    const std::string& pane() const { return pane_; }

private:
    // Each session has its own server, so that one being shut down never
    // meets the next.
    static inline int next_session_ = 0;
    std::string socket_;
    std::string pane_;
};
