// The plug-in's windows on Windows, used as a person would: the host calls
// the importer on the main thread as usual, and a second thread waits for
// each window, types into its edits and clicks its buttons with window
// messages, reads the controls back and keeps a picture of the screen.
// The settings land in the profile, which Windows' own profile reader checks.
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <stb_image_write.h>

#include "../ui/help_text.h"
#include "cob_writer.h"
#include "plugin_host.h"
#include "vertexa/scene.h"

namespace {

const std::string kTmp = VERTEXA_TEST_TMP;
const std::string kShots = VERTEXA_SHOT_DIR;
const std::string kProfile = kTmp + "\\dialogs.ini";

DWORD main_thread = 0;

// ---------------------------------------------------------------------------
// Finding and reading windows of the main thread from the driver thread.

std::string text_of(HWND hwnd) {
    char text[4096] = "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                             &length))
        return "<no answer>";
    return text;
}

BOOL CALLBACK add_if_visible(HWND hwnd, LPARAM out) {
    if (IsWindowVisible(hwnd)) reinterpret_cast<std::vector<HWND>*>(out)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> visible_windows() {
    std::vector<HWND> found;
    EnumThreadWindows(main_thread, add_if_visible, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool wait_until(const std::function<bool()>& done, int milliseconds = 10000, int step = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        Sleep(step);
    }
    return done();
}

// The visible window whose caption starts with `caption`, or that holds a
// control with that text (the folder browser shows its title in one).
HWND wait_for_window(const std::string& caption) {
    HWND found = nullptr;
    wait_until([&] {
        for (HWND hwnd : visible_windows()) {
            if (text_of(hwnd).rfind(caption, 0) == 0) found = hwnd;
            for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr && found == nullptr;
                 child = GetWindow(child, GW_HWNDNEXT))
                if (text_of(child) == caption) found = hwnd;
            if (found != nullptr) return true;
        }
        return false;
    });
    return found;
}

bool gone(HWND hwnd) { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }

// Keyboard focus to the control (as Tab would move it there; the dialog
// manager selects an edit's text), then one WM_CHAR per character (to the
// edit inside a combo box).
void type_into(HWND dialog, int id, const std::string& text) {
    HWND edit = GetDlgItem(dialog, id);
    PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    for (HWND inner; (inner = GetWindow(edit, GW_CHILD)) != nullptr;) edit = inner;
    for (char c : text) PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
    wait_until([&] { return text_of(edit) == text; });
}

void next_control(HWND dialog) { PostMessageA(dialog, WM_NEXTDLGCTL, 0, FALSE); }

void click(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// The whole screen as a PNG in the build's artifacts.
void screenshot(const std::string& name) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY | CAPTUREBLT);
    SelectObject(memory, previous);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 4);
    GetDIBits(memory, bitmap, 0, h, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    for (size_t i = 0; i < pixels.size(); i += 4) {  // BGRA to RGBA, opaque
        std::swap(pixels[i], pixels[i + 2]);
        pixels[i + 3] = 255;
    }
    std::filesystem::create_directories(kShots);
    const std::string path = kShots + "\\" + name + ".png";
    EXPECT_NE(stbi_write_png(path.c_str(), w, h, 4, pixels.data(), w * 4), 0) << path;
}

// Runs `drive` on a second thread while `call` runs the plug-in on this one.
// Should the driver lose its way, it closes whatever is left open, so that a
// failure never leaves a modal loop waiting for a person.
void drive_while(const std::function<void()>& call, const std::function<void()>& drive) {
    main_thread = GetCurrentThreadId();
    std::atomic<bool> returned{false};
    std::thread driver([&] {
        drive();
        while (!returned) {
            for (HWND hwnd : visible_windows()) PostMessageA(hwnd, WM_CLOSE, 0, 0);
            Sleep(200);
        }
    });
    call();
    returned = true;
    driver.join();
}

// ---------------------------------------------------------------------------
struct Settings {
    std::string verbose, log_file_name, image_search_path;
    auto tied() const { return std::tie(verbose, log_file_name, image_search_path); }
};

void write_profile(const Settings& s) {
    FILE* f = std::fopen(kProfile.c_str(), "wb");
    ASSERT_NE(f, nullptr) << kProfile;
    std::fprintf(f, "[Common Settings]\r\nverbose=%s\r\nlog_file_name=%s\r\n[Specific Settings]\r\n"
                    "home_path=c:\\Truespace\\\r\nimage_search_path=%s\r\n",
                 s.verbose.c_str(), s.log_file_name.c_str(), s.image_search_path.c_str());
    std::fclose(f);
}

Settings read_profile() {
    auto get = [](const char* section, const char* key) {
        char value[4096] = "";
        GetPrivateProfileStringA(section, key, "<none>", value, sizeof value, kProfile.c_str());
        return std::string(value);
    };
    return {get("Common Settings", "verbose"), get("Common Settings", "log_file_name"),
            get("Specific Settings", "image_search_path")};
}

class PluginWindows : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryA(kTmp.c_str(), nullptr);
        // Through the C library, whose copy of the environment the modules read.
        _putenv(("VERTEXA_PROFILE=" + kProfile).c_str());
        std::string error;
        ASSERT_TRUE(module_.load(VERTEXA_PLUGIN, error)) << error;
        ASSERT_NE(module_.scene_importer(), nullptr);
        importer_ = vertexa::create_importer(*module_.scene_importer(), 0);
        ASSERT_TRUE(importer_);
    }

    vertexa::PluginModule module_;
    vertexa::Importer importer_{nullptr};
};

