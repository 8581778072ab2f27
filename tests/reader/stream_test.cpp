// The field readers and the chunk stream: numbers and texts, headers in
// both encodings and the walk's stop rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <random>
#include <string>
#include <vector>

#include "chunk_stream.h"
#include "cob_writer.h"
#include "field_readers.h"
#include "harness.h"
#include "reader_state.h"

using cobtest::CobFile;
using cobtest::Encoding;

namespace {

FILE* file_of(const std::string& bytes) {
    FILE* file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    return file;
}

// Puts `bytes` behind the reader's input stream for the length of a test.
class FieldReaders : public ::testing::Test {
protected:
    void use(const std::string& bytes) {
        if (reader_state.in != nullptr) std::fclose(reader_state.in);
        reader_state.in = file_of(bytes);
    }
    void TearDown() override {
        if (reader_state.in != nullptr) std::fclose(reader_state.in);
        reader_state.in = nullptr;
    }
};

// Numbers are little-endian, bytes past the end read as 0xFF; texts consume
// their whole field and keep at most 1023 bytes; the header text stops after
// the first NUL and keeps 18 characters.
TEST_F(FieldReaders, NumbersTextsAndTheirBounds) {
    std::string b("\x34\x12\x78\x56\x34\x12\x00\x00\x80\x3f", 10);
    for (float f : {1.5f, -2.0f, 0.25f}) b.append(reinterpret_cast<const char*>(&f), 4);
    use(b);
    EXPECT_EQ(read_word(), 0x1234);
    EXPECT_EQ(read_dword(), 0x12345678u);
    EXPECT_EQ(read_float(), 1.0f);
    const MVector3 v = read_vector();  // x, then y, then z
    EXPECT_TRUE(v[0] == 1.5 && v[1] == -2.0 && v[2] == 0.25);
    EXPECT_EQ(static_cast<unsigned char>(read_byte()), 0xFF);
    EXPECT_EQ(read_dword(), 0xFFFFFFFFu);
    EXPECT_EQ(std::string(read_string()), std::string(1023, '\xFF'));  // length 0xFFFF past the end

    std::string name(2000, 'n');
    name[1022] = 'k';
    use(std::string("\x00\x00\x07\x00\x03\x00" "abcZ\xD0\x07", 12) + name + std::string(1500, 'c') + "Uab");
    EXPECT_STREQ(read_string(), "");
    EXPECT_STREQ(read_name(), "abc");
    EXPECT_EQ(std::ftell(reader_state.in), 9);
    EXPECT_EQ(read_byte(), 'Z');
    EXPECT_EQ(std::string(read_string()), name.substr(0, 1023));
    EXPECT_EQ(std::string(read_chars(1500)), std::string(1023, 'c')) << "the stream stands after the whole field";
    EXPECT_EQ(read_byte(), 'U');
    EXPECT_STREQ(read_chars(0), "");
    EXPECT_STREQ(read_chars(-7), "");
    EXPECT_STREQ(read_chars(2), "ab");

    // (A whole header and an empty file: the import tests' logs.)
    use(std::string("Cal\0igari", 9));
    EXPECT_STREQ(read_header_text(), "Cal");
    EXPECT_EQ(std::ftell(reader_state.in), 4);
}

// The bulk readers take bytes straight from the stream's buffer when it holds
// them and one by one otherwise; whatever the buffering and wherever the
// buffer ends, they must give what as many calls of the scalar readers give,
// 0xFF bytes past the end of the file included, and leave the stream at the
// same place.
TEST(BulkFieldReaders, GiveWhatTheScalarReadersGive) {
    std::mt19937 rng(5);
    static char small[2][7];
    for (int n = 0; n < 300; ++n) {
        std::string bytes(rng() % 400, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        FILE* files[2] = {file_of(bytes), file_of(bytes)};  // bulk, scalar
        ASSERT_TRUE(files[0] != nullptr && files[1] != nullptr);
        for (int i = 0; i < 2; ++i) {
            if (n % 3 == 1) std::setvbuf(files[i], small[i], _IOFBF, sizeof small[i]);
            if (n % 3 == 2) std::setvbuf(files[i], nullptr, _IONBF, 0);
        }
        for (int step = 0; step < 40; ++step) {
            const size_t count = rng() % 40;
            bool same = false;
            // Reads count values with the bulk reader from one stream and
            // with the scalar one from the other, and compares their bits.
            auto compare = [&](auto bulk_read, auto scalar_read) {
                using T = decltype(scalar_read());
                std::vector<T> got(count + 1), want(count + 1);
                reader_state.in = files[0];
                bulk_read(got.data(), count);
                reader_state.in = files[1];
                for (size_t i = 0; i < count; ++i) want[i] = scalar_read();
                same = std::equal(got.begin(), got.end(), want.begin(), [](T a, T b) {
                    // A float returned through the x87 stack (32-bit x86)
                    // has its signalling NaNs made quiet.
                    if constexpr (std::is_floating_point_v<T>)
                        if (std::isnan(a) && std::isnan(b)) return true;
                    return std::memcmp(&a, &b, sizeof a) == 0;
                });
            };
            switch (rng() % 4) {
                case 0: compare(read_bytes, [] { return static_cast<unsigned char>(read_byte()); }); break;
                case 1: compare(read_words, read_word); break;
                case 2: compare(read_dwords, read_dword); break;
                default: compare(read_floats, read_float); break;
            }
            ASSERT_TRUE(same) << "case " << n << " step " << step;
            ASSERT_EQ(std::ftell(files[0]), std::ftell(files[1])) << "case " << n << " step " << step;
        }
        reader_state.in = nullptr;
        for (FILE* f : files) std::fclose(f);
    }
}

// One header as a line: type, id, version, id, parent, start, size, end.
std::string read_header(const std::string& bytes, int binary, long at) {
    reader_state.in = file_of(bytes);
    std::fseek(reader_state.in, at, SEEK_SET);
    reader_state.binary = binary;
    static ChunkHeader h;  // fields a line does not hold keep the previous header's values
    char text[160] = "none";
    if (read_chunk_header(h))
        std::snprintf(text, sizeof text, "%s %08X V%u.%u id %d parent %d start %u size %u end %u", h.type,
                      h.type_id, h.major, h.minor, h.id, h.parent_id, h.start, h.size, h.end);
    std::fclose(reader_state.in);
    reader_state.in = nullptr;
    return text;
}

TEST(ChunkHeaderRead, BothEncodings) {
    // The writer's binary framing byte for byte, so that it cannot share a
    // mistake with the reader: the type padded, a declared size, END V1.00.
    const std::string grou("Grou\2\0\1\0\5\0\0\0\xFF\xFF\xFF\xFF\x64\0\0\0", 20);
    EXPECT_EQ(cobtest::binary_chunk_header("Grou", 2, 1, 5, -1, 100), grou);
    EXPECT_EQ(CobFile(Encoding::Binary).chunk("Ab", 2, 1, "abc", 1000).end().bytes(),
              "Caligari V00.01BLH             \n" +
                  std::string("Ab  \0\0\1\0\2\0\0\0\1\0\0\0\xE8\3\0\0abcEND \1\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 43));
    EXPECT_EQ(read_header("xx" + grou, 1, 2), "Grou 47726F75 V2.1 id 5 parent -1 start 2 size 120 end 122");
    const std::string line = cobtest::ascii_chunk_header("PolH", 0, 8, 7, 3, 120);  // the size with leading zeros
    // The size counts from just after the last digit.
    EXPECT_EQ(read_header(line, 0, 0), "PolH 506F6C48 V0.8 id 7 parent 3 start 0 size 158 end 158");
    EXPECT_EQ(line.size(), 38u);
    EXPECT_EQ(read_header("\nUnit V0.02 Id 11 Parent", 0, 1), "Unit 556E6974 V0.2 id 11 parent 3 start 1 size 143 end 144");
    EXPECT_EQ(read_header("", 0, 0), "none");
}

// --- The walk, through whole imports ------------------------------------------

TEST(ChunkWalk, ChunksUpToTheFileEndAreLoggedOneByteBeyondItEndsTheWalk) {
    CobFile at_end(Encoding::Binary), beyond(Encoding::Binary);
    at_end.chunk("Unit", 1, 0, "").chunk("Unit", 2, 0, "").chunk("Unit", 3, 0, "");
    beyond.chunk("Unit", 1, 0, "abc").chunk("View", 2, 0, "abcd", 5);
    auto r = harness::import_file_of(at_end);
    EXPECT_EQ(harness::occurrences(r.log, "-> Unit (0x14)\n"), 3u);
    EXPECT_EQ(harness::occurrences(r.log, " (0x"), 3u) << "no other chunk";
    EXPECT_TRUE(harness::in_order(r.log, {"-> Unit (0x14)\n", "Postprocessing ...        \n"}));
    EXPECT_EQ(r.progress.progress_2_calls, 4) << "progress before every header and the read at the file end";
    const std::string log = harness::import_file_of(beyond).log;
    EXPECT_TRUE(harness::occurrences(log, " (0x") == 1 && harness::occurrences(log, "-> Unit (0x17)\n") == 1) << log;
}

TEST(ChunkWalk, UnknownChunksAndDataThatLooksLikeAHeaderAreSkipped) {
    for (Encoding e : {Encoding::Binary, Encoding::Ascii}) {
        SCOPED_TRACE(e == Encoding::Binary ? "binary" : "ascii");
        cobtest::Polygon a = harness::sample_polygon("A");
        a.trailing = "Mat1 V0.08 Id 9 Parent 1 Size 00000010\nmat# 3\n";  // looks like a chunk, is data
        auto r = harness::import_file_of(
            CobFile(e)
                .polygon(1, 0, a)
                .chunk("Lght", 2, 0, e == Encoding::Binary ? std::string(33, 'P') : std::string("PolH junk\n"))
                .polygon(3, 0, harness::sample_polygon("B"))
                .end());
        ASSERT_EQ(r.meshes(), 2u);
        EXPECT_STREQ(r.mesh(1)->get_name(), "B");
        EXPECT_EQ(r.surfaces(), 1u);
        EXPECT_EQ(harness::occurrences(r.log, "-> PolH (0x"), 2u);
        EXPECT_NE(r.log.find("-> Lght (0x"), std::string::npos);
    }
}

}  // namespace
