#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
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

    use("Caligari V00.01BLH             \n");
    EXPECT_STREQ(read_header_text(), "Caligari V00.01BLH");
    use(std::string("Cal\0igari", 9));
    EXPECT_STREQ(read_header_text(), "Cal");
    EXPECT_EQ(std::ftell(reader_state.in), 4);
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
                same = std::memcmp(got.data(), want.data(), sizeof(T) * got.size()) == 0;
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
