// What the MFC-shaped classes (platform/mfc.h) keep of their own on Windows.
#pragma once

#include "platform/win_types.h"

// A module's state: the instance handle of the module whose resources are
// used.
struct AFX_MODULE_STATE {
    HINSTANCE instance;
};

// The library is linked statically: AfxGetStaticModuleState is the module's
// own anyway.
#define VXP_MODULE_LOCAL

namespace vxp {

// A dialog's run: whether the system's dialog manager runs it modally (it
// keeps the result itself).
struct DialogRun {
    bool modal = false;
};

}  // namespace vxp
