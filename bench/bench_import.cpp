// Import throughput of the plug-in module on large files, both encodings, with
// the progress window live (headless front end) and switched off, against the
// time a bare reader (bare_reader.h) takes to fill the same arrays and the
// time a plain read of the same bytes takes; and the whole conversion of the
// torus files to .glb by the vertexa command, as a child process.
//
//   bench_import [benchmark flags]      runs everything (files are made on first use)
//   bench_import --make-files           only writes the files
//   bench_import --rss-probe FILE       imports FILE once and prints peak RSS (used internally)
//   bench_import --convert-probe FILE OUT  converts by a vertexa child, prints its time and peak (internal)
//   bench_import --once FILE | --once-live FILE | --bare FILE | --bare-arrays FILE
//                                       one import through the module, or one bare import
//   bench_import --digest FILE...       imports each FILE and prints a digest of the whole scene
//                                       and the import log (to compare two builds of the module)
//
// Files live in $VERTEXA_BENCH_DATA, by default the build's bench-data folder;
// the module is this build's scn_in.so, or $VERTEXA_BENCH_PLUGIN.
// Times are wall-clock per import (scene deletion excluded), best and mean of
// a fixed number of imports; peak resident memory comes from a fresh process
// that imports the file once.
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bare_reader.h"
#include "generate.h"
#include "import_entry.h"
#include "vertexa/scene.h"

extern char** environ;

namespace {

using cobtest::Encoding;
using Clock = std::chrono::steady_clock;

// Bump when the generated files change, so that stale ones are made again.
constexpr const char* kFileVersion = "v1";

struct Probe {
    long peak_kb = -1;      // VmHWM after the import
    long baseline_kb = -1;  // VmHWM of the same process before it
    uint64_t data_bytes = 0;
};

struct BenchFile {
    std::string key;  // e.g. "torus_1000k.bin"
    std::string shape;
    uint64_t scale = 0;  // elements of the shape, for the linearity pairs
    Encoding encoding = Encoding::Binary;
    std::string path;
    bench::Expected expected;
    std::function<cobtest::CobFile()> make;
    int iterations = 5;
    uint64_t bytes = 0;
    double cat_best_s = 0.0;
    double bare_best_s = 0.0;
    double bare_best_cpu_s = 0.0;
    double arrays_best_s = 0.0;  // the bare reader into plain arrays
    double arrays_best_cpu_s = 0.0;
    bool probed = false;
    Probe probe;
};

std::vector<BenchFile> files;

std::string data_dir() {
    if (const char* dir = std::getenv("VERTEXA_BENCH_DATA"); dir != nullptr && dir[0] != '\0') return dir;
    return VERTEXA_BENCH_DATA;
}

void define_files() {
    const std::string dir = data_dir();
    auto add = [&](std::string shape, uint64_t scale, std::string label, Encoding e, bench::Expected expected,
                   std::function<cobtest::CobFile()> make, int iterations) {
        BenchFile f;
        f.shape = std::move(shape);
        f.scale = scale;
        f.encoding = e;
        f.key = f.shape + "_" + label + (e == Encoding::Binary ? ".bin" : ".ascii");
        f.path = dir + "/" + f.key + "." + kFileVersion + ".cob";
        f.expected = expected;
        f.make = std::move(make);
        f.iterations = iterations;
        files.push_back(std::move(f));
    };
    for (Encoding e : {Encoding::Binary, Encoding::Ascii}) {
        const bench::TorusShape small{100, 1000}, large{1000, 1000};
        add("torus", small.vertices(), "100k", e, bench::torus_expected(small),
            [e, small] { return bench::torus_file(e, small); }, 20);
        add("torus", large.vertices(), "1000k", e, bench::torus_expected(large),
            [e, large] { return bench::torus_file(e, large); }, 5);
        add("boxes", 1000, "1000", e, bench::boxes_expected(1000), [e] { return bench::boxes_file(e, 1000); }, 50);
        add("boxes", 10000, "10000", e, bench::boxes_expected(10000), [e] { return bench::boxes_file(e, 10000); }, 5);
        add("boxes", 100000, "100000", e, bench::boxes_expected(100000), [e] { return bench::boxes_file(e, 100000); },
            3);
    }
}

void make_missing_files() {
    std::filesystem::create_directories(data_dir());
    for (BenchFile& f : files) {
        std::error_code ec;
        if (!std::filesystem::exists(f.path, ec) || std::filesystem::file_size(f.path, ec) == 0) {
            std::fprintf(stderr, "bench_import: writing %s\n", f.path.c_str());
            const std::string part = f.path + ".part";
            f.make().write(part);
            std::filesystem::rename(part, f.path);
        }
        f.bytes = std::filesystem::file_size(f.path);
    }
}

// A profile of our own: no import log, so that the figures are the reader's.
void use_bench_profile() {
    const std::string ini = data_dir() + "/bench_profile.ini";
    if (FILE* p = std::fopen(ini.c_str(), "wb")) {
        std::fputs("[Common Settings]\nverbose=0\nlog_file_name=\n[Specific Settings]\nimage_search_path=\n", p);
        std::fclose(p);
    }
    ::setenv("VERTEXA_PROFILE", ini.c_str(), 1);
}

long status_kb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return -1;
    char line[256];
    long kb = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') {
            kb = std::strtol(line + n + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(f);
    return kb;
}

struct SceneCounts {
    uint64_t objects = 0, vertices = 0, uv_vertices = 0, faces = 0, surfaces = 0, data_bytes = 0;
};

SceneCounts count_scene(MScene* scene) {
    SceneCounts c;
    scene->Get_ObjectList()->for_each([&](void* item) {
        auto* mesh = dynamic_cast<MMesh_P*>(static_cast<MObj3d*>(item));
        if (mesh == nullptr) return;
        ++c.objects;
        c.vertices += static_cast<uint64_t>(mesh->Get_Vertex_Count());
        c.uv_vertices += static_cast<uint64_t>(mesh->Get_UVVertex_Count());
        c.faces += static_cast<uint64_t>(mesh->Get_Face_Count());
        c.data_bytes += mesh->DataBytes();
    });
    c.surfaces = scene->Get_SurfaceList()->size();
    return c;
}

int run_rss_probe(const char* path) {
    use_bench_profile();
    std::string error;
    if (!bench::load_importer_module(error)) {
        std::fprintf(stderr, "bench_import: %s\n", error.c_str());
        return 1;
    }
    const long before = status_kb("VmHWM");
    MScene* scene = bench::import_entry(path, bench::Progress::Live);
    const long peak = status_kb("VmHWM");
    if (scene == nullptr) return 1;
    const SceneCounts c = count_scene(scene);
    std::printf("%ld %ld %llu\n", peak, before, static_cast<unsigned long long>(c.data_bytes));
    delete scene;
    return 0;
}

// The standard output of a fresh process of this program run with `args`;
// empty when it failed.
std::string run_self(std::vector<std::string> args) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<char*> argv{self.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string out;
    if (spawned == 0) {
        char buffer[256];
        ssize_t got;
        while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(got));
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out.clear();
    }
    ::close(fds[0]);
    return out;
}

