// vertexa_rc, run as the build runs it, on resource scripts of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

#include "../host/host_test_util.h"

namespace {

using host_test::read_file;

struct Compiled {
    int status = -1;
    std::string output;  // the written source
    std::string errors;
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

TEST(ResourceCompiler, DialogTemplateWithDefaultsAndNot) {
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
)",
                    "#define IDD_DEMO 7\n#define IDC_HIDDEN 0x10\n#define IDC_EDIT 17\n#define IDC_BAR 18\n"
                    "#define IDC_BOX IDC_BAR\n");
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::string& o = r.output;
    // pop-up | caption | modal frame, and DS_SETFONT for the FONT line
    EXPECT_NE(o.find("{7, \"Demo \\\"quoted\\\"\", \"MS Sans Serif\", 8, 0, 0, 100, 50, 0x80c000c0u"), std::string::npos) << o;
    EXPECT_NE(o.find("{\"Button\", \"&OK\", 1, 40, 30, 50, 14, 0x50010001u}"), std::string::npos) << o;
    EXPECT_NE(o.find("{\"Button\", \"Hidden\", 16, 0, 0, 10, 10, 0x48010000u}"), std::string::npos) << o;
    EXPECT_NE(o.find("{\"Edit\", \"\", 17, 5, 5, 60, 12, 0x50800080u}"), std::string::npos) << o;
    EXPECT_NE(o.find("{\"Static\", \"left\", 65535, 5, 20, 20, 8, 0x50020000u}"), std::string::npos) << o;
    EXPECT_NE(o.find("{\"msctls_progress32\", \"bar\", 18, 1, 2, 3, 4, 0x50800000u}"), std::string::npos) << o;
    EXPECT_NE(o.find("{\"Button\", \"box\", 18, 1, 2, 3, 4, 0x50010003u}"), std::string::npos) << o;
    EXPECT_NE(o.find("AfxGetStaticModuleState()"), std::string::npos);
}

TEST(ResourceCompiler, StringTableEscapes) {
    Compiled r = compile("STRINGTABLE DISCARDABLE\nBEGIN\n  1 \"a\\tb\\nc \\\\d \"\"q\"\"\"\n  2, \"why??\"\n"
                    "  3 \"\xe9t\xe9\"\nEND\n");
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_NE(r.output.find("{1, \"a\\011b\\012c \\\\d \\\"q\\\"\"}"), std::string::npos) << r.output;
    // '?' is written escaped, so no trigraph can form; other bytes in octal.
    EXPECT_NE(r.output.find("{2, \"why\\077\\077\"}"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("{3, \"\\351t\\351\"}"), std::string::npos) << r.output;
}

TEST(ResourceCompiler, ErrorsNameTheLineAndWriteNothing) {
    struct Case {
        std::string script;
        std::string message;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        Compiled r = compile(c.script);
        EXPECT_EQ(r.status, 1) << c.script;
        EXPECT_NE(r.errors.find(c.message), std::string::npos) << c.script << "\n" << r.errors;
        EXPECT_FALSE(r.written) << c.script;
    }
}

TEST(ResourceCompiler, UsageAndUnreadableScript) {
    const std::string folder = host_test::scratch_folder();
    EXPECT_EQ(WEXITSTATUS(std::system((std::string(VERTEXA_BIN_DIR) + "/vertexa_rc 2>/dev/null").c_str())), 2);
    const int raw = std::system(
        (std::string(VERTEXA_BIN_DIR) + "/vertexa_rc /nonexistent.rc " + folder + "/x.cpp 2>/dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_FALSE(std::filesystem::exists(folder + "/x.cpp"));
}

}  // namespace