const Settings kStart{"0", "start.log", "e:\\maps\\;"};

// ---------------------------------------------------------------------------
// The folder browser opened by "...": selects `folder` and takes it, or
// cancels when `folder` is null.
void choose_folder(HWND dialog, const char* folder) {
    click(dialog, 1038);
    HWND browser = wait_for_window("Add image search directory");
    ASSERT_NE(browser, nullptr) << "no folder browser";
    EXPECT_TRUE(IsWindowEnabled(dialog)) << "the browser has no owner, yet the dialog was disabled";
    if (folder != nullptr) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder), SMTO_BLOCK, 5000,
                            &ignored);
    }
    Sleep(300);
    if (folder != nullptr) screenshot("folder_chooser");
    click(browser, folder != nullptr ? IDOK : IDCANCEL);
    EXPECT_TRUE(wait_until([&] { return gone(browser); }));
}

// The help window, opened by the host or with the dialog's Help button: its
// text read-only.
void check_and_close_help(HWND dialog, const char* shot) {
    if (dialog != nullptr) click(dialog, 3);
    HWND help = wait_for_window("COB Help");
    ASSERT_NE(help, nullptr) << "no help window";
    EXPECT_EQ(text_of(help), "COB Help");
    PostMessageA(GetDlgItem(help, 1001), WM_CHAR, 'x', 1);
    Sleep(200);
    EXPECT_EQ(text_of(GetDlgItem(help, 1001)), kHelpText);
    screenshot(shot);
    click(help, IDOK);
    EXPECT_TRUE(wait_until([&] { return gone(help); }));
}

// A step of a configuration case: "type ID TEXT" (the focus moved there as
// Tab moves it, then the characters), "tab", "click ID", "close", "expect
// ID TEXT", "shot NAME", "browse FOLDER" (chosen with "...", or the browser
// cancelled for "-"), "help" (the Help button's window, checked and closed).
void run_step(HWND dialog, const std::string& step) {
    std::istringstream in(step);
    std::string verb, text, seen;
    int id = 0;
    in >> verb;
    if (verb == "type" || verb == "click" || verb == "expect") in >> id;
    std::getline(in >> std::ws, text);
    if (verb == "type") type_into(dialog, id, text);
    else if (verb == "tab") next_control(dialog);  // leaving a field
    else if (verb == "click") click(dialog, id);
    else if (verb == "close") PostMessageA(dialog, WM_CLOSE, 0, 0);
    else if (verb == "shot") screenshot(text);
    else if (verb == "browse") choose_folder(dialog, text == "-" ? nullptr : text.c_str());
    else if (verb == "help") check_and_close_help(dialog, "help_over_config");
    else if (verb == "expect")
        EXPECT_TRUE(wait_until([&] { return (seen = text_of(GetDlgItem(dialog, id))) == text; })) << seen;
    else ADD_FAILURE() << "unknown step " << step;
}