// Peak resident memory of a fresh process of this program importing the file once.
Probe probe_rss(const std::string& path) {
    Probe p;
    unsigned long long data = 0;
    if (std::sscanf(run_self({"--rss-probe", path}).c_str(), "%ld %ld %llu", &p.peak_kb, &p.baseline_kb, &data) == 3)
        p.data_bytes = data;
    return p;
}

// FNV-1a over everything an import yields, for --digest.
struct Digest {
    uint64_t h = 1469598103934665603ull;
    void bytes(const void* p, size_t n) {
        for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<const unsigned char*>(p)[i]) * 1099511628211ull;
    }
    template <typename T>
    void value(const T& v) {
        bytes(&v, sizeof v);
    }
    void text(const char* t) { bytes(t, std::strlen(t) + 1); }
    void vector(const MVector3& v) {
        for (int k = 0; k < 3; ++k) value(v[k]);
    }
    void polygons(const MPolygonList& l) {
        value(l.Size());
        for (uint32_t i = 0; i < l.Size(); ++i) {
            value(l.MatId(i));
            value(l.Count(i));
            bytes(l.Indices(i), l.Count(i) * sizeof(int32_t));
        }
    }
};

// Imports each file with a verbose log and prints one digest of its scene and
// log (without its first line, the build's date, and the lines naming the
// log file) per file.
int run_digest(int argc, char** argv) {
    const std::string log = std::filesystem::temp_directory_path() / ("bench_digest_" + std::to_string(::getpid()));
    const std::string ini = log + ".ini";
    if (FILE* p = std::fopen(ini.c_str(), "wb")) {
        std::fprintf(p, "[Common Settings]\nverbose=1\nlog_file_name=%s\n[Specific Settings]\nimage_search_path=\n",
                     log.c_str());
        std::fclose(p);
    }
    ::setenv("VERTEXA_PROFILE", ini.c_str(), 1);
    std::string error;
    if (!bench::load_importer_module(error)) {
        std::fprintf(stderr, "bench_import: %s\n", error.c_str());
        return 1;
    }
    for (int a = 2; a < argc; ++a) {
        Digest d;
        MScene* scene = bench::import_entry(argv[a], bench::Progress::Off);
        if (scene != nullptr) {
            scene->Get_ObjectList()->for_each([&](void* item) {
                auto* object = static_cast<MObj3d*>(item);
                d.text(object->get_name());
                for (int r = 0; r < 4; ++r) d.bytes(object->Get_LocalMatrix()[r], 4 * sizeof(double));
                auto* mesh = dynamic_cast<MMesh_P*>(object);
                if (mesh == nullptr) return;
                for (const MVector3& v : mesh->Vertices()) d.vector(v);
                d.value(mesh->UVUsed());
                for (const MVector3& v : mesh->UVVertices()) d.vector(v);
                d.polygons(mesh->Faces());
                d.polygons(mesh->UVFaces());
                d.value(mesh->material_ref_base);
                mesh->material_refs.for_each([&](void* t) { d.text(static_cast<const char*>(t)); });
            });
            scene->Get_SurfaceList()->for_each([&](void* item) {
                auto* surface = static_cast<MSurface*>(item);
                d.text(surface->get_name());
                d.value(surface->color);
                d.value(surface->alpha);
                for (uint32_t i = 0; i < surface->texture_layers.Count(); ++i) {
                    const MSrf_TextureLayer* l = surface->texture_layers.Get(i);
                    d.value(l->layer_on);
                    d.value(l->image.enabled);
                    d.text(l->image.name);
                    d.vector(l->image.scale);
                    d.vector(l->image.offset);
                    d.value(l->image.wrap_u);
                    d.value(l->image.wrap_v);
                    for (const MSrf_Channel* c : {&l->color_channel, &l->bump_channel}) {
                        d.value(c->on);
                        d.value(c->strength);
                    }
                }
            });
            for (const std::string& m : scene->Get_MapList()->Maps()) d.text(m.c_str());
            const MBoundingBox& box = scene->Get_BoundingBox();
            d.vector(box.min);
            d.vector(box.max);
            d.value(box.empty);
            d.value(scene->Get_CameraList()->count);
            d.value(scene->Get_LightList()->count);
            delete scene;
        }
        if (FILE* l = std::fopen(log.c_str(), "rb")) {
            char* line = nullptr;
            size_t capacity = 0;
            ssize_t got;
            for (int n = 0; (got = ::getline(&line, &capacity, l)) > 0; ++n)
                if (n > 0 && std::strstr(line, log.c_str()) == nullptr) d.bytes(line, static_cast<size_t>(got));
            std::free(line);
            std::fclose(l);
            if (std::getenv("BENCH_KEEP_LOG") == nullptr) std::remove(log.c_str());
        }
        std::printf("%016llx %s\n", static_cast<unsigned long long>(d.h), argv[a]);
    }
    std::remove(ini.c_str());
    return 0;
}

