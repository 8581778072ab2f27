// The terminal front end as a person uses it: vertexa's dialogs and ui_demo's
// progress window in tmux panes (keys in, pane text and profile out).
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "../host/host_test_util.h"
#include "cob_writer.h"
#include "tmux_session.h"

namespace {

using host_test::read_file;
using host_test::write_file;

const std::string kProfile = "[Common Settings]\nverbose=0\nlog_file_name=scnin.log\n"
                             "[Specific Settings]\nimage_search_path=\n";

// A folder with a profile, two scenes (one in sub/, its extension upper
// case), a folder more/ and a file that is no scene.
std::string make_folder() {
    const std::string folder = host_test::scratch_folder();
    std::filesystem::create_directories(folder + "/sub");
    std::filesystem::create_directories(folder + "/more");
    cobtest::Polygon box;
    box.axes.name = "Box";
    box.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    box.faces = {{.material = 0, .corners = {{0, 0}, {1, 0}, {2, 0}}}};
    for (const char* name : {"/still.scn", "/sub/box.COB"}) {
        cobtest::CobFile file(cobtest::Encoding::Binary);
        file.polygon(1, 0, box).end();
        file.write(folder + name);
    }
    write_file(folder + "/readme.txt", "not a scene\n");
    write_file(folder + "/profile.ini", kProfile);
    return folder;
}

std::string vertexa(const std::string& folder, const std::string& args) {
    return "cd " + folder + " && VERTEXA_PROFILE=" + folder + "/profile.ini " + VERTEXA_BIN_DIR + "/vertexa " + args +
           "; echo status=$?";
}

std::string profile_value(const std::string& profile, const std::string& key) {
    size_t at = profile.find("\n" + key + "=");
    if (at == std::string::npos) return "(none)";
    at += key.size() + 2;
    return profile.substr(at, profile.find('\n', at) - at);
}

// Each row: a command at a terminal size, keys sent in turn (tmux send-keys
// words; -l types literally), texts the pane then shows and one it must not
// show, and what the profile holds for `key` at the end ("@" stands for the
// test's folder).
TEST(TerminalDialogs, KeysDriveTheDialogsAsInWindows) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    const std::string folder = make_folder();
    const std::string chosen = "file: " + folder + "/sub/box.COB", tab5 = "Tab Tab Tab Tab Tab";
    const std::string long_text = "-l HEADX" + std::string(50, 'm') + "TAILX";
    const struct {
        std::string args;
        int columns, rows;
        std::vector<std::string> keys, shown;
        std::string not_shown, key, expected;
    } rows[] = {
        // OK has the focus; Tab order: Cancel, log file name, Verbose, Help, search path, "...".
        {"configure", 80, 24, {"Tab Tab", "-l new.log", "Enter"}, {"status=0"}, "COB", "log_file_name", "new.log"},
        {"configure", 80, 24, {"Tab Tab End Left Left Left Left", "-l X", "DC Home DC Enter"}, {"status=0"}, "COB",
         "log_file_name", "cninXlog"},  // tabbing in selects all
        {"configure", 80, 24, {"Tab Tab End F5 IC PPage NPage", "-l X", "Enter"}, {"status=0"}, "COB", "log_file_name",
         "scnin.logX"},
        {"configure", 80, 24, {"Tab Tab End Down Up", "-l Z", "Enter"}, {"status=0"}, "COB", "log_file_name",
         "scnin.logZ"},  // arrows stay in an edit
        {"configure", 80, 24, {"Tab Tab Tab Space Enter"}, {"status=0"}, "COB", "verbose", "1"},
        {"configure", 80, 24, {"Tab Tab", "-l x", "Escape"}, {"status=0"}, "COB", "log_file_name", "scnin.log"},
        {"configure", 80, 24, {tab5, "-l d:\\\\map", "Enter"}, {"status=0"}, "COB", "image_search_path", "d:\\map\\;"},
        // A profile that cannot be written (a folder) fails with a word.
        {"configure", 240, 24, {"Tab Tab", "-l new.log", "Enter"}, {"vertexa: cannot store the settings in the profile " +
         folder + "/profile.ini: Is a directory", "status=1"}, "COB", "(a folder)", ""},
        // Help and back: the focus is on Help again, so Tab reaches the search path.
        {"configure", 80, 24, {"Tab Tab Tab Tab Enter", "Enter", "Tab", "-l zz", "Enter"}, {"status=0"}, "COB",
         "image_search_path", "zz\\;"},
        // The folder chooser of "...": into sub/, then OK; then Tab to OK.
        {"configure", 80, 24, {tab5 + " Tab Space", "Down Down Enter", "Tab Tab Enter", "Tab Enter"}, {"status=0"},
         "COB", "image_search_path", "@/sub\\;"},
        // A text longer than its field scrolls within it; 80x15 holds the
        // whole configuration dialog.
        {"configure", 80, 24, {tab5, long_text}, {"mmmmTAILX"}, "HEADX", "", ""},
        {"configure", 80, 24, {tab5, long_text, "Home"}, {"HEADXmmmm"}, "TAILX", "", ""},
        {"configure", 80, 15, {}, {"COB Configuration", "[Cancel]", "[Help]", "<OK>", "[ ] Verbose"}, "shown in part",
         "", ""},
        // The help window keeps its caption; its last line and the ends of
        // its lines are reached by scrolling.
        {"help", 80, 24, {}, {"COB Help", "Truespace Cob Import Plugin 1.0"}, "Only Polygons", "", ""},
        {"help", 80, 24, {"Tab End"}, {"COB Help", "Only Polygons are supported", "^"}, "Import Plugin 1.0", "", ""},
        {"help", 80, 24, {"Tab PPage NPage NPage NPage"}, {"Only Polygons are supported"}, "Import Plugin 1.0", "", ""},
        {"help", 80, 24, {"Tab Right Right Right Right Right Right"}, {"add search path"}, "Verbose: enable", "", ""},
        // Open: the filter's texts, the folder's entries, folders to enter, a
        // name to type, Esc for none.
        {"open", 80, 24, {}, {"Truespace File (*.scn;*.cob)", "still.scn", "sub/", "more/"}, "readme.txt", "", ""},
        {"open", 80, 24, {"Tab Tab Right"}, {"All Files (*.*)", "readme.txt", "still.scn"}, "Truespace File", "", ""},
        {"open", 160, 24, {"Down Down Enter", "Down Enter"}, {chosen, "status=0"}, "Look in", "", ""},
        {"open", 160, 24, {"-l sub/box.COB", "Enter"}, {chosen, "status=0"}, "Look in", "", ""},
        {"open", 80, 24, {"Down", "Escape"}, {"vertexa: no file was opened", "status=1"}, "file:", "", ""},
        {"open", 80, 24, {"-l /vx-absent.cob", "Enter"}, {"vertexa: /vx-absent.cob: not found", "status=4"}, "file:",
         "", ""},
    };
    int index = 0;
    for (const auto& row : rows) {
        std::filesystem::remove_all(folder + "/profile.ini");
        if (row.key == "(a folder)") std::filesystem::create_directory(folder + "/profile.ini");
        else write_file(folder + "/profile.ini", kProfile);
        Tmux tmux(vertexa(folder, row.args), row.columns, row.rows);
        ASSERT_TRUE(tmux.shows(row.args == "open" ? "Look in" : row.args == "help" ? "COB Help" : "COB Configuration"));
        for (const std::string& k : row.keys) tmux.keys(k);
        const std::string what = "row " + std::to_string(index++);
        for (const std::string& text : row.shown) EXPECT_TRUE(tmux.shows(text)) << what;
        EXPECT_EQ(tmux.pane().find(row.not_shown), std::string::npos) << what << "\n" << tmux.pane();
        EXPECT_EQ(tmux.value("#{history_size}"), "0") << "nothing scrolled\n" << tmux.pane();
        if (row.key.empty() || row.key == "(a folder)") continue;
        std::string expected = row.expected;
        if (expected[0] == '@') expected = folder + expected.substr(1);
        EXPECT_EQ(profile_value(read_file(folder + "/profile.ini"), row.key), expected) << what;
    }
}

