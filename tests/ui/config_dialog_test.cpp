// The configuration dialog driven through the headless front end, as a user
// would drive it: focus, typing, Tab, clicks, Esc and Enter.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cob_config_dialog.h"
#include "resource.h"
#include "ui_test_util.h"

namespace {

class ConfigDialog : public UiTest {
protected:
    CobConfigDialog dialog{nullptr};

    void fill(const char* log, int verbose, const char* home, const char* search) {
        std::strcpy(dialog.log_file_name, log);
        dialog.verbose = verbose;
        std::strcpy(dialog.home_path, home);
        std::strcpy(dialog.image_search_path, search);
    }
    int check_of(HWND d) { return vxp::inspect(vxp::dialog_item(d, IDC_VERBOSE)).check; }
};

TEST_F(ConfigDialog, FieldsAreShownAndVerboseFollowsTheBox) {
    fill("scnin.log", 1, "c:\\Truespace\\", "d:\\map\\;");
    vxp::script_call([this](HWND d) {
        EXPECT_EQ(text_of(d, IDC_LOG_FILE_NAME), "scnin.log");
        EXPECT_EQ(check_of(d), 1);
        EXPECT_EQ(text_of(d, IDC_HOME_PATH), "c:\\Truespace\\");
        EXPECT_EQ(text_of(d, IDC_IMAGE_SEARCH_PATH), "d:\\map\\;");
    });
    // A click is stored at once, not on OK; Space on the focused box toggles it again.
    for (int verbose : {0, 1, 0}) {
        if (verbose == 1) vxp::script_type(" ");
        else vxp::script_click(IDC_VERBOSE);
        vxp::script_call([this, verbose](HWND d) {
            EXPECT_EQ(dialog.verbose, verbose);
            EXPECT_EQ(check_of(d), verbose);
        });
    }
    vxp::script_click(IDOK);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_STREQ(dialog.log_file_name, "scnin.log");
    EXPECT_EQ(dialog.verbose, 0);
    EXPECT_STREQ(dialog.home_path, "c:\\Truespace\\");
    EXPECT_STREQ(dialog.image_search_path, "d:\\map\\;");
}

TEST_F(ConfigDialog, LeavingTheSearchPathOrEnterInItNormalisesIt) {
    fill("scnin.log", 0, "", "");
    vxp::script_focus(IDC_IMAGE_SEARCH_PATH);
    vxp::script_type("d:\\map");
    vxp::script_key(VK_TAB);
    vxp::script_call([this](HWND d) {
        EXPECT_EQ(text_of(d, IDC_IMAGE_SEARCH_PATH), "d:\\map\\;");
        EXPECT_STREQ(dialog.image_search_path, "d:\\map\\;");
        EXPECT_EQ(vxp::inspect(GetFocus()).id, IDC_ADD_IMAGE_SEARCH_PATH);
    });
    // Enter ends the dialog without moving the focus; the edit loses it when
    // the dialog goes away, while its handlers still run.
    vxp::script_focus(IDC_IMAGE_SEARCH_PATH);
    vxp::script_type("e:\\tex");
    vxp::script_key(VK_RETURN);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_STREQ(dialog.image_search_path, "d:\\map\\;e:\\tex\\;");
}

TEST_F(ConfigDialog, AddButtonAppendsChosenFoldersToThePathAsStored) {
    // The loaded path is appended to as loaded: it is completed only when the field is left.
    fill("", 0, "", "c:\\a");
    vxp::script_click(IDC_ADD_IMAGE_SEARCH_PATH);
    vxp::script_browse_choose("D:\\tex");
    vxp::script_call([](HWND d) {
        vxp::BrowserInfo b = vxp::browser_info();
        EXPECT_EQ(b.title, "Add image search directory");
        EXPECT_EQ(text_of(d, IDC_IMAGE_SEARCH_PATH), "c:\\aD:\\tex\\;");
    });
    vxp::script_click(IDC_ADD_IMAGE_SEARCH_PATH);
    vxp::script_browse_choose("E:\\img");
    vxp::script_click(IDC_ADD_IMAGE_SEARCH_PATH);
    vxp::script_browse_cancel();  // adds nothing
    vxp::script_click(IDOK);
    int runs = vxp::browser_info().runs;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_STREQ(dialog.image_search_path, "c:\\aD:\\tex\\;E:\\img\\;");
    EXPECT_EQ(vxp::browser_info().runs, runs + 3);
}

TEST_F(ConfigDialog, FieldsAreReadBackWithinTheirLengths) {
    std::string home(259, 'h');  // the hidden content directory passes through
    fill("", 0, home.c_str(), "");
    vxp::script_key(VK_TAB);
    vxp::script_key(VK_TAB);  // OK, Cancel, then the log file name
    vxp::script_type(std::string(300, 'n'));
    vxp::script_focus(IDC_IMAGE_SEARCH_PATH);
    vxp::script_type(std::string(5000, 's'));
    vxp::script_key(VK_TAB);
    vxp::script_click(IDOK);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(std::string(dialog.log_file_name), std::string(258, 'n'));
    // 4094 characters read, the ';' fits, the backslash would not.
    EXPECT_EQ(std::string(dialog.image_search_path), std::string(4094, 's') + ";");
    EXPECT_EQ(std::string(dialog.home_path), home);
}

TEST_F(ConfigDialog, EscCancelButtonCloseBoxAndNoInputAllCancel) {
    for (int way = 0; way < 4; ++way) {
        CobConfigDialog d(nullptr);
        if (way < 3) {
            vxp::script_focus(IDC_IMAGE_SEARCH_PATH);
            vxp::script_type("q");
        }
        if (way == 0) vxp::script_key(VK_ESCAPE);
        if (way == 1) vxp::script_click(IDCANCEL);
        if (way == 2) vxp::script_close();
        // way 3: an empty script is a user who never answers: Esc, so no hang.
        EXPECT_EQ(d.DoModal(), IDCANCEL) << "way " << way;
    }
}

TEST_F(ConfigDialog, OwnerIsDisabledWhileItRunsAndHelpIsModalOverIt) {
    HWND config = nullptr;
    vxp::script_call([&](HWND d) {
        config = d;
        EXPECT_FALSE(IsWindowEnabled(main_window));
    });
    vxp::script_click(IDC_HELP_BUTTON);
    vxp::script_call([&](HWND help) {
        EXPECT_EQ(vxp::inspect(help).text, "COB Help");
        EXPECT_FALSE(IsWindowEnabled(config));
        SetFocus(vxp::dialog_item(help, IDC_HELP_TEXT));
    });
    vxp::script_type("zzz");  // read-only: typing changes nothing
    vxp::script_call([](HWND help) { EXPECT_EQ(text_of(help, IDC_HELP_TEXT).find("zzz"), std::string::npos); });
    vxp::script_key(VK_RETURN);  // OK of the help window
    vxp::script_call([&](HWND d) {
        EXPECT_EQ(d, config);
        EXPECT_TRUE(IsWindowEnabled(config));
    });
    vxp::script_key(VK_ESCAPE);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(IsWindowEnabled(main_window));
}

// The hidden content directory controls of the configuration dialog stay out
// of reach of Tab, clicks and typing.
TEST_F(ConfigDialog, HiddenContentDirectoryIsOutOfReach) {
    std::strcpy(dialog.home_path, "c:\\Truespace");
    std::vector<int> order;
    auto note_focus = [&](HWND) { order.push_back(vxp::inspect(GetFocus()).id); };
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

}  // namespace
