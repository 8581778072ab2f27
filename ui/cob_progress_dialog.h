// The modeless progress window of an import: three rows, each with a caption,
// a bar, a percentage label and a status text (template IDD_COB_PROGRESS).
#pragma once

#include "platform/mfc.h"

class CobProgressDialog : public CDialog {
public:
    explicit CobProgressDialog(CWnd* parent = nullptr);
    ~CobProgressDialog() override;

    // Shows the window; the owner (the application's window when `parent` is
    // none) stays disabled while it is open. False when it cannot be made.
    using CDialog::Create;
    BOOL Create(CWnd* parent = nullptr);
    BOOL DestroyWindow() override;

    // Row 1 to 3. Rows outside that range are ignored.
    void SetRowPosition(int row, int position);
    void ShowRowPercent(int row, int position);
    void SetRowStatus(int row, const char* text);
    void GetRowStatus(int row, char* buffer, int capacity);
    void RunMessagePump();
    void RestoreOwner();

    CString file_name;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

public:
    CProgressCtrl row3_bar;
    CProgressCtrl row2_bar;
    CProgressCtrl row1_bar;
    int lower_1, upper_1, step_1;
    int lower_2, upper_2, step_2;
    int lower_3, upper_3, step_3;
    int cancel_requested;
    int owner_disabled;

private:
    HWND owner_ = nullptr;
};
