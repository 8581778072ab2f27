// Dialogs are built from the compiled templates of scn_in.rc: ids, classes,
// texts, positions and styles reach the windows as the script states them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cob_config_dialog.h"
#include "cob_help_dialog.h"
#include "cob_progress_dialog.h"
#include "folder_chooser.h"
#include "progress_callbacks.h"
#include "resource.h"
#include "ui_test_util.h"

namespace {

struct Expected {
    int id;
    const char* cls;
    const char* text;
    int x, y, w, h;
    bool visible, enabled, tabstop;
    DWORD type;  // BS_* or ES_*/SS_* bits that must be set
};

// Compares the dialog's controls, in order, with `expected`.
void expect_controls(HWND dialog, const std::vector<Expected>& expected) {
    auto describe = [](int id, const std::string& cls, const std::string& text, int x, int y, int w, int h, bool v,
                       bool e, bool t) {
        return std::to_string(id) + " " + cls + " \"" + text + "\" " + std::to_string(x) + "," + std::to_string(y) +
               " " + std::to_string(w) + "x" + std::to_string(h) + (v ? " visible" : "") + (e ? " enabled" : "") +
               (t ? " tabstop" : "");
    };
    std::vector<HWND> kids = vxp::children(dialog);
    ASSERT_EQ(kids.size(), expected.size());
    for (size_t i = 0; i < kids.size(); ++i) {
        vxp::WindowInfo c = vxp::inspect(kids[i]);
        const Expected& e = expected[i];
        EXPECT_EQ(describe(c.id, c.class_name, c.text, c.x, c.y, c.w, c.h, c.visible, c.enabled,
                           (c.style & WS_TABSTOP) != 0),
                  describe(e.id, e.cls, e.text, e.x, e.y, e.w, e.h, e.visible, e.enabled, e.tabstop));
        EXPECT_EQ(c.style & (e.type | WS_CHILD), e.type | WS_CHILD) << "control " << i;
    }
}

// String 1 as the help window shows it: every line feed after a carriage return.
const char* const kHelpTextCrLf =
    "Truespace Cob Import Plugin 1.0\r\n\r\nImports *.scn, *.cob Treuspace\r\n\r\nCommon Settings:\r\n\r\n"
    "\tVerbose: enable detailed logging\r\n\tLog File name: enter new log file name\r\n\r\n"
    "\tImage Search Path: edit used search pathes\t\t\t(...) Button: add search path\r\n\r\n"
    "Specific Settings:\r\n\r\nimage_search_path: e.g. d:\\map\\;c:\\map\\;\r\n\r\nComment:\r\n"
    "\tOnly Polygons are supported";

class Templates : public UiTest {};

TEST_F(Templates, ConfigurationDialog) {
    CobConfigDialog dialog(nullptr);
    bool checked = false;
    vxp::script_call([&](HWND d) {
        vxp::WindowInfo info = vxp::inspect(d);
        EXPECT_EQ(info.text, "COB Configuration");
        EXPECT_EQ(info.w, 297);
        EXPECT_EQ(info.h, 111);
        EXPECT_EQ(info.style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
                  WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
        expect_controls(d, {
            {1, "Button", "&OK", 240, 95, 50, 14, true, true, true, BS_DEFPUSHBUTTON},
            {2, "Button", "&Cancel", 5, 95, 50, 14, true, true, true, BS_PUSHBUTTON},
            {65535, "Button", "Common", 5, 5, 140, 85, true, true, false, BS_GROUPBOX},
            {1024, "Edit", "", 15, 40, 110, 12, true, true, true, WS_BORDER | ES_AUTOHSCROLL},
            {65535, "Button", "Log File Name", 10, 30, 120, 25, true, true, false, BS_GROUPBOX},
            {1025, "Button", "Verbose", 10, 15, 42, 15, true, true, true, BS_AUTOCHECKBOX},
            {65535, "Button", "Specific", 149, 7, 143, 58, true, true, false, BS_GROUPBOX},
            {3, "Button", "&Help", 125, 95, 50, 14, true, true, true, BS_PUSHBUTTON},
            {1027, "Edit", "", 159, 29, 99, 12, false, false, true, WS_BORDER | ES_AUTOHSCROLL},
            {65535, "Button", "Content Directory", 153, 19, 130, 25, false, false, false, BS_GROUPBOX},
            {1037, "Button", "...", 263, 31, 15, 10, false, false, true, BS_PUSHBUTTON},
            {1028, "Edit", "", 16, 70, 99, 12, true, true, true, WS_BORDER | ES_AUTOHSCROLL},
            {65535, "Button", "Image Search Path", 10, 60, 130, 25, true, true, false, BS_GROUPBOX},
            {1038, "Button", "...", 120, 73, 15, 10, true, true, true, BS_PUSHBUTTON},
        });
        // OnInitDialog returned TRUE: the first tab stop, OK, has the focus.
        EXPECT_EQ(GetFocus(), vxp::dialog_item(d, IDOK));
        checked = true;
    });
    vxp::script_key(VK_ESCAPE);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(checked);
}

TEST_F(Templates, HiddenContentDirectoryControlsStayOutOfReach) {
    CobConfigDialog dialog(nullptr);
    std::strcpy(dialog.home_path, "c:\\Truespace");
    std::vector<int> order;
    auto note_focus = [&](HWND) { order.push_back(vxp::inspect(GetFocus()).id); };
    vxp::script_call(note_focus);
    for (int i = 0; i < 7; ++i) {
        vxp::script_key(VK_TAB);
        vxp::script_call(note_focus);
    }
    vxp::script_key(VK_TAB, true);
    vxp::script_call(note_focus);
    // Clicks on the hidden controls and focus moved there do nothing.
    vxp::script_click(IDC_SET_HOME_PATH);
    vxp::script_focus(IDC_HOME_PATH);
    vxp::script_type("x");
    vxp::script_call([&](HWND d) {
        EXPECT_EQ(text_of(d, IDC_HOME_PATH), "c:\\Truespace");
        EXPECT_FALSE(vxp::inspect(vxp::dialog_item(d, IDC_HOME_PATH)).visible);
        EXPECT_FALSE(vxp::inspect(vxp::dialog_item(d, IDC_SET_HOME_PATH)).enabled);
    });
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
        expect_controls(d, {
            {1, "Button", "OK", 100, 155, 50, 14, true, true, true, BS_DEFPUSHBUTTON},
            {1001, "Edit", kHelpTextCrLf, 10, 15, 225, 130, true, true, true,
             ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_VSCROLL | WS_BORDER},
        });
    });
    vxp::script_key(VK_ESCAPE);
    dialog.DoModal();
}

