// A reader that only fills the host's mesh arrays from a well-formed file, as
// fast as the data allows: the limit the import's figures are given against.
#pragma once

#include <cstdint>
#include <string>

class MScene;

namespace bench {

// The polygon objects of `path` as meshes of a new scene (the caller's);
// null when the file cannot be mapped. The file is trusted: a damaged one
// may crash it.
MScene* bare_import(const std::string& path);

// The same into plain arrays of the host's layout instead of the host's
// meshes, dropped at the end of each object; what was read.
struct BareCounts {
    uint64_t vertices = 0;
    uint64_t faces = 0;
};
BareCounts bare_import_arrays(const std::string& path);

}  // namespace bench