long minor_faults() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// The time a plain sequential read of the file takes, as cat does it.
double cat_seconds(const std::string& path) {
    static std::vector<char> buffer(128 * 1024);
    const auto t0 = Clock::now();
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return 0.0;
    uint64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got <= 0) break;
        total += static_cast<uint64_t>(got);
    }
    ::close(fd);
    benchmark::DoNotOptimize(total);
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double best_cat_seconds(BenchFile& f) {
    if (f.cat_best_s == 0.0) {
        double best = 1e30;
        for (int i = 0; i < 20; ++i) best = std::min(best, cat_seconds(f.path));
        f.cat_best_s = best;
    }
    return f.cat_best_s;
}

// CPU time of this process, user and system: on a busy machine the time an
// import had a core for, which wall-clock time is not.
double cpu_seconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Wall-clock and CPU seconds of one bare import on a trimmed heap, as the
// imports are measured; false when it read nothing.
bool time_bare(const BenchFile& f, bool arrays, double* wall, double* cpu) {
    malloc_trim(0);
    const double c0 = cpu_seconds();
    const auto t0 = Clock::now();
    SceneCounts c;
    if (arrays) {
        const bench::BareCounts a = bench::bare_import_arrays(f.path);
        *wall = std::chrono::duration<double>(Clock::now() - t0).count();
        *cpu = cpu_seconds() - c0;
        c.vertices = a.vertices;
        c.faces = a.faces;
    } else {
        MScene* scene = bench::bare_import(f.path);
        *wall = std::chrono::duration<double>(Clock::now() - t0).count();
        *cpu = cpu_seconds() - c0;
        if (scene != nullptr) c = count_scene(scene);
        delete scene;
    }
    return c.vertices == f.expected.vertices && c.faces == f.expected.faces;
}

