// Conversion of trueSpace files to glTF and OBJ: the files are made with the
// test writer, converted through the same entry point as `vertexa convert`,
// and read back with independent readers (tinygltf, tinyobjloader, the
// Khronos validator).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <tiny_gltf.h>
#include <tiny_obj_loader.h>

#include "cob_writer.h"
#include "test_env.h"
#include "convert.h"
#include "geometry.h"

using namespace cobtest;
namespace fs = std::filesystem;
namespace cv = vertexa::convert;

namespace {

std::string tmp_dir(const std::string& name) {
    const std::string dir = std::string(VERTEXA_TEST_TMP) + "/convert_" + std::to_string(::getpid()) + "/" + name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    // A profile of our own: no image search path and no log.
    const std::string profile = dir + "/profile.ini";
    std::ofstream(profile) << "[Common Settings]\nverbose=0\n";
    cobtest::set_env("VERTEXA_PROFILE", profile.c_str());
    return dir;
}

// A 4x2 24-bit BMP, bottom row first.
void write_bmp(const std::string& path) {
    const int w = 4, h = 2, row = w * 3;
    std::string b = "BM";
    auto u16 = [&](uint32_t v) { b.push_back(char(v & 0xFF)); b.push_back(char(v >> 8 & 0xFF)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    u32(54 + row * h); u32(0); u32(54);
    u32(40); u32(w); u32(h); u16(1); u16(24); u32(0); u32(row * h); u32(2835); u32(2835); u32(0); u32(0);
    for (int i = 0; i < w * h; ++i) b += std::string("\x10\x20\xF0", 3);
    std::ofstream(path, std::ios::binary) << b;
}

// A unit cube from 0 to 1, faces stored clockwise from outside as trueSpace
// files hold them.
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

Material colour(uint16_t number, float r, float g, float b, float alpha = 1) {
    Material m;
    m.number = number;
    m.red = r;
    m.green = g;
    m.blue = b;
    m.alpha = alpha;
    return m;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
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

const float* accessor_floats(const tinygltf::Model& m, int accessor, size_t& count) {
    const auto& a = m.accessors[accessor];
    const auto& v = m.bufferViews[a.bufferView];
    count = a.count;
    return reinterpret_cast<const float*>(m.buffers[v.buffer].data.data() + v.byteOffset + a.byteOffset);
}

// World-space box of every POSITION through its node's matrix.
void world_box(const tinygltf::Model& m, double lo[3], double hi[3]) {
    for (int k = 0; k < 3; ++k) { lo[k] = 1e300; hi[k] = -1e300; }
    for (const auto& node : m.nodes) {
        std::vector<double> mat = node.matrix;
        if (mat.empty()) mat = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        for (const auto& prim : m.meshes[node.mesh].primitives) {
            size_t n = 0;
            const float* p = accessor_floats(m, prim.attributes.at("POSITION"), n);
            for (size_t i = 0; i < n; ++i)
                for (int r = 0; r < 3; ++r) {
                    // Column-major: element (row r, column c) is mat[c * 4 + r].
                    double w = mat[12 + r];
                    for (int c = 0; c < 3; ++c) w += mat[c * 4 + r] * p[3 * i + c];
                    lo[r] = std::min(lo[r], w);
                    hi[r] = std::max(hi[r], w);
                }
        }
    }
}

bool web_tools_required() { return std::getenv("CI") != nullptr; }

// Runs the Node validator script on the files; skips the test when Node or
// the script's packages are missing outside CI.
void expect_valid(const std::vector<std::string>& files) {
#if defined(_WIN32)
    // Node runs beside Wine, not in it: .ci/windows.sh validates what the
    // Windows program writes. The rest of each test runs here as well.
    (void)files;
    return;
#endif
    const std::string web = std::string(VERTEXA_SOURCE_DIR) + "/tests/web";
    if (std::system("node --version >/dev/null 2>&1") != 0 || !fs::exists(web + "/node_modules/gltf-validator")) {
        if (web_tools_required()) FAIL() << "node or tests/web/node_modules missing (run npm ci in tests/web)";
        GTEST_SKIP() << "node or the npm packages of tests/web are not installed (npm ci in tests/web); CI runs this";
    }
    std::string cmd = "node " + web + "/validate.mjs";
    for (const auto& f : files) cmd += " '" + f + "'";
    cmd += " > '" + files[0] + ".validation.txt' 2>&1";
    const int rc = std::system(cmd.c_str());
    EXPECT_EQ(rc, 0) << read_file(files[0] + ".validation.txt");
}

}  // namespace

TEST(Triangulate, ConcavePolygonGivesCountMinusTwoTrianglesCoveringItsArea) {
    // An arrow-like concave outline in the x-y plane, counter-clockwise.
    std::vector<std::array<double, 3>> pts = {{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {2, 1, 0}, {0, 3, 0}};
    std::vector<uint32_t> tris;
    ASSERT_TRUE(cv::triangulate(pts, tris));
    ASSERT_EQ(tris.size(), 9u);
    double area = 0;
    for (size_t t = 0; t < tris.size(); t += 3) {
        const auto &a = pts[tris[t]], &b = pts[tris[t + 1]], &c = pts[tris[t + 2]];
        const double cross = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
        EXPECT_GT(cross, 0) << "triangle " << t / 3 << " is inverted";
        area += cross / 2;
    }
    EXPECT_NEAR(area, 8.0, 1e-9);  // 12 minus the notch of 4
}

TEST(Triangulate, ClockwiseConcaveInAnotherPlaneKeepsItsWinding) {
    // The same outline clockwise in the x-z plane: every triangle must face
    // the way the polygon does (normal along +y for this order).
    std::vector<std::array<double, 3>> pts = {{0, 0, 0}, {0, 0, 3}, {2, 0, 1}, {4, 0, 3}, {4, 0, 0}};
    std::vector<uint32_t> tris;
    ASSERT_TRUE(cv::triangulate(pts, tris));
    ASSERT_EQ(tris.size(), 9u);
    for (size_t t = 0; t < tris.size(); t += 3) {
        const auto &a = pts[tris[t]], &b = pts[tris[t + 1]], &c = pts[tris[t + 2]];
        // y component of (b - a) x (c - a)
        const double ny = (b[2] - a[2]) * (c[0] - a[0]) - (b[0] - a[0]) * (c[2] - a[2]);
        EXPECT_GT(ny, 0);
    }
}

TEST(Triangulate, FaceOfTheMostCornersAFileCanHoldEndsWithAllItsTriangles) {
    // 65,535 corners on a circle: clipped corner by corner this would never end.
    std::vector<std::array<double, 3>> pts;
    for (int i = 0; i < 65535; ++i)
        pts.push_back({std::cos(i * 2 * M_PI / 65535), std::sin(i * 2 * M_PI / 65535), 0});
    std::vector<uint32_t> tris;
    ASSERT_TRUE(cv::triangulate(pts, tris));
    double area = 0;
    for (size_t t = 0; t < tris.size(); t += 3) {
        const auto &a = pts[tris[t]], &b = pts[tris[t + 1]], &c = pts[tris[t + 2]];
        area += ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])) / 2;
    }
    EXPECT_NEAR(area, M_PI, 1e-6);  // the disc, covered once
}

TEST(Triangulate, DegeneratePolygonsAreRefused) {
    std::vector<uint32_t> tris;
    EXPECT_FALSE(cv::triangulate({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, tris));  // on a line
    EXPECT_FALSE(cv::triangulate({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, tris));             // one point
    EXPECT_FALSE(cv::triangulate({{0, 0, 0}, {1, 0, 0}, {NAN, 1, 0}}, tris));           // not finite
    EXPECT_TRUE(tris.empty());
}

TEST(ConvertGltf, TranslatedAndRotatedObjectKeepsItsWorldBoxAndTurnsToYUp) {
    const std::string dir = tmp_dir("placed");
    Polygon p = cube("Turned");
    // Turned 90 degrees about z (x -> y) and moved by (5, 6, 7); the stored
    // lines are the matrix rows with the translation in the last column.
    float t[4][4] = {{0, -1, 0, 5}, {1, 0, 0, 6}, {0, 0, 1, 7}, {0, 0, 0, 1}};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) p.axes.transform[i][k] = t[i][k];
    for (Encoding e : {Encoding::Binary, Encoding::Ascii}) {
        CobFile f(e);
        f.polygon(1, 0, p).material(2, 1, colour(0, 1, 0, 0)).material(3, 1, colour(1, 0, 0, 1)).end();
        f.write(dir + "/in.cob");
        std::ostringstream err;
        ASSERT_EQ(cv::convert_file(dir + "/in.cob", dir + "/out.glb", {}, err), 0) << err.str();
        tinygltf::Model m = load_gltf(dir + "/out.glb");
        double lo[3], hi[3];
        world_box(m, lo, hi);
        // World box in trueSpace axes: x 4..5, y 6..7, z 7..8; Y-up: (x, z, -y).
        const double want_lo[3] = {4, 7, -7}, want_hi[3] = {5, 8, -6};
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(lo[k], want_lo[k], 1e-5) << "axis " << k;
            EXPECT_NEAR(hi[k], want_hi[k], 1e-5) << "axis " << k;
        }
        // Two materials, two primitives, 12 triangles in all.
        ASSERT_EQ(m.meshes.size(), 1u);
        ASSERT_EQ(m.meshes[0].primitives.size(), 2u);
        size_t triangles = 0;
        for (const auto& prim : m.meshes[0].primitives) triangles += m.accessors[prim.indices].count / 3;
        EXPECT_EQ(triangles, 12u);

        // --up z keeps the file's axes.
        cv::Options z;
        z.z_up = true;
        ASSERT_EQ(cv::convert_file(dir + "/in.cob", dir + "/z.gltf", z, err), 0) << err.str();
        world_box(load_gltf(dir + "/z.gltf"), lo, hi);
        EXPECT_NEAR(lo[0], 4, 1e-5);
        EXPECT_NEAR(lo[1], 6, 1e-5);
        EXPECT_NEAR(lo[2], 7, 1e-5);
        expect_valid({dir + "/out.glb", dir + "/z.gltf"});
    }
}

TEST(ConvertGltf, TrianglesFaceOutwardsAfterTheReadersFlip) {
    const std::string dir = tmp_dir("winding");
    CobFile f(Encoding::Binary);
    f.polygon(1, 0, cube("Cube")).end();
    f.write(dir + "/in.cob");
    std::ostringstream err;
    ASSERT_EQ(cv::convert_file(dir + "/in.cob", dir + "/out.glb", {}, err), 0) << err.str();
    tinygltf::Model m = load_gltf(dir + "/out.glb");
    for (const auto& prim : m.meshes[0].primitives) {
        size_t n = 0;
        const float* p = accessor_floats(m, prim.attributes.at("POSITION"), n);
        const auto& a = m.accessors[prim.indices];
        const auto& v = m.bufferViews[a.bufferView];
        const auto* idx = reinterpret_cast<const uint32_t*>(m.buffers[0].data.data() + v.byteOffset);
        for (size_t t = 0; t < a.count; t += 3) {
            const float *A = p + 3 * idx[t], *B = p + 3 * idx[t + 1], *C = p + 3 * idx[t + 2];
            double u[3], w[3], c[3], centre[3];
            for (int k = 0; k < 3; ++k) {
                u[k] = B[k] - A[k];
                w[k] = C[k] - A[k];
                centre[k] = (A[k] + B[k] + C[k]) / 3.0;
            }
            c[0] = u[1] * w[2] - u[2] * w[1];
            c[1] = u[2] * w[0] - u[0] * w[2];
            c[2] = u[0] * w[1] - u[1] * w[0];
            // The cube's centre is (0.5, 0.5, -0.5) in Y-up axes.
            const double out = c[0] * (centre[0] - 0.5) + c[1] * (centre[1] - 0.5) + c[2] * (centre[2] + 0.5);
            EXPECT_GT(out, 0) << "triangle " << t / 3 << " faces inwards";
        }
    }
}

TEST(ConvertGltf, BmpMapInTheSearchPathBecomesAnEmbeddedPngWithTheLayersTiling) {
    const std::string dir = tmp_dir("texture");
    fs::create_directories(dir + "/maps");
    write_bmp(dir + "/maps/Wood.BMP");
    Material wood = colour(0, 0.5f, 0.25f, 1.0f, 0.5f);
    wood.maps = {MapBlock{MapKind::Texture, 0, "C:\\tS\\maps\\wood.bmp", 0.25f, 0.5f, 3, 2, 1, {}, {}}};
    Polygon p = cube("Box");
    for (Face& face : p.faces) face.material = 0;
    CobFile f(Encoding::Binary);
    f.polygon(1, 0, p).material(2, 1, wood).end();
    f.write(dir + "/in.cob");
    cv::Options o;
    o.image_paths = {dir + "/maps/"};
    std::ostringstream err;
    ASSERT_EQ(cv::convert_file(dir + "/in.cob", dir + "/out.glb", o, err), 0) << err.str();
    tinygltf::Model m = load_gltf(dir + "/out.glb");
    ASSERT_EQ(m.images.size(), 1u);
    EXPECT_EQ(m.images[0].mimeType, "image/png");
    EXPECT_EQ(m.images[0].width, 4);
    EXPECT_EQ(m.images[0].height, 2);
    const auto& view = m.bufferViews[m.images[0].bufferView];
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.buffers[0].data.data() + view.byteOffset), 4), "\x89PNG");
    ASSERT_EQ(m.materials.size(), 1u);
    const auto& mat = m.materials[0];
    EXPECT_EQ(mat.alphaMode, "BLEND");
    EXPECT_NEAR(mat.pbrMetallicRoughness.baseColorFactor[3], 0.5, 1e-6);
    const auto& info = mat.pbrMetallicRoughness.baseColorTexture;
    ASSERT_EQ(info.index, 0);
    const auto& tt = info.extensions.at("KHR_texture_transform");
    EXPECT_DOUBLE_EQ(tt.Get("scale").Get(0).GetNumberAsDouble(), 3.0);
    EXPECT_DOUBLE_EQ(tt.Get("scale").Get(1).GetNumberAsDouble(), 2.0);
    EXPECT_DOUBLE_EQ(tt.Get("offset").Get(0).GetNumberAsDouble(), 0.25);
    EXPECT_DOUBLE_EQ(tt.Get("offset").Get(1).GetNumberAsDouble(), 1.0 - 2.0 - 0.5);  // v flipped
    // Texture coordinates were written, with v flipped: the corner at uv (0, 1) lands at (0, 0).
    ASSERT_TRUE(m.meshes[0].primitives[0].attributes.count("TEXCOORD_0"));

    // Without the search folder: a warning, and the material is untextured.
    std::ostringstream err2;
    ASSERT_EQ(cv::convert_file(dir + "/in.cob", dir + "/plain.gltf", {}, err2), 0);
    EXPECT_NE(err2.str().find("wood.bmp not found"), std::string::npos) << err2.str();
    tinygltf::Model plain = load_gltf(dir + "/plain.gltf");
    EXPECT_TRUE(plain.images.empty());
    EXPECT_EQ(plain.materials[0].pbrMetallicRoughness.baseColorTexture.index, -1);
    EXPECT_FALSE(plain.meshes[0].primitives[0].attributes.count("TEXCOORD_0"));

    // .gltf: buffer and PNG beside it, by relative URI.
    ASSERT_EQ(cv::convert_file(dir + "/in.cob", dir + "/side.gltf", o, err), 0);
    tinygltf::Model side = load_gltf(dir + "/side.gltf");
    ASSERT_EQ(side.images.size(), 1u);
    EXPECT_EQ(side.images[0].uri.find('/'), std::string::npos);
    EXPECT_TRUE(fs::exists(dir + "/" + side.images[0].uri));
    EXPECT_TRUE(fs::exists(dir + "/side.bin"));
    expect_valid({dir + "/out.glb", dir + "/plain.gltf", dir + "/side.gltf"});
}

