// The folder chooser over the shell browser of the headless front end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "folder_chooser.h"
#include "ui_test_util.h"

namespace {

class FolderChooser : public UiTest {};

TEST_F(FolderChooser, StartFolderLosesItsBackslashAndResultGainsOne) {
    char start[MAX_PATH] = "C:\\";
    vxp::script_browse_choose("D:\\");
    const char* chosen = browse_for_folder(start, "Pick");
    ASSERT_NE(chosen, nullptr);
    EXPECT_STREQ(chosen, "D:\\");  // the root keeps its one backslash
    EXPECT_STREQ(start, "C:");     // the caller's buffer was shortened
    EXPECT_EQ(vxp::browser_info().selection, "C:");
    EXPECT_EQ(vxp::browser_info().title, "Pick");
    vxp::script_browse_choose("D:\\maps");
    chosen = browse_for_folder(start, "Pick");
    EXPECT_STREQ(chosen, "D:\\maps\\");
    EXPECT_EQ(chosen, chooser_result);
    // A POSIX folder comes back with the backslash that ends every result.
    vxp::script_browse_choose("/srv/textures");
    EXPECT_STREQ(browse_for_folder(start, "x"), "/srv/textures\\");
}

TEST_F(FolderChooser, MissingOrEmptyTitleShowsTheDefault) {
    for (const char* title : {static_cast<const char*>(nullptr), ""}) {
        char start[MAX_PATH] = "";
        vxp::script_browse_cancel();
        browse_for_folder(start, title);
        EXPECT_EQ(vxp::browser_info().title, "Choose a Directory");
        EXPECT_STREQ(start, "");
        EXPECT_EQ(vxp::browser_info().selection, "");
    }
}

TEST_F(FolderChooser, CancelKeepsTheStartFolderAndTheStatusLineFollowsSelections) {
    char start[MAX_PATH] = "E:\\old\\";
    vxp::script_browse_select("/srv/textures");
    vxp::script_browse_select("");  // an item without a file-system path
    vxp::script_browse_cancel();
    EXPECT_EQ(browse_for_folder(start, "x"), nullptr);
    EXPECT_EQ(vxp::browser_info().status_text, "/srv/textures");
    EXPECT_STREQ(chooser_result, "E:\\old");
}

TEST_F(FolderChooser, WithoutShellAllocatorNothingIsShownOrChosen) {
    char start[MAX_PATH] = "C:\\";
    std::strcpy(chooser_result, "Z:\\before");
    int runs = vxp::browser_info().runs;
    vxp::set_shell_allocator_available(false);
    EXPECT_EQ(browse_for_folder(start, "x"), nullptr);
    EXPECT_EQ(vxp::browser_info().runs, runs);
    EXPECT_STREQ(chooser_result, "Z:\\before");
    EXPECT_STREQ(start, "C:\\");
}

TEST_F(FolderChooser, PathsThatLeaveNoRoomForTheBackslashYieldNothing) {
    char start[MAX_PATH] = "C:\\";
    vxp::script_browse_choose(std::string(259, 'd'));  // fits 260 bytes, its '\' would not
    EXPECT_EQ(browse_for_folder(start, "x"), nullptr);
    vxp::script_browse_choose(std::string(300, 'd'));  // no path of the shell is that long
    EXPECT_EQ(browse_for_folder(start, "x"), nullptr);
    vxp::script_browse_choose(std::string(258, 'd'));
    const char* chosen = browse_for_folder(start, "x");
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(std::strlen(chosen), 259u);
}

TEST(ToCrLf, EveryLineFeedGetsACarriageReturn) {
    EXPECT_STREQ(to_crlf("a\nb\n\n"), "a\r\nb\r\n\r\n");
    EXPECT_STREQ(to_crlf("\r\n\tx"), "\r\r\n\tx");
    EXPECT_STREQ(to_crlf(""), "");
}

}  // namespace
