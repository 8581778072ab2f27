// glTF 2.0 output. Every mesh is a node of the one scene; each of its
// materials is a primitive with its own vertex stream. What the file holds
// is kept to what is used, so that validators find no unused objects.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <ostream>

#include <nlohmann/json.hpp>

#include "vertexa/scene.h"
#include "writers.h"

namespace vertexa::convert {

using nlohmann::json;

namespace {

constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
constexpr int kFloat = 5126;
constexpr int kUnsignedInt = 5125;

double unit(double v) {
    if (!std::isfinite(v)) return 1.0;
    return std::clamp(v, 0.0, 1.0);
}

double finite_or(double v, double fallback) { return std::isfinite(v) ? v : fallback; }

// The binary buffer is laid out first and filled once the JSON is written:
// the vertex data is copied once, into the output itself, and each
// primitive's arrays are freed as soon as they are in.
class Builder {
public:
    size_t size = 0;
    json accessors = json::array();
    json views = json::array();

    int view(const void* data, size_t bytes, int target, std::vector<float>* floats = nullptr,
             std::vector<uint32_t>* ints = nullptr) {
        size = (size + 3) & ~size_t{3};
        json v = {{"buffer", 0}, {"byteOffset", size}, {"byteLength", bytes}};
        if (target != 0) v["target"] = target;
        pieces_.push_back({static_cast<const char*>(data), bytes, size, floats, ints});
        size += bytes;
        views.push_back(v);
        return static_cast<int>(views.size() - 1);
    }

    int floats(std::vector<float>& values, int width, bool bounds) {
        const int v = view(values.data(), values.size() * sizeof(float), kArrayBuffer, &values);
        json a = {{"bufferView", v}, {"componentType", kFloat}, {"count", values.size() / width},
                  {"type", width == 3 ? "VEC3" : "VEC2"}};
        if (bounds) {
            std::vector<float> lo(width, std::numeric_limits<float>::max()), hi(width, -std::numeric_limits<float>::max());
            for (size_t i = 0; i < values.size(); i += width)
                for (int k = 0; k < width; ++k) {
                    lo[k] = std::min(lo[k], values[i + k]);
                    hi[k] = std::max(hi[k], values[i + k]);
                }
            a["min"] = lo;
            a["max"] = hi;
        }
        accessors.push_back(a);
        return static_cast<int>(accessors.size() - 1);
    }

    int indices(std::vector<uint32_t>& values) {
        const int v = view(values.data(), values.size() * sizeof(uint32_t), kElementArrayBuffer, nullptr, &values);
        accessors.push_back({{"bufferView", v}, {"componentType", kUnsignedInt}, {"count", values.size()}, {"type", "SCALAR"}});
        return static_cast<int>(accessors.size() - 1);
    }

