// Object blocks, groups and polygon objects.
#include <gtest/gtest.h>

#include <string>

#include "chunk_handlers.h"
#include "cob_writer.h"
#include "harness.h"

using cobtest::CobFile;
using cobtest::Encoding;

namespace {

const Encoding kBoth[] = {Encoding::Binary, Encoding::Ascii};
const char* name_of(Encoding e) { return e == Encoding::Binary ? "binary" : "ascii"; }

cobtest::Axes numbered_axes() {
    cobtest::Axes a;
    a.name = "Thing";
    float n = 1;
    for (auto& line : a.transform)
        for (float& v : line) v = n++;
    a.transform[3][0] = 0;
    a.transform[3][1] = 0;
    a.transform[3][2] = 0;
    a.transform[3][3] = 1;
    return a;
}

TEST(ObjectBlock, StoredLinesBecomeMatrixColumns) {
    for (Encoding e : kBoth) {
        cobtest::Polygon p = harness::sample_polygon();
        p.axes = numbered_axes();
        CobFile f(e);
        f.polygon(1, 0, p);
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.meshes(), 1u) << name_of(e);
        const MMatrix& m = r.mesh(0)->Get_LocalMatrix();
        // Lines (1,2,3,4), (5,6,7,8), (9,10,11,12) give rows (1,5,9,x),
        // (2,6,10,x), (3,7,11,x), (4,8,12,x); x is the identity's fourth column,
        // which the ASCII fourth line (0,0,0,1) repeats.
        for (int row = 0; row < 4; ++row) {
            EXPECT_EQ(m[row][0], 1 + row) << name_of(e);
            EXPECT_EQ(m[row][1], 5 + row);
            EXPECT_EQ(m[row][2], 9 + row);
            EXPECT_EQ(m[row][3], row == 3 ? 1.0 : 0.0);
        }
    }
}

TEST(ObjectBlock, AsciiNameIsEverythingAfterTheFirstBlank) {
    cobtest::Polygon p = harness::sample_polygon("second third");
    p.axes.ascii_first_word = "Name";
    CobFile f(Encoding::Ascii);
    f.polygon(1, 0, p);
    auto r = harness::import_file_of(f);
    ASSERT_EQ(r.meshes(), 1u);
    EXPECT_STREQ(r.mesh(0)->get_name(), "second third");
    EXPECT_NE(r.log.find("name: second third\n"), std::string::npos);
}

TEST(ObjectBlock, CrlfLinesGiveTheSameObject) {
    cobtest::Polygon p = harness::sample_polygon("Crlf");
    p.axes = numbered_axes();
    p.axes.name = "Crlf";
    CobFile f(Encoding::Ascii);
    f.crlf(true).polygon(1, 0, p).material(2, 1, {});
    auto r = harness::import_file_of(f);
    ASSERT_EQ(r.meshes(), 1u);
    EXPECT_STREQ(r.mesh(0)->get_name(), "Crlf");
    EXPECT_EQ(r.mesh(0)->Get_Face_Count(), 2);
    EXPECT_EQ(r.mesh(0)->Get_LocalMatrix()[2][1], 7.0);
    EXPECT_EQ(r.surfaces(), 2u);
}

TEST(ObjectBlock, EmptyBinaryName) {
    cobtest::Polygon p = harness::sample_polygon("");
    CobFile f(Encoding::Binary);
    f.polygon(1, 0, p);
    auto r = harness::import_file_of(f);
    EXPECT_NE(r.log.find("name: \n"), std::string::npos);
    EXPECT_STREQ(r.mesh(0)->get_name(), "");
}

TEST(ObjectBlock, OverlongNamesAreCutNotOverflowed) {
    for (Encoding e : kBoth) {
        // Binary names keep 1023 characters, ASCII name lines 4094.
        cobtest::Polygon p = harness::sample_polygon(std::string(5000, 'q'));
        CobFile f(e);
        f.polygon(1, 0, p).polygon(2, 0, harness::sample_polygon("Next"));
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.meshes(), 2u) << name_of(e);
        const size_t kept = e == Encoding::Binary ? 1023u : 4094u - 5u;  // "Name " is the first word
        EXPECT_EQ(std::string(r.mesh(0)->get_name()), std::string(kept, 'q')) << name_of(e);
        EXPECT_EQ(r.mesh(0)->Get_Vertex_Count(), 5) << "the fields after the name are still read";
        EXPECT_STREQ(r.mesh(1)->get_name(), "Next");
    }
}

