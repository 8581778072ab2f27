// Object blocks, groups, polygon objects, materials and procedural materials.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "chunk_handlers.h"
#include "cob_writer.h"
#include "harness.h"

using cobtest::CobFile;
using cobtest::Encoding;
using cobtest::MapBlock;

namespace {

const Encoding kBoth[] = {Encoding::Binary, Encoding::Ascii};
const char* name_of(Encoding e) { return e == Encoding::Binary ? "binary" : "ascii"; }

cobtest::Axes numbered_axes() {
    cobtest::Axes a;
    a.name = "Thing";
    for (int k = 0; k < 16; ++k) a.transform[k / 4][k % 4] = k < 12 ? static_cast<float>(k + 1) : k == 15;
    return a;
}

TEST(ObjectBlock, StoredLinesBecomeMatrixColumnsAndGroupsChangeNothing) {
    for (int variant = 0; variant < 3; ++variant) {
        const Encoding e = variant == 0 ? Encoding::Binary : Encoding::Ascii;
        SCOPED_TRACE(variant == 2 ? "ascii with CRLF" : name_of(e));
        cobtest::Polygon p = harness::sample_polygon();
        p.axes = numbered_axes();
        auto r = harness::import_file_of(CobFile(e).crlf(variant == 2).group(4, 0, numbered_axes()).group(6, 4, numbered_axes())
                                             .polygon(5, 4, p).material(7, 5, {}));
        ASSERT_EQ(r.meshes(), 1u);
        EXPECT_STREQ(r.mesh(0)->get_name(), "Thing");
        EXPECT_EQ(r.mesh(0)->Get_Face_Count(), 2);
        EXPECT_EQ(r.surfaces(), 2u);
        const MMatrix& m = r.mesh(0)->Get_LocalMatrix();
        // Lines (1,2,3,4), (5,6,7,8), (9,10,11,12) give rows (1,5,9,x),
        // (2,6,10,x), (3,7,11,x), (4,8,12,x); x is the identity's fourth column,
        // which the ASCII fourth line (0,0,0,1) repeats. The groups around the
        // polygon do not change it.
        for (int k = 0; k < 16; ++k) EXPECT_EQ(m[k % 4][k / 4], k < 12 ? k + 1 : k == 15) << k;
        EXPECT_EQ(harness::occurrences(r.log, "-> Start parsing Group Object\n"), 2u);
        EXPECT_TRUE(harness::in_order(r.log, {"-> Grou (0x", "-> Start parsing Group Object\n", "name: Thing\n",
                                              "center: ", "x_axis: ", "y_axis: ", "z_axis: ", "cur_pos: "}));
    }
}

// Binary names keep 1023 characters, ASCII name lines 4094, of which
// "Name " is the first word; the ASCII name is all after the first blank. A
// cut line is skipped to its end, a whole one is not: the centre on the next
// line is read in every case.
TEST(ObjectBlock, NamesAreCutAndTheNextLineIsRead) {
    struct Case {
        Encoding e;
        bool crlf;
        std::string first_word, name;
        size_t kept;  // characters of the name kept
    };
    const std::string q(5000, 'q');
    const Case cases[] = {  // name lines of 4,093 to 5,005 characters
        {Encoding::Ascii, false, "Name", "second third", 12}, {Encoding::Binary, false, "", "", 0},
        {Encoding::Binary, false, "", q, 1023},               {Encoding::Ascii, false, "", q.substr(0, 4088), 4088},
        {Encoding::Ascii, false, "", q.substr(0, 4089), 4089}, {Encoding::Ascii, true, "", q.substr(0, 4089), 4089},
        {Encoding::Ascii, false, "", q.substr(0, 4090), 4089}, {Encoding::Ascii, true, "", q.substr(0, 4090), 4089},
        {Encoding::Ascii, false, "", q, 4089},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.name.size()) + (c.crlf ? " crlf" : ""));
        cobtest::Polygon p = harness::sample_polygon(c.name);
        p.axes.center = {1, 2, 3};
        if (!c.first_word.empty()) p.axes.ascii_first_word = c.first_word;
        auto r = harness::import_file_of(CobFile(c.e).crlf(c.crlf).polygon(1, 0, p).polygon(2, 0, harness::sample_polygon("Next")));
        ASSERT_EQ(r.meshes(), 2u);
        EXPECT_EQ(std::string(r.mesh(0)->get_name()), c.name.substr(0, c.kept));
        EXPECT_TRUE(harness::in_order(r.log, {"name: " + c.name.substr(0, c.kept) + "\n", "center: (1, 2, 3)\n"}));
        EXPECT_EQ(r.mesh(0)->Get_Vertex_Count(), 5);
        EXPECT_STREQ(r.mesh(1)->get_name(), "Next");
    }
}

