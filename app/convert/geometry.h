// What the writers need of the scene: per mesh a placement and one
// primitive per material, with positions, normals, texture coordinates and
// indices ready to write.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <new>
#include <utility>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class MScene;
class MMesh_P;
class MSurface;
class MMatrix;

namespace vertexa::convert {

// A placement in the host's row-vector convention: a point p maps to
// p * linear + translation, i.e. rows 0 to 2 of an MMatrix are the images of
// the axes and row 3 is the translation. The matrix's fourth column is not
// part of a placement: trueSpace files store affine transforms only.
struct Placement {
    double linear[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    double translation[3] = {0, 0, 0};

    static Placement from_host(const MMatrix& m);
    void apply(const double in[3], double out[3]) const;
    double determinant() const;
    bool is_identity() const;
    bool is_finite() const;
    // Rows of the linear part mutually orthogonal and of non-zero length: a
    // rotation times a scale, what a glTF node matrix must be.
    bool is_rotation_scale() const;
    // The 16 numbers of a glTF node matrix (column-major, column vectors),
    // which are the host's rows in order.
    std::vector<double> gltf_matrix() const;
};

// The change from trueSpace's Z-up to Y-up: (x, y, z) -> (x, z, -y), a
// rotation, so windings keep their sense.
void z_up_to_y_up(double p[3]);

// An allocator that leaves the elements a vector grows by uninitialised,
// for arrays that are written whole right after.
template <typename T>
struct NoInit : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = NoInit<U>;
    };
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void*>(p)) U;
        else
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// One material of a mesh. glTF gets a vertex stream: corners are split into
// separate vertices only where their texture coordinate or normal differs.
// OBJ gets the polygons as the file has them, indexing the mesh's lists.
struct Primitive {
    const MSurface* surface = nullptr;  // null only when the scene has no surface at all
    std::string name;                   // readable: object name and material number, else the surface's
    std::string key;                    // the surface's name in the file ("" without surface)
    bool has_uvs = false;
    // glTF: the vertex stream is parts[0] followed by parts[1] (a large mesh
    // is built in two halves at once; small ones fill parts[0] alone).
    struct Vertices {
        std::vector<float, NoInit<float>> positions;  // x y z per vertex
        std::vector<float, NoInit<float>> normals;    // unit x y z per vertex
        std::vector<float, NoInit<float>> uvs;        // u v per vertex, glTF's convention (v down)
        uint32_t count() const { return static_cast<uint32_t>(positions.size() / 3); }
    };
    std::array<Vertices, 2> parts;
    std::vector<uint32_t, NoInit<uint32_t>> indices;  // three per triangle, counter-clockwise seen from outside
    // OBJ
    std::vector<uint32_t> polygon_sizes;  // corners of each polygon, counter-clockwise seen from outside
    std::vector<uint32_t> corners;        // position, texture vertex (kNoIndex: none), normal per corner
    uint32_t vertex_count() const { return parts[0].count() + parts[1].count(); }
};

constexpr uint32_t kNoIndex = 0xFFFFFFFFu;

struct MeshOut {
    std::string name;           // UTF-8, unique within the output, never empty
    Placement placement;        // node placement, axis change included
    std::vector<Primitive> primitives;
    // OBJ: every vertex and texture vertex of the object, and the normals.
    std::vector<float> positions, uvs, normals;
};

struct BuildOptions {
    bool y_up = true;
    // true: positions in world space and placement the identity, polygons
    // kept (OBJ). false: positions in the object's space with the placement
    // beside them, unless the placement is not a rotation and scale (then
    // baked), and triangles with a vertex stream (glTF).
    bool obj = false;
    // Neighbouring faces whose normals differ by less than this share their
    // vertex normals; sharper edges stay faceted. 0: faceted, 180: smooth.
    double smooth_angle = 40.0;
    // A mesh of many corners is built by two threads (the output is the
    // same either way); false: by the calling thread alone.
    bool two_threads = true;
    // The name of objects without one (the file's stem).
    std::string fallback_name = "object";
};

// Turns `base` into a name not taken before: "Sphere", "Sphere_2", ...
class UniqueNames {
public:
    std::string take(const std::string& base);

private:
    std::unordered_set<std::string> taken_;
    std::unordered_map<std::string, uint64_t> next_;
};

// Asks the system to back the whole 2 MiB ranges of a large block, not yet
// written, with huge pages: filling the arrays of a million-vertex mesh
// page by page costs tens of thousands of page faults.
void advise_huge_pages(const void* data, size_t bytes);
// Reserves room for n elements and advises huge pages for it.
template <typename V>
void reserve_large(V& v, size_t n) {
    v.reserve(n);
    advise_huge_pages(v.data(), n * sizeof(*v.data()));
}

// Triangulates a simple polygon given by its corner points (3D, any plane
// orientation): ear clipping in the polygon's plane, concave polygons
// included; triangles and convex quads without allocating. Output triangles
// index `points` and keep the polygon's winding. Returns false for a
// degenerate polygon (no area, fewer than three distinct corners or
// non-finite points), leaving `triangles` as it was.
bool triangulate(std::span<const std::array<double, 3>> points, std::vector<uint32_t>& triangles);

// Builds the meshes of the scene. Faces that cannot be written (degenerate,
// indices outside the mesh) are dropped with a warning on `err`; meshes left
// without faces are left out with a warning.
std::vector<MeshOut> build_meshes(MScene& scene, const BuildOptions& options, std::ostream& err);

}  // namespace vertexa::convert
