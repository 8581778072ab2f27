// The import driver (header recognition, failures, log, search paths) and
// whole scenes: one description written in both encodings gives the same scene;
// damaged files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cob_writer.h"
#include "harness.h"
#include "summary.h"
#include "vertexa/memory.h"

using cobtest::CobFile;
using cobtest::Encoding;
using cobtest::MapKind;

namespace {

const Encoding kBoth[] = {Encoding::Binary, Encoding::Ascii};

TEST(ImportLog, BinaryAndAsciiLogsHoldEveryDriverLineByteForByteOnlyWithVerboseOne) {
    for (Encoding e : kBoth) {
        const bool bin = e == Encoding::Binary;
        CobFile f(e);
        f.chunk("Unit", 1, 0, bin ? std::string("\x01\x00", 2) : std::string("Units 1\n")).end();
        auto r = harness::import_file_of(f);
        ASSERT_TRUE(r.log_exists);
        // Banner: title, build date and time, build tool.
        ASSERT_EQ(r.log.rfind("COB Import Plugin 1.0 ", 0), 0u);
        // ASCII chunk sizes: the 38-character header line, its line end, the body.
        EXPECT_EQ(r.log.substr(r.log.find('\n') + 1),
                  "Options:\n\t Verbose: 1\n\t Log File: " + r.log_path + "\n\t Home Path: c:\\Truespace\\\n" +
                      "Parsing " + r.path + " started ...      \n" +
                      (bin ? "-> Caligari V00.01BLH\n-> Parsing Binary File\n-> Unit (0x16)\n-> END  (0x14)\n"
                           : "-> Caligari V00.01ALH\n-> Parsing ASCII File\n-> Unit (0x2F)\n-> END  (0x27)\n") +
                      "Postprocessing ...        \nDone                            \n");
        for (int verbose : {0, 2}) {
            auto quiet = harness::import_bytes(f.bytes(), "quiet.cob", verbose);
            EXPECT_FALSE(quiet.log_exists) << "verbose " << verbose;
            EXPECT_EQ(quiet.surfaces(), 1u) << "the import itself is unchanged";
        }
    }
}

TEST(ImportFailures, MissingFileLeavesTheSceneUntouched) {
    auto r = harness::import_path(harness::temp_dir() + "/does-not-exist.cob");
    EXPECT_NE(r.log.find("File " + r.path + " not found\n"), std::string::npos);
    EXPECT_EQ(r.log.find("Postprocessing"), std::string::npos);
    EXPECT_EQ(r.surfaces(), 0u);
    EXPECT_EQ(r.scene->Get_CameraList()->size(), 0u);
    EXPECT_EQ(r.scene->Get_MapList()->SearchPathTexts().size(), 0u);
}

// Files that open but are not readable trueSpace files, or whose chunk sizes
// wrap, go back or do not parse, still get the "DEFAULT" surface, the
// bounding box, the default camera and light.
TEST(ImportFailures, UnreadableFilesAndBadChunkSizesYieldOnlyTheDefaults) {
    struct Case {
        std::string bytes, logged, absent = "-> Parsing";  // absent: not checked when empty
    };
    // The Junk chunk starts at byte 56. A data size of 0xFFFFFFEC makes its
    // size wrap to 0; 0xFFFFFFD7 makes its end wrap to byte 35, before its
    // start. Either would make the walk stand still or go back.
    auto junk = [](int64_t size) {
        return CobFile(Encoding::Binary).chunk("Unit", 1, 0, "abcd").chunk("Junk", 2, 0, "", size).polygon(3, 0, harness::sample_polygon()).bytes();
    };
    auto ascii = [](const char* body) { return CobFile(Encoding::Ascii).raw(body).bytes(); };
    // The signature is searched for anywhere in the first 18 characters, but
    // the format letter always comes from index 15: "xx" shifts it to the '0'.
    const Case cases[] = {
        {"", "-> " + std::string(18, '\xFF') + "\nNo Truespace File\n"},
        {"solid cube\nfacet normal 0 0 1\n", "No Truespace File\n"},
        {CobFile(Encoding::Binary).header("xxCaligari V00.01BLH").bytes(), "Unknown format\n"},
        {CobFile(Encoding::Binary).header("Caligari V00.01XLH").bytes(), "Unknown format\n"},
        {CobFile(Encoding::Binary).bytes(), "-> Parsing Binary File\n", " (0x"},
        {junk(0xFFFFFFEC), "## chunk Junk at ", "-> PolH"},
        {junk(0xFFFFFFD7), "## chunk Junk at ", "-> PolH"},
        {ascii("garbage that is not a header\n"), "-> Parsing ASCII File\n", ""},
        {ascii("PolH V0.08 Id 1 Parent 0 Size -50\n"), "-> Parsing ASCII File\n", "-> PolH"},
        {ascii("PolH V0.08 Id 1 Parent 0 Size -2147483648\n"), "-> Parsing ASCII File\n", "-> PolH"},
        {ascii("PolH V0.08 Id 1 Parent 0 Size 00000000PolH V0.08 Id 1 Parent 0 Size 0"), "-> Parsing ASCII File\n", ""},
        {ascii("\n\n\n"), "-> Parsing ASCII File\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        auto r = harness::import_bytes(c.bytes, "other.cob");
        EXPECT_EQ(r.meshes(), 0u);
        EXPECT_NE(r.log.find(c.logged), std::string::npos) << r.log;
        EXPECT_TRUE(c.absent.empty() || r.log.find(c.absent) == std::string::npos) << r.log;
        ASSERT_EQ(r.surfaces(), 1u);
        EXPECT_STREQ(r.surface(0)->get_name(), "DEFAULT");
        ASSERT_EQ(r.scene->Get_CameraList()->size(), 1u);
        EXPECT_EQ(static_cast<MCamera*>(r.scene->Get_CameraList()->get(0))->camera_flag, 1);
        EXPECT_EQ(r.scene->Get_LightList()->size(), 1u);
        EXPECT_NE(r.log.find("Postprocessing ...        \nDone                            \n"), std::string::npos);
    }
}

TEST(ImportSearchPaths, FileFolderComesBeforeTheImageSearchPath) {
    const std::string dir = harness::temp_dir() + "/models";
    std::filesystem::create_directories(dir);
    CobFile(Encoding::Binary).end().write(dir + "/a.cob");
    // The profile's image search path goes to the map list as one text.
    auto r = harness::import_path(dir + "/a.cob", 0, "d:\\map\\;c:\\map\\;");
    const auto& texts = r.scene->Get_MapList()->SearchPathTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], dir + "/");
    EXPECT_EQ(texts[1], "d:\\map\\;c:\\map\\;");
    EXPECT_EQ(r.scene->Get_MapList()->Folders().size(), 3u);
}

