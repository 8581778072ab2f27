// The progress window and the six callbacks, alone and during real imports.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../host/host_test_util.h"
#include "cob_import_options.h"
#include "cob_progress_dialog.h"
#include "cob_writer.h"
#include "import_file.h"
#include "progress_callbacks.h"
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

// A switched-off import makes no window and pumps nothing (tests/plugin's
// module tests import so); the callbacks themselves return at once and the
// window stays as its template made it.
TEST_F(ProgressWindow, SwitchedOffEveryCallbackReturnsAtOnce) {
    open();
    show_progress = 0;
    int written = -1;
    for (auto status : {report_status_1, report_status_2, report_status_3}) status("abc%n", &written);
    for (auto progress : {report_progress_1, report_progress_2, report_progress_3}) progress(5, 10);
    EXPECT_EQ(written, -1);  // formatting would have stored the count
    EXPECT_EQ(last_percent[1], 0);
    EXPECT_EQ(vxp::inspect(window->m_hWnd).text, "COB Import box.cob");
    EXPECT_FALSE(item(IDCANCEL).visible);  // hidden; it takes Esc
    for (int row = 0; row < 3; ++row) {
        vxp::WindowInfo bar = item(IDC_PROGRESS1 + 3 * row);
        EXPECT_EQ(std::vector<int>({bar.lower, bar.upper, bar.step, bar.position}), std::vector<int>({0, 100, 10, 0}));
        EXPECT_EQ(item(IDC_PERCENT1 + 3 * row).text, " 0 %");
        EXPECT_EQ(item(IDC_STATUS1 + 3 * row).text, "Status");
    }
}

TEST_F(ProgressWindow, OwnerIsDisabledWhileOpenUnlessItWasAlready) {
    open();
    EXPECT_FALSE(IsWindowEnabled(main_window));
    EXPECT_EQ(window->m_pParentWnd->m_hWnd, main_window);
    close();
    EXPECT_TRUE(IsWindowEnabled(main_window));
    EXPECT_EQ(progress_window, nullptr);  // a deleted window clears it
    EnableWindow(main_window, FALSE);  // disabled before: stays so
    open();
    close();
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

TEST_F(ProgressWindow, BarsAndLabelsFollowThePercentages) {
    open();
    EXPECT_EQ(item(IDC_PERCENT1).text, " 0 %");
    report_progress_3(1, 4);
    EXPECT_EQ(item(IDC_PROGRESS3).position, 33);
    EXPECT_EQ(item(IDC_PERCENT3).text, "33%");
    report_progress_1(29, 101);
    EXPECT_EQ(item(IDC_PERCENT1).text, "28%");
    // The file row's report of 100 of 100 is 101: a full bar and 100%.
    report_progress_1(100, 100);
    EXPECT_EQ(last_percent[0], 101);
    EXPECT_EQ(item(IDC_PROGRESS1).position, 100);
    EXPECT_EQ(item(IDC_PERCENT1).text, "100%");
    report_progress_2(0, 3);
    EXPECT_EQ(item(IDC_PERCENT2).text, "0%");  // the bare form from the first update on
    report_progress_2(-5, 3);  // below the range: an empty bar
    EXPECT_EQ(item(IDC_PROGRESS2).position, 0);
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

// Real imports, as the importer runs them: the window and the six callbacks.
class ProgressImport : public ProgressWindow {
protected:
    void SetUp() override {
        ProgressWindow::SetUp();
        folder = host_test::scratch_folder();
        host_test::write_file(folder + "/profile.ini", "[Common Settings]\nverbose=0\n");
        ::setenv("VERTEXA_PROFILE", (folder + "/profile.ini").c_str(), 1);
    }

    // Writes a polygon of `n` vertices and texture vertices in a fan of faces,
    // imports it and returns its mesh; the window's state just before it
    // closes is kept in `cancelled` and `row2_at_end`.
    MMesh_P* import(cobtest::Encoding e, int n) {
        cobtest::Polygon p;
        p.axes.name = "Strip";
        for (int i = 0; i < n; ++i) {
            p.vertices.push_back({static_cast<float>(i), static_cast<float>(i % 7), 0});
            p.uvs.emplace_back(static_cast<float>(i) / static_cast<float>(n), 0.5f);
        }
        for (int i = 1; i + 1 < n; ++i) p.faces.push_back({.corners = {{0, 0}, {i, i}, {i + 1, i + 1}}});
        cobtest::CobFile file(e);
        file.polygon(7, 0, p).end();
        const std::string path = folder + "/strip.cob";
        file.write(path);

        CobImportOptions options;
        options.Set_Filename(path.c_str());
        MessageCallBack1 callbacks(report_status_1, report_progress_1, report_status_2, report_progress_2,
                                   report_status_3, report_progress_3);
        open(path.c_str());
        scene = std::make_unique<MScene>(path.c_str());
        import_file(scene.get(), &options, &callbacks);
        cancelled = window->cancel_requested;
        row2_at_end = item(IDC_PROGRESS2).position;
        close();
        vxp::set_pump_observer(nullptr);
        EXPECT_EQ(scene->Get_ObjectList()->size(), 1u);
        return scene->Get_ObjectList()->size() == 1 ? static_cast<MMesh_P*>(scene->Get_ObjectList()->get(0))
                                                    : nullptr;
    }

    std::string folder;
    std::unique_ptr<MScene> scene;
    int cancelled = -1, row2_at_end = -1;
};

// Esc pressed early (binary) asks to cancel but does not stop the import.
TEST_F(ProgressImport, RowsMoveDuringALongImportEscDoesNotStopItAndTheOwnerComesBack) {
    for (cobtest::Encoding e : {cobtest::Encoding::Binary, cobtest::Encoding::Ascii}) {
        std::vector<int> row2;
        std::set<std::string> status2;
        bool owner_enabled_meanwhile = false;
        vxp::set_pump_observer([&] {
            if (window == nullptr || window->m_hWnd == nullptr) return;
            if (row2.size() == 3 && e == cobtest::Encoding::Binary) PostMessageA(window->m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
            row2.push_back(item(IDC_PROGRESS2).position);
            status2.insert(item(IDC_STATUS2).text);
            if (IsWindowEnabled(main_window)) owner_enabled_meanwhile = true;
        });
        for (int& p : last_percent) p = 0;
        MMesh_P* mesh = import(e, 20000);
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->Get_Vertex_Count(), 20000);
        EXPECT_EQ(mesh->Get_Face_Count(), 19998);
        EXPECT_EQ(cancelled, e == cobtest::Encoding::Binary ? 1 : 0);
        EXPECT_EQ(row2_at_end, 100);
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

}  // namespace
