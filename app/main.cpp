// vertexa: imports trueSpace files through the import plug-in and tells what
// they hold.
#include <unistd.h>
#if defined(_WIN32)
#include <windows.h>
#include <ole2.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "convert.h"
#if !defined(_WIN32)
#include "platform/frontend.h"
#endif
#include "plugin_host.h"
#include "summary.h"
#include "vertexa/scene.h"

#ifndef VERTEXA_VERSION
#define VERTEXA_VERSION "0.0.0"
#endif

namespace {

// Exit statuses: 0 success, 1 the job failed, 2 the command line was wrong,
// 3 no usable plug-in module.
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoPlugin = 3;

// The importer of the first module that offers one, with its module kept
// loaded for as long as the importer lives.
struct LoadedImporter {
    vertexa::PluginModule module;
    vertexa::Importer importer{nullptr};
};

// Loads `module_path` when given, else searches the plug-in folders, and
// creates an importer. Says on stderr what went wrong when nothing loads.
bool load_importer(const std::string& plugin_dir, const std::string& module_path, LoadedImporter& out) {
    std::vector<std::string> files;
    if (!module_path.empty()) {
        files.push_back(module_path);
    } else {
        files = vertexa::find_plugin_files(vertexa::plugin_folders(plugin_dir));
    }
    if (files.empty()) {
        std::fprintf(stderr, "vertexa: no plug-in module found; searched:");
        for (const std::string& folder : vertexa::plugin_folders(plugin_dir))
            std::fprintf(stderr, " %s", folder.c_str());
        std::fprintf(stderr, " (use --plugin-dir DIR or set VERTEXA_PLUGIN_DIR)\n");
        return false;
    }
    for (const std::string& file : files) {
        std::string error;
        if (!out.module.load(file, error)) {
            std::fprintf(stderr, "vertexa: %s\n", error.c_str());
            continue;
        }
        const vertexa::PluginClass* cls = out.module.scene_importer();
        if (cls == nullptr) {
            std::fprintf(stderr, "vertexa: %s offers no scene importer\n", file.c_str());
            continue;
        }
        out.importer = vertexa::create_importer(*cls, 0);
        if (!out.importer) {
            std::fprintf(stderr, "vertexa: %s could not create an importer (out of memory)\n", file.c_str());
            return false;
        }
        return true;
    }
    return false;
}

int print_scene(MScene* scene, const std::string& file, bool as_json) {
    if (as_json) {
        std::cout << scene_summary(*scene, file).dump(2) << "\n";
    } else {
        std::cout << scene_summary_text(*scene, file);
    }
    std::cout.flush();
    return std::cout.good() ? 0 : kExitFailure;
}

// Progress is for people: shown when stderr is a terminal unless asked.
bool want_progress(bool force_on, bool force_off) {
    if (force_off) return false;
    if (force_on) return true;
    return isatty(STDERR_FILENO) != 0;
}

int run_info(LoadedImporter& loaded, const std::string& file, bool as_json, bool progress) {
    // The importer reports problems only in its log; a file that cannot be
    // read at all is worth saying here too.
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
        std::fclose(f);
    } else {
        std::fprintf(stderr, "vertexa: cannot read %s: %s\n", file.c_str(), std::strerror(errno));
    }
    loaded.importer->SetShowProgress(progress ? 1 : 0);
    std::vector<char> name(file.begin(), file.end());
    name.push_back('\0');
    MScene* scene = loaded.importer->Import(name.data());
    if (scene == nullptr) {
        std::fprintf(stderr, "vertexa: out of memory importing %s\n", file.c_str());
        return kExitFailure;
    }
    const int status = print_scene(scene, file, as_json);
    delete scene;
    return status;
}

int run_open(LoadedImporter& loaded, bool as_json, bool progress) {
    loaded.importer->SetShowProgress(progress ? 1 : 0);
    MScene* scene = loaded.importer->ImportInteractive();
    if (scene == nullptr) {
        std::fprintf(stderr, "vertexa: no file was opened\n");
        return kExitFailure;
    }
    const std::string file = scene->get_name();
    const int status = print_scene(scene, file, as_json);
    delete scene;
    return status;
}

