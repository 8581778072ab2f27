// Conversion of trueSpace files to glTF and OBJ: the files are made with the
// test writer, converted through the same entry point as `vertexa convert`,
// and read back with independent readers (tinygltf, tinyobjloader, the
// Khronos validator).
#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>
#include <tiny_gltf.h>
#include <tiny_obj_loader.h>

#include "../host/host_test_util.h"
#include "cob_writer.h"
#include "convert.h"
#include "geometry.h"
#include "import.h"
#include "output.h"
#include "vertexa/services.h"

using namespace cobtest;
namespace fs = std::filesystem;
namespace cv = vertexa::convert;

namespace {

using V3 = std::array<double, 3>;

const std::string kSource = VERTEXA_SOURCE_DIR, kWeb = kSource + "/tests/web";
const std::string kChecker = kSource + "/samples/maps/checker.bmp";  // 64 x 64, 24 bits

// The test's own folder, with a profile of its own: no image search path and no log.
std::string tmp_dir() {
    const std::string dir = host_test::scratch_folder();
    host_test::write_file(dir + "/profile.ini", "[Common Settings]\nverbose=0\n");
    cobtest::set_env("VERTEXA_PROFILE", (dir + "/profile.ini").c_str());
    return dir;
}

// A unit cube from 0 to 1, faces stored clockwise from outside as trueSpace
// files hold them; top and bottom use material 0, the sides material 1.
Polygon cube(const std::string& name) {
    Polygon p;
    p.axes.name = name;
    p.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    p.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    auto quad = [](int a, int b, int c, int d, uint16_t mat) {
        return Face{false, mat, 0, {{a, 0}, {d, 3}, {c, 2}, {b, 1}}, {}};
    };
    p.faces = {quad(0, 3, 2, 1, 0), quad(4, 5, 6, 7, 0), quad(0, 1, 5, 4, 1),
               quad(1, 2, 6, 5, 1), quad(2, 3, 7, 6, 1), quad(3, 0, 4, 7, 1)};
    return p;
}

Material colour(uint16_t n, float r, float g, float b, float alpha = 1) {
    return {.number = n, .red = r, .green = g, .blue = b, .alpha = alpha};
}

void place(Polygon& p, const float (&t)[4][4]) { std::copy(&t[0][0], &t[0][0] + 16, &p.axes.transform[0][0]); }

std::set<std::string> names_in(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// Converts with the reader called directly, without the module.
std::string convert(const std::string& in, const std::string& out, cv::Options o = {}, int want = 0) {
    std::ostringstream err;
    o.importer = import_scene;
    EXPECT_EQ(cv::convert_file(in, out, o, err), want) << err.str();
    return err.str();
}

tinygltf::Model load_gltf(const std::string& path) {
    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string err, warn;
    const bool ok = path.ends_with(".glb") ? loader.LoadBinaryFromFile(&model, &err, &warn, path)
                                           : loader.LoadASCIIFromFile(&model, &err, &warn, path);
    EXPECT_TRUE(ok) << err << warn;
    return model;
}

template <typename T>
const T* data(const tinygltf::Model& m, int accessor) {
    const auto& a = m.accessors[accessor];
    const auto& v = m.bufferViews[a.bufferView];
    return reinterpret_cast<const T*>(m.buffers[v.buffer].data.data() + v.byteOffset + a.byteOffset);
}

// A face as a viewer shows it: world-space corners in the order that faces
// the viewer, and the corners' normals.
struct Shown { std::vector<V3> p, n; };

// Every triangle of a glTF model through its node's matrix: normals through
// the inverse transpose, windings reversed under a mirroring matrix (glTF's rule).
std::vector<Shown> gltf_faces(const tinygltf::Model& m) {
    std::vector<Shown> out;
    for (const auto& node : m.nodes) {
        std::vector<double> t = node.matrix;
        if (t.empty()) t = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        auto e = [&](int r, int c) { return t[c * 4 + r]; };  // column-major
        double cof[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                cof[r][c] = e((r + 1) % 3, (c + 1) % 3) * e((r + 2) % 3, (c + 2) % 3) -
                            e((r + 1) % 3, (c + 2) % 3) * e((r + 2) % 3, (c + 1) % 3);
        const double det = e(0, 0) * cof[0][0] + e(0, 1) * cof[0][1] + e(0, 2) * cof[0][2];
        for (const auto& prim : m.meshes[node.mesh].primitives) {
            const float* pos = data<float>(m, prim.attributes.at("POSITION"));
            const float* nor = data<float>(m, prim.attributes.at("NORMAL"));
            const uint32_t* idx = data<uint32_t>(m, prim.indices);
            for (size_t i = 0; i < m.accessors[prim.indices].count; i += 3) {
                Shown s;
                for (int k : {0, det < 0 ? 2 : 1, det < 0 ? 1 : 2}) {
                    const uint32_t v = idx[i + k];
                    V3 p{}, n{};
                    for (int r = 0; r < 3; ++r) {
                        p[r] = e(r, 3);
                        for (int c = 0; c < 3; ++c) {
                            p[r] += e(r, c) * pos[3 * v + c];
                            n[r] += cof[r][c] * nor[3 * v + c] * (det < 0 ? -1 : 1);
                        }
                    }
                    s.p.push_back(p), s.n.push_back(n);
                }
                out.push_back(s);
            }
        }
    }
    return out;
}

// The OBJ's polygons as written, not triangulated.
tinyobj::ObjReader load_obj(const std::string& path) {
    tinyobj::ObjReader r;
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;
    EXPECT_TRUE(r.ParseFromFile(path, config)) << r.Error();
    return r;
}

std::vector<Shown> obj_faces(const tinyobj::ObjReader& r) {
    std::vector<Shown> out;
    const auto& a = r.GetAttrib();
    for (const auto& shape : r.GetShapes()) {
        size_t c = 0;
        for (unsigned count : shape.mesh.num_face_vertices) {
            Shown s;
            auto at = [](const std::vector<float>& v, int i) { return V3{v[3 * i], v[3 * i + 1], v[3 * i + 2]}; };
            for (unsigned k = 0; k < count; ++k, ++c) {
                s.p.push_back(at(a.vertices, shape.mesh.indices[c].vertex_index));
                s.n.push_back(at(a.normals, shape.mesh.indices[c].normal_index));
            }
            out.push_back(s);
        }
    }
    return out;
}

double dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V3 sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

// Faces and normals of a convex body point away from its centre.
void expect_outward(const std::vector<Shown>& faces, const V3& centre, const std::string& what) {
    ASSERT_FALSE(faces.empty()) << what;
    int bad_faces = 0, bad_normals = 0;
    for (const Shown& f : faces) {
        V3 n{}, mid{};
        for (size_t k = 0; k < f.p.size(); ++k) {
            const V3 &a = f.p[k], &b = f.p[(k + 1) % f.p.size()];
            n[0] += (a[1] - b[1]) * (a[2] + b[2]);
            n[1] += (a[2] - b[2]) * (a[0] + b[0]);
            n[2] += (a[0] - b[0]) * (a[1] + b[1]);
            for (int d = 0; d < 3; ++d) mid[d] += a[d] / f.p.size();
        }
        bad_faces += dot(n, sub(mid, centre)) <= 0;
        for (size_t k = 0; k < f.p.size(); ++k) bad_normals += dot(f.n[k], sub(f.p[k], centre)) <= 0;
    }
    EXPECT_EQ(bad_faces, 0) << what << ": faces facing inwards";
    EXPECT_EQ(bad_normals, 0) << what << ": normals pointing inwards";
}

// Whether node and the files it needs (npm packages of tests/web, the
// browser) are there; when not, the test fails in CI and is skipped elsewhere.
bool have_node(std::initializer_list<std::string> needed) {
    bool have = std::system("node --version >/dev/null 2>&1") == 0;
    for (const std::string& file : needed) have = have && fs::exists(file);
    if (!have && std::getenv("CI") != nullptr) ADD_FAILURE() << "node or the npm packages of tests/web missing";
    else if (!have) [] { GTEST_SKIP() << "node or the npm packages of tests/web (npm ci) are not installed"; }();
    return have;
}

// Runs the Node validator script on the files.
void expect_valid(const std::vector<std::string>& files) {
#if defined(_WIN32)
    return (void)files;  // Node runs beside Wine: .ci/windows.sh validates the Windows program's output
#endif
    if (!have_node({kWeb + "/node_modules/gltf-validator"})) return;
    std::string cmd = "node " + kWeb + "/validate.mjs";
    for (const auto& f : files) cmd += " '" + f + "'";
    cmd += " > '" + files[0] + ".validation.txt' 2>&1";
    const int rc = std::system(cmd.c_str());
    EXPECT_EQ(rc, 0) << host_test::read_file(files[0] + ".validation.txt");
}

}  // namespace

TEST(Triangulate, PolygonsAreCoveredOnceByTrianglesFacingTheirWay) {
    std::vector<V3> circle;
    for (int i = 0; i < 65535; ++i) circle.push_back({std::cos(i * 2 * M_PI / 65535), std::sin(i * 2 * M_PI / 65535), 0});
    struct Case {
        const char* what;
        std::vector<V3> points;
        V3 facing;
        double area;  // 0: refused as degenerate
    } cases[] = {
        {"concave, counter-clockwise", {{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {2, 1, 0}, {0, 3, 0}}, {0, 0, 1}, 8},
        {"concave, clockwise in x-z", {{0, 0, 0}, {0, 0, 3}, {2, 0, 1}, {4, 0, 3}, {4, 0, 0}}, {0, 1, 0}, 8},
        {"convex quad", {{0, 0, 0}, {2, 0, 0}, {2, 0, 1}, {0, 0, 1}}, {0, -1, 0}, 2},
        {"dart (concave quad)", {{0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {0.5, 1, 0}}, {0, 0, 1}, 1.5},
        {"quad with a repeated corner", {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 0, 1}, 0.5},
        {"65535 corners (fanned)", circle, {0, 0, 1}, M_PI},
        {"on a line", {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, {0, 0, 1}, 0},
        {"one point", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, {0, 0, 1}, 0},
        {"not finite", {{0, 0, 0}, {1, 0, 0}, {NAN, 1, 0}}, {0, 0, 1}, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> tris = {7};  // kept, appended to
        ASSERT_EQ(cv::triangulate(c.points, tris), c.area > 0) << c.what;
        EXPECT_EQ(tris[0], 7u) << c.what;
        double area = 0;
        for (size_t t = 1; t + 2 < tris.size(); t += 3) {
            const V3 &a = c.points[tris[t]], &b = c.points[tris[t + 1]], &d = c.points[tris[t + 2]];
            const V3 u = sub(b, a), w = sub(d, a);
            const double facing = dot({u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]}, c.facing);
            EXPECT_GE(facing, 0) << c.what << ": triangle " << t / 3 << " inverted";
            area += facing / 2;
        }
        EXPECT_NEAR(area, c.area, 1e-6) << c.what;
    }
}

TEST(ConvertGltf, NormalsAreSmoothBelowTheCreaseAngleAndFacetedAbove) {
    const std::string dir = tmp_dir();
    Material tex = colour(0, 1, 1, 1);  // its image is nowhere to be found
    tex.maps = {MapBlock{.image = "C:\\maps\\lost.png"}};
    auto file = [&](const std::string& name, Polygon p) {
        for (Face& f : p.faces) f.material = 0;
        CobFile(Encoding::Binary).polygon(1, 0, p).material(2, 1, tex).end().write(dir + "/" + name + ".cob");
        return dir + "/" + name + ".cob";
    };
    Polygon plain_cube = cube("Box");
    plain_cube.uvs.clear();
    // A cone of 48 sides: 48 faces meet at its tip, the 48-gon base meets
    // the sides at 135 degrees.
    Polygon cone;
    cone.axes.name = "Cone";
    cone.vertices = {{0, 0, 1}};
    Face base;
    for (int i = 0; i < 48; ++i) {
        cone.vertices.push_back({float(std::cos(i * M_PI / 24)), float(std::sin(i * M_PI / 24)), 0});
        cone.faces.push_back(Face{false, 0, 0, {{0, 0}, {1 + (i + 1) % 48, 0}, {1 + i, 0}}, {}});
        base.corners.push_back({1 + i, 0});
    }
    cone.faces.push_back(base);
    // Bare: facets meet at 30 and 22.5 degrees; textured: corners enough for two threads.
    const std::string sphere = file("sphere", uv_sphere("Ball", 128, 72, 2)),
                      bare = file("bare", uv_sphere("Ball", 12, 8, 2, false)), box = file("cube", plain_cube),
                      tip = file("cone", cone);
    // Mirrored spheres around (5, 0, 0): on the node, and baked with a shear.
    Polygon mirrored = uv_sphere("Ball", 12, 8, 2, false), sheared = mirrored;
    place(mirrored, {{-1, 0, 0, 5}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
    place(sheared, {{-1, 0.5f, 0, 5}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
    const std::string mirror = file("mirror", mirrored), shear = file("shear", sheared);
    const size_t sphere_corners = 12 * 3 * 2 + 12 * 6 * 4;  // faceted: a vertex per face corner
    struct Case {
        std::string in;
        double angle;
        size_t normals_per_position;  // 0: not checked
        size_t vertices;              // 0: not checked (split along the texture seam)
        V3 centre;
        const char* format = ".glb";
    } cases[] = {
        {sphere, 40, 1, 0, {0, 0, 0}}, {bare, 40, 1, 86, {0, 0, 0}},     {bare, 0, 0, sphere_corners, {0, 0, 0}},
        {bare, 180, 1, 86, {0, 0, 0}}, {box, 40, 3, 24, {0.5, 0.5, -0.5}}, {box, 180, 1, 8, {0.5, 0.5, -0.5}},
        {box, 0, 3, 24, {0.5, 0.5, -0.5}},     {tip, 40, 0, 1 + 48 * 2, {0, 0.3, 0}},
        {mirror, 0, 0, 0, {5, 0, 0}},          {shear, 0, 0, 0, {5, 0, 0}},        {mirror, 0, 0, 0, {5, 0, 0}, ".obj"},
    };
    std::vector<std::string> written;
    for (const Case& c : cases) {
        const std::string what = c.in + " at " + std::to_string(c.angle);
        cv::Options o;
        o.smooth_angle = c.angle;
        const std::string out = dir + "/out" + std::to_string(&c - cases) + c.format;
        convert(c.in, out, o);
        const std::vector<Shown> faces = out.ends_with(".obj") ? obj_faces(load_obj(out)) : gltf_faces(load_gltf(out));
        expect_outward(faces, c.centre, what);
        if (out.ends_with(".glb")) {
            written.push_back(out);
            const tinygltf::Model m = load_gltf(out);
            size_t vertices = 0;
            for (const auto& p : m.meshes[0].primitives) {
                vertices += m.accessors[p.attributes.at("POSITION")].count;
                EXPECT_EQ(p.attributes.count("TEXCOORD_0"), c.in == sphere ? 1u : 0u) << what;
            }
            EXPECT_EQ(c.vertices ? vertices : 0, c.vertices) << what;
        }
        std::map<V3, std::set<V3>> normals_at;  // distinct normals at each position
        for (const Shown& f : faces)
            for (size_t k = 0; k < f.p.size(); ++k) normals_at[f.p[k]].insert(f.n[k]);
        const bool radial = (c.in == sphere || c.in == bare) && c.angle > 0;  // smooth: along the radius
        for (const auto& [p, normals] : normals_at) {
            EXPECT_EQ(c.normals_per_position ? normals.size() : 0, c.normals_per_position) << what;
            for (const V3& n : normals) EXPECT_GT(radial ? dot(n, p) / std::sqrt(dot(n, n) * dot(p, p)) : 1, 0.99) << what;
        }
    }
    expect_valid(written);
}

// The cube is turned and moved too: its world box in Y-up axes and in the
// file's Z-up axes.
TEST(ConvertGltf, BmpMapInTheSearchPathBecomesAnEmbeddedPngWithTheLayersTilingAndTheBoxTurnsToYUp) {
    const std::string dir = tmp_dir();
    fs::create_directories(dir + "/maps");
    fs::copy_file(kChecker, dir + "/maps/Wood.BMP");
    Material wood = colour(0, 0.5f, 0.25f, 1.0f, 0.5f);
    wood.maps = {MapBlock{MapKind::Texture, 0, "C:\\tS\\maps\\wood.bmp", 0.25f, 0.5f, 3, 2, 1, {}, {}}};
    Polygon p = cube("Box");
    for (Face& face : p.faces) face.material = 0;
    // Turned 90 degrees about z (x -> y) and moved by (5, 6, 7); the stored
    // lines are the matrix rows with the translation in the last column.
    place(p, {{0, -1, 0, 5}, {1, 0, 0, 6}, {0, 0, 1, 7}, {0, 0, 0, 1}});
    CobFile(Encoding::Binary).polygon(1, 0, p).material(2, 1, wood).end().write(dir + "/in.cob");
    cv::Options o;
    o.image_paths = {dir + "/maps/"};
    convert(dir + "/in.cob", dir + "/out.glb", o);
    tinygltf::Model m = load_gltf(dir + "/out.glb");
    ASSERT_EQ(m.images.size(), 1u);
    EXPECT_EQ(std::tuple(m.images[0].mimeType, m.images[0].width, m.images[0].height), std::tuple("image/png", 64, 64));
    const auto& view = m.bufferViews[m.images[0].bufferView];
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.buffers[0].data.data() + view.byteOffset), 4), "\x89PNG");
    ASSERT_EQ(m.materials.size(), 1u);
    const auto& mat = m.materials[0];
    EXPECT_EQ(mat.alphaMode, "BLEND");
    EXPECT_NEAR(mat.pbrMetallicRoughness.baseColorFactor[3], 0.5, 1e-6);
    const auto& info = mat.pbrMetallicRoughness.baseColorTexture;
    ASSERT_EQ(info.index, 0);
    const auto& tt = info.extensions.at("KHR_texture_transform");
    auto get = [&](const char* key, int i) { return tt.Get(key).Get(i).GetNumberAsDouble(); };
    EXPECT_EQ((V3{get("scale", 0), get("scale", 1), get("offset", 0)}), (V3{3, 2, 0.25}));
    EXPECT_DOUBLE_EQ(get("offset", 1), 1.0 - 2.0 - 0.5);  // v flipped
    // Without the search folder: a warning, the material untextured, the
    // texture coordinates still there for relinking.
    cv::Options z;
    z.z_up = true;
    EXPECT_NE(convert(dir + "/in.cob", dir + "/plain.gltf", z).find("wood.bmp not found"), std::string::npos);
    tinygltf::Model plain = load_gltf(dir + "/plain.gltf");
    EXPECT_TRUE(plain.images.empty());
    EXPECT_EQ(plain.materials[0].pbrMetallicRoughness.baseColorTexture.index, -1);
    EXPECT_TRUE(plain.meshes[0].primitives[0].attributes.count("TEXCOORD_0"));
    // World box in trueSpace axes: x 4..5, y 6..7, z 7..8; Y-up: (x, z, -y).
    for (auto [model, lo, hi] : {std::tuple{&m, V3{4, 7, -7}, V3{5, 8, -6}}, std::tuple{&plain, V3{4, 6, 7}, V3{5, 7, 8}}}) {
        const std::vector<Shown> faces = gltf_faces(*model);
        EXPECT_EQ(faces.size(), 12u);
        V3 a{1e300, 1e300, 1e300}, b{-1e300, -1e300, -1e300};
        for (const Shown& s : faces)
            for (const V3& q : s.p)
                for (int k = 0; k < 3; ++k) a[k] = std::min(a[k], q[k]), b[k] = std::max(b[k], q[k]);
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(std::abs(a[k] - lo[k]) < 1e-5 && std::abs(b[k] - hi[k]) < 1e-5) << (model == &m ? "Y-up" : "Z-up") << " axis " << k;
    }

    // .gltf: buffer and PNG beside it, by relative URI.
    convert(dir + "/in.cob", dir + "/side.gltf", o);
    tinygltf::Model side = load_gltf(dir + "/side.gltf");
    ASSERT_EQ(side.images.size(), 1u);
    EXPECT_EQ(side.images[0].uri.find('/'), std::string::npos);
    EXPECT_TRUE(fs::exists(dir + "/" + side.images[0].uri));
    expect_valid({dir + "/out.glb", dir + "/plain.gltf", dir + "/side.gltf"});
}

TEST(ConvertObj, KeepsThePolygonsVerticesAndMaterials) {
    const std::string dir = tmp_dir();
    fs::create_directories(dir + "/maps");
    fs::copy_file(kChecker, dir + "/maps/bumpy.bmp");
    Material bumpy = colour(1, 0.2f, 0.4f, 0.6f, 0.75f);
    bumpy.maps = {MapBlock{MapKind::Bump, 0, "D:\\old\\bumpy.bmp", 0, 0, 2, 2, 0.5f, {}, {}}};
    Polygon p = cube("My Box");
    p.axes.transform[0][3] = 10;  // moved along x
    CobFile(Encoding::Ascii).polygon(1, 0, p).material(2, 1, colour(0, 1, 0, 0)).material(3, 1, bumpy).end().write(dir + "/in.cob");
    cv::Options o;
    o.image_paths = {dir + "/maps"};
    convert(dir + "/in.cob", dir + "/out.obj", o);
    const tinyobj::ObjReader reader = load_obj(dir + "/out.obj");
    const auto& [shapes, mats, a] = std::tuple(reader.GetShapes(), reader.GetMaterials(), reader.GetAttrib());
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(shapes[0].name, "My_Box");
    // As the file has it: 6 quads over 8 vertices and 4 texture vertices; a
    // faceted cube has 24 normals.
    EXPECT_EQ(shapes[0].mesh.num_face_vertices, std::vector<unsigned char>(6, 4));
    EXPECT_EQ((V3{a.vertices.size() / 3.0, a.texcoords.size() / 2.0, a.normals.size() / 3.0}), (V3{8, 4, 24}));
    expect_outward(obj_faces(reader), {10.5, 0.5, -0.5}, "cube");
    // Materials named by object and number, their keys in comments; faces of
    // material 0 (bottom and top) and of material 1 (the four sides).
    ASSERT_EQ(mats.size(), 2u);
    const int bump = mats[0].name == "My_Box_material_1" ? 0 : 1;
    EXPECT_EQ(mats[1 - bump].name, "My_Box_material_0");
    EXPECT_EQ(mats[1 - bump].diffuse[0], 1.0f);
    EXPECT_NEAR(mats[bump].dissolve, 0.75, 1e-6);
    EXPECT_NEAR(mats[bump].bump_texopt.bump_multiplier, 0.5, 1e-6);
    EXPECT_NEAR(mats[bump].bump_texopt.scale[0], 2.0, 1e-6);
    EXPECT_TRUE(fs::exists(dir + "/" + mats[bump].bump_texname));
    EXPECT_NE(host_test::read_file(dir + "/out.mtl").find("# key mat_00000001_1\nnewmtl My_Box_material_1\n"), std::string::npos);
    EXPECT_EQ(shapes[0].mesh.material_ids, (std::vector<int>{1 - bump, 1 - bump, bump, bump, bump, bump}));
}

TEST(ConvertNames, ObjectNamesAreUniqueNeverEmptyAndUtf8MaterialsReadable) {
    const std::string dir = tmp_dir();
    CobFile f(Encoding::Binary);
    int id = 1;
    for (const char* name : {"Sphere", "Sphere", "", "Sphere_2", "Caf\xE9", "\"q\" \\\t\x01\x7F"}) {
        Polygon p = cube(name);
        p.axes.duplicate = 1;
        for (Face& face : p.faces) face.material = 0;
        f.polygon(id, 0, p).material(id + 1, id, colour(0, 1, 0, 0));
        id += 2;
    }
    f.end().write(dir + "/still life.cob");
    const std::vector<std::string> want = {"Sphere", "Sphere_2", "still life", "Sphere_2_2", "Caf\xC3\xA9", "\"q\" \\\t\x01\x7F"};
    for (const char* out : {"/out.glb", "/out.gltf"}) {
        convert(dir + "/still life.cob", dir + out);
        const tinygltf::Model m = load_gltf(dir + out);
        std::vector<std::string> nodes, meshes;
        for (const auto& n : m.nodes) nodes.push_back(n.name);
        for (const auto& n : m.meshes) meshes.push_back(n.name);
        EXPECT_EQ(nodes, want) << out;
        EXPECT_EQ(meshes, want) << out;
        ASSERT_EQ(m.materials.size(), 6u);
        EXPECT_EQ(m.materials[1].name, "Sphere_2 material 0");
        EXPECT_EQ(m.materials[1].extras.Get("key").Get<std::string>(), "mat_00000003_0");
    }
    convert(dir + "/still life.cob", dir + "/out.obj");
    const tinyobj::ObjReader r = load_obj(dir + "/out.obj");
    std::vector<std::string> objects;
    for (const auto& s : r.GetShapes()) objects.push_back(s.name);
    objects.resize(5);
    EXPECT_EQ(objects, (std::vector<std::string>{"Sphere", "Sphere_2", "still_life", "Sphere_2_2", "Caf\xC3\xA9"}));
    expect_valid({dir + "/out.glb", dir + "/out.gltf"});
}

TEST(ConvertBadInput, NothingIsWrittenAndTheExitSaysSo) {
    const std::string dir = tmp_dir();
    CobFile(Encoding::Binary).polygon(1, 0, cube("Cube")).end().write(dir + "/in.cob");

    // Unknown extension: refused before anything is read or written.
    EXPECT_NE(convert(dir + "/in.cob", dir + "/out.fbx", {}, cv::kExitUsage).find("cannot tell the format"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir + "/out.fbx"));

    // A crease angle outside 0 to 180 degrees is a wrong command line.
    for (const char* angle : {"200", "-1", "abc", "nan", "", "40"}) {
        cv::Command c;
        c.args = {dir + "/in.cob", dir + "/angle.glb"};
        c.smooth_angle = angle;
        c.importer = import_scene;
        std::ostringstream e;
        EXPECT_EQ(c.run(e), std::string(angle) == "40" ? cv::kExitOk : cv::kExitUsage) << angle << e.str();
        EXPECT_EQ(fs::exists(dir + "/angle.glb"), std::string(angle) == "40") << angle;
    }

    // No output folder; an existing output keeps its bytes when a later
    // conversion fails (of a file without objects).
    EXPECT_NE(convert(dir + "/in.cob", dir + "/missing/out.gltf", {}, cv::kExitFailure).find("cannot write"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir + "/missing"));
    CobFile(Encoding::Binary).material(2, 1, colour(0, 1, 0, 0)).end().write(dir + "/empty.cob");
    std::ofstream(dir + "/kept.glb") << "old";
    EXPECT_NE(convert(dir + "/empty.cob", dir + "/kept.glb", {}, cv::kExitFailure).find("holds no objects"), std::string::npos);
    EXPECT_EQ(host_test::read_file(dir + "/kept.glb"), "old");

    // Faces with indices past the vertices and degenerate faces are dropped
    // with a warning (no normal comes from them); the rest is written.
    Polygon broken = cube("Broken");
    broken.faces.push_back(Face{false, 0, 0, {{0, 0}, {1, 0}, {99, 0}}, {}});
    broken.faces.push_back(Face{false, 0, 0, {{0, 0}, {1, 0}, {0, 0}, {1, 0}}, {}});
    CobFile(Encoding::Binary).polygon(1, 0, broken).end().write(dir + "/broken.cob");
    for (const char* out : {"/broken.glb", "/broken.obj"}) {
        const std::string warn = convert(dir + "/broken.cob", dir + out);
        EXPECT_NE(warn.find("1 degenerate face(s) dropped"), std::string::npos) << warn;
        EXPECT_NE(warn.find("1 face(s) with vertex or texture vertex indices outside"), std::string::npos) << warn;
    }
    EXPECT_EQ(gltf_faces(load_gltf(dir + "/broken.glb")).size(), 12u);
    EXPECT_EQ(host_test::read_file(dir + "/broken.obj").find("nan"), std::string::npos);
    expect_valid({dir + "/broken.glb"});
}

TEST(OutputCommit, EveryNewFileLandsOrEveryOldOneStays) {
    const std::string dir = tmp_dir();
    // The longest name the folder takes, written beside companions.
    const std::string longest = std::string(251, 'n') + ".glb";
    struct Case {
        std::vector<std::string> names;  // the first is OUT
        bool out_becomes_folder;         // made by the hook once every file is written
    };
    const Case cases[] = {
        {{"a.gltf", "a.bin", "a_0_x.png"}, true},
        {{"b.obj", "b.mtl", "new_companion.png"}, true},
#if !defined(_WIN32)  // a Windows path is at most 260 characters in all
        {{longest, "c.bin"}, false},
#endif
    };
    for (const Case& c : cases) {
        for (size_t i = 1; i < c.names.size(); ++i)
            if (c.names[i] != "new_companion.png") std::ofstream(dir + "/" + c.names[i]) << "old " << c.names[i];
        const std::set<std::string> before = names_in(dir);
        cv::OutputFiles files;
        for (const std::string& name : c.names) files.add(dir + "/" + name, "new " + name);
        size_t written = 0;
        files.after_write = [&](const std::string&) {
            if (++written == c.names.size() && c.out_becomes_folder) fs::create_directory(dir + "/" + c.names[0]);
        };
        const std::string failure = files.commit();
        EXPECT_EQ(written, c.names.size());
        if (c.out_becomes_folder) {
            EXPECT_NE(failure.find("cannot write " + dir + "/" + c.names[0]), std::string::npos) << failure;
            std::set<std::string> expected = before;
            expected.insert(c.names[0]);  // the folder, and nothing else new
            EXPECT_EQ(names_in(dir), expected);
            for (const std::string& name : std::vector(c.names.begin() + 1, c.names.end()))  // old bytes or none
                EXPECT_EQ(host_test::read_file(dir + "/" + name), before.count(name) ? "old " + name : "") << name;
        } else {
            EXPECT_EQ(failure, "");
            for (const std::string& name : c.names) EXPECT_EQ(host_test::read_file(dir + "/" + name), "new " + name);
            EXPECT_EQ(names_in(dir).size(), before.size() + 1);  // OUT only: no temporary or old file left
        }
    }
}

// Symbolic links, file modes and signals are POSIX.
#if !defined(_WIN32)
TEST(OutputCommit, ALinkedOutputReplacesTheFileItNamesWithItsPermissions) {
    const std::string dir = tmp_dir();
    std::ofstream(dir + "/real.glb") << "old";
    ::chmod((dir + "/real.glb").c_str(), 0600);
    fs::create_symlink("real.glb", dir + "/link.glb");
    cv::OutputFiles files;
    files.add(dir + "/link.glb", "new");
    EXPECT_EQ(files.commit(), "");
    EXPECT_TRUE(fs::is_symlink(dir + "/link.glb"));
    EXPECT_EQ(host_test::read_file(dir + "/real.glb"), "new");
    EXPECT_EQ(fs::status(dir + "/real.glb").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"link.glb", "profile.ini", "real.glb"}));
}

TEST(OutputCommit, ASignalWhileWritingRemovesTheTemporaryFiles) {
    const std::string dir = tmp_dir();
    std::ofstream(dir + "/out.gltf") << "old";
    for (int sig : {SIGTERM, SIGINT, -SIGTERM}) {  // negative: the profile's temporary, from the host library
        const std::set<std::string> before = names_in(dir);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0 && sig < 0) {
            cv::remove_host_temporaries_on_signal();
            if (m_replace_open((dir + "/profile.ini").c_str()) != nullptr) ::raise(-sig);
        } else if (child == 0) {
            cv::OutputFiles files;
            files.add(dir + "/out.gltf", "new");
            files.add(dir + "/out.bin", std::string(1 << 20, 'b'));
            files.after_write = [&](const std::string&) { ::raise(sig); };
            files.commit();
        }
        if (child == 0) ::_exit(0);  // not reached: the signal ends the process
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == std::abs(sig)) << status;
        EXPECT_EQ(names_in(dir), before);
        EXPECT_EQ(host_test::read_file(dir + "/out.gltf"), "old");
    }
}

// The bundled sample converted to .glb and opened by three.js's GLTFLoader in
// headless Chromium: the meshes, triangle counts, normals and material
// colours that a web viewer sees. A screenshot of the render is left in
// build/artifacts.
TEST(ConvertBrowser, ThreeJsLoadsTheSampleWithItsMeshesAndColours) {
    tmp_dir();
    const std::string modules = kWeb + "/node_modules/";
    if (!have_node({modules + "three", modules + "playwright-core", "/usr/bin/chromium"})) return;
    const std::string dir = std::string(VERTEXA_BIN_DIR) + "/../artifacts", glb = dir + "/still_life.glb";
    fs::create_directories(dir);
    cv::Options o;
    o.image_paths = {kSource + "/samples/maps"};
    convert(kSource + "/samples/still_life.scn", glb, o);
    expect_valid({glb});  // the file the viewer gets
    fs::remove(dir + "/still_life.png");
    const std::string cmd = "node " + kWeb + "/render.mjs " + glb + " " + dir + "/still_life.png > " + dir + "/three.json 2>&1";
    const int rc = std::system(cmd.c_str());
    const std::string out = host_test::read_file(dir + "/three.json");
    ASSERT_EQ(rc, 0) << out;
    const nlohmann::json r = nlohmann::json::parse(out, nullptr, false);
    ASSERT_FALSE(r.is_discarded()) << out;
    ASSERT_TRUE(r["rendered"].get<bool>()) << out;
    EXPECT_GT(fs::file_size(dir + "/still_life.png"), 1000u);
    // The cube: top and bottom red (4 triangles), the sides textured (8);
    // the pyramid: a square base and four sides (6), blue, 75 % opaque; the
    // ball (12 segments, 6 rings: 120 triangles), green and smooth: one
    // vertex per position (62) and texture vertex (the seam's 5 and the
    // poles' 22 more). Faceted faces have a vertex per corner.
    std::string seen;
    for (const auto& m : r["meshes"]) {
        const auto& c = m["color"];
        char line[160];
        std::snprintf(line, sizeof line, "%d: rgb %.3f %.3f %.3f opacity %.2f%s%s%s, %d vertices\n",
                      m["triangles"].get<int>(), c[0].get<double>(), c[1].get<double>(), c[2].get<double>(),
                      m["opacity"].get<double>(), m["transparent"].get<bool>() ? " transparent" : "",
                      m["textured"].get<bool>() ? " textured" : "", m["normals"].get<bool>() ? "" : " without normals",
                      m["vertices"].get<int>());
        seen += line;
    }
    EXPECT_EQ(seen, "4: rgb 0.800 0.100 0.100 opacity 1.00, 8 vertices\n"
                    "8: rgb 0.900 0.850 0.800 opacity 1.00 textured, 16 vertices\n"
                    "6: rgb 0.200 0.400 0.900 opacity 0.75 transparent, 16 vertices\n"
                    "120: rgb 0.200 0.700 0.300 opacity 1.00, 89 vertices\n");
}
#endif
