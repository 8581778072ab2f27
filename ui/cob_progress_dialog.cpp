#include "cob_progress_dialog.h"

#include <cstring>

#include "progress_callbacks.h"
#include "progress_logic.h"
#include "resource.h"

namespace {

const int kBarIds[3] = {IDC_PROGRESS1, IDC_PROGRESS2, IDC_PROGRESS3};
const int kPercentIds[3] = {IDC_PERCENT1, IDC_PERCENT2, IDC_PERCENT3};
const int kStatusIds[3] = {IDC_STATUS1, IDC_STATUS2, IDC_STATUS3};

bool valid_row(int row) { return row >= 1 && row <= 3; }

}  // namespace

CobProgressDialog::CobProgressDialog(CWnd* parent)
    : CDialog(IDD_COB_PROGRESS, parent),
      lower_1(0), upper_1(100), step_1(10),
      lower_2(0), upper_2(100), step_2(10),
      lower_3(0), upper_3(100), step_3(10),
      cancel_requested(0),
      owner_disabled(0) {}

CobProgressDialog::~CobProgressDialog() {
    if (m_hWnd != nullptr) DestroyWindow();
    if (progress_window == this) progress_window = nullptr;
}

BOOL CobProgressDialog::Create(CWnd* parent) {
    CWnd* owner = GetSafeOwner(parent);
    m_pParentWnd = owner;
    owner_ = owner != nullptr ? owner->m_hWnd : nullptr;
    if (owner != nullptr && owner->IsWindowEnabled()) {
        owner->EnableWindow(FALSE);
        owner_disabled = 1;
    }
    if (!CDialog::Create(IDD_COB_PROGRESS, parent)) {
        RestoreOwner();
        return FALSE;
    }
    return TRUE;
}

BOOL CobProgressDialog::DestroyWindow() {
    RestoreOwner();
    return CDialog::DestroyWindow();
}

void CobProgressDialog::RestoreOwner() {
    // Through the handle: the owner's wrapper may be gone with its window.
    if (owner_disabled && owner_ != nullptr) ::EnableWindow(owner_, TRUE);
    owner_disabled = 0;
}

void CobProgressDialog::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_PROGRESS3, row3_bar);
    DDX_Control(dx, IDC_PROGRESS2, row2_bar);
    DDX_Control(dx, IDC_PROGRESS1, row1_bar);
}

BOOL CobProgressDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    row1_bar.SetRange(static_cast<short>(lower_1), static_cast<short>(upper_1));
    row1_bar.SetStep(step_1);
    row1_bar.SetPos(lower_1);
    row2_bar.SetRange(static_cast<short>(lower_2), static_cast<short>(upper_2));
    row2_bar.SetStep(step_2);
    row2_bar.SetPos(lower_2);
    row3_bar.SetRange(static_cast<short>(lower_3), static_cast<short>(upper_3));
    row3_bar.SetStep(step_3);
    row3_bar.SetPos(lower_3);
    CString cob, import;
    cob.LoadString(IDS_COB);
    import.LoadString(IDS_IMPORT);
    CString caption;
    caption.Format("%s %s %s", static_cast<const char*>(cob), static_cast<const char*>(import),
                   static_cast<const char*>(file_name));
    SetWindowText(caption);
    return TRUE;
}

// Enter does not close the window.
void CobProgressDialog::OnOK() {}

// Esc and the close box only note the wish; the import runs to its end.
void CobProgressDialog::OnCancel() { cancel_requested = 1; }

void CobProgressDialog::RunMessagePump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void CobProgressDialog::SetRowPosition(int row, int position) {
    if (!valid_row(row)) return;
    RunMessagePump();
    if (m_hWnd == nullptr) return;
    SendDlgItemMessage(kBarIds[row - 1], PBM_SETPOS, static_cast<WPARAM>(position), 0);
    ShowRowPercent(row, position);
}

void CobProgressDialog::ShowRowPercent(int row, int position) {
    if (!valid_row(row)) return;
    const int lower[3] = {lower_1, lower_2, lower_3};
    const int upper[3] = {upper_1, upper_2, upper_3};
    int p = cob_progress::label_percent(position, lower[row - 1], upper[row - 1]);
    char text[16];
    cob_progress::format_label(text, sizeof text, p);
    char current[16];
    GetDlgItemText(kPercentIds[row - 1], current, sizeof current);
    if (std::strcmp(text, current) != 0) SetDlgItemText(kPercentIds[row - 1], text);
}

void CobProgressDialog::SetRowStatus(int row, const char* text) {
    if (valid_row(row)) SetDlgItemText(kStatusIds[row - 1], text);
}

void CobProgressDialog::GetRowStatus(int row, char* buffer, int capacity) {
    if (capacity > 0) buffer[0] = '\0';
    if (valid_row(row)) GetDlgItemText(kStatusIds[row - 1], buffer, capacity);
}
