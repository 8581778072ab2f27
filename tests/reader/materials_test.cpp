// Material and procedural material chunks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cob_writer.h"
#include "harness.h"

using cobtest::CobFile;
using cobtest::Encoding;
using cobtest::MapBlock;
using cobtest::MapKind;

namespace {

const Encoding kBoth[] = {Encoding::Binary, Encoding::Ascii};

cobtest::Material red_material(uint16_t number) {
    cobtest::Material m;
    m.number = number;
    m.red = 0.8f, m.green = 0.2f, m.blue = 0.1f, m.alpha = 0.8f;
    return m;
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
        m.maps = {MapBlock{MapKind::Bump, 0, "bumps.bmp", 0.25f, 0.5f, 2, 3, 2.5f, {}, {}},
                  MapBlock{MapKind::Environment, 0, "sky.bmp", 0, 0, 1, 1, 1, {}, {}},
                  MapBlock{MapKind::Texture, 1, "C:\\tS\\maps\\wood.bmp", 0.25f, 0.5f, 2, 3, 1, {}, {}}};
        CobFile f(e);
        f.material(30, 18, red_material(3)).procedural(32, 18, p).material(31, 18, m);
        f.polygon(18, 0, harness::sample_polygon());
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.surfaces(), 4u);
        ASSERT_EQ(r.meshes(), 1u) << "the chunk after the maps is read";
        const std::string plain = " 0.800000012 0.200000003 0.100000001 0 alpha 0.800000011920929";
        EXPECT_EQ(describe(r.surface(1)), "mat_00000012_3" + plain);
        EXPECT_EQ(describe(r.surface(2)), "mat_00000012_3" + plain);
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
        m.maps = {MapBlock{MapKind::Texture, 0, c.image, 0.25f, 0, 4, 4, 1, {}, {}}};
        CobFile f(c.e);
        f.material(2, 1, m).material(3, 1, red_material(1));
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.surfaces(), 3u) << c.image.size();
        ASSERT_EQ(r.surface(1)->texture_layers.Count(), 1u);
        const MSrf_TextureLayer* l = r.surface(1)->texture_layers.Get(0);
        EXPECT_EQ(std::string(l->image.name), c.kept);
        EXPECT_EQ(l->image.scale[0], 4.0) << "the fields after the name are read";
        EXPECT_EQ(l->image.offset[0], 0.25);
        EXPECT_STREQ(r.surface(2)->get_name(), "mat_00000001_1");
    }
    CobFile f(Encoding::Ascii);
    f.chunk("Mat1", 2, 1, cobtest::material_body(Encoding::Ascii, red_material(0)) + "texture: 40short");
    auto r = harness::import_file_of(f);
    EXPECT_EQ(r.surfaces(), 2u);
    EXPECT_NE(r.log.find("Done"), std::string::npos);
}

TEST(MaterialKeys, EveryFaceOfAWellFormedFileNamesItsSurface) {
    for (Encoding e : kBoth) {
        cobtest::Polygon b = harness::sample_polygon("B");
        b.faces[0].material = 0;
        b.faces[1].material = 2;
        CobFile f(e);
        f.polygon(18, 0, harness::sample_polygon("A")).material(40, 18, red_material(0));
        f.material(41, 18, red_material(1)).polygon(26, 0, b);
        for (uint16_t n = 0; n < 3; ++n) f.material(50 + n, 26, red_material(n));
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.meshes(), 2u);
        for (int32_t i = 0; i < 2; ++i) {
            MMesh_P* mesh = r.mesh(i);
            for (uint32_t k = 0; k < mesh->Faces().Size(); ++k) {
                MSurface* s = r.scene->Find_Surface(mesh, mesh->Faces().MatId(k));
                ASSERT_NE(s, nullptr);
                EXPECT_STRNE(s->get_name(), "DEFAULT") << mesh->get_name() << " face " << k;
            }
        }
    }
}

}  // namespace
