// Dialogs are built from the compiled templates of scn_in.rc: titles, sizes,
// texts and the states of their controls reach the windows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cob_config_dialog.h"
#include "cob_help_dialog.h"
#include "folder_chooser.h"
#include "resource.h"
#include "ui_test_util.h"

namespace {

// String 1 as the help window shows it: every line feed after a carriage return.
const char* const kHelpTextCrLf =
    "Truespace Cob Import Plugin 1.0\r\n\r\nImports *.scn, *.cob Treuspace\r\n\r\nCommon Settings:\r\n\r\n"
    "\tVerbose: enable detailed logging\r\n\tLog File name: enter new log file name\r\n\r\n"
    "\tImage Search Path: edit used search pathes\t\t\t(...) Button: add search path\r\n\r\n"
    "Specific Settings:\r\n\r\nimage_search_path: e.g. d:\\map\\;c:\\map\\;\r\n\r\nComment:\r\n"
    "\tOnly Polygons are supported";

class Templates : public UiTest {};

// The hidden content directory controls of the configuration dialog stay out
// of reach of Tab, clicks and typing.
TEST_F(Templates, ConfigurationDialog) {
    CobConfigDialog dialog(nullptr);
    std::strcpy(dialog.home_path, "c:\\Truespace");
    std::vector<int> order;
    auto note_focus = [&](HWND) { order.push_back(vxp::inspect(GetFocus()).id); };
    vxp::script_call([&](HWND d) {
        vxp::WindowInfo info = vxp::inspect(d);
        EXPECT_EQ(info.text, "COB Configuration");
        EXPECT_EQ(info.w, 297);
        EXPECT_EQ(info.h, 111);
        EXPECT_EQ(info.style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
                  WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
        EXPECT_EQ(vxp::children(d).size(), 14u);
    });
    vxp::script_call(note_focus);  // OnInitDialog returned TRUE: the first tab stop, OK, has the focus
    for (bool back : {false, false, false, false, false, false, false, true}) {
        vxp::script_key(VK_TAB, back);
        vxp::script_call(note_focus);
    }
    vxp::script_click(IDC_SET_HOME_PATH);
    vxp::script_focus(IDC_HOME_PATH);
    vxp::script_type("x");
    vxp::script_call([](HWND d) { EXPECT_EQ(text_of(d, IDC_HOME_PATH), "c:\\Truespace"); });
    vxp::script_key(VK_ESCAPE);
    int runs = vxp::browser_info().runs;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(order, std::vector<int>({1, 2, 1024, 1025, 3, 1028, 1038, 1, 1038}));
    EXPECT_EQ(vxp::browser_info().runs, runs);
    EXPECT_STREQ(dialog.home_path, "c:\\Truespace");
}

TEST_F(Templates, HelpWindow) {
    CobHelpDialog dialog(nullptr);
    vxp::script_call([&](HWND d) {
        vxp::WindowInfo info = vxp::inspect(d);
        EXPECT_EQ(info.text, "COB Help");
        EXPECT_EQ(info.w, 242);
        EXPECT_EQ(info.h, 180);
        EXPECT_NE(info.style & DS_3DLOOK, 0u);
        vxp::WindowInfo text = vxp::inspect(vxp::dialog_item(d, IDC_HELP_TEXT));
        EXPECT_EQ(text.text, kHelpTextCrLf);
        EXPECT_EQ(text.style & (ES_MULTILINE | ES_READONLY), DWORD{ES_MULTILINE | ES_READONLY});
        EXPECT_EQ(text.limit, 2048u);
    });
    vxp::script_key(VK_ESCAPE);
    dialog.DoModal();
}

}  // namespace
