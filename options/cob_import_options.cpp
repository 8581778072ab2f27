#include "cob_import_options.h"

#include <cstring>
#include <optional>

namespace {

const char kSection[] = "Specific Settings";
const char kFilter[] = "Truespace File     (*.scn;*.cob)|*.scn;*.cob|All Files                (*.*)|*.*||";
const char kUsage[] =
    "** COB Import Plugin 1.0 **\n\tImports Truespace *.cob/*.scn \n"
    "\t-home_path=String; // Truespace Home Path e.g. d:\\Truespace\\;\n"
    "\t-image_search_path=String: e.g. d:\\map\\;c:\\map\\;\n\n";

// Copies at most size - 1 characters and always terminates.
void copy_text(char* out, const char* in, size_t size) {
    const size_t n = ::strnlen(in, size - 1);
    std::memmove(out, in, n);
    out[n] = '\0';
}

}  // namespace

CobImportOptions::CobImportOptions() : Import_FileOption("scn_in", "scnin.log") {
    home_path[0] = '\0';
    image_search_path[0] = '\0';
    Set_Defaults();
    Load_Profile();
}

CobImportOptions::~CobImportOptions() {
    Save_Profile();
    delete profile_;
}

const char* CobImportOptions::Usage() { return kUsage; }

void CobImportOptions::Set_Defaults() {
    Set_Filter(kFilter);
    copy_text(home_path, "c:\\Truespace\\", sizeof home_path);
    image_search_path[0] = '\0';
}

unsigned CobImportOptions::Load_Profile() {
    delete profile_;
    profile_ = new Profile(Get_ProfileName());
    std::optional<Profile> fallback;  // when there was no memory to keep it
    Profile& profile = profile_ != nullptr ? *profile_ : fallback.emplace(Get_ProfileName());
    char work[kPathSize];
    if (profile.GetString(kSection, "home_path", home_path, work, kPathSize - 1) != 0)
        copy_text(home_path, work, sizeof home_path);
    if (profile.GetString(kSection, "image_search_path", image_search_path, work, kPathSize - 1) != 0)
        copy_text(image_search_path, work, sizeof image_search_path);
    return 1;
}

unsigned CobImportOptions::Save_Profile() {
    // Settings stored back unchanged are not written over what another
    // process wrote since Load_Profile (Profile::Flush).
    std::optional<Profile> fallback;
    Profile& profile = profile_ != nullptr ? *profile_ : fallback.emplace(Get_ProfileName());
    profile.WriteString(kSection, "home_path", home_path);
    profile.WriteString(kSection, "image_search_path", image_search_path);
    return profile.Flush() ? 1 : 0;
}

void CobImportOptions::Print_Options(FILE* f) {
    if (f == nullptr) return;
    std::fprintf(f, "Options:\n");
    Import_FileOption::Print_Options(f);
    std::fprintf(f, "\t Home Path: %s\n", home_path);
}

unsigned CobImportOptions::Load_Command_Line(int argc, char** argv) {
    Import_FileOption::Load(argc, argv);
    m_get_cmdl_string(argc, argv, "home_path", home_path, home_path, kPathSize);
    m_get_cmdl_string(argc, argv, "image_search_path", image_search_path, image_search_path, kPathSize);
    return 1;
}

unsigned CobImportOptions::Save_Options_File(const char* path) {
    // The file is written whole or not at all: an options file that exists
    // stays as it was when the new one cannot be written completely.
    MReplaceFile* file = m_replace_open(path);
    if (file == nullptr) return 0;
    FILE* f = m_replace_stream(file);
    Import_FileOption::Save(f);
    std::fprintf(f, "// COB in options\n");
    std::fprintf(f, "// \n");
    std::fprintf(f, "-home_path = %s;\n", home_path);
    std::fprintf(f, "-image_search_path = %s;\n", image_search_path);
    return m_replace_commit(file) != 0 ? 1 : 0;
}

unsigned CobImportOptions::Load_Options_File(const char* path) {
    char program[1] = {'\0'};
    char argument[kPathSize];
    std::snprintf(argument, sizeof argument, "@%s", path != nullptr ? path : "");
    char* argv[3] = {program, argument, nullptr};
    int saved_argc = argc_;
    char** saved_argv = argv_;
    argc_ = 2;
    argv_ = argv;
    Load_Command_Line(argc_, argv_);
    argc_ = saved_argc;
    argv_ = saved_argv;
    return 1;
}
