// The MFC-shaped layer: application object, module state, windows, dialogs
// made from the current module's resource templates, controls, strings, data
// exchange, message maps and the file dialog. The one header the plug-in's
// user interface includes. The classes are declared once here for both
// platforms; what each keeps of its own (the module state, a dialog's run)
// is in its platform/mfc_platform.h: the stand-in's in platform/include, the
// Windows layer's in platform/win32/include.
#pragma once

#include <string>

#include "platform/mfc_platform.h"
#include "platform/win_types.h"

// ---------------------------------------------------------------------------
// Module state: the module whose resources (dialog templates, strings) are
// used. AfxGetStaticModuleState is the state of the module the calling code
// is in; AFX_MANAGE_STATE makes it the current one for the rest of the scope.
VXP_MODULE_LOCAL AFX_MODULE_STATE* AfxGetStaticModuleState();
VXP_API AFX_MODULE_STATE* AfxGetModuleState();

struct VXP_API AFX_MAINTAIN_STATE2 {
    explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state);
    ~AFX_MAINTAIN_STATE2();
    AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
    AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

private:
    AFX_MODULE_STATE* previous_;
};
#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 vxp_module_state_guard_(p)

// ---------------------------------------------------------------------------
class VXP_API CString {
public:
    CString() = default;
    CString(const char* text) : s_(text != nullptr ? text : "") {}
    CString(const std::string& text) : s_(text) {}

    CString& operator=(const char* text) {
        s_ = text != nullptr ? text : "";
        return *this;
    }
    CString& operator+=(const char* text) {
        if (text != nullptr) s_ += text;
        return *this;
    }
    CString& operator+=(char c) {
        s_ += c;
        return *this;
    }
    operator const char*() const { return s_.c_str(); }
    int GetLength() const { return static_cast<int>(s_.size()); }
    bool IsEmpty() const { return s_.empty(); }
    const std::string& str() const { return s_; }

    // Loads string `id` of the current module's string table; FALSE (and the
    // text left as it was) when there is no such string.
    BOOL LoadString(UINT id);
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    std::string s_;
};

// ---------------------------------------------------------------------------
class CWnd;
class CDataExchange;

class VXP_API CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
};

typedef void (CCmdTarget::*AFX_PMSG)();

struct AFX_MSGMAP_ENTRY {
    UINT message;  // WM_COMMAND
    UINT code;     // notification
    UINT id;       // control id; 0 with pfn null ends the table
    AFX_PMSG pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*base)();
    const AFX_MSGMAP_ENTRY* entries;
};

#define DECLARE_MESSAGE_MAP()                          \
protected:                                             \
    static const AFX_MSGMAP* GetThisMessageMap();      \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                          \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
        using ThisClass [[maybe_unused]] = theClass;                                  \
        typedef baseClass TheBaseClass;                                               \
        static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                     \
    { 0, 0, 0, nullptr }                                                      \
    }                                                                         \
    ;                                                                         \
    static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
    return &map;                                                              \
    }

#define ON_CONTROL(code, id, fn) \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<AFX_PMSG>(static_cast<void (ThisClass::*)()>(&ThisClass::fn))},
#define ON_EN_KILLFOCUS(id, fn) ON_CONTROL(EN_KILLFOCUS, id, fn)
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)

// A window handle with the operations the plug-in uses. Wrappers of windows
// that no object was bound to are made on first use (FromHandle) and go when
// their window does.
class VXP_API CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The window that a window without a parent is owned by: the last active
    // pop-up of the application's window (on Windows the thread's active
    // top-level window, in the stand-in the main window, which is taken
    // itself when it has none); null when there is none.
    static CWnd* GetSafeOwner(CWnd* parent = nullptr);
    static CWnd* FromHandle(HWND hwnd);

    virtual BOOL DestroyWindow();

    void SetWindowText(const char* text);
    int GetWindowText(char* buffer, int capacity) const;
    void GetWindowText(CString& text) const;
    CWnd* GetDlgItem(int id) const;
    void SetDlgItemText(int id, const char* text);
    UINT GetDlgItemText(int id, char* buffer, int capacity) const;
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsWindowVisible() const;
    BOOL ShowWindow(int show);  // 0 hides, anything else shows
    BOOL IsDialogMessage(LPMSG msg);
    CWnd* SetFocus();
    BOOL UpdateData(BOOL save_and_validate = TRUE);

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    // WM_COMMAND: the message map's entry for the notification and control,
    // searched from this class to its bases. TRUE when one ran.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    friend struct vxp_window_access;
};

class VXP_API CProgressCtrl : public CWnd {
public:
    void SetRange(short lower, short upper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
    int SetPos(int position) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position))); }
    int SetStep(int step) { return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step))); }
    int GetPos() { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};

class VXP_API CDialog : public CWnd {
public:
    explicit CDialog(UINT template_id, CWnd* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog modally from the current module's template; the owner
    // is disabled while it runs. IDOK, IDCANCEL or what EndDialog was given;
    // -1 when the current module has no such template.
    virtual INT_PTR DoModal();
    // Makes the dialog a modeless window; FALSE when the current module has
    // no such template.
    virtual BOOL Create(UINT template_id, CWnd* parent = nullptr);
    // Fills the controls from the members (data exchange); TRUE: the focus
    // goes to the first tab stop.
    virtual BOOL OnInitDialog();
    // Reads the controls back; ends the dialog with IDOK when that succeeds.
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int result);

    UINT m_nIDHelp;
    CWnd* m_pParentWnd;

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override;

private:
    UINT template_id_;
    vxp::DialogRun run_;
    friend struct vxp_window_access;
};

class VXP_API CWinApp : public CCmdTarget {
public:
    explicit CWinApp(const char* app_name = nullptr) : m_pszAppName(app_name) {}
    const char* m_pszAppName;
    CWnd* m_pMainWnd = nullptr;
};

// ---------------------------------------------------------------------------
// Data exchange between dialog controls and members.
class VXP_API CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL save_and_validate) : m_bSaveAndValidate(save_and_validate), m_pDlgWnd(dialog) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    int m_idLastControl = 0;
    bool failed = false;
    void Fail() { failed = true; }
};

// Binds `control` to the dialog's control `id` (once).
VXP_API void DDX_Control(CDataExchange* dx, int id, CWnd& control);
VXP_API void DDX_Text(CDataExchange* dx, int id, CString& value);
// Loading limits the edit to `count` characters; saving a longer text fails
// the exchange (UpdateData gives FALSE, OK does not end the dialog).
VXP_API void DDV_MaxChars(CDataExchange* dx, const CString& value, int count);

// ---------------------------------------------------------------------------
// The Open (or Save As) dialog: on Windows the system's, over
// GetOpenFileNameA; in the stand-in the front end's.
class VXP_API CFileDialog {
public:
    CFileDialog(BOOL open, const char* default_ext = nullptr, const char* file_name = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
                CWnd* parent = nullptr);
    virtual ~CFileDialog() = default;
    // IDOK with a chosen path, IDCANCEL otherwise.
    virtual INT_PTR DoModal();
    CString GetPathName() const { return path_; }

    BOOL open;
    CString default_ext;
    CString file_name;
    DWORD flags;
    CString filter;  // "Name|pattern;pattern|...||"
    CWnd* parent;

private:
    CString path_;
};