TEST(GroupChunk, IsLoggedAndAddsNothing) {
    for (Encoding e : kBoth) {
        CobFile f(e);
        f.group(1, 0, numbered_axes()).group(2, 1, numbered_axes());
        auto r = harness::import_file_of(f);
        EXPECT_EQ(r.meshes(), 0u);
        EXPECT_EQ(r.surfaces(), 1u);
        EXPECT_EQ(harness::occurrences(r.log, "-> Start parsing Group Object\n"), 2u);
        EXPECT_TRUE(harness::in_order(r.log, {"-> Grou (0x", "-> Start parsing Group Object\n", "name: Thing\n",
                                              "center: ", "x_axis: ", "y_axis: ", "z_axis: ", "cur_pos: "}));
    }
}

TEST(GroupChunk, DoesNotChangeItsMembers) {
    for (Encoding e : kBoth) {
        cobtest::Polygon p = harness::sample_polygon();
        p.axes = numbered_axes();
        CobFile alone(e), grouped(e);
        alone.polygon(5, 0, p);
        grouped.group(4, 0, numbered_axes()).polygon(5, 4, p);
        auto a = harness::import_file_of(alone);
        auto g = harness::import_file_of(grouped);
        ASSERT_EQ(g.meshes(), 1u);
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(a.mesh(0)->Get_LocalMatrix()[i][k], g.mesh(0)->Get_LocalMatrix()[i][k]);
    }
}

TEST(PolygonChunk, LogsEveryStepInOrder) {
    for (Encoding e : kBoth) {
        CobFile f(e);
        f.polygon(26, 0, harness::sample_polygon());
        auto r = harness::import_file_of(f);
        EXPECT_TRUE(harness::in_order(
            r.log, {"-> PolH (0x", "-> Start parsing Polygon Object\n", "name: Box\n", "cur_pos: ",
                    "-> read 5 Vertices \n", "-> read 4 UVVertices \n", "-> read 2 Faces \n",
                    "  Material reference mat_0000001A_0 created\n", "  Material reference mat_0000001A_1 created\n",
                    "-> Object Box added\n"}))
            << name_of(e) << "\n"
            << r.log;
        EXPECT_EQ(r.progress.status_2, (std::vector<std::string>{"Vertices ...", "UVVertices ...", "Faces ..."}));
    }
}

TEST(PolygonChunk, FacesAreFlippedAndTexturePolygonsFollowThem) {
    for (Encoding e : kBoth) {
        CobFile f(e);
        f.polygon(1, 0, harness::sample_polygon());
        auto r = harness::import_file_of(f);
        MMesh_P* m = r.mesh(0);
        ASSERT_EQ(m->Get_Face_Count(), 2);
        ASSERT_EQ(m->Get_UVFace_Count(), 2);
        const MPolygonList& faces = m->Faces();
        ASSERT_EQ(faces.Count(1), 3u);
        EXPECT_EQ(faces.Indices(1)[0], 4);  // file order 0, 1, 4 reversed
        EXPECT_EQ(faces.Indices(1)[2], 0);
        EXPECT_EQ(faces.MatId(1), 1);
        EXPECT_EQ(m->UVFaces().Indices(1)[0], 2);
        EXPECT_EQ(m->UVFaces().MatId(0), 0);
    }
}

TEST(PolygonChunk, ShortFacesCountForMaterialsButMakeNoPolygon) {
    for (Encoding e : kBoth) {
        cobtest::Polygon p = harness::sample_polygon();
        p.faces = {{false, 5, 0, {{0, 0}, {1, 1}}, {}}, {false, 0, 0, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}, {}}};
        CobFile f(e);
        f.polygon(26, 0, p);
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.meshes(), 1u);
        EXPECT_EQ(r.mesh(0)->Get_Face_Count(), 1);
        ASSERT_EQ(r.mesh(0)->material_refs.size(), 6u);
        EXPECT_STREQ(static_cast<char*>(r.mesh(0)->material_refs.get(0)), "mat_0000001A_0");
        EXPECT_STREQ(static_cast<char*>(r.mesh(0)->material_refs.get(5)), "mat_0000001A_5");
    }
}

TEST(PolygonChunk, HolesAreSkippedWhole) {
    for (Encoding e : kBoth) {
        cobtest::Polygon p = harness::sample_polygon();
        p.faces.insert(p.faces.begin() + 1, cobtest::Face{true, 9, 0, {{1, 1}, {2, 2}, {3, 3}}, {}});
        CobFile f(e);
        f.polygon(1, 0, p);
        auto r = harness::import_file_of(f);
        EXPECT_EQ(r.mesh(0)->Get_Face_Count(), 2) << name_of(e);
        EXPECT_EQ(r.mesh(0)->material_refs.size(), 2u) << "a hole's material does not count";
        EXPECT_EQ(r.mesh(0)->Faces().Count(1), 3u) << "the face after the hole is read from its own start";
    }
}

