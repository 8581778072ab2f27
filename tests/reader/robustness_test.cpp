// Damaged files: lying counts, truncation at every byte, failed allocations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cob_writer.h"
#include "harness.h"
#include "vertexa/memory.h"

using cobtest::CobFile;
using cobtest::Encoding;

namespace {

const Encoding kBoth[] = {Encoding::Binary, Encoding::Ascii};

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

// A file with every kind of chunk: a group, three polygons (the first with a
// hole) each followed by a material with maps of every kind, a procedural
// material. `complete_at` gets the file size after each polygon chunk, where
// that object becomes complete.
std::string everything(Encoding e, std::vector<size_t>& complete_at) {
    CobFile f(e);
    cobtest::Material m;
    m.number = 0;
    m.maps = {{cobtest::MapKind::Texture, 0, "t.bmp", 0, 0, 2, 2, 1, {}, {}},
              {cobtest::MapKind::Bump, 0, "b.bmp", 0, 0, 1, 1, 0.5f, {}, {}},
              {cobtest::MapKind::Environment, 0, "e.bmp", 0, 0, 1, 1, 1, {}, {}}};
    for (int i = 0; i < 3; ++i) {
        cobtest::Polygon p = harness::sample_polygon(std::string("P").append(std::to_string(i)));
        if (i == 0) {
            p.faces.push_back({true, 0, 0, {{0, 0}, {1, 1}, {2, 2}}, {}});
            f.group(10, 0, p.axes);
        }
        f.polygon(2 * i + 1, 10, p);
        complete_at.push_back(f.bytes().size());
        f.material(2 * i + 2, 2 * i + 1, m);
    }
    cobtest::Procedural proc;
    proc.parameters = "xyz\n";
    f.procedural(20, 1, proc).end();
    return f.bytes();
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
