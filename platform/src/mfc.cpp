// The stand-in's own part of the MFC-shaped layer (common/mfc.cpp has the
// part it shares with Windows): module state and resources, windows over the
// window tree, the dialog manager's keyboard, dialogs built from templates and
// their modal loop, controls bound to objects, and the file dialog.
#include <string>

#include "internal.h"

using namespace vxp::detail;

// ---------------------------------------------------------------------------
namespace vxp {

const DialogTemplate* ModuleResources::FindDialog(int id) const {
    for (int i = 0; i < dialog_count; ++i)
        if (dialogs[i].id == id) return &dialogs[i];
    return nullptr;
}

const char* ModuleResources::FindString(int id) const {
    for (int i = 0; i < string_count; ++i)
        if (strings[i].id == id) return strings[i].text;
    return nullptr;
}

}  // namespace vxp

namespace {

// The process's own module: no resources.
AFX_MODULE_STATE process_state{nullptr};
AFX_MODULE_STATE* current_state = &process_state;

const vxp::ModuleResources* current_resources() { return current_state->resources; }

}  // namespace

AFX_MODULE_STATE* AfxGetModuleState() { return current_state; }

AFX_MAINTAIN_STATE2::AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state) : previous_(current_state) {
    if (state != nullptr) current_state = state;
}

AFX_MAINTAIN_STATE2::~AFX_MAINTAIN_STATE2() { current_state = previous_; }

// ---------------------------------------------------------------------------
BOOL CString::LoadString(UINT id) {
    const vxp::ModuleResources* resources = current_resources();
    const char* text = resources != nullptr ? resources->FindString(static_cast<int>(id)) : nullptr;
    if (text == nullptr) return FALSE;
    s_ = text;
    return TRUE;
}

// ---------------------------------------------------------------------------
CWnd::~CWnd() {
    if (m_hWnd != nullptr) {
        HWND hwnd = m_hWnd;
        hwnd->wnd = nullptr;
        hwnd->own_wnd = false;
        m_hWnd = nullptr;
        destroy_window(hwnd);
    }
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    if (!is_alive(hwnd)) return nullptr;
    if (hwnd->wnd == nullptr) {
        hwnd->wnd = new CWnd;
        hwnd->wnd->m_hWnd = hwnd;
        hwnd->own_wnd = true;
    }
    return hwnd->wnd;
}

CWnd* CWnd::GetSafeOwner(CWnd* parent) {
    if (parent != nullptr && parent->m_hWnd != nullptr) return FromHandle(top_of(parent->m_hWnd));
    State& s = state();
    if (s.main == nullptr) return nullptr;
    // The last active pop-up of the main window: the newest visible, enabled
    // top-level window that the main window owns (directly or not).
    for (auto it = s.alive.rbegin(); it != s.alive.rend(); ++it) {
        HWND w = *it;
        if (w == s.main || w->parent != nullptr) continue;
        if ((w->style & WS_VISIBLE) == 0 || (w->style & WS_DISABLED) != 0) continue;
        for (HWND o = w->owner; o != nullptr; o = o->owner)
            if (o == s.main) return FromHandle(w);
    }
    return FromHandle(s.main);
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) return FALSE;
    destroy_window(m_hWnd);
    return TRUE;
}

void CWnd::SetWindowText(const char* text) { SendMessageA(m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)); }

int CWnd::GetWindowText(char* buffer, int capacity) const {
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = '\0';
    return static_cast<int>(
        SendMessageA(m_hWnd, WM_GETTEXT, static_cast<WPARAM>(capacity), reinterpret_cast<LPARAM>(buffer)));
}

void CWnd::GetWindowText(CString& text) const {
    text = is_alive(m_hWnd) ? m_hWnd->text.c_str() : "";
}

CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(vxp::dialog_item(m_hWnd, id)); }

