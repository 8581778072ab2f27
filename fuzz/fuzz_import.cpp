// The whole import of one file, in whichever encoding its header names, as
// the host runs it: options, verbose log (to /dev/null, so that every log
// line is formatted and written), the chunk walk and the postprocessing.
// The scene is freed after each input; the host allocator must then hold no
// block more than before, or the target aborts.
#include <cstdint>
#include <cstdlib>

#include "cob_import_options.h"
#include "fuzz_support.h"
#include "import_file.h"
#include "vertexa/scene.h"
#include "vertexa/services.h"

namespace {

void no_status(const char*, ...) {}
void no_progress(long, long) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::use_unwritable_profile();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::run_on_cob_file(data, size, "import", [](const std::string& path) {
        auto* options = new CobImportOptions;
        auto* callbacks = new MessageCallBack1(no_status, no_progress, no_status, no_progress, no_status, no_progress);
        auto* scene = new MScene(path.c_str());
        if (options == nullptr || callbacks == nullptr || scene == nullptr) std::abort();
        options->Set_Filename(path.c_str());
        options->Set_Verbose(1);
        options->Set_LogFileName("/dev/null");
        import_file(scene, options, callbacks);
        delete scene;
        delete callbacks;
        delete options;
    });
    return 0;
}
