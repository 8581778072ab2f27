// The configuration dialog driven through the headless front end, as a user
// would drive it (focus, typing, Tab, clicks, Esc and Enter); its folder
// chooser over the shell browser, and its search path rules.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "cob_config_dialog.h"
#include "folder_chooser.h"
#include "help_text.h"
#include "resource.h"
#include "search_path.h"
#include "ui_test_util.h"

namespace {

using ConfigDialog = UiTest;

struct Fields {
    std::string log;
    int verbose;
    std::string home, search;
    auto tied() const { return std::tie(log, verbose, home, search); }
};

constexpr int kLog = IDC_LOG_FILE_NAME, kVerbose = IDC_VERBOSE, kHome = IDC_HOME_PATH, kPath = IDC_IMAGE_SEARCH_PATH,
              kAdd = IDC_ADD_IMAGE_SEARCH_PATH;

// Each row: the fields the dialog starts with, the script, how it ends and
// the fields it ends with (when cancelled: those it started with).
TEST_F(ConfigDialog, ScriptsEndWithTheseFields) {
    using enum Step::Kind;
    const std::string n300(300, 'n'), s5000(5000, 's'), h259(259, 'h');
    const struct {
        Fields start;
        std::vector<Step> steps;
        int result;
        Fields end = {};
    } rows[] = {
        // The fields shown; a click toggles the box, and Space on it once focused.
        {{"scnin.log", 1, "c:\\Truespace\\", "d:\\map\\;"},
         {{text_is, kLog, "scnin.log"}, {check_is, kVerbose, "1"}, {text_is, kHome, "c:\\Truespace\\"},
          {text_is, kPath, "d:\\map\\;"}, {click, kVerbose}, {check_is, kVerbose, "0"}, {type, 0, " "},
          {check_is, kVerbose, "1"}, {click, kVerbose}, {click, IDOK}},
         IDOK, {"scnin.log", 0, "c:\\Truespace\\", "d:\\map\\;"}},
        // Leaving the search path normalises it; so does Enter in it, as the
        // edit loses the focus when the dialog goes away.
        {{"scnin.log", 0, "", ""},
         {{focus, kPath}, {type, 0, "d:\\map"}, {key, VK_TAB}, {text_is, kPath, "d:\\map\\;"}, {focus_is, kAdd},
          {focus, kPath}, {type, 0, "e:\\tex"}, {key, VK_RETURN}},
         IDOK, {"scnin.log", 0, "", "d:\\map\\;e:\\tex\\;"}},
        // Folders chosen are appended to the path as loaded (it is completed
        // only when the field is left); a cancelled browser adds nothing.
        {{"", 0, "", "c:\\a"},
         {{click, kAdd}, {browse, 0, "D:\\tex"}, {text_is, kPath, "c:\\aD:\\tex\\;"}, {click, kAdd},
          {browse, 0, "E:\\img"}, {click, kAdd}, {browse_cancel}, {click, IDOK}},
         IDOK, {"", 0, "", "c:\\aD:\\tex\\;E:\\img\\;"}},
        // Fields read back within their lengths: of the search path 4094
        // characters are read, the ';' fits, the backslash would not. The
        // hidden content directory passes through.
        {{"", 0, h259, ""},
         {{key, VK_TAB}, {key, VK_TAB}, {type, 0, n300}, {focus, kPath}, {type, 0, s5000}, {key, VK_TAB},
          {click, IDOK}},
         IDOK, {std::string(258, 'n'), 0, h259, std::string(4094, 's') + ";"}},
        // Esc, Cancel, the close box, and a user who never answers (an
        // empty script: Esc, so no hang) all cancel.
        {{"a.log", 1, "", ""}, {{key, VK_ESCAPE}}, IDCANCEL},
        {{"a.log", 1, "", ""}, {{click, IDCANCEL}}, IDCANCEL},
        {{"a.log", 1, "", ""}, {{close}}, IDCANCEL},
        {{"a.log", 1, "", ""}, {}, IDCANCEL},
        // The hidden content directory is out of reach of Tab, clicks (no
        // folder browser: its step would be left over) and typing; OK has
        // the focus first.
        // Help is modal over the dialog, its text read-only; its OK leads back
        // to the Help button.
        {{"", 0, "", ""},
         {{click, IDC_HELP_BUTTON}, {text_is, 0, "COB Help"}, {focus, IDC_HELP_TEXT}, {type, 0, "zzz"},
          {text_is, IDC_HELP_TEXT, kHelpText}, {key, VK_RETURN}, {focus_is, IDC_HELP_BUTTON}, {key, VK_ESCAPE}},
         IDCANCEL},
        {{"", 0, "c:\\Truespace", ""},
         {{focus_is, IDOK}, {key, VK_TAB}, {focus_is, IDCANCEL}, {key, VK_TAB}, {focus_is, kLog}, {key, VK_TAB},
          {focus_is, kVerbose}, {key, VK_TAB}, {focus_is, IDC_HELP_BUTTON}, {key, VK_TAB}, {focus_is, kPath},
          {key, VK_TAB}, {focus_is, kAdd}, {key, VK_TAB}, {focus_is, IDOK}, {back_key, VK_TAB}, {focus_is, kAdd},
          {click, IDC_SET_HOME_PATH}, {focus, kHome}, {type, 0, "x"}, {text_is, kHome, "c:\\Truespace"},
          {key, VK_ESCAPE}},
         IDCANCEL},
    };
    for (const auto& row : rows) {
        CobConfigDialog dialog(nullptr);
        std::strcpy(dialog.log_file_name, row.start.log.c_str());
        dialog.verbose = row.start.verbose;
        std::strcpy(dialog.home_path, row.start.home.c_str());
        std::strcpy(dialog.image_search_path, row.start.search.c_str());
        play(row.steps);
        EXPECT_EQ(dialog.DoModal(), row.result) << row.start.search;
        const Fields end{dialog.log_file_name, dialog.verbose, dialog.home_path, dialog.image_search_path};
        EXPECT_EQ(end.tied(), (row.result == IDOK ? row.end : row.start).tied()) << row.start.search;
        ASSERT_EQ(vxp::script_remaining(), 0u);
    }
}

using FolderChooser = UiTest;

// The start folder loses its backslash (in the caller's buffer too); the
// result gains one, if it fits in MAX_PATH bytes.
TEST_F(FolderChooser, StartFolderLosesItsBackslashAndResultGainsOne) {
    const struct { std::string chosen; std::optional<std::string> result; } cases[] = {
        {"D:\\", "D:\\"},  // the root keeps its one backslash
        {"D:\\maps", "D:\\maps\\"},
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
    // (4094 characters, as the dialog reads them: see the dialog's rows.)
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
