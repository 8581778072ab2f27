#include "cob_help_dialog.h"

#include "folder_chooser.h"
#include "resource.h"

CobHelpDialog::CobHelpDialog(CWnd* parent) : CDialog(IDD_COB_HELP, parent) {}

CobHelpDialog::~CobHelpDialog() = default;

void CobHelpDialog::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, IDC_HELP_TEXT, help_text);
    DDV_MaxChars(dx, help_text, 2048);
}

BOOL CobHelpDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    help_text.LoadString(IDS_HELP_TEXT);
    // The multi-line edit breaks lines only at carriage return plus line feed.
    SetDlgItemText(IDC_HELP_TEXT, to_crlf(help_text));
    CString cob, help, caption;
    cob.LoadString(IDS_COB);
    help.LoadString(IDS_HELP);
    caption.Format("%s %s", static_cast<const char*>(cob), static_cast<const char*>(help));
    SetWindowText(caption);
    return TRUE;
}
