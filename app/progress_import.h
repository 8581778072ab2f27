// Importing with the plug-in's progress window drawn on the terminal.
#pragma once

#include <string>

class MScene;

// As import_scene, with the progress window shown while the file is read:
// the terminal front end redraws it in place on standard error and erases it
// when the import is done.
MScene* import_scene_with_progress(const std::string& path);