// The best of a few bare imports.
double best_bare_seconds(BenchFile& f) {
    if (f.bare_best_s == 0.0) {
        double best = 1e30, best_cpu = 1e30;
        for (int i = 0; i < std::max(3, f.iterations); ++i) {
            double wall = 0.0, cpu = 0.0;
            time_bare(f, false, &wall, &cpu);
            best = std::min(best, wall);
            best_cpu = std::min(best_cpu, cpu);
        }
        f.bare_best_s = best;
        f.bare_best_cpu_s = best_cpu;
    }
    return f.bare_best_s;
}

void set_rate_counters(benchmark::State& state, const BenchFile& f, double best_s) {
    using benchmark::Counter;
    state.counters["bytes/s"] = Counter(static_cast<double>(f.bytes), Counter::kIsIterationInvariantRate);
    state.counters["elem/s"] =
        Counter(static_cast<double>(f.expected.elements()), Counter::kIsIterationInvariantRate);
    state.counters["best_MB/s"] = Counter(static_cast<double>(f.bytes) / 1e6 / best_s);
    state.counters["best_ms"] = Counter(best_s * 1e3);
    state.counters["file_MB"] = Counter(static_cast<double>(f.bytes) / 1e6);
}

void bm_import(benchmark::State& state, BenchFile* f, bench::Progress progress) {
    const double cat_s = best_cat_seconds(*f);
    const double bare_s = best_bare_seconds(*f);
    if (progress == bench::Progress::Live && !f->probed) {
        f->probe = probe_rss(f->path);
        f->probed = true;
    }
    bench::reset_pump_passes();
    double best = 1e30, best_cpu = 1e30;
    long faults = 0;
    for (auto _ : state) {
        // Every import starts on a heap that holds no free memory in place,
        // as a first import does: without this the smaller files reused the
        // pages of the previous import while the larger ones (blocks beyond
        // glibc's mmap threshold) took their page faults again every time.
        malloc_trim(0);
        const long faults_before = minor_faults();
        const double c0 = cpu_seconds();
        const auto t0 = Clock::now();
        MScene* scene = bench::import_entry(f->path, progress);
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        best_cpu = std::min(best_cpu, cpu_seconds() - c0);
        faults += minor_faults() - faults_before;
        state.SetIterationTime(s);
        best = std::min(best, s);
        if (scene == nullptr) {
            state.SkipWithError("import returned no scene");
            break;
        }
        const SceneCounts c = count_scene(scene);
        delete scene;
        if (c.objects != f->expected.objects || c.vertices != f->expected.vertices ||
            c.uv_vertices != f->expected.uv_vertices || c.faces != f->expected.faces ||
            c.surfaces != f->expected.surfaces) {
            state.SkipWithError("the scene does not hold what the file does");
            break;
        }
    }
    set_rate_counters(state, *f, best);
    state.counters["cat_ratio"] = benchmark::Counter(best / cat_s);
    state.counters["bare_ratio"] = benchmark::Counter(best / bare_s);
    state.counters["best_cpu_ms"] = benchmark::Counter(best_cpu * 1e3);
    state.counters["faults"] = benchmark::Counter(static_cast<double>(faults), benchmark::Counter::kAvgIterations);
    state.counters["pump_passes"] =
        benchmark::Counter(static_cast<double>(bench::pump_passes()), benchmark::Counter::kAvgIterations);
    if (progress == bench::Progress::Live && f->probe.peak_kb > 0) {
        state.counters["peak_RSS_MB"] = benchmark::Counter(static_cast<double>(f->probe.peak_kb) / 1024.0);
        state.counters["data_MB"] = benchmark::Counter(static_cast<double>(f->probe.data_bytes) / (1024.0 * 1024.0));
        if (f->probe.data_bytes > 0)
            state.counters["RSS/data"] = benchmark::Counter(static_cast<double>(f->probe.peak_kb) * 1024.0 /
                                                            static_cast<double>(f->probe.data_bytes));
    }
}

