#include "generate.h"

#include <cmath>

namespace bench {
namespace {

using cobtest::Corner;
using cobtest::Encoding;
using cobtest::Face;
using cobtest::MapBlock;
using cobtest::MapKind;
using cobtest::Material;
using cobtest::Polygon;

constexpr int32_t kTorusId = 2;
constexpr uint16_t kTorusMaterials = 4;

Material banded_material(uint16_t number) {
    Material m;
    m.number = number;
    m.red = 0.2f + 0.2f * number;
    m.green = 0.8f - 0.15f * number;
    m.blue = 0.35f;
    m.alpha = number == 3 ? 0.5f : 1.0f;
    if (number == 1) m.maps.push_back(MapBlock{MapKind::Texture, 0, "maps\\bench_wood.bmp", 0.25f, 0.5f, 4, 4, 1, {}, {}});
    if (number == 2) m.maps.push_back(MapBlock{MapKind::Bump, 0, "maps\\bench_bump.bmp", 0, 0, 2, 2, 0.75f, {}, {}});
    return m;
}

}  // namespace

cobtest::CobFile torus_file(Encoding encoding, const TorusShape& shape) {
    const uint32_t n = shape.rings, m = shape.segments;
    Polygon p;
    p.axes.name = "Torus " + std::to_string(shape.vertices());
    p.axes.center = {0.0f, 0.0f, 0.0f};
    p.axes.transform[0][3] = 1.5f;
    p.vertices.reserve(shape.vertices());
    p.uvs.reserve(shape.vertices());
    p.faces.reserve(shape.vertices());
    const double two_pi = 6.283185307179586;
    for (uint32_t i = 0; i < n; ++i) {
        const double a = two_pi * i / n;
        for (uint32_t j = 0; j < m; ++j) {
            const double b = two_pi * j / m;
            const double r = 10.0 + 3.0 * std::cos(b);
            p.vertices.push_back({static_cast<float>(r * std::cos(a)), static_cast<float>(r * std::sin(a)),
                                  static_cast<float>(3.0 * std::sin(b))});
            p.uvs.emplace_back(static_cast<float>(static_cast<double>(j) / m),
                               static_cast<float>(static_cast<double>(i) / n));
        }
    }
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t j = 0; j < m; ++j) {
            const int32_t a = static_cast<int32_t>(i * m + j);
            const int32_t b = static_cast<int32_t>(i * m + (j + 1) % m);
            const int32_t c = static_cast<int32_t>(((i + 1) % n) * m + (j + 1) % m);
            const int32_t d = static_cast<int32_t>(((i + 1) % n) * m + j);
            Face f;
            f.material = static_cast<uint16_t>((i * kTorusMaterials) / n);
            f.corners = {Corner{a, a}, Corner{b, b}, Corner{c, c}, Corner{d, d}};
            p.faces.push_back(std::move(f));
        }
    }
    cobtest::CobFile file(encoding);
    file.polygon(kTorusId, 0, p);
    for (uint16_t k = 0; k < kTorusMaterials; ++k) file.material(kTorusId + 1 + k, kTorusId, banded_material(k));
    file.end();
    return file;
}

Expected torus_expected(const TorusShape& shape) {
    Expected e;
    e.objects = 1;
    e.vertices = shape.vertices();
    e.uv_vertices = shape.vertices();
    e.faces = shape.vertices();
    e.surfaces = 1 + kTorusMaterials;
    return e;
}

cobtest::CobFile boxes_file(Encoding encoding, uint32_t objects) {
    cobtest::CobFile file(encoding);
    int32_t id = 1;
    int32_t group = 0;
    for (uint32_t k = 0; k < objects; ++k) {
        if (k % 10 == 0) {
            cobtest::Axes g;
            g.name = "Group " + std::to_string(k / 10);
            group = id++;
            file.group(group, 0, g);
        }
        const float x = static_cast<float>(k % 32) * 3.0f, y = static_cast<float>(k / 32) * 3.0f;
        Polygon p;
        p.axes.name = "Box " + std::to_string(k);
        p.axes.transform[0][3] = x;
        p.axes.transform[1][3] = y;
        for (int c = 0; c < 8; ++c) {
            p.vertices.push_back({c & 1 ? 1.0f : -1.0f, c & 2 ? 1.0f : -1.0f, c & 4 ? 1.0f : -1.0f});
            p.uvs.emplace_back(c & 1 ? 1.0f : 0.0f, c & 2 ? 1.0f : 0.0f);
        }
        const int32_t quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
        for (int q = 0; q < 6; ++q) {
            Face f;
            f.material = static_cast<uint16_t>(q < 4 ? 0 : 1);
            for (int32_t v : quads[q]) f.corners.push_back(Corner{v, v});
            p.faces.push_back(std::move(f));
        }
        const int32_t object = id++;
        file.polygon(object, group, p);
        file.material(id++, object, banded_material(static_cast<uint16_t>(k % 2)));
    }
    file.end();
    return file;
}

Expected boxes_expected(uint32_t objects) {
    Expected e;
    e.objects = objects;
    e.vertices = 8ull * objects;
    e.uv_vertices = 8ull * objects;
    e.faces = 6ull * objects;
    e.surfaces = 1ull + objects;
    return e;
}

}  // namespace bench
