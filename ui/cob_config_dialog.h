// The configuration dialog: Verbose, the log file name and the image search
// path (template IDD_COB_CONFIG). The content directory passes through its
// hidden controls unchanged. The caller fills the four fields before DoModal
// and reads them after IDOK.
#pragma once

#include "platform/mfc.h"

class CobConfigDialog : public CDialog {
public:
    explicit CobConfigDialog(CWnd* parent = nullptr);
    ~CobConfigDialog() override;

    int verbose;
    char log_file_name[260];
    char home_path[260];
    char image_search_path[4096];

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;

    void OnKillfocusLogFileName();
    void OnVerbose();
    void OnHelpButton();
    void OnKillfocusImageSearchPath();
    void OnAddImageSearchPath();
    void OnKillfocusHomePath();
    void OnSetHomePath();

    DECLARE_MESSAGE_MAP()
};
