// glTF 2.0 output. Every mesh is a node of the one scene; each of its
// materials is a primitive with its own vertex stream. What the file holds
// is kept to what is used, so that validators find no unused objects.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <map>
#include <ostream>
#include <span>


#include "vertexa/scene.h"
#include "vertexa/text.h"
#include "writers.h"

namespace vertexa::convert {

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

// JSON written as text as it goes: a scene of many objects costs its text
// and no tree. Compact, or indented by two spaces per level from `depth`.
class Json {
public:
    Json(bool pretty, int depth) : pretty_(pretty), depth_(depth) {}
    std::string text;

    Json& open(char bracket) {
        element();
        text.push_back(bracket);
        first_.push_back(true);
        return *this;
    }
    Json& close(char bracket) {
        const bool had = !first_.back();
        first_.pop_back();
        if (pretty_ && had) newline();
        text.push_back(bracket);
        return *this;
    }
    Json& key(std::string_view name) {
        element();
        string(name);
        text += pretty_ ? ": " : ":";
        after_key_ = true;
        return *this;
    }
    Json& str(std::string_view value) {
        element();
        string(value);
        return *this;
    }
    Json& num(double value) {
        element();
        if (!std::isfinite(value)) {
            text += "null";
            return *this;
        }
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, value);
        text.append(buf, r.ptr);
        // A number that was a float stays one to the reader.
        if (std::find_if(buf, r.ptr, [](char c) { return c == '.' || c == 'e'; }) == r.ptr) text += ".0";
        return *this;
    }
    Json& uint(uint64_t value) {
        element();
        char buf[24];
        text.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
        return *this;
    }
    // Before a value or a key: the comma and the line break it needs.
    void element() {
        if (after_key_) {
            after_key_ = false;
            return;
        }
        if (first_.empty()) return;
        if (!first_.back()) text.push_back(',');
        first_.back() = false;
        if (pretty_) newline();
    }

private:
    void newline() {
        text.push_back('\n');
        text.append(2 * (depth_ + first_.size()), ' ');
    }
    // Names are UTF-8 already (from Windows-1252 or the system's names);
    // anything else is read as Windows-1252 rather than written broken.
    void string(std::string_view value) {
        if (!vertexa::is_utf8(value)) {
            string(vertexa::utf8_from_cp1252(value));
            return;
        }
        text.push_back('"');
        size_t plain = 0;  // where the characters not yet written start
        for (size_t i = 0; i < value.size(); ++i) {
            const char c = value[i];
            const auto u = static_cast<unsigned char>(c);
            if (c != '"' && c != '\\' && u >= 0x20) continue;
            text.append(value.data() + plain, i - plain);
            plain = i + 1;
            if (c == '"' || c == '\\') {
                text.push_back('\\');
                text.push_back(c);
            } else {
                static const char* const hex = "0123456789abcdef";
                const char* named = c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : c == '\b' ? "\\b" : c == '\f' ? "\\f" : nullptr;
                if (named != nullptr) {
                    text += named;
                } else {
                    text += "\\u00";
                    text.push_back(hex[u >> 4]);
                    text.push_back(hex[u & 15]);
                }
            }
        }
        text.append(value.data() + plain, value.size() - plain);
        text.push_back('"');
    }

    bool pretty_;
    int depth_;
    bool after_key_ = false;
    std::vector<bool> first_;  // per open bracket: nothing in it yet
};

// The binary buffer is laid out as the JSON is written and goes to the file
// as views of the primitives' arrays and the images: nothing is copied.
class Builder {
public:
    explicit Builder(bool pretty) : accessors(pretty, 1), views(pretty, 1) {
        accessors.open('[');
        views.open('[');
    }
    size_t size = 0;
    Json accessors, views;

