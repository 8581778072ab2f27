// What the MFC-shaped classes (platform/mfc.h) keep of their own in the
// platform stand-in.
#pragma once

#include "platform/resources.h"
#include "platform/win_types.h"

// A module's state: which resources dialogs and strings are taken from while
// that module is the current one.
struct AFX_MODULE_STATE {
    const vxp::ModuleResources* resources;
};

// Every module that has resources defines its own AfxGetStaticModuleState
// (the resource compiler writes it next to the tables), hidden in the module.
#define VXP_MODULE_LOCAL __attribute__((visibility("hidden")))

namespace vxp {

// A dialog's run: the result EndDialog gave, whether the modal loop of
// DoModal runs and whether it is to end.
struct DialogRun {
    int result = -1;
    bool modal = false;
    bool ended = false;
};

}  // namespace vxp
