// The importer's options: profile keys, options files and the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "../host/host_test_util.h"
#include "cob_import_options.h"

namespace {

using host_test::read_file;
using host_test::scratch_folder;
using host_test::ScopedEnv;
using host_test::write_file;

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = scratch_folder();
        profile_.emplace("VERTEXA_PROFILE", folder_ + "/scn_in.ini");
    }
    std::string path(const char* name) const { return folder_ + "/" + name; }

    std::string folder_;
    std::optional<ScopedEnv> profile_;
};

TEST_F(OptionsTest, OptionsFileEndsWithTheFourLinesAndReadsBack) {
    const std::string file = path("cob.opt");
    {
        CobImportOptions options;
        std::snprintf(options.home_path, sizeof options.home_path, "d:\\ts\\");
        std::snprintf(options.image_search_path, sizeof options.image_search_path, "d:\\map\\;c:\\map\\;");
        options.Set_Verbose(1);
        ASSERT_EQ(options.Save_Options_File(file.c_str()), 1u);
    }
    const std::string text = read_file(file);
    const std::string tail =
        "// COB in options\n"
        "// \n"
        "-home_path = d:\\ts\\;\n"
        "-image_search_path = d:\\map\\;c:\\map\\;;\n";  // the value, then the line's own ';'
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(text.find('\r'), std::string::npos);

    // A fresh profile: the values come only from the file.
    std::filesystem::remove(path("scn_in.ini"));
    {
        CobImportOptions options;
        EXPECT_STREQ(options.home_path, "c:\\Truespace\\");
        EXPECT_EQ(options.Load_Options_File(file.c_str()), 1u);
        EXPECT_STREQ(options.home_path, "d:\\ts\\");
        EXPECT_STREQ(options.image_search_path, "d:\\map\\;c:\\map\\;");
        EXPECT_EQ(options.Get_Verbose(), 1);
    }
    // Destroying the options stored what was read in the profile.
    CobImportOptions again;
    EXPECT_STREQ(again.home_path, "d:\\ts\\");
    EXPECT_STREQ(again.image_search_path, "d:\\map\\;c:\\map\\;");
    EXPECT_EQ(again.Get_Verbose(), 1);
}

TEST_F(OptionsTest, CommandLineReadsTheUsageFormAndLeavesAbsentKeysAlone) {
    {
        CobImportOptions options;
        std::snprintf(options.image_search_path, sizeof options.image_search_path, "e:\\maps\\;");
    }
    CobImportOptions options;
    char program[] = "";
    char home[] = "-home_path=d:\\Truespace\\;";
    char* with_home[] = {program, home, nullptr};
    EXPECT_EQ(options.Load_Command_Line(2, with_home), 1u);
    EXPECT_STREQ(options.home_path, "d:\\Truespace\\");
    EXPECT_STREQ(options.image_search_path, "e:\\maps\\;");

    char other[] = "-unrelated=1;";
    char* without_keys[] = {program, other, nullptr};
    options.Load_Command_Line(2, without_keys);
    EXPECT_STREQ(options.home_path, "d:\\Truespace\\");
    EXPECT_STREQ(options.image_search_path, "e:\\maps\\;");
}

TEST_F(OptionsTest, AFailedSaveWritesNothingAndKeepsTheOldFile) {
    CobImportOptions options;
    // A folder that does not exist: nothing is created.
    const std::string missing = path("no/such/folder/cob.opt");
    EXPECT_EQ(options.Save_Options_File(missing.c_str()), 0u);
    EXPECT_FALSE(std::filesystem::exists(path("no")));
    // A folder in the file's place.
    std::filesystem::create_directory(path("taken"));
    EXPECT_EQ(options.Save_Options_File(path("taken").c_str()), 0u);
    EXPECT_TRUE(std::filesystem::is_directory(path("taken")));

    // A folder that refuses new files (as non-root): the old file stays whole.
    const std::string locked = path("locked");
    std::filesystem::create_directory(locked);
    write_file(locked + "/cob.opt", "old contents\n");
    ::chmod(locked.c_str(), 0500);
    if (::access((locked + "/probe").c_str(), F_OK) != 0 && cobtest::modes_bind_us()) {
        EXPECT_EQ(options.Save_Options_File((locked + "/cob.opt").c_str()), 0u);
        EXPECT_EQ(read_file(locked + "/cob.opt"), "old contents\n");
    }
    ::chmod(locked.c_str(), 0700);
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST_F(OptionsTest, SaveReplacesAnExistingFileKeepingItsPermissions) {
#if defined(_WIN32)
    GTEST_SKIP() << "file modes are POSIX";
#endif
    const std::string file = path("cob.opt");
    write_file(file, "a much longer old text that must not survive in any part of the new file\n");
    ::chmod(file.c_str(), 0640);
    CobImportOptions options;
    ASSERT_EQ(options.Save_Options_File(file.c_str()), 1u);
    const std::string text = read_file(file);
    EXPECT_EQ(text.find("old text"), std::string::npos);
    EXPECT_NE(text.find("-image_search_path = ;\n"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(OptionsTest, OverlongValuesAreCutAtTheFieldSize) {
    const std::string file = path("long.opt");
    const std::string value(10000, 'x');
    write_file(file, "-home_path = " + value + ";\n-image_search_path = " + value + ";\n");
    CobImportOptions options;
    options.Load_Options_File(file.c_str());
    EXPECT_EQ(std::string(options.home_path), value.substr(0, CobImportOptions::kPathSize - 1));
    EXPECT_EQ(std::string(options.image_search_path), value.substr(0, CobImportOptions::kPathSize - 1));
}

}  // namespace
