// The platform's windows, dialogs and queue over templates of the test's own,
// and the resource compiler that makes such templates.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "../host/host_test_util.h"
#include "../ui/ui_test_util.h"
#include "platform/frontend.h"
#include "platform/mfc.h"

namespace {

constexpr int kEdit = 10, kOther = 11, kPush = 12, kOff = 13, kBox = 14, kHidden = 15;

const vxp::ControlTemplate kControls[] = {
    {"Button", "&OK", IDOK, 100, 80, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON},
    {"Edit", "", kEdit, 10, 10, 80, 12, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER},
    {"Static", "label", 65535, 10, 30, 40, 8, WS_CHILD | WS_VISIBLE},
    {"Edit", "", kOther, 10, 40, 80, 12, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER},
    {"Button", "Push", kPush, 10, 60, 40, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP},
    {"Button", "Off", kOff, 60, 60, 40, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_DISABLED},
    {"Button", "Box", kBox, 10, 80, 40, 10, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX},
    {"Edit", "", kHidden, 10, 90, 40, 10, WS_CHILD | WS_TABSTOP},
    {"msctls_progress32", "", 20, 10, 100, 100, 8, WS_CHILD | WS_VISIBLE},
};
const vxp::DialogTemplate kDialogs[] = {
    {50, "Test", "MS Sans Serif", 8, 0, 0, 160, 120, WS_POPUP | WS_CAPTION, kControls,
     static_cast<int>(sizeof kControls / sizeof kControls[0])},
};
const vxp::ModuleResources kResources = {"test", kDialogs, 1, nullptr, 0};
AFX_MODULE_STATE test_module = {&kResources};

// Records what reaches the handlers.
class TestDialog : public CDialog {
public:
    TestDialog() : CDialog(50, nullptr) {}
    std::vector<std::string> events;
    CString text;
    int max_chars = 100;

protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Text(dx, kOther, text);
        DDV_MaxChars(dx, text, max_chars);
    }
    void OnEditKill() { events.push_back("kill:" + std::string(vxp::inspect(vxp::dialog_item(m_hWnd, kEdit)).text)); }
    void OnPush() { events.push_back("push"); }
    void OnBox() { events.push_back("box"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDialog, CDialog)
    ON_EN_KILLFOCUS(kEdit, OnEditKill)
    ON_BN_CLICKED(kPush, OnPush)
    ON_BN_CLICKED(kBox, OnBox)
END_MESSAGE_MAP()

// A class further down whose own map is empty: handlers come from the base's.
class DerivedDialog : public TestDialog {
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(DerivedDialog, TestDialog)
END_MESSAGE_MAP()

class Platform : public UiTest {
protected:
    Platform() : UiTest(&test_module) {}
};

// Handlers come from the base class's map; kill-focus also reaches the
// dialog when it closes with the focus still in the edit.
TEST_F(Platform, KillFocusAndButtonsReachTheHandlers) {
    DerivedDialog d;
    using enum Step::Kind;
    play({{focus, kEdit}, {type, 0, "ab"}, {key, VK_BACK}, {type, 0, "c"},
          {focus, kPush},                      // leaving the edit: the first notification
          {key, VK_RETURN}, {type, 0, " "},    // Enter and Space on a button click it
          {click, kOff},                       // disabled: nothing
          {click, kBox}, {type, 0, " "}, {check_is, kBox, "0"}, {click, kBox}, {check_is, kBox, "1"},
          {focus, kEdit}, {type, 0, "d"}, {key, VK_RETURN}});  // Enter on an edit: the default button, OK
    EXPECT_EQ(d.DoModal(), IDOK);
    EXPECT_EQ(d.events, std::vector<std::string>({"kill:ac", "push", "push", "box", "box", "box", "kill:acd"}));
}

// Edit keys on texts with UTF-8 characters: the caret, Backspace and Delete
// take whole characters; typing goes in at the caret, replacing a selection
// (as tabbing in makes one).
TEST_F(Platform, EditKeysTakeWholeCharacters) {
    using enum Step::Kind;
    TestDialog d;
    play({{focus, kEdit}, {set_text, kEdit, "a\xC3\xA9"}, {key, VK_BACK}, {text_is, kEdit, "a"},
          {set_text, kEdit, "\xC3\xA9" "b"}, {key, VK_HOME}, {key, VK_DELETE}, {text_is, kEdit, "b"},
          {set_text, kEdit, "a\xE2\x82\xAC" "b"}, {key, VK_LEFT}, {key, VK_LEFT}, {type, 0, "x"},
          {text_is, kEdit, "ax\xE2\x82\xAC" "b"}, {set_text, kEdit, "abc"}, {key, VK_END}, {key, VK_LEFT},
          {key, VK_BACK}, {type, 0, "X"}, {text_is, kEdit, "aXc"}, {focus, kOther}, {back_key, VK_TAB},
          {type, 0, "z"}, {text_is, kEdit, "z"}, {key, VK_ESCAPE}});
    EXPECT_EQ(d.DoModal(), IDCANCEL);
}

TEST_F(Platform, DataExchangeLimitsAndRefusesOverlongTexts) {
    TestDialog d;
    d.text = "start";
    d.max_chars = 8;
    // Typing stops at the limit.
    play({{Step::text_is, kOther, "start"}, {Step::focus, kOther}, {Step::type, 0, "123456"},
          {Step::text_is, kOther, "start123"}, {Step::key, VK_RETURN}});
    EXPECT_EQ(d.DoModal(), IDOK);
    EXPECT_STREQ(d.text, "start123");

    // A text set longer than the limit fails the exchange: OK stays open.
    TestDialog e;
    e.max_chars = 3;
    play({{Step::set_text, kOther, "toolong"}, {Step::click, IDOK}, {Step::text_is, kOther, "toolong"},
          {Step::key, VK_ESCAPE}});
    EXPECT_EQ(e.DoModal(), IDCANCEL);
    EXPECT_EQ(CDialog(99).DoModal(), -1);  // no such template
}

// A modeless dialog: text reads, a progress bar, and
// what its destruction drops.
TEST_F(Platform, ModelessDialogControls) {
    TestDialog d;
    ASSERT_TRUE(d.Create(50));
    d.SetDlgItemText(kEdit, "abcdefghij");
    char buffer[8] = "#######";
    EXPECT_EQ(d.GetDlgItemText(kEdit, buffer, 5), 4u);  // reads never pass their buffer
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(buffer[5], '#');
    EXPECT_EQ(d.GetDlgItemText(kEdit, buffer, 0), 0u);
    EXPECT_EQ(d.GetDlgItemText(999, buffer, 8), 0u);  // no such control: empty
    EXPECT_STREQ(buffer, "");

    CProgressCtrl bar;
    CDataExchange dx(&d, FALSE);
    DDX_Control(&dx, 20, bar);
    ASSERT_NE(bar.m_hWnd, nullptr);
    bar.SetRange(10, 50);
    EXPECT_EQ(bar.SetPos(70), 10);  // the previous position; the new one clamped
    EXPECT_EQ(bar.SetPos(-4), 50);
    EXPECT_EQ(bar.GetPos(), 10);
    EXPECT_EQ(bar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 100)), MAKELONG(10, 50));
    EXPECT_EQ(bar.SetStep(3), 10);

    HWND push = vxp::dialog_item(d.m_hWnd, kPush);
    PostMessageA(push, BM_CLICK, 0, 0);
    d.DestroyWindow();
    EXPECT_EQ(bar.m_hWnd, nullptr);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "messages to destroyed windows are dropped";
    EXPECT_FALSE(IsWindow(push));
    EXPECT_EQ(SendMessageA(push, WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_TRUE(d.events.empty());
}

TEST_F(Platform, FileDialogScriptMismatchesAndCurrentDirectory) {
    CFileDialog open(TRUE, nullptr, "x.cob", 6, "Truespace|*.cob||");
    vxp::script_file_choose("/tmp/a.cob");
    EXPECT_EQ(open.DoModal(), IDOK);
    EXPECT_STREQ(open.GetPathName(), "/tmp/a.cob");
    vxp::script_file_cancel();
    EXPECT_EQ(open.DoModal(), IDCANCEL);
    // A script step of the wrong kind is a cancel, not a hang, and stays for
    // the dialog that comes next.
    vxp::script_click(IDOK);
    EXPECT_EQ(open.DoModal(), IDCANCEL);
    EXPECT_EQ(vxp::script_mismatches(), 1u);
    EXPECT_EQ(TestDialog().DoModal(), IDOK);

    char small[2], cwd[4096], buffer[MAX_PATH * 4];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(GetCurrentDirectoryA(sizeof small, small), std::strlen(cwd) + 1);
    EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), std::strlen(cwd));
    EXPECT_STREQ(buffer, cwd);
    EXPECT_FALSE(SetCurrentDirectoryA("/no/such/folder"));
    EXPECT_FALSE(SetCurrentDirectoryA(nullptr));
    vxp::script_clear();
}

// vertexa_rc, run as the build runs it, on resource scripts of the test's own.
using host_test::read_file;

struct Compiled {
    int status = -1;
    std::string output, errors;  // the written source, the messages
    bool written = false;
};

// Compiles `script` (with `header` as ids.h) in the test's folder, emptied first.
Compiled compile(const std::string& script, const std::string& header = "") {
    const std::string base = host_test::scratch_folder();
    host_test::write_file(base + "/res.rc", script);
    if (!header.empty()) host_test::write_file(base + "/ids.h", header);
    const std::string out = base + "/out.cpp";
    const int raw = std::system((std::string(VERTEXA_BIN_DIR) + "/vertexa_rc " + base + "/res.rc " + out +
                                 " demo 2>" + base + "/err.txt").c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(out), read_file(base + "/err.txt"),
            std::filesystem::exists(out)};
}

// A dialog with its styles given, implied and taken away, and strings with
// escapes.
TEST(ResourceCompiler, DialogTemplateAndStringTable) {
    Compiled r = compile(R"(#include "ids.h"
#include "afxres.h"
/* a block
   comment */
IDD_DEMO DIALOGEX 0, 0, 100, 50, 0
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION
CAPTION "Demo ""quoted"""
FONT 8, "MS Sans Serif", 0, 0, 0x1
BEGIN
    DEFPUSHBUTTON "&OK",IDOK,40,30,50,14
    PUSHBUTTON    "Hidden",IDC_HIDDEN,0,0,10,10,NOT WS_VISIBLE | WS_DISABLED
    EDITTEXT      IDC_EDIT,5,5,60,12,ES_AUTOHSCROLL | NOT WS_TABSTOP
    LTEXT         "left",IDC_STATIC,5,20,20,8
    CONTROL       "bar",IDC_BAR,"msctls_progress32",WS_BORDER,1,2,3,4
    CONTROL       "box",IDC_BOX,"button",BS_AUTOCHECKBOX | WS_TABSTOP,1,2,3,4
END
)"
                         "STRINGTABLE DISCARDABLE\nBEGIN\n  1 \"a\\tb\\nc \\\\d \"\"q\"\"\"\n  2, \"why??\"\n"
                         "  3 \"\xe9t\xe9\"\nEND\n",
                    "#define IDD_DEMO 7\n#define IDC_HIDDEN 0x10\n#define IDC_EDIT 17\n#define IDC_BAR 18\n"
                    "#define IDC_BOX IDC_BAR\n");
    ASSERT_EQ(r.status, 0) << r.errors;
    // pop-up | caption | modal frame, and DS_SETFONT for the FONT line; in
    // the strings '?' is written escaped, so no trigraph can form, other
    // bytes in octal.
    for (const char* want : {"{7, \"Demo \\\"quoted\\\"\", \"MS Sans Serif\", 8, 0, 0, 100, 50, 0x80c000c0u",
                             "{\"Button\", \"&OK\", 1, 40, 30, 50, 14, 0x50010001u}",
                             "{\"Button\", \"Hidden\", 16, 0, 0, 10, 10, 0x48010000u}",
                             "{\"Edit\", \"\", 17, 5, 5, 60, 12, 0x50800080u}",
                             "{\"Static\", \"left\", 65535, 5, 20, 20, 8, 0x50020000u}",
                             "{\"msctls_progress32\", \"bar\", 18, 1, 2, 3, 4, 0x50800000u}",
                             "{\"Button\", \"box\", 18, 1, 2, 3, 4, 0x50010003u}", "AfxGetStaticModuleState()",
                             "{1, \"a\\011b\\012c \\\\d \\\"q\\\"\"}", "{2, \"why\\077\\077\"}",
                             "{3, \"\\351t\\351\"}"})
        EXPECT_NE(r.output.find(want), std::string::npos) << want << "\n" << r.output;
}

