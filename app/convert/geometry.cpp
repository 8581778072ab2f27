#include "geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <exception>
#include <system_error>
#include <thread>
#include <ostream>
#include <string_view>
#include <unordered_map>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "vertexa/scene.h"
#include "vertexa/text.h"

namespace vertexa::convert {

Placement Placement::from_host(const MMatrix& m) {
    Placement p;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) p.linear[r][c] = m[r][c];
    for (int c = 0; c < 3; ++c) p.translation[c] = m[3][c];
    return p;
}

void Placement::apply(const double in[3], double out[3]) const {
    double r[3];
    for (int c = 0; c < 3; ++c)
        r[c] = in[0] * linear[0][c] + in[1] * linear[1][c] + in[2] * linear[2][c] + translation[c];
    for (int c = 0; c < 3; ++c) out[c] = r[c];
}

double Placement::determinant() const {
    const auto& a = linear;
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

bool Placement::is_identity() const {
    for (int r = 0; r < 3; ++r) {
        if (translation[r] != 0.0) return false;
        for (int c = 0; c < 3; ++c)
            if (linear[r][c] != (r == c ? 1.0 : 0.0)) return false;
    }
    return true;
}

bool Placement::is_finite() const {
    for (int r = 0; r < 3; ++r) {
        if (!std::isfinite(translation[r])) return false;
        for (int c = 0; c < 3; ++c)
            if (!std::isfinite(linear[r][c])) return false;
    }
    return true;
}

bool Placement::is_rotation_scale() const {
    double len[3];
    for (int r = 0; r < 3; ++r) {
        len[r] = std::sqrt(linear[r][0] * linear[r][0] + linear[r][1] * linear[r][1] + linear[r][2] * linear[r][2]);
        if (!(len[r] > 1e-12)) return false;
    }
    for (int a = 0; a < 3; ++a)
        for (int b = a + 1; b < 3; ++b) {
            double dot = linear[a][0] * linear[b][0] + linear[a][1] * linear[b][1] + linear[a][2] * linear[b][2];
            if (std::fabs(dot) > 1e-5 * len[a] * len[b]) return false;
        }
    return true;
}

std::vector<double> Placement::gltf_matrix() const {
    std::vector<double> m;
    m.reserve(16);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) m.push_back(linear[r][c]);
        m.push_back(0.0);
    }
    for (int c = 0; c < 3; ++c) m.push_back(translation[c]);
    m.push_back(1.0);
    return m;
}

void z_up_to_y_up(double p[3]) {
    const double y = p[1];
    p[1] = p[2];
    p[2] = -y;
}

namespace {

// The placement seen in Y-up axes: with the axis change A (a rotation, its
// inverse its transpose), p_new * (A^T L A) + t A maps points given in Y-up
// axes.
Placement to_y_up(const Placement& p) {
    // A as rows: x -> (1,0,0), y -> (0,0,-1), z -> (0,1,0).
    const double A[3][3] = {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}};
    double la[3][3] = {};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) la[r][c] += p.linear[r][k] * A[k][c];
    Placement out;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += A[k][r] * la[k][c];
            out.linear[r][c] = s;
        }
    double t[3] = {p.translation[0], p.translation[1], p.translation[2]};
    z_up_to_y_up(t);
    for (int c = 0; c < 3; ++c) out.translation[c] = t[c];
    return out;
}

using Point = std::array<double, 3>;

double cross2(double ax, double ay, double bx, double by, double cx, double cy) {
    return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

bool inside_triangle(double px, double py, double ax, double ay, double bx, double by, double cx, double cy) {
    // Counter-clockwise triangle: inside or on an edge.
    return cross2(ax, ay, bx, by, px, py) >= 0 && cross2(bx, by, cx, cy, px, py) >= 0 &&
           cross2(cx, cy, ax, ay, px, py) >= 0;
}

}  // namespace

