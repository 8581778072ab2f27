#include "import_entry.h"

#include "cob_import_options.h"
#include "import_file.h"
#include "progress.h"
#include "vertexa/scene.h"

namespace bench {

MScene* import_entry(const std::string& path, Progress progress) {
    auto* options = new CobImportOptions;
    if (options == nullptr) return nullptr;
    options->Set_Filename(path.c_str());
    MessageCallBack1* record = make_progress_record(progress == Progress::Live);
    MScene* scene = record != nullptr ? new MScene(path.c_str()) : nullptr;
    if (scene != nullptr) import_file(scene, options, record);
    delete record;
    delete options;
    return scene;
}

}  // namespace bench
