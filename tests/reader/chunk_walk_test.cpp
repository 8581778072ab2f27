// The chunk stream: headers in both encodings and the walk's stop rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "chunk_stream.h"
#include "cob_writer.h"
#include "harness.h"
#include "reader_state.h"

using cobtest::CobFile;
using cobtest::Encoding;

namespace {

TEST(ChunkHeaderRead, BothEncodings) {
    auto use = [](const std::string& bytes, int binary) {
        if (reader_state.in != nullptr) std::fclose(reader_state.in);
        reader_state.in = std::tmpfile();
        std::fwrite(bytes.data(), 1, bytes.size(), reader_state.in);
        std::rewind(reader_state.in);
        reader_state.binary = binary;
    };
    ChunkHeader h;
    use("xx" + cobtest::binary_chunk_header("Grou", 0, 1, 5, -1, 100), 1);
    std::fseek(reader_state.in, 2, SEEK_SET);
    ASSERT_TRUE(read_chunk_header(h));
    EXPECT_STREQ(h.type, "Grou");
    EXPECT_EQ(h.type_id, 0x47726F75u);
    EXPECT_EQ(h.minor, 1);
    EXPECT_EQ(h.id, 5);
    EXPECT_EQ(h.parent_id, -1);
    EXPECT_EQ(h.start, 2u);
    EXPECT_EQ(h.size, 120u);
    EXPECT_EQ(h.end, 122u);

    const std::string line = cobtest::ascii_chunk_header("PolH", 0, 8, 7, 3, 120);
    use(line + "\nUnit V0.02 Id 11 Parent", 0);
    ASSERT_TRUE(read_chunk_header(h));
    EXPECT_STREQ(h.type, "PolH");
    EXPECT_EQ(h.type_id, 0x506F6C48u);
    EXPECT_EQ(h.minor, 8);
    EXPECT_EQ(h.id, 7);
    EXPECT_EQ(h.parent_id, 3);
    EXPECT_EQ(h.end, line.size() + 120u) << "the size counts from just after the last digit";
    // Fields missing from a line keep the values of the previous header.
    std::fseek(reader_state.in, static_cast<long>(line.size() + 1), SEEK_SET);
    ASSERT_TRUE(read_chunk_header(h));
    EXPECT_STREQ(h.type, "Unit");
    EXPECT_EQ(h.minor, 2);
    EXPECT_EQ(h.id, 11);
    EXPECT_EQ(h.parent_id, 3);
    EXPECT_EQ(h.size, std::string("Unit V0.02 Id 11 Parent").size() + 120u);

    use("", 0);
    EXPECT_FALSE(read_chunk_header(h));
    std::fclose(reader_state.in);
    reader_state.in = nullptr;
}

// --- The walk, through whole imports ------------------------------------------

// The lines the walk writes for the chunks it reads.
std::string chunk_lines(const std::string& log) {
    std::string out;
    std::istringstream in(log);
    for (std::string l; std::getline(in, l);)
        if (l.rfind("-> ", 0) == 0 && l.find(" (0x") != std::string::npos) out += l + "\n";
    return out;
}

TEST(ChunkWalk, ChunksUpToTheFileEndAreLoggedOneByteBeyondItEndsTheWalk) {
    CobFile at_end(Encoding::Binary), beyond(Encoding::Binary);
    at_end.chunk("Unit", 1, 0, "").chunk("Unit", 2, 0, "").chunk("Unit", 3, 0, "");
    beyond.chunk("Unit", 1, 0, "abc").chunk("View", 2, 0, "abcd", 5);
    auto r = harness::import_file_of(at_end);
    EXPECT_EQ(chunk_lines(r.log), "-> Unit (0x14)\n-> Unit (0x14)\n-> Unit (0x14)\n");
    EXPECT_TRUE(harness::in_order(r.log, {"-> Unit (0x14)\n", "Postprocessing ...        \n"}));
    EXPECT_EQ(r.progress.progress_2_calls, 4) << "progress before every header and the read at the file end";
    EXPECT_EQ(chunk_lines(harness::import_file_of(beyond).log), "-> Unit (0x17)\n");
}

TEST(ChunkWalk, UnknownChunksAndDataThatLooksLikeAHeaderAreSkipped) {
    for (Encoding e : {Encoding::Binary, Encoding::Ascii}) {
        SCOPED_TRACE(e == Encoding::Binary ? "binary" : "ascii");
        cobtest::Polygon a = harness::sample_polygon("A");
        a.trailing = "Mat1 V0.08 Id 9 Parent 1 Size 00000010\nmat# 3\n";  // looks like a chunk, is data
        CobFile f(e);
        f.polygon(1, 0, a)
            .chunk("Lght", 2, 0, e == Encoding::Binary ? std::string(33, 'P') : std::string("PolH junk\n"))
            .polygon(3, 0, harness::sample_polygon("B"))
            .end();
        auto r = harness::import_file_of(f);
        ASSERT_EQ(r.meshes(), 2u);
        EXPECT_STREQ(r.mesh(1)->get_name(), "B");
        EXPECT_EQ(r.surfaces(), 1u);
        EXPECT_EQ(harness::occurrences(r.log, "-> PolH (0x"), 2u);
        EXPECT_NE(r.log.find("-> Lght (0x"), std::string::npos);
    }
}

TEST(ChunkWalk, SizesThatWrapGoBackwardsOrDoNotParseEndTheWalk) {
    // The Junk chunk starts at byte 56. A data size of 0xFFFFFFEC makes its
    // size wrap to 0; 0xFFFFFFD7 makes its end wrap to byte 35, before its
    // start. Either would make the walk stand still or go back.
    for (int64_t size : {int64_t{0xFFFFFFEC}, int64_t{0xFFFFFFD7}}) {
        CobFile f(Encoding::Binary);
        f.chunk("Unit", 1, 0, "abcd").chunk("Junk", 2, 0, "", size).polygon(3, 0, harness::sample_polygon());
        auto r = harness::import_file_of(f);
        EXPECT_EQ(r.meshes(), 0u);
        EXPECT_NE(r.log.find("## chunk Junk at "), std::string::npos);
        EXPECT_NE(r.log.find("Done"), std::string::npos);
    }
    for (const char* body : {"garbage that is not a header\n", "PolH V0.08 Id 1 Parent 0 Size -50\n",
                             "PolH V0.08 Id 1 Parent 0 Size -2147483648\n",
                             "PolH V0.08 Id 1 Parent 0 Size 00000000PolH V0.08 Id 1 Parent 0 Size 0", "\n\n\n"}) {
        CobFile f(Encoding::Ascii);
        f.raw(body);
        EXPECT_NE(harness::import_file_of(f).log.find("Done"), std::string::npos) << body;
    }
}

}  // namespace
