// The progress window and the six callbacks, alone and during real imports;
// the plug-in's windows as text.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "../host/host_test_util.h"
#include "cob_config_dialog.h"
#include "cob_help_dialog.h"
#include "cob_import_options.h"
#include "cob_progress_dialog.h"
#include "cob_writer.h"
#include "import_file.h"
#include "progress_callbacks.h"
#include "progress_logic.h"
#include "resource.h"
#include "ui_test_util.h"
#include "vertexa/scene.h"

namespace {

class ProgressWindow : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        show_progress = 1;
        for (int& p : last_percent) p = 0;
    }
    void TearDown() override {
        close();
        show_progress = 1;
        UiTest::TearDown();
    }
    // What the importer does before the driver runs.
    void open(const char* file = "box.cob") {
        window = new CobProgressDialog(nullptr);
        progress_window = window;
        window->file_name = file;
        window->Create(nullptr);
    }
    // And after it.
    void close() {
        if (window == nullptr) return;
        window->DestroyWindow();
        delete window;
        window = nullptr;
    }
    vxp::WindowInfo item(int id) { return vxp::inspect(vxp::dialog_item(window->m_hWnd, id)); }

    CobProgressDialog* window = nullptr;
};

// (Disabled while open, enabled after: checked during the real import below.)
TEST_F(ProgressWindow, CaptionOfALongPathAndAnOwnerDisabledBeforeStaysDisabled) {
    EnableWindow(main_window, FALSE);
    const std::string deep = std::string(5000, 'd') + ".cob";  // longer than any fixed buffer would be
    open(deep.c_str());
    EXPECT_EQ(vxp::inspect(window->m_hWnd).text, "COB Import " + deep);
    close();
    EXPECT_EQ(progress_window, nullptr);  // a deleted window clears it
    EXPECT_FALSE(IsWindowEnabled(main_window));
    EnableWindow(main_window, TRUE);
}

TEST_F(ProgressWindow, StatusTextsAreCutTo1023AndReplacedOnlyWhenTheyChange) {
    open();
    report_status_2("Vertices ...");
    EXPECT_EQ(item(IDC_STATUS2).text, "Vertices ...");
    int sets = item(IDC_STATUS2).text_sets;
    report_status_2("%s ...", "Vertices");
    EXPECT_EQ(item(IDC_STATUS2).text_sets, sets);
    report_status_2("Faces ...");
    EXPECT_EQ(item(IDC_STATUS2).text_sets, sets + 1);
    std::string long_text(3000, 'w');
    report_status_3("%s", long_text.c_str());
    EXPECT_EQ(item(IDC_STATUS3).text, std::string(1023, 'w'));
    sets = item(IDC_STATUS3).text_sets;
    report_status_3("%s", long_text.c_str());  // the same once cut: no change
    EXPECT_EQ(item(IDC_STATUS3).text_sets, sets);
    report_status_3("%s!", std::string(1022, 'w').c_str());
    EXPECT_EQ(item(IDC_STATUS3).text, std::string(1022, 'w') + "!");
}

TEST_F(ProgressWindow, MessagesArePumpedOnlyWhenABarMovesAndLastPercentagesCarryOver) {
    open();
    int pumps = 0;
    vxp::set_pump_observer([&] { ++pumps; });
    // Reports 0 to 9 of 1000 are all 0%, and a 0 always passes; then 5, 10, ..., 100.
    for (long i = 0; i < 1000; ++i) report_progress_2(i, 1000);
    EXPECT_EQ(pumps, 10 + 20);
    EXPECT_EQ(last_percent[1], 100);
    for (int i = 0; i < 50; ++i) report_status_2("Faces %d", i);
    report_progress_1(3, 10);
    report_progress_1(3, 10);
    EXPECT_EQ(pumps, 31);
    for (long i = 0; i < 1000; ++i) report_progress_3(i, 1000);  // ten 0s, then 10, 20, ..., 100
    EXPECT_EQ(pumps, 31 + 10 + 10);
    // The last percentages carry over to the next import: 50 is not 5 above
    // the 100 that row 2 ended at, until a 0 comes.
    close();
    open("second.cob");
    report_progress_2(50, 101);
    EXPECT_EQ(item(IDC_PROGRESS2).position, 0);
    EXPECT_EQ(item(IDC_PERCENT2).text, " 0 %");
    EXPECT_EQ(pumps, 51);
    report_progress_2(0, 101);
    report_progress_2(50, 101);
    EXPECT_EQ(item(IDC_PROGRESS2).position, 50);
}

