// The window tree, the thread's message queue, focus and the built-in window
// classes (buttons, edits, statics, progress bars, the folder browser).
#include <algorithm>
#include <cstring>
#include <unistd.h>

#include "internal.h"

namespace vxp::detail {

State& state() {
    static State s;
    return s;
}

bool is_alive(HWND hwnd) {
    if (hwnd == nullptr) return false;
    const auto& alive = state().alive;
    return std::find(alive.begin(), alive.end(), hwnd) != alive.end();
}

HWND create_window(const std::string& cls, const std::string& text, int id, DWORD style, int x, int y, int w,
                   int h, HWND parent, HWND owner) {
    auto* window = new HWND__;
    window->cls = cls;
    window->text = text;
    window->id = id;
    window->style = style;
    window->x = x;
    window->y = y;
    window->w = w;
    window->h = h;
    window->parent = parent;
    window->owner = owner;
    if (parent != nullptr) parent->kids.push_back(window);
    state().alive.push_back(window);
    return window;
}

HWND top_of(HWND hwnd) {
    while (hwnd != nullptr && hwnd->parent != nullptr) hwnd = hwnd->parent;
    return hwnd;
}

bool is_inside(HWND hwnd, HWND ancestor) {
    for (; hwnd != nullptr; hwnd = hwnd->parent)
        if (hwnd == ancestor) return true;
    return false;
}

void invalidate(HWND hwnd) {
    HWND top = top_of(hwnd);
    if (top != nullptr) top->dirty = true;
}

void destroy_window(HWND hwnd) {
    if (!is_alive(hwnd)) return;
    State& s = state();
    // The focused control loses the focus while its dialog still exists, so
    // its kill-focus notification reaches the dialog's handlers.
    if (s.focus != nullptr && is_inside(s.focus, hwnd)) SetFocus(nullptr);
    while (!hwnd->kids.empty()) destroy_window(hwnd->kids.back());
    if (hwnd->parent == nullptr) front_end().destroyed(hwnd);
    s.alive.erase(std::find(s.alive.begin(), s.alive.end(), hwnd));
    std::erase_if(s.queue, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
    if (hwnd->parent != nullptr) std::erase(hwnd->parent->kids, hwnd);
    for (HWND other : s.alive)
        if (other->owner == hwnd) other->owner = nullptr;
    if (s.main == hwnd) s.main = nullptr;
    if (hwnd->wnd != nullptr) {
        hwnd->wnd->m_hWnd = nullptr;
        if (hwnd->own_wnd) delete hwnd->wnd;
    }
    delete hwnd;
}

namespace {

bool usable(HWND hwnd) {
    return hwnd != nullptr && (hwnd->style & WS_VISIBLE) != 0 && (hwnd->style & WS_DISABLED) == 0;
}

void notify_parent(HWND hwnd, UINT code) {
    if (hwnd->parent == nullptr) return;
    SendMessageA(hwnd->parent, WM_COMMAND, MAKEWPARAM(hwnd->id, code), reinterpret_cast<LPARAM>(hwnd));
}

DWORD button_type(HWND hwnd) { return hwnd->style & BS_TYPEMASK; }


}  // namespace

LRESULT default_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETTEXT:
        hwnd->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
        ++hwnd->text_sets;
        invalidate(hwnd);
        return TRUE;
    case WM_GETTEXT: {
        if (wParam == 0 || lParam == 0) return 0;
        size_t n = std::min(hwnd->text.size(), static_cast<size_t>(wParam) - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), hwnd->text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(hwnd->text.size());
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        invalidate(hwnd);
        if (hwnd->cls == "Edit") notify_parent(hwnd, message == WM_SETFOCUS ? EN_SETFOCUS : EN_KILLFOCUS);
        return 0;
    case WM_CHAR:
        if (hwnd->cls == "Edit" && (hwnd->style & ES_READONLY) == 0) {
            auto c = static_cast<unsigned char>(wParam);
            if (c == VK_BACK) {
                if (!hwnd->text.empty()) hwnd->text.pop_back();
            } else if (c >= 32 && (hwnd->limit == 0 || hwnd->text.size() < hwnd->limit)) {
                hwnd->text.push_back(static_cast<char>(c));
            }
            invalidate(hwnd);
        }
        return 0;
    case WM_KEYDOWN:
        if (hwnd->cls == "Edit" && wParam == VK_BACK) return default_proc(hwnd, WM_CHAR, VK_BACK, 0);
        return 0;
    case EM_LIMITTEXT:
        hwnd->limit = static_cast<unsigned>(wParam);
        return 0;
    case BM_GETCHECK:
        return hwnd->check;
    case BM_SETCHECK:
        hwnd->check = static_cast<int>(wParam) != 0 ? BST_CHECKED : BST_UNCHECKED;
        invalidate(hwnd);
        return 0;
    case BM_CLICK:
        // A click focuses the button, toggles an automatic check box and
        // tells the dialog; hidden or disabled buttons take no clicks.
        if (hwnd->cls != "Button" || !usable(hwnd) || button_type(hwnd) == BS_GROUPBOX) return 0;
        SetFocus(hwnd);
        if (button_type(hwnd) == BS_AUTOCHECKBOX) {
            hwnd->check = hwnd->check != 0 ? 0 : 1;
            invalidate(hwnd);
        }
        notify_parent(hwnd, BN_CLICKED);
        return 0;
    case PBM_SETRANGE: {
        LRESULT previous = MAKELONG(hwnd->lower, hwnd->upper);
        hwnd->lower = static_cast<short>(LOWORD(lParam));
        hwnd->upper = static_cast<short>(HIWORD(lParam));
        hwnd->pos = std::clamp(hwnd->pos, hwnd->lower, std::max(hwnd->lower, hwnd->upper));
        invalidate(hwnd);
        return previous;
    }
    case PBM_SETPOS: {
        // Positions outside the range show as its ends.
        int previous = hwnd->pos;
        hwnd->pos = std::clamp(static_cast<int>(wParam), hwnd->lower, std::max(hwnd->lower, hwnd->upper));
        invalidate(hwnd);
        return previous;
    }
    case PBM_SETSTEP: {
        int previous = hwnd->step;
        hwnd->step = static_cast<int>(wParam);
        return previous;
    }
    case PBM_GETPOS:
        return hwnd->pos;
    case BFFM_SETSELECTIONA:
        if (hwnd->cls == "#browser" && lParam != 0) {
            state().browser.selection = reinterpret_cast<const char*>(lParam);
            invalidate(hwnd);
        }
        return 0;
    case BFFM_SETSTATUSTEXTA:
        if (hwnd->cls == "#browser") {
            state().browser.status_text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
            invalidate(hwnd);
        }
        return 0;
    default:
        return 0;
    }
}

void tab_focus(HWND dialog, bool backwards) {
    std::vector<HWND> stops;
    for (HWND kid : dialog->kids)
        if (usable(kid) && (kid->style & WS_TABSTOP) != 0) stops.push_back(kid);
    if (stops.empty()) return;
    auto at = std::find(stops.begin(), stops.end(), state().focus);
    size_t n = stops.size();
    size_t next;
    if (at == stops.end()) {
        next = backwards ? n - 1 : 0;
    } else {
        size_t i = static_cast<size_t>(at - stops.begin());
        next = backwards ? (i + n - 1) % n : (i + 1) % n;
    }
    SetFocus(stops[next]);
}

// The visible default push button; Enter means IDOK when there is none.
HWND default_button(HWND dialog) {
    for (HWND kid : dialog->kids)
        if (kid->cls == "Button" && button_type(kid) == BS_DEFPUSHBUTTON && (kid->style & WS_VISIBLE) != 0) return kid;
    return nullptr;
}

}  // namespace vxp::detail

