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
#include "output.h"
#if !defined(_WIN32)
#include "platform/frontend.h"
#endif
#include "plugin_host.h"
#include "summary.h"
#include "vertexa/scene.h"
#include "vertexa/services.h"
#include "vertexa/text.h"

#ifndef VERTEXA_VERSION
#define VERTEXA_VERSION "0.0.0"
#endif

namespace {

// Exit statuses: 0 success, 1 the job failed, 2 the command line was wrong,
// 3 no usable plug-in module, 4 the input file cannot be used.
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoPlugin = 3;
constexpr int kExitBadInput = vertexa::convert::kExitBadInput;

// A path or argument as it may be shown: UTF-8.
std::string shown(const std::string& text) { return vertexa::utf8_from_native(text); }

// Says on stderr what keeps `file` from being used; true when something does.
bool refuse(const std::string& file, const std::string& problem) {
    if (problem.empty()) return false;
    std::fprintf(stderr, "vertexa: %s: %s\n", shown(file).c_str(), problem.c_str());
    return true;
}

// The line that tells why settings could not be stored in the profile, or
// empty when every profile write of the importer since the last call worked.
// `source` names where the settings came from; settings that do not read
// back from `profile` count as not stored too.
std::string unstored_settings(const std::string& source = "", const std::string& profile = "") {
    std::string path = profile;
    int error = 0;
    if (!Profile::TakeWriteFailure(&path, &error) && profile.empty()) return {};
    return "cannot store the settings" + (source.empty() ? "" : " of " + shown(source)) + " in the profile " +
           shown(path) + (error != 0 ? std::string(": ") + std::strerror(error) : "");
}

// Settings the user changed that cannot be stored end the command with a
// failure; a warning is enough where an import only stored them back.
int settings_stored(bool changed, const std::string& source = "", const std::string& profile = "") {
    const std::string problem = unstored_settings(source, profile);
    if (problem.empty()) return 0;
    std::fprintf(stderr, "vertexa: %s%s\n", changed ? "" : "warning: ", problem.c_str());
    return changed ? kExitFailure : 0;
}

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
            std::fprintf(stderr, " %s", shown(folder).c_str());
        std::fprintf(stderr, " (use --plugin-dir DIR or set VERTEXA_PLUGIN_DIR)\n");
        return false;
    }
    for (const std::string& file : files) {
        std::string error;
        if (!out.module.load(file, error)) {
            std::fprintf(stderr, "vertexa: %s\n", shown(error).c_str());
            continue;
        }
        const vertexa::PluginClass* cls = out.module.scene_importer();
        if (cls == nullptr) {
            std::fprintf(stderr, "vertexa: %s offers no scene importer\n", shown(file).c_str());
            continue;
        }
        out.importer = vertexa::create_importer(*cls, 0);
        if (!out.importer) {
            std::fprintf(stderr, "vertexa: %s could not create an importer (out of memory)\n", shown(file).c_str());
            return false;
        }
        return true;
    }
    return false;
}

int print_scene(MScene* scene, const std::string& file, bool as_json) {
    if (as_json) {
        // Every text of the summary is UTF-8 already; replacing what is not
        // keeps the dump from throwing all the same.
        std::cout << scene_summary(*scene, file).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                  << "\n";
    } else {
        std::cout << scene_summary_text(*scene, file);
    }
    std::cout.flush();
    if (std::cout.good()) return 0;
    std::fprintf(stderr, "vertexa: cannot write the summary of %s to standard output\n", shown(file).c_str());
    return kExitFailure;
}

// Progress is for people: shown when stderr is a terminal unless asked.
bool want_progress(bool force_on, bool force_off) {
    if (force_off) return false;
    if (force_on) return true;
    return isatty(STDERR_FILENO) != 0;
}

int run_info(LoadedImporter& loaded, const std::string& file, bool as_json, bool progress) {
    // The importer reports problems only in its log: what keeps the file
    // from being imported at all is told here, before it is opened.
    if (refuse(file, vertexa::convert::truespace_file_problem(file))) return kExitBadInput;
    loaded.importer->SetShowProgress(progress ? 1 : 0);
    std::vector<char> name(file.begin(), file.end());
    name.push_back('\0');
    MScene* scene = loaded.importer->Import(name.data());
    settings_stored(false);
    if (scene == nullptr) {
        std::fprintf(stderr, "vertexa: out of memory importing %s\n", shown(file).c_str());
        return kExitFailure;
    }
    const int status = print_scene(scene, file, as_json);
    delete scene;
    return status;
}