// Every step is logged; faces are flipped and their texture polygons follow
// them. Without faces the mesh is dropped; without texture vertices it has
// no texture faces. Faces of fewer than three corners are dropped but count
// for materials; holes are skipped whole and their material does not count.
TEST(PolygonChunk, LogsEveryStepFlipsFacesAndTexturePolygonsFollowThem) {
    for (Encoding e : kBoth) {
        cobtest::Polygon no_faces = harness::sample_polygon("A"), no_uvs = harness::sample_polygon("B");
        no_faces.faces.clear();
        no_uvs.uvs.clear();
        cobtest::Polygon short_faces = harness::sample_polygon("C");
        short_faces.faces = {{false, 5, 0, {{0, 0}, {1, 1}}, {}},
                             {true, 9, 0, {{1, 1}, {2, 2}, {3, 3}}, {}},
                             {false, 0, 0, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}, {}}};
        auto r = harness::import_file_of(CobFile(e).polygon(26, 0, harness::sample_polygon()).polygon(1, 0, no_faces)
                                             .polygon(2, 0, no_uvs).polygon(3, 0, short_faces));
        EXPECT_TRUE(harness::in_order(
            r.log, {"-> PolH (0x", "-> Start parsing Polygon Object\n", "name: Box\n", "cur_pos: ",
                    "-> read 5 Vertices \n", "-> read 4 UVVertices \n", "-> read 2 Faces \n",
                    "  Material reference mat_0000001A_0 created\n", "  Material reference mat_0000001A_1 created\n",
                    "-> Object Box added\n", "name: A\n", "-> read 0 Faces \n", "name: B\n",
                    "-> read 0 UVVertices \n", "-> Object B added\n"}))
            << name_of(e) << "\n"
            << r.log;
        EXPECT_EQ(r.log.find("mat_00000001"), std::string::npos);
        EXPECT_EQ(r.progress.status_2.size(), 12u);
        EXPECT_EQ(r.progress.status_2[2], "Faces ...");
        ASSERT_EQ(r.meshes(), 3u);
        MMesh_P* m = r.mesh(0);
        ASSERT_EQ(m->Get_UVFace_Count(), 2);
        ASSERT_EQ(m->Faces().Count(1), 3u);
        const auto& f1 = m->Faces().Indices(1);  // file order 0, 1, 4 reversed
        EXPECT_TRUE(f1[0] == 4 && f1[2] == 0 && m->Faces().MatId(1) == 1);
        EXPECT_TRUE(m->UVFaces().Indices(1)[0] == 2 && m->UVFaces().MatId(0) == 0);
        EXPECT_TRUE(r.mesh(1)->UVUsed() == 0 && r.mesh(1)->Get_Face_Count() == 2 && r.mesh(1)->Get_UVFace_Count() == 0);
        MMesh_P* c = r.mesh(2);
        EXPECT_EQ(c->Get_Face_Count(), 1);
        EXPECT_EQ(c->Faces().Count(0), 4u) << "the face after the hole is read from its own start";
        ASSERT_EQ(c->material_refs.size(), 6u) << "a hole's material does not count";
        EXPECT_STREQ(static_cast<char*>(c->material_refs.get(0)), "mat_00000003_0");
        EXPECT_STREQ(static_cast<char*>(c->material_refs.get(5)), "mat_00000003_5");
    }
}