using namespace vxp::detail;

// ---------------------------------------------------------------------------
BOOL PeekMessageA(LPMSG msg, HWND, UINT, UINT, UINT remove) {
    State& s = state();
    if (s.observer) s.observer();
    front_end().paint();
    if (s.queue.empty()) return FALSE;
    *msg = s.queue.front();
    if (remove == PM_REMOVE) s.queue.pop_front();
    return TRUE;
}

// Front ends queue characters as WM_CHAR themselves; nothing to translate.
BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) { return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam); }

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!is_alive(hwnd)) return 0;
    if (hwnd->wnd != nullptr) return hwnd->wnd->WindowProc(message, wParam, lParam);
    return default_proc(hwnd, message, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!is_alive(hwnd)) return FALSE;
    state().queue.push_back(MSG{hwnd, message, wParam, lParam});
    return TRUE;
}

BOOL IsWindow(HWND hwnd) { return is_alive(hwnd) ? TRUE : FALSE; }

HWND GetFocus() { return state().focus; }

HWND SetFocus(HWND hwnd) {
    State& s = state();
    HWND old = s.focus;
    if (hwnd != nullptr && !is_alive(hwnd)) return old;
    // Hidden and disabled windows take no keyboard focus.
    for (HWND w = hwnd; w != nullptr; w = w->parent)
        if ((w->style & WS_DISABLED) != 0 || (w->parent != nullptr && (w->style & WS_VISIBLE) == 0)) return old;
    if (hwnd == old) return old;
    s.focus = hwnd;
    if (is_alive(old)) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd != nullptr && s.focus == hwnd) SendMessageA(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    if (!is_alive(hwnd)) return FALSE;
    BOOL was_disabled = (hwnd->style & WS_DISABLED) != 0 ? TRUE : FALSE;
    if (enable) {
        hwnd->style &= ~WS_DISABLED;
    } else {
        hwnd->style |= WS_DISABLED;
    }
    invalidate(hwnd);
    SendMessageA(hwnd, WM_ENABLE, static_cast<WPARAM>(enable != 0), 0);
    return was_disabled;
}

