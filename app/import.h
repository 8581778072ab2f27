// Importing a file into a host scene.
#pragma once

#include <string>

class MScene;

// Imports `path` with the options of the profile; the scene belongs to the
// caller (delete it to free it through the host). Null only when no memory.
MScene* import_scene(const std::string& path);
