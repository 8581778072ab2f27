// vertexa's dialogs on a real terminal: the command in a tmux pane, driven
// with send-keys and read with capture-pane.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "../host/host_test_util.h"
#include "cob_writer.h"
#include "tmux_session.h"

namespace {

using host_test::read_file;
using host_test::scratch_folder;
using host_test::write_file;

std::string vertexa_in(const std::string& folder, const std::string& args) {
    return "env VERTEXA_PROFILE=" + folder + "/scn_in.ini " + std::string(VERTEXA_BIN_DIR) + "/vertexa " + args +
           "; echo status=$?";
}

TEST(CliTerminal, ConfigureStoresOnOkAndTheNextImportUsesIt) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    const std::string folder = scratch_folder();
    write_file(folder + "/scn_in.ini", "[Common Settings]\nverbose=0\nlog_file_name=" + folder + "/import\n");
    {
        Tmux tmux(vertexa_in(folder, "configure"));
        ASSERT_TRUE(tmux.started());
        bool found = false;
        std::string pane = tmux.wait_for("COB Configuration", &found);
        ASSERT_TRUE(found) << pane;
        // OK has the focus; Cancel, log file name, Verbose, Help, then the search path.
        tmux.keys("Tab Tab Tab Tab Tab");
        tmux.keys("-l 'd:\\map'");
        // Leaving the field completes the folder; back to Verbose and the log file name.
        tmux.keys("Tab BTab BTab BTab Space BTab");
        tmux.keys("-l '.log'");
        pane = tmux.wait_for("import.log", &found);
        ASSERT_TRUE(found) << pane;
        tmux.keys("Enter");
        pane = tmux.wait_for("status=0", &found);
        ASSERT_TRUE(found) << pane;
    }
    const std::string profile = read_file(folder + "/scn_in.ini");
    EXPECT_NE(profile.find("verbose=1"), std::string::npos) << profile;
    EXPECT_NE(profile.find("log_file_name=" + folder + "/import.log"), std::string::npos) << profile;
    EXPECT_NE(profile.find("image_search_path=d:\\map\\;"), std::string::npos) << profile;

    // The next import logs verbosely into the file just configured.
    cobtest::CobFile file(cobtest::Encoding::Ascii);
    cobtest::Polygon tri;
    tri.axes.name = "Tri";
    tri.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    tri.faces = {{.corners = {{0, 0}, {1, 0}, {2, 0}}}};
    file.polygon(1, 0, tri).end();
    file.write(folder + "/tri.cob");
    const std::string command = "VERTEXA_PROFILE=" + folder + "/scn_in.ini " + VERTEXA_BIN_DIR +
                                "/vertexa info --json --no-progress " + folder + "/tri.cob >" + folder + "/out.json";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto summary = nlohmann::json::parse(read_file(folder + "/out.json"));
    EXPECT_EQ(summary["search_paths"].dump().find("d:\\\\map\\\\;") != std::string::npos, true) << summary.dump();
    EXPECT_NE(read_file(folder + "/import.log").find("-> Object Tri added"), std::string::npos);
}

TEST(CliTerminal, CancelChangesNothingAndHelpShowsTheText) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    const std::string folder = scratch_folder();
    const std::string before = "[Specific Settings]\nhome_path=c:\\Truespace\\\nimage_search_path=e:\\maps\\;\n\n"
                               "[Common Settings]\nverbose=0\nlog_file_name=scnin.log\n";
    write_file(folder + "/scn_in.ini", before);
    {
        Tmux tmux(vertexa_in(folder, "configure"));
        bool found = false;
        std::string pane = tmux.wait_for("COB Configuration", &found);
        ASSERT_TRUE(found) << pane;
        tmux.keys("Tab Tab Tab Space");  // Verbose on, then cancelled
        tmux.keys("Escape");
        pane = tmux.wait_for("status=0", &found);
        ASSERT_TRUE(found) << pane;
    }
    EXPECT_EQ(read_file(folder + "/scn_in.ini"), before);
    {
        Tmux tmux(vertexa_in(folder, "help"));
        ASSERT_TRUE(tmux.started());
        bool found = false;
        std::string pane = tmux.wait_for("Truespace Cob Import Plugin 1.0", &found);
        ASSERT_TRUE(found) << pane;
        EXPECT_NE(pane.find("Verbose: enable detailed logging"), std::string::npos) << pane;
        tmux.keys("Enter");
        pane = tmux.wait_for("status=0", &found);
        EXPECT_TRUE(found) << pane;
    }
}

TEST(CliTerminal, DialogsWithoutATerminalAreRefused) {
    const std::string folder = scratch_folder();
    const std::string command = "VERTEXA_PROFILE=" + folder + "/scn_in.ini " + std::string(VERTEXA_BIN_DIR) +
                                "/vertexa configure </dev/null >/dev/null 2>" + folder + "/err";
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_NE(read_file(folder + "/err").find("configure needs a terminal"), std::string::npos);
}

}  // namespace