int run_options(LoadedImporter& loaded, bool save, const std::string& path) {
    std::vector<char> text(path.begin(), path.end());
    text.push_back('\0');
    if (save) {
        if (loaded.importer->SaveOptions(text.data()) == 0) {
            std::fprintf(stderr, "vertexa: cannot write the options file %s: %s\n", path.c_str(),
                         std::strerror(errno));
            return kExitFailure;
        }
        return 0;
    }
    if (access(path.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "vertexa: cannot read the options file %s: %s\n", path.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    loaded.importer->LoadOptions(text.data());
    return 0;
}

int run_plugins(const std::string& plugin_dir, const std::string& module_path) {
    std::vector<std::string> files;
    if (!module_path.empty()) {
        files.push_back(module_path);
    } else {
        files = vertexa::find_plugin_files(vertexa::plugin_folders(plugin_dir));
    }
    int loaded_count = 0;
    for (const std::string& file : files) {
        vertexa::PluginModule module;
        std::string error;
        if (!module.load(file, error)) {
            std::fprintf(stderr, "vertexa: %s\n", error.c_str());
            continue;
        }
        ++loaded_count;
        std::printf("%s\n  name: %s\n  version: 0x%lX\n", module.path().c_str(), module.name().c_str(),
                    module.version());
        for (const vertexa::PluginClass& cls : module.classes())
            std::printf("  class: %s (super class 0x%lX, class 0x%lX)\n", cls.name.c_str(), cls.super_class_id,
                        cls.class_id);
    }
    if (loaded_count == 0) {
        std::fprintf(stderr, "vertexa: no plug-in module loaded\n");
        return kExitNoPlugin;
    }
    return 0;
}

#if defined(_WIN32)
// On Windows the plug-in's windows are the system's: dialogs and the progress
// window are real windows. The shell's folder browser needs COM on this thread.
class HostWindows {
public:
    HostWindows() : ole_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~HostWindows() {
        if (ole_) OleUninitialize();
    }
    HostWindows(const HostWindows&) = delete;
    HostWindows& operator=(const HostWindows&) = delete;

private:
    bool ole_;
};

// Summaries are UTF-8: a console shows them in that code page while the
// command runs, and gets its own back afterwards.
class ConsoleCodePage {
public:
    ConsoleCodePage() : previous_(GetConsoleOutputCP()) {
        if (previous_ != 0) SetConsoleOutputCP(CP_UTF8);
    }
    ~ConsoleCodePage() {
        if (previous_ != 0) SetConsoleOutputCP(previous_);
    }
    ConsoleCodePage(const ConsoleCodePage&) = delete;
    ConsoleCodePage& operator=(const ConsoleCodePage&) = delete;

private:
    UINT previous_;
};

bool windows_available() { return true; }
#else
// The terminal front end draws the plug-in's windows for as long as the
// command runs: dialogs on the terminal, the progress window on stderr.
class HostWindows {
public:
    HostWindows() {
        vxp::select_front_end(vxp::FrontEnd::terminal);
        vxp::create_main_window("vertexa");
    }
    ~HostWindows() {
        vxp::destroy_main_window();
        vxp::select_front_end(vxp::FrontEnd::headless);
    }
    HostWindows(const HostWindows&) = delete;
    HostWindows& operator=(const HostWindows&) = delete;
};

bool windows_available() { return vxp::terminal_available(); }
#endif

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    ConsoleCodePage console_code_page;
#endif
    CLI::App app{"vertexa: reads Caligari trueSpace files (.cob, .scn; binary and ASCII)"};
    app.set_version_flag("--version", std::string("vertexa ") + VERTEXA_VERSION);
    app.require_subcommand(1);
    // Options start with '-' on every system: "/x" is a path (the current
    // drive's root folder on Windows), never an option.
    app.allow_windows_style_options(false);

    std::string plugin_dir;
    std::string module_path;
    app.add_option("--plugin-dir", plugin_dir, "Folder searched first for plug-in modules");
    app.add_option("--plugin", module_path, "Load this plug-in module file instead of searching");

    std::string info_file;
    bool info_json = false;
    bool progress_on = false;
    bool progress_off = false;
    CLI::App* info = app.add_subcommand("info", "Import FILE and print what the scene holds");
    info->add_option("FILE", info_file, "trueSpace file (.cob or .scn)")->required();
    info->add_flag("--json", info_json, "Print the summary as one JSON object");
    auto* on = info->add_flag("--progress", progress_on, "Show the progress window even when stderr is not a terminal");
    info->add_flag("--no-progress", progress_off, "Never show the progress window")->excludes(on);

    bool open_json = false;
    CLI::App* open = app.add_subcommand("open", "Choose a file in the Open dialog, import it and print the summary");
    open->add_flag("--json", open_json, "Print the summary as one JSON object");

    CLI::App* configure = app.add_subcommand("configure", "Edit the importer's settings in its configuration dialog");
    CLI::App* help = app.add_subcommand("help", "Show the importer's help window");

    std::string options_path;
    CLI::App* options = app.add_subcommand("options", "Write or read the importer's options file");
    options->require_subcommand(1);
    CLI::App* options_save = options->add_subcommand("save", "Write the importer's settings to PATH");
    options_save->add_option("PATH", options_path, "Options file to write")->required();
    CLI::App* options_load = options->add_subcommand("load", "Read the importer's settings from PATH into the profile");
    options_load->add_option("PATH", options_path, "Options file to read")->required();

    CLI::App* plugins = app.add_subcommand("plugins", "List the plug-in modules found, their versions and classes");

    vertexa::convert::Command* convert = vertexa::convert::add_convert_command(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int status = app.exit(e);
        return status == 0 ? 0 : kExitUsage;
    }

    if (plugins->parsed()) return run_plugins(plugin_dir, module_path);

    const bool interactive = open->parsed() || configure->parsed() || help->parsed();
    if (interactive && !windows_available()) {
        std::fprintf(stderr, "vertexa: %s needs a terminal on standard input and output\n",
                     app.get_subcommands().front()->get_name().c_str());
        return kExitFailure;
    }
    const bool progress = info->parsed() && want_progress(progress_on, progress_off);

    LoadedImporter loaded;
    if (!load_importer(plugin_dir, module_path, loaded)) return kExitNoPlugin;
    std::optional<HostWindows> windows;
    if (interactive || progress) windows.emplace();

    if (convert->sub->parsed()) {
        loaded.importer->SetShowProgress(0);
        convert->importer = [&loaded](const std::string& file) {
            std::vector<char> name(file.begin(), file.end());
            name.push_back('\0');
            return loaded.importer->Import(name.data());
        };
        return convert->run(std::cerr);
    }
    if (info->parsed()) return run_info(loaded, info_file, info_json, progress);
    if (open->parsed()) return run_open(loaded, open_json, want_progress(false, false));
    if (configure->parsed()) {
        loaded.importer->Configure();
        return 0;
    }
    if (help->parsed()) {
        loaded.importer->ShowHelp();
        return 0;
    }
    if (options_save->parsed()) return run_options(loaded, true, options_path);
    if (options_load->parsed()) return run_options(loaded, false, options_path);
    return kExitUsage;
}
