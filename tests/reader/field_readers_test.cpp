#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "field_readers.h"
#include "reader_state.h"

namespace {

// Puts `bytes` behind the reader's input stream for the length of a test.
class FieldReaders : public ::testing::Test {
protected:
    void use(const std::string& bytes) {
        if (reader_state.in != nullptr) std::fclose(reader_state.in);
        reader_state.in = std::tmpfile();
        std::fwrite(bytes.data(), 1, bytes.size(), reader_state.in);
        std::rewind(reader_state.in);
    }
    void TearDown() override {
        if (reader_state.in != nullptr) std::fclose(reader_state.in);
        reader_state.in = nullptr;
    }
};

TEST_F(FieldReaders, NumbersAndVectorsAreLittleEndianAndReadFFPastTheEnd) {
    std::string b("\x34\x12\x78\x56\x34\x12\x00\x00\x80\x3f", 10);
    for (float f : {1.5f, -2.0f, 0.25f}) b.append(reinterpret_cast<const char*>(&f), 4);
    use(b);
    EXPECT_EQ(read_word(), 0x1234);
    EXPECT_EQ(read_dword(), 0x12345678u);
    EXPECT_EQ(read_float(), 1.0f);
    MVector3 v = read_vector();  // x, then y, then z
    EXPECT_EQ(v[0], 1.5);
    EXPECT_EQ(v[1], -2.0);
    EXPECT_EQ(v[2], 0.25);
    EXPECT_EQ(static_cast<unsigned char>(read_byte()), 0xFF);
    EXPECT_EQ(read_word(), 0xFFFF);
    EXPECT_EQ(read_dword(), 0xFFFFFFFFu);
    // A length of 0xFFFF read past the end: the text is kept to the buffer
    // and consists of 0xFF bytes.
    const char* s = read_string();
    EXPECT_EQ(std::string(s).size(), 1023u);
    EXPECT_EQ(static_cast<unsigned char>(s[0]), 0xFF);
}

TEST_F(FieldReaders, TextsConsumeTheirFieldsAndKeepAtMost1023Bytes) {
    use(std::string("\x00\x00", 2) + std::string("\x07\x00\x03\x00" "abcZ", 8));
    EXPECT_STREQ(read_string(), "");
    EXPECT_EQ(std::ftell(reader_state.in), 2);
    EXPECT_STREQ(read_name(), "abc");
    EXPECT_EQ(std::ftell(reader_state.in), 9);
    EXPECT_EQ(read_byte(), 'Z');

    std::string name(2000, 'n');
    name[1022] = 'k';
    name[1023] = 'x';
    use(std::string("\xD0\x07", 2) + name + "T");
    std::string s = read_string();
    EXPECT_EQ(s.size(), 1023u);
    EXPECT_EQ(s.back(), 'k');
    EXPECT_EQ(read_byte(), 'T') << "the stream stands after the whole field";

    use(std::string(1500, 'c') + "Uabc");
    EXPECT_EQ(std::string(read_chars(1500)).size(), 1023u);
    EXPECT_EQ(read_byte(), 'U');
    EXPECT_STREQ(read_chars(0), "");
    EXPECT_STREQ(read_chars(-7), "");
    EXPECT_STREQ(read_chars(2), "ab");
}

TEST_F(FieldReaders, HeaderTextIsCutTo18Characters) {
    use("Caligari V00.01BLH             \n");
    EXPECT_STREQ(read_header_text(), "Caligari V00.01BLH");
    use(std::string("Cal\0igari", 9));
    EXPECT_STREQ(read_header_text(), "Cal");
    EXPECT_EQ(std::ftell(reader_state.in), 4) << "reading stops after the first NUL";
    use("");
    EXPECT_EQ(std::string(read_header_text()), std::string(18, '\xFF'));
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
        FILE* files[2] = {std::tmpfile(), std::tmpfile()};  // bulk, scalar
        ASSERT_TRUE(files[0] != nullptr && files[1] != nullptr);
        for (int i = 0; i < 2; ++i) {
            std::fwrite(bytes.data(), 1, bytes.size(), files[i]);
            std::rewind(files[i]);
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

}  // namespace
