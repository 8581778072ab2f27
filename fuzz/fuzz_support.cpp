#include "fuzz_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "vertexa/memory.h"

namespace fuzz {

const std::string& scratch_dir() {
    static const std::string dir = [] {
        struct stat st;
        const std::string base = (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)) ? "/dev/shm" : "/tmp";
        std::string d = base + "/vertexa-fuzz-" + std::to_string(::getpid());
        if (::mkdir(d.c_str(), 0700) != 0 && ::access(d.c_str(), W_OK) != 0) {
            std::fprintf(stderr, "cannot create the scratch folder %s\n", d.c_str());
            std::abort();
        }
        // libFuzzer ends by exit(): the folder goes with the process. The
        // handler runs after this static is destroyed, so it keeps a copy.
        static const std::string* const doomed = new std::string(d);
        std::atexit([] { std::filesystem::remove_all(*doomed); });
        return d;
    }();
    return dir;
}

std::string write_scratch(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = scratch_dir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size != 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
    return path;
}

void use_unwritable_profile() { ::setenv("VERTEXA_PROFILE", "/dev/null/vertexa-fuzz.ini", 1); }

void run_on_cob_file(const uint8_t* data, size_t size, const char* what,
                     const std::function<void(const std::string& path)>& run) {
    const std::string path = write_scratch("input.cob", data, size);
    const uint64_t live = vertexa::alloc_stats().live_blocks;
    run(path);
    const uint64_t now = vertexa::alloc_stats().live_blocks;
    if (now == live) return;
    std::fprintf(stderr, "%s left %lld host blocks alive\n", what, static_cast<long long>(now - live));
    std::abort();
}

}  // namespace fuzz
