// OBJ and MTL output. OBJ has no nodes: positions are written in world space
// and every mesh is an object ("o") of its own, each material one "usemtl"
// run of faces.
#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>
#include <set>

#include "vertexa/scene.h"
#include "writers.h"

namespace vertexa::convert {

namespace {

// Names in OBJ and MTL end at white space: blanks and controls become '_'.
std::string safe_name(const std::string& text) {
    std::string s = to_utf8(text);
    for (char& c : s)
        if (static_cast<unsigned char>(c) <= ' ' || c == '#') c = '_';
    return s.empty() ? std::string("unnamed") : s;
}

std::string num(double v) {
    if (!std::isfinite(v)) v = 0.0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

double unit(double v) { return std::isfinite(v) ? std::fmin(1.0, std::fmax(0.0, v)) : 1.0; }

}  // namespace

const MSrf_TextureLayer* color_layer(const MSurface& surface) {
    for (uint32_t i = 0; i < surface.texture_layers.Count(); ++i) {
        const MSrf_TextureLayer* l = surface.texture_layers.Get(i);
        if (l != nullptr && l->layer_on != 0 && l->image.enabled != 0 && l->color_channel.on != 0 && l->image.name[0] != '\0')
            return l;
    }
    return nullptr;
}

const MSrf_TextureLayer* bump_layer(const MSurface& surface) {
    for (uint32_t i = 0; i < surface.texture_layers.Count(); ++i) {
        const MSrf_TextureLayer* l = surface.texture_layers.Get(i);
        if (l != nullptr && l->layer_on != 0 && l->image.enabled != 0 && l->bump_channel.on != 0 && l->image.name[0] != '\0')
            return l;
    }
    return nullptr;
}

void write_obj(const std::vector<MeshOut>& meshes, ImageCache& images, const std::string& out, OutputFiles& files,
               std::ostream& /*err*/) {
    const std::string stem = file_stem(out);
    const std::string folder = folder_of(out);
    const std::string mtl_name = stem + ".mtl";
    std::string obj = "# written by vertexa convert\nmtllib " + mtl_name + "\n";
    std::string mtl = "# written by vertexa convert\n";
    std::map<const MSurface*, std::string> material_name;
    std::set<std::string> taken;
    std::map<int, std::string> image_file;
    std::vector<std::pair<std::string, std::string>> beside;

    auto image_for = [&](const MSrf_TextureLayer& layer) -> std::string {
        const int image = images.get(layer.image.name);
        if (image < 0) return {};
        auto it = image_file.find(image);
        if (it != image_file.end()) return it->second;
        const Image& img = images.images()[image];
        const std::string name = safe_name(stem + "_" + std::to_string(image_file.size()) + "_" + img.stem) + img.extension();
        beside.emplace_back(folder + name, img.bytes);
        image_file[image] = name;
        return name;
    };
    auto tiling = [](const MSrf_TextureLayer& l) {
        return "-o " + num(l.image.offset[0]) + " " + num(l.image.offset[1]) + " 0 -s " + num(l.image.scale[0]) + " " +
               num(l.image.scale[1]) + " 1 ";
    };
    auto material_for = [&](const MSurface* s) {
        auto it = material_name.find(s);
        if (it != material_name.end()) return it->second;
        std::string name = safe_name(s != nullptr ? vertexa::utf8_from_cp1252(s->get_name()) : "DEFAULT");
        for (int k = 2; taken.count(name) != 0; ++k) name = safe_name(s != nullptr ? vertexa::utf8_from_cp1252(s->get_name()) : "DEFAULT") + "_" + std::to_string(k);
        taken.insert(name);
        material_name[s] = name;
        mtl += "\nnewmtl " + name + "\n";
        if (s != nullptr) {
            mtl += "Kd " + num(unit(s->color.r)) + " " + num(unit(s->color.g)) + " " + num(unit(s->color.b)) + "\n";
            mtl += "d " + num(unit(s->alpha)) + "\n";
            if (const MSrf_TextureLayer* l = color_layer(*s)) {
                const std::string file = image_for(*l);
                if (!file.empty()) mtl += "map_Kd " + tiling(*l) + file + "\n";
            }
            if (const MSrf_TextureLayer* l = bump_layer(*s)) {
                const std::string file = image_for(*l);
                if (!file.empty()) {
                    const std::string args = "-bm " + num(l->bump_channel.strength) + " " + tiling(*l) + file + "\n";
                    mtl += "map_bump " + args;
                    mtl += "bump " + args;
                }
            }
        } else {
            mtl += "Kd 1 1 1\nd 1\n";
        }
        return name;
    };

    uint64_t v_base = 1, vt_base = 1;
    for (const MeshOut& mesh : meshes) {
        obj += "o " + safe_name(mesh.name) + "\n";
        for (const Primitive& p : mesh.primitives) {
            for (size_t i = 0; i + 2 < p.positions.size(); i += 3)
                obj += "v " + num(p.positions[i]) + " " + num(p.positions[i + 1]) + " " + num(p.positions[i + 2]) + "\n";
            if (p.has_uvs)
                for (size_t i = 0; i + 1 < p.uvs.size(); i += 2) obj += "vt " + num(p.uvs[i]) + " " + num(p.uvs[i + 1]) + "\n";
        }
        for (const Primitive& p : mesh.primitives) {
            obj += "usemtl " + material_for(p.surface) + "\n";
            for (size_t t = 0; t + 2 < p.indices.size(); t += 3) {
                obj += "f";
                for (int k = 0; k < 3; ++k) {
                    obj += " " + std::to_string(v_base + p.indices[t + k]);
                    if (p.has_uvs) obj += "/" + std::to_string(vt_base + p.indices[t + k]);
                }
                obj += "\n";
            }
            v_base += p.vertex_count();
            if (p.has_uvs) vt_base += p.vertex_count();
        }
    }
    files.add(out, std::move(obj));
    files.add(folder + mtl_name, std::move(mtl));
    for (auto& [path, bytes] : beside) files.add(path, std::move(bytes));
}

}  // namespace vertexa::convert
