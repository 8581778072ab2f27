#include "summary.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "vertexa/scene.h"
#include "vertexa/text.h"

namespace {

using json = nlohmann::ordered_json;

json vec3(const MVector3& v) { return json::array({v[0], v[1], v[2]}); }

json matrix(const MMatrix& m) {
    json rows = json::array();
    for (int i = 0; i < 4; ++i) rows.push_back(json::array({m[i][0], m[i][1], m[i][2], m[i][3]}));
    return rows;
}

json channel(const MSrf_Channel& c) { return json{{"on", c.on}, {"strength", c.strength}}; }

// Names from the file are Windows-1252; paths and the profile's texts are
// the system's.
std::string name(const char* text) { return vertexa::utf8_from_cp1252(text != nullptr ? text : ""); }
std::string native(const std::string& text) { return vertexa::utf8_from_native(text); }

std::vector<std::string> names(const std::vector<std::string>& texts, bool from_file) {
    std::vector<std::string> out;
    for (const std::string& t : texts) out.push_back(from_file ? name(t.c_str()) : native(t));
    return out;
}

// Every number of the file is single precision: the shortest text that reads
// back as the same float (0.8, not 0.800000011920929).
std::string num(double v) {
    char text[32];
    const bool fits = !std::isfinite(v) || std::fabs(v) <= std::numeric_limits<float>::max();
    const auto end = fits ? std::to_chars(text, text + sizeof text, static_cast<float>(v)).ptr
                          : std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(text, end);
}

std::string vec3_text(const MVector3& v) {
    return std::string("(").append(num(v[0])).append(", ").append(num(v[1])).append(", ").append(num(v[2])).append(")");
}

}  // namespace

json scene_summary(MScene& scene, const std::string& file) {
    json out;
    out["file"] = native(file);
    json objects = json::array();
    scene.Get_ObjectList()->for_each([&](void* item) {
        auto* obj = static_cast<MObj3d*>(item);
        json o;
        o["name"] = name(obj->get_name());
        auto* mesh = dynamic_cast<MMesh_P*>(obj);
        if (mesh != nullptr) {
            o["vertices"] = mesh->Get_Vertex_Count();
            o["uv_vertices"] = mesh->Get_UVVertex_Count();
            o["faces"] = mesh->Get_Face_Count();
            o["uv_faces"] = mesh->Get_UVFace_Count();
            json refs = json::array();
            mesh->material_refs.for_each([&](void* text) { refs.push_back(name(static_cast<const char*>(text))); });
            o["material_refs"] = refs;
        }
        o["local_matrix"] = matrix(obj->Get_LocalMatrix());
        objects.push_back(o);
    });
    out["objects"] = objects;

    json surfaces = json::array();
    scene.Get_SurfaceList()->for_each([&](void* item) {
        auto* s = static_cast<MSurface*>(item);
        json j;
        j["name"] = name(s->get_name());
        j["color"] = json::array({s->color.r, s->color.g, s->color.b, s->color.a});
        j["alpha"] = s->alpha;
        json layers = json::array();
        for (uint32_t i = 0; i < s->texture_layers.Count(); ++i) {
            const MSrf_TextureLayer* l = s->texture_layers.Get(i);
            layers.push_back(json{{"image", name(l->image.name)},
                                  {"color_channel", channel(l->color_channel)},
                                  {"bump_channel", channel(l->bump_channel)},
                                  {"scale", vec3(l->image.scale)},
                                  {"offset", vec3(l->image.offset)}});
        }
        j["layers"] = layers;
        surfaces.push_back(j);
    });
    out["surfaces"] = surfaces;
    out["maps"] = names(scene.Get_MapList()->Maps(), true);
    out["search_paths"] = names(scene.Get_MapList()->SearchPathTexts(), false);
    const MBoundingBox& box = scene.Get_BoundingBox();
    out["bounding_box"] = json{{"min", vec3(box.min)}, {"max", vec3(box.max)}};
    out["cameras"] = scene.Get_CameraList()->size();
    out["lights"] = scene.Get_LightList()->size();
    return out;
}

std::string scene_summary_text(MScene& scene, const std::string& file) {
    std::string out = "file: " + native(file) + "\n";
    out += "objects: " + std::to_string(scene.Get_ObjectList()->size()) + "\n";
    scene.Get_ObjectList()->for_each([&](void* item) {
        auto* obj = static_cast<MObj3d*>(item);
        out += "  " + name(obj->get_name());
        if (auto* mesh = dynamic_cast<MMesh_P*>(obj)) {
            out += ": " + std::to_string(mesh->Get_Vertex_Count()) + " vertices, " +
                   std::to_string(mesh->Get_UVVertex_Count()) + " texture vertices, " +
                   std::to_string(mesh->Get_Face_Count()) + " faces, " + std::to_string(mesh->Get_UVFace_Count()) +
                   " texture faces";
            if (mesh->material_refs.size() != 0) {
                out += "; materials";
                mesh->material_refs.for_each([&](void* t) { out.append(" ").append(name(static_cast<const char*>(t))); });
            }
            const MMatrix& m = obj->Get_LocalMatrix();
            out += "; at " + vec3_text(MVector3(m[3][0], m[3][1], m[3][2]));
        }
        out += "\n";
    });
    out += "surfaces: " + std::to_string(scene.Get_SurfaceList()->size()) + "\n";
    scene.Get_SurfaceList()->for_each([&](void* item) {
        auto* s = static_cast<MSurface*>(item);
        out += "  " + name(s->get_name()) + ": color " + vec3_text(MVector3(s->color.r, s->color.g, s->color.b)) +
               ", alpha " + num(s->alpha);
        for (uint32_t i = 0; i < s->texture_layers.Count(); ++i) {
            const MSrf_TextureLayer* l = s->texture_layers.Get(i);
            out += std::string(l->bump_channel.on != 0 ? "; bump " : "; texture ") + name(l->image.name) + " scale " +
                   vec3_text(l->image.scale) + " offset " + vec3_text(l->image.offset);
        }
        out += "\n";
    });
    const auto& maps = scene.Get_MapList()->Maps();
    out += "maps: " + std::to_string(maps.size()) + "\n";
    for (const auto& m : maps) out += "  " + name(m.c_str()) + "\n";
    out += "search paths:";
    for (const auto& p : scene.Get_MapList()->SearchPathTexts()) out += " \"" + native(p) + "\"";
    out += "\n";
    const MBoundingBox& box = scene.Get_BoundingBox();
    out += "bounding box: " + vec3_text(box.min) + " to " + vec3_text(box.max) + "\n";
    out += "cameras: " + std::to_string(scene.Get_CameraList()->size()) +
           ", lights: " + std::to_string(scene.Get_LightList()->size()) + "\n";
    return out;
}