namespace {

// Newell's normal of a polygon: its length is twice the area, its direction
// the side the polygon faces with its winding counter-clockwise. Gives that
// vector, the unit normal and the least turn that counts at a corner (by the
// polygon's extent); false for a face with a coordinate that is no number or
// with no area. Inline, so that triangles and quads get it with their
// corner count known.
inline bool newell_normal(const Point* points, size_t n, double raw[3], double normal[3], double& eps) {
    for (size_t i = 0; i < n; ++i)
        for (double v : points[i])
            if (!std::isfinite(v)) return false;
    double nx = 0, ny = 0, nz = 0;
    for (size_t i = 0; i < n; ++i) {
        const Point& a = points[i];
        const Point& b = points[i + 1 == n ? 0 : i + 1];
        nx += (a[1] - b[1]) * (a[2] + b[2]);
        ny += (a[2] - b[2]) * (a[0] + b[0]);
        nz += (a[0] - b[0]) * (a[1] + b[1]);
    }
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    double extent = 0.0;
    for (size_t i = 0; i < n; ++i)
        for (int k = 0; k < 3; ++k) extent = std::max(extent, std::fabs(points[i][k] - points[0][k]));
    if (!(len > 1e-12 * extent * extent) || !(len > 0.0)) return false;
    raw[0] = nx, raw[1] = ny, raw[2] = nz;
    normal[0] = nx / len;
    normal[1] = ny / len;
    normal[2] = nz / len;
    eps = 1e-12 * extent * extent;
    return true;
}

// Whether a quad turns the same way as its normal, by more than eps, at
// every corner.
inline bool convex_quad(const Point* points, const double normal[3], double eps) {
    for (size_t k = 0; k < 4; ++k) {
        const Point &a = points[(k + 3) % 4], &b = points[k], &c = points[(k + 1) % 4];
        const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double v[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
        const double turn = (u[1] * v[2] - u[2] * v[1]) * normal[0] + (u[2] * v[0] - u[0] * v[2]) * normal[1] +
                            (u[0] * v[1] - u[1] * v[0]) * normal[2];
        if (!(turn > eps)) return false;
    }
    return true;
}

// Triangulates like triangulate() and gives the polygon's unit normal.
bool triangulate_face(std::span<const Point> points, std::vector<uint32_t>& triangles, double normal[3]) {
    const size_t n = points.size();
    if (n < 3) return false;
    double raw[3], eps;
    if (!newell_normal(points.data(), n, raw, normal, eps)) return false;
    const double nx = raw[0], ny = raw[1], nz = raw[2];

    // Triangles and convex quads, most faces of most models, need no search.
    if (n == 3) {
        triangles.insert(triangles.end(), {0, 1, 2});
        return true;
    }
    if (n == 4) {
        const bool convex = convex_quad(points.data(), normal, eps);
        if (convex) {
            triangles.insert(triangles.end(), {0, 1, 2, 0, 2, 3});
            return true;
        }
    }

    // Project onto the plane of the largest normal component, keeping the
    // sense so that the polygon runs counter-clockwise in 2D.
    const double ax = std::fabs(nx), ay = std::fabs(ny), az = std::fabs(nz);
    int u = 0, v = 1;
    double sign = nz;
    if (ax >= ay && ax >= az) {
        u = 1; v = 2; sign = nx;
    } else if (ay >= az) {
        u = 2; v = 0; sign = ny;
    }
    std::vector<double> x(n), y(n);
    for (size_t i = 0; i < n; ++i) {
        x[i] = points[i][u];
        y[i] = sign >= 0 ? points[i][v] : -points[i][v];
    }
    std::vector<uint32_t> ring;
    ring.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        // Consecutive corners at the same place add nothing.
        if (!ring.empty() && x[i] == x[ring.back()] && y[i] == y[ring.back()]) continue;
        ring.push_back(i);
    }
    while (ring.size() > 1 && x[ring.front()] == x[ring.back()] && y[ring.front()] == y[ring.back()]) ring.pop_back();
    if (ring.size() < 3) return false;

    std::vector<uint32_t> out;
    out.reserve(3 * (ring.size() - 2));
    // Ear clipping takes up to n^3 steps; a face may have 65,535 corners
    // (a 16-bit count), which would take hours. Faces of more than
    // kMaxEarClipCorners corners are fanned from their first corner instead,
    // which is right for the convex outlines such faces (discs, caps) have.
    constexpr size_t kMaxEarClipCorners = 1024;
    if (ring.size() > kMaxEarClipCorners) {
        for (size_t i = 1; i + 1 < ring.size(); ++i) {
            const uint32_t a = ring[0], b = ring[i], c = ring[i + 1];
            if (std::fabs(cross2(x[a], y[a], x[b], y[b], x[c], y[c])) > eps) out.insert(out.end(), {a, b, c});
        }
        ring.clear();
    }
    while (ring.size() > 3) {
        const size_t m = ring.size();
        size_t ear = m;
        size_t fallback = m;
        for (size_t i = 0; i < m && ear == m; ++i) {
            const uint32_t a = ring[(i + m - 1) % m], b = ring[i], c = ring[(i + 1) % m];
            const double turn = cross2(x[a], y[a], x[b], y[b], x[c], y[c]);
            if (std::fabs(turn) <= eps) {
                // A corner on the line of its neighbours: drop it, the outline stays.
                ear = i;
                break;
            }
            if (turn < 0) continue;  // reflex
            if (fallback == m) fallback = i;
            bool empty = true;
            for (size_t k = 0; k < m && empty; ++k) {
                const uint32_t p = ring[k];
                if (p == a || p == b || p == c) continue;
                if ((x[p] == x[a] && y[p] == y[a]) || (x[p] == x[b] && y[p] == y[b]) || (x[p] == x[c] && y[p] == y[c]))
                    continue;
                if (inside_triangle(x[p], y[p], x[a], y[a], x[b], y[b], x[c], y[c])) empty = false;
            }
            if (empty) {
                ear = i;
                out.insert(out.end(), {a, b, c});
            }
        }
        if (ear == m) {
            // Self-intersecting outline: no true ear exists; clip a convex
            // corner anyway so that the loop ends.
            if (fallback == m) break;
            ear = fallback;
            out.insert(out.end(), {ring[(ear + m - 1) % m], ring[ear], ring[(ear + 1) % m]});
        }
        ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(ear));
    }
    if (ring.size() == 3) {
        const double turn = cross2(x[ring[0]], y[ring[0]], x[ring[1]], y[ring[1]], x[ring[2]], y[ring[2]]);
        if (turn > eps) out.insert(out.end(), {ring[0], ring[1], ring[2]});
    }
    if (out.empty()) return false;
    triangles.insert(triangles.end(), out.begin(), out.end());
    return true;
}

}  // namespace