TEST_F(PluginWindows, ConfigurationDialog) {
    const struct {
        const char* name;
        std::vector<std::string> steps;  // the last closes the dialog
        Settings expected;
    } cases[] = {
        {"typed values stored on OK",
         {"type 1028 d:\\map", "tab", "expect 1028 d:\\map\\;", "click 1025", "type 1024 typed.log",
          "shot config_typed", "click 1"},
         {"1", "typed.log", "d:\\map\\;"}},
        {"cancel stores what was loaded", {"click 1025", "type 1024 lost.log", "type 1028 x:\\lost", "click 2"},
         kStart},
        {"the close box cancels", {"type 1024 lost.log", "close"}, kStart},
        {"a folder chosen is appended", {"browse C:\\windows", "expect 1028 e:\\maps\\;C:\\windows\\;", "click 1"},
         {"0", "start.log", "e:\\maps\\;C:\\windows\\;"}},
        {"a browser cancelled and the help window change nothing", {"browse -", "help", "click 1"}, kStart},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_profile(kStart);
        drive_while([&] { importer_->Configure(); },
                    [&] {
                        HWND dialog = wait_for_window("COB Configuration");
                        ASSERT_NE(dialog, nullptr) << "no configuration dialog";
                        EXPECT_EQ(text_of(GetDlgItem(dialog, 1028)), kStart.image_search_path);
                        EXPECT_EQ(text_of(GetDlgItem(dialog, 1024)), kStart.log_file_name);
                        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, 1027)));  // content directory hidden
                        for (const std::string& step : c.steps) run_step(dialog, step);
                        EXPECT_TRUE(wait_until([&] { return gone(dialog); }));
                    });
        EXPECT_EQ(read_profile().tied(), c.expected.tied());
    }
}

TEST_F(PluginWindows, HelpWindowClosesWithOk) {
    drive_while([&] { importer_->ShowHelp(); }, [] { check_and_close_help(nullptr, "help"); });
}

// The progress window during an import large enough to watch: it shows the
// file, moves its bars and holds the host's window disabled until it goes.
TEST_F(PluginWindows, ProgressWindowDuringImport) {
    cobtest::Polygon mesh;
    mesh.axes.name = "Grid";
    const int side = 500;
    for (int v = 0; v < side * side; ++v) {
        mesh.vertices.push_back({float(v % side), float(v / side), 0});
        if (v % side + 1 < side && v / side + 1 < side)
            mesh.faces.push_back({.corners = {{v, 0}, {v + 1, 0}, {v + side + 1, 0}, {v + side, 0}}});
    }
    mesh.uvs.push_back({0, 0});
    const std::string file = kTmp + "\\grid.cob";
    cobtest::CobFile(cobtest::Encoding::Ascii).polygon(1, 0, mesh).end().write(file);
    write_profile(kStart);

    HWND host = CreateWindowExA(0, "STATIC", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 600, 450, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(host, nullptr);
    SetActiveWindow(host);
    DWORD_PTR row2_most = 0;
    MScene* scene = nullptr;
    drive_while(
        [&] {
            importer_->SetShowProgress(1);
            scene = importer_->Import(const_cast<char*>(file.c_str()));
        },
        [&] {
            HWND progress = wait_for_window("COB Import");
            ASSERT_NE(progress, nullptr) << "no progress window";
            EXPECT_EQ(text_of(progress), "COB Import " + file);
            EXPECT_FALSE(IsWindowEnabled(host)) << "the host's window stays usable during the import";
            EXPECT_EQ(text_of(GetDlgItem(progress, 1005)), file + "        ");
            EXPECT_EQ(text_of(GetDlgItem(progress, 1011)), "Status");  // row 3 is never driven
            // The window answers only while the import pumps its messages:
            // looked at now and then, it keeps the import going.
            bool shot = false;
            wait_until(
                [&] {
                    DWORD_PTR position = 0;
                    if (SendMessageTimeoutA(GetDlgItem(progress, 1006), PBM_GETPOS, 0, 0, SMTO_BLOCK, 5000,
                                            &position) &&
                        position > row2_most)
                        row2_most = position;
                    if (!shot && text_of(GetDlgItem(progress, 1008)) == "Faces ...") {
                        screenshot("progress");
                        shot = true;
                    }
                    return gone(progress);
                },
                120000, 10);
            EXPECT_TRUE(shot) << "no picture of the faces being read";  // row 2's third phase
        });
    EXPECT_TRUE(IsWindowEnabled(host)) << "the host's window stays disabled after the import";
    EXPECT_GT(row2_most, 0u);  // a bar moved while it was looked at
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->Get_ObjectList()->count, 1u);
    delete scene;
    DestroyWindow(host);
}