TEST(ConvertObj, ReadsBackWithVerticesFacesAndMaterials) {
    const std::string dir = tmp_dir("obj");
    fs::create_directories(dir + "/maps");
    write_bmp(dir + "/maps/bumpy.bmp");
    Material bumpy = colour(1, 0.2f, 0.4f, 0.6f, 0.75f);
    bumpy.maps = {MapBlock{MapKind::Bump, 0, "D:\\old\\bumpy.bmp", 0, 0, 2, 2, 0.5f, {}, {}}};
    Polygon p = cube("My Box");
    p.axes.transform[0][3] = 10;  // moved along x
    CobFile f(Encoding::Ascii);
    f.polygon(1, 0, p).material(2, 1, colour(0, 1, 0, 0)).material(3, 1, bumpy).end();
    f.write(dir + "/in.cob");
    cv::Options o;
    o.image_paths = {dir + "/maps"};
    std::ostringstream err;
    ASSERT_EQ(cv::convert_file(dir + "/in.cob", dir + "/out.obj", o, err), 0) << err.str();

    tinyobj::ObjReader reader;
    ASSERT_TRUE(reader.ParseFromFile(dir + "/out.obj")) << reader.Error();
    const auto& attrib = reader.GetAttrib();
    const auto& shapes = reader.GetShapes();
    const auto& mats = reader.GetMaterials();
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(shapes[0].name, "My_Box");
    EXPECT_EQ(shapes[0].mesh.num_face_vertices.size(), 12u);
    // Corners split by texture vertex: each of the 6 faces has 4 of its own.
    EXPECT_EQ(attrib.vertices.size() / 3, 24u);
    EXPECT_EQ(attrib.texcoords.size() / 2, 24u);
    double lo = 1e9, hi = -1e9;
    for (size_t i = 0; i < attrib.vertices.size(); i += 3) {
        lo = std::min<double>(lo, attrib.vertices[i]);
        hi = std::max<double>(hi, attrib.vertices[i]);
    }
    EXPECT_NEAR(lo, 10, 1e-6);
    EXPECT_NEAR(hi, 11, 1e-6);
    ASSERT_EQ(mats.size(), 2u);
    int red = -1, bump = -1;
    for (size_t i = 0; i < mats.size(); ++i) {
        if (mats[i].diffuse[0] == 1.0f) red = static_cast<int>(i);
        if (!mats[i].bump_texname.empty()) bump = static_cast<int>(i);
    }
    ASSERT_GE(red, 0);
    ASSERT_GE(bump, 0);
    EXPECT_NEAR(mats[bump].dissolve, 0.75, 1e-6);
    EXPECT_NEAR(mats[bump].bump_texopt.bump_multiplier, 0.5, 1e-6);
    EXPECT_NEAR(mats[bump].bump_texopt.scale[0], 2.0, 1e-6);
    EXPECT_TRUE(fs::exists(dir + "/" + mats[bump].bump_texname));
    // Faces of material 0 (bottom and top) and of material 1 (the four sides).
    int per_material[2] = {0, 0};
    for (int id : shapes[0].mesh.material_ids) ++per_material[id == red ? 0 : 1];
    EXPECT_EQ(per_material[0], 4);
    EXPECT_EQ(per_material[1], 8);
}

