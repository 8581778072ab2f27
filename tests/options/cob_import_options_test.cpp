// The importer's options: profile keys, options files and the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "../host/host_test_util.h"
#include "cob_import_options.h"

namespace {

namespace fs = std::filesystem;
using host_test::read_file;
using host_test::write_file;

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override { profile_.emplace("VERTEXA_PROFILE", path("scn_in.ini")); }
    std::string path(const char* name) const { return folder_ + "/" + name; }

    std::string folder_ = host_test::scratch_folder();
    std::optional<host_test::ScopedEnv> profile_;
};

TEST_F(OptionsTest, OptionsFileEndsWithTheFourLinesAndReadsBackIntoTheProfile) {
    const std::string file = path("cob.opt");
    {
        CobImportOptions options;
        std::snprintf(options.home_path, sizeof options.home_path, "d:\\ts\\");
        std::snprintf(options.image_search_path, sizeof options.image_search_path, "d:\\map\\;c:\\map\\;");
        options.Set_Verbose(1);
        ASSERT_EQ(options.Save_Options_File(file.c_str()), 1u);
    }
    const std::string text = read_file(file);
    // The value, then the line's own ';'; no carriage returns.
    const std::string tail = "// COB in options\n// \n-home_path = d:\\ts\\;\n-image_search_path = d:\\map\\;c:\\map\\;;\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(text.find('\r'), std::string::npos);

    fs::remove(path("scn_in.ini"));  // the values come only from the file
    {
        CobImportOptions options;
        EXPECT_STREQ(options.home_path, "c:\\Truespace\\");
        EXPECT_EQ(options.Load_Options_File(file.c_str()), 1u);
    }
    // Destroying the options stored what was read in the profile.
    CobImportOptions again;
    EXPECT_STREQ(again.home_path, "d:\\ts\\");
    EXPECT_STREQ(again.image_search_path, "d:\\map\\;c:\\map\\;");
    EXPECT_EQ(again.Get_Verbose(), 1);
    // Overlong values are cut at the field size.
    const std::string value(10000, 'x');
    write_file(file, "-home_path = " + value + ";\n-image_search_path = " + value + ";\n");
    again.Load_Options_File(file.c_str());
    EXPECT_EQ(std::string(again.home_path), value.substr(0, CobImportOptions::kPathSize - 1));
    EXPECT_EQ(std::string(again.image_search_path), value.substr(0, CobImportOptions::kPathSize - 1));
}

TEST_F(OptionsTest, CommandLineReadsTheUsageFormAndLeavesAbsentKeysAlone) {
    CobImportOptions options;
    std::snprintf(options.image_search_path, sizeof options.image_search_path, "e:\\maps\\;");
    char program[] = "", home[] = "-home_path=d:\\Truespace\\;", other[] = "-unrelated=1;";
    char* with_home[] = {program, home, nullptr};
    char* without_keys[] = {program, other, nullptr};
    EXPECT_EQ(options.Load_Command_Line(2, with_home), 1u);
    options.Load_Command_Line(2, without_keys);
    EXPECT_STREQ(options.home_path, "d:\\Truespace\\");
    EXPECT_STREQ(options.image_search_path, "e:\\maps\\;");
}

// A save replaces the whole file keeping its permissions, or fails leaving
// the old file and no temporary behind.
TEST_F(OptionsTest, SaveReplacesTheWholeFileOrNothing) {
    CobImportOptions options;
    const std::string file = path("cob.opt");
    write_file(file, "a much longer old text that must not survive in any part of the new file\n");
    ::chmod(file.c_str(), 0640);
    ASSERT_EQ(options.Save_Options_File(file.c_str()), 1u);
    EXPECT_EQ(read_file(file).find("old text"), std::string::npos);
    EXPECT_EQ(options.Save_Options_File(path("no/such/folder/cob.opt").c_str()), 0u);
    EXPECT_FALSE(fs::exists(path("no")));
    fs::create_directory(path("taken"));
    EXPECT_EQ(options.Save_Options_File(path("taken").c_str()), 0u);
    EXPECT_TRUE(fs::is_directory(path("taken")));
    const std::string locked = path("locked");
    fs::create_directory(locked);
    write_file(locked + "/cob.opt", "old contents\n");
#if !defined(_WIN32)  // file modes are POSIX, and do not bind root
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ::chmod(locked.c_str(), 0500);  // refuses new files
    if (::geteuid() != 0) {
        EXPECT_EQ(options.Save_Options_File((locked + "/cob.opt").c_str()), 0u);
        EXPECT_EQ(read_file(locked + "/cob.opt"), "old contents\n");
    }
    ::chmod(locked.c_str(), 0700);
#endif
    std::set<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(folder_)) left.insert(fs::relative(entry.path(), folder_).generic_string());
    EXPECT_EQ(left, (std::set<std::string>{"cob.opt", "taken", "locked", "locked/cob.opt"}));
}

}  // namespace

// An import stores its settings back when its options go: what it did not
// change must not undo what another process stored meanwhile.
TEST_F(OptionsTest, SettingsStoredBackUnchangedKeepAnotherProcesssChange) {
    write_file(path("scn_in.ini"), "[Common Settings]\nverbose=0\n[Specific Settings]\nimage_search_path=old;\n");
    {
        CobImportOptions import;
        CobImportOptions other;  // another process: options load
        std::snprintf(other.image_search_path, sizeof other.image_search_path, "new;");
        other.Set_Verbose(1);
    }
    CobImportOptions after;
    EXPECT_STREQ(after.image_search_path, "new;");
    EXPECT_EQ(after.Get_Verbose(), 1);
    EXPECT_STREQ(after.home_path, "c:\\Truespace\\") << "a setting absent from the profile is stored";
    EXPECT_NE(read_file(path("scn_in.ini")).find("home_path=c:\\Truespace\\\n"), std::string::npos);
    EXPECT_EQ(after.Save_Profile(), 1u);  // nothing changed
    host_test::ScopedEnv unwritable("VERTEXA_PROFILE", folder_);
    CobImportOptions options;
    std::snprintf(options.home_path, sizeof options.home_path, "d:\\ts\\");
    EXPECT_EQ(options.Save_Profile(), 0u);
}