    // A view of an array, or of image `image` when data is null.
    int view(const void* data, size_t bytes, int target, int image = -1) {
        size = (size + 3) & ~size_t{3};
        views.open('{').key("buffer").uint(0).key("byteLength").uint(bytes).key("byteOffset").uint(size);
        if (target != 0) views.key("target").uint(static_cast<uint64_t>(target));
        views.close('}');
        pieces_.push_back({static_cast<const char*>(data), bytes, image});
        size += bytes;
        return count_views_++;
    }

    // An accessor of `width` floats per element over the parts of a vertex
    // stream, which follow one another in the buffer as one view.
    int floats(std::initializer_list<std::span<const float>> parts, int width, bool bounds) {
        size_t count = 0;
        for (std::span<const float> values : parts) count += values.size();
        size = (size + 3) & ~size_t{3};
        views.open('{').key("buffer").uint(0).key("byteLength").uint(count * sizeof(float)).key("byteOffset").uint(size);
        views.key("target").uint(kArrayBuffer).close('}');
        for (std::span<const float> values : parts)
            if (!values.empty()) pieces_.push_back({reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float), -1});
        size += count * sizeof(float);
        const int v = count_views_++;
        accessors.open('{').key("bufferView").uint(static_cast<uint64_t>(v)).key("componentType").uint(kFloat);
        accessors.key("count").uint(count / width).key("type").str(width == 3 ? "VEC3" : "VEC2");
        if (bounds) {
            float lo[3], hi[3];
            std::fill(lo, lo + width, std::numeric_limits<float>::max());
            std::fill(hi, hi + width, -std::numeric_limits<float>::max());
            for (std::span<const float> values : parts)
                for (size_t i = 0; i < values.size(); i += width)
                    for (int k = 0; k < width; ++k) {
                        lo[k] = std::min(lo[k], values[i + k]);
                        hi[k] = std::max(hi[k], values[i + k]);
                    }
            accessors.key("max").open('[');
            for (int k = 0; k < width; ++k) accessors.num(hi[k]);
            accessors.close(']').key("min").open('[');
            for (int k = 0; k < width; ++k) accessors.num(lo[k]);
            accessors.close(']');
        }
        accessors.close('}');
        return count_accessors_++;
    }

    int indices(std::span<const uint32_t> values) {
        const int v = view(values.data(), values.size() * sizeof(uint32_t), kElementArrayBuffer);
        accessors.open('{').key("bufferView").uint(static_cast<uint64_t>(v)).key("componentType").uint(kUnsignedInt);
        accessors.key("count").uint(values.size()).key("type").str("SCALAR").close('}');
        return count_accessors_++;
    }

    // The buffer, padded to a multiple of 4 bytes, as views appended to `out`.
    void write(OutputFiles::Bytes& out, const std::vector<Image>& images) const {
        for (const Piece& p : pieces_) {
            out.pad4();
            out.append_view(p.data != nullptr ? p.data : images[p.image].bytes.data(), p.bytes);
        }
        out.pad4();
    }
    size_t padded() const { return (size + 3) & ~size_t{3}; }

private:
    struct Piece {
        const char* data;
        size_t bytes;
        int image;  // the image's bytes are found at the end: the cache's list may still grow
    };
    std::vector<Piece> pieces_;
    int count_views_ = 0, count_accessors_ = 0;
};

}  // namespace