    // Appends the buffer, padded to a multiple of 4 bytes, to `out`.
    void write(std::string& out) {
        const size_t start = out.size();
        for (Piece& p : pieces_) {
            out.resize(start + p.offset, '\0');
            out.append(p.data, p.bytes);
            if (p.floats != nullptr) std::vector<float>().swap(*p.floats);
            if (p.ints != nullptr) std::vector<uint32_t>().swap(*p.ints);
        }
        out.resize(start + padded(), '\0');
    }
    size_t padded() const { return (size + 3) & ~size_t{3}; }

private:
    struct Piece {
        const char* data;
        size_t bytes, offset;
        std::vector<float>* floats;  // the owner, freed once copied
        std::vector<uint32_t>* ints;
    };
    std::vector<Piece> pieces_;
};

}  // namespace

void write_gltf(std::vector<MeshOut>& meshes, ImageCache& images, const std::string& out, bool binary,
                OutputFiles& files, std::ostream& err) {
    Builder b;
    json gltf;
    gltf["asset"] = {{"version", "2.0"}, {"generator", "vertexa convert"}};
    json nodes = json::array(), gl_meshes = json::array(), materials = json::array();
    json textures = json::array(), gl_images = json::array();
    std::map<const MSurface*, int> material_of;
    std::map<int, int> texture_of;  // image cache index -> texture
    UniqueNames material_names;
    bool transform_used = false;
    bool warned_bump = false;
    const std::string stem = file_stem(out);
    const std::string folder = folder_of(out);
    std::vector<std::pair<std::string, std::string>> beside;  // image files of a .gltf

    auto texture_for = [&](int image) {
        auto it = texture_of.find(image);
        if (it != texture_of.end()) return it->second;
        const Image& img = images.images()[image];
        json gi = {{"name", to_utf8(img.stem)}};
        if (binary) {
            gi["bufferView"] = b.view(img.bytes.data(), img.bytes.size(), 0);
            gi["mimeType"] = img.mime;
        } else {
            const std::string name = stem + "_" + std::to_string(gl_images.size()) + "_" + img.stem + img.extension();
            beside.emplace_back(folder + name, img.bytes);
            gi["uri"] = to_utf8(name);
        }
        gl_images.push_back(gi);
        textures.push_back({{"sampler", 0}, {"source", gl_images.size() - 1}});
        const int t = static_cast<int>(textures.size() - 1);
        texture_of[image] = t;
        return t;
    };

    // The material of a surface, and whether it samples a texture.
    auto material_for = [&](const Primitive& p) {
        const MSurface* s = p.surface;
        auto it = material_of.find(s);
        if (it != material_of.end()) return it->second;
        json m;
        json pbr = {{"metallicFactor", 0.0}, {"roughnessFactor", 0.7}};
        double alpha = 1.0;
        m["name"] = material_names.take(p.name);
        if (s != nullptr) {
            m["extras"] = {{"key", p.key}};
            alpha = unit(s->alpha);
            pbr["baseColorFactor"] = {unit(s->color.r), unit(s->color.g), unit(s->color.b), alpha};
            if (const MSrf_TextureLayer* layer = color_layer(*s)) {
                const int image = images.get(layer->image.name);
                if (image >= 0) {
                    json info = {{"index", texture_for(image)}};
                    // trueSpace's texture space has v upwards, glTF's downwards:
                    // with v' = 1 - v a repeat r and offset o along v become
                    // scale r and offset 1 - r - o.
                    const double ru = finite_or(layer->image.scale[0], 1.0), rv = finite_or(layer->image.scale[1], 1.0);
                    const double ou = finite_or(layer->image.offset[0], 0.0), ov = finite_or(layer->image.offset[1], 0.0);
                    if (ru != 1.0 || rv != 1.0 || ou != 0.0 || ov != 0.0) {
                        info["extensions"]["KHR_texture_transform"] = {{"offset", {ou, 1.0 - rv - ov}},
                                                                       {"scale", {ru, rv}}};
                        transform_used = true;
                    }
                    pbr["baseColorTexture"] = info;
                }
            }
            if (bump_layer(*s) != nullptr && !warned_bump) {
                err << "vertexa: warning: bump maps are not written to glTF (a bump map is no normal map)\n";
                warned_bump = true;
            }
        }
        m["pbrMetallicRoughness"] = pbr;
        if (alpha < 1.0) m["alphaMode"] = "BLEND";
        materials.push_back(m);
        const int index = static_cast<int>(materials.size() - 1);
        material_of[s] = index;
        return index;
    };

    for (MeshOut& mesh : meshes) {
        json prims = json::array();
        for (Primitive& p : mesh.primitives) {
            const int material = material_for(p);
            json attributes = {{"POSITION", b.floats(p.positions, 3, true)}, {"NORMAL", b.floats(p.normals, 3, false)}};
            if (p.has_uvs) {
                // glTF's v runs downwards.
                for (size_t i = 1; i < p.uvs.size(); i += 2) p.uvs[i] = 1.0f - p.uvs[i];
                attributes["TEXCOORD_0"] = b.floats(p.uvs, 2, false);
            }
            prims.push_back({{"attributes", attributes}, {"indices", b.indices(p.indices)}, {"material", material}});
        }
        gl_meshes.push_back({{"name", mesh.name}, {"primitives", prims}});
        json node = {{"name", mesh.name}, {"mesh", gl_meshes.size() - 1}};
        if (!mesh.placement.is_identity()) node["matrix"] = mesh.placement.gltf_matrix();
        nodes.push_back(node);
    }
    json scene_nodes = json::array();
    for (size_t i = 0; i < nodes.size(); ++i) scene_nodes.push_back(i);
    gltf["scene"] = 0;
    gltf["scenes"] = json::array({{{"nodes", scene_nodes}}});
    gltf["nodes"] = nodes;
    gltf["meshes"] = gl_meshes;
    gltf["materials"] = materials;
    if (!textures.empty()) {
        gltf["textures"] = textures;
        gltf["images"] = gl_images;
        // trueSpace repeats its maps in both directions.
        gltf["samplers"] = json::array({{{"magFilter", 9729}, {"minFilter", 9987}, {"wrapS", 10497}, {"wrapT", 10497}}});
    }
    if (transform_used) gltf["extensionsUsed"] = {"KHR_texture_transform"};
    gltf["accessors"] = std::move(b.accessors);
    gltf["bufferViews"] = std::move(b.views);
    json buffer = {{"byteLength", b.padded()}};
    if (!binary) buffer["uri"] = to_utf8(stem + ".bin");
    gltf["buffers"] = json::array({buffer});

    std::string text = gltf.dump(binary ? -1 : 2, ' ', false, json::error_handler_t::replace);
    gltf = json();
    if (!binary) {
        std::string bin;
        reserve_large(bin, b.padded());
        b.write(bin);
        files.add(out, text + "\n");
        files.add(folder + stem + ".bin", std::move(bin));
        for (auto& [path, bytes] : beside) files.add(path, std::move(bytes));
        return;
    }
    while (text.size() % 4 != 0) text.push_back(' ');
    std::string glb;
    reserve_large(glb, 12 + 8 + text.size() + 8 + b.padded());
    auto u32 = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k) glb.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    };
    glb += "glTF";
    u32(2);
    u32(static_cast<uint32_t>(12 + 8 + text.size() + 8 + b.padded()));
    u32(static_cast<uint32_t>(text.size()));
    glb += "JSON";
    glb += text;
    std::string().swap(text);
    u32(static_cast<uint32_t>(b.padded()));
    glb.append("BIN\0", 4);
    b.write(glb);
    files.add(out, std::move(glb));
}

}  // namespace vertexa::convert
