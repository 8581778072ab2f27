// Truncated files: every prefix of the bundled samples and of a written file
// with several objects imports without a fault and yields exactly the
// objects whose chunks end before the cut.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cob_writer.h"
#include "harness.h"
#include "vertexa/memory.h"

using cobtest::CobFile;
using cobtest::Encoding;

namespace {

TEST(TruncatedFiles, EveryPrefixYieldsTheObjectsBeforeTheCut) {
    for (Encoding e : {Encoding::Binary, Encoding::Ascii}) {
        // Three objects with materials between them; the file size after each
        // polygon chunk is where that object becomes complete.
        CobFile f(e);
        std::vector<size_t> complete_at;
        for (int i = 0; i < 3; ++i) {
            cobtest::Material m;
            m.number = 0;
            m.maps = {{cobtest::MapKind::Texture, 0, "t.bmp", 0, 0, 1, 1, 1, {}, {}}};
            f.polygon(2 * i + 1, 0, harness::sample_polygon("P" + std::to_string(i)));
            complete_at.push_back(f.bytes().size());
            f.material(2 * i + 2, 2 * i + 1, m);
        }
        f.end();
        const std::string whole = f.bytes();
        const uint64_t live = vertexa::alloc_stats().live_blocks;
        for (size_t n = 0; n <= whole.size(); ++n) {
            auto r = harness::import_bytes(whole.substr(0, n), "cut.cob", 0);
            uint32_t expected = 0;
            for (size_t end : complete_at) expected += end <= n ? 1 : 0;
            ASSERT_EQ(r.meshes(), expected) << "prefix of " << n << " bytes";
            for (uint32_t i = 0; i < r.meshes(); ++i) {
                EXPECT_STREQ(r.mesh(static_cast<int32_t>(i))->get_name(), ("P" + std::to_string(i)).c_str());
            }
        }
        EXPECT_EQ(vertexa::alloc_stats().live_blocks, live);
    }
}

TEST(TruncatedFiles, EveryPrefixOfTheSamplesImports) {
    for (const char* name : {"still_life.scn", "still_life_ascii.scn"}) {
        const std::string whole = harness::read_file(std::string(VERTEXA_SOURCE_DIR) + "/samples/" + name);
        ASSERT_GT(whole.size(), 32u) << name;
        const uint32_t all = harness::import_bytes(whole, "full.scn", 0).meshes();
        ASSERT_GT(all, 0u) << name;
        uint32_t previous = 0;
        for (size_t n = 0; n < whole.size(); ++n) {
            auto r = harness::import_bytes(whole.substr(0, n), "cut.scn", 0);
            // Objects only appear as the cut moves on, and never more than the whole file has.
            ASSERT_GE(r.meshes(), previous) << name << " prefix of " << n << " bytes";
            ASSERT_LE(r.meshes(), all) << name << " prefix of " << n << " bytes";
            previous = r.meshes();
        }
    }
}

}  // namespace
