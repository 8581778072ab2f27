// The limits the import is measured against: a reader that does nothing but
// fill the mesh arrays from a well-formed file. It maps the file, trusts
// every count and index, checks nothing, reports no progress, writes no log
// and skips every chunk but polygon objects; ASCII numbers go through
// std::from_chars. It fills either the host's meshes, through the same host
// calls the plug-in makes (Reserve, UseUV and the bulk calls Add_Vertices,
// Add_UVVertices, Add_Faces, Add_UVFaces), or plain arrays of the same
// layout (vertices as three doubles, polygons as start offsets, indices and
// material ids), which no plug-in can do but which shows what the data
// alone costs.
#include "bare_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <vector>

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

// The host's mesh, filled through the calls the plug-in makes: elements
// gathered in blocks and handed over with the bulk calls.
struct HostSink {
    static constexpr int kBlock = 64, kPolygons = 256, kIndices = 1024;
    explicit HostSink(MScene* s) : scene(s) {}
    void reserve(uint32_t v, uint32_t t, uint32_t f) {
        flush();
        mesh->Reserve(v, t, f);
    }
    void use_uv() { mesh->UseUV(); }
    void vertex(double x, double y, double z) {
        vertices[vertex_count++].Init(x, y, z);
        if (vertex_count == kBlock) flush();
    }
    void uv(double u, double v) {
        uvs[uv_count++].Init(u, v, 0.0);
        if (uv_count == kBlock) flush();
    }
    // Corners given last to first, as the reader's Flip leaves them.
    template <typename Index>
    void face(int m, int n, bool textured, Index index) {
        if (polygons == kPolygons || indices + n > kIndices) flush();
        textured_faces = textured;
        if (n > kIndices) {
            MIPolygon f(n), t(n);
            f.Set_MatId(m);
            t.Set_MatId(m);
            for (int k = n - 1; k >= 0; --k) {
                f.Add(index(2 * k));
                t.Add(index(2 * k + 1));
            }
            mesh->Add_Face(f);
            if (textured) mesh->Add_UVFace(t);
            return;
        }
        for (int k = n - 1; k >= 0; --k, ++indices) {
            vertex_index[indices] = index(2 * k);
            uv_index[indices] = index(2 * k + 1);
        }
        counts[polygons] = static_cast<uint32_t>(n);
        mat_ids[polygons++] = m;
    }
    void flush() {
        mesh->Add_Vertices(vertices, vertex_count);
        mesh->Add_UVVertices(uvs, uv_count);
        mesh->Add_Faces(vertex_index, counts, mat_ids, polygons);
        if (textured_faces) mesh->Add_UVFaces(uv_index, counts, mat_ids, polygons);
        vertex_count = uv_count = polygons = indices = 0;
    }
    void done() {
        flush();
        scene->Get_ObjectList()->append(mesh);
        mesh = new MMesh_P("bare");
    }
    ~HostSink() { delete mesh; }
    MScene* scene;
    MMesh_P* mesh = new MMesh_P("bare");
    MVector3 vertices[kBlock], uvs[kBlock];
    uint32_t vertex_count = 0, uv_count = 0, polygons = 0, indices = 0, counts[kPolygons];
    int32_t mat_ids[kPolygons], vertex_index[kIndices], uv_index[kIndices];
    bool textured_faces = false;
};

// The host's advice on its mesh arrays: huge pages for the whole 2 MiB
// ranges of the reserved room. Without it the arrays' first touch costs
// 4 KiB page faults, or not, as the heap's history has it.
template <typename T>
void advise_huge_pages(const std::vector<T>& v) {
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(v.data() + v.size()) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(v.data()) + v.capacity() * sizeof(T)) & ~(kHuge - 1);
    if (v.capacity() * sizeof(T) >= 2 * kHuge && end > start)
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

// Plain arrays of the host's layout, with the host's memory advice.
struct ArraySink {
    struct Polygons {
        std::vector<uint32_t> start{0};
        std::vector<int32_t> index, mat;
        void reserve(uint32_t f) {
            start.reserve(f + 1);
            mat.reserve(f);
            index.reserve(4 * static_cast<size_t>(f));
            advise_huge_pages(start);
            advise_huge_pages(mat);
            advise_huge_pages(index);
        }
    };
    void reserve(uint32_t v, uint32_t t, uint32_t f) {
        vertices.reserve(3 * static_cast<size_t>(v));
        uvs.reserve(3 * static_cast<size_t>(t));
        advise_huge_pages(vertices);
        advise_huge_pages(uvs);
        faces.reserve(f);
        uv_faces.reserve(t != 0 ? f : 0);
    }
    void use_uv() {}
    void vertex(double x, double y, double z) { vertices.insert(vertices.end(), {x, y, z}); }
    void uv(double u, double v) { uvs.insert(uvs.end(), {u, v, 0.0}); }
    template <typename Index>
    void face(int m, int n, bool textured, Index index) {
        for (int k = n - 1; k >= 0; --k) faces.index.push_back(index(2 * k));
        faces.start.push_back(static_cast<uint32_t>(faces.index.size()));
        faces.mat.push_back(m);
        if (!textured) return;
        for (int k = n - 1; k >= 0; --k) uv_faces.index.push_back(index(2 * k + 1));
        uv_faces.start.push_back(static_cast<uint32_t>(uv_faces.index.size()));
        uv_faces.mat.push_back(m);
    }
    void done() {
        counts.vertices += vertices.size() / 3;
        counts.faces += faces.mat.size();
        vertices = {};
        uvs = {};
        faces = {};
        uv_faces = {};
    }
    std::vector<double> vertices, uvs;
    Polygons faces, uv_faces;
    BareCounts counts;
};

