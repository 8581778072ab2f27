// The text rules of the configuration dialog and the folder chooser.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "search_path.h"

namespace {

std::string normalized(const std::string& in, size_t capacity = 4096) {
    std::string buffer(capacity, '#');
    std::memcpy(buffer.data(), in.c_str(), in.size() + 1);
    cob_paths::normalize_search_path(buffer.data(), capacity);
    return buffer.c_str();
}

TEST(SearchPath, LastEntryGetsBackslashAndSemicolon) {
    EXPECT_EQ(normalized("d:\\map"), "d:\\map\\;");
    EXPECT_EQ(normalized("c:\\a;d:\\b"), "c:\\a;d:\\b\\;");  // only the last entry
    EXPECT_EQ(normalized("d:\\map;"), "d:\\map\\;");
    EXPECT_EQ(normalized("d:\\map\\"), "d:\\map\\;");  // ends in a backslash: only the ';'
    EXPECT_EQ(normalized("d:\\map\\;"), "d:\\map\\;");
    EXPECT_EQ(normalized(";"), "\\;");
    EXPECT_EQ(normalized("x"), "x\\;");
    EXPECT_EQ(normalized(""), "");
    EXPECT_EQ(normalized("/home/me/tex"), "/home/me/tex\\;");
}

TEST(SearchPath, NormalisingAFullFieldNeverWritesPastIt) {
    // The dialog reads at most 4094 characters: the ';' fits, the '\' does not.
    std::string longest(4094, 'a');
    std::string out = normalized(longest);
    EXPECT_EQ(out, longest + ";");
    // Room for both.
    std::string shorter(4093, 'a');
    EXPECT_EQ(normalized(shorter), shorter + "\\;");
    // No room even for the ';'.
    std::string full(4095, 'a');
    EXPECT_EQ(normalized(full), full);
    // A small field: the guard bytes after the capacity stay untouched.
    char small[8 + 4];
    std::memset(small, '#', sizeof small);
    std::memcpy(small, "abcdef", 7);
    cob_paths::normalize_search_path(small, 8);
    EXPECT_STREQ(small, "abcdef;");
    EXPECT_EQ(std::string(small + 8, 4), "####");
}

TEST(SearchPath, FoldersAreAppendedWithSemicolonWhileTheyFit) {
    char path[32] = "";
    EXPECT_TRUE(cob_paths::append_folder(path, sizeof path, "D:\\tex\\"));
    EXPECT_TRUE(cob_paths::append_folder(path, sizeof path, "E:\\img\\"));
    EXPECT_STREQ(path, "D:\\tex\\;E:\\img\\;");
    // 16 characters stand, 15 more would need 32 bytes with ';' and NUL.
    EXPECT_FALSE(cob_paths::append_folder(path, sizeof path, "F:\\0123456789\\\\"));
    EXPECT_STREQ(path, "D:\\tex\\;E:\\img\\;");
    EXPECT_TRUE(cob_paths::append_folder(path, sizeof path, "F:\\0123456789\\"));
    EXPECT_EQ(std::strlen(path), 31u);
}

TEST(ChooserText, TrailingBackslashRules) {
    char start[16] = "C:\\";
    cob_paths::strip_trailing_backslash(start);
    EXPECT_STREQ(start, "C:");
    cob_paths::strip_trailing_backslash(start);
    EXPECT_STREQ(start, "C:");
    char empty[4] = "";
    cob_paths::strip_trailing_backslash(empty);
    EXPECT_STREQ(empty, "");

    char result[8] = "D:\\";
    EXPECT_TRUE(cob_paths::ensure_trailing_backslash(result, sizeof result));
    EXPECT_STREQ(result, "D:\\");
    char maps[8] = "D:\\maps";
    EXPECT_FALSE(cob_paths::ensure_trailing_backslash(maps, sizeof maps));  // 7 characters fill it
    EXPECT_STREQ(maps, "D:\\maps");
    char roomy[9] = "D:\\maps";
    EXPECT_TRUE(cob_paths::ensure_trailing_backslash(roomy, sizeof roomy));
    EXPECT_STREQ(roomy, "D:\\maps\\");
}

TEST(ChooserText, HomePathAndCopies) {
    char home[8] = "c:\\ts";
    cob_paths::normalize_home_path(home, sizeof home);
    EXPECT_STREQ(home, "c:\\ts\\");
    cob_paths::normalize_home_path(home, sizeof home);
    EXPECT_STREQ(home, "c:\\ts\\");
    char none[4] = "";
    cob_paths::normalize_home_path(none, sizeof none);
    EXPECT_STREQ(none, "");

    char field[6];
    cob_paths::copy_text(field, sizeof field, "abcdefgh");
    EXPECT_STREQ(field, "abcde");
    cob_paths::copy_text(field, sizeof field, nullptr);
    EXPECT_STREQ(field, "");
}

}  // namespace