BOOL IsWindowEnabled(HWND hwnd) { return is_alive(hwnd) && (hwnd->style & WS_DISABLED) == 0 ? TRUE : FALSE; }

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    char path[4096];
    if (getcwd(path, sizeof path) == nullptr) return 0;
    DWORD length = static_cast<DWORD>(std::strlen(path));
    // Like Windows: the size needed (with the NUL) when the buffer is too small.
    if (buffer == nullptr || size <= length) return length + 1;
    std::memcpy(buffer, path, length + 1);
    return length;
}

BOOL SetCurrentDirectoryA(LPCSTR path) { return path != nullptr && chdir(path) == 0 ? TRUE : FALSE; }

// ---------------------------------------------------------------------------
namespace vxp {

HWND create_main_window(const char* title) {
    State& s = state();
    if (s.main != nullptr) return s.main;
    s.main = create_window("#main", title != nullptr ? title : "", 0, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
    return s.main;
}

HWND main_window() { return state().main; }

void destroy_main_window() { destroy_window(state().main); }

void set_pump_observer(std::function<void()> observer) { state().observer = std::move(observer); }

void set_shell_allocator_available(bool available) { state().shell_allocator = available; }

WindowInfo inspect(HWND hwnd) {
    WindowInfo info;
    if (!is_alive(hwnd)) return info;
    info.exists = true;
    info.class_name = hwnd->cls;
    info.text = hwnd->text;
    info.id = hwnd->id;
    info.x = hwnd->x;
    info.y = hwnd->y;
    info.w = hwnd->w;
    info.h = hwnd->h;
    info.style = hwnd->style;
    info.visible = (hwnd->style & WS_VISIBLE) != 0;
    info.enabled = (hwnd->style & WS_DISABLED) == 0;
    info.check = hwnd->check;
    info.lower = hwnd->lower;
    info.upper = hwnd->upper;
    info.position = hwnd->pos;
    info.step = hwnd->step;
    info.limit = hwnd->limit;
    info.text_sets = hwnd->text_sets;
    return info;
}

HWND dialog_item(HWND dialog, int id) {
    if (!is_alive(dialog)) return nullptr;
    for (HWND kid : dialog->kids)
        if (kid->id == id) return kid;
    return nullptr;
}

std::vector<HWND> children(HWND dialog) {
    if (!is_alive(dialog)) return {};
    return dialog->kids;
}

std::vector<HWND> top_level_windows() {
    std::vector<HWND> tops;
    for (HWND w : state().alive)
        if (w->parent == nullptr) tops.push_back(w);
    return tops;
}

BrowserInfo browser_info() { return state().browser; }

}  // namespace vxp
