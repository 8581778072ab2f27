#include "folder_chooser.h"

#include <cstring>

#include "search_path.h"

char chooser_result[MAX_PATH];

char* browse_for_folder(char* start_folder, const char* title) {
    LPMALLOC allocator = nullptr;
    if (SHGetMalloc(&allocator) != S_OK || allocator == nullptr) return nullptr;

    char display_name[MAX_PATH];
    BROWSEINFOA info;
    info.hwndOwner = nullptr;
    info.pidlRoot = nullptr;
    info.pszDisplayName = display_name;
    info.lpszTitle = title != nullptr && title[0] != '\0' ? title : "Choose a Directory";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_RETURNFSANCESTORS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    info.lpfn = folder_chooser_hook;
    info.lParam = 0;
    info.iImage = 0;

    cob_paths::strip_trailing_backslash(start_folder);
    cob_paths::copy_text(chooser_result, sizeof chooser_result, start_folder);

    LPITEMIDLIST item = SHBrowseForFolderA(&info);
    if (item == nullptr) {
        allocator->Release();
        return nullptr;
    }
    char path[MAX_PATH];
    BOOL has_path = SHGetPathFromIDListA(item, path);
    allocator->Free(item);
    allocator->Release();
    if (!has_path) return nullptr;
    cob_paths::copy_text(chooser_result, sizeof chooser_result, path);
    if (!cob_paths::ensure_trailing_backslash(chooser_result, sizeof chooser_result)) return nullptr;
    return chooser_result;
}

int CALLBACK folder_chooser_hook(HWND browser, UINT message, LPARAM parameter, LPARAM) {
    if (message == BFFM_INITIALIZED) {
        char start[MAX_PATH];
        cob_paths::copy_text(start, sizeof start, chooser_result);
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(start));
    } else if (message == BFFM_SELCHANGED) {
        char path[MAX_PATH];
        if (SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(parameter), path))
            SendMessageA(browser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
    }
    return 0;
}

CString to_crlf(const char* text) {
    CString out;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        if (*p == '\n') out += '\r';
        out += *p;
    }
    return out;
}
