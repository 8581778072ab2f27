// ui_demo: shows the plug-in's windows without the plug-in, on the terminal
// when standard input and output are one.
//
//   ui_demo config [LOG-FILE [VERBOSE [HOME-PATH [IMAGE-SEARCH-PATH]]]]
//   ui_demo help
//   ui_demo browse [START-FOLDER [TITLE]]
//   ui_demo progress [REPORTS [DELAY-MS]]
//
// Prints what the window gave back once it is closed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <time.h>

#include "cob_config_dialog.h"
#include "cob_help_dialog.h"
#include "cob_progress_dialog.h"
#include "folder_chooser.h"
#include "platform/frontend.h"
#include "progress_callbacks.h"
#include "search_path.h"

namespace {

int run_config(int argc, char** argv) {
    CobConfigDialog dialog(nullptr);
    cob_paths::copy_text(dialog.log_file_name, sizeof dialog.log_file_name, argc > 2 ? argv[2] : "scnin.log");
    dialog.verbose = argc > 3 ? std::atoi(argv[3]) : 0;
    cob_paths::copy_text(dialog.home_path, sizeof dialog.home_path, argc > 4 ? argv[4] : "c:\\Truespace\\");
    cob_paths::copy_text(dialog.image_search_path, sizeof dialog.image_search_path, argc > 5 ? argv[5] : "");
    intptr_t result = dialog.DoModal();
    std::printf("result=%d\nverbose=%d\nlog_file_name=%s\nhome_path=%s\nimage_search_path=%s\n",
                static_cast<int>(result), dialog.verbose, dialog.log_file_name, dialog.home_path,
                dialog.image_search_path);
    return 0;
}

int run_help() {
    CobHelpDialog dialog(nullptr);
    std::printf("result=%d\n", static_cast<int>(dialog.DoModal()));
    return 0;
}

int run_browse(int argc, char** argv) {
    char start[MAX_PATH];
    cob_paths::copy_text(start, sizeof start, argc > 2 ? argv[2] : "C:\\");
    const char* folder = browse_for_folder(start, argc > 3 ? argv[3] : nullptr);
    std::printf("chosen=%s\n", folder != nullptr ? folder : "(none)");
    return 0;
}

int run_progress(int argc, char** argv) {
    long reports = argc > 2 ? std::atol(argv[2]) : 200;
    long delay_ms = argc > 3 ? std::atol(argv[3]) : 10;
    auto* window = new CobProgressDialog(nullptr);
    progress_window = window;
    window->file_name = "demo.scn";
    window->Create(nullptr);
    report_status_1("%s        ", "demo.scn");
    report_progress_1(100, 100);
    report_status_2("Vertices ...");
    for (long i = 0; i < reports; ++i) {
        report_progress_2(i, reports);
        timespec pause{delay_ms / 1000, (delay_ms % 1000) * 1000000};
        nanosleep(&pause, nullptr);
    }
    int cancelled = window->cancel_requested;
    window->DestroyWindow();
    delete window;
    std::printf("reports=%ld cancel_requested=%d\n", reports, cancelled);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_demo config|help|browse|progress [arguments]\n");
        return 2;
    }
    vxp::select_front_end(vxp::terminal_available() ? vxp::FrontEnd::terminal : vxp::FrontEnd::headless);
    vxp::create_main_window("ui_demo");
    std::string what = argv[1];
    int status = 2;
    if (what == "config") {
        status = run_config(argc, argv);
    } else if (what == "help") {
        status = run_help();
    } else if (what == "browse") {
        status = run_browse(argc, argv);
    } else if (what == "progress") {
        status = run_progress(argc, argv);
    } else {
        std::fprintf(stderr, "ui_demo: unknown window %s\n", what.c_str());
    }
    vxp::destroy_main_window();
    vxp::select_front_end(vxp::FrontEnd::headless);
    return status;
}