// Enter and OK do nothing, Esc asks to cancel, and the close box closes
// nothing; each bar move pumps the posted message.
TEST_F(ProgressWindow, EscAsksToCancelAndNothingClosesIt) {
    open();
    HWND hwnd = window->m_hWnd;
    const struct { UINT msg; WPARAM w; int cancel; } steps[] = {
        {WM_KEYDOWN, VK_RETURN, 0}, {WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0},
        {WM_KEYDOWN, VK_ESCAPE, 1}, {WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 1}};
    long done = 0;
    for (const auto& step : steps) {
        PostMessageA(hwnd, step.msg, step.w, 0);
        report_progress_1(++done, 10);
        ASSERT_TRUE(IsWindow(hwnd));
        EXPECT_EQ(window->cancel_requested, step.cancel) << step.msg << " " << step.w;
    }
    EXPECT_TRUE(item(IDC_PROGRESS1).visible);
    EXPECT_EQ(item(IDC_PROGRESS1).position, 44);
}

// Under another module the plug-in's templates are out of sight, so the
// window cannot be made; the callbacks then act as if there were none.
TEST_F(ProgressWindow, AWindowThatCouldNotBeMadeCountsAsNone) {
    {
        AFX_MODULE_STATE empty{nullptr};
        AFX_MANAGE_STATE(&empty);
        window = new CobProgressDialog(nullptr);
        progress_window = window;
        EXPECT_FALSE(window->Create(nullptr));
    }
    EXPECT_TRUE(IsWindowEnabled(main_window));
    report_status_2("Vertices ...");
    report_progress_2(5, 10);
    EXPECT_EQ(last_percent[1], 0);
}

