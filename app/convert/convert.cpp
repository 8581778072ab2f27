#include "convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>

#include "batch.h"
#include "geometry.h"
#include "output.h"
#include "vertexa/scene.h"
#include "writers.h"

namespace vertexa::convert {

std::optional<Format> parse_format(const std::string& text) {
    std::string t;
    for (char c : text) t.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    if (t == "glb") return Format::Glb;
    if (t == "gltf") return Format::Gltf;
    if (t == "obj") return Format::Obj;
    return std::nullopt;
}

std::optional<Format> format_of(const std::string& out_path) {
    const size_t slash = out_path.find_last_of('/');
    const size_t dot = out_path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
    return parse_format(out_path.substr(dot + 1));
}

std::string file_problem(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? "not found" : std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "is a folder";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    return {};
}

std::string truespace_file_problem(const std::string& path) {
    std::string problem = file_problem(path);
    if (!problem.empty()) return problem;
    // Non-blocking, in case a FIFO took the file's place since.
#if defined(_WIN32)
    const int fd = ::open(path.c_str(), O_RDONLY | O_BINARY);
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#endif
    if (fd < 0) return std::strerror(errno);
    struct stat st;
    char head[18];
    size_t got = 0;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = "not a regular file";
    } else {
        while (got < sizeof head) {
            const ssize_t n = ::read(fd, head + got, sizeof head - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) problem = std::strerror(errno);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    if (!problem.empty()) return problem;
    // The importer reads the header up to its first NUL and looks for the
    // signature among its first 18 characters; the letter at index 15 tells
    // the encoding.
    const std::string text(head, std::find(head, head + got, '\0'));
    if (text.find("Caligari V00.01") == std::string::npos) return "not a trueSpace file";
    const char letter = text.size() > 15 ? text[15] : '\0';
    if (letter == 'B' || letter == 'A') return {};
    if (letter > ' ' && letter < 0x7F) return std::string("unknown encoding letter '") + letter + "' (B or A expected)";
    return "no encoding letter B or A after \"Caligari V00.01\"";
}

int convert_scene(MScene& scene, const std::string& out, Format format, const Options& options, std::ostream& err) {
    BuildOptions build;
    build.y_up = !options.z_up;
    build.obj = format == Format::Obj;
    build.smooth_angle = options.smooth_angle;
    build.two_threads = options.two_threads;
    if (const std::string stem = file_stem(scene.get_name()); !stem.empty()) build.fallback_name = stem;
    std::vector<MeshOut> meshes = build_meshes(scene, build, err);
    if (meshes.empty()) {
        err << "vertexa: " << to_utf8(scene.get_name()) << " holds no objects with faces; nothing written\n";
        return kExitFailure;
    }
    ImageCache images(*scene.Get_MapList(), err);
    OutputFiles files;
    files.protect(scene.get_name());
    if (format == Format::Obj)
        write_obj(meshes, images, out, files, err);
    else
        write_gltf(meshes, images, out, format == Format::Glb, files, err);
    const std::string failure = files.commit();
    if (!failure.empty()) {
        err << "vertexa: " << failure << "; nothing written\n";
        return kExitFailure;
    }
    return kExitOk;
}

int convert_file(const std::string& in, const std::string& out, const Options& options, std::ostream& err) {
    std::optional<Format> format = options.format ? options.format : format_of(out);
    if (!format) {
        err << "vertexa: cannot tell the format of " << to_utf8(out) << ": use .glb, .gltf or .obj, or --format\n";
        return kExitUsage;
    }
    if (const std::string problem = truespace_file_problem(in); !problem.empty()) {
        err << "vertexa: " << to_utf8(in) << ": " << problem << "\n";
        return kExitBadInput;
    }
    if (!options.importer) {
        err << "vertexa: no importer to read " << in << "\n";
        return kExitFailure;
    }
    std::unique_ptr<MScene> scene(options.importer(in));
    if (!scene) {
        err << "vertexa: out of memory importing " << to_utf8(in) << "\n";
        return kExitFailure;
    }
    for (const std::string& dirs : options.image_paths) {
        // Each folder ends with ';' in a search path text.
        std::string text = dirs;
        if (!text.empty() && text.back() != ';') text.push_back(';');
        scene->Get_MapList()->AddSearchPath(text.c_str());
    }
    return convert_scene(*scene, out, *format, options, err);
}

int Command::run(std::ostream& err) const {
    const bool to_folder = !out_dir.empty();
    if (!to_folder && (args.size() != 2 || jobs != 0)) {
        err << "vertexa: convert takes IN OUT, or IN... -o DIR [-j N]\n";
        return kExitUsage;
    }
    Options options;
    if (!format.empty()) {
        options.format = parse_format(format);
        if (!options.format) {
            err << "vertexa: unknown format " << format << ": use glb, gltf or obj\n";
            return kExitUsage;
        }
    }
    if (up != "y" && up != "z") {
        err << "vertexa: --up takes y or z\n";
        return kExitUsage;
    }
    options.z_up = up == "z";
    char* end = nullptr;
    options.smooth_angle = std::strtod(smooth_angle.c_str(), &end);
    if (smooth_angle.empty() || *end != '\0' || !(options.smooth_angle >= 0.0 && options.smooth_angle <= 180.0)) {
        err << "vertexa: --smooth-angle takes degrees from 0 to 180, not " << to_utf8(smooth_angle) << "\n";
        return kExitUsage;
    }
    options.image_paths = image_paths;
    options.importer = importer;
    if (!to_folder) return convert_file(args[0], args[1], options, err);
    Batch batch;
    batch.inputs = args;
    batch.out_dir = out_dir;
    batch.format = options.format.value_or(Format::Glb);
    batch.workers = jobs;
    batch.progress = isatty(STDERR_FILENO) != 0;
    if (worker.size() == 2) batch.worker.emplace(worker[0], worker[1]);
    return convert_batch(batch, options, err);
}

Command* add_convert_command(CLI::App& app) {
    static Command command;
    command.sub = app.add_subcommand("convert", "Import IN and write it as glTF 2.0 (.glb, .gltf) or OBJ/MTL to OUT; "
                                                "with -o DIR, every IN (files, and folders searched for .cob and "
                                                ".scn files) to DIR");
    command.sub->add_option("IN OUT", command.args,
                            "trueSpace file (.cob or .scn) and the output file (.glb, .gltf or .obj); "
                            "with -o, files and folders to convert")
        ->required();
    command.sub->add_option("-o,--output-dir", command.out_dir,
                            "convert every IN into this folder, keeping the layout below each folder given");
    command.sub->add_option("-j,--jobs", command.jobs, "files converted at once with -o (default: one per processor)")
        ->check(CLI::Range(1, 256));
    command.sub->add_option("--format", command.format,
                            "glb, gltf or obj (default: from OUT's extension; glb with -o)");
    command.sub->add_option("--up", command.up, "y (default: Z-up turned to Y-up) or z (kept as in the file)");
    command.sub->add_option("--smooth-angle", command.smooth_angle,
                            "faces meeting at less than DEG degrees are shaded smooth (default 40; 0: faceted, "
                            "180: smooth everywhere)");
    command.sub->add_option("--image-path", command.image_paths,
                            "folders to look for images in, after the file's own and the profile's; "
                            "several separated by ';'");
    // Where workers are processes started anew (Windows), a batch starts
    // each with its own arguments and this first.
    app.add_option("--batch-worker", command.worker)->expected(2)->group("");
    return &command;
}

}  // namespace vertexa::convert