void write_gltf(std::vector<MeshOut>& meshes, ImageCache& images, const std::string& out, bool binary,
                OutputFiles& files, std::ostream& err) {
    const bool pretty = !binary;
    Builder b(pretty);
    Json nodes(pretty, 1), gl_meshes(pretty, 1), materials(pretty, 1), textures(pretty, 1), gl_images(pretty, 1);
    for (Json* j : {&nodes, &gl_meshes, &materials, &textures, &gl_images}) j->open('[');
    int node_count = 0, material_count = 0, texture_count = 0;
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
        gl_images.open('{');
        if (binary) {
            gl_images.key("bufferView").uint(static_cast<uint64_t>(b.view(nullptr, img.bytes.size(), 0, image)));
            gl_images.key("mimeType").str(img.mime);
        }
        gl_images.key("name").str(to_utf8(img.stem));
        if (!binary) {
            const std::string name = stem + "_" + std::to_string(texture_count) + "_" + img.stem + img.extension();
            beside.emplace_back(folder + name, img.bytes);
            gl_images.key("uri").str(to_utf8(name));
        }
        gl_images.close('}');
        textures.open('{').key("sampler").uint(0).key("source").uint(static_cast<uint64_t>(texture_count)).close('}');
        texture_of[image] = texture_count;
        return texture_count++;
    };

    // The material of a surface, and whether it samples a texture.
    auto material_for = [&](const Primitive& p) {
        const MSurface* s = p.surface;
        auto it = material_of.find(s);
        if (it != material_of.end()) return it->second;
        Json& m = materials;
        m.open('{');
        double alpha = 1.0;
        if (s != nullptr) alpha = unit(s->alpha);
        if (alpha < 1.0) m.key("alphaMode").str("BLEND");
        if (s != nullptr) m.key("extras").open('{').key("key").str(p.key).close('}');
        m.key("name").str(material_names.take(p.name));
        m.key("pbrMetallicRoughness").open('{');
        if (s != nullptr) {
            m.key("baseColorFactor").open('[').num(unit(s->color.r)).num(unit(s->color.g)).num(unit(s->color.b)).num(alpha).close(']');
            if (const MSrf_TextureLayer* layer = color_layer(*s)) {
                const int image = images.get(layer->image.name);
                if (image >= 0) {
                    const int texture = texture_for(image);
                    m.key("baseColorTexture").open('{');
                    // trueSpace's texture space has v upwards, glTF's downwards:
                    // with v' = 1 - v a repeat r and offset o along v become
                    // scale r and offset 1 - r - o.
                    const double ru = finite_or(layer->image.scale[0], 1.0), rv = finite_or(layer->image.scale[1], 1.0);
                    const double ou = finite_or(layer->image.offset[0], 0.0), ov = finite_or(layer->image.offset[1], 0.0);
                    if (ru != 1.0 || rv != 1.0 || ou != 0.0 || ov != 0.0) {
                        m.key("extensions").open('{').key("KHR_texture_transform").open('{');
                        m.key("offset").open('[').num(ou).num(1.0 - rv - ov).close(']');
                        m.key("scale").open('[').num(ru).num(rv).close(']');
                        m.close('}').close('}');
                        transform_used = true;
                    }
                    m.key("index").uint(static_cast<uint64_t>(texture)).close('}');
                }
            }
            if (bump_layer(*s) != nullptr && !warned_bump) {
                err << "vertexa: warning: bump maps are not written to glTF (a bump map is no normal map)\n";
                warned_bump = true;
            }
        }
        m.key("metallicFactor").num(0.0).key("roughnessFactor").num(0.7).close('}');
        m.close('}');
        material_of[s] = material_count;
        return material_count++;
    };

    for (MeshOut& mesh : meshes) {
        // The materials first: a texture's image view goes before the arrays.
        std::vector<int> material(mesh.primitives.size());
        for (size_t i = 0; i < mesh.primitives.size(); ++i) material[i] = material_for(mesh.primitives[i]);
        gl_meshes.open('{').key("name").str(mesh.name).key("primitives").open('[');
        for (size_t i = 0; i < mesh.primitives.size(); ++i) {
            Primitive& p = mesh.primitives[i];
            const auto& [first, second] = p.parts;
            const int position = b.floats({first.positions, second.positions}, 3, true);
            const int normal = b.floats({first.normals, second.normals}, 3, false);
            const int uv = p.has_uvs ? b.floats({first.uvs, second.uvs}, 2, false) : -1;
            const int index = b.indices(p.indices);
            gl_meshes.open('{').key("attributes").open('{').key("NORMAL").uint(static_cast<uint64_t>(normal));
            gl_meshes.key("POSITION").uint(static_cast<uint64_t>(position));
            if (uv >= 0) gl_meshes.key("TEXCOORD_0").uint(static_cast<uint64_t>(uv));
            gl_meshes.close('}').key("indices").uint(static_cast<uint64_t>(index));
            gl_meshes.key("material").uint(static_cast<uint64_t>(material[i])).close('}');
        }
        gl_meshes.close(']').close('}');
        nodes.open('{');
        if (!mesh.placement.is_identity()) {
            nodes.key("matrix").open('[');
            for (double v : mesh.placement.gltf_matrix()) nodes.num(v);
            nodes.close(']');
        }
        nodes.key("mesh").uint(static_cast<uint64_t>(node_count)).key("name").str(mesh.name).close('}');
        ++node_count;
    }

    // The JSON in parts: the large arrays are not copied into one text.
    std::vector<std::string> parts;
    Json top(pretty, 0);
    auto section = [&](const char* name, Json& body) {
        top.key(name);
        top.element();
        parts.push_back(std::move(top.text));
        top.text.clear();
        body.close(']');
        parts.push_back(std::move(body.text));
        body.text.clear();
    };
    top.open('{');
    section("accessors", b.accessors);
    top.key("asset").open('{').key("generator").str("vertexa convert").key("version").str("2.0").close('}');
    section("bufferViews", b.views);
    top.key("buffers").open('[').open('{').key("byteLength").uint(b.padded());
    if (!binary) top.key("uri").str(to_utf8(stem + ".bin"));
    top.close('}').close(']');
    if (transform_used) top.key("extensionsUsed").open('[').str("KHR_texture_transform").close(']');
    if (texture_count > 0) section("images", gl_images);
    section("materials", materials);
    section("meshes", gl_meshes);
    section("nodes", nodes);
    if (texture_count > 0) {
        // trueSpace repeats its maps in both directions.
        top.key("samplers").open('[').open('{').key("magFilter").uint(9729).key("minFilter").uint(9987);
        top.key("wrapS").uint(10497).key("wrapT").uint(10497).close('}').close(']');
    }
    top.key("scene").uint(0);
    top.key("scenes").open('[').open('{').key("nodes").open('[');
    for (int i = 0; i < node_count; ++i) top.uint(static_cast<uint64_t>(i));
    top.close(']').close('}').close(']');
    if (texture_count > 0) section("textures", textures);
    top.close('}');
    parts.push_back(std::move(top.text));
    size_t json_size = 0;
    for (const std::string& part : parts) json_size += part.size();

    OutputFiles::Bytes file;
    if (!binary) {
        for (std::string& part : parts) file.append(std::move(part));
        file.append("\n");
        files.add(out, std::move(file));
        OutputFiles::Bytes bin;
        b.write(bin, images.images());
        files.add(folder + stem + ".bin", std::move(bin));
        for (auto& [path, bytes] : beside) files.add(path, std::move(bytes));
        return;
    }
    const size_t json_padded = (json_size + 3) & ~size_t{3};
    std::string head;
    auto u32 = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k) head.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    };
    head += "glTF";
    u32(2);
    u32(static_cast<uint32_t>(12 + 8 + json_padded + 8 + b.padded()));
    u32(static_cast<uint32_t>(json_padded));
    head += "JSON";
    file.append(std::move(head));
    for (std::string& part : parts) file.append(std::move(part));
    std::string bin_head(json_padded - json_size, ' ');
    const uint32_t bin_size = static_cast<uint32_t>(b.padded());
    for (int k = 0; k < 4; ++k) bin_head.push_back(static_cast<char>((bin_size >> (8 * k)) & 0xFF));
    bin_head.append("BIN\0", 4);
    file.append(std::move(bin_head));
    b.write(file, images.images());
    files.add(out, std::move(file));
}

}  // namespace vertexa::convert
