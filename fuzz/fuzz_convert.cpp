// What `vertexa` does with a scene after the import: the summary of
// `info --json` and `info` (every name and path of the file reaches the JSON
// and the text), and the conversion to .glb, .gltf and .obj written into the
// scratch folder (placement, normals, triangulation, welding, images looked
// up beside the input, all files committed). Host blocks are checked as in
// the import target.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "convert.h"
#include "fuzz_support.h"
#include "import.h"
#include "summary.h"
#include "vertexa/scene.h"

namespace cv = vertexa::convert;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::use_unwritable_profile();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::run_on_cob_file(data, size, "summary or conversion", [](const std::string& path) {
        std::unique_ptr<MScene> scene(import_scene(path));
        if (!scene) std::abort();
        // As `info --json` and `info` print them; a throw ends the run.
        const std::string json = scene_summary(*scene, path).dump(2);
        const std::string text = scene_summary_text(*scene, path);
        if (json.empty() || text.empty()) std::abort();
        std::ostringstream err;
        cv::Options options;
        for (const auto& [format, name] : {std::pair{cv::Format::Glb, "/out.glb"}, std::pair{cv::Format::Gltf, "/out.gltf"},
                                           std::pair{cv::Format::Obj, "/out.obj"}})
            cv::convert_scene(*scene, fuzz::scratch_dir() + name, format, options, err);
    });
    return 0;
}
