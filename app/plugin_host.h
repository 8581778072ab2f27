// Finding, loading and driving plug-in modules.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "vertexa/plugin.h"

namespace vertexa {

// One class a module offers, as its descriptor tells.
struct PluginClass {
    std::string name;
    unsigned long super_class_id = 0;
    unsigned long class_id = 0;
    ClassDesc* descriptor = nullptr;
};

// A loaded module; unloaded when the object goes.
class PluginModule {
public:
    PluginModule() = default;
    PluginModule(PluginModule&& other) noexcept;
    PluginModule& operator=(PluginModule&& other) noexcept;
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;
    ~PluginModule();

    // Loads the module at `path`. On failure returns false and `error` says
    // why in a sentence for the user: the file is missing, it is not a
    // plug-in module (no such exports), or it was built for another version.
    bool load(const std::string& path, std::string& error);

    const std::string& path() const { return path_; }
    const std::string& name() const { return name_; }
    unsigned long version() const { return version_; }
    const std::vector<PluginClass>& classes() const { return classes_; }

    // The first class that imports scenes, or null.
    const PluginClass* scene_importer() const;

private:
    void* handle_ = nullptr;
    std::string path_;
    std::string name_;
    unsigned long version_ = 0;
    std::vector<PluginClass> classes_;
};

// The folders searched for modules, in order: `explicit_dir` when given,
// $VERTEXA_PLUGIN_DIR, the folder "plugins" beside the running program, and
// <prefix>/lib/vertexa/plugins for an installed program in <prefix>/bin.
std::vector<std::string> plugin_folders(const std::string& explicit_dir);

// The module files (*.so) of those folders, each folder's in name order.
std::vector<std::string> find_plugin_files(const std::vector<std::string>& folders);

// An importer made by a class's descriptor, ended with DeleteThis.
class Importer {
public:
    explicit Importer(SceneImport* importer) : importer_(importer) {}
    Importer(const Importer&) = delete;
    Importer& operator=(const Importer&) = delete;
    Importer(Importer&& other) noexcept : importer_(std::exchange(other.importer_, nullptr)) {}
    Importer& operator=(Importer&& other) noexcept {
        if (this != &other) {
            reset();
            importer_ = std::exchange(other.importer_, nullptr);
        }
        return *this;
    }
    ~Importer() { reset(); }
    void reset() {
        if (importer_ != nullptr) importer_->DeleteThis();
        importer_ = nullptr;
    }
    SceneImport* operator->() const { return importer_; }
    SceneImport* get() const { return importer_; }
    explicit operator bool() const { return importer_ != nullptr; }

private:
    SceneImport* importer_;
};

// Creates an importer of `cls` (a scene importer) and gives it the host's
// value.
Importer create_importer(const PluginClass& cls, uint32_t host_data);

}  // namespace vertexa
