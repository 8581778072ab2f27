// vertexa: imports trueSpace files and tells what they hold.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "convert.h"
#include "import.h"
#include "progress_import.h"
#include "summary.h"
#include "vertexa/scene.h"

#ifndef VERTEXA_VERSION
#define VERTEXA_VERSION "0.0.0"
#endif

namespace {

// Exit statuses: 0 success, 1 the job failed, 2 the command line was wrong.
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int run_info(const std::string& file, bool as_json, bool progress) {
    // The importer reports problems only in its log; a file that cannot be
    // read at all is worth saying here too.
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
        std::fclose(f);
    } else {
        std::fprintf(stderr, "vertexa: cannot read %s: %s\n", file.c_str(), std::strerror(errno));
    }
    MScene* scene = progress ? import_scene_with_progress(file) : import_scene(file);
    if (scene == nullptr) {
        std::fprintf(stderr, "vertexa: out of memory importing %s\n", file.c_str());
        return kExitFailure;
    }
    if (as_json) {
        std::cout << scene_summary(*scene, file).dump(2) << "\n";
    } else {
        std::cout << scene_summary_text(*scene, file);
    }
    delete scene;
    return std::cout.good() ? 0 : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vertexa: reads Caligari trueSpace files (.cob, .scn; binary and ASCII)"};
    app.set_version_flag("--version", std::string("vertexa ") + VERTEXA_VERSION);
    app.require_subcommand(1);

    std::string info_file;
    bool info_json = false;
    CLI::App* info = app.add_subcommand("info", "Import FILE and print what the scene holds");
    info->add_option("FILE", info_file, "trueSpace file (.cob or .scn)")->required();
    info->add_flag("--json", info_json, "Print the summary as one JSON object");
    // The progress window shows on a terminal; the flags force it either way.
    bool info_progress = isatty(STDERR_FILENO) == 1;
    info->add_flag("--progress,!--no-progress", info_progress, "Show the import's progress window on stderr");

    vertexa::convert::Command* convert = vertexa::convert::add_convert_command(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int status = app.exit(e);
        return status == 0 ? 0 : kExitUsage;
    }

    if (info->parsed()) return run_info(info_file, info_json, info_progress);
    if (convert->sub->parsed()) return convert->run(std::cerr);
    return kExitUsage;
}