namespace {

// What triangulate_face finds of a triangle or a quad, by the same
// arithmetic in the same order, without allocating: false for a degenerate
// face; `convex` false for a quad to be cut the general way.
template <size_t N>
bool small_face(const Point* points, double normal[3], bool& convex) {
    double raw[3], eps;
    if (!newell_normal(points, N, raw, normal, eps)) return false;
    if constexpr (N == 4)
        convex = convex_quad(points, normal, eps);
    else
        convex = true;
    return true;
}

}  // namespace

bool triangulate(std::span<const Point> points, std::vector<uint32_t>& triangles) {
    double normal[3];
    return triangulate_face(points, triangles, normal);
}

void advise_huge_pages(const void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    if (bytes < 2 * kHuge) return;
    const auto first = reinterpret_cast<uintptr_t>(data);
    const uintptr_t start = (first + kHuge - 1) & ~(kHuge - 1), end = (first + bytes) & ~(kHuge - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

std::string UniqueNames::take(const std::string& base) {
    std::string name = base;
    if (taken_.count(name) != 0) {
        uint64_t& k = next_[base];  // suffixes tried before for this base
        if (k < 2) k = 2;
        do name = base + "_" + std::to_string(k++);
        while (taken_.count(name) != 0);
    }
    taken_.insert(name);
    return name;
}


namespace {

// The angle at corner p between its edges to a and b: its share of the
// vertex normal, so that a face split into many slivers weighs no more.
double corner_angle(const float* p, const float* a, const float* b) {
    const double u[3] = {double(a[0]) - p[0], double(a[1]) - p[1], double(a[2]) - p[2]};
    const double v[3] = {double(b[0]) - p[0], double(b[1]) - p[1], double(b[2]) - p[2]};
    const double c[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const double y = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    const double x = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    // atan2(y, x) for y >= 0 to within 1e-5 radians, a weight needs no more.
    const double ax = std::fabs(x), hi = std::max(ax, y);
    if (!(hi > 0.0)) return 0.0;
    const double t = std::min(ax, y) / hi, s = t * t;
    double r = ((-0.0464964749 * s + 0.15931422) * s - 0.327622764) * s * t + t;
    if (y > ax) r = M_PI / 2 - r;
    return x < 0 ? M_PI - r : r;
}

// n elements, not initialised, for arrays written whole before they are
// read: no pass that zeroes them first.
template <typename T>
std::unique_ptr<T[]> large_array(size_t n) {
    std::unique_ptr<T[]> a(new T[n]);
    advise_huge_pages(a.get(), n * sizeof(T));
    return a;
}

// One corner at the position being worked on.
struct Corner {
    uint32_t corner, face, prev, next, prim, uv, parent;
    double weight;
};

uint32_t find_root(std::vector<Corner>& cs, uint32_t i) {
    while (cs[i].parent != i) {
        cs[i].parent = cs[cs[i].parent].parent;
        i = cs[i].parent;
    }
    return i;
}

// How a face was cut into triangles, or why it is dropped.
enum : uint8_t { kTriangle, kConvexQuad, kOther, kBadIndex, kDegenerate };

// Above this many corners at one position, pairs are found by sorting
// rather than by trying each against each.
constexpr size_t kFewCorners = 32;

// From this many corners on, a mesh is built by two threads.
constexpr uint64_t kTwoThreadCorners = 1 << 15;

// The scene's surfaces by name: the first of each name, and DEFAULT.
class SurfaceTable {
public:
    explicit SurfaceTable(MScene& scene) {
        for (MListNode* n = scene.Get_SurfaceList()->head; n != nullptr; n = n->next) {
            auto* s = static_cast<const MSurface*>(n->item);
            by_name_.emplace(s->get_name(), s);
        }
        auto it = by_name_.find("DEFAULT");
        default_ = it != by_name_.end() ? it->second : nullptr;
    }
    const MSurface* find(const char* name) const {
        if (name == nullptr) return default_;
        auto it = by_name_.find(name);
        return it != by_name_.end() ? it->second : default_;
    }

private:
    std::unordered_map<std::string_view, const MSurface*> by_name_;
    const MSurface* default_ = nullptr;
};

class MeshBuilder {
public:
    MeshBuilder(const SurfaceTable& surfaces, MMesh_P& mesh, const BuildOptions& options, MeshOut& out,
                std::ostream& err)
        : surfaces_(surfaces), mesh_(mesh), options_(options), out_(out), err_(err), faces_(mesh.Faces()),
          uv_faces_(mesh.UVFaces()) {}

    void run() {
        Placement local = Placement::from_host(mesh_.Get_LocalMatrix());
        if (!local.is_finite()) {
            err_ << "vertexa: warning: object " << out_.name << " has a matrix that is not finite; placed at the origin\n";
            local = Placement{};
        }
        // What goes into the vertices (bake) and what stays on the node:
        // sheared placements cannot be glTF node matrices.
        const bool bake = options_.obj || !local.is_rotation_scale();
        // A mirroring placement baked into the vertices turns windings and
        // face normals inside out; they are turned back.
        flip_ = bake && local.determinant() < 0.0;
        out_.placement = bake ? Placement{} : (options_.y_up ? to_y_up(local) : local);
        const double angle = options_.smooth_angle;
        smooth_all_ = angle >= 180.0;
        smooth_none_ = !(angle > 0.0);
        cos_limit_ = std::cos(angle * M_PI / 180.0);

        textured_ = mesh_.UVUsed() != 0 && !mesh_.UVVertices().empty() && uv_faces_.Size() != 0;
        const uint32_t face_count = faces_.Size();
        if (face_count != 0) base_ = faces_.Indices(0);
        two_threads_ = options_.two_threads && corner_count() >= kTwoThreadCorners;

        const std::vector<MVector3>& verts = mesh_.Vertices();
        positions_ = large_array<float>(verts.size() * 3);
        in_halves(verts.size() / 2, verts.size(), [&](int, size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i) {
                double p[3] = {verts[i][0], verts[i][1], verts[i][2]};
                if (bake) local.apply(p, p);
                if (options_.y_up) z_up_to_y_up(p);
                for (int k = 0; k < 3; ++k) positions_[3 * i + k] = static_cast<float>(p[k]);
            }
        });

        classify_faces();
        index_corners();
        make_normals_and_vertices();
        emit_faces();
        if (options_.obj) {
            out_.positions.assign(positions_.get(), positions_.get() + 3 * mesh_.Vertices().size());
            if (textured_) {
                const std::vector<MVector3>& uvs = mesh_.UVVertices();
                out_.uvs.reserve(uvs.size() * 2);
                for (const MVector3& t : uvs)
                    for (int k = 0; k < 2; ++k) out_.uvs.push_back(finite_float(t[k]));
            }
        }
    }

private:
    static float finite_float(double v) {
        const auto f = static_cast<float>(v);
        return std::isfinite(f) ? f : 0.0f;
    }

    const int32_t* uv_indices(uint32_t f) const {
        return textured_ && f < uv_faces_.Size() && uv_faces_.Count(f) == faces_.Count(f) ? uv_faces_.Indices(f) : nullptr;
    }

    uint32_t corner_start(uint32_t f) const { return static_cast<uint32_t>(faces_.Indices(f) - base_); }

    // The corners of all faces, whose indices lie one after another.
    uint64_t corner_count() const {
        const uint32_t n = faces_.Size();
        return n == 0 ? 0 : corner_start(n - 1) + uint64_t{faces_.Count(n - 1)};
    }

    // The primitive of a material index; the surface is looked up once per index.
    uint32_t prim_for(int32_t material) {
        for (const auto& [m, prim] : material_prims_)
            if (m == material) return prim;
        // The surface the object's reference for this index names, else
        // DEFAULT (as MScene::Find_Surface, by a table: scenes of many
        // objects have as many surfaces).
        const char* ref = nullptr;
        int64_t entry = static_cast<int64_t>(material) - mesh_.material_ref_base, k = 0;
        for (MListNode* n = mesh_.material_refs.head; n != nullptr && ref == nullptr; n = n->next, ++k)
            if (k == entry) ref = static_cast<const char*>(n->item);
        const MSurface* surface = surfaces_.find(ref);
        uint32_t prim = 0;
        while (prim < out_.primitives.size() && out_.primitives[prim].surface != surface) ++prim;
        if (prim == out_.primitives.size()) {
            prim_corners_.push_back(0);
            prim_indices_.push_back(0);
            Primitive& p = out_.primitives.emplace_back();
            p.surface = surface;
            p.has_uvs = textured_;
            if (surface != nullptr) {
                p.key = utf8_from_cp1252(surface->get_name());
                // The surface the object's own reference names gets a name a
                // person can read; shared ones (DEFAULT) keep theirs.
                p.name = ref != nullptr && std::strcmp(ref, surface->get_name()) == 0
                             ? out_.name + " material " + std::to_string(material)
                             : p.key;
            } else {
                p.name = "DEFAULT";
            }
        }
        material_prims_.emplace_back(material, prim);
        return prim;
    }

    // Checks every face, finds its normal and primitive and how it is cut
    // into triangles; counts the corners at each position.
    void classify_faces() {
        const uint32_t face_count = faces_.Size();
        face_prim_ = large_array<uint32_t>(face_count);
        face_kind_ = large_array<uint8_t>(face_count);
        face_normal_ = large_array<float>(3 * static_cast<size_t>(face_count));
        reserve_large(offsets_, mesh_.Vertices().size() + 1);
        offsets_.assign(mesh_.Vertices().size() + 1, 0);
        // Each face on its own, a half of the faces per thread.
        std::array<std::vector<uint32_t>, 2> others;
        face_split_ = two_threads_ ? face_count / 2 : face_count;
        in_halves(face_split_, face_count, [&](int h, uint32_t begin, uint32_t end) { check_faces(begin, end, others[h]); });
        other_split_ = others[0].size();
        other_triangles_ = std::move(others[0]);
        other_triangles_.insert(other_triangles_.end(), others[1].begin(), others[1].end());
        // Then in face order: the primitives are numbered as their materials
        // first appear.
        uint32_t dropped_degenerate = 0, dropped_index = 0;
        size_t other = 0;
        for (uint32_t f = 0; f < face_count; ++f) {
            if (f == face_split_) first_half_indices_ = prim_indices_;
            const uint8_t kind = face_kind_[f];
            if (kind == kBadIndex || kind == kDegenerate) {
                face_prim_[f] = kNoIndex;
                ++(kind == kBadIndex ? dropped_index : dropped_degenerate);
                continue;
            }
            const uint32_t count = faces_.Count(f);
            uint32_t indices = kind == kTriangle ? 3 : 6;
            if (kind == kOther) {
                indices = other_triangles_[other];
                other += 1 + indices;
            }
            const uint32_t prim = prim_for(faces_.MatId(f));
            face_prim_[f] = prim;
            prim_corners_[prim] += count;
            prim_indices_[prim] += indices;
            const int32_t* idx = faces_.Indices(f);
            for (uint32_t k = 0; k < count; ++k) ++offsets_[static_cast<size_t>(idx[k])];
        }
        // Room for the most the primitives can take; pages never written
        // cost no memory.
        for (size_t i = 0; i < out_.primitives.size(); ++i) {
            Primitive& p = out_.primitives[i];
            if (options_.obj) {
                reserve_large(p.corners, 3 * prim_corners_[i]);
                continue;
            }
            for (int h = 0; h < (two_threads_ ? 2 : 1); ++h) {
                Primitive::Vertices& part = p.parts[h];
                reserve_large(part.positions, 3 * prim_corners_[i]);
                reserve_large(part.normals, 3 * prim_corners_[i]);
                if (p.has_uvs) reserve_large(part.uvs, 2 * prim_corners_[i]);
            }
            reserve_large(p.indices, prim_indices_[i]);
        }
        if (dropped_degenerate != 0)
            err_ << "vertexa: warning: object " << out_.name << ": " << dropped_degenerate << " degenerate face(s) dropped\n";
        if (dropped_index != 0)
            err_ << "vertexa: warning: object " << out_.name << ": " << dropped_index
                 << " face(s) with vertex or texture vertex indices outside the object dropped\n";
    }

    // Faces [begin, end): their kind and normal; the triangles of those cut
    // by ear clipping go to `others`, a count and the corners per face.
    void check_faces(uint32_t begin, uint32_t end, std::vector<uint32_t>& others) {
        const size_t vertex_count = mesh_.Vertices().size();
        const size_t uv_count = mesh_.UVVertices().size();
        std::vector<Point> pts;
        std::vector<uint32_t> tris;
        for (uint32_t f = begin; f < end; ++f) {
            const uint32_t count = faces_.Count(f);
            const int32_t* idx = faces_.Indices(f);
            const int32_t* uv_idx = uv_indices(f);
            bool ok = true;
            for (uint32_t k = 0; k < count && ok; ++k) {
                if (idx[k] < 0 || static_cast<size_t>(idx[k]) >= vertex_count) ok = false;
                if (uv_idx != nullptr && (uv_idx[k] < 0 || static_cast<size_t>(uv_idx[k]) >= uv_count)) ok = false;
            }
            if (!ok) {
                face_kind_[f] = kBadIndex;
                continue;
            }
            double normal[3];
            auto keep = [&](uint8_t kind) {
                for (int k = 0; k < 3; ++k)
                    face_normal_[3 * size_t(f) + k] = static_cast<float>(flip_ ? -normal[k] : normal[k]);
                face_kind_[f] = kind;
            };
            if (count == 3 || count == 4) {
                // Most faces of most models: no search, no allocation.
                Point q[4];
                for (uint32_t k = 0; k < count; ++k) {
                    const float* p = &positions_[3 * static_cast<size_t>(idx[k])];
                    q[k] = {p[0], p[1], p[2]};
                }
                bool convex = false;
                const bool found = count == 3 ? small_face<3>(q, normal, convex) : small_face<4>(q, normal, convex);
                if (!found) {
                    face_kind_[f] = kDegenerate;
                    continue;
                }
                if (convex) {
                    keep(count == 3 ? kTriangle : kConvexQuad);
                    continue;
                }
            }
            pts.resize(count);
            for (uint32_t k = 0; k < count; ++k) {
                const float* p = &positions_[3 * static_cast<size_t>(idx[k])];
                pts[k] = {p[0], p[1], p[2]};
            }
            tris.clear();
            if (!triangulate_face(pts, tris, normal)) {
                face_kind_[f] = kDegenerate;
                continue;
            }
            if (count == 4 && tris.size() == 6 && tris[0] == 0 && tris[1] == 1 && tris[2] == 2 && tris[3] == 0 &&
                tris[4] == 2 && tris[5] == 3) {
                keep(kConvexQuad);
            } else {
                keep(kOther);
                others.push_back(static_cast<uint32_t>(tris.size()));
                others.insert(others.end(), tris.begin(), tris.end());
            }
        }
    }

    // Runs work(h, begin, end) on the halves 0..split (h 0) and split..n
    // (h 1) at once for a large mesh, the second on a thread of its own (on
    // this one when none can be had); work(0, 0, n) alone for a small one.
    // An exception of either reaches the caller.
    template <typename Index, typename Work>
    void in_halves(Index split, Index n, Work&& work) {
        if (!two_threads_) {
            work(0, Index{0}, n);
            return;
        }
        std::exception_ptr failed;
        std::thread other;
        try {
            other = std::thread([&] {
                try {
                    work(1, split, n);
                } catch (...) {
                    failed = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            work(1, split, n);
        }
        try {
            work(0, Index{0}, split);
        } catch (...) {
            if (other.joinable()) other.join();
            throw;
        }
        if (other.joinable()) other.join();
        if (failed) std::rethrow_exception(failed);
    }

    // The per-position table: the corners of the written faces at each
    // position, in face order. corner_data_ holds each corner's face.
    void index_corners() {
        uint64_t total = 0;
        for (uint32_t& o : offsets_) {
            const uint32_t n = o;
            o = static_cast<uint32_t>(total);
            total += n;
        }
        entries_ = large_array<uint32_t>(total);
        const uint32_t face_count = faces_.Size();
        corner_data_ = large_array<uint32_t>(corner_count());
        // Two threads split the positions, a half of the corners each.
        const size_t position_count = offsets_.size() - 1;
        split_ = static_cast<uint32_t>(position_count);
        if (two_threads_)
            split_ = static_cast<uint32_t>(std::upper_bound(offsets_.begin(), offsets_.end() - 1, total / 2) - offsets_.begin());
        in_halves(split_, static_cast<uint32_t>(position_count), [&](int, uint32_t lo, uint32_t hi) {
            for (uint32_t f = 0; f < face_count; ++f) {
                if (face_prim_[f] == kNoIndex) continue;
                const int32_t* idx = faces_.Indices(f);
                const uint32_t start = corner_start(f);
                for (uint32_t k = 0; k < faces_.Count(f); ++k) {
                    const auto p = static_cast<uint32_t>(idx[k]);
                    if (p < lo || p >= hi) continue;
                    entries_[offsets_[p]++] = start + k;
                    corner_data_[start + k] = f;
                }
            }
        });
        for (size_t p = offsets_.size() - 1; p > 0; --p) offsets_[p] = offsets_[p - 1];
        offsets_[0] = 0;
    }

    bool smooth(uint32_t f, uint32_t g) const {
        if (smooth_all_) return true;
        if (smooth_none_) return false;
        const float* a = &face_normal_[3 * size_t(f)];
        const float* b = &face_normal_[3 * size_t(g)];
        return double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2] > cos_limit_;
    }

    void join(std::vector<Corner>& cs, uint32_t i, uint32_t j) const {
        if (cs[i].face == cs[j].face || !smooth(cs[i].face, cs[j].face)) return;
        const uint32_t a = find_root(cs, i), b = find_root(cs, j);
        if (a != b) cs[std::max(a, b)].parent = std::min(a, b);
    }

    // Per position: the faces around it fall into groups of neighbours
    // (sharing an edge) that meet at less than the crease angle; each group
    // gets one normal, its faces' normals weighted by their corner angles.
    // glTF: each distinct (primitive, texture vertex, normal) becomes a
    // vertex; OBJ: each group a normal. corner_data_ then holds that index.
    // A large mesh's positions are done in two halves at once: the vertices
    // of the positions from split_ on go to the primitives' second parts.
    void make_normals_and_vertices() {
        const size_t position_count = offsets_.size() - 1;
        if (options_.obj) {
            // One list of normals, in the order of the positions.
            two_threads_ = false;
            split_ = static_cast<uint32_t>(position_count);
        }
        in_halves(size_t{split_}, position_count, [&](int h, size_t begin, size_t end) { normals_and_vertices(begin, end, h); });
        entries_.reset();
        std::vector<uint32_t>().swap(offsets_);
        face_normal_.reset();
        if (!options_.obj) positions_.reset();
    }

    void normals_and_vertices(size_t begin, size_t end, int part) {
        // glTF: the part's arrays get room for the most they can take (left
        // uninitialised, so untouched pages cost nothing) and are cut to
        // what was made at the end.
        std::vector<uint32_t> made(out_.primitives.size(), 0);
        if (!options_.obj)
            for (size_t i = 0; i < out_.primitives.size(); ++i) {
                Primitive& p = out_.primitives[i];
                p.parts[part].positions.resize(3 * prim_corners_[i]);
                p.parts[part].normals.resize(3 * prim_corners_[i]);
                if (p.has_uvs) p.parts[part].uvs.resize(2 * prim_corners_[i]);
            }
        normals_and_vertices_made(begin, end, part, made);
        if (!options_.obj)
            for (size_t i = 0; i < out_.primitives.size(); ++i) {
                Primitive& p = out_.primitives[i];
                p.parts[part].positions.resize(3 * size_t(made[i]));
                p.parts[part].normals.resize(3 * size_t(made[i]));
                if (p.has_uvs) p.parts[part].uvs.resize(2 * size_t(made[i]));
            }
    }

    void normals_and_vertices_made(size_t begin, size_t end, int part, std::vector<uint32_t>& made) {
        std::vector<Corner> cs;
        std::vector<std::array<double, 3>> sums;
        std::vector<uint32_t> normal_of, order;
        std::vector<std::pair<uint32_t, uint32_t>> edges;
        for (size_t p = begin; p < end; ++p) {
            const uint32_t first = offsets_[p], k = offsets_[p + 1] - first;
            if (k == 0) continue;
            cs.resize(k);
            const float* at = &positions_[3 * p];
            for (uint32_t i = 0; i < k; ++i) {
                Corner& c = cs[i];
                c.corner = entries_[first + i];
                c.face = corner_data_[c.corner];
                const uint32_t n = faces_.Count(c.face), kf = c.corner - corner_start(c.face);
                const int32_t* idx = faces_.Indices(c.face);
                c.prev = static_cast<uint32_t>(idx[kf == 0 ? n - 1 : kf - 1]);
                c.next = static_cast<uint32_t>(idx[kf + 1 == n ? 0 : kf + 1]);
                c.prim = face_prim_[c.face];
                const int32_t* uv_idx = uv_indices(c.face);
                c.uv = uv_idx != nullptr ? static_cast<uint32_t>(uv_idx[kf]) : kNoIndex;
                c.parent = i;
                c.weight = corner_angle(at, &positions_[3 * size_t(c.prev)], &positions_[3 * size_t(c.next)]);
            }
            // Two corners here belong to neighbouring faces when the faces
            // share one of the edges leaving this position (either winding).
            if (k <= kFewCorners) {
                for (uint32_t i = 0; i < k; ++i)
                    for (uint32_t j = i + 1; j < k; ++j) {
                        const Corner &a = cs[i], &b = cs[j];
                        if (a.prev == b.next || a.next == b.prev || a.prev == b.prev || a.next == b.next) join(cs, i, j);
                    }
            } else {
                edges.clear();
                for (uint32_t i = 0; i < k; ++i) {
                    edges.emplace_back(cs[i].prev, i);
                    if (cs[i].next != cs[i].prev) edges.emplace_back(cs[i].next, i);
                }
                std::sort(edges.begin(), edges.end());
                for (size_t e = 1; e < edges.size(); ++e)
                    if (edges[e].first == edges[e - 1].first) join(cs, edges[e - 1].second, edges[e].second);
            }
            // Each corner's parent is its group's first corner from here on
            // (a parent never follows its child).
            for (uint32_t i = 0; i < k; ++i) cs[i].parent = cs[cs[i].parent].parent;
            sums.assign(k, {0.0, 0.0, 0.0});
            for (uint32_t i = 0; i < k; ++i) {
                const uint32_t r = cs[i].parent;
                const float* n = &face_normal_[3 * size_t(cs[i].face)];
                for (int d = 0; d < 3; ++d) sums[r][d] += cs[i].weight * n[d];
            }
            for (uint32_t i = 0; i < k; ++i) {
                if (cs[i].parent != i) continue;
                double len = std::sqrt(sums[i][0] * sums[i][0] + sums[i][1] * sums[i][1] + sums[i][2] * sums[i][2]);
                if (!(len > 1e-30)) {
                    // Zero-angle corners only, or faces that cancel out: the
                    // group takes its first face's normal.
                    for (int d = 0; d < 3; ++d) sums[i][d] = face_normal_[3 * size_t(cs[i].face) + d];
                    len = std::sqrt(sums[i][0] * sums[i][0] + sums[i][1] * sums[i][1] + sums[i][2] * sums[i][2]);
                }
                for (int d = 0; d < 3; ++d) sums[i][d] /= len;
            }
            if (options_.obj) {
                normal_of.assign(k, kNoIndex);
                for (uint32_t i = 0; i < k; ++i) {
                    const uint32_t r = cs[i].parent;
                    if (normal_of[r] == kNoIndex) {
                        normal_of[r] = static_cast<uint32_t>(out_.normals.size() / 3);
                        for (int d = 0; d < 3; ++d) out_.normals.push_back(static_cast<float>(sums[r][d]));
                    }
                    corner_data_[cs[i].corner] = normal_of[r];
                }
                continue;
            }
            // glTF vertices: corners with the same primitive, texture vertex
            // and normal group share one.
            auto same = [&](uint32_t i, uint32_t j) {
                return cs[i].prim == cs[j].prim && cs[i].uv == cs[j].uv && cs[i].parent == cs[j].parent;
            };
            auto add_vertex = [&](uint32_t i) {
                const uint32_t prim = cs[i].prim;
                Primitive::Vertices& vs = out_.primitives[prim].parts[part];
                const uint32_t v = made[prim]++;
                float* out = vs.positions.data() + 3 * size_t(v);
                out[0] = at[0];
                out[1] = at[1];
                out[2] = at[2];
                const auto& n = sums[cs[i].parent];
                out = vs.normals.data() + 3 * size_t(v);
                for (int d = 0; d < 3; ++d) out[d] = static_cast<float>(n[d]);
                if (!vs.uvs.empty()) {
                    float u = 0.0f, w = 0.0f;
                    if (cs[i].uv != kNoIndex) {
                        const MVector3& t = mesh_.UVVertices()[cs[i].uv];
                        u = finite_float(t[0]);
                        w = finite_float(t[1]);
                    }
                    // glTF's v runs downwards.
                    out = vs.uvs.data() + 2 * size_t(v);
                    out[0] = u;
                    out[1] = 1.0f - w;
                }
                return v;
            };
            if (k <= kFewCorners) {
                for (uint32_t i = 0; i < k; ++i) {
                    uint32_t j = 0;
                    while (j < i && !same(i, j)) ++j;
                    corner_data_[cs[i].corner] = j < i ? corner_data_[cs[j].corner] : add_vertex(i);
                }
            } else {
                order.resize(k);
                for (uint32_t i = 0; i < k; ++i) order[i] = i;
                auto key = [&](uint32_t i) { return std::array<uint32_t, 3>{cs[i].prim, cs[i].uv, cs[i].parent}; };
                std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return key(a) < key(b); });
                for (uint32_t o = 0; o < k; ++o) {
                    const uint32_t i = order[o];
                    corner_data_[cs[i].corner] =
                        o > 0 && same(i, order[o - 1]) ? corner_data_[cs[order[o - 1]].corner] : add_vertex(i);
                }
            }
        }
    }

    void emit_faces() {
        if (!options_.obj) {
            for (size_t i = 0; i < out_.primitives.size(); ++i) out_.primitives[i].indices.resize(prim_indices_[i]);
            in_halves(face_split_, faces_.Size(), [&](int h, uint32_t begin, uint32_t end) { emit_triangles(begin, end, h); });
            return;
        }
        for (uint32_t f = 0; f < faces_.Size(); ++f) {
            if (face_prim_[f] == kNoIndex) continue;
            Primitive& prim = out_.primitives[face_prim_[f]];
            const uint32_t start = corner_start(f), count = faces_.Count(f);
            const int32_t* idx = faces_.Indices(f);
            const int32_t* uv_idx = uv_indices(f);
            prim.polygon_sizes.push_back(count);
            for (uint32_t j = 0; j < count; ++j) {
                const uint32_t k = flip_ ? (count - j) % count : j;
                prim.corners.insert(prim.corners.end(),
                                    {static_cast<uint32_t>(idx[k]), uv_idx != nullptr ? static_cast<uint32_t>(uv_idx[k]) : kNoIndex,
                                     corner_data_[start + k]});
            }
        }
    }

    // The triangles of faces [begin, end) into the primitives' indices:
    // the first half's from the start, the second's after them.
    void emit_triangles(uint32_t begin, uint32_t end, int half) {
        std::vector<uint64_t> at(out_.primitives.size(), 0);
        if (half == 1) std::copy(first_half_indices_.begin(), first_half_indices_.end(), at.begin());
        size_t other = half == 0 ? 0 : other_split_;
        for (uint32_t f = begin; f < end; ++f) {
            if (face_prim_[f] == kNoIndex) continue;
            const uint32_t p = face_prim_[f];
            Primitive& prim = out_.primitives[p];
            uint32_t* out = prim.indices.data();
            const uint32_t start = corner_start(f);
            // Vertices of the second half of the positions follow the first half's.
            const int32_t* idx = faces_.Indices(f);
            const uint32_t shift = prim.parts[0].count();
            auto vertex = [&](uint32_t k) {
                return corner_data_[start + k] + (static_cast<uint32_t>(idx[k]) >= split_ ? shift : 0);
            };
            auto triangle = [&](uint32_t a, uint32_t b, uint32_t c) {
                a = vertex(a);
                b = vertex(b);
                c = vertex(c);
                if (flip_) std::swap(b, c);
                out[at[p]] = a;
                out[at[p] + 1] = b;
                out[at[p] + 2] = c;
                at[p] += 3;
            };
            if (face_kind_[f] == kTriangle) {
                triangle(0, 1, 2);
            } else if (face_kind_[f] == kConvexQuad) {
                triangle(0, 1, 2);
                triangle(0, 2, 3);
            } else {
                const uint32_t n = other_triangles_[other++];
                for (uint32_t t = 0; t + 2 < n; t += 3)
                    triangle(other_triangles_[other + t], other_triangles_[other + t + 1], other_triangles_[other + t + 2]);
                other += n;
            }
        }
    }

    const SurfaceTable& surfaces_;
    MMesh_P& mesh_;
    const BuildOptions& options_;
    MeshOut& out_;
    std::ostream& err_;
    const MPolygonList& faces_;
    const MPolygonList& uv_faces_;
    const int32_t* base_ = nullptr;
    bool flip_ = false, textured_ = false, smooth_all_ = false, smooth_none_ = false;
    bool two_threads_ = false;
    uint32_t split_ = 0;  // the first position whose vertices go to the second parts
    double cos_limit_ = 1.0;
    std::unique_ptr<float[]> positions_;  // x y z per vertex, as written
    // Written before they are read, so left uninitialised.
    std::unique_ptr<uint32_t[]> face_prim_;  // kNoIndex: the face is dropped
    std::unique_ptr<uint8_t[]> face_kind_;
    std::unique_ptr<float[]> face_normal_;   // unit, outward
    std::unique_ptr<uint32_t[]> entries_, corner_data_;
    std::vector<uint32_t> other_triangles_;  // count and corners of the faces cut by ear clipping, in face order
    std::vector<uint32_t> offsets_;
    std::vector<std::pair<int32_t, uint32_t>> material_prims_;
    std::vector<uint64_t> prim_corners_, prim_indices_;
    // Where the faces are split between the threads, and what the first
    // half gives: indices per primitive, numbers in other_triangles_.
    uint32_t face_split_ = 0;
    std::vector<uint64_t> first_half_indices_;
    size_t other_split_ = 0;
};

}  // namespace

std::vector<MeshOut> build_meshes(MScene& scene, const BuildOptions& options, std::ostream& err) {
    std::vector<MeshOut> meshes;
    UniqueNames names;
    const SurfaceTable surfaces(scene);
    for (MListNode* node = scene.Get_ObjectList()->head; node != nullptr; node = node->next) {
        auto* mesh = dynamic_cast<MMesh_P*>(static_cast<MObj3d*>(node->item));
        if (mesh == nullptr) continue;
        MeshOut out;
        std::string name = utf8_from_cp1252(mesh->get_name());
        out.name = names.take(name.empty() ? options.fallback_name : name);
        MeshBuilder(surfaces, *mesh, options, out, err).run();
        if (out.primitives.empty()) {
            err << "vertexa: warning: object " << out.name << " has no faces to write; left out\n";
            continue;
        }
        meshes.push_back(std::move(out));
    }
    return meshes;
}

}  // namespace vertexa::convert
