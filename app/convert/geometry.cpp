#include "geometry.h"

#include <cmath>
#include <limits>
#include <ostream>
#include <unordered_map>

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

bool triangulate(const std::vector<Point>& points, std::vector<uint32_t>& triangles) {
    const size_t n = points.size();
    if (n < 3) return false;
    for (const Point& p : points)
        for (double v : p)
            if (!std::isfinite(v)) return false;
    // Newell's normal: its length is twice the area, its direction the side
    // the polygon faces with its winding counter-clockwise.
    double nx = 0, ny = 0, nz = 0;
    for (size_t i = 0; i < n; ++i) {
        const Point& a = points[i];
        const Point& b = points[(i + 1) % n];
        nx += (a[1] - b[1]) * (a[2] + b[2]);
        ny += (a[2] - b[2]) * (a[0] + b[0]);
        nz += (a[0] - b[0]) * (a[1] + b[1]);
    }
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    double extent = 0.0;
    for (const Point& p : points)
        for (int k = 0; k < 3; ++k) extent = std::max(extent, std::fabs(p[k] - points[0][k]));
    if (!(len > 1e-12 * extent * extent) || !(len > 0.0)) return false;

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
    const double eps = 1e-12 * extent * extent;

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

std::vector<MeshOut> build_meshes(MScene& scene, const BuildOptions& options, std::ostream& err) {
    std::vector<MeshOut> meshes;
    for (MListNode* node = scene.Get_ObjectList()->head; node != nullptr; node = node->next) {
        auto* mesh = dynamic_cast<MMesh_P*>(static_cast<MObj3d*>(node->item));
        if (mesh == nullptr) continue;
        MeshOut out;
        out.name = vertexa::utf8_from_cp1252(mesh->get_name());
        Placement local = Placement::from_host(mesh->Get_LocalMatrix());
        if (!local.is_finite()) {
            err << "vertexa: warning: object " << out.name << " has a matrix that is not finite; placed at the origin\n";
            local = Placement{};
        }
        // What goes into the vertices (bake) and what stays on the node.
        const bool bake = options.bake_world || !local.is_rotation_scale();
        // Sheared placements cannot be glTF node matrices; their vertices carry them.
        const bool flip = bake && local.determinant() < 0.0;
        out.placement = bake ? Placement{} : (options.y_up ? to_y_up(local) : local);

        const std::vector<MVector3>& verts = mesh->Vertices();
        const std::vector<MVector3>& uvs = mesh->UVVertices();
        const MPolygonList& faces = mesh->Faces();
        const MPolygonList& uv_faces = mesh->UVFaces();
        const bool textured = mesh->UVUsed() != 0 && !uvs.empty();

        std::vector<const MSurface*> prim_surface;
        std::vector<std::unordered_map<uint64_t, uint32_t>> corner_maps;
        uint32_t dropped_degenerate = 0, dropped_index = 0;
        std::vector<Point> pts;
        std::vector<uint32_t> tris;
        for (uint32_t f = 0; f < faces.Size(); ++f) {
            const uint32_t count = faces.Count(f);
            const int32_t* idx = faces.Indices(f);
            const bool face_uv = textured && f < uv_faces.Size() && uv_faces.Count(f) == count;
            const int32_t* uv_idx = face_uv ? uv_faces.Indices(f) : nullptr;
            bool ok = true;
            for (uint32_t k = 0; k < count && ok; ++k) {
                if (idx[k] < 0 || static_cast<size_t>(idx[k]) >= verts.size()) ok = false;
                if (uv_idx != nullptr && (uv_idx[k] < 0 || static_cast<size_t>(uv_idx[k]) >= uvs.size())) ok = false;
            }
            if (!ok) {
                ++dropped_index;
                continue;
            }
            pts.resize(count);
            for (uint32_t k = 0; k < count; ++k) {
                double p[3] = {verts[idx[k]][0], verts[idx[k]][1], verts[idx[k]][2]};
                if (bake) local.apply(p, p);
                if (options.y_up) z_up_to_y_up(p);
                pts[k] = {p[0], p[1], p[2]};
            }
            tris.clear();
            if (!triangulate(pts, tris)) {
                ++dropped_degenerate;
                continue;
            }
            bool finite = true;
            for (const Point& p : pts)
                for (double c : p)
                    if (!std::isfinite(static_cast<float>(c))) finite = false;
            if (!finite) {
                ++dropped_degenerate;
                continue;
            }

            const MSurface* surface = scene.Find_Surface(mesh, faces.MatId(f));
            size_t pi = 0;
            while (pi < prim_surface.size() && prim_surface[pi] != surface) ++pi;
            if (pi == prim_surface.size()) {
                prim_surface.push_back(surface);
                corner_maps.emplace_back();
                out.primitives.emplace_back();
                out.primitives.back().surface = surface;
                out.primitives.back().has_uvs = textured;
            }
            Primitive& prim = out.primitives[pi];
            auto& corners = corner_maps[pi];
            auto vertex_of = [&](uint32_t k) {
                const uint32_t vi = static_cast<uint32_t>(idx[k]);
                const uint32_t ti = uv_idx != nullptr ? static_cast<uint32_t>(uv_idx[k]) : 0xFFFFFFFFu;
                const uint64_t key = (static_cast<uint64_t>(vi) << 32) | ti;
                auto [it, fresh] = corners.try_emplace(key, prim.vertex_count());
                if (fresh) {
                    for (int c = 0; c < 3; ++c) prim.positions.push_back(static_cast<float>(pts[k][c]));
                    if (prim.has_uvs) {
                        double u = 0.0, v = 0.0;
                        if (uv_idx != nullptr) {
                            u = uvs[ti][0];
                            v = uvs[ti][1];
                        }
                        if (!std::isfinite(static_cast<float>(u))) u = 0.0;
                        if (!std::isfinite(static_cast<float>(v))) v = 0.0;
                        prim.uvs.push_back(static_cast<float>(u));
                        prim.uvs.push_back(static_cast<float>(v));
                    }
                }
                return it->second;
            };
            for (size_t t = 0; t + 2 < tris.size(); t += 3) {
                uint32_t a = vertex_of(tris[t]), b = vertex_of(tris[t + 1]), c = vertex_of(tris[t + 2]);
                if (flip) std::swap(b, c);
                prim.indices.insert(prim.indices.end(), {a, b, c});
            }
        }
        if (dropped_degenerate != 0)
            err << "vertexa: warning: object " << out.name << ": " << dropped_degenerate
                << " degenerate face(s) dropped\n";
        if (dropped_index != 0)
            err << "vertexa: warning: object " << out.name << ": " << dropped_index
                << " face(s) with vertex or texture vertex indices outside the object dropped\n";
        if (out.primitives.empty()) {
            err << "vertexa: warning: object " << out.name << " has no faces to write; left out\n";
            continue;
        }
        meshes.push_back(std::move(out));
    }
    return meshes;
}

}  // namespace vertexa::convert
