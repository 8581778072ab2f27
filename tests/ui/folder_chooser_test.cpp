// The folder chooser over the shell browser of the headless front end.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "folder_chooser.h"
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

TEST(ToCrLf, EveryLineFeedGetsACarriageReturn) {
    EXPECT_STREQ(to_crlf("a\nb\n\n"), "a\r\nb\r\n\r\n");
    EXPECT_STREQ(to_crlf("\r\n\tx"), "\r\r\n\tx");
    EXPECT_STREQ(to_crlf(""), "");
}

}  // namespace
