// A fixture for the user interface: the resources are those of `state` (the
// plug-in's by default), the headless front end runs a script that starts
// empty and must be used up, and a main window stands for the host's. Every
// window must be gone at the end of a test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/frontend.h"
#include "platform/mfc.h"

class UiTest : public ::testing::Test {
protected:
    explicit UiTest(AFX_MODULE_STATE* state = AfxGetStaticModuleState()) : module_state_(state) {}
    void SetUp() override {
        vxp::select_front_end(vxp::FrontEnd::headless);
        vxp::script_clear();
        vxp::set_pump_observer(nullptr);
        vxp::set_shell_allocator_available(true);
        main_window = vxp::create_main_window("host");
    }
    void TearDown() override {
        EXPECT_EQ(vxp::script_remaining(), 0u) << "script steps left over";
        EXPECT_EQ(vxp::script_mismatches(), 0u);
        vxp::set_pump_observer(nullptr);
        vxp::destroy_main_window();
        EXPECT_TRUE(vxp::top_level_windows().empty()) << "a window was left open";
        vxp::script_clear();
    }

    static std::string text_of(HWND dialog, int id) { return vxp::inspect(vxp::dialog_item(dialog, id)).text; }

    AFX_MAINTAIN_STATE2 module_state_;
    HWND main_window = nullptr;
};

// A step of a headless script, for tables of them: `id` is the control (or
// the key); set_text gives a control its text as a program does, and the
// last three check the waiting dialog.
struct Step {
    enum Kind { key, back_key, focus, type, set_text, click, close, browse, browse_cancel, text_is, check_is, focus_is };
    Kind kind;
    int id = 0;
    std::string text = {};  // typed, the folder browsed to, or the expected text
};

inline void play(const std::vector<Step>& steps) {
    for (const Step& s : steps) {
        if (s.kind == Step::key || s.kind == Step::back_key) vxp::script_key(s.id, s.kind == Step::back_key);
        if (s.kind == Step::focus) vxp::script_focus(s.id);
        if (s.kind == Step::type) vxp::script_type(s.text);
        if (s.kind == Step::set_text)
            vxp::script_call([s](HWND d) {
                SendMessageA(vxp::dialog_item(d, s.id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.text.c_str()));
            });
        if (s.kind == Step::click) vxp::script_click(s.id);
        if (s.kind == Step::close) vxp::script_close();
        if (s.kind == Step::browse) vxp::script_browse_choose(s.text);
        if (s.kind == Step::browse_cancel) vxp::script_browse_cancel();
        if (s.kind == Step::text_is)  // of the dialog itself for id 0
            vxp::script_call([s](HWND d) {
                EXPECT_EQ(vxp::inspect(s.id == 0 ? d : vxp::dialog_item(d, s.id)).text, s.text) << s.id;
            });
        if (s.kind == Step::check_is)
            vxp::script_call([s](HWND d) {
                EXPECT_EQ(std::to_string(vxp::inspect(vxp::dialog_item(d, s.id)).check), s.text) << s.id;
            });
        if (s.kind == Step::focus_is)
            vxp::script_call([s](HWND) { EXPECT_EQ(vxp::inspect(GetFocus()).id, s.id); });
    }
}
