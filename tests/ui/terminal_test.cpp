// The terminal front end for real: ui_demo's progress window in a tmux pane,
// and vertexa info drawing the progress window on its standard error. The
// dialogs on a terminal are driven through vertexa configure (tests/cli).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "../host/host_test_util.h"
#include "cob_writer.h"
#include "tmux_session.h"

namespace {

TEST(TerminalFrontEnd, ProgressWindowMovesInPlaceInTmux) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux tmux(std::string(VERTEXA_BIN_DIR) + "/ui_demo progress 300 15");
    ASSERT_TRUE(tmux.started());
    ASSERT_TRUE(tmux.shows("COB Import demo.scn"));
    std::set<int> fills;  // the mesh row's bar seen at two different fills
    for (int i = 0; i < 400 && fills.size() < 2; ++i) {
        if (int fill = bar_fill(tmux.capture(), "Mesh Progres"); fill >= 0) fills.insert(fill);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    EXPECT_GE(fills.size(), 2u);
    ASSERT_TRUE(tmux.shows("reports=300 cancel_requested=0"));
    EXPECT_EQ(tmux.pane().find("COB Import"), std::string::npos) << "the window is erased when it goes";
}

// With standard error in a file: the drawing frame by frame. A scene of
// many small objects changes the window several times per object; it is
// drawn when shown and then at most every 40 ms, not once per change.
TEST(TerminalFrontEnd, InfoDrawsTheProgressWindowOnStderrAtABoundedRate) {
    const std::string folder = host_test::scratch_folder();
    cobtest::CobFile file(cobtest::Encoding::Binary);
    for (int i = 0; i < 3000; ++i) {
        cobtest::Polygon p;
        p.axes.name = "Box" + std::to_string(i);
        p.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        file.polygon(3 + i, 0, p);
    }
    file.end();
    const std::string path = folder + "/boxes.cob";
    file.write(path);
    host_test::write_file(folder + "/profile.ini", "[Common Settings]\nverbose=0\n");
    const std::string vertexa =
        "VERTEXA_PROFILE=" + folder + "/profile.ini " + VERTEXA_BIN_DIR + "/vertexa info " + path;
    const auto started = std::chrono::steady_clock::now();
    const std::string with = run_output(vertexa + " --progress 2>" + folder + "/err.txt");
    const auto elapsed = std::chrono::steady_clock::now() - started;
    const std::string without = run_output(vertexa + " --no-progress 2>" + folder + "/err2.txt");
    EXPECT_EQ(with, without) << "the summary does not change";
    EXPECT_EQ(std::filesystem::file_size(folder + "/err2.txt"), 0u);

    // The first frame is drawn as is, each later one after moving up its 21 rows.
    const std::string drawn = host_test::read_file(folder + "/err.txt");
    const std::string up = "\x1b[21A";
    std::vector<std::string> frames;
    for (size_t pos = 0, next = 0; next != std::string::npos; pos = next) {
        next = drawn.find(up, pos + 1);
        frames.push_back(drawn.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
    }
    ASSERT_GE(frames.size(), 2u) << drawn.substr(0, 2000);
    EXPECT_EQ(frames.back(), up + "\r\x1b[J") << "the window is erased at the end";
    // The caption, cut to the window's width.
    EXPECT_NE(frames.front().find("COB Import " + path.substr(0, 20)), std::string::npos) << frames.front();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    EXPECT_LE(static_cast<long long>(frames.size()), ms / 40 + 3)
        << "frames drawn in " << ms << " ms: " << frames.size() << ", " << drawn.size() << " bytes";
}

}  // namespace
