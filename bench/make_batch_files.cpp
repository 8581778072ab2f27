// Writes a folder of mid-size trueSpace files for timing `vertexa convert
// IN... -o DIR -j N`: COUNT tori of RINGS x RINGS vertices in ten
// subfolders, every other one ASCII.
//   make_batch_files DIR [COUNT=200] [RINGS=150]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "generate.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: make_batch_files DIR [COUNT] [RINGS]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 200;
    const int rings = argc > 3 ? std::atoi(argv[3]) : 150;
    if (count <= 0 || rings < 3 || rings > 2000) {
        std::fprintf(stderr, "make_batch_files: COUNT must be positive and RINGS from 3 to 2000\n");
        return 2;
    }
    const bench::TorusShape shape{static_cast<uint32_t>(rings), static_cast<uint32_t>(rings)};
    const cobtest::CobFile files[2] = {bench::torus_file(cobtest::Encoding::Binary, shape),
                                       bench::torus_file(cobtest::Encoding::Ascii, shape)};
    for (int i = 0; i < count; ++i) {
        const std::string folder = dir + "/set" + std::to_string(i % 10);
        std::filesystem::create_directories(folder);
        files[i % 2].write(folder + "/torus" + std::to_string(i) + (i % 2 ? ".scn" : ".cob"));
    }
    std::printf("%d files of %d vertices in %s\n", count, rings * rings, dir.c_str());
    return 0;
}