void CWnd::SetDlgItemText(int id, const char* text) {
    SendMessageA(vxp::dialog_item(m_hWnd, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

UINT CWnd::GetDlgItemText(int id, char* buffer, int capacity) const {
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = '\0';
    return static_cast<UINT>(SendMessageA(vxp::dialog_item(m_hWnd, id), WM_GETTEXT, static_cast<WPARAM>(capacity),
                                          reinterpret_cast<LPARAM>(buffer)));
}

void CWnd::CheckDlgButton(int id, UINT check) {
    SendMessageA(vxp::dialog_item(m_hWnd, id), BM_SETCHECK, check, 0);
}

UINT CWnd::IsDlgButtonChecked(int id) const {
    return static_cast<UINT>(SendMessageA(vxp::dialog_item(m_hWnd, id), BM_GETCHECK, 0, 0));
}

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(vxp::dialog_item(m_hWnd, id), message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }

BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }

BOOL CWnd::IsWindowVisible() const { return is_alive(m_hWnd) && (m_hWnd->style & WS_VISIBLE) != 0; }

BOOL CWnd::ShowWindow(int show) {
    if (!is_alive(m_hWnd)) return FALSE;
    BOOL was_visible = (m_hWnd->style & WS_VISIBLE) != 0;
    if (show != 0) {
        m_hWnd->style |= WS_VISIBLE;
    } else {
        m_hWnd->style &= ~WS_VISIBLE;
    }
    invalidate(m_hWnd);
    return was_visible;
}

LRESULT vxp_window_access::window_proc(CWnd& wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && wnd.OnCommand(wParam, lParam)) return 0;
    return default_proc(wnd.m_hWnd, message, wParam, lParam);
}

// The dialog manager's keyboard: Tab and Shift-Tab (and the arrows outside
// edits) move the focus, Esc is Cancel, Enter the focused push button or
// else the default one, Space clicks the focused button. Every other message
// of the dialog's windows is dispatched here.
BOOL CWnd::IsDialogMessage(LPMSG msg) {
    HWND dialog = m_hWnd;
    if (msg == nullptr || !is_alive(dialog) || !is_inside(msg->hwnd, dialog)) return FALSE;
    HWND focus = state().focus;
    if (msg->message == WM_KEYDOWN) {
        switch (msg->wParam) {
        case VK_TAB:
            tab_focus(dialog, msg->lParam == 1);
            return TRUE;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
            // Edits keep the arrows; elsewhere they move the focus, as within
            // a group of controls.
            if (focus == nullptr || !is_inside(focus, dialog) || focus->cls != "Edit") {
                tab_focus(dialog, msg->wParam == VK_LEFT || msg->wParam == VK_UP);
                return TRUE;
            }
            break;
        case VK_ESCAPE:
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(vxp::dialog_item(dialog, IDCANCEL)));
            return TRUE;
        case VK_RETURN: {
            HWND button = focus;
            if (button == nullptr || !is_inside(button, dialog) || button->cls != "Button" ||
                ((button->style & BS_TYPEMASK) != BS_PUSHBUTTON && (button->style & BS_TYPEMASK) != BS_DEFPUSHBUTTON))
                button = default_button(dialog);
            int id = button != nullptr ? button->id : IDOK;
            if (button != nullptr && (button->style & WS_DISABLED) != 0) return TRUE;
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
            return TRUE;
        }
        default:
            break;
        }
    }
    if (msg->message == WM_CHAR && msg->wParam == ' ' && focus != nullptr && is_inside(focus, dialog) &&
        focus->cls == "Button") {
        SendMessageA(focus, BM_CLICK, 0, 0);
        return TRUE;
    }
    DispatchMessageA(msg);
    return TRUE;
}

// ---------------------------------------------------------------------------
CDialog::~CDialog() = default;