TEST(PolygonChunk, WithoutFacesTheMeshIsDropped) {
    for (Encoding e : kBoth) {
        cobtest::Polygon p = harness::sample_polygon();
        p.faces.clear();
        CobFile f(e);
        f.polygon(1, 0, p);
        auto r = harness::import_file_of(f);
        EXPECT_EQ(r.meshes(), 0u);
        EXPECT_EQ(r.log.find("Material reference"), std::string::npos);
        EXPECT_EQ(r.log.find("-> Object"), std::string::npos);
        EXPECT_NE(r.log.find("-> read 0 Faces \n"), std::string::npos);
    }
}

TEST(PolygonChunk, NoTextureVerticesMakeNoTexturePolygons) {
    for (Encoding e : kBoth) {
        cobtest::Polygon p = harness::sample_polygon();
        p.uvs.clear();
        CobFile f(e);
        f.polygon(1, 0, p);
        auto r = harness::import_file_of(f);
        EXPECT_EQ(r.mesh(0)->UVUsed(), 0);
        EXPECT_EQ(r.mesh(0)->Get_Face_Count(), 2);
        EXPECT_EQ(r.mesh(0)->Get_UVFace_Count(), 0);
        EXPECT_NE(r.log.find("-> read 0 UVVertices \n"), std::string::npos);
    }
}

TEST(TextureVertices, BinaryCoordinatesAreClamped) {
    EXPECT_EQ(clamp_uv(2000000.0f), 0.0f);
    EXPECT_EQ(clamp_uv(-2000000.0f), 0.0f);
    EXPECT_EQ(clamp_uv(1000000.0f), 1000000.0f);
    EXPECT_EQ(clamp_uv(0.0000005f), 0.0f);
    EXPECT_EQ(clamp_uv(0.000001f), 0.0f) << "the float nearest 1e-6 lies below the double 1e-6";
    EXPECT_EQ(clamp_uv(-0.5f), -0.5f);

    cobtest::Polygon p = harness::sample_polygon();
    p.uvs = {{2000000.0f, 0.5f}, {0.0000005f, 1000000.0f}};
    for (Encoding e : kBoth) {
        CobFile f(e);
        f.polygon(1, 0, p);
        auto r = harness::import_file_of(f);
        const auto& uv = r.mesh(0)->UVVertices();
        ASSERT_EQ(uv.size(), 2u);
        if (e == Encoding::Binary) {
            EXPECT_EQ(uv[0][0], 0.0);
            EXPECT_EQ(uv[1][0], 0.0);
        } else {
            EXPECT_EQ(uv[0][0], 2000000.0) << "ASCII coordinates are not clamped";
            EXPECT_EQ(uv[1][0], static_cast<double>(0.0000005f));
        }
        EXPECT_EQ(uv[0][1], 0.5);
        EXPECT_EQ(uv[1][1], 1000000.0);
        EXPECT_EQ(uv[0][2], 0.0);
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
    CobFile f(Encoding::Ascii);
    f.chunk("PolH", 1, 0, ascii_polygon_with_uv_lines("0.5 0.5\nfoo bar\n0.25 0.75\n", 3));
    auto r = harness::import_file_of(f);
    ASSERT_EQ(r.meshes(), 1u);
    const auto& uv = r.mesh(0)->UVVertices();
    ASSERT_EQ(uv.size(), 3u);
    EXPECT_EQ(uv[1][0], 0.0);
    EXPECT_EQ(uv[1][1], 0.0);
    EXPECT_EQ(uv[2][0], 0.25) << "reading goes on with the next line";
    EXPECT_EQ(harness::occurrences(r.log, "## read error at "), 1u);
    // The position is the stream's after the failed read: 8 upper-case hex digits.
    size_t at = r.log.find("## read error at ");
    std::string pos = r.log.substr(at + 17, 9);
    EXPECT_EQ(pos.back(), '\n');
    EXPECT_EQ(pos.find_first_not_of("0123456789ABCDEF"), 8u);
    EXPECT_EQ(r.mesh(0)->Get_Face_Count(), 2) << "the faces after the texture vertices are read";
}

}  // namespace
