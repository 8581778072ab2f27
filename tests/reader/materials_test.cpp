// Material and procedural material chunks.
#include <gtest/gtest.h>

#include <string>

#include "cob_writer.h"
#include "harness.h"

using cobtest::CobFile;
using cobtest::Encoding;
using cobtest::MapBlock;
using cobtest::MapKind;

namespace {

const Encoding kBoth[] = {Encoding::Binary, Encoding::Ascii};
const char* name_of(Encoding e) { return e == Encoding::Binary ? "binary" : "ascii"; }

cobtest::Material red_material(uint16_t number) {
    cobtest::Material m;
    m.number = number;
    m.red = 0.8f;
    m.green = 0.2f;
    m.blue = 0.1f;
    m.alpha = 0.8f;
    return m;
}

// Materials and procedural materials of the same key each make a surface; of
// a procedural material only the head is read, whatever follows it.
TEST(MaterialChunk, PlainAndProceduralMaterialsGiveColourAndAlphaOneSurfacePerChunk) {
    for (Encoding e : kBoth) {
        cobtest::Procedural p;
        p.head = red_material(3);
        p.parameters = e == Encoding::Binary ? std::string("t:\x00\x05\x00wood.bmp", 13) : "\ntexture: 5a.bmp\n";
        CobFile f(e);
        f.material(30, 18, red_material(3)).material(31, 18, red_material(3)).procedural(32, 18, p);
        f.polygon(18, 0, harness::sample_polygon());
        auto r = harness::import_file_of(f);
        EXPECT_EQ(r.meshes(), 1u);
        EXPECT_TRUE(r.scene->Get_MapList()->Maps().empty());
        EXPECT_EQ(r.surface(3)->texture_layers.Count(), 0u);
        EXPECT_EQ(r.surface(3)->alpha, 0.800000011920929);
        EXPECT_TRUE(harness::in_order(r.log, {"-> PrTx (0x", "-> Start parsing Procedural Materials\n",
                                              "  Materials mat_00000012_3 created\n", "-> PolH (0x"}));
        ASSERT_EQ(r.surfaces(), 4u) << name_of(e);
        for (int i = 1; i < 4; ++i) EXPECT_STREQ(r.surface(i)->get_name(), "mat_00000012_3");
        MSurface* s = r.surface(1);
        EXPECT_EQ(s->color.r, static_cast<double>(0.8f));
        EXPECT_EQ(s->color.g, static_cast<double>(0.2f));
        EXPECT_EQ(s->color.b, static_cast<double>(0.1f));
        EXPECT_EQ(s->color.a, 0.0) << "alpha does not go into the colour";
        EXPECT_EQ(s->alpha, 0.800000011920929);
        EXPECT_EQ(s->texture_layers.Count(), 0u);
        EXPECT_TRUE(harness::in_order(r.log, {"-> Mat1 (0x", "-> Start parsing Materials\n",
                                              "  Materials mat_00000012_3 created\n"}));
    }
}

TEST(MaterialChunk, MapsOfEveryKindInAnyOrder) {
    for (Encoding e : kBoth) {
        cobtest::Material m = red_material(0);
        m.maps = {
            MapBlock{MapKind::Bump, 0, "bumps.bmp", 0.25f, 0.5f, 2, 3, 2.5f, {}, {}},
            MapBlock{MapKind::Environment, 0, "sky.bmp", 0, 0, 1, 1, 1, {}, {}},
            MapBlock{MapKind::Texture, 1, "C:\\tS\\maps\\wood.bmp", 0.25f, 0.5f, 2, 3, 1, {}, {}},
        };
        CobFile f(e);
        f.material(2, 1, m).polygon(3, 0, harness::sample_polygon());
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.surfaces(), 2u) << name_of(e);
        MSurface* s = r.surface(1);
        ASSERT_EQ(s->texture_layers.Count(), 2u) << "the environment map makes no layer";
        const MSrf_TextureLayer* bump = s->texture_layers.Get(0);
        const MSrf_TextureLayer* tex = s->texture_layers.Get(1);
        EXPECT_EQ(bump->layer_on, 1);
        EXPECT_EQ(bump->bump_channel.on, 1);
        EXPECT_EQ(bump->bump_channel.strength, 2.5);
        EXPECT_EQ(bump->color_channel.on, 0) << "untouched for a bump map";
        EXPECT_STREQ(bump->image.name, "bumps.bmp");
        EXPECT_EQ(tex->color_channel.on, 1);
        EXPECT_EQ(tex->color_channel.strength, 0.71);
        EXPECT_EQ(tex->bump_channel.on, 0);
        EXPECT_STREQ(tex->image.name, "C:\\tS\\maps\\wood.bmp");
        EXPECT_EQ(tex->image.scale[0], 2.0);
        EXPECT_EQ(tex->image.scale[1], 3.0);
        EXPECT_EQ(tex->image.scale[2], 1.0);
        EXPECT_EQ(tex->image.offset[0], 0.25);
        EXPECT_EQ(tex->image.offset[1], 0.5);
        EXPECT_EQ(tex->image.offset[2], 0.0);
        EXPECT_EQ(tex->image.enabled, 1);
        EXPECT_EQ(tex->image.wrap_u, 1);
        const auto& maps = r.scene->Get_MapList()->Maps();
        ASSERT_EQ(maps.size(), 2u);
        EXPECT_EQ(maps[0], "bumps.bmp");
        EXPECT_EQ(maps[1], "C:\\tS\\maps\\wood.bmp");
        EXPECT_TRUE(harness::in_order(r.log, {"  b: bumps.bmp parsed\n", "  e: sky.bmp parsed\n",
                                              "  t: C:\\tS\\maps\\wood.bmp parsed\n", "-> PolH (0x"}));
        EXPECT_EQ(r.meshes(), 1u) << "the chunk after the maps is read";
    }
}

