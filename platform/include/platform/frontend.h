// How people see and drive the windows of the platform stand-in.
//
// Headless: nothing is drawn; a test queues script steps, which the modal
// loops, the folder browser and the file dialog take one at a time whenever
// they wait for input, and reads back every window. Terminal (ncurses):
// dialogs, the Open dialog and the folder browser are drawn on the terminal
// of standard output and driven from the keyboard on standard input, every
// label whole (columns scaled to the labels, rows laid out so that frames and
// controls never meet); modeless windows (the progress window) are drawn on
// the terminal of standard error and read no input. The terminal is given
// back on every exit, and SIGINT, SIGTERM, SIGHUP and SIGQUIT end the program
// with 128 + the signal's number.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace vxp {

enum class FrontEnd { headless, terminal };

// Headless is the start-up choice. The terminal needs a terminal on standard
// input and output for dialogs; select_front_end(terminal) without one still
// draws but reads end-of-input, which cancels every dialog.
VXP_API void select_front_end(FrontEnd front_end);
VXP_API FrontEnd current_front_end();
// True when standard input and standard output are both terminals.
VXP_API bool terminal_available();

// The application's main window: an invisible top-level window that stands
// for the host's own window. Dialogs without a parent are owned by it.
VXP_API HWND create_main_window(const char* title);
VXP_API HWND main_window();
VXP_API void destroy_main_window();

// ---------------------------------------------------------------------------
// Headless script. Dialog steps act on the modal dialog that waits for input.
VXP_API void script_type(const std::string& text);  // characters into the focused control
VXP_API void script_key(int vk, bool shift = false);  // VK_TAB, VK_ESCAPE, VK_RETURN, VK_BACK, VK_LEFT, VK_HOME, VK_DELETE, ...
VXP_API void script_focus(int control_id);           // focus moves there (as a mouse click into it)
VXP_API void script_click(int control_id);           // a click on a button or check box
VXP_API void script_close();                         // the close box
// Runs `check` with the waiting dialog (tests read the controls there).
VXP_API void script_call(std::function<void(HWND dialog)> check);
// Folder browser steps: move the selection to `path` ("" selects an item
// without a file-system path, such as the desktop); choose `path`; cancel.
VXP_API void script_browse_select(const std::string& path);
VXP_API void script_browse_choose(const std::string& path);
VXP_API void script_browse_cancel();
// File dialog steps.
VXP_API void script_file_choose(const std::string& path);
VXP_API void script_file_cancel();
// Steps not yet taken; steps that met the wrong kind of window (each also
// written to standard error and answered as a cancel there).
VXP_API size_t script_remaining();
VXP_API size_t script_mismatches();
VXP_API void script_clear();

// Called on every PeekMessageA, that is on every pass of a message pump.
VXP_API void set_pump_observer(std::function<void()> observer);

// Makes SHGetMalloc fail (tests of a shell without an allocator).
VXP_API void set_shell_allocator_available(bool available);

// ---------------------------------------------------------------------------
// Reading windows back.
struct WindowInfo {
    bool exists = false;
    std::string class_name;  // "#dialog", "Button", "Edit", "Static", "msctls_progress32", "#browser", "#main"
    std::string text;
    int id = 0;
    int x = 0, y = 0, w = 0, h = 0;  // dialog units
    DWORD style = 0;
    bool visible = false;
    bool enabled = false;
    int check = 0;
    int lower = 0, upper = 100, position = 0, step = 10;  // progress bars
    unsigned limit = 0;                                   // edits: EM_LIMITTEXT, 0 when none
    int text_sets = 0;                                    // WM_SETTEXT messages received
};
VXP_API WindowInfo inspect(HWND hwnd);
VXP_API HWND dialog_item(HWND dialog, int id);
VXP_API std::vector<HWND> children(HWND dialog);  // in template order
VXP_API std::vector<HWND> top_level_windows();     // existing ones, in creation order

// The folder browser as the last SHBrowseForFolderA left it.
struct BrowserInfo {
    int runs = 0;             // SHBrowseForFolderA calls that showed a browser
    HWND owner = nullptr;
    std::string title;
    UINT flags = 0;
    std::string selection;    // as set through BFFM_SETSELECTIONA
    std::string status_text;  // as set through BFFM_SETSTATUSTEXTA
    bool owner_disabled_while_open = false;
};
VXP_API BrowserInfo browser_info();

// The text a window shows on the terminal, row by row (what the terminal
// front end draws for it), for any front end.
VXP_API std::vector<std::string> render_text(HWND top_level);

}  // namespace vxp