// Each row: the program, how it is interrupted, the status it ends with.
TEST(TerminalDialogs, SignalsGiveTheTerminalBack) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    const std::string folder = make_folder();
    const std::string demo = std::string(VERTEXA_BIN_DIR) + "/ui_demo progress 2000 10";
    struct Row {
        std::string command, ready, signal;
        int status;
    } rows[] = {
        {vertexa(folder, "configure"), "COB Configuration", "C-c", 130},
        {"sh -c \"echo \\$\\$ >" + folder + "/pid; exec " + demo + "\"; echo status=$?", "Mesh Progress", "TERM", 143},
        {demo + "; echo status=$?", "Mesh Progress", "C-c", 130},
        {"sh -c \"echo \\$\\$ >" + folder + "/pid; exec " + VERTEXA_BIN_DIR + "/vertexa help\"; echo status=$?",
         "COB Help", "HUP", 129},
    };
    for (const Row& row : rows) {
        write_file(folder + "/profile.ini", kProfile);
        Tmux tmux("cd " + folder + " && VERTEXA_PROFILE=" + folder + "/profile.ini " + row.command, 80, 24);
        ASSERT_TRUE(tmux.shows(row.ready));
        ASSERT_EQ(tmux.value("#{alternate_on} #{cursor_flag}"), "1 0");
        if (row.signal == "C-c") {
            tmux.keys("C-c");
        } else {
            std::system(("kill -" + row.signal + " " + read_file(folder + "/pid")).c_str());
        }
        ASSERT_TRUE(tmux.shows("status=" + std::to_string(row.status))) << row.command;
        EXPECT_EQ(tmux.value("#{alternate_on} #{cursor_flag}"), "0 1") << "primary screen, cursor shown";
        EXPECT_EQ(read_file(folder + "/profile.ini"), kProfile) << "the settings are not written";
    }
}

