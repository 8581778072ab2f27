#include "cob_importer.h"

#include <cstring>

#include "cob_config_dialog.h"
#include "cob_help_dialog.h"
#include "cob_import_options.h"
#include "cob_progress_dialog.h"
#include "import_file.h"
#include "platform/mfc.h"
#include "progress_callbacks.h"
#include "vertexa/scene.h"
#include "vertexa/services.h"

namespace {

constexpr unsigned kDirectorySize = 260;

// Copies at most size - 1 characters and always terminates.
void copy_text(char* out, const char* in, size_t size) {
    const size_t n = ::strnlen(in, size - 1);
    std::memmove(out, in, n);
    out[n] = '\0';
}

}  // namespace

CobImporter::CobImporter() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    filter_copy = my_strdup("");
}

CobImporter::~CobImporter() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    my_free(filter_copy);
}

void CobImporter::DeleteThis() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    delete this;
}

void CobImporter::ShowHelp() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    auto* help = new CobHelpDialog(nullptr);
    if (help == nullptr) return;
    help->DoModal();
    delete help;
}

void CobImporter::Configure() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    auto* dialog = new CobConfigDialog(nullptr);
    if (dialog == nullptr) return;
    auto* options = new CobImportOptions;
    if (options == nullptr) {
        delete dialog;
        return;
    }
    copy_text(dialog->log_file_name, options->Get_LogFileName(), sizeof dialog->log_file_name);
    dialog->verbose = options->Get_Verbose();
    copy_text(dialog->home_path, options->home_path, sizeof dialog->home_path < 260 ? sizeof dialog->home_path : 260);
    copy_text(dialog->image_search_path, options->image_search_path, sizeof dialog->image_search_path);
    if (dialog->DoModal() == IDOK) {
        options->Set_LogFileName(dialog->log_file_name);
        options->Set_Verbose(dialog->verbose);
        copy_text(options->home_path, dialog->home_path, sizeof options->home_path);
        copy_text(options->image_search_path, dialog->image_search_path, sizeof options->image_search_path);
    }
    // The options store themselves in the profile, changed or not.
    delete options;
    delete dialog;
}

CobImportOptions* CobImporter::begin_import(char* saved_directory) {
    GetCurrentDirectoryA(kDirectorySize, saved_directory);
    auto* options = new CobImportOptions;
    if (options != nullptr) options->Set_HostData(reinterpret_cast<void*>(static_cast<uintptr_t>(host_data)));
    return options;
}

MScene* CobImporter::Import(char* file_name) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    char saved_directory[kDirectorySize] = {};
    CobImportOptions* options = begin_import(saved_directory);
    if (options == nullptr) return nullptr;
    options->Set_Filename(file_name != nullptr ? file_name : "");
    return import_with(options, saved_directory);
}

MScene* CobImporter::ImportInteractive() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    char saved_directory[kDirectorySize] = {};
    CobImportOptions* options = begin_import(saved_directory);
    if (options == nullptr) return nullptr;
    CFileDialog file_dialog(TRUE, nullptr, options->Get_Filename(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                            options->Get_Filter(), nullptr);
    if (file_dialog.DoModal() != IDOK) {
        delete options;
        SetCurrentDirectoryA(saved_directory);
        return nullptr;
    }
    char chosen[kDirectorySize];
    copy_text(chosen, file_dialog.GetPathName(), sizeof chosen);
    options->Set_Filename(chosen);
    return import_with(options, saved_directory);
}

MScene* CobImporter::import_with(CobImportOptions* options, const char* saved_directory) {
    auto* callbacks = new MessageCallBack1(report_status_1, report_progress_1, report_status_2, report_progress_2,
                                           report_status_3, report_progress_3);
    MScene* scene = nullptr;
    if (callbacks != nullptr) {
        if (show_progress != 0) {
            progress_window = new CobProgressDialog(nullptr);
            if (progress_window != nullptr) {
                progress_window->file_name = options->Get_Filename();
                progress_window->Create(nullptr);
            }
        }
        scene = new MScene(options->Get_Filename());
        if (scene != nullptr) import_file(scene, options, callbacks);
        if (show_progress != 0 && progress_window != nullptr) {
            progress_window->DestroyWindow();
            delete progress_window;
        }
        // The record is plain data: released without a destructor.
        my_free(callbacks);
    }
    delete options;
    SetCurrentDirectoryA(saved_directory);
    return scene;
}

int CobImporter::Query() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return 0;
}

char* CobImporter::GetFilter() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    auto* options = new CobImportOptions;
    if (options == nullptr) return filter_copy;
    my_free(filter_copy);
    filter_copy = my_strdup(options->Get_Filter());
    delete options;
    return filter_copy;
}

void CobImporter::SetShowProgress(int flag) { show_progress = flag; }

int CobImporter::SaveOptions(char* path) {
    auto* options = new CobImportOptions;
    if (options == nullptr) return 0;
    const int written = static_cast<int>(options->Save_Options_File(path));
    delete options;
    return written;
}

int CobImporter::LoadOptions(char* path) {
    auto* options = new CobImportOptions;
    if (options == nullptr) return 1;
    const int result = static_cast<int>(options->Load_Options_File(path));
    // Destroying the options stores what was just read in the profile.
    delete options;
    return result;
}
