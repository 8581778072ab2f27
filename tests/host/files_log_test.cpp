// Byte order, file helpers and the import log.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>

#include "host_test_util.h"
#include "vertexa/services.h"

namespace {

using host_test::read_file;
using host_test::scratch_folder;
using host_test::write_file;

TEST(ByteOrder, LittleEndianBytesBecomeNativeNumbers) {
    EXPECT_EQ(init_byteswap(), 0);
    // Odd offsets: file fields are not aligned.
    const unsigned char bytes[] = {0, 0x78, 0x56, 0x34, 0x12, 0xCD, 0xAB, 0x00, 0x00, 0x10, 0xC0};
    uint32_t d = 0;
    I2NDWord(bytes + 1, &d);
    EXPECT_EQ(d, 0x12345678u);
    uint16_t w = 0;
    I2NWord(bytes + 5, &w);
    EXPECT_EQ(w, 0xABCDu);
    float f = 0.0f;
    I2NFloat(bytes + 7, &f);  // 0xC0100000
    EXPECT_EQ(f, -2.25f);
}

FILE* open_with(const std::string& data) {
    const std::string path = scratch_folder() + "/data.txt";
    write_file(path, data);
    return std::fopen(path.c_str(), "rb");
}

TEST(FileHelpers, SizeKeepsThePositionReadLineDropsLineEndsAndLeavesTheRestOfLongLines) {
    FILE* f = open_with("first\r\n\nlone\rcr\nabcdefghij\nabcd\r\nijkl\rm\nlast");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 2, SEEK_SET);
    EXPECT_EQ(m_filesize(f), 44);
    EXPECT_EQ(m_filepos(f), 2);
    EXPECT_EQ(m_filesize(nullptr), -1);
    std::rewind(f);
    char line[64];
    EXPECT_STREQ(m_read_line(line, sizeof line, f), "first");
    EXPECT_STREQ(m_read_line(line, sizeof line, f), "");
    EXPECT_STREQ(m_read_line(line, sizeof line, f), "lone\rcr");  // a CR alone is data
    EXPECT_STREQ(m_read_line(line, 5, f), "abcd");
    EXPECT_STREQ(m_read_line(line, 5, f), "efgh");
    EXPECT_STREQ(m_read_line(line, 5, f), "ij");
    EXPECT_STREQ(m_read_line(line, 5, f), "abcd");  // exactly fits: its CRLF is taken too
    EXPECT_STREQ(m_read_line(line, 5, f), "ijkl");
    EXPECT_STREQ(m_read_line(line, 5, f), "\rm");
    EXPECT_STREQ(m_read_line(line, 1, f), "");  // room for the NUL only
    EXPECT_EQ(m_read_line(line, 0, f), nullptr);
    EXPECT_EQ(m_read_line(line, -1, f), nullptr);
    EXPECT_STREQ(m_read_line(line, sizeof line, f), "last");
    EXPECT_EQ(m_read_line(line, sizeof line, f), nullptr);
    std::fclose(f);
}

TEST(FileHelpers, GetPathWithEitherSeparator) {
    struct {
        char directory[260];
        char guard[4] = {'G', 'G', 'G', 'G'};
    } out;
    m_getpath(out.directory, "/home/user/ship.cob");
    EXPECT_STREQ(out.directory, "/home/user/");
    m_getpath(out.directory, "c:\\ts\\scenes/x\\ship.scn");
    EXPECT_STREQ(out.directory, "c:\\ts\\scenes/x\\");
    m_getpath(out.directory, "ship.cob");
    EXPECT_STREQ(out.directory, "./");
    m_getpath(out.directory, nullptr);
    EXPECT_STREQ(out.directory, "");
    m_getpath(out.directory, (std::string(400, 'x') + "/file.cob").c_str());
    EXPECT_STREQ(out.directory, "") << "a folder that does not fit is not cut into another one";
    m_getpath(out.directory, (std::string(258, 'x') + "/file.cob").c_str());
    EXPECT_EQ(std::string(out.directory), std::string(258, 'x') + "/");
    EXPECT_EQ(std::string(out.guard, 4), "GGGG");
}

TEST(ReplaceFile, ANameAsLongAsTheFolderTakesIsReplacedWithNothingLeftBeside) {
#if defined(_WIN32)
    GTEST_SKIP() << "a Windows path is at most 260 characters in all";
#endif
    const std::string folder = scratch_folder();
    const std::string path = folder + "/" + std::string(255, 'p');
    write_file(path, "old");
    MReplaceFile* file = m_replace_open(path.c_str());
    ASSERT_NE(file, nullptr) << std::strerror(errno);
    std::fputs("new", m_replace_stream(file));
    EXPECT_EQ(m_replace_commit(file), 1);
    EXPECT_EQ(read_file(path), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
}

TEST(Log, WritesExactlyTheFormattedText) {
    const std::string folder = scratch_folder();
    const std::string path = folder + "/import.log";
    write_file(path, "old contents\n");
    {
        LogFile log("ship.cob", path.c_str());
        ASSERT_NE(log.Get_FILE(), nullptr);
        log.write(0, "Header %s\n", "OK");
        log.write(2, "vertex %d: %.2f\r\n", 7, 1.5);
        log.write("no level %c", '!');
    }
    EXPECT_EQ(read_file(path), "Header OK\nvertex 7: 1.50\r\nno level !");

    LogFile quiet("ship.cob", nullptr);
    EXPECT_EQ(quiet.Get_FILE(), nullptr);
    quiet.write(0, "dropped %d\n", 1);
    quiet.write("dropped\n");
    LogFile unwritable("ship.cob", (folder + "/missing/import.log").c_str());
    EXPECT_EQ(unwritable.Get_FILE(), nullptr);
    unwritable.write(1, "dropped\n");
}

}  // namespace