// The Open dialog of ImportInteractive: the importer's title and file types,
// and it opens on the folder of the file last chosen; a name typed and taken
// with Open is imported (window and scene carry its full path), Cancel
// imports nothing. Either way the current directory is the one before,
// though the dialog moves to the chosen file's folder.
std::string progress_caption;  // the last caption of a progress window

LRESULT CALLBACK note_progress_caption(int code, WPARAM w, LPARAM l) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(l);
    if (code == HC_ACTION && m->message == WM_SETTEXT &&
        std::string(reinterpret_cast<const char*>(m->lParam)).rfind("COB Import", 0) == 0)
        progress_caption = reinterpret_cast<const char*>(m->lParam);
    return CallNextHookEx(nullptr, code, w, l);
}

TEST_F(PluginWindows, OpenDialog) {
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, note_progress_caption, nullptr, GetCurrentThreadId());
    char scratch[MAX_PATH] = "", before[MAX_PATH] = "", after[MAX_PATH] = "";
    GetFullPathNameA((kTmp + "\\open").c_str(), MAX_PATH, scratch, nullptr);
    CreateDirectoryA(scratch, nullptr);
    CreateDirectoryA((std::string(scratch) + "\\sub").c_str(), nullptr);
    const char* objects[] = {"A", "B", "C"};
    const struct {
        const char *typed, *file;  // typed null: Cancel; "\\..." in the scratch folder
        unsigned objects;
        cobtest::Encoding encoding;
    } cases[] = {{nullptr, "cancel.cob", 1, cobtest::Encoding::Ascii},
                 {"\\sub\\three.cob", "sub\\three.cob", 3, cobtest::Encoding::Ascii},
                 {"caf\xe9 scene.scn", "sub\\caf\xe9 scene.scn", 2, cobtest::Encoding::Binary}};  // the picture
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        cobtest::CobFile cob(c.encoding);
        for (unsigned n = 0; n < c.objects; ++n) {
            cobtest::Polygon mesh;
            mesh.axes.name = objects[n];
            mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
            mesh.faces.push_back({.corners = {{0, 0}, {1, 0}, {2, 0}}});
            mesh.uvs.push_back({0, 0});
            cob.polygon(int32_t(n + 1), 0, mesh);
        }
        const std::string path = std::string(scratch) + "\\" + c.file;
        cob.end().write(path);
        write_profile(kStart);
        GetCurrentDirectoryA(MAX_PATH, before);
        SetCurrentDirectoryA(scratch);
        MScene* scene = nullptr;
        progress_caption.clear();
        importer_->SetShowProgress(1);
        drive_while([&] { scene = importer_->ImportInteractive(); },
                    [&] {
                        HWND open = wait_for_window("Open");
                        ASSERT_NE(open, nullptr) << "no Open dialog";
                        EXPECT_EQ(text_of(open), "Open");
                        HWND types = GetDlgItem(open, cmb1);
                        std::string shown;
                        for (int i = 0; i < SendMessageA(types, CB_GETCOUNT, 0, 0); ++i) {
                            char item[256] = "";
                            SendMessageA(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
                            shown += item + std::string("|");
                        }
                        EXPECT_EQ(shown, "Truespace File     (*.scn;*.cob)|All Files                (*.*)|");
                        if (c.typed == nullptr) return click(open, IDCANCEL);
                        type_into(open, cmb13, (c.typed[0] == '\\' ? scratch : "") + std::string(c.typed));
                        screenshot("open_typed");
                        click(open, IDOK);
                        EXPECT_TRUE(wait_until([&] { return gone(open); }));
                    });
        GetCurrentDirectoryA(MAX_PATH, after);
        SetCurrentDirectoryA(before);
        EXPECT_STREQ(after, scratch);
        EXPECT_EQ(progress_caption, c.typed != nullptr ? "COB Import " + path : "");
        if (c.typed == nullptr) {
            EXPECT_EQ(scene, nullptr);
            continue;
        }
        ASSERT_NE(scene, nullptr);
        EXPECT_EQ(scene->get_name(), path);
        EXPECT_EQ(scene->Get_ObjectList()->count, c.objects);
        delete scene;
    }
    UnhookWindowsHookEx(hook);
}

}  // namespace
