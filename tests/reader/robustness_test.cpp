// Damaged files: lying counts, truncation at every byte, failed allocations.
#include <gtest/gtest.h>

#include <string>

#include "cob_writer.h"
#include "harness.h"
#include "vertexa/memory.h"

using cobtest::CobFile;
using cobtest::Encoding;

namespace {

const Encoding kBoth[] = {Encoding::Binary, Encoding::Ascii};

TEST(LyingCounts, CountsAreBoundedByTheBytesOfTheChunk) {
    for (Encoding e : kBoth) {
        for (int which = 0; which < 3; ++which) {
            cobtest::Polygon p = harness::sample_polygon("Liar");
            if (which == 0) p.vertex_count = 4000000000u;
            if (which == 1) p.uv_count = 4000000000u;
            if (which == 2) p.face_count = 4000000000u;
            CobFile f(e);
            f.polygon(1, 0, p).polygon(2, 0, harness::sample_polygon("Honest"));
            auto before = vertexa::alloc_stats();
            auto r = harness::import_file_of(f);
            EXPECT_NE(r.log.find("## 4000000000 "), std::string::npos) << which << "\n" << r.log;
            // Nothing near four billion elements was read or reserved.
            for (uint32_t i = 0; i < r.meshes(); ++i) {
                EXPECT_LT(r.mesh(static_cast<int32_t>(i))->Get_Vertex_Count(), 100);
                EXPECT_LT(r.mesh(static_cast<int32_t>(i))->Get_UVVertex_Count(), 100);
                EXPECT_LT(r.mesh(static_cast<int32_t>(i))->Get_Face_Count(), 100);
            }
            EXPECT_LT(vertexa::alloc_stats().peak_bytes - before.live_bytes, 1u << 20);
            ASSERT_GE(r.meshes(), 1u);
            EXPECT_STREQ(r.mesh(static_cast<int32_t>(r.meshes() - 1))->get_name(), "Honest");
        }
    }
}

TEST(LyingCounts, FaceWithMoreCornersThanBytes) {
    for (Encoding e : kBoth) {
        cobtest::Polygon p = harness::sample_polygon();
        p.faces[1].corner_count = 65535;
        CobFile f(e);
        f.polygon(1, 0, p).polygon(2, 0, harness::sample_polygon("After"));
        auto r = harness::import_file_of(f);
        ASSERT_GE(r.meshes(), 1u);
        EXPECT_STREQ(r.mesh(static_cast<int32_t>(r.meshes() - 1))->get_name(), "After");
    }
}

// A file with every kind of chunk, for the sweeps below.
std::string everything(Encoding e) {
    CobFile f(e);
    cobtest::Polygon p = harness::sample_polygon("All");
    p.faces.push_back({true, 0, 0, {{0, 0}, {1, 1}, {2, 2}}, {}});
    cobtest::Material m;
    m.number = 1;
    m.maps = {{cobtest::MapKind::Texture, 0, "t.bmp", 0, 0, 2, 2, 1, {}, {}},
              {cobtest::MapKind::Bump, 0, "b.bmp", 0, 0, 1, 1, 0.5f, {}, {}},
              {cobtest::MapKind::Environment, 0, "e.bmp", 0, 0, 1, 1, 1, {}, {}}};
    cobtest::Procedural proc;
    proc.parameters = "xyz\n";
    f.group(1, 0, p.axes).polygon(2, 1, p).material(3, 2, m).procedural(4, 2, proc).end();
    return f.bytes();
}

TEST(Truncation, EveryPrefixImportsCleanly) {
    for (Encoding e : kBoth) {
        const std::string whole = everything(e);
        const uint64_t live = vertexa::alloc_stats().live_blocks;
        size_t meshes_seen = 0;
        for (size_t n = 0; n <= whole.size(); ++n) {
            auto r = harness::import_bytes(whole.substr(0, n), "cut.cob", 0);
            meshes_seen += r.meshes();
            ASSERT_LE(r.meshes(), 1u);
        }
        EXPECT_GT(meshes_seen, 0u) << "prefixes that hold the whole polygon chunk yield it";
        EXPECT_EQ(vertexa::alloc_stats().live_blocks, live);
    }
}

TEST(Allocation, WholeImportFreesEveryBlock) {
    for (Encoding e : kBoth) {
        const std::string bytes = everything(e);
        const uint64_t live = vertexa::alloc_stats().live_blocks;
        {
            auto r = harness::import_bytes(bytes, "all.cob");
            ASSERT_EQ(r.meshes(), 1u);
            EXPECT_GT(vertexa::alloc_stats().live_blocks, live);
        }
        EXPECT_EQ(vertexa::alloc_stats().live_blocks, live);
    }
}

TEST(Allocation, EveryFailedAllocationIsSurvived) {
    for (Encoding e : kBoth) {
        const std::string bytes = everything(e);
        const std::string path = harness::temp_dir() + "/failing.cob";
        harness::write_file(path, bytes);
        harness::use_profile(0, "");
        const uint64_t live = vertexa::alloc_stats().live_blocks;
        auto run = [&](uint64_t fail_at) {
            auto* options = new CobImportOptions;
            options->Set_Filename(path.c_str());
            auto* cb = new MessageCallBack1(harness::record_status, harness::record_progress, harness::record_status,
                                            harness::record_progress, harness::record_status,
                                            harness::record_progress);
            auto* scene = new MScene(path.c_str());
            const uint64_t before = vertexa::alloc_stats().total_allocs;
            vertexa::alloc_fail_after(fail_at);
            import_file(scene, options, cb);
            vertexa::alloc_fail_after(0);
            const uint64_t made = vertexa::alloc_stats().total_allocs - before;
            delete scene;
            delete cb;
            delete options;
            return made;
        };
        // A clean import tells how many allocations there are; then each of
        // them fails in turn.
        const uint64_t allocations = run(0);
        ASSERT_GT(allocations, 10u);
        for (uint64_t n = 1; n <= allocations; ++n) {
            run(n);
            ASSERT_EQ(vertexa::alloc_stats().live_blocks, live) << "failing allocation " << n;
        }
    }
}

}  // namespace
