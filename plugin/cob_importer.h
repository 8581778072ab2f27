// The importer the host drives: imports a named file or one the user picks,
// runs the configuration and help dialogs, gives the file-dialog filter,
// switches the progress window and saves or loads the options files.
#pragma once

#include <cstdint>

#include "vertexa/memory.h"
#include "vertexa/plugin.h"

class CobImporter : public SceneImportWithHostData, public vertexa::HostObject {
public:
    CobImporter();
    CobImporter(const CobImporter&) = delete;
    CobImporter& operator=(const CobImporter&) = delete;

    void DeleteThis() override;
    void ShowHelp() override;
    void Configure() override;
    MScene* Import(char* file_name) override;
    MScene* ImportInteractive() override;
    int Query() override;
    char* GetFilter() override;
    void SetShowProgress(int flag) override;
    int SaveOptions(char* path) override;
    int LoadOptions(char* path) override;

private:
    virtual ~CobImporter();

    // The start of both imports: keeps the current directory in
    // `saved_directory` (kDirectorySize characters) and makes the options with
    // the host's value. Null when no memory.
    class CobImportOptions* begin_import(char* saved_directory);

    // The rest of an import, once the options know the file: callbacks,
    // progress window, scene, the reader, and the tear-down in reverse.
    MScene* import_with(class CobImportOptions* options, const char* saved_directory);

    // host_data (the host's value) comes first, from the interface record.
    char* filter_copy;
};
