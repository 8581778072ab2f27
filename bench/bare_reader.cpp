// The limit the import is measured against: a reader that does nothing but
// fill the host's mesh arrays from a well-formed file. It maps the file,
// trusts every count and index, checks nothing, reports no progress, writes
// no log and skips every chunk but polygon objects; ASCII numbers go through
// std::from_chars. Meshes are built through the same host calls the plug-in
// makes (Reserve, Add_Vertex, Add_UVVertex, Add_Face, Add_UVFace), so what it
// costs is the data's own cost: the file's bytes, the number conversion and
// the host's arrays.
#include "bare_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstring>

#include "vertexa/scene.h"

namespace bench {
namespace {

uint32_t le32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
uint16_t le16(const unsigned char* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
float lef(const unsigned char* p) {
    float v;
    std::memcpy(&v, p, 4);
    return v;
}

void binary_polygon(const unsigned char* p, MScene* scene) {
    p += 2;                           // duplicate count
    p += 2 + le16(p);                 // name
    p += 4 * 12 + 12 * 4;             // centre, axes, position
    auto* mesh = new MMesh_P("bare");
    const uint32_t v = le32(p);
    p += 4;
    mesh->Reserve(v, 0, 0);
    for (uint32_t i = 0; i < v; ++i, p += 12) mesh->Add_Vertex(MVector3(lef(p), lef(p + 4), lef(p + 8)), -1.0);
    const uint32_t t = le32(p);
    p += 4;
    if (t != 0) mesh->UseUV();
    mesh->Reserve(v, t, 0);
    for (uint32_t i = 0; i < t; ++i, p += 8) mesh->Add_UVVertex(MVector3(lef(p), lef(p + 4), 0.0), -1.0);
    const uint32_t f = le32(p);
    p += 4;
    mesh->Reserve(v, t, f);
    for (uint32_t i = 0; i < f; ++i) {
        const bool hole = (p[0] & 0x08) != 0;
        const uint16_t n = le16(p + 1);
        if (hole) {
            p += 3 + 8 * n;
            continue;
        }
        MIPolygon face(n), uv(n);
        face.Set_MatId(le16(p + 3));
        uv.Set_MatId(le16(p + 3));
        p += 5;
        for (int k = n - 1; k >= 0; --k) {
            face.Add(static_cast<int32_t>(le32(p + 8 * k)));
            uv.Add(static_cast<int32_t>(le32(p + 8 * k + 4)));
        }
        p += 8 * n;
        mesh->Add_Face(face);
        if (t != 0) mesh->Add_UVFace(uv);
    }
    scene->Get_ObjectList()->append(mesh);
}

// ASCII: the text is taken as the writer lays it out.
const char* after(const char* p, const char* word) { return std::strstr(p, word) + std::strlen(word); }
const char* skip_space(const char* p) {
    while (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t') ++p;
    return p;
}
template <typename T>
const char* number(const char* p, const char* end, T& out) {
    p = skip_space(p);
    if (*p == '+') ++p;
    return std::from_chars(p, end, out).ptr;
}

void ascii_polygon(const char* p, const char* end, MScene* scene) {
    auto* mesh = new MMesh_P("bare");
    uint32_t v = 0, t = 0, f = 0;
    p = number(after(p, "World Vertices"), end, v);
    mesh->Reserve(v, 0, 0);
    for (uint32_t i = 0; i < v; ++i) {
        float x, y, z;
        p = number(number(number(p, end, x), end, y), end, z);
        mesh->Add_Vertex(MVector3(x, y, z), -1.0);
    }
    p = number(after(p, "Texture Vertices"), end, t);
    if (t != 0) mesh->UseUV();
    mesh->Reserve(v, t, 0);
    for (uint32_t i = 0; i < t; ++i) {
        float a, b;
        p = number(number(p, end, a), end, b);
        mesh->Add_UVVertex(MVector3(a, b, 0.0), -1.0);
    }
    p = number(after(p, "Faces"), end, f);
    mesh->Reserve(v, t, f);
    int32_t index[2 * 1024];
    for (uint32_t i = 0; i < f; ++i) {
        p = skip_space(p);
        const bool hole = *p == 'H';
        int n = 0, flags = 0, m = 0;
        p = number(after(p, "verts"), end, n);
        if (!hole) p = number(after(number(after(p, "flags"), end, flags), "mat"), end, m);
        for (int k = 0; k < n; ++k) {
            p = number(skip_space(p) + 1, end, index[2 * k]);
            p = number(p + 1, end, index[2 * k + 1]) + 1;
        }
        if (hole) continue;
        MIPolygon face(n), uv(n);
        face.Set_MatId(m);
        uv.Set_MatId(m);
        for (int k = n - 1; k >= 0; --k) {
            face.Add(index[2 * k]);
            uv.Add(index[2 * k + 1]);
        }
        mesh->Add_Face(face);
        if (t != 0) mesh->Add_UVFace(uv);
    }
    scene->Get_ObjectList()->append(mesh);
}

}  // namespace

MScene* bare_import(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return nullptr;
    struct stat st {};
    ::fstat(fd, &st);
    const size_t size = static_cast<size_t>(st.st_size);
    // A zero page after the file, so that the ASCII text ends in a NUL.
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t mapped = (size / page + 1) * page;
    void* map = ::mmap(nullptr, mapped, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map != MAP_FAILED) map = ::mmap(map, size, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) return nullptr;
    const auto* bytes = static_cast<const unsigned char*>(map);
    auto* scene = new MScene("bare");
    const bool binary = bytes[15] == 'B';
    size_t at = 32;
    while (at + 20 <= size) {
        if (binary) {
            const uint32_t data = le32(bytes + at + 16);
            if (std::memcmp(bytes + at, "PolH", 4) == 0) binary_polygon(bytes + at + 20, scene);
            at += 20 + data;
        } else {
            const char* line = reinterpret_cast<const char*>(bytes + at);
            const char* size_text = after(line, "Size");
            uint32_t data = 0;
            const char* header_end = number(size_text, reinterpret_cast<const char*>(bytes + size), data);
            if (std::memcmp(line, "PolH", 4) == 0)
                ascii_polygon(header_end, reinterpret_cast<const char*>(bytes + size), scene);
            at = static_cast<size_t>(reinterpret_cast<const unsigned char*>(header_end) - bytes) + data;
        }
    }
    ::munmap(map, mapped);
    return scene;
}

}  // namespace bench
