#include "cob_config_dialog.h"

#include "cob_help_dialog.h"
#include "folder_chooser.h"
#include "resource.h"
#include "search_path.h"

CobConfigDialog::CobConfigDialog(CWnd* parent) : CDialog(IDD_COB_CONFIG, parent), verbose(0) {
    log_file_name[0] = '\0';
    home_path[0] = '\0';
    image_search_path[0] = '\0';
}

CobConfigDialog::~CobConfigDialog() = default;

// No field is exchanged or validated: the handlers below move the values.
void CobConfigDialog::DoDataExchange(CDataExchange* dx) { CDialog::DoDataExchange(dx); }

BEGIN_MESSAGE_MAP(CobConfigDialog, CDialog)
    ON_EN_KILLFOCUS(IDC_LOG_FILE_NAME, OnKillfocusLogFileName)
    ON_BN_CLICKED(IDC_VERBOSE, OnVerbose)
    ON_BN_CLICKED(IDC_HELP_BUTTON, OnHelpButton)
    ON_EN_KILLFOCUS(IDC_IMAGE_SEARCH_PATH, OnKillfocusImageSearchPath)
    ON_BN_CLICKED(IDC_ADD_IMAGE_SEARCH_PATH, OnAddImageSearchPath)
    ON_EN_KILLFOCUS(IDC_HOME_PATH, OnKillfocusHomePath)
    ON_BN_CLICKED(IDC_SET_HOME_PATH, OnSetHomePath)
END_MESSAGE_MAP()

BOOL CobConfigDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    CString cob, configuration, caption;
    cob.LoadString(IDS_COB);
    configuration.LoadString(IDS_CONFIGURATION);
    caption.Format("%s %s", static_cast<const char*>(cob), static_cast<const char*>(configuration));
    SetWindowText(caption);
    SetDlgItemText(IDC_IMAGE_SEARCH_PATH, image_search_path);
    CheckDlgButton(IDC_VERBOSE, static_cast<UINT>(verbose));
    SetDlgItemText(IDC_LOG_FILE_NAME, log_file_name);
    SetDlgItemText(IDC_HOME_PATH, home_path);
    return TRUE;
}

void CobConfigDialog::OnKillfocusLogFileName() { GetDlgItemText(IDC_LOG_FILE_NAME, log_file_name, 259); }

// The automatic check box has toggled itself already.
void CobConfigDialog::OnVerbose() {
    verbose = static_cast<int>(GetDlgItem(IDC_VERBOSE)->SendMessage(BM_GETCHECK, 0, 0));
}

void CobConfigDialog::OnHelpButton() {
    CobHelpDialog help(nullptr);
    help.DoModal();
}

void CobConfigDialog::OnKillfocusImageSearchPath() {
    GetDlgItemText(IDC_IMAGE_SEARCH_PATH, image_search_path, 4095);
    cob_paths::normalize_search_path(image_search_path, sizeof image_search_path);
    SetDlgItemText(IDC_IMAGE_SEARCH_PATH, image_search_path);
}

// Adds the chosen folder to the path as stored (not read from the edit); a
// folder that would not fit the field is not added.
void CobConfigDialog::OnAddImageSearchPath() {
    char start[MAX_PATH] = "C:\\";
    const char* folder = browse_for_folder(start, "Add image search directory");
    if (folder == nullptr) return;
    if (cob_paths::append_folder(image_search_path, sizeof image_search_path, folder))
        SetDlgItemText(IDC_IMAGE_SEARCH_PATH, image_search_path);
}

// The content directory's controls are hidden and disabled, so these two
// never run from the dialog; they keep the directory's own rules.
void CobConfigDialog::OnKillfocusHomePath() {
    GetDlgItemText(IDC_HOME_PATH, home_path, 259);
    cob_paths::normalize_home_path(home_path, sizeof home_path);
    SetDlgItemText(IDC_HOME_PATH, home_path);
}

void CobConfigDialog::OnSetHomePath() {
    const char* folder = browse_for_folder(home_path, "Set Root Path ...");
    if (folder == nullptr) return;
    cob_paths::copy_text(home_path, sizeof home_path, folder);
    SetDlgItemText(IDC_HOME_PATH, home_path);
}