void bm_bare(benchmark::State& state, BenchFile* f, bool arrays) {
    double best = 1e30, best_cpu = 1e30;
    for (auto _ : state) {
        double wall = 0.0, cpu = 0.0;
        if (!time_bare(*f, arrays, &wall, &cpu)) {
            state.SkipWithError("the bare reader did not read the file");
            break;
        }
        state.SetIterationTime(wall);
        best = std::min(best, wall);
        best_cpu = std::min(best_cpu, cpu);
    }
    if (arrays) {
        f->arrays_best_s = best;
        f->arrays_best_cpu_s = best_cpu;
    } else {
        best_bare_seconds(*f);
        f->bare_best_s = std::min(f->bare_best_s, best);
        f->bare_best_cpu_s = std::min(f->bare_best_cpu_s, best_cpu);
    }
    set_rate_counters(state, *f, best);
    state.counters["best_cpu_ms"] = benchmark::Counter(best_cpu * 1e3);
}

// The vertexa command beside this program, or $VERTEXA_BENCH_CLI.
std::string cli_path() {
    if (const char* cli = std::getenv("VERTEXA_BENCH_CLI"); cli != nullptr && cli[0] != '\0') return cli;
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "vertexa").string();
}

// One whole conversion by a child process: its wall-clock time, CPU time and
// peak resident memory (KiB); false when it failed. The child must be started
// by a small process: a child's peak counts the memory of the process that
// spawned it, so the benchmark itself has a fresh copy of itself run this
// (--convert-probe).
bool convert_once(const std::string& in, const std::string& out, double* seconds, double* cpu, long* peak_kb) {
    std::string cli = cli_path(), command = "convert", file = in, target = out;
    char* argv[] = {cli.data(), command.data(), file.data(), target.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto t0 = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    *seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    *peak_kb = usage.ru_maxrss;
    *cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void bm_convert(benchmark::State& state, BenchFile* f) {
    const double bare_s = best_bare_seconds(*f);
    if (!f->probed) {
        f->probe = probe_rss(f->path);
        f->probed = true;
    }
    const std::string out = data_dir() + "/convert_out.glb";
    double best = 1e30, best_cpu = 1e30;
    long peak_kb = 0;
    for (auto _ : state) {
        double s = 0.0, cpu = 0.0;
        long kb = 0;
        if (std::sscanf(run_self({"--convert-probe", f->path, out}).c_str(), "%lf %lf %ld", &s, &cpu, &kb) != 3) {
            state.SkipWithError("vertexa convert failed");
            break;
        }
        state.SetIterationTime(s);
        best = std::min(best, s);
        best_cpu = std::min(best_cpu, cpu);
        peak_kb = std::max(peak_kb, kb);
    }
    std::error_code ec;
    std::filesystem::remove(out, ec);
    set_rate_counters(state, *f, best);
    state.counters["bare_ratio"] = benchmark::Counter(best / bare_s);
    state.counters["best_cpu_ms"] = benchmark::Counter(best_cpu * 1e3);
    state.counters["peak_RSS_MB"] = benchmark::Counter(static_cast<double>(peak_kb) / 1024.0);
    if (f->probe.data_bytes > 0) {
        state.counters["data_MB"] = benchmark::Counter(static_cast<double>(f->probe.data_bytes) / (1024.0 * 1024.0));
        state.counters["RSS/data"] =
            benchmark::Counter(static_cast<double>(peak_kb) * 1024.0 / static_cast<double>(f->probe.data_bytes));
    }
}

void bm_cat(benchmark::State& state, BenchFile* f) {
    double best = 1e30;
    for (auto _ : state) {
        const double s = cat_seconds(f->path);
        state.SetIterationTime(s);
        best = std::min(best, s);
    }
    set_rate_counters(state, *f, best);
}

// Keeps every run's counters for the summary after the console table.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    explicit SummaryReporter(OutputOptions options) : ConsoleReporter(options) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (!r.error_occurred) results[r.run_name.function_name] = r.counters;
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, benchmark::UserCounters> results;
};

double counter(const SummaryReporter& rep, const std::string& name, const char* key) {
    auto run = rep.results.find(name);
    if (run == rep.results.end()) return NAN;
    auto c = run->second.find(key);
    return c == run->second.end() ? NAN : c->second.value;
}

void print_summary(const SummaryReporter& rep) {
    std::printf("\nSummary (best of the imports; ratios to the bare reader's best, wall-clock and CPU time):\n");
    std::printf("%-22s %7s %8s %9s %9s %9s %9s %9s %9s %7s %9s %8s %8s\n", "file", "MB", "bare ms", "live MB/s",
                "off MB/s", "live/bare", "off/bare", "cpu live", "cpu off", "cat", "peak RSS", "data MB", "RSS/data");
    for (const BenchFile& f : files) {
        const std::string live = "import/" + f.key + "/live";
        const std::string off = "import/" + f.key + "/off";
        if (rep.results.count(live) == 0 && rep.results.count(off) == 0) continue;
        const double bare_ms = f.bare_best_s * 1e3;
        const double bare_cpu_ms = f.bare_best_cpu_s * 1e3;
        std::printf("%-22s %7.1f %8.1f %9.1f %9.1f %9.2f %9.2f %9.2f %9.2f %7.1f %9.1f %8.1f %8.2f\n",
                    f.key.c_str(),
                    static_cast<double>(f.bytes) / 1e6, bare_ms, counter(rep, live, "best_MB/s"),
                    counter(rep, off, "best_MB/s"), counter(rep, live, "best_ms") / bare_ms,
                    counter(rep, off, "best_ms") / bare_ms, counter(rep, live, "best_cpu_ms") / bare_cpu_ms,
                    counter(rep, off, "best_cpu_ms") / bare_cpu_ms, counter(rep, live, "cat_ratio"),
                    counter(rep, live, "peak_RSS_MB"), counter(rep, live, "data_MB"), counter(rep, live, "RSS/data"));
    }
    std::printf("\nThe same imports as ratios to the bare reader into plain arrays (best, wall-clock and CPU time):\n");
    std::printf("%-22s %9s %9s %9s %9s %9s %9s\n", "file", "arrays ms", "arr cpu", "live/arr", "off/arr", "cpu live",
                "cpu off");
    for (const BenchFile& f : files) {
        const std::string live = "import/" + f.key + "/live";
        const std::string off = "import/" + f.key + "/off";
        if ((rep.results.count(live) == 0 && rep.results.count(off) == 0) || f.arrays_best_s == 0.0) continue;
        const double ms = f.arrays_best_s * 1e3, cpu_ms = f.arrays_best_cpu_s * 1e3;
        std::printf("%-22s %9.1f %9.1f %9.2f %9.2f %9.2f %9.2f\n", f.key.c_str(), ms, cpu_ms,
                    counter(rep, live, "best_ms") / ms, counter(rep, off, "best_ms") / ms,
                    counter(rep, live, "best_cpu_ms") / cpu_ms, counter(rep, off, "best_cpu_ms") / cpu_ms);
    }
    bool header = false;
    for (const BenchFile& f : files) {
        const std::string conv = "convert/" + f.key;
        if (rep.results.count(conv) == 0) continue;
        if (!header) {
            std::printf("\nConversion to .glb, whole vertexa process (best; ratio to the bare import):\n");
            std::printf("%-22s %9s %9s %9s %9s %9s %9s\n", "file", "ms", "MB/s", "/bare", "cpu ms", "peak RSS",
                        "RSS/data");
            header = true;
        }
        std::printf("%-22s %9.1f %9.1f %9.2f %9.1f %9.1f %9.2f\n", f.key.c_str(), counter(rep, conv, "best_ms"),
                    counter(rep, conv, "best_MB/s"), counter(rep, conv, "bare_ratio"), counter(rep, conv, "best_cpu_ms"),
                    counter(rep, conv, "peak_RSS_MB"), counter(rep, conv, "RSS/data"));
    }
    std::printf("\nLinearity (best wall-clock and CPU time of the larger file over the smaller; at most 1.1 x the\n"
                "element ratio wanted, judged on CPU time):\n");
    for (const BenchFile& big : files) {
        for (const BenchFile& small : files) {
            if (small.shape != big.shape || small.encoding != big.encoding || small.scale * 10 != big.scale) continue;
            for (const char* mode : {"import/%s/live", "import/%s/off", "bare/%s", "bare_arrays/%s", "convert/%s"}) {
                char nb[128], ns[128];
                std::snprintf(nb, sizeof nb, mode, big.key.c_str());
                std::snprintf(ns, sizeof ns, mode, small.key.c_str());
                const double tb = counter(rep, nb, "best_ms");
                const double ts = counter(rep, ns, "best_ms");
                const double cb = counter(rep, nb, "best_cpu_ms");
                const double cs = counter(rep, ns, "best_cpu_ms");
                if (std::isnan(tb) || std::isnan(ts)) continue;
                const double elements = static_cast<double>(big.expected.elements()) /
                                        static_cast<double>(small.expected.elements());
                std::printf("  %-30s / %-24s elements x%.1f  time x%.2f  cpu x%.2f  %s\n", nb, small.key.c_str(),
                            elements, tb / ts, cb / cs, cb / cs <= 1.1 * elements ? "ok" : "NOT MET");
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--rss-probe") == 0) return run_rss_probe(argv[2]);
    if (argc >= 2 && std::strcmp(argv[1], "--digest") == 0) return run_digest(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--convert-probe") == 0) {
        double s = 0.0, cpu = 0.0;
        long kb = 0;
        if (!convert_once(argv[2], argv[3], &s, &cpu, &kb)) return 1;
        std::printf("%.6f %.6f %ld\n", s, cpu, kb);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--bare-arrays") == 0) return bench::bare_import_arrays(argv[2]).vertices > 0 ? 0 : 1;
    const bool once = argc == 3 && (std::strcmp(argv[1], "--once") == 0 || std::strcmp(argv[1], "--once-live") == 0);
    if (once || (argc == 3 && std::strcmp(argv[1], "--bare") == 0)) {
        // One import, for profilers: callgrind --toggle-collect='bench::import_entry*' or 'bench::bare_import*'.
        use_bench_profile();
        std::string error;
        if (once && !bench::load_importer_module(error)) return 1;
        const bench::Progress progress = argv[1][6] == '-' ? bench::Progress::Live : bench::Progress::Off;
        MScene* scene = once ? bench::import_entry(argv[2], progress) : bench::bare_import(argv[2]);
        const bool read = scene != nullptr;
        delete scene;
        return read ? 0 : 1;
    }
    define_files();
    if (argc == 2 && std::strcmp(argv[1], "--make-files") == 0) {
        make_missing_files();
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    make_missing_files();
    use_bench_profile();
    std::string error;
    if (!bench::load_importer_module(error)) {
        std::fprintf(stderr, "bench_import: %s\n", error.c_str());
        return 1;
    }

    for (BenchFile& f : files) {
        for (bench::Progress p : {bench::Progress::Live, bench::Progress::Off}) {
            const std::string name = "import/" + f.key + (p == bench::Progress::Live ? "/live" : "/off");
            benchmark::RegisterBenchmark(name.c_str(), bm_import, &f, p)
                ->UseManualTime()
                ->Iterations(f.iterations)
                ->Unit(benchmark::kMillisecond);
        }
        for (bool arrays : {false, true})
            benchmark::RegisterBenchmark(((arrays ? "bare_arrays/" : "bare/") + f.key).c_str(), bm_bare, &f, arrays)
                ->UseManualTime()
                ->Iterations(f.iterations)
                ->Unit(benchmark::kMillisecond);
        if (f.shape == "torus")
            benchmark::RegisterBenchmark(("convert/" + f.key).c_str(), bm_convert, &f)
                ->UseManualTime()
                ->Iterations(f.iterations > 5 ? 5 : 3)
                ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("cat/" + f.key).c_str(), bm_cat, &f)
            ->UseManualTime()
            ->Iterations(20)
            ->Unit(benchmark::kMillisecond);
    }
    SummaryReporter reporter(::isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                     : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_summary(reporter);
    benchmark::Shutdown();
    return 0;
}
