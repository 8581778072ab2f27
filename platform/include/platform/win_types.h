// The Windows types, constants and calls of the platform stand-in: window
// handles, messages, styles, the message queue, the current directory and the
// shell folder browser, with the numeric values Windows gives them.
#pragma once

#include <cstdint>

#if defined(__GNUC__)
#define VXP_API __attribute__((visibility("default")))
#else
#define VXP_API
#endif

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef long LONG;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef long HRESULT;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef const char* LPCTSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define MAX_PATH 260
#define S_OK 0L
#define E_FAIL static_cast<HRESULT>(0x80004005L)

// A window of the in-memory window tree. Its contents are the platform's own.
struct HWND__;
typedef HWND__* HWND;

#define LOWORD(l) (static_cast<WORD>(static_cast<uintptr_t>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<uintptr_t>(l) >> 16) & 0xffff))
#define MAKELONG(a, b) (static_cast<LONG>((static_cast<uint32_t>(static_cast<WORD>(a))) | (static_cast<uint32_t>(static_cast<WORD>(b)) << 16)))
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<uint32_t>(MAKELONG(l, h))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<uint32_t>(MAKELONG(l, h))))

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
typedef MSG* LPMSG;

// Messages.
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_KEYDOWN 0x0100
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_USER 0x0400
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_CLICK 0x00F5
#define EM_GETSEL 0x00B0
#define EM_SETSEL 0x00B1
#define EM_LIMITTEXT 0x00C5
#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)

// Notifications (high word of a WM_COMMAND wParam).
#define BN_CLICKED 0
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200

#define PM_NOREMOVE 0
#define PM_REMOVE 1

#define BST_UNCHECKED 0
#define BST_CHECKED 1

// Keys (WM_KEYDOWN wParam). Shift-Tab is VK_TAB with lParam 1.
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E

#define IDOK 1
#define IDCANCEL 2

// File dialog flags.
#define OFN_OVERWRITEPROMPT 0x00000002u
#define OFN_HIDEREADONLY 0x00000004u

// Window styles.
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_VSCROLL 0x00200000u
#define WS_HSCROLL 0x00100000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define DS_MODALFRAME 0x0080u
#define DS_SETFONT 0x0040u
#define DS_3DLOOK 0x0004u
#define BS_PUSHBUTTON 0x0000u
#define BS_DEFPUSHBUTTON 0x0001u
#define BS_CHECKBOX 0x0002u
#define BS_AUTOCHECKBOX 0x0003u
#define BS_GROUPBOX 0x0007u
#define BS_TYPEMASK 0x000Fu
#define ES_LEFT 0x0000u
#define ES_CENTER 0x0001u
#define ES_MULTILINE 0x0004u
#define ES_AUTOVSCROLL 0x0040u
#define ES_AUTOHSCROLL 0x0080u
#define ES_READONLY 0x0800u
#define SS_LEFT 0x0000u
#define SS_CENTER 0x0001u
#define SS_RIGHT 0x0002u
#define SS_SUNKEN 0x1000u

// Windows calls.
VXP_API BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT remove);
VXP_API BOOL TranslateMessage(const MSG* msg);
VXP_API LRESULT DispatchMessageA(const MSG* msg);
VXP_API LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
VXP_API BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
VXP_API BOOL IsWindow(HWND hwnd);
VXP_API HWND GetFocus();
VXP_API HWND SetFocus(HWND hwnd);
VXP_API BOOL EnableWindow(HWND hwnd, BOOL enable);
VXP_API BOOL IsWindowEnabled(HWND hwnd);
VXP_API DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
VXP_API BOOL SetCurrentDirectoryA(LPCSTR path);

// The shell folder browser.
struct ITEMIDLIST;
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;

// The shell's allocator: items the browser returns are freed through it.
struct IMalloc {
    virtual void Free(void* block) = 0;
    virtual unsigned long Release() = 0;
    virtual ~IMalloc() = default;
};
typedef IMalloc* LPMALLOC;

// Windows calls these with its own calling convention; here there is one.
#define CALLBACK
typedef int(CALLBACK* BFFCALLBACK)(HWND hwnd, UINT message, LPARAM lParam, LPARAM data);

struct BROWSEINFOA {
    HWND hwndOwner;
    LPCITEMIDLIST pidlRoot;
    LPSTR pszDisplayName;
    LPCSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
};
typedef BROWSEINFOA* LPBROWSEINFOA;

#define BIF_RETURNONLYFSDIRS 0x0001u
#define BIF_STATUSTEXT 0x0004u
#define BIF_RETURNFSANCESTORS 0x0008u
#define BIF_EDITBOX 0x0010u
#define BIF_NEWDIALOGSTYLE 0x0040u
#define BFFM_INITIALIZED 1
#define BFFM_SELCHANGED 2
#define BFFM_SETSTATUSTEXTA (WM_USER + 100)
#define BFFM_SETSELECTIONA (WM_USER + 102)

VXP_API HRESULT SHGetMalloc(LPMALLOC* allocator);
VXP_API LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info);
VXP_API BOOL SHGetPathFromIDListA(LPCITEMIDLIST item, LPSTR path);
