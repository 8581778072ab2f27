// Inputs the fuzz targets found (fuzz/fuzz_profile.cpp, fuzz/fuzz_options.cpp),
// kept so that the bounds they led to stay in place.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host_test_util.h"
#include "vertexa/services.h"

namespace {

using host_test::read_file;
using host_test::ScopedEnv;
using host_test::scratch_folder;
using host_test::write_file;

std::string get(Profile& profile, const char* section, const char* key) {
    char out[256];
    profile.GetString(section, key, "<none>", out, sizeof out);
    return out;
}

TEST(ProfileFindings, WrittenSettingsReadBackOrAreRefused) {
    const std::string path = scratch_folder() + "/p.ini";
    ScopedEnv env("VERTEXA_PROFILE", path);

    // The last line ends in a carriage return without a line feed: a new
    // section must start on a line of its own, not be glued to that one.
    write_file(path, "[a]\nx=1\n\t\t\r");
    {
        Profile profile("p");
        profile.WriteString("new", "k", "v");
        EXPECT_EQ(get(profile, "new", "k"), "v");
    }
    {
        Profile reread("p");
        EXPECT_EQ(get(reread, "new", "k"), "v") << read_file(path);
        EXPECT_EQ(get(reread, "a", "x"), "1");
    }

    // Settings whose line would read as a section header or a comment, or
    // whose section name would be cut at ']', are not written at all.
    write_file(path, "[s]\nkeep=1\n");
    {
        Profile profile("p");
        profile.WriteString("s", "[t]", "1");
        profile.WriteString("s", "[t", "x]");
        profile.WriteString("s", ";c", "1");
        profile.WriteString("s", "#c", "1");
        profile.WriteString("a]b", "k", "1");
        profile.WriteString("s", "long", std::string(70000, 'v').c_str());
        EXPECT_TRUE(profile.Flush());
        EXPECT_EQ(get(profile, "s", "keep"), "1");
    }
    EXPECT_EQ(read_file(path), "[s]\nkeep=1\n");

    // A key given with a line break around it is stored, and found, trimmed.
    {
        Profile profile("p");
        profile.WriteString("s", "k\r\n", "2");
        EXPECT_EQ(get(profile, "s", "k"), "2");
    }
    EXPECT_EQ(read_file(path), "[s]\nkeep=1\nk=2\n");

    // A value with a NUL byte in it ends there.
    write_file(path, std::string("[s]\nk=ab\0cd\n", 12));
    Profile profile("p");
    char out[16];
    EXPECT_EQ(profile.GetString("s", "k", "", out, sizeof out), 2u);
    EXPECT_STREQ(out, "ab");
}

TEST(CommandLineFindings, ArgumentFilesAreOpenedAtMostSixteenTimesPerCall) {
    const std::string folder = scratch_folder();
    // The first file names seventeen others, each setting a key of its own.
    std::string root;
    for (int i = 1; i <= 17; ++i) {
        const std::string name = folder + "/f" + std::to_string(i);
        write_file(name, "-k" + std::to_string(i) + "=yes;\n");
        root += "@" + name + "\n";
    }
    write_file(folder + "/root", root);
    std::string at_root = "@" + folder + "/root";
    char program[] = "vertexa";
    char* argv[] = {program, at_root.data(), nullptr};
    char out[8];
    EXPECT_EQ(m_get_cmdl_string(2, argv, "k15", out, "no", sizeof out), 1);
    EXPECT_STREQ(out, "yes");
    // root is the first opening: f15 is the sixteenth, f16 one too many.
    EXPECT_EQ(m_get_cmdl_string(2, argv, "k16", out, "no", sizeof out), 0);
    EXPECT_STREQ(out, "no");

    // Two includes of itself per level: 2^8 openings without the bound, and
    // the settings before the includes are still read.
    const std::string twice = folder + "/twice";
    write_file(twice, "-t=1;\n@" + twice + "\n@" + twice + "\n");
    std::string at_twice = "@" + twice;
    char* argv2[] = {program, at_twice.data(), nullptr};
    EXPECT_EQ(m_get_cmdl_string(2, argv2, "t", out, "no", sizeof out), 1);
    EXPECT_STREQ(out, "1");
}

}  // namespace
