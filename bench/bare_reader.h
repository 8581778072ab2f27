// A reader that only fills the host's mesh arrays from a well-formed file, as
// fast as the data allows: the limit the import's figures are given against.
#pragma once

#include <string>

class MScene;

namespace bench {

// The polygon objects of `path` as meshes of a new scene (the caller's);
// null when the file cannot be mapped. The file is trusted: a damaged one
// may crash it.
MScene* bare_import(const std::string& path);

}  // namespace bench
