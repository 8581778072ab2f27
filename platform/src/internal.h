// The platform's window tree, message queue and front-end interface, shared
// by its sources and not installed.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/frontend.h"
#include "platform/mfc.h"

struct HWND__ {
    std::string cls;
    std::string text;
    int id = 0;
    DWORD style = 0;
    int x = 0, y = 0, w = 0, h = 0;
    HWND parent = nullptr;  // children: the dialog
    HWND owner = nullptr;   // top-level windows: the owner
    std::vector<HWND> kids;
    CWnd* wnd = nullptr;    // the wrapper that receives messages, if any
    bool own_wnd = false;   // wnd was made by FromHandle and goes with the window
    bool modal = false;
    int check = 0;
    int lower = 0, upper = 100, pos = 0, step = 10;
    unsigned limit = 0;
    int text_sets = 0;
    // Edits: the caret and the other end of the selection (byte offsets), and
    // the view: first column and line shown, and the rows and columns that
    // the front end last showed (page size for the scrolling keys).
    size_t caret = 0, anchor = 0;
    int scroll_x = 0, scroll_y = 0;
    int view_rows = 0, view_cols = 0;
    bool dirty = true;
};

namespace vxp::detail {

// What a front end does; the headless and terminal front ends implement it.
class FrontEndImpl {
public:
    virtual ~FrontEndImpl() = default;
    // A modal dialog waits for input: queue some, or false when none will come.
    virtual bool wait_input(HWND dialog) = 0;
    // The folder browser `browser` runs: call select(path, has_path) as the
    // selection moves; true with the chosen path, false when cancelled.
    virtual bool run_browser(HWND browser, const std::function<void(const std::string&, bool)>& select,
                             std::string& chosen) = 0;
    virtual bool run_file_dialog(const CFileDialog& dialog, std::string& path) = 0;
    // Called on every pump pass and before waiting: draw what changed.
    virtual void paint() {}
    virtual void destroyed(HWND) {}
};

FrontEndImpl* make_headless();
FrontEndImpl* make_terminal();
FrontEndImpl& front_end();

struct State {
    std::vector<HWND> alive;  // creation order
    std::deque<MSG> queue;
    HWND focus = nullptr;
    HWND main = nullptr;
    std::function<void()> observer;
    bool shell_allocator = true;
    BrowserInfo browser;
};
State& state();

bool is_alive(HWND hwnd);
HWND create_window(const std::string& cls, const std::string& text, int id, DWORD style, int x, int y, int w,
                   int h, HWND parent, HWND owner);
void destroy_window(HWND hwnd);
HWND top_of(HWND hwnd);
bool is_inside(HWND hwnd, HWND ancestor);
void invalidate(HWND hwnd);
LRESULT default_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Focus moves to the next (or previous) tab stop of the dialog; an edit
// that takes it has its whole text selected, so typing replaces it.
void tab_focus(HWND dialog, bool backwards);

// One line of text as an edit control keeps it: a caret and the other end of
// the selection, both byte offsets. Typing replaces the selection; `limit`
// (0 for none) bounds the length. The keys are the Windows ones (VK_LEFT,
// VK_HOME, VK_DELETE, ...); false when the key means nothing to a line.
bool line_key(std::string& text, size_t& caret, size_t& anchor, int vk);
void line_char(std::string& text, size_t& caret, size_t& anchor, unsigned limit, unsigned char c);

// The lines of a multi-line edit as shown: tabs to the next multiple of 8,
// carriage returns dropped.
std::vector<std::string> text_lines(const std::string& text);
HWND default_button(HWND dialog);

}  // namespace vxp::detail

// What the window tree does with the MFC-shaped classes (a friend of theirs).
struct vxp_window_access {
    // The window procedure of a window with a wrapper: the wrapper's message
    // map first, then the window class.
    static LRESULT window_proc(CWnd& wnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Builds the dialog's window and controls from its template, then runs
    // OnInitDialog; focus goes to the first tab stop when it returns TRUE.
    static bool create(CDialog& dialog, const vxp::DialogTemplate& t, HWND owner, bool modal);
};
