// The four functions the host looks up in the module, and the module's
// application object.
#include "cob_class_desc.h"
#include "cob_importer.h"

#define COB_EXPORT extern "C" __attribute__((visibility("default")))

COB_EXPORT const char* LibName() { return "Cob Import Lib"; }

COB_EXPORT int LibNumberClasses() { return 1; }

COB_EXPORT ClassDesc* LibClassDescription(int index) { return index == 0 ? cob_class_desc() : nullptr; }

COB_EXPORT unsigned long LibVersion() { return kPluginApiVersion; }

#include "platform/mfc.h"

namespace {

// The module's application object: nothing of its own, built at load and
// destroyed at unload.
class CobApp : public CWinApp {
public:
    CobApp() : CWinApp(nullptr) {}
};

CobApp the_app;

}  // namespace