// Counts of four billion (vertices, texture vertices, faces) and a face of
// 65,535 corners: the log says so, nothing near that is read or reserved,
// and the next chunk is read.
TEST(LyingCounts, CountsAreBoundedByTheBytesOfTheChunk) {
    for (Encoding e : kBoth) {
        for (int which = 0; which < 4; ++which) {
            SCOPED_TRACE(std::to_string(which) + (e == Encoding::Binary ? " binary" : " ascii"));
            cobtest::Polygon p = harness::sample_polygon("Liar");
            if (which < 3) (which == 0 ? p.vertex_count : which == 1 ? p.uv_count : p.face_count) = 4000000000u;
            if (which == 3) p.faces[1].corner_count = 65535;
            CobFile f(e);
            f.polygon(1, 0, p).polygon(2, 0, harness::sample_polygon("Honest"));
            const auto before = vertexa::alloc_stats();
            auto r = harness::import_file_of(f);
            // ASCII counts are read as long; a 32-bit long cannot hold four
            // billion and reads its largest value instead.
            const bool narrow = e == Encoding::Ascii && sizeof(long) == 4;
            EXPECT_EQ(r.log.find(narrow ? "## 2147483647 " : "## 4000000000 ") != std::string::npos, which < 3);
            EXPECT_LT(vertexa::alloc_stats().peak_bytes - before.live_bytes, 1u << 20);
            ASSERT_GE(r.meshes(), 1u);
            EXPECT_STREQ(r.mesh(static_cast<int32_t>(r.meshes() - 1))->get_name(), "Honest");
        }
    }
}

// A file with every kind of chunk: a group, three polygons (the first with
// a hole and a face of five corners, the second moved and with odd texture
// coordinates, the third untextured) each followed by a coloured material
// with maps of every kind, a procedural material and an unknown chunk.
// `complete_at` gets the file size after each polygon chunk, where that
// object becomes complete.
std::string everything(Encoding e, std::vector<size_t>& complete_at) {
    const bool binary = e == Encoding::Binary;
    CobFile f(e);
    cobtest::Material m{.red = 0.1f, .green = 0.7f, .blue = 0.3f, .alpha = 0.8f};
    m.maps = {{MapKind::Texture, 0, "maps\\wood.bmp", 0.1f, 0.2f, 3, 4, 1, {}, {}},
              {MapKind::Bump, 0, "b.bmp", 0, 0.5f, 1, 2, 0.3f, {}, {}},
              {MapKind::Environment, 0, "e.bmp", 0, 0, 1, 1, 1, {}, {}}};
    for (int i = 0; i < 3; ++i) {
        cobtest::Polygon p = harness::sample_polygon(std::string("P").append(std::to_string(i)));
        if (i == 0) {
            p.faces.push_back({true, 0, 0, {{0, 0}, {1, 1}, {2, 2}}, {}});
            p.faces.push_back({false, 3, 0, {{4, 0}, {3, 1}, {2, 2}, {1, 3}, {0, 0}}, {}});
            f.group(10, 0, p.axes);
        } else if (i == 1) {
            p.axes.center = {0.5f, 0.5f, 0.5f};
            p.axes.transform[0][3] = 10.125f;  // translation
            p.axes.transform[1][3] = -3.0f;
            p.uvs = {{0.1f, 0.2f}, {0.3333333f, 0.9f}, {1e-3f, 0.75f}, {0.5f, 123.456f}};
        } else {
            p.uvs.clear();
        }
        f.polygon(2 * i + 1, 10, p);
        complete_at.push_back(f.bytes().size());
        f.material(2 * i + 2, 2 * i + 1, m);
    }
    const cobtest::Procedural proc{.head = {.number = 3, .red = 0.25f, .alpha = 0.5f},
                                   .parameters = binary ? std::string(16, '\x7f') : "\nmarble 3 4\n"};
    f.procedural(20, 1, proc).chunk("Unit", 9, 0, binary ? "ab" : "ab\n").end();
    return f.bytes();
}

