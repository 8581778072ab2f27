#include "progress_import.h"

#include "cob_import_options.h"
#include "cob_progress_dialog.h"
#include "import_file.h"
#include "platform/frontend.h"
#include "platform/mfc.h"
#include "progress_callbacks.h"
#include "vertexa/scene.h"

MScene* import_scene_with_progress(const std::string& path) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    vxp::FrontEnd previous = vxp::current_front_end();
    vxp::select_front_end(vxp::FrontEnd::terminal);
    vxp::create_main_window("vertexa");

    MScene* scene = nullptr;
    if (auto* options = new CobImportOptions) {
        options->Set_Filename(path.c_str());
        auto* callbacks = new MessageCallBack1(report_status_1, report_progress_1, report_status_2,
                                               report_progress_2, report_status_3, report_progress_3);
        if (callbacks != nullptr) {
            show_progress = 1;
            auto* window = new CobProgressDialog(nullptr);
            progress_window = window;
            window->file_name = options->Get_Filename();
            window->Create(nullptr);
            scene = new MScene(path.c_str());
            if (scene != nullptr) import_file(scene, options, callbacks);
            window->DestroyWindow();
            delete window;
            delete callbacks;
        }
        delete options;
    }
    vxp::destroy_main_window();
    vxp::select_front_end(previous);
    return scene;
}
