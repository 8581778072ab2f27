// The MFC-shaped layer over Win32 (common/mfc.cpp has the part it shares
// with the stand-in): dialogs from the current module's resources, run by
// the system's dialog manager.
#include "platform/mfc.h"

#include <cstdio>
#include <string>
#include <map>
#include <vector>

// The base address of the module this code is linked into (the linker's).
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

AFX_MODULE_STATE own_state = {reinterpret_cast<HINSTANCE>(&__ImageBase)};
AFX_MODULE_STATE* current_state = nullptr;

// Objects bound to windows, and the wrappers made for windows that no object
// was bound to.
std::map<HWND, CWnd*> bound;
std::map<HWND, CWnd*> temporary;

void forget_dead_windows() {
    for (auto it = bound.begin(); it != bound.end();) {
        if (!::IsWindow(it->first)) {
            it->second->m_hWnd = nullptr;
            it = bound.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = temporary.begin(); it != temporary.end();) {
        if (!::IsWindow(it->first)) {
            it->second->m_hWnd = nullptr;
            delete it->second;
            it = temporary.erase(it);
        } else {
            ++it;
        }
    }
}

void bind(HWND hwnd, CWnd* wnd) {
    auto t = temporary.find(hwnd);
    if (t != temporary.end()) {
        t->second->m_hWnd = nullptr;
        delete t->second;
        temporary.erase(t);
    }
    wnd->m_hWnd = hwnd;
    bound[hwnd] = wnd;
}

HINSTANCE resource_instance() { return AfxGetModuleState()->instance; }

// The progress bar is a common control: its window class is registered here.
void init_common_controls() {
    static bool done = false;
    if (done) return;
    INITCOMMONCONTROLSEX init = {sizeof init, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    done = ::InitCommonControlsEx(&init) != FALSE;
}

}  // namespace

struct vxp_window_access {
    static INT_PTR CALLBACK dialog_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* dialog = reinterpret_cast<CDialog*>(lParam);
            ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
            bind(hwnd, dialog);
            return dialog->OnInitDialog();
        }
        auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
        if (dialog == nullptr) return FALSE;
        switch (message) {
        case WM_COMMAND:
            return dialog->OnCommand(wParam, lParam);
        case WM_NCDESTROY:
            ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
            dialog->m_hWnd = nullptr;
            bound.erase(hwnd);
            forget_dead_windows();  // its controls are gone too
            return FALSE;
        default:
            return FALSE;
        }
    }
};

// ---------------------------------------------------------------------------
AFX_MODULE_STATE* AfxGetStaticModuleState() { return &own_state; }
AFX_MODULE_STATE* AfxGetModuleState() { return current_state != nullptr ? current_state : &own_state; }

AFX_MAINTAIN_STATE2::AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state) : previous_(current_state) { current_state = state; }
AFX_MAINTAIN_STATE2::~AFX_MAINTAIN_STATE2() { current_state = previous_; }

// ---------------------------------------------------------------------------
BOOL CString::LoadString(UINT id) {
    // Strings of a string table are at most 4097 characters.
    std::vector<char> buffer(4100);
    const int n = ::LoadStringA(resource_instance(), id, buffer.data(), static_cast<int>(buffer.size()));
    if (n <= 0) return FALSE;
    s_.assign(buffer.data(), static_cast<size_t>(n));
    return TRUE;
}

// ---------------------------------------------------------------------------
CWnd::~CWnd() {
    auto it = m_hWnd != nullptr ? bound.find(m_hWnd) : bound.end();
    if (it != bound.end() && it->second == this) bound.erase(it);
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    if (auto it = bound.find(hwnd); it != bound.end()) return it->second;
    if (auto it = temporary.find(hwnd); it != temporary.end()) return it->second;
    forget_dead_windows();
    auto* wnd = new CWnd;
    wnd->m_hWnd = hwnd;
    temporary[hwnd] = wnd;
    return wnd;
}

CWnd* CWnd::GetSafeOwner(CWnd* parent) {
    if (parent != nullptr) return parent;
    HWND hwnd = ::GetActiveWindow();
    // A pop-up cannot be owned by a child window.
    while (hwnd != nullptr && (::GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD) != 0) hwnd = ::GetParent(hwnd);
    if (hwnd != nullptr) hwnd = ::GetLastActivePopup(hwnd);
    return FromHandle(hwnd);
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) return FALSE;
    HWND hwnd = m_hWnd;
    const BOOL done = ::DestroyWindow(hwnd);
    if (done) {
        bound.erase(hwnd);
        m_hWnd = nullptr;
    }
    return done;
}

