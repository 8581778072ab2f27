#include "import_entry.h"

#include <cstdlib>

#include "platform/frontend.h"
#include "plugin_host.h"
#include "vertexa/scene.h"

namespace bench {
namespace {

struct LoadedModule {
    vertexa::PluginModule module;
    const vertexa::PluginClass* importer_class = nullptr;
    std::string error;
};

long passes = 0;

// $VERTEXA_BENCH_PLUGIN names another module to measure; by default the one
// this build made.
LoadedModule& loaded_module() {
    static LoadedModule loaded = [] {
        LoadedModule l;
        const char* chosen = std::getenv("VERTEXA_BENCH_PLUGIN");
        const std::string path = chosen != nullptr && chosen[0] != '\0' ? chosen : VERTEXA_BENCH_PLUGIN;
        if (!l.module.load(path, l.error)) return l;
        l.importer_class = l.module.scene_importer();
        if (l.importer_class == nullptr) l.error = path + ": the module offers no scene importer";
        vxp::select_front_end(vxp::FrontEnd::headless);
        vxp::set_pump_observer([] { ++passes; });
        return l;
    }();
    return loaded;
}

}  // namespace

bool load_importer_module(std::string& error) {
    const LoadedModule& l = loaded_module();
    error = l.error;
    return l.importer_class != nullptr;
}

MScene* import_entry(const std::string& path, Progress progress) {
    const LoadedModule& l = loaded_module();
    if (l.importer_class == nullptr) return nullptr;
    vertexa::Importer importer = vertexa::create_importer(*l.importer_class, 0);
    if (!importer) return nullptr;
    importer->SetShowProgress(progress == Progress::Live ? 1 : 0);
    std::string name = path;
    return importer->Import(name.data());
}

long pump_passes() { return passes; }
void reset_pump_passes() { passes = 0; }

}  // namespace bench