TEST(MaterialChunk, AsciiImageNameIsTakenByItsLength) {
    // With the length 6 the blank before a.bmp is part of the name.
    for (const char* name : {"a.bmp", " a.bmp"}) {
        cobtest::Material m = red_material(0);
        m.maps = {MapBlock{MapKind::Texture, 0, name, 0, 0, 1, 1, 1, {}, {}}};
        CobFile f(Encoding::Ascii);
        f.material(2, 1, m);
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.surface(1)->texture_layers.Count(), 1u);
        EXPECT_STREQ(r.surface(1)->texture_layers.Get(0)->image.name, name);
    }
    // A length beyond the end of the file.
    CobFile f(Encoding::Ascii);
    f.chunk("Mat1", 2, 1, cobtest::material_body(Encoding::Ascii, red_material(0)) + "texture: 40short");
    auto r = harness::import_file_of(f);
    EXPECT_EQ(r.surfaces(), 2u);
    EXPECT_NE(r.log.find("Done"), std::string::npos);
}

TEST(MaterialChunk, OverlongNamesAndWordsAreCut) {
    for (Encoding e : kBoth) {
        cobtest::Material m = red_material(0);
        m.ascii_shader = std::string(300, 's');
        m.maps = {MapBlock{MapKind::Texture, 0, std::string(1500, 'w') + ".bmp", 0.25f, 0, 4, 4, 1, {}, {}}};
        CobFile f(e);
        f.material(2, 1, m).material(3, 1, red_material(1));
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.surfaces(), 3u) << name_of(e);
        ASSERT_EQ(r.surface(1)->texture_layers.Count(), 1u);
        const MSrf_TextureLayer* l = r.surface(1)->texture_layers.Get(0);
        EXPECT_EQ(std::string(l->image.name), std::string(1023, 'w'));
        if (e == Encoding::Binary) {
            EXPECT_EQ(l->image.scale[0], 4.0) << "the fields after an overlong name are still read";
            EXPECT_EQ(l->image.offset[0], 0.25);
        }
        EXPECT_STREQ(r.surface(2)->get_name(), "mat_00000001_1");
    }
}

TEST(MaterialKeys, EveryFaceOfAWellFormedFileNamesItsSurface) {
    for (Encoding e : kBoth) {
        CobFile f(e);
        cobtest::Polygon a = harness::sample_polygon("A");
        cobtest::Polygon b = harness::sample_polygon("B");
        b.faces[1].material = 2;
        b.faces[0].material = 0;
        f.polygon(18, 0, a).material(40, 18, red_material(0)).material(41, 18, red_material(1));
        f.polygon(26, 0, b);
        for (uint16_t n = 0; n < 3; ++n) f.material(50 + n, 26, red_material(n));
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.meshes(), 2u);
        for (uint32_t i = 0; i < r.meshes(); ++i) {
            MMesh_P* mesh = r.mesh(static_cast<int32_t>(i));
            for (uint32_t k = 0; k < mesh->Faces().Size(); ++k) {
                MSurface* s = r.scene->Find_Surface(mesh, mesh->Faces().MatId(k));
                ASSERT_NE(s, nullptr);
                EXPECT_STRNE(s->get_name(), "DEFAULT") << mesh->get_name() << " face " << k;
            }
        }
    }
}

}  // namespace