template <typename Sink>
void binary_polygon(const unsigned char* p, Sink& sink) {
    p += 2;                           // duplicate count
    p += 2 + le16(p);                 // name
    p += 4 * 12 + 12 * 4;             // centre, axes, position
    const uint32_t v = le32(p);
    p += 4;
    sink.reserve(v, 0, 0);
    for (uint32_t i = 0; i < v; ++i, p += 12) sink.vertex(lef(p), lef(p + 4), lef(p + 8));
    const uint32_t t = le32(p);
    p += 4;
    if (t != 0) sink.use_uv();
    sink.reserve(v, t, 0);
    for (uint32_t i = 0; i < t; ++i, p += 8) sink.uv(lef(p), lef(p + 4));
    const uint32_t f = le32(p);
    p += 4;
    sink.reserve(v, t, f);
    for (uint32_t i = 0; i < f; ++i) {
        const bool hole = (p[0] & 0x08) != 0;
        const uint16_t n = le16(p + 1);
        if (hole) {
            p += 3 + 8 * n;
            continue;
        }
        const unsigned char* pairs = p + 5;
        sink.face(le16(p + 3), n, t != 0, [pairs](int k) { return static_cast<int32_t>(le32(pairs + 4 * k)); });
        p += 5 + 8 * n;
    }
    sink.done();
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

template <typename Sink>
void ascii_polygon(const char* p, const char* end, Sink& sink) {
    uint32_t v = 0, t = 0, f = 0;
    p = number(after(p, "World Vertices"), end, v);
    sink.reserve(v, 0, 0);
    for (uint32_t i = 0; i < v; ++i) {
        float x, y, z;
        p = number(number(number(p, end, x), end, y), end, z);
        sink.vertex(x, y, z);
    }
    p = number(after(p, "Texture Vertices"), end, t);
    if (t != 0) sink.use_uv();
    sink.reserve(v, t, 0);
    for (uint32_t i = 0; i < t; ++i) {
        float a, b;
        p = number(number(p, end, a), end, b);
        sink.uv(a, b);
    }
    p = number(after(p, "Faces"), end, f);
    sink.reserve(v, t, f);
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
        sink.face(m, n, t != 0, [&index](int k) { return index[k]; });
    }
    sink.done();
}


// Maps the file and hands every polygon chunk to the sink; false when the
// file cannot be mapped.
template <typename Sink>
bool walk(const std::string& path, Sink& sink) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    struct stat st {};
    ::fstat(fd, &st);
    const size_t size = static_cast<size_t>(st.st_size);
    // A zero page after the file, so that the ASCII text ends in a NUL.
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t mapped = (size / page + 1) * page;
    void* map = ::mmap(nullptr, mapped, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map != MAP_FAILED) map = ::mmap(map, size, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) return false;
    const auto* bytes = static_cast<const unsigned char*>(map);
    const char* text_end = reinterpret_cast<const char*>(bytes + size);
    const bool binary = bytes[15] == 'B';
    size_t at = 32;
    while (at + 20 <= size) {
        if (binary) {
            const uint32_t data = le32(bytes + at + 16);
            if (std::memcmp(bytes + at, "PolH", 4) == 0) binary_polygon(bytes + at + 20, sink);
            at += 20 + data;
        } else {
            const char* line = reinterpret_cast<const char*>(bytes + at);
            uint32_t data = 0;
            const char* header_end = number(after(line, "Size"), text_end, data);
            if (std::memcmp(line, "PolH", 4) == 0) ascii_polygon(header_end, text_end, sink);
            at = static_cast<size_t>(reinterpret_cast<const unsigned char*>(header_end) - bytes) + data;
        }
    }
    ::munmap(map, mapped);
    return true;
}

}  // namespace

MScene* bare_import(const std::string& path) {
    auto* scene = new MScene("bare");
    HostSink sink(scene);
    if (walk(path, sink)) return scene;
    delete scene;
    return nullptr;
}

BareCounts bare_import_arrays(const std::string& path) {
    ArraySink sink;
    walk(path, sink);
    return sink.counts;
}

}  // namespace bench
