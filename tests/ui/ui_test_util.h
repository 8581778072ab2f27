// A fixture for the user interface: the plug-in's resources are the current
// module's, the headless front end runs an empty script, and a main window
// stands for the host's. Every window must be gone at the end of a test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/frontend.h"
#include "platform/mfc.h"

class UiTest : public ::testing::Test {
protected:
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

    AFX_MAINTAIN_STATE2 module_state_{AfxGetStaticModuleState()};
    HWND main_window = nullptr;
};
