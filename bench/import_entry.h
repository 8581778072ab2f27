// The one import entry point that the benchmark measures: the plug-in module
// as the host drives it (load the module, make its importer, SetShowProgress,
// Import), with the headless front end, so that the progress window is
// created, updated and pumped as on a screen, only not drawn.
#pragma once

#include <string>

class MScene;

namespace bench {

enum class Progress { Live, Off };

// Loads the module (once; later calls return the first answer) and selects
// the headless front end. False with `error` set when the module cannot be
// used.
bool load_importer_module(std::string& error);

// Imports `path` with the options of the profile ($VERTEXA_PROFILE) through a
// fresh importer of the module; the scene belongs to the caller. Null when
// the module is not loaded or the importer returned nothing.
MScene* import_entry(const std::string& path, Progress progress);

// Passes of the progress window's message pump since the last reset: one per
// move of a progress bar that got past the window's throttle.
long pump_passes();
void reset_pump_passes();

}  // namespace bench