int run_open(LoadedImporter& loaded, bool as_json, bool progress) {
    loaded.importer->SetShowProgress(progress ? 1 : 0);
    MScene* scene = loaded.importer->ImportInteractive();
    settings_stored(false);
    if (scene == nullptr) {
        std::fprintf(stderr, "vertexa: no file was opened\n");
        return kExitFailure;
    }
    const std::string file = scene->get_name();
    // The dialog takes any name; the importer says nothing of a bad one.
    if (refuse(file, vertexa::convert::truespace_file_problem(file))) {
        delete scene;
        return kExitBadInput;
    }
    const int status = print_scene(scene, file, as_json);
    delete scene;
    return status;
}

// The value an options file gives `key`, or nullopt when it sets none.
std::optional<std::string> options_file_value(const std::string& path, const char* key) {
    std::string program, argument = "@" + path;
    char* argv[] = {program.data(), argument.data(), nullptr};
    char value[Import_FileOption::kTextSize];
    if (m_get_cmdl_string(2, argv, key, value, "", sizeof value) == 0) return std::nullopt;
    return std::string(value);
}

int run_options(LoadedImporter& loaded, bool save, const std::string& path) {
    std::vector<char> text(path.begin(), path.end());
    text.push_back('\0');
    if (save) {
        if (loaded.importer->SaveOptions(text.data()) == 0) {
            std::fprintf(stderr, "vertexa: cannot write the options file %s: %s\n", shown(path).c_str(),
                         std::strerror(errno));
            return kExitFailure;
        }
        return settings_stored(false);
    }
    if (refuse(path, vertexa::convert::file_problem(path))) return kExitBadInput;
    if (access(path.c_str(), R_OK) != 0) {
        refuse(path, std::strerror(errno));
        return kExitBadInput;
    }
    // The importer takes any file and reports nothing: an options file is
    // one that sets at least one of the settings, and what it sets must be in
    // the profile afterwards.
    struct Setting {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    };
    Setting settings[] = {{"Specific Settings", "home_path", {}},
                          {"Specific Settings", "image_search_path", {}},
                          {"Common Settings", "log_file_name", {}},
                          {"Common Settings", "verbose", {}}};
    bool any = false;
    for (Setting& s : settings) {
        s.value = options_file_value(path, s.key);
        any = any || s.value.has_value();
    }
    if (!any) {
        refuse(path, "not an options file (it sets none of home_path, image_search_path, log_file_name, verbose)");
        return kExitBadInput;
    }
    loaded.importer->LoadOptions(text.data());
    if (const int status = settings_stored(true, path)) return status;
    Profile profile("scn_in");
    for (const Setting& s : settings) {
        // verbose is taken only when it is a number; the texts are kept as given.
        if (!s.value || std::string(s.key) == "verbose") continue;
        char stored[Import_FileOption::kTextSize];
        profile.GetString(s.section, s.key, "", stored, sizeof stored);
        if (*s.value != stored) return settings_stored(true, path, profile.Path());
    }
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
            std::fprintf(stderr, "vertexa: %s\n", shown(error).c_str());
            continue;
        }
        ++loaded_count;
        std::printf("%s\n  name: %s\n  version: 0x%lX\n", shown(module.path()).c_str(),
                    shown(module.name()).c_str(), module.version());
        for (const vertexa::PluginClass& cls : module.classes())
            std::printf("  class: %s (super class 0x%lX, class 0x%lX)\n", shown(cls.name).c_str(), cls.super_class_id,
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

static int run(int argc, char** argv) {
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

    vertexa::convert::remove_host_temporaries_on_signal();  // the profile's among them
    LoadedImporter loaded;
    if (!load_importer(plugin_dir, module_path, loaded)) return kExitNoPlugin;
    std::optional<HostWindows> windows;
    if (interactive || progress) windows.emplace();

    if (convert->sub->parsed()) {
        loaded.importer->SetShowProgress(0);
        convert->importer = [&loaded](const std::string& file) {
            std::vector<char> name(file.begin(), file.end());
            name.push_back('\0');
            MScene* scene = loaded.importer->Import(name.data());
            settings_stored(false);
            return scene;
        };
        return convert->run(std::cerr);
    }
    if (info->parsed()) return run_info(loaded, info_file, info_json, progress);
    if (open->parsed()) return run_open(loaded, open_json, want_progress(false, false));
    if (configure->parsed()) {
        loaded.importer->Configure();
        return settings_stored(true);
    }
    if (help->parsed()) {
        loaded.importer->ShowHelp();
        return 0;
    }
    if (options_save->parsed()) return run_options(loaded, true, options_path);
    if (options_load->parsed()) return run_options(loaded, false, options_path);
    return kExitUsage;
}

int main(int argc, char** argv) {
    // Nothing the command prints may end it without a word.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vertexa: out of memory\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vertexa: %s\n", vertexa::utf8_from_native(e.what()).c_str());
    }
    return kExitFailure;
}
