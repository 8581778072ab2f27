// The settings profile.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "host_test_util.h"
#include "vertexa/services.h"

namespace {

using host_test::read_file;
using host_test::ScopedEnv;
using host_test::scratch_folder;
using host_test::write_file;

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder = scratch_folder();
        path = folder + "/settings.ini";
        env.emplace("VERTEXA_PROFILE", path);
    }
    static std::string get(Profile& profile, const char* section, const char* key, const char* fallback = "") {
        char out[256];
        profile.GetString(section, key, fallback, out, sizeof out);
        return out;
    }
    std::string folder, path;
    std::optional<ScopedEnv> env;
};

TEST_F(ProfileFile, MissingFileGivesDefaultsAndRoundTrips) {
    {
        Profile profile("scn_in");
        EXPECT_EQ(profile.Path(), path);
        char out[8];
        EXPECT_EQ(profile.GetString("S", "home_path", "c:\\ts\\", out, sizeof out), 6u);
        EXPECT_STREQ(out, "c:\\ts\\");
        EXPECT_EQ(profile.GetString("S", "home_path", "", out, sizeof out), 0u);
        EXPECT_EQ(profile.GetString("S", "home_path", "abcdefghij", out, sizeof out), 7u);  // cut
        EXPECT_STREQ(out, "abcdefg");
        char shared[8] = "default";  // the default's own buffer as the output
        EXPECT_EQ(profile.GetString("S", "absent", shared, shared, 4), 3u);
        EXPECT_STREQ(shared, "def");
        EXPECT_TRUE(profile.Flush());
    }
    EXPECT_FALSE(std::filesystem::exists(path));  // nothing changed, nothing written
    {
        Profile profile("scn_in");
        profile.WriteString("Common Settings", "verbose", "1");
        profile.WriteString("Common Settings", "log_file_name", "");
        profile.WriteString("Specific Settings", "image_search_path", "d:\\map\\;c:\\map\\;");
        profile.WriteString("Specific Settings", "multi", "one\r\ntwo\nthree");  // breaks become blanks
        EXPECT_EQ(get(profile, "Common Settings", "verbose"), "1");
    }
    EXPECT_EQ(read_file(path),
              "[Common Settings]\nverbose=1\nlog_file_name=\n\n"
              "[Specific Settings]\nimage_search_path=d:\\map\\;c:\\map\\;\nmulti=one  two three\n");
    Profile again("scn_in");
    EXPECT_EQ(get(again, "specific SETTINGS", "Image_Search_Path"), "d:\\map\\;c:\\map\\;");
    char out[16];
    EXPECT_EQ(again.GetString("Common Settings", "log_file_name", "dflt", out, sizeof out), 0u);
    EXPECT_STREQ(out, "");  // an empty value is a value
}

TEST_F(ProfileFile, UnknownLinesSurviveAWriteByteForByte) {
    write_file(path,
               "; by hand\r\ntop=level\n\n"
               "[Unknown]\n  odd line\nkeep = this ; and this \n# hash\n;commented=1\n\n"
               "[Common Settings]\nVerbose = 0\nother=x\n\n; before Tail\n"
               "[Tail]\r\nx=1\r\n[Last]\nno newline=yes");
    {
        Profile profile("x");
        EXPECT_EQ(get(profile, "Unknown", "keep"), "this ; and this");
        EXPECT_EQ(get(profile, "Unknown", "commented", "absent"), "absent");
        EXPECT_EQ(get(profile, "Unknown", "top", "absent"), "absent");
        profile.WriteString("common settings", "verbose", "2");         // in place
        profile.WriteString("Common Settings", "log_file_name", "a.log");  // after the last key
        profile.WriteString("Tail", "y", "2");                          // CRLF like its neighbour
        profile.WriteString("Last", "z", "3");                          // after an unended line
        profile.WriteString("New", "k", "v");
    }
    EXPECT_EQ(read_file(path),
              "; by hand\r\ntop=level\n\n"
              "[Unknown]\n  odd line\nkeep = this ; and this \n# hash\n;commented=1\n\n"
              "[Common Settings]\nVerbose = 2\nother=x\nlog_file_name=a.log\n\n; before Tail\n"
              "[Tail]\r\nx=1\r\ny=2\r\n[Last]\nno newline=yes\nz=3\n\n[New]\nk=v\n");
}

TEST_F(ProfileFile, AtomicWriteOnlyWhenChangedAndNoTemporaryLeft) {
    write_file(path, "[S]\nk = same\n");
#if !defined(_WIN32)  // inode numbers and modes are POSIX
    ::chmod(path.c_str(), 0640);
    struct stat st;
    ::stat(path.c_str(), &st);
    const ino_t inode = st.st_ino;
#endif
    {
        Profile profile("x");
        profile.WriteString("S", "k", "same");
    }
#if !defined(_WIN32)
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_ino, inode);  // a write would have renamed a new file over it
#endif
    {
        Profile profile("x");
        profile.WriteString("S", "k", "new");
        EXPECT_TRUE(profile.Flush());
    }