// A real import of a strip of 20000 vertices, as the importer runs it, in
// both encodings: the rows move, Esc pressed early (binary) asks to cancel
// but does not stop the import, and the owner is disabled until the end.
TEST_F(ProgressWindow, RowsMoveDuringARealImportEscDoesNotStopItAndTheOwnerComesBack) {
    const std::string folder = host_test::scratch_folder(), path = folder + "/strip.cob";
    host_test::write_file(folder + "/profile.ini", "[Common Settings]\nverbose=0\n");
    host_test::ScopedEnv profile("VERTEXA_PROFILE", folder + "/profile.ini");
    constexpr int n = 20000;
    cobtest::Polygon p;
    for (int i = 0; i < n; ++i) {
        p.vertices.push_back({static_cast<float>(i), static_cast<float>(i % 7), 0});
        p.uvs.emplace_back(static_cast<float>(i) / n, 0.5f);
    }
    for (int i = 1; i + 1 < n; ++i) p.faces.push_back({.corners = {{0, 0}, {i, i}, {i + 1, i + 1}}});
    for (cobtest::Encoding e : {cobtest::Encoding::Binary, cobtest::Encoding::Ascii}) {
        cobtest::CobFile(e).polygon(7, 0, p).end().write(path);
        std::vector<int> row2;
        std::set<std::string> status2;
        bool owner_enabled_meanwhile = false;
        vxp::set_pump_observer([&] {
            if (row2.size() == 3 && e == cobtest::Encoding::Binary) PostMessageA(window->m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
            row2.push_back(item(IDC_PROGRESS2).position);
            status2.insert(item(IDC_STATUS2).text);
            owner_enabled_meanwhile |= IsWindowEnabled(main_window) != FALSE;
        });
        for (int& percent : last_percent) percent = 0;
        CobImportOptions options;
        options.Set_Filename(path.c_str());
        MessageCallBack1 callbacks(report_status_1, report_progress_1, report_status_2, report_progress_2,
                                   report_status_3, report_progress_3);
        open(path.c_str());
        MScene scene(path.c_str());
        import_file(&scene, &options, &callbacks);
        EXPECT_EQ(window->cancel_requested, e == cobtest::Encoding::Binary ? 1 : 0);
        EXPECT_EQ(item(IDC_PROGRESS2).position, 100);
        close();
        vxp::set_pump_observer(nullptr);
        ASSERT_EQ(scene.Get_ObjectList()->size(), 1u);
        EXPECT_EQ(static_cast<MMesh_P*>(scene.Get_ObjectList()->get(0))->Get_Face_Count(), n - 2);
        EXPECT_TRUE(IsWindowEnabled(main_window));
        EXPECT_FALSE(owner_enabled_meanwhile);
        // Three loops of 20000 elements, each shown from 0 to 100 in steps of
        // 5, after the 200 reports of each that are still 0%; a few chunk
        // positions.
        EXPECT_GE(row2.size(), 3u * (200 + 20));
        EXPECT_LE(row2.size(), 3u * (200 + 20) + 10);
        EXPECT_GE(std::set<int>(row2.begin(), row2.end()).size(), 15u);
        EXPECT_GE(status2.count("Vertices ...") + status2.count("UVVertices ...") + status2.count("Faces ..."), 2u);
    }
}

// The windows as the terminal draws them: every label whole, frames and
// buttons apart, and a deep path's file name on the progress window.
TEST_F(ProgressWindow, AsTextLabelsAreWholeAndFramesApart) {
    std::vector<std::string> config, help;
    vxp::script_call([&](HWND d) { config = vxp::render_text(d); });
    vxp::script_key(VK_ESCAPE);
    CobConfigDialog(nullptr).DoModal();
    vxp::script_call([&](HWND d) { help = vxp::render_text(d); });
    vxp::script_key(VK_ESCAPE);
    CobHelpDialog(nullptr).DoModal();
    const std::string deep = "/a/very/deep/folder/of/scenes/that/goes/on/and/on/and/on/the_scene.cob";
    open(deep.c_str());
    report_status_1("%s        ", deep.c_str());
    report_progress_1(100, 100);
    const std::vector<std::string> progress = vxp::render_text(window->m_hWnd);

    const struct {
        const std::vector<std::string>& rows;
        std::vector<std::string> whole;
    } cases[] = {
        {config, {"COB Configuration", " Common ", " Log File Name ", "[ ] Verbose", " Specific ", " Image Search Path ",
                  "[Cancel]", "[Help]", "<OK>"}},
        {help, {"COB Help", "Truespace Cob Import Plugin 1.0", "<OK>"}},
        {progress, {"File Progress: 100%", "Mesh Progress:", "the_scene.cob", "COB Import /a/very"}},
    };
    for (const auto& c : cases) {
        std::string all;
        for (const std::string& r : c.rows) all += r + "\n";
        for (const std::string& text : c.whole) EXPECT_NE(all.find(text), std::string::npos) << text << "\n" << all;
        for (const std::string& r : c.rows) {
            if (r.find("[Cancel]") != std::string::npos || r.find("<OK>") != std::string::npos) {
                EXPECT_EQ(r.find('-'), std::string::npos) << "a frame under the buttons\n" << all;
            }
        }
        EXPECT_LE(c.rows.front().size(), 80u) << all;
    }
}

// The arithmetic alone: the edge cases the window does not reach.
TEST(ProgressPercent, DivisionByMaximumMinusOneAndTheLastElementIsHundred) {
    // A maximum below 2 gives 0; past the end goes above 100; absurd reports
    // stay within int instead of overflowing the conversion.
    const struct { long current, maximum; int percent; } cases[] = {
        {2, 4, 66}, {0, 1000, 0}, {1, 3, 50}, {2, 3, 100}, {0, 1, 100}, {-1, 0, 100}, {5, 1, 0}, {5, -7, 0},
        {LONG_MAX, 2, 1000000000}, {LONG_MIN, 2, -1000000000},
    };
    for (const auto& c : cases) EXPECT_EQ(cob_progress::percent_of(c.current, c.maximum), c.percent) << c.current << "/" << c.maximum;
}

// Row one moves on every change, decreases too; 0 always passes; row two
// passes 105 after 100; nothing overflows near the limits of int. (The
// steps of rows two and three and the carry-over: see the pumps above.)
TEST(ProgressThrottle, RowOneEveryChangeRowTwoFivePointsRowThreeTen) {
    const struct { int row, percent, last; bool passes; } cases[] = {
        {1, 30, 40, true}, {1, 0, 0, true}, {2, 104, 100, false}, {2, 105, 100, true},
        {2, INT_MAX, INT_MAX - 2, false}, {3, INT_MAX, INT_MAX, false}, {2, INT_MAX, INT_MAX - 5, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cob_progress::passes_throttle(c.row, c.percent, c.last), c.passes)
            << c.row << ": " << c.last << " to " << c.percent;
    // A quiet run: empty where the report passes, else from and to reports that the throttle drops.
    const auto drops = [](int row, long c, long max, int last) {
        return !cob_progress::passes_throttle(row, cob_progress::percent_of(c, max), last);
    };
    for (int row = 1; row <= 3; ++row)
        for (long max : {1L, 2L, 7L, 101L, 1000L, 999983L, 3000000L})
            for (int last : {0, 1, 33, 96, 100, 104})
                for (long c = -2; c < max + 3; c += 1 + max / 401) {
                    const cob_progress::QuietRun r = cob_progress::quiet_run(row, c, max, last);
                    ASSERT_TRUE(r.lo == r.hi ? c < 0 || max < 2 || !drops(row, c, max, last)
                                             : r.lo <= c && c < r.hi && drops(row, r.lo, max, last) &&
                                                   drops(row, r.hi - 1, max, last))
                        << row << " " << max << " " << last << " " << c;
                }
}

TEST(ProgressLabel, PercentOfRangeAndTextClampedAndCut) {
    EXPECT_EQ(cob_progress::label_percent(5, 0, 10), 50);
    EXPECT_EQ(cob_progress::label_percent(3, 1, 4), 66);
    EXPECT_EQ(cob_progress::label_percent(7, 7, 7), 0);
    const struct { int percent; size_t size; const char* text; } cases[] = {
        {42, 16, "42%"}, {-3, 16, "0%"}, {105, 16, "100%"}, {100, 4, "100"}, {100, 3, "10"}, {7, 2, "7"}, {7, 1, ""},
    };
    for (const auto& c : cases) {
        char text[17];
        std::fill(std::begin(text), std::end(text), '#');
        cob_progress::format_label(text, c.size, c.percent);
        EXPECT_STREQ(text, c.text) << c.percent << " in " << c.size;
        EXPECT_EQ(text[c.size], '#') << "written past the size";
    }
}

}  // namespace
