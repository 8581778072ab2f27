#include "plugin_host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

namespace vertexa {

namespace fs = std::filesystem;

namespace {

// The system's loader: LoadLibraryA on Windows, dlopen elsewhere.
#if defined(_WIN32)
constexpr const char* kModuleExtension = ".dll";

void* open_module(const std::string& path, std::string& why) {
    // No message box from the system when a DLL the module needs is missing.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(previous);
    if (module == nullptr) {
        char text[256] = "";
        const DWORD error = GetLastError();
        if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                           sizeof text, nullptr) == 0)
            std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(error));
        why = text;
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ')) why.pop_back();
    }
    return reinterpret_cast<void*>(module);
}
void* find_symbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void close_module(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

// A module file's identity: its full path, letters in one case (Windows
// names ignore case).
std::string file_identity(const std::string& path) {
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return "";
    CharLowerBuffA(full, n);
    return std::string(full, n);
}

std::string program_folder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return "";
    return fs::path(path).parent_path().string();
}
#else
constexpr const char* kModuleExtension = ".so";

void* open_module(const std::string& path, std::string& why) {
    // RTLD_LOCAL keeps the module's symbols to itself; RTLD_NOW reports an
    // unresolved symbol here instead of in the middle of an import.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = dlerror();
        why = text != nullptr ? text : "unknown reason";
    }
    return handle;
}
void* find_symbol(void* module, const char* name) { return dlsym(module, name); }
void close_module(void* module) { dlclose(module); }

// A module file's identity: its device and inode.
std::string file_identity(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return "";
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

std::string program_folder() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "";
    return self.parent_path().string();
}
#endif

}  // namespace

PluginModule::PluginModule(PluginModule&& other) noexcept { *this = std::move(other); }

PluginModule& PluginModule::operator=(PluginModule&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) close_module(handle_);
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
    if (handle_ != nullptr) close_module(handle_);
}

bool PluginModule::load(const std::string& path, std::string& error) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        error = path + ": no such plug-in module";
        return false;
    }
    std::string why;
    void* handle = open_module(path, why);
    if (handle == nullptr) {
        error = path + ": not a loadable module (" + why + ")";
        return false;
    }
    auto lib_name = reinterpret_cast<LibNameFunc>(find_symbol(handle, "LibName"));
    auto lib_count = reinterpret_cast<LibNumberClassesFunc>(find_symbol(handle, "LibNumberClasses"));
    auto lib_class = reinterpret_cast<LibClassDescriptionFunc>(find_symbol(handle, "LibClassDescription"));
    auto lib_version = reinterpret_cast<LibVersionFunc>(find_symbol(handle, "LibVersion"));
    if (lib_name == nullptr || lib_count == nullptr || lib_class == nullptr || lib_version == nullptr) {
        close_module(handle);
        error = path + ": not a Vertexa plug-in (it lacks LibName, LibNumberClasses, LibClassDescription or "
                       "LibVersion)";
        return false;
    }
    const unsigned long version = lib_version();
    if (version != kPluginApiVersion) {
        close_module(handle);
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
    if (handle_ != nullptr) close_module(handle_);
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
    std::set<std::string> seen;
    for (const std::string& folder : folders) {
        std::error_code ec;
        std::vector<std::string> here;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == kModuleExtension && it->is_regular_file(ec)) here.push_back(it->path().string());
        }
        std::sort(here.begin(), here.end());
        for (std::string& file : here) {
            const std::string identity = file_identity(file);
            if (!identity.empty() && !seen.insert(identity).second) continue;
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
