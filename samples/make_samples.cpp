// Writes the bundled sample files: a textured cube, a pyramid with a
// procedural material and a smooth ball, as one binary and one ASCII scene, and the cube's
// texture as a BMP in samples/maps. Run from the source tree:
//   build/bin/make_samples samples
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "cob_writer.h"

using namespace cobtest;

namespace {

// A 64x64 24-bit BMP: a two-colour checker of 8x8 squares.
void write_checker_bmp(const std::string& path) {
    const int w = 64, h = 64, row = w * 3;
    const uint32_t data = static_cast<uint32_t>(row * h), size = 54 + data;
    std::string b;
    auto u16 = [&](uint32_t v) { b.push_back(char(v & 0xFF)); b.push_back(char(v >> 8 & 0xFF)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    b += "BM";
    u32(size); u32(0); u32(54);
    u32(40); u32(w); u32(h); u16(1); u16(24); u32(0); u32(data); u32(2835); u32(2835); u32(0); u32(0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool light = ((x / 8) + (y / 8)) % 2 == 0;
            unsigned char bgr[3] = {static_cast<unsigned char>(light ? 0xE8 : 0x30),
                                    static_cast<unsigned char>(light ? 0xD8 : 0x60),
                                    static_cast<unsigned char>(light ? 0xC0 : 0xA0)};
            b.append(reinterpret_cast<char*>(bgr), 3);
        }
    std::ofstream(path, std::ios::binary) << b;
}

// Faces are stored clockwise seen from outside; the reader reverses every
// face, which makes them counter-clockwise.
Polygon cube() {
    Polygon p;
    p.axes.name = "Cube";
    p.vertices = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {-1, -1, 2}, {1, -1, 2}, {1, 1, 2}, {-1, 1, 2}};
    p.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    auto quad = [](int a, int b, int c, int d, uint16_t mat) {
        return Face{false, mat, 0, {{a, 0}, {b, 1}, {c, 2}, {d, 3}}, {}};
    };
    p.faces = {
        quad(0, 3, 2, 1, 1),  // bottom, z = 0
        quad(4, 5, 6, 7, 1),  // top, z = 2
        quad(0, 1, 5, 4, 0),  // front, y = -1
        quad(1, 2, 6, 5, 0),  // right, x = 1
        quad(2, 3, 7, 6, 0),  // back, y = 1
        quad(3, 0, 4, 7, 0),  // left, x = -1
    };
    for (Face& f : p.faces) std::swap(f.corners[1], f.corners[3]);  // clockwise from outside
    return p;
}

Polygon pyramid() {
    Polygon p;
    p.axes.name = "Pyramid";
    p.vertices = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {0, 0, 1.5f}};
    auto tri = [](int a, int b, int c) { return Face{false, 0, 0, {{a, 0}, {b, 0}, {c, 0}}, {}}; };
    // Clockwise from outside.
    p.faces = {tri(0, 4, 1), tri(1, 4, 2), tri(2, 4, 3), tri(3, 4, 0),
               Face{false, 0, 0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}, {}}};
    // Turned 45 degrees about z and moved to x = 4.
    const float c = std::cos(0.785398163f), s = std::sin(0.785398163f);
    float t[4][4] = {{c, -s, 0, 4}, {s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) p.axes.transform[i][k] = t[i][k];
    p.axes.center = {4, 0, 0.5f};
    return p;
}

// A UV sphere of 12 segments and 6 rings (facets meeting at 30 degrees, so
// it converts smooth), at x = -3.5. Small: tests import every prefix of
// the samples.
Polygon ball() {
    Polygon p = uv_sphere("Ball", 12, 6);
    p.axes.transform[0][3] = -3.5f;
    p.axes.transform[2][3] = 1;
    p.axes.center = {-3.5f, 0, 1};
    return p;
}

void write_scene(Encoding e, const std::string& path) {
    Material textured;
    textured.number = 0;
    textured.red = 0.9f;
    textured.green = 0.85f;
    textured.blue = 0.8f;
    textured.maps = {MapBlock{MapKind::Texture, 0, "C:\\trueSpace\\maps\\checker.bmp", 0, 0, 2, 2, 1, {}, {}}};
    Material red;
    red.number = 1;
    red.red = 0.8f;
    red.green = 0.1f;
    red.blue = 0.1f;
    Procedural marble;
    marble.head.number = 0;
    marble.head.red = 0.2f;
    marble.head.green = 0.4f;
    marble.head.blue = 0.9f;
    marble.head.alpha = 0.75f;
    marble.parameters = e == Encoding::Binary ? std::string(24, '\0') : "marble veins 3 grain 0.5\n";

    Material green;
    green.red = 0.2f;
    green.green = 0.7f;
    green.blue = 0.3f;
    green.ks = 0.8f;
    Axes group;
    group.name = "Still life";
    CobFile f(e);
    f.group(1, 0, group)
        .polygon(2, 1, cube())
        .material(3, 2, textured)
        .material(4, 2, red)
        .polygon(5, 1, pyramid())
        .procedural(6, 5, marble)
        .polygon(7, 1, ball())
        .material(8, 7, green)
        .end();
    f.write(path);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "samples";
    write_scene(Encoding::Binary, dir + "/still_life.scn");
    write_scene(Encoding::Ascii, dir + "/still_life_ascii.scn");
    write_checker_bmp(dir + "/maps/checker.bmp");
    std::printf("wrote %s/still_life.scn, %s/still_life_ascii.scn, %s/maps/checker.bmp\n", dir.c_str(), dir.c_str(),
                dir.c_str());
    return 0;
}
