// Imports a file described by the writer and keeps what the import left: the
// scene, the verbose log and the progress calls.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cob_import_options.h"
#include "cob_writer.h"
#include "import_file.h"
#include "vertexa/scene.h"

namespace harness {

inline std::string temp_dir() {
    std::string dir = std::string(VERTEXA_TEST_TMP) + "/" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// What the progress record saw.
struct Progress {
    std::vector<std::string> status_2;
    long progress_2_calls = 0;
    long progress_1_calls = 0;
};
inline Progress* current_progress = nullptr;

inline void record_status(const char*, ...) {}
inline void record_status_2(const char* format, ...) {
    if (current_progress != nullptr) current_progress->status_2.emplace_back(format);
}
inline void record_progress_1(long, long) {
    if (current_progress != nullptr) ++current_progress->progress_1_calls;
}
inline void record_progress_2(long, long) {
    if (current_progress != nullptr) ++current_progress->progress_2_calls;
}
inline void record_progress(long, long) {}

struct SceneDeleter {
    void operator()(MScene* s) const { delete s; }
};

struct Imported {
    std::unique_ptr<MScene, SceneDeleter> scene;
    std::string log;
    bool log_exists = false;
    Progress progress;
    std::string path;

    MMesh_P* mesh(int32_t i) { return static_cast<MMesh_P*>(scene->Get_ObjectList()->get(i)); }
    MSurface* surface(int32_t i) { return static_cast<MSurface*>(scene->Get_SurfaceList()->get(i)); }
    uint32_t meshes() { return scene->Get_ObjectList()->size(); }
    uint32_t surfaces() { return scene->Get_SurfaceList()->size(); }
};

// Points the profile at a fresh file of the test's own with the given common
// settings and image search path.
inline std::string use_profile(int verbose, const std::string& log_file, const std::string& search_path = "") {
    static int serial = 0;
    std::string ini = temp_dir() + "/profile" + std::to_string(++serial) + ".ini";
    write_file(ini, "[Common Settings]\nverbose=" + std::to_string(verbose) + "\nlog_file_name=" + log_file +
                        "\n[Specific Settings]\nimage_search_path=" + search_path + "\n");
    ::setenv("VERTEXA_PROFILE", ini.c_str(), 1);
    return ini;
}

// Imports the file at `path` with a verbose log.
inline Imported import_path(const std::string& path, int verbose = 1, const std::string& search_path = "") {
    static int serial = 0;
    Imported r;
    r.path = path;
    std::string log_path = temp_dir() + "/import" + std::to_string(++serial) + ".log";
    std::remove(log_path.c_str());
    use_profile(verbose, log_path, search_path);
    current_progress = &r.progress;
    auto* options = new CobImportOptions;
    options->Set_Filename(path.c_str());
    auto* callbacks = new MessageCallBack1(record_status, record_progress_1, record_status_2, record_progress_2,
                                           record_status, record_progress);
    r.scene.reset(new MScene(path.c_str()));
    import_file(r.scene.get(), options, callbacks);
    delete callbacks;
    delete options;
    current_progress = nullptr;
    r.log_exists = std::filesystem::exists(log_path);
    r.log = read_file(log_path);
    return r;
}

inline Imported import_bytes(const std::string& bytes, const std::string& name = "input.cob", int verbose = 1) {
    std::string path = temp_dir() + "/" + name;
    write_file(path, bytes);
    return import_path(path, verbose);
}

inline Imported import_file_of(const cobtest::CobFile& file, const std::string& name = "input.cob") {
    return import_bytes(file.bytes(), name);
}

// The log lines that the chunk handlers write (level-2 lines and chunk lines),
// without the banner and the options, which tests of the driver check.
inline std::vector<std::string> lines(const std::string& log) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t nl = log.find('\n', pos);
        if (nl == std::string::npos) {
            out.push_back(log.substr(pos));
            break;
        }
        out.push_back(log.substr(pos, nl - pos + 1));
        pos = nl + 1;
    }
    return out;
}

// True when `needles` occur in `log` in this order (not necessarily adjacent).
inline bool in_order(const std::string& log, const std::vector<std::string>& needles) {
    size_t pos = 0;
    for (const auto& n : needles) {
        size_t at = log.find(n, pos);
        if (at == std::string::npos) return false;
        pos = at + n.size();
    }
    return true;
}

inline size_t occurrences(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++n;
    return n;
}

// A small textured cube-like object: four vertices, two triangles and a
// quad, with texture vertices.
inline cobtest::Polygon sample_polygon(const std::string& name = "Box") {
    cobtest::Polygon p;
    p.axes.name = name;
    p.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}};
    p.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    p.faces = {
        {false, 0, 0, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}, {}},
        {false, 1, 0, {{0, 0}, {1, 1}, {4, 2}}, {}},
    };
    return p;
}

}  // namespace harness
