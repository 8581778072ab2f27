#include "import.h"

#include "cob_import_options.h"
#include "import_file.h"
#include "vertexa/scene.h"

namespace {

void quiet_status(const char*, ...) {}
void quiet_progress(long, long) {}

}  // namespace

MScene* import_scene(const std::string& path) {
    auto* options = new CobImportOptions;
    if (options == nullptr) return nullptr;
    options->Set_Filename(path.c_str());
    auto* callbacks = new MessageCallBack1(quiet_status, quiet_progress, quiet_status, quiet_progress, quiet_status,
                                           quiet_progress);
    auto* scene = callbacks != nullptr ? new MScene(path.c_str()) : nullptr;
    if (scene != nullptr) import_file(scene, options, callbacks);
    delete callbacks;
    delete options;
    return scene;
}
