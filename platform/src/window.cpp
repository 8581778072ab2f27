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

// A multi-line edit's keys move its view: lines up and down, columns left and
// right, a page (the rows last shown, less one), the top and the bottom.
void scroll_view(HWND hwnd, int vk) {
    std::vector<std::string> lines = text_lines(hwnd->text);
    int rows = hwnd->view_rows > 0 ? hwnd->view_rows : std::max(1, hwnd->h / 8);
    int cols = hwnd->view_cols > 0 ? hwnd->view_cols : std::max(1, hwnd->w / 4);
    int widest = 0;
    for (const std::string& line : lines) widest = std::max(widest, static_cast<int>(line.size()));
    int page = std::max(1, rows - 1);
    int& y = hwnd->scroll_y;
    int& x = hwnd->scroll_x;
    switch (vk) {
    case VK_UP: y -= 1; break;
    case VK_DOWN: y += 1; break;
    case VK_PRIOR: y -= page; break;
    case VK_NEXT: y += page; break;
    case VK_HOME: y = 0; x = 0; break;
    case VK_END: y = static_cast<int>(lines.size()); break;
    case VK_LEFT: x -= 8; break;
    case VK_RIGHT: x += 8; break;
    default: return;
    }
    y = std::clamp(y, 0, std::max(0, static_cast<int>(lines.size()) - rows));
    x = std::clamp(x, 0, std::max(0, widest - cols));
}


}  // namespace

LRESULT default_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETTEXT:
        hwnd->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
        // The caret after the text: a click into the field (a headless
        // focus step) goes on typing at its end.
        hwnd->caret = hwnd->anchor = hwnd->text.size();
        hwnd->scroll_x = hwnd->scroll_y = 0;
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
        if (hwnd->cls == "Edit" && (hwnd->style & ES_READONLY) == 0 && (hwnd->style & ES_MULTILINE) == 0) {
            // Without horizontal scrolling the text ends where the field does.
            unsigned limit = hwnd->limit;
            if ((hwnd->style & ES_AUTOHSCROLL) == 0 && hwnd->view_cols > 0 &&
                (limit == 0 || limit > static_cast<unsigned>(hwnd->view_cols)))
                limit = static_cast<unsigned>(hwnd->view_cols);
            line_char(hwnd->text, hwnd->caret, hwnd->anchor, limit, static_cast<unsigned char>(wParam));
            invalidate(hwnd);
        }
        return 0;
    case WM_KEYDOWN:
        if (hwnd->cls != "Edit") return 0;
        if ((hwnd->style & ES_MULTILINE) != 0) {
            scroll_view(hwnd, static_cast<int>(wParam));
        } else if (wParam == VK_BACK) {
            if ((hwnd->style & ES_READONLY) == 0) line_char(hwnd->text, hwnd->caret, hwnd->anchor, hwnd->limit, VK_BACK);
        } else if (wParam != VK_DELETE || (hwnd->style & ES_READONLY) == 0) {
            line_key(hwnd->text, hwnd->caret, hwnd->anchor, static_cast<int>(wParam));
        }
        invalidate(hwnd);
        return 0;
    case EM_SETSEL: {
        // -1 as the start removes the selection; an end of -1 is the text's end.
        auto end = static_cast<intptr_t>(lParam);
        auto start = static_cast<intptr_t>(wParam);
        size_t size = hwnd->text.size();
        size_t e = end < 0 ? size : std::min(size, static_cast<size_t>(end));
        hwnd->anchor = start < 0 ? e : std::min(size, static_cast<size_t>(start));
        hwnd->caret = e;
        invalidate(hwnd);
        return 0;
    }
    case EM_GETSEL:
        return MAKELONG(std::min(hwnd->caret, hwnd->anchor), std::max(hwnd->caret, hwnd->anchor));
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

namespace {

// The caret steps over whole UTF-8 characters.
bool continuation(const std::string& text, size_t at) {
    return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
}
size_t previous_char(const std::string& text, size_t at) {
    if (at == 0) return 0;
    size_t p = at - 1;
    for (int k = 0; k < 3 && p > 0 && continuation(text, p); ++k) --p;
    return p;
}
size_t next_char(const std::string& text, size_t at) {
    if (at >= text.size()) return text.size();
    size_t n = at + 1;
    for (int k = 0; k < 3 && continuation(text, n); ++k) ++n;
    return n;
}

}  // namespace

bool line_key(std::string& text, size_t& caret, size_t& anchor, int vk) {
    caret = std::min(caret, text.size());
    anchor = std::min(anchor, text.size());
    switch (vk) {
    case VK_LEFT:
        // With a selection, Left and Right go to its ends.
        caret = caret != anchor ? std::min(caret, anchor) : previous_char(text, caret);
        break;
    case VK_RIGHT:
        caret = caret != anchor ? std::max(caret, anchor) : next_char(text, caret);
        break;
    case VK_HOME: caret = 0; break;
    case VK_END: caret = text.size(); break;
    case VK_DELETE:
        if (caret != anchor) {
            size_t from = std::min(caret, anchor);
            text.erase(from, std::max(caret, anchor) - from);
            caret = from;
        } else if (caret < text.size()) {
            text.erase(caret, next_char(text, caret) - caret);
        }
        break;
    default: return false;
    }
    anchor = caret;
    return true;
}

void line_char(std::string& text, size_t& caret, size_t& anchor, unsigned limit, unsigned char c) {
    caret = std::min(caret, text.size());
    anchor = std::min(anchor, text.size());
    size_t from = std::min(caret, anchor);
    size_t selected = std::max(caret, anchor) - from;
    if (c == VK_BACK) {
        if (selected == 0 && from > 0) {
            size_t start = previous_char(text, from);
            selected = from - start;
            from = start;
        }
        text.erase(from, selected);
    } else if (c >= 32 && (limit == 0 || text.size() - selected < limit)) {
        text.replace(from, selected, 1, static_cast<char>(c));
        from += 1;
    } else {
        return;
    }
    caret = anchor = from;
}

std::vector<std::string> text_lines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            lines.emplace_back();
        } else if (c == '\t') {
            do lines.back() += ' ';
            while (lines.back().size() % 8 != 0);
        } else {
            lines.back() += c;
        }
    }
    return lines;
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
    if (state().focus == stops[next] && stops[next]->cls == "Edit") SendMessageA(stops[next], EM_SETSEL, 0, -1);
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
    if (hwnd->wnd != nullptr) return vxp_window_access::window_proc(*hwnd->wnd, message, wParam, lParam);
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