#if !defined(_WIN32)
    ::stat(path.c_str(), &st);
    EXPECT_NE(st.st_ino, inode);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // permissions carried over
#endif
    EXPECT_EQ(read_file(path), "[S]\nk = new\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST_F(ProfileFile, UnwritableLocationsFailQuietly) {
    write_file(folder + "/a_file", "not a folder");
    for (const std::string& where : {folder + "/a_file/sub/settings.ini", folder}) {
        ScopedEnv env_here("VERTEXA_PROFILE", where);
        Profile profile("x");
        profile.WriteString("S", "k", "v");
        EXPECT_EQ(get(profile, "S", "k"), "v");  // still held in memory
        EXPECT_FALSE(profile.Flush()) << where;
    }  // the destructors try again, and fail quietly too
    EXPECT_EQ(read_file(folder + "/a_file"), "not a folder");
}

TEST_F(ProfileFile, OversizedFilesAndOverlongLinesAreReadOnlyInPart) {
    // The 1 MiB bound falls inside "cut=0123": that line must not read as "cut=0".
    std::string big = "[S]\nk=1\n";
    while (big.size() < (1u << 20) - 100) big += "pad=" + std::string(95, 'p') + "\n";
    big += std::string((1u << 20) - big.size() - 6, ';') + "\ncut=0123\n[Late]\nk=late\n";
    write_file(path, big);
    {
        Profile profile("x");
        EXPECT_EQ(get(profile, "S", "k"), "1");
        EXPECT_EQ(get(profile, "S", "cut", "absent"), "absent");
        EXPECT_EQ(get(profile, "Late", "k", "absent"), "absent");
        profile.WriteString("S", "k", "2");
        EXPECT_FALSE(profile.Flush());  // writing back would lose the unread tail
    }
    EXPECT_EQ(read_file(path), big);

    const std::string long_line = "long=" + std::string(70 * 1024, 'v') + "\n";
    write_file(path, "[S]\n" + long_line + "after=1\n[T]\nk=2\n");
    {
        Profile profile("x");
        EXPECT_EQ(get(profile, "S", "long", "absent"), "absent");
        EXPECT_EQ(get(profile, "S", "after", "absent"), "absent");
        EXPECT_EQ(get(profile, "T", "k"), "2");
        profile.WriteString("T", "k", "3");
    }
    EXPECT_EQ(read_file(path), "[S]\n" + long_line + "after=1\n[T]\nk=3\n");
}

#if defined(_WIN32)
TEST(ProfileLocation, ExplicitThenAppData) {
    // With a drive letter, as Windows gives APPDATA.
    const std::string folder = std::filesystem::absolute(scratch_folder()).string();
    {
        ScopedEnv profile("VERTEXA_PROFILE", "D:\\somewhere\\else.ini");
        EXPECT_EQ(Profile::PathFor("scn_in"), "D:\\somewhere\\else.ini");
    }
    ScopedEnv profile("VERTEXA_PROFILE", std::nullopt);
    ScopedEnv app_data("APPDATA", folder + "\\Roaming");
    EXPECT_EQ(Profile::PathFor("scn_in"), folder + "\\Roaming\\vertexa\\scn_in.ini");
    EXPECT_EQ(Profile::PathFor("../up"), folder + "\\Roaming\\vertexa\\.._up.ini");
    {
        Profile p("scn_in");
        p.WriteString("S", "k", "v");
    }  // the folders are made on writing
    EXPECT_EQ(read_file(folder + "\\Roaming\\vertexa\\scn_in.ini"), "[S]\nk=v\n");
    ScopedEnv no_app_data("APPDATA", std::nullopt);
    EXPECT_EQ(Profile::PathFor("scn_in"), "");
}
#else
TEST(ProfileLocation, ExplicitThenXdgThenHome) {
    const std::string folder = scratch_folder();
    {
        ScopedEnv profile("VERTEXA_PROFILE", "/somewhere/else.ini");
        EXPECT_EQ(Profile::PathFor("scn_in"), "/somewhere/else.ini");
    }
    ScopedEnv profile("VERTEXA_PROFILE", std::string());  // set but empty: not used
    ScopedEnv xdg("XDG_CONFIG_HOME", folder + "/config");
    EXPECT_EQ(Profile::PathFor("scn_in"), folder + "/config/vertexa/scn_in.ini");
    EXPECT_EQ(Profile::PathFor("../up"), folder + "/config/vertexa/.._up.ini");
    {
        Profile p("scn_in");
        p.WriteString("S", "k", "v");
    }  // the folders are made on writing
    EXPECT_EQ(read_file(folder + "/config/vertexa/scn_in.ini"), "[S]\nk=v\n");

    ScopedEnv home("HOME", folder);
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/path");  // not absolute: not used
    EXPECT_EQ(Profile::PathFor("scn_in"), folder + "/.config/vertexa/scn_in.ini");
}
#endif

}  // namespace