bool vxp_window_access::create(CDialog& dialog, const vxp::DialogTemplate& t, HWND owner, bool modal) {
    HWND hwnd = create_window("#dialog", t.caption != nullptr ? t.caption : "", t.id, t.style & ~WS_VISIBLE, t.x, t.y,
                              t.w, t.h, nullptr, owner);
    hwnd->modal = modal;
    hwnd->wnd = &dialog;
    dialog.m_hWnd = hwnd;
    for (int i = 0; i < t.control_count; ++i) {
        const vxp::ControlTemplate& c = t.controls[i];
        create_window(c.class_name, c.text != nullptr ? c.text : "", c.id, c.style | WS_CHILD, c.x, c.y, c.w,
                      c.h, hwnd, nullptr);
    }
    BOOL focus_default = dialog.OnInitDialog();
    if (!is_alive(hwnd)) return false;
    if (focus_default && (state().focus == nullptr || !is_inside(state().focus, hwnd))) tab_focus(hwnd, false);
    if (modal || (t.style & WS_VISIBLE) != 0) hwnd->style |= WS_VISIBLE;
    invalidate(hwnd);
    return true;
}

INT_PTR CDialog::DoModal() {
    const vxp::ModuleResources* resources = current_resources();
    const vxp::DialogTemplate* t = resources != nullptr ? resources->FindDialog(static_cast<int>(template_id_)) : nullptr;
    if (t == nullptr) return -1;
    CWnd* owner = GetSafeOwner(m_pParentWnd);
    HWND owner_hwnd = owner != nullptr ? owner->m_hWnd : nullptr;
    bool disabled_owner = false;
    if (owner_hwnd != nullptr && ::IsWindowEnabled(owner_hwnd)) {
        ::EnableWindow(owner_hwnd, FALSE);
        disabled_owner = true;
    }
    run_.ended = false;
    run_.result = IDCANCEL;
    run_.modal = true;
    HWND focus_before = state().focus;
    if (vxp_window_access::create(*this, *t, owner_hwnd, true)) {
        int waits_without_input = 0;
        while (!run_.ended && m_hWnd != nullptr) {
            MSG msg;
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (!IsDialogMessage(&msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageA(&msg);
                }
                continue;
            }
            if (front_end().wait_input(m_hWnd)) {
                waits_without_input = 0;
                continue;
            }
            // No input will come: Esc, as a user would press it, and if the
            // dialog still stays, the end.
            if (waits_without_input++ == 0) {
                PostMessageA(m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
            } else {
                EndDialog(IDCANCEL);
            }
        }
    }
    run_.modal = false;
    if (disabled_owner && is_alive(owner_hwnd)) ::EnableWindow(owner_hwnd, TRUE);
    DestroyWindow();
    // The control that had the focus before the dialog gets it back.
    if (is_alive(focus_before)) ::SetFocus(focus_before);
    return run_.result;
}

BOOL CDialog::Create(UINT template_id, CWnd* parent) {
    const vxp::ModuleResources* resources = current_resources();
    const vxp::DialogTemplate* t = resources != nullptr ? resources->FindDialog(static_cast<int>(template_id)) : nullptr;
    if (t == nullptr || m_hWnd != nullptr) return FALSE;
    template_id_ = template_id;
    if (parent != nullptr) m_pParentWnd = parent;
    HWND owner = parent != nullptr ? top_of(parent->m_hWnd) : nullptr;
    return vxp_window_access::create(*this, *t, owner, false) ? TRUE : FALSE;
}

void CDialog::EndDialog(int result) {
    run_.result = result;
    run_.ended = true;
    if (!run_.modal) ShowWindow(0);
}

// ---------------------------------------------------------------------------
void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd != nullptr) return;
    HWND item = vxp::dialog_item(dx->m_pDlgWnd->m_hWnd, id);
    if (item == nullptr) return;
    if (item->own_wnd) {
        item->wnd->m_hWnd = nullptr;
        delete item->wnd;
    }
    item->wnd = &control;
    item->own_wnd = false;
    control.m_hWnd = item;
}

// ---------------------------------------------------------------------------
INT_PTR CFileDialog::DoModal() {
    std::string path;
    if (!front_end().run_file_dialog(*this, path)) return IDCANCEL;
    path_ = path;
    return IDOK;
}
