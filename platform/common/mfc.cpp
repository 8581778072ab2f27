// What the MFC-shaped layer does the same way on Linux and Windows: string
// formatting, message maps, data exchange and the dialogs' default handlers,
// all over the calls that each platform implements on its own windows.
#include "platform/mfc.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

// ---------------------------------------------------------------------------
void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n < 0) {
        s_.clear();
    } else {
        std::vector<char> buffer(static_cast<size_t>(n) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        s_.assign(buffer.data(), static_cast<size_t>(n));
    }
    va_end(again);
}

// ---------------------------------------------------------------------------
const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr; map = map->base != nullptr ? map->base() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->entries; e->pfn != nullptr || e->id != 0; ++e) {
            if (e->message == WM_COMMAND && e->code == code && e->id == id && e->pfn != nullptr) {
                (this->*(e->pfn))();
                return TRUE;
            }
        }
    }
    return FALSE;
}

BOOL CWnd::UpdateData(BOOL save_and_validate) {
    CDataExchange dx(this, save_and_validate);
    DoDataExchange(&dx);
    return dx.failed ? FALSE : TRUE;
}

CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }

// ---------------------------------------------------------------------------
CDialog::CDialog(UINT template_id, CWnd* parent)
    : m_nIDHelp(template_id), m_pParentWnd(parent), template_id_(template_id) {}

const AFX_MSGMAP* CDialog::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {&CWnd::GetThisMessageMap, entries};
    return &map;
}

const AFX_MSGMAP* CDialog::GetMessageMap() const { return GetThisMessageMap(); }

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (CWnd::OnCommand(wParam, lParam)) return TRUE;
    if (HIWORD(wParam) != BN_CLICKED) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    default:
        return FALSE;
    }
}

// ---------------------------------------------------------------------------
void DDX_Text(CDataExchange* dx, int id, CString& value) {
    dx->m_idLastControl = id;
    CWnd* item = dx->m_pDlgWnd->GetDlgItem(id);
    if (item == nullptr) return;
    if (dx->m_bSaveAndValidate) {
        item->GetWindowText(value);
    } else {
        item->SetWindowText(value);
    }
}

void DDV_MaxChars(CDataExchange* dx, const CString& value, int count) {
    if (dx->m_bSaveAndValidate) {
        if (value.GetLength() > count) dx->Fail();
    } else {
        dx->m_pDlgWnd->SendDlgItemMessage(dx->m_idLastControl, EM_LIMITTEXT, static_cast<WPARAM>(count), 0);
    }
}

// ---------------------------------------------------------------------------
CFileDialog::CFileDialog(BOOL open_, const char* default_ext_, const char* file_name_, DWORD flags_,
                         const char* filter_, CWnd* parent_)
    : open(open_), default_ext(default_ext_), file_name(file_name_), flags(flags_), filter(filter_), parent(parent_) {}
