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

using Describe = void (*)(CobFile&);

// Everything of the summary but the file name and its folder.
nlohmann::ordered_json summary_of(const std::string& bytes, const std::string& name) {
    auto r = harness::import_bytes(bytes, name);
    auto j = scene_summary(*r.scene, "");
    j.erase("file");
    j.erase("search_paths");
    return j;
}

void describe_textured_scene(CobFile& f) {
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
    f.group(1, 0, p.axes).polygon(2, 1, p).material(3, 2, {}).material(4, 2, m).end();
}

void describe_holes_and_procedurals(CobFile& f) {
    cobtest::Polygon p = harness::sample_polygon("Holey");
    p.faces.push_back({true, 0, 0, {{0, 0}, {1, 1}, {2, 2}}, {}});
    p.faces.push_back({false, 3, 0, {{4, 0}, {3, 1}, {2, 2}, {1, 3}, {0, 0}}, {}});
    cobtest::Procedural proc;
    proc.head.number = 3;
    proc.head.red = 0.25f;
    proc.head.alpha = 0.5f;
    proc.parameters = f.encoding() == Encoding::Binary ? std::string(16, '\x7f') : "\nmarble 3 4\n";
    f.polygon(7, 0, p).procedural(8, 7, proc).chunk("Unit", 9, 0, f.encoding() == Encoding::Binary ? "ab" : "ab\n");
    f.polygon(10, 0, harness::sample_polygon("Second")).end();
}

void describe_untextured_objects(CobFile& f) {
    for (int i = 0; i < 5; ++i) {
        cobtest::Polygon p = harness::sample_polygon("Object " + std::to_string(i));
        p.uvs.clear();
        for (auto& v : p.vertices) v.z += static_cast<float>(i) * 1.1f;
        f.polygon(100 + i, 0, p);
    }
    f.end();
}

TEST(Encodings, SameDescriptionGivesTheSameScene) {
    const Describe descriptions[] = {describe_textured_scene, describe_holes_and_procedurals,
                                     describe_untextured_objects};
    int n = 0;
    for (Describe describe : descriptions) {
        CobFile bin(Encoding::Binary), asc(Encoding::Ascii);
        describe(bin);
        describe(asc);
        auto a = summary_of(bin.bytes(), "scene" + std::to_string(n) + ".cob");
        auto b = summary_of(asc.bytes(), "scene" + std::to_string(n) + ".cob");
        ++n;
        EXPECT_FALSE(a["objects"].empty());
        EXPECT_EQ(a.dump(1), b.dump(1)) << "description " << n;
    }
}

}  // namespace