// Binary texture coordinates above 1e6 or below 1e-6 in magnitude (compared
// as doubles: the float nearest 1e-6 lies below it) read as 0; ASCII ones not.
TEST(TextureVertices, BinaryCoordinatesAreClamped) {
    cobtest::Polygon p = harness::sample_polygon();
    p.uvs = {{2000000.0f, 0.5f}, {0.0000005f, 1000000.0f}, {0.000001f, -2000000.0f}};
    for (Encoding e : kBoth) {
        auto r = harness::import_file_of(CobFile(e).polygon(1, 0, p));
        const auto& uv = r.mesh(0)->UVVertices();
        ASSERT_EQ(uv.size(), 3u);
        const bool bin = e == Encoding::Binary;
        const double want[3][3] = {{bin ? 0.0 : 2000000.0, 0.5, 0.0},
                                   {bin ? 0.0 : static_cast<double>(0.0000005f), 1000000.0, 0.0},
                                   {bin ? 0.0 : static_cast<double>(0.000001f), bin ? 0.0 : -2000000.0, 0.0}};
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(uv[k][c], want[k][c]) << name_of(e) << " " << k << " " << c;
    }
}

// An ASCII polygon chunk whose texture-vertex lines are written by hand.
std::string ascii_polygon_with_uv_lines(const std::string& uv_lines, int uv_count) {
    cobtest::Polygon p = harness::sample_polygon();
    p.uvs.clear();
    std::string body = cobtest::polygon_body(Encoding::Ascii, p);
    const std::string marker = "Texture Vertices 0\n";
    size_t at = body.find(marker);
    body.replace(at, marker.size(), "Texture Vertices " + std::to_string(uv_count) + "\n" + uv_lines);
    return body;
}

TEST(TextureVertices, AsciiLineThatDoesNotParseIsReportedAndReplaced) {
    auto r = harness::import_file_of(
        CobFile(Encoding::Ascii).chunk("PolH", 1, 0, ascii_polygon_with_uv_lines("0.5 0.5\nfoo bar\n0.25 0.75\n", 3)));
    ASSERT_EQ(r.meshes(), 1u);
    const auto& uv = r.mesh(0)->UVVertices();
    ASSERT_EQ(uv.size(), 3u);
    EXPECT_TRUE(uv[1][0] == 0.0 && uv[1][1] == 0.0);
    EXPECT_EQ(uv[2][0], 0.25) << "reading goes on with the next line";
    EXPECT_EQ(harness::occurrences(r.log, "## read error at "), 1u);
    // The position is the stream's after the failed read: 8 upper-case hex digits.
    const std::string pos = r.log.substr(r.log.find("## read error at ") + 17, 9);
    EXPECT_EQ(pos.find_first_not_of("0123456789ABCDEF"), 8u);
    EXPECT_EQ(pos.back(), '\n');
    EXPECT_EQ(r.mesh(0)->Get_Face_Count(), 2) << "the faces after the texture vertices are read";
}

// The hand-written key formatter gives exactly snprintf's text, cut the same
// way when the buffer is short.
TEST(PolygonChunk, MaterialKeyMatchesPrintf) {
    const uint32_t ids[] = {0u, 1u, 0x1Au, 0x7FFFFFFFu, 0x80000000u, 0xDEADBEEFu, 0xFFFFFFFFu};
    const unsigned numbers[] = {0u, 9u, 10u, 65535u, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu};
    for (uint32_t id : ids)
        for (unsigned number : numbers)
            for (int size : {32, 15, 14, 13, 5, 1}) {
                char expected[32], got[40];
                std::memset(got, '#', sizeof got);
                std::snprintf(expected, static_cast<size_t>(size), "mat_%08X_%d", id, static_cast<int>(number));
                format_material_key(got, size, id, number);
                EXPECT_STREQ(got, expected) << id << " " << number << " size " << size;
                EXPECT_EQ(got[size], '#') << "wrote past the buffer of " << size;
            }
}

