// OBJ and MTL output. OBJ has no nodes: positions are written in world space
// and every mesh is an object ("o") of its own, each material one "usemtl"
// run of faces. Faces stay the polygons the file has, with positions,
// texture coordinates and normals indexed separately.
#include <cmath>
#include <charconv>
#include <cstdio>
#include <map>
#include <ostream>

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

// The shortest text that reads back to the same float.
void append_float(std::string& out, float v) {
    if (!std::isfinite(v) || v == 0.0f) v = 0.0f;  // no "-0"
    char buf[32];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

void append_index(std::string& out, uint64_t v) {
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

void append_floats(std::string& out, const char* tag, const std::vector<float>& values, size_t width) {
    for (size_t i = 0; i + width <= values.size(); i += width) {
        out += tag;
        for (size_t k = 0; k < width; ++k) {
            out += ' ';
            append_float(out, values[i + k]);
        }
        out += '\n';
    }
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

void write_obj(std::vector<MeshOut>& meshes, ImageCache& images, const std::string& out, OutputFiles& files,
               std::ostream& /*err*/) {
    const std::string stem = file_stem(out);
    const std::string folder = folder_of(out);
    const std::string mtl_name = stem + ".mtl";
    std::string obj = "# written by vertexa convert\nmtllib " + mtl_name + "\n";
    std::string mtl = "# written by vertexa convert\n";
    std::map<const MSurface*, std::string> material_name;
    UniqueNames taken, objects;
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
    auto material_for = [&](const Primitive& p) {
        const MSurface* s = p.surface;
        auto it = material_name.find(s);
        if (it != material_name.end()) return it->second;
        const std::string name = taken.take(safe_name(p.name));
        material_name[s] = name;
        mtl += "\n";
        if (s != nullptr) mtl += "# key " + safe_name(p.key) + "\n";
        mtl += "newmtl " + name + "\n";
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

    uint64_t v_base = 1, vt_base = 1, vn_base = 1;
    for (MeshOut& mesh : meshes) {
        obj += "o " + objects.take(safe_name(mesh.name)) + "\n";
        append_floats(obj, "v", mesh.positions, 3);
        append_floats(obj, "vt", mesh.uvs, 2);
        append_floats(obj, "vn", mesh.normals, 3);
        for (Primitive& p : mesh.primitives) {
            obj += "usemtl " + material_for(p) + "\n";
            size_t c = 0;
            for (uint32_t size : p.polygon_sizes) {
                obj += 'f';
                for (uint32_t k = 0; k < size; ++k, c += 3) {
                    obj += ' ';
                    append_index(obj, v_base + p.corners[c]);
                    obj += '/';
                    if (p.corners[c + 1] != kNoIndex) append_index(obj, vt_base + p.corners[c + 1]);
                    obj += '/';
                    append_index(obj, vn_base + p.corners[c + 2]);
                }
                obj += '\n';
            }
            std::vector<uint32_t>().swap(p.corners);
        }
        v_base += mesh.positions.size() / 3;
        vt_base += mesh.uvs.size() / 2;
        vn_base += mesh.normals.size() / 3;
        std::vector<float>().swap(mesh.positions);
    }
    files.add(out, std::move(obj));
    files.add(folder + mtl_name, std::move(mtl));
    for (auto& [path, bytes] : beside) files.add(path, std::move(bytes));
}

}  // namespace vertexa::convert
