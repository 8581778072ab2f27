// The terminal front end for real: ui_demo in a tmux pane driven by
// send-keys and read with capture-pane, and vertexa info drawing the
// progress window on its standard error.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "cob_writer.h"
#include "tmux_session.h"

namespace {

std::string temp_dir() {
    std::string d = std::string(VERTEXA_TEST_TMP) + "/term-" + std::to_string(::getpid());
    std::filesystem::create_directories(d);
    return d;
}


TEST(TerminalFrontEnd, ConfigurationDialogInTmux) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux tmux(std::string(VERTEXA_BIN_DIR) + "/ui_demo config scnin.log 0");
    ASSERT_TRUE(tmux.started());
    bool found = false;
    std::string pane = tmux.wait_for("COB Configuration", &found);
    ASSERT_TRUE(found) << pane;
    EXPECT_NE(pane.find("Image Search Path"), std::string::npos) << pane;
    EXPECT_NE(pane.find("[ ] Verbose"), std::string::npos) << pane;
    EXPECT_EQ(pane.find("Content Directory"), std::string::npos) << "hidden controls are not drawn\n" << pane;
    // OK has the focus; five tabs reach the image search path (Cancel, log
    // file name, Verbose, Help, search path).
    tmux.keys("Tab Tab Tab Tab Tab");
    tmux.keys("-l 'd:\\map'");
    pane = tmux.wait_for("d:\\map_", &found);
    ASSERT_TRUE(found) << pane;
    EXPECT_EQ(pane.find("d:\\map\\;"), std::string::npos);
    tmux.keys("Tab");
    pane = tmux.wait_for("d:\\map\\;", &found);
    EXPECT_TRUE(found) << pane;
    // Back from "..." to Verbose: the search path, Help, Verbose; Space toggles it.
    tmux.keys("BTab BTab BTab Space");
    pane = tmux.wait_for("[x] Verbose", &found);
    EXPECT_TRUE(found) << pane;
    tmux.keys("Escape");
    pane = tmux.wait_for("result=2", &found);
    ASSERT_TRUE(found) << pane;
    EXPECT_NE(pane.find("image_search_path=d:\\map\\;"), std::string::npos) << pane;
    EXPECT_NE(pane.find("verbose=1"), std::string::npos) << pane;
}

TEST(TerminalFrontEnd, ProgressWindowMovesInPlaceInTmux) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux tmux(std::string(VERTEXA_BIN_DIR) + "/ui_demo progress 300 15");
    ASSERT_TRUE(tmux.started());
    bool found = false;
    std::string pane = tmux.wait_for("COB Import demo.scn", &found);
    ASSERT_TRUE(found) << pane;
    // Bars are drawn as [###...]: see the mesh row's bar at two different fills.
    std::set<size_t> fills;
    for (int i = 0; i < 400 && fills.size() < 2; ++i) {
        pane = tmux.capture();
        size_t at = pane.find("Mesh Progres");
        size_t bar = at == std::string::npos ? std::string::npos : pane.find('[', at);
        if (bar != std::string::npos) {
            size_t end = pane.find(']', bar);
            fills.insert(static_cast<size_t>(std::count(pane.begin() + bar, pane.begin() + end, '#')));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    EXPECT_GE(fills.size(), 2u) << pane;
    pane = tmux.wait_for("reports=300 cancel_requested=0", &found);
    ASSERT_TRUE(found) << pane;
    EXPECT_EQ(pane.find("COB Import"), std::string::npos) << "the window is erased when it goes\n" << pane;
}

// vertexa info --progress with standard error in a file: the terminal front
// end's drawing, frame by frame.
TEST(TerminalFrontEnd, InfoDrawsTheProgressWindowOnStderr) {
    cobtest::Polygon p;
    p.axes.name = "Long";
    for (int i = 0; i < 20000; ++i) p.vertices.push_back({static_cast<float>(i), 0, 0});
    cobtest::CobFile file(cobtest::Encoding::Binary);
    file.polygon(3, 0, p).end();
    std::string path = temp_dir() + "/long.cob";
    file.write(path);
    std::string profile = temp_dir() + "/profile.ini";
    std::ofstream(profile) << "[Common Settings]\nverbose=0\n";
    std::string env = "VERTEXA_PROFILE=" + profile + " ";
    std::string vertexa = std::string(VERTEXA_BIN_DIR) + "/vertexa info ";

    std::string with = run_output(env + vertexa + path + " --progress 2>" + temp_dir() + "/err.txt");
    std::ifstream in(temp_dir() + "/err.txt", std::ios::binary);
    std::stringstream err;
    err << in.rdbuf();
    std::string drawn = err.str();
    std::string without = run_output(env + vertexa + path + " --no-progress 2>" + temp_dir() + "/err2.txt");
    EXPECT_EQ(with, without) << "the summary does not change";
    EXPECT_EQ(std::filesystem::file_size(temp_dir() + "/err2.txt"), 0u);

    // Frames: the first drawn as is, each later one after moving up its 21 rows.
    const std::string up = "\x1b[21A";
    std::vector<std::string> frames;
    size_t pos = 0;
    for (;;) {
        size_t next = drawn.find(up, pos + 1);
        frames.push_back(drawn.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
        if (next == std::string::npos) break;
        pos = next;
    }
    ASSERT_GE(frames.size(), 10u) << drawn.substr(0, 2000);
    EXPECT_EQ(frames.back(), up + "\r\x1b[J") << "the window is erased at the end";
    std::vector<size_t> mesh_fill;
    for (const std::string& f : frames) {
        size_t at = f.find("Mesh Progres");
        size_t bar = at == std::string::npos ? std::string::npos : f.find('[', at);
        if (bar == std::string::npos) continue;
        mesh_fill.push_back(static_cast<size_t>(std::count(f.begin() + bar, f.begin() + f.find(']', bar), '#')));
    }
    ASSERT_FALSE(mesh_fill.empty());
    std::set<size_t> distinct(mesh_fill.begin(), mesh_fill.end());
    EXPECT_GE(distinct.size(), 10u);
    // The caption, cut to the window's width.
    EXPECT_NE(frames.front().find("COB Import " + path.substr(0, 20)), std::string::npos) << frames.front();
    EXPECT_NE(drawn.find("Vertices ..."), std::string::npos);
}

}  // namespace
