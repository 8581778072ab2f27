// What `vertexa info` prints about an imported scene.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

class MScene;

// The scene as one JSON object: file, objects, surfaces, maps, search_paths,
// bounding_box, cameras, lights; lists in the scene's own order.
nlohmann::ordered_json scene_summary(MScene& scene, const std::string& file);
// The same facts as short lines for people.
std::string scene_summary_text(MScene& scene, const std::string& file);