TEST_F(Templates, ProgressWindow) {
    auto* window = new CobProgressDialog(nullptr);
    window->file_name = "box.cob";
    ASSERT_TRUE(window->Create(nullptr));
    HWND d = window->m_hWnd;
    vxp::WindowInfo info = vxp::inspect(d);
    EXPECT_EQ(info.text, "COB Import box.cob");
    EXPECT_EQ(info.w, 207);
    EXPECT_EQ(info.h, 155);
    EXPECT_TRUE(info.visible);
    const DWORD bar = 0, left = SS_LEFT, framed = SS_CENTER | SS_SUNKEN | WS_BORDER;
    expect_controls(d, {
        {2, "Button", "Cancel", 0, 0, 50, 14, false, true, true, BS_DEFPUSHBUTTON},
        {1003, "msctls_progress32", "Progress1", 15, 15, 175, 13, true, true, false, WS_BORDER | bar},
        {1004, "Static", " 0 %", 115, 5, 20, 8, true, true, false, left},
        {1005, "Static", "Status", 15, 30, 175, 15, true, true, false, framed},
        {1006, "msctls_progress32", "Progress1", 15, 65, 175, 13, true, true, false, WS_BORDER},
        {1007, "Static", " 0 %", 115, 55, 20, 8, true, true, false, left},
        {65535, "Static", "File Progress:", 70, 5, 45, 8, true, true, false, left},
        {65535, "Static", "Mesh Progress:", 65, 55, 50, 8, true, true, false, left},
        {1008, "Static", "Status", 15, 80, 175, 15, true, true, false, framed},
        {1009, "msctls_progress32", "Progress1", 15, 115, 175, 13, true, true, false, WS_BORDER},
        {1010, "Static", " 0 %", 115, 106, 20, 8, true, true, false, left},
        {65535, "Static", "Mesh Progress:", 65, 106, 50, 8, true, true, false, left},
        {1011, "Static", "Status", 15, 130, 175, 15, true, true, false, framed},
    });
    for (int id : {IDC_PROGRESS1, IDC_PROGRESS2, IDC_PROGRESS3}) {
        vxp::WindowInfo b = vxp::inspect(vxp::dialog_item(d, id));
        EXPECT_EQ(std::vector<int>({b.lower, b.upper, b.step, b.position}), std::vector<int>({0, 100, 10, 0}));
    }
    window->DestroyWindow();
    delete window;
}

}  // namespace
