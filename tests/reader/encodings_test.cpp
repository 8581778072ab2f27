// One description written in both encodings gives the same scene.
#include <gtest/gtest.h>

#include <string>

#include "cob_writer.h"
#include "harness.h"
#include "summary.h"

using cobtest::CobFile;
using cobtest::Encoding;
using cobtest::MapBlock;
using cobtest::MapKind;

namespace {

// A group with a textured, translated polygon and its materials; a polygon
// with holes and a procedural material; an unknown chunk; untextured objects.
void describe_scene(CobFile& f) {
    const bool binary = f.encoding() == Encoding::Binary;
    cobtest::Polygon p = harness::sample_polygon("Textured box");
    p.axes.center = {0.5f, 0.5f, 0.5f};
    p.axes.transform[0][3] = 10.125f;  // translation x
    p.axes.transform[1][3] = -3.0f;
    p.axes.transform[2][3] = 0.1f;
    p.uvs = {{0.1f, 0.2f}, {0.3333333f, 0.9f}, {1e-3f, 0.75f}, {0.5f, 123.456f}};
    cobtest::Material m;
    m.number = 1;
    m.red = 0.1f;
    m.green = 0.7f;
    m.blue = 0.3f;
    m.alpha = 0.8f;
    m.maps = {MapBlock{MapKind::Texture, 0, "maps\\wood.bmp", 0.1f, 0.2f, 3, 4, 1, {}, {}},
              MapBlock{MapKind::Environment, 0, "env.tga", 0, 0, 1, 1, 1, {}, {}},
              MapBlock{MapKind::Bump, 0, "bump.bmp", 0, 0.5f, 1, 2, 0.3f, {}, {}}};
    f.group(1, 0, p.axes).polygon(2, 1, p).material(3, 2, {}).material(4, 2, m);

    cobtest::Polygon holey = harness::sample_polygon("Holey");
    holey.faces.push_back({true, 0, 0, {{0, 0}, {1, 1}, {2, 2}}, {}});
    holey.faces.push_back({false, 3, 0, {{4, 0}, {3, 1}, {2, 2}, {1, 3}, {0, 0}}, {}});
    cobtest::Procedural proc;
    proc.head.number = 3;
    proc.head.red = 0.25f;
    proc.head.alpha = 0.5f;
    proc.parameters = binary ? std::string(16, '\x7f') : "\nmarble 3 4\n";
    f.polygon(7, 0, holey).procedural(8, 7, proc).chunk("Unit", 9, 0, binary ? "ab" : "ab\n");

    for (int i = 0; i < 3; ++i) {
        cobtest::Polygon plain = harness::sample_polygon("Object " + std::to_string(i));
        plain.uvs.clear();
        for (auto& v : plain.vertices) v.z += static_cast<float>(i) * 1.1f;
        f.polygon(100 + i, 0, plain);
    }
    f.end();
}

TEST(Encodings, SameDescriptionGivesTheSameScene) {
    nlohmann::ordered_json summaries[2];
    for (Encoding e : {Encoding::Binary, Encoding::Ascii}) {
        CobFile f(e);
        describe_scene(f);
        auto r = harness::import_bytes(f.bytes(), "scene.cob");
        auto& j = summaries[e == Encoding::Binary ? 0 : 1];
        j = scene_summary(*r.scene, "");
        j.erase("file");  // the file name and its folder are the only other differences
        j.erase("search_paths");
    }
    EXPECT_EQ(summaries[0]["objects"].size(), 5u);
    EXPECT_EQ(summaries[0].dump(1), summaries[1].dump(1));
}

}  // namespace
