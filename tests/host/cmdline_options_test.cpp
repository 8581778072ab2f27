// The command-line reader and the option base class.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host_test_util.h"
#include "vertexa/services.h"

namespace {

using host_test::read_file;
using host_test::ScopedEnv;
using host_test::scratch_folder;
using host_test::write_file;

// An argument vector with a program name in front, as main() receives it.
class Args {
public:
    Args(std::initializer_list<std::string> arguments) : texts_{"program"} {
        texts_.insert(texts_.end(), arguments);
        for (std::string& t : texts_) pointers_.push_back(t.data());
        pointers_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(texts_.size()); }
    char** argv() { return pointers_.data(); }

    // The value of `key`, or "<default>" when it is absent.
    std::string operator[](const char* key) {
        char out[256];
        const int found = m_get_cmdl_string(argc(), argv(), key, out, "<default>", sizeof out);
        EXPECT_EQ(found != 0, std::string(out) != "<default>") << key;
        return out;
    }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

TEST(CommandLine, EveryFormExactKeysAndTheLastWins) {
    Args args{"file.cob", "-a=x", "-b", "=", "y;", "-switch", "-c=", "z", "-d", "=w;",
              "-e = d:\\map\\;c:\\map\\;;", "-k=1", "-K=2", "-k_long=3", "-k=4;", "-empty=;"};
    const std::pair<const char*, const char*> cases[] = {
        {"a", "x"}, {"b", "y"}, {"c", "z"}, {"d", "w"}, {"e", "d:\\map\\;c:\\map\\;"},  // one ';' dropped
        {"k", "4"}, {"K", "2"}, {"empty", ""}, {"switch", "<default>"}, {"program", "<default>"}};
    for (const auto& [key, value] : cases) EXPECT_EQ(args[key], value) << key;
    Args dangling{"-k", "="};
    EXPECT_EQ(dangling["k"], "");
}

// Values are cut to the buffer (nothing written past it), the default's own
// buffer may be the output, and odd argument vectors are tolerated.
TEST(CommandLine, TruncatesSharesTheDefaultBufferAndToleratesBadArguments) {
    Args args{"-k=abcdefghij"};
    char a1[] = "-k=1";
    char* holes[] = {nullptr, nullptr, a1, nullptr};
    const struct {
        int argc;
        char** argv;
        const char *key, *fallback;
        int size, found;
        const char* out;
    } cases[] = {
        {args.argc(), args.argv(), "k", "", 5, 1, "abcd"}, {0, nullptr, "k", "d0", 8, 0, "d0"},
        {-1, args.argv(), "k", "d1", 8, 0, "d1"},          {3, holes, "k", nullptr, 8, 1, "1"},
        {3, holes, "x", nullptr, 8, 0, ""},                {3, holes, "k", "d", 0, 1, "GGGG"},
    };
    for (const auto& c : cases) {
        char out[12];
        std::memset(out, 'G', sizeof out);
        out[4] = '\0';
        EXPECT_EQ(m_get_cmdl_string(c.argc, c.argv, c.key, out, c.fallback, c.size), c.found) << c.key;
        EXPECT_STREQ(out, c.out);
        EXPECT_EQ(out[5], 'G');
    }
    EXPECT_EQ(m_get_cmdl_string(3, holes, "k", nullptr, "d", 8), 1);  // nowhere to write
    char shared[16] = "keep me";
    EXPECT_EQ(m_get_cmdl_string(args.argc(), args.argv(), "absent", shared, shared, 5), 0);
    EXPECT_STREQ(shared, "keep");
    EXPECT_EQ(m_get_cmdl_string(args.argc(), args.argv(), "k", shared, shared, sizeof shared), 1);
    EXPECT_STREQ(shared, "abcdefghij");
}

// Argument files nest to depth eight, are opened at most sixteen times per
// call (one file naming seventeen others; a file including itself twice per
// level would be opened 2^8 times), and end within the bound on reading.
TEST(CommandLine, ArgumentFilesAreBoundedAndAlwaysEnd) {
    const std::string folder = scratch_folder();
    std::string fan;
    for (int level = 1; level <= 17; ++level) {
        const std::string name = folder + "/level" + std::to_string(level);
        write_file(name, "// level file\r\n  -level" + std::to_string(level) + " = yes;  \r\n\r\n@" + folder +
                             "/level" + std::to_string(level + 1) + "\n");
        write_file(folder + "/f" + std::to_string(level), "-k" + std::to_string(level) + "=yes;\n");
        fan += "@" + folder + "/f" + std::to_string(level) + "\n";
    }
    write_file(folder + "/fan", fan);
    const std::string self = folder + "/self", big = folder + "/big";
    write_file(self, "-k=1;\n@" + self + "\n@" + self + "\n-k=2;\n");
    std::string text;
    while (text.size() < (1u << 20) - 100) text += "@" + big + "\n";
    write_file(big, text);

    Args nested{"-level1=no", "@" + folder + "/level1", "@" + folder + "/absent", "@" + folder, "@"};
    EXPECT_EQ(nested["level1"], "yes");  // the file came after the argument
    EXPECT_EQ(nested["level8"], "yes");
    EXPECT_EQ(nested["level9"], "<default>");
    Args fanned{"@" + folder + "/fan"};
    EXPECT_EQ(fanned["k15"], "yes");  // the fan file is the first opening, f15 the sixteenth
    EXPECT_EQ(fanned["k16"], "<default>");
    Args selfish{"@" + self, "-after=1"};
    EXPECT_EQ(selfish["k"], "2");
    EXPECT_EQ(selfish["after"], "1");
    Args many{"@" + big, "-after=1"};
    EXPECT_EQ(many["after"], "1");
}

class FileOption : public ::testing::Test {
protected:
    void SetUp() override {
        folder = scratch_folder();
        profile_path = folder + "/profile.ini";
        env.emplace("VERTEXA_PROFILE", profile_path);
    }
    std::string folder, profile_path;
    std::optional<ScopedEnv> env;
};

TEST_F(FileOption, CommonSettingsLoadedFromAndStoredInTheProfile) {
    {
        Import_FileOption options("scn_in", "scnin.log");
        EXPECT_STREQ(options.Get_LogFileName(), "scnin.log");
        EXPECT_EQ(options.Get_Verbose(), 0);
        EXPECT_EQ(options.Get_Filter(), nullptr);
    }
    EXPECT_EQ(read_file(profile_path), "[Common Settings]\nverbose=0\nlog_file_name=scnin.log\n");

    for (const char* bad : {"yes", "1x", "99999999999"}) {
        write_file(profile_path, std::string("[Common Settings]\nverbose=") + bad + "\nlog_file_name=\n");
        Import_FileOption options("scn_in", "scnin.log");
        EXPECT_EQ(options.Get_Verbose(), 0) << bad;
        EXPECT_STREQ(options.Get_LogFileName(), "scnin.log") << bad;
    }
    write_file(profile_path, "[Common Settings]\nverbose = -2\nlog_file_name = x.log\n");
    const std::string huge(10000, 'n');
    const vertexa::AllocStats before = vertexa::alloc_stats();
    {
        Import_FileOption options("scn_in", "scnin.log");
        EXPECT_EQ(options.Get_Verbose(), -2);
        EXPECT_STREQ(options.Get_LogFileName(), "x.log");
        options.Set_Verbose(1);
        // Setters are bounded; the filter is a copy in a host block (the other: the profile as read).
        options.Set_Filename(huge.c_str());
        EXPECT_EQ(std::strlen(options.Get_Filename()), size_t{Import_FileOption::kTextSize - 1});
        const char filter[] = "Truespace File (*.scn;*.cob)|*.scn;*.cob||";
        options.Set_Filter(filter);
        options.Set_Filter(filter);
        EXPECT_NE(options.Get_Filter(), filter);
        EXPECT_STREQ(options.Get_Filter(), filter);
        EXPECT_EQ(vertexa::alloc_stats().live_blocks, before.live_blocks + 2);
    }
    EXPECT_EQ(vertexa::alloc_stats().live_blocks, before.live_blocks);
    EXPECT_EQ(read_file(profile_path), "[Common Settings]\nverbose = 1\nlog_file_name = x.log\n");
    Import_FileOption named(std::string(300, 'p').c_str(), "scnin.log");
    EXPECT_EQ(std::strlen(named.Get_ProfileName()), 255u);
    named.Set_LogFileName(huge.c_str());
    EXPECT_EQ(std::strlen(named.Get_LogFileName()), size_t{Import_FileOption::kTextSize - 1});
}

TEST_F(FileOption, SavedOptionsFileReadsBackThroughTheCommandLine) {
    const std::string path = folder + "/saved.opt";
    {
        Import_FileOption options("scn_in", "scnin.log");
        options.Set_Verbose(2);
        options.Set_LogFileName("c:\\logs\\import;1.log");
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        options.Save(f);
        std::fputs("// COB in options\n// \n-home_path = d:\\ts\\;\n", f);
        options.Print_Options(f);
        std::fclose(f);
        options.Save(nullptr);
        options.Print_Options(nullptr);
    }
    EXPECT_EQ(read_file(path),
              "-verbose = 2;\n-log_file_name = c:\\logs\\import;1.log;\n"
              "// COB in options\n// \n-home_path = d:\\ts\\;\n"
              "\t Verbose: 2\n\t Log File: c:\\logs\\import;1.log\n");
    write_file(profile_path, "");  // forget what the first object stored

    Import_FileOption options("scn_in", "scnin.log");
    Args args{"@" + path};
    options.Load(args.argc(), args.argv());
    EXPECT_EQ(options.Get_Verbose(), 2);
    EXPECT_STREQ(options.Get_LogFileName(), "c:\\logs\\import;1.log");
    EXPECT_EQ(args["home_path"], "d:\\ts\\");
    Args others{"-verbose=many"};
    options.Load(others.argc(), others.argv());
    EXPECT_EQ(options.Get_Verbose(), 2);  // not a number; the log file name is absent
    EXPECT_STREQ(options.Get_LogFileName(), "c:\\logs\\import;1.log");
}

TEST_F(FileOption, ArgumentConstructorUsesTheCommonProfileThenTheArguments) {
    ScopedEnv no_explicit("VERTEXA_PROFILE", std::nullopt);
    ScopedEnv config_home(host_test::kConfigHome, folder);
    const std::string common = folder + "/vertexa/vertexa.ini";
    std::filesystem::create_directories(folder + "/vertexa");
    write_file(common, "[Common Settings]\nverbose=1\nlog_file_name=profile.log\n");
    {
        Args args{"-log_file_name", "=", "args.log;"};
        Import_FileOption options(args.argc(), args.argv(), "default.log");
        EXPECT_STREQ(options.Get_ProfileName(), "vertexa");
        EXPECT_EQ(options.Get_Verbose(), 1);
        EXPECT_STREQ(options.Get_LogFileName(), "args.log");
    }
    EXPECT_EQ(read_file(common), "[Common Settings]\nverbose=1\nlog_file_name=args.log\n");
}

}  // namespace
