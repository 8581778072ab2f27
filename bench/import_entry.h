// The one import entry point that the benchmark measures. It runs the
// reader's import driver with a progress record of bench/progress.h; once the
// plug-in module exists, this is the function to point at it (load the
// module, make its importer, SetShowProgress, Import).
#pragma once

#include <string>

class MScene;

namespace bench {

enum class Progress { Live, Off };

// Imports `path` with the options of the profile ($VERTEXA_PROFILE); the scene
// belongs to the caller. Null when no memory.
MScene* import_entry(const std::string& path, Progress progress);

}  // namespace bench