cobtest::Material red_material(uint16_t number) {
    return {.number = number, .red = 0.8f, .green = 0.2f, .blue = 0.1f, .alpha = 0.8f};
}

// A surface as one line: name, colour, alpha, then per layer its switch, the
// image map's four integers, the colour and bump channels, scale, offset, image.
std::string describe(const MSurface* s) {
    char text[256];
    std::snprintf(text, sizeof text, "%s %.9g %.9g %.9g %g alpha %.15g", s->get_name(), s->color.r, s->color.g,
                  s->color.b, s->color.a, s->alpha);
    std::string out = text;
    for (uint32_t i = 0; i < s->texture_layers.Count(); ++i) {
        const MSrf_TextureLayer* l = s->texture_layers.Get(i);
        const MSrf_ImageMap& m = l->image;
        std::snprintf(text, sizeof text, " | %d %d%d%d%d c%d/%g b%d/%g s%g,%g,%g o%g,%g,%g %.40s", l->layer_on,
                      m.enabled, m.projection, m.wrap_u, m.wrap_v, l->color_channel.on, l->color_channel.strength,
                      l->bump_channel.on, l->bump_channel.strength, m.scale[0], m.scale[1], m.scale[2], m.offset[0],
                      m.offset[1], m.offset[2], m.name);
        out += text;
    }
    return out;
}

// Materials and procedural materials of one key each make a surface; of a
// procedural material only the head is read, whatever follows it. Every map
// kind in any order: the environment map makes no layer and no map entry.
TEST(MaterialChunk, SurfacesLayersAndMapsInFileOrder) {
    for (Encoding e : kBoth) {
        SCOPED_TRACE(e == Encoding::Binary ? "binary" : "ascii");
        cobtest::Procedural p;
        p.head = red_material(3);
        p.parameters = e == Encoding::Binary ? std::string("t:\x00\x05\x00wood.bmp", 13) : "\ntexture: 5a.bmp\n";
        cobtest::Material m = red_material(0);
        m.maps = {MapBlock{cobtest::MapKind::Bump, 0, "bumps.bmp", 0.25f, 0.5f, 2, 3, 2.5f, {}, {}},
                  MapBlock{cobtest::MapKind::Environment, 0, "sky.bmp", 0, 0, 1, 1, 1, {}, {}},
                  MapBlock{cobtest::MapKind::Texture, 1, "C:\\tS\\maps\\wood.bmp", 0.25f, 0.5f, 2, 3, 1, {}, {}}};
        auto r = harness::import_file_of(CobFile(e).material(30, 18, red_material(3)).procedural(32, 18, p).material(31, 18, m)
                                             .polygon(18, 0, harness::sample_polygon()));
        ASSERT_EQ(r.surfaces(), 4u);
        ASSERT_EQ(r.meshes(), 1u) << "the chunk after the maps is read";
        const std::string plain = " 0.800000012 0.200000003 0.100000001 0 alpha 0.800000011920929";
        for (int k : {1, 2}) EXPECT_EQ(describe(r.surface(k)), "mat_00000012_3" + plain);
        EXPECT_EQ(describe(r.surface(3)), "mat_00000012_0" + plain +
                                              " | 1 1011 c0/0 b1/2.5 s2,3,1 o0.25,0.5,0 bumps.bmp"
                                              " | 1 1011 c1/0.71 b0/0 s2,3,1 o0.25,0.5,0 C:\\tS\\maps\\wood.bmp");
        EXPECT_EQ(r.surface(3)->texture_layers.Get(1)->color_channel.strength, 0.71);
        EXPECT_EQ(r.scene->Get_MapList()->Maps(), (std::vector<std::string>{"bumps.bmp", "C:\\tS\\maps\\wood.bmp"}));
        EXPECT_TRUE(harness::in_order(
            r.log, {"-> Mat1 (0x", "-> Start parsing Materials\n", "  Materials mat_00000012_3 created\n",
                    "-> PrTx (0x", "-> Start parsing Procedural Materials\n", "  Materials mat_00000012_3 created\n",
                    "  b: bumps.bmp parsed\n", "  e: sky.bmp parsed\n", "  t: C:\\tS\\maps\\wood.bmp parsed\n",
                    "-> PolH (0x"}));
    }
}