TEST(TerminalProgress, LabelsWholeBarsMoveAndASmallTerminalIsNotScrolled) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux tmux(std::string(VERTEXA_BIN_DIR) + "/ui_demo progress 250 10; echo done", 80, 24);
    ASSERT_TRUE(tmux.shows("COB Import demo.scn"));
    EXPECT_TRUE(tmux.shows("File Progress: 100%"));
    std::set<int> fills;  // the mesh row's bar seen at two different fills
    for (int i = 0; i < 200 && fills.size() < 2; ++i) {
        if (int fill = bar_fill(tmux.capture(), "Mesh Progress:"); fill >= 0) fills.insert(fill);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GE(fills.size(), 2u);
    tmux.resize(80, 15);  // shorter than the window: shown in part, nothing scrolls
    EXPECT_TRUE(tmux.shows("shown in part"));
    EXPECT_EQ(tmux.value("#{history_size}"), "0");
    ASSERT_TRUE(tmux.shows("reports=250 cancel_requested=0"));
    EXPECT_EQ(tmux.pane().find("COB Import"), std::string::npos) << "the window goes with the program's screen";
}

// The summary on standard output is the same with the progress window on
// standard error, whether that is the terminal or a file; a scene of many
// small objects is drawn in a bounded number of bytes.
TEST(TerminalProgress, StandardOutputStaysClean) {
    const std::string folder = make_folder();
    cobtest::CobFile file(cobtest::Encoding::Binary);
    for (int i = 0; i < 3000; ++i) {
        cobtest::Polygon p;
        p.axes.name = "Box" + std::to_string(i);
        p.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        p.faces = {{.material = 0, .corners = {{0, 0}, {1, 0}, {2, 0}, {3, 0}}}};
        file.polygon(3 + i, 0, p);
    }
    file.end();
    file.write(folder + "/boxes.cob");
    const std::string info = "VERTEXA_PROFILE=" + folder + "/profile.ini " + VERTEXA_BIN_DIR + "/vertexa info --json ";
    const std::string plain = run_output("cd " + folder + " && " + info + "--no-progress boxes.cob");
    ASSERT_NE(plain.find("Box2999"), std::string::npos);
    EXPECT_EQ(run_output("cd " + folder + " && TERM=xterm " + info + "--progress boxes.cob 2>err.txt </dev/null"), plain);
    const std::string drawn = read_file(folder + "/err.txt");
    EXPECT_NE(drawn.find("COB Import"), std::string::npos);
    EXPECT_LT(drawn.size(), 200000u);
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux tmux("cd " + folder + " && " + info + "--progress boxes.cob >out.json; echo status=$?", 80, 24);
    ASSERT_TRUE(tmux.shows("status=0"));
    EXPECT_EQ(read_file(folder + "/out.json"), plain);
}

}  // namespace
