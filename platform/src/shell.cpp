// The shell folder browser and its allocator.
#include <cstring>
#include <string>

#include "internal.h"

using namespace vxp::detail;

// An item of the shell namespace: a folder with a file-system path, or an
// item without one (the desktop, "This PC").
struct ITEMIDLIST {
    bool has_path;
    std::string path;
};

namespace {

class ShellAllocator : public IMalloc {
public:
    void Free(void* block) override { delete static_cast<ITEMIDLIST*>(block); }
    unsigned long Release() override { return 1; }
};

ShellAllocator shell_allocator;

}  // namespace

HRESULT SHGetMalloc(LPMALLOC* allocator) {
    if (allocator == nullptr) return E_FAIL;
    if (!state().shell_allocator) {
        *allocator = nullptr;
        return E_FAIL;
    }
    *allocator = &shell_allocator;
    return S_OK;
}

BOOL SHGetPathFromIDListA(LPCITEMIDLIST item, LPSTR path) {
    if (item == nullptr || path == nullptr || !item->has_path || item->path.size() >= MAX_PATH) return FALSE;
    std::memcpy(path, item->path.c_str(), item->path.size() + 1);
    return TRUE;
}

// Runs the browser as a top-level window of its own: the callback hears
// BFFM_INITIALIZED once it exists and BFFM_SELCHANGED whenever the selection
// moves, and may send it BFFM_SETSELECTIONA and BFFM_SETSTATUSTEXTA.
LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info) {
    if (info == nullptr) return nullptr;
    State& s = state();
    vxp::BrowserInfo& b = s.browser;
    b.runs += 1;
    b.owner = info->hwndOwner;
    b.title = info->lpszTitle != nullptr ? info->lpszTitle : "";
    b.flags = info->ulFlags;
    b.selection.clear();
    b.status_text.clear();
    b.owner_disabled_while_open = false;

    HWND owner = info->hwndOwner;
    bool disabled_owner = false;
    if (is_alive(owner) && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        disabled_owner = true;
        b.owner_disabled_while_open = true;
    }
    HWND browser = create_window("#browser", b.title, 0, WS_POPUP | WS_VISIBLE | WS_CAPTION, 0, 0, 0, 0, nullptr, owner);
    if (info->lpfn != nullptr) info->lpfn(browser, BFFM_INITIALIZED, 0, info->lParam);

    auto select = [&](const std::string& path, bool has_path) {
        ITEMIDLIST item{has_path, path};
        if (info->lpfn != nullptr && is_alive(browser))
            info->lpfn(browser, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(&item), info->lParam);
    };
    std::string chosen;
    bool ok = front_end().run_browser(browser, select, chosen);
    destroy_window(browser);
    if (disabled_owner && is_alive(owner)) EnableWindow(owner, TRUE);
    if (!ok) return nullptr;
    if (info->pszDisplayName != nullptr) {
        size_t slash = chosen.find_last_of("/\\");
        std::string name = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
        std::strncpy(info->pszDisplayName, name.c_str(), MAX_PATH - 1);
        info->pszDisplayName[MAX_PATH - 1] = '\0';
    }
    return new ITEMIDLIST{true, chosen};
}
