// The help window: the plug-in's help text in a read-only multi-line field
// (template IDD_COB_HELP).
#pragma once

#include "platform/mfc.h"

class CobHelpDialog : public CDialog {
public:
    explicit CobHelpDialog(CWnd* parent = nullptr);
    ~CobHelpDialog() override;

    CString help_text;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
};