// Image names are taken by their length (ASCII: blanks included, even past
// the end of the file) and keep 1023 characters; shader words beyond 255
// characters are cut; what follows is still read.
TEST(MaterialChunk, ImageNamesByTheirLengthAndCut) {
    const std::string long_name = std::string(1500, 'w') + ".bmp";
    const struct {
        Encoding e;
        std::string image, kept;
    } cases[] = {
        {Encoding::Ascii, "a.bmp", "a.bmp"},
        {Encoding::Ascii, " a.bmp", " a.bmp"},
        {Encoding::Ascii, long_name, long_name.substr(0, 1023)},
        {Encoding::Binary, long_name, long_name.substr(0, 1023)},
    };
    for (const auto& c : cases) {
        cobtest::Material m = red_material(0);
        m.ascii_shader = std::string(300, 's');
        m.maps = {MapBlock{cobtest::MapKind::Texture, 0, c.image, 0.25f, 0, 4, 4, 1, {}, {}}};
        auto r = harness::import_file_of(CobFile(c.e).material(2, 1, m).material(3, 1, red_material(1)));
        ASSERT_EQ(r.surfaces(), 3u) << c.image.size();
        ASSERT_EQ(r.surface(1)->texture_layers.Count(), 1u);
        const MSrf_TextureLayer* l = r.surface(1)->texture_layers.Get(0);
        EXPECT_EQ(std::string(l->image.name), c.kept);
        EXPECT_EQ(l->image.scale[0], 4.0) << "the fields after the name are read";
        EXPECT_EQ(l->image.offset[0], 0.25);
        EXPECT_STREQ(r.surface(2)->get_name(), "mat_00000001_1");
    }
    auto r = harness::import_file_of(
        CobFile(Encoding::Ascii).chunk("Mat1", 2, 1, cobtest::material_body(Encoding::Ascii, red_material(0)) + "texture: 40short"));
    EXPECT_EQ(r.surfaces(), 2u);
    EXPECT_NE(r.log.find("Done"), std::string::npos);
}

TEST(MaterialKeys, EveryFaceOfAWellFormedFileNamesItsSurface) {
    for (Encoding e : kBoth) {
        cobtest::Polygon b = harness::sample_polygon("B");
        b.faces[1].material = 2;
        CobFile f(e);
        f.polygon(18, 0, harness::sample_polygon("A")).material(40, 18, red_material(0));
        f.material(41, 18, red_material(1)).polygon(26, 0, b);
        for (uint16_t n = 0; n < 3; ++n) f.material(50 + n, 26, red_material(n));
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.meshes(), 2u);
        for (int32_t i = 0; i < 2; ++i)
            for (uint32_t k = 0; k < r.mesh(i)->Faces().Size(); ++k) {
                MSurface* s = r.scene->Find_Surface(r.mesh(i), r.mesh(i)->Faces().MatId(k));
                ASSERT_NE(s, nullptr);
                EXPECT_STRNE(s->get_name(), "DEFAULT") << i << " face " << k;
            }
    }
}

}  // namespace
