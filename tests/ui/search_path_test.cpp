// The text rules of the configuration dialog and the folder chooser.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "search_path.h"

namespace {

// Normalises `in` in a field of `capacity` bytes followed by guard bytes,
// which must stay untouched.
std::string normalized(const std::string& in, size_t capacity = 4096) {
    std::string buffer(capacity + 4, '#');
    std::memcpy(buffer.data(), in.c_str(), in.size() + 1);
    cob_paths::normalize_search_path(buffer.data(), capacity);
    EXPECT_EQ(buffer.substr(capacity), "####") << in;
    return buffer.c_str();
}

TEST(SearchPath, LastEntryGetsBackslashAndSemicolonWhileTheyFit) {
    EXPECT_EQ(normalized("d:\\map"), "d:\\map\\;");
    EXPECT_EQ(normalized("c:\\a;d:\\b"), "c:\\a;d:\\b\\;");  // only the last entry
    EXPECT_EQ(normalized("d:\\map;"), "d:\\map\\;");
    EXPECT_EQ(normalized("d:\\map\\"), "d:\\map\\;");  // ends in a backslash: only the ';'
    EXPECT_EQ(normalized("d:\\map\\;"), "d:\\map\\;");
    EXPECT_EQ(normalized(";"), "\\;");
    EXPECT_EQ(normalized(""), "");
    EXPECT_EQ(normalized("/home/me/tex"), "/home/me/tex\\;");
    // The dialog reads at most 4094 characters: the ';' fits, the '\' does not.
    EXPECT_EQ(normalized(std::string(4094, 'a')), std::string(4094, 'a') + ";");
    EXPECT_EQ(normalized(std::string(4093, 'a')), std::string(4093, 'a') + "\\;");
    EXPECT_EQ(normalized(std::string(4095, 'a')), std::string(4095, 'a'));
    EXPECT_EQ(normalized("abcdef", 8), "abcdef;");
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

// The content directory gets a backslash once, none when empty.
TEST(ChooserText, HomePathGetsOneBackslash) {
    char home[8] = "c:\\ts", none[4] = "";
    cob_paths::normalize_home_path(home, sizeof home);
    cob_paths::normalize_home_path(home, sizeof home);
    cob_paths::normalize_home_path(none, sizeof none);
    EXPECT_STREQ(home, "c:\\ts\\");
    EXPECT_STREQ(none, "");
}

}  // namespace
