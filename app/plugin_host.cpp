#include "plugin_host.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

namespace vertexa {

namespace fs = std::filesystem;

PluginModule::PluginModule(PluginModule&& other) noexcept { *this = std::move(other); }

PluginModule& PluginModule::operator=(PluginModule&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
        name_ = std::move(other.name_);
        version_ = other.version_;
        classes_ = std::move(other.classes_);
    }
    return *this;
}

PluginModule::~PluginModule() {
    // Descriptors belong to the module and go with it.
    classes_.clear();
    if (handle_ != nullptr) dlclose(handle_);
}

bool PluginModule::load(const std::string& path, std::string& error) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        error = path + ": no such plug-in module";
        return false;
    }
    // RTLD_LOCAL keeps the module's symbols to itself; RTLD_NOW reports an
    // unresolved symbol here instead of in the middle of an import.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error = path + ": not a loadable module (" + (why != nullptr ? why : "unknown reason") + ")";
        return false;
    }
    auto lib_name = reinterpret_cast<LibNameFunc>(dlsym(handle, "LibName"));
    auto lib_count = reinterpret_cast<LibNumberClassesFunc>(dlsym(handle, "LibNumberClasses"));
    auto lib_class = reinterpret_cast<LibClassDescriptionFunc>(dlsym(handle, "LibClassDescription"));
    auto lib_version = reinterpret_cast<LibVersionFunc>(dlsym(handle, "LibVersion"));
    if (lib_name == nullptr || lib_count == nullptr || lib_class == nullptr || lib_version == nullptr) {
        dlclose(handle);
        error = path + ": not a Vertexa plug-in (it lacks LibName, LibNumberClasses, LibClassDescription or "
                       "LibVersion)";
        return false;
    }
    const unsigned long version = lib_version();
    if (version != kPluginApiVersion) {
        dlclose(handle);
        char text[128];
        std::snprintf(text, sizeof text, ": built for plug-in interface version 0x%lX, this host has 0x%lX",
                      version, kPluginApiVersion);
        error = path + text;
        return false;
    }
    std::vector<PluginClass> classes;
    const int count = lib_count();
    // A module offers a handful of classes; a wild count is not walked.
    for (int i = 0; i < std::clamp(count, 0, 1024); ++i) {
        ClassDesc* desc = lib_class(i);
        if (desc == nullptr) continue;
        PluginClass cls;
        const char* class_name = desc->ClassName();
        cls.name = class_name != nullptr ? class_name : "";
        cls.super_class_id = desc->SuperClassId();
        cls.class_id = desc->ClassId();
        cls.descriptor = desc;
        classes.push_back(std::move(cls));
    }
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = handle;
    path_ = path;
    const char* module_name = lib_name();
    name_ = module_name != nullptr ? module_name : "";
    version_ = version;
    classes_ = std::move(classes);
    return true;
}

const PluginClass* PluginModule::scene_importer() const {
    for (const PluginClass& cls : classes_)
        if (cls.super_class_id == kSceneImportClassId && cls.descriptor->Available() != 0) return &cls;
    return nullptr;
}

namespace {

std::string program_folder() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "";
    return self.parent_path().string();
}

}  // namespace

std::vector<std::string> plugin_folders(const std::string& explicit_dir) {
    std::vector<std::string> folders;
    if (!explicit_dir.empty()) folders.push_back(explicit_dir);
    if (const char* env = std::getenv("VERTEXA_PLUGIN_DIR"); env != nullptr && *env != '\0') folders.emplace_back(env);
    const std::string bin = program_folder();
    if (!bin.empty()) {
        folders.push_back((fs::path(bin) / "plugins").string());
        folders.push_back((fs::path(bin) / VERTEXA_INSTALLED_PLUGINS).lexically_normal().string());
    }
    return folders;
}

std::vector<std::string> find_plugin_files(const std::vector<std::string>& folders) {
    std::vector<std::string> files;
    // Two entries may lead to one folder (the default named again, a link):
    // each module file counts once, by its device and inode.
    std::set<std::pair<dev_t, ino_t>> seen;
    for (const std::string& folder : folders) {
        std::error_code ec;
        std::vector<std::string> here;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == ".so" && it->is_regular_file(ec)) here.push_back(it->path().string());
        }
        std::sort(here.begin(), here.end());
        for (std::string& file : here) {
            struct stat st;
            if (::stat(file.c_str(), &st) == 0 && !seen.emplace(st.st_dev, st.st_ino).second) continue;
            files.push_back(std::move(file));
        }
    }
    return files;
}

Importer create_importer(const PluginClass& cls, uint32_t host_data) {
    auto* importer = static_cast<SceneImportWithHostData*>(cls.descriptor->Create());
    if (importer != nullptr) importer->host_data = host_data;
    return Importer(importer);
}

}  // namespace vertexa