void CWnd::SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
int CWnd::GetWindowText(char* buffer, int capacity) const { return ::GetWindowTextA(m_hWnd, buffer, capacity); }
void CWnd::GetWindowText(CString& text) const {
    const int length = ::GetWindowTextLengthA(m_hWnd);
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    ::GetWindowTextA(m_hWnd, buffer.data(), length + 1);
    text = buffer.data();
}
CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
void CWnd::SetDlgItemText(int id, const char* text) { ::SetDlgItemTextA(m_hWnd, id, text); }
UINT CWnd::GetDlgItemText(int id, char* buffer, int capacity) const {
    if (capacity > 0) buffer[0] = '\0';
    return ::GetDlgItemTextA(m_hWnd, id, buffer, capacity);
}
void CWnd::CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
UINT CWnd::IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendDlgItemMessageA(m_hWnd, id, message, wParam, lParam);
}
LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}
BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::ShowWindow(int show) { return ::ShowWindow(m_hWnd, show); }
BOOL CWnd::IsDialogMessage(LPMSG msg) { return m_hWnd != nullptr && ::IsDialogMessageA(m_hWnd, msg); }

// ---------------------------------------------------------------------------
CDialog::~CDialog() {
    if (m_hWnd != nullptr) {
        ::SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
        ::DestroyWindow(m_hWnd);
    }
}

INT_PTR CDialog::DoModal() {
    HINSTANCE instance = resource_instance();
    if (::FindResourceA(instance, MAKEINTRESOURCEA(template_id_), MAKEINTRESOURCEA(5) /* RT_DIALOG */) == nullptr)
        return -1;
    init_common_controls();
    CWnd* owner = GetSafeOwner(m_pParentWnd);
    run_.modal = true;
    const INT_PTR result = ::DialogBoxParamA(instance, MAKEINTRESOURCEA(template_id_), owner != nullptr ? owner->m_hWnd : nullptr,
                                             &vxp_window_access::dialog_proc, reinterpret_cast<LPARAM>(this));
    run_.modal = false;
    m_hWnd = nullptr;
    return result;
}

BOOL CDialog::Create(UINT template_id, CWnd* parent) {
    template_id_ = template_id;
    HINSTANCE instance = resource_instance();
    if (::FindResourceA(instance, MAKEINTRESOURCEA(template_id), MAKEINTRESOURCEA(5) /* RT_DIALOG */) == nullptr)
        return FALSE;
    init_common_controls();
    if (parent != nullptr) m_pParentWnd = parent;
    CWnd* owner = GetSafeOwner(m_pParentWnd);
    HWND hwnd = ::CreateDialogParamA(instance, MAKEINTRESOURCEA(template_id), owner != nullptr ? owner->m_hWnd : nullptr,
                                     &vxp_window_access::dialog_proc, reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr ? TRUE : FALSE;
}

void CDialog::EndDialog(int result) {
    if (m_hWnd == nullptr) return;
    if (run_.modal) {
        ::EndDialog(m_hWnd, result);
    } else {
        ::ShowWindow(m_hWnd, SW_HIDE);
    }
}

// ---------------------------------------------------------------------------
void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd != nullptr) return;
    HWND item = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
    if (item != nullptr) bind(item, &control);
}

// ---------------------------------------------------------------------------
INT_PTR CFileDialog::DoModal() {
    // The filter's '|' separators become the NULs the system reads.
    std::string filters = filter.str();
    for (char& c : filters)
        if (c == '|') c = '\0';
    filters.push_back('\0');
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%s", static_cast<const char*>(file_name));
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    CWnd* owner = CWnd::GetSafeOwner(parent);
    ofn.hwndOwner = owner != nullptr ? owner->m_hWnd : nullptr;
    ofn.lpstrFilter = filter.IsEmpty() ? nullptr : filters.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = sizeof path;
    ofn.lpstrDefExt = default_ext.IsEmpty() ? nullptr : static_cast<const char*>(default_ext);
    ofn.Flags = flags | OFN_EXPLORER;
    const BOOL chosen = open ? ::GetOpenFileNameA(&ofn) : ::GetSaveFileNameA(&ofn);
    if (!chosen) return IDCANCEL;
    path_ = path;
    return IDOK;
}
