// The configuration dialog as built from the compiled template of scn_in.rc.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cob_config_dialog.h"
#include "resource.h"
#include "ui_test_util.h"

namespace {

class Templates : public UiTest {};

// The hidden content directory controls of the configuration dialog stay out
// of reach of Tab, clicks and typing.
TEST_F(Templates, ConfigurationDialog) {
    CobConfigDialog dialog(nullptr);
    std::strcpy(dialog.home_path, "c:\\Truespace");
    std::vector<int> order;
    auto note_focus = [&](HWND) { order.push_back(vxp::inspect(GetFocus()).id); };
    vxp::script_call(note_focus);  // OnInitDialog returned TRUE: the first tab stop, OK, has the focus
    for (bool back : {false, false, false, false, false, false, false, true}) {
        vxp::script_key(VK_TAB, back);
        vxp::script_call(note_focus);
    }
    vxp::script_click(IDC_SET_HOME_PATH);
    vxp::script_focus(IDC_HOME_PATH);
    vxp::script_type("x");
    vxp::script_call([](HWND d) { EXPECT_EQ(text_of(d, IDC_HOME_PATH), "c:\\Truespace"); });
    vxp::script_key(VK_ESCAPE);
    int runs = vxp::browser_info().runs;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(order, std::vector<int>({1, 2, 1024, 1025, 3, 1028, 1038, 1, 1038}));
    EXPECT_EQ(vxp::browser_info().runs, runs);
    EXPECT_STREQ(dialog.home_path, "c:\\Truespace");
}

}  // namespace