TEST(ResourceCompiler, ErrorsNameTheLineAndWriteNothing) {
    const struct {
        std::string script, message;
    } cases[] = {
        {"1 DIALOG 0,0,10,10\nBEGIN\n PUSHBUTTON \"x\",IDC_NOPE,0,0,1,1\nEND\n", ":3: unknown name IDC_NOPE"},
        {"STRINGTABLE\nBEGIN\n 1 \"open\nEND\n", ":3: unterminated text"},
        {"#include \"missing.h\"\n", ":1: cannot read missing.h"},
        {"#ifdef X\n", ":1: unsupported directive #ifdef"},
        {"/* never closed\n1 DIALOG 0,0,1,1\n", "unterminated comment"},
        {"1 DIALOG 0,0,10,10\nBEGIN\n SLIDER \"x\",1,0,0,1,1\nEND\n", ":3: unknown control statement SLIDER"},
        {"1 DIALOG 0,0,10,10\nBEGIN\n", "END expected"},
        {"1 MENU\n", ":1: DIALOG, DIALOGEX or STRINGTABLE expected"},
        {"STRINGTABLE\nBEGIN\n 1 \"a\\qb\"\nEND\n", "unknown escape \\q"},
        {"1 DIALOG 0,0 10,10\n", ":1: ',' expected"},
    };
    for (const auto& c : cases) {
        Compiled r = compile(c.script);
        EXPECT_EQ(r.status, 1) << c.script;
        EXPECT_NE(r.errors.find(c.message), std::string::npos) << c.script << "\n" << r.errors;
        EXPECT_FALSE(r.written) << c.script;
    }
    const std::string folder = host_test::scratch_folder();  // without arguments, or the script unreadable
    EXPECT_EQ(WEXITSTATUS(std::system((std::string(VERTEXA_BIN_DIR) + "/vertexa_rc 2>/dev/null").c_str())), 2);
    const int raw = std::system(
        (std::string(VERTEXA_BIN_DIR) + "/vertexa_rc /nonexistent.rc " + folder + "/x.cpp 2>/dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_FALSE(std::filesystem::exists(folder + "/x.cpp"));
}

}  // namespace
