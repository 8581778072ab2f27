// The importer's options: the host's file options plus the trueSpace home
// path and the image search path, kept in the profile section
// "Specific Settings", printable into the import log and storable in an
// options file.
#pragma once

#include <cstdio>

#include "vertexa/services.h"

class CobImportOptions : public Import_FileOption {
public:
    // Defaults, then the profile.
    CobImportOptions();
    // Stores both settings in the profile (those changed since it was read).
    ~CobImportOptions();

    void Set_Defaults();
    unsigned Load_Profile();
    // 1 when the settings are stored (or there was nothing to store), 0 when
    // the profile could not be written.
    unsigned Save_Profile();
    void Print_Options(FILE* f);

    // Reads the base's settings and -home_path / -image_search_path from the arguments.
    unsigned Load_Command_Line(int argc, char** argv);
    // 1 when the options file was written, 0 when it could not be created.
    unsigned Save_Options_File(const char* path);
    // Reads an options file through the command-line reader ("@path"); always 1.
    unsigned Load_Options_File(const char* path);

    static const char* Usage();

    static constexpr int kPathSize = 4096;
    char home_path[kPathSize];
    char image_search_path[kPathSize];

private:
    // The profile as Load_Profile read it: Save_Profile stores into it, so
    // that only settings changed since are written.
    Profile* profile_ = nullptr;
};