TEST(ConvertBadInput, NothingIsWrittenAndTheExitSaysSo) {
    const std::string dir = tmp_dir("bad");
    CobFile good(Encoding::Binary);
    good.polygon(1, 0, cube("Cube")).end();
    good.write(dir + "/in.cob");
    std::ostringstream err;

    // Unknown extension: refused before anything is read or written.
    EXPECT_EQ(cv::convert_file(dir + "/in.cob", dir + "/out.fbx", {}, err), cv::kExitUsage);
    EXPECT_NE(err.str().find("cannot tell the format"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir + "/out.fbx"));

    // A file without objects.
    CobFile empty(Encoding::Binary);
    empty.material(2, 1, colour(0, 1, 0, 0)).end();
    empty.write(dir + "/empty.cob");
    EXPECT_EQ(cv::convert_file(dir + "/empty.cob", dir + "/empty.glb", {}, err), cv::kExitFailure);
    EXPECT_NE(err.str().find("holds no objects"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir + "/empty.glb"));

    // Unwritable output folder; an existing output keeps its bytes when a
    // later conversion fails, and no temporary file stays behind.
    if (cobtest::modes_bind_us()) {
        fs::create_directories(dir + "/locked");
        std::ofstream(dir + "/locked/out.glb") << "old";
        ::chmod((dir + "/locked").c_str(), 0555);
        EXPECT_EQ(cv::convert_file(dir + "/in.cob", dir + "/locked/out.glb", {}, err), cv::kExitFailure);
        ::chmod((dir + "/locked").c_str(), 0755);
        EXPECT_EQ(read_file(dir + "/locked/out.glb"), "old");
    }
    EXPECT_EQ(cv::convert_file(dir + "/in.cob", dir + "/missing/out.gltf", {}, err), cv::kExitFailure);
    EXPECT_NE(err.str().find("cannot write"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir + "/missing"));
    std::ofstream(dir + "/kept.glb") << "old";
    EXPECT_EQ(cv::convert_file(dir + "/empty.cob", dir + "/kept.glb", {}, err), cv::kExitFailure);
    EXPECT_EQ(read_file(dir + "/kept.glb"), "old");
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().find(".vertexa-"), std::string::npos) << e.path();

    // Faces with indices past the vertices and degenerate faces are dropped
    // with a warning; the rest is written.
    Polygon broken = cube("Broken");
    broken.faces.push_back(Face{false, 0, 0, {{0, 0}, {1, 0}, {99, 0}}, {}});
    broken.faces.push_back(Face{false, 0, 0, {{0, 0}, {1, 0}, {0, 0}, {1, 0}}, {}});
    CobFile bad(Encoding::Binary);
    bad.polygon(1, 0, broken).end();
    bad.write(dir + "/broken.cob");
    std::ostringstream warn;
    ASSERT_EQ(cv::convert_file(dir + "/broken.cob", dir + "/broken.glb", {}, warn), 0);
    EXPECT_NE(warn.str().find("1 degenerate face(s) dropped"), std::string::npos) << warn.str();
    EXPECT_NE(warn.str().find("1 face(s) with vertex or texture vertex indices outside"), std::string::npos);
    tinygltf::Model m = load_gltf(dir + "/broken.glb");
    EXPECT_EQ(m.accessors[m.meshes[0].primitives[0].indices].count, 36u);
    expect_valid({dir + "/broken.glb"});
}
