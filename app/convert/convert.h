// Conversion of an imported host scene into glTF 2.0 (.glb, .gltf) and OBJ/MTL.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

class MScene;
namespace CLI {
class App;
}

namespace vertexa::convert {

enum class Format { Glb, Gltf, Obj };

struct Options {
    std::optional<Format> format;        // else taken from the output's extension
    bool z_up = false;                   // true: keep trueSpace's Z-up axes
    double smooth_angle = 40.0;          // crease angle in degrees, 0 to 180 (see BuildOptions)
    std::vector<std::string> image_paths;  // folders searched after the file's own and the profile's
    bool two_threads = true;             // a large mesh may be built by two threads (see BuildOptions)
    // How the file is imported (required): the command gives the plug-in
    // module's importer.
    std::function<MScene*(const std::string&)> importer;
};

// Exit statuses of the command.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The input cannot be used: not found, a folder, not a regular file,
// unreadable, not a trueSpace file (or not an options file).
constexpr int kExitBadInput = 4;

// What keeps `path` from being read as a file, in words for a message ("not
// found", "is a folder", "not a regular file", ...), or "" when it is a
// regular file. Nothing is opened.
std::string file_problem(const std::string& path);
// The same, and then what keeps it from being a trueSpace file by its
// header ("not a trueSpace file", "unknown encoding letter ..."). A FIFO or
// device is refused before it is opened, so nothing waits on it.
std::string truespace_file_problem(const std::string& path);

// "glb", "gltf", "obj" (any case); nullopt for anything else.
std::optional<Format> parse_format(const std::string& text);
// The format of an output name by its extension.
std::optional<Format> format_of(const std::string& out_path);

// Writes the scene to `out` (and, for .gltf and .obj, the files beside it).
// Warnings and errors go to `err`, each one line starting with "vertexa: ".
// Everything is written whole or not at all; returns an exit status.
int convert_scene(MScene& scene, const std::string& out, Format format, const Options& options, std::ostream& err);

// Imports `in` and converts it; refuses an unknown format before importing
// and a file without objects before writing.
int convert_file(const std::string& in, const std::string& out, const Options& options, std::ostream& err);

// The `convert` subcommand: registered on the command's parser; run it when
// the subcommand was parsed.
struct Command {
    CLI::App* sub = nullptr;
    std::vector<std::string> args;  // IN OUT, or the inputs with -o
    std::string out_dir;            // -o: the batch form
    int jobs = 0;                   // -j; 0: one per processor
    std::string format, up = "y";
    std::string smooth_angle = "40";
    std::vector<std::string> image_paths;
    std::vector<std::string> worker;  // --batch-worker IN OUT (hidden): one file of a batch
    std::function<MScene*(const std::string&)> importer;
    int run(std::ostream& err) const;
};
Command* add_convert_command(CLI::App& app);

}  // namespace vertexa::convert