// Both encodings of one description give the same scene.
TEST(Encodings, SameDescriptionGivesTheSameScene) {
    nlohmann::ordered_json summaries[2];
    for (Encoding e : kBoth) {
        std::vector<size_t> unused;
        auto r = harness::import_bytes(everything(e, unused), "scene.cob");
        auto& j = summaries[e == Encoding::Binary ? 0 : 1];
        j = scene_summary(*r.scene, "");
        j.erase("file");  // the file name and its folder are the only other differences
        j.erase("search_paths");
    }
    EXPECT_EQ(summaries[0]["objects"].size(), 3u);
    EXPECT_EQ(summaries[0].dump(1), summaries[1].dump(1));
}

TEST(Truncation, EveryPrefixYieldsTheObjectsBeforeTheCutAndFreesEverything) {
    for (Encoding e : kBoth) {
        std::vector<size_t> complete_at;
        const std::string whole = everything(e, complete_at);
        const uint64_t live = vertexa::alloc_stats().live_blocks;
        for (size_t n = 0; n <= whole.size(); n += harness::kPrefixStride) {
            auto r = harness::import_bytes(whole.substr(0, n), "cut.cob", 0);
            uint32_t expected = 0;
            for (size_t end : complete_at) expected += end <= n ? 1 : 0;
            ASSERT_EQ(r.meshes(), expected) << "prefix of " << n << " bytes";
            for (uint32_t i = 0; i < r.meshes(); ++i)
                EXPECT_STREQ(r.mesh(static_cast<int32_t>(i))->get_name(), std::string("P").append(std::to_string(i)).c_str());
        }
        EXPECT_EQ(vertexa::alloc_stats().live_blocks, live);
    }
}

// Every prefix of the first 512 bytes, then prefixes ever further apart (the
// sweep above cuts every byte of every chunk kind): a few thousand imports,
// not one per byte of the samples.
TEST(Truncation, PrefixesOfTheSamplesImport) {
    for (const char* name : {"still_life.scn", "still_life_ascii.scn"}) {
        const std::string whole = harness::read_file(std::string(VERTEXA_SOURCE_DIR) + "/samples/" + name);
        ASSERT_GT(whole.size(), 32u) << name;
        const uint32_t all = harness::import_bytes(whole, "full.scn", 0).meshes();
        ASSERT_GT(all, 0u) << name;
        uint32_t previous = 0;
        for (size_t n = 0; n < whole.size(); n += 1 + n / 512 + (harness::kPrefixStride - 1)) {
            auto r = harness::import_bytes(whole.substr(0, n), "cut.scn", 0);
            // Objects only appear as the cut moves on, and never more than the whole file has.
            ASSERT_GE(r.meshes(), previous) << name << " prefix of " << n << " bytes";
            ASSERT_LE(r.meshes(), all) << name << " prefix of " << n << " bytes";
            previous = r.meshes();
        }
    }
}

TEST(Allocation, EveryFailedAllocationIsSurvived) {
    for (Encoding e : kBoth) {
        std::vector<size_t> unused;
        const std::string path = harness::temp_dir() + "/failing.cob";
        harness::write_file(path, everything(e, unused));
        const uint64_t live = vertexa::alloc_stats().live_blocks;
        // A clean import tells how many allocations there are and frees them
        // all; then each of them fails in turn.
        const uint64_t allocations = harness::import_path(path, 0).allocations;
        ASSERT_GT(allocations, 10u);
        ASSERT_EQ(vertexa::alloc_stats().live_blocks, live);
        for (uint64_t n = 1; n <= allocations; ++n) {
            harness::import_path(path, 0, "", n);
            ASSERT_EQ(vertexa::alloc_stats().live_blocks, live) << "failing allocation " << n;
        }
    }
}

}  // namespace
