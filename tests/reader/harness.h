// Imports a file described by the writer and keeps what the import left: the
// scene, the verbose log and the progress calls.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../host/host_test_util.h"
#include "cob_import_options.h"
#include "cob_writer.h"
#include "test_env.h"
#include "import_file.h"
#include "vertexa/memory.h"
#include "vertexa/scene.h"

namespace harness {

inline std::string temp_dir() {
    std::string dir = std::string(VERTEXA_TEST_TMP) + "/" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    return dir;
}

using host_test::read_file;
using host_test::write_file;

// What the progress callbacks saw.
struct Progress {
    std::vector<std::string> status_2;
    long progress_2_calls = 0;
};
inline Progress* current_progress = nullptr;

inline void record_status(const char*, ...) {}
inline void record_status_2(const char* format, ...) {
    if (current_progress != nullptr) current_progress->status_2.emplace_back(format);
}
inline void record_progress_2(long, long) {
    if (current_progress != nullptr) ++current_progress->progress_2_calls;
}
inline void record_progress(long, long) {}

struct Imported {
    std::unique_ptr<MScene> scene;
    std::string log;
    bool log_exists = false;
    Progress progress;
    std::string path, log_path;
    uint64_t allocations = 0;  // made by import_file itself

    MMesh_P* mesh(int32_t i) { return static_cast<MMesh_P*>(scene->Get_ObjectList()->get(i)); }
    MSurface* surface(int32_t i) { return static_cast<MSurface*>(scene->Get_SurfaceList()->get(i)); }
    uint32_t meshes() { return scene->Get_ObjectList()->size(); }
    uint32_t surfaces() { return scene->Get_SurfaceList()->size(); }
};

// Sweeps over the prefixes of a file take every prefix; under Wine every
// import's file costs milliseconds, so there they take every 13th.
#if defined(_WIN32)
inline constexpr size_t kPrefixStride = 13;
#else
inline constexpr size_t kPrefixStride = 1;
#endif

// Writes the profile `ini` with the verbose level, the log file and the image
// search path, and points $VERTEXA_PROFILE at it. It holds every setting, so
// that an import stores nothing (no synced write per import).
inline void use_profile(const std::string& ini, int verbose, const std::string& log_file,
                        const std::string& search_path = "") {
    write_file(ini, "[Common Settings]\nverbose=" + std::to_string(verbose) + "\nlog_file_name=" + log_file +
                        "\n[Specific Settings]\nhome_path=c:\\Truespace\\\nimage_search_path=" + search_path + "\n");
    cobtest::set_env("VERTEXA_PROFILE", ini.c_str());
}

// Imports the file at `path` with a fresh profile of the test's own holding
// the verbose level, a log file and the image search path. With `fail_at`,
// the import's allocation of that number fails.
inline Imported import_path(const std::string& path, int verbose = 1, const std::string& search_path = "",
                            uint64_t fail_at = 0) {
    static int serial = 0;
    Imported r;
    r.path = path;
    const std::string stem = temp_dir() + "/import" + std::to_string(++serial);
    std::remove((stem + ".log").c_str());
    use_profile(stem + ".ini", verbose, stem + ".log", search_path);
    current_progress = &r.progress;
    auto* options = new CobImportOptions;
    options->Set_Filename(path.c_str());
    auto* callbacks = new MessageCallBack1(record_status, record_progress, record_status_2, record_progress_2,
                                           record_status, record_progress);
    r.scene.reset(new MScene(path.c_str()));
    const uint64_t before = vertexa::alloc_stats().total_allocs;
    vertexa::alloc_fail_after(fail_at);
    import_file(r.scene.get(), options, callbacks);
    vertexa::alloc_fail_after(0);
    r.allocations = vertexa::alloc_stats().total_allocs - before;
    delete callbacks;
    delete options;
    current_progress = nullptr;
    r.log_path = stem + ".log";
    r.log_exists = std::filesystem::exists(r.log_path);
    r.log = read_file(r.log_path);
    return r;
}

inline Imported import_bytes(const std::string& bytes, const std::string& name = "input.cob", int verbose = 1) {
    std::string path = temp_dir() + "/" + name;
    write_file(path, bytes);
    return import_path(path, verbose);
}

inline Imported import_file_of(const cobtest::CobFile& file) { return import_bytes(file.bytes()); }

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

using cobtest::sample_polygon;

}  // namespace harness
