// The folder chooser over the shell browser of the headless front end, and
// the search path rules of the configuration dialog.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "folder_chooser.h"
#include "search_path.h"
#include "ui_test_util.h"

namespace {

class FolderChooser : public UiTest {};

// The start folder loses its backslash (in the caller's buffer too); the
// result gains one, if it fits in MAX_PATH bytes.
TEST_F(FolderChooser, StartFolderLosesItsBackslashAndResultGainsOne) {
    const struct { std::string chosen; std::optional<std::string> result; } cases[] = {
        {"D:\\", "D:\\"},  // the root keeps its one backslash
        {"D:\\maps", "D:\\maps\\"},
        {"/srv/textures", "/srv/textures\\"},
        {std::string(258, 'd'), std::string(258, 'd') + "\\"},
        {std::string(259, 'd'), std::nullopt},  // fits 260 bytes, its '\' would not
        {std::string(300, 'd'), std::nullopt},  // no path of the shell is that long
    };
    for (const auto& c : cases) {
        char start[MAX_PATH] = "C:\\";
        vxp::script_browse_choose(c.chosen);
        const char* chosen = browse_for_folder(start, "Pick");
        EXPECT_STREQ(start, "C:");
        EXPECT_EQ(vxp::browser_info().selection, "C:");
        EXPECT_EQ(vxp::browser_info().title, "Pick");
        if (!c.result) {
            EXPECT_EQ(chosen, nullptr) << c.chosen.size();
            continue;
        }
        ASSERT_NE(chosen, nullptr);
        EXPECT_EQ(std::string(chosen), *c.result);
        EXPECT_EQ(chosen, chooser_result);
    }
}

TEST_F(FolderChooser, CancelMissingTitleAndNoShellAllocatorChooseNothing) {
    for (const char* title : {static_cast<const char*>(nullptr), ""}) {
        char start[MAX_PATH] = "E:\\old\\";
        vxp::script_browse_select("/srv/textures");
        vxp::script_browse_select("");  // an item without a file-system path
        vxp::script_browse_cancel();
        EXPECT_EQ(browse_for_folder(start, title), nullptr);
        EXPECT_EQ(vxp::browser_info().title, "Choose a Directory");
        EXPECT_EQ(vxp::browser_info().status_text, "/srv/textures");
        EXPECT_STREQ(chooser_result, "E:\\old");
    }
    char start[MAX_PATH] = "C:\\";
    std::strcpy(chooser_result, "Z:\\before");
    int runs = vxp::browser_info().runs;
    vxp::set_shell_allocator_available(false);
    EXPECT_EQ(browse_for_folder(start, "x"), nullptr);
    EXPECT_EQ(vxp::browser_info().runs, runs);
    EXPECT_STREQ(chooser_result, "Z:\\before");
    EXPECT_STREQ(start, "C:\\");
}

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

}  // namespace
