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
    EXPECT_EQ(args["a"], "x");
    EXPECT_EQ(args["b"], "y");
    EXPECT_EQ(args["c"], "z");
    EXPECT_EQ(args["d"], "w");
    EXPECT_EQ(args["e"], "d:\\map\\;c:\\map\\;");  // only one ';' is dropped
    EXPECT_EQ(args["k"], "4");
    EXPECT_EQ(args["K"], "2");
    EXPECT_EQ(args["empty"], "");
    EXPECT_EQ(args["switch"], "<default>");
    EXPECT_EQ(args["program"], "<default>");
    Args dangling{"-k", "="};
    EXPECT_EQ(dangling["k"], "");
}

TEST(CommandLine, TruncatesSharesTheDefaultBufferAndToleratesBadArguments) {
    Args args{"-k=abcdefghij"};
    struct {
        char out[5];
        char guard[4] = {'G', 'G', 'G', 'G'};
    } b;
    EXPECT_EQ(m_get_cmdl_string(args.argc(), args.argv(), "k", b.out, "", sizeof b.out), 1);
    EXPECT_STREQ(b.out, "abcd");
    EXPECT_EQ(std::string(b.guard, 4), "GGGG");
    char shared[16] = "keep me";
    EXPECT_EQ(m_get_cmdl_string(args.argc(), args.argv(), "absent", shared, shared, 5), 0);
    EXPECT_STREQ(shared, "keep");
    EXPECT_EQ(m_get_cmdl_string(args.argc(), args.argv(), "k", shared, shared, sizeof shared), 1);
    EXPECT_STREQ(shared, "abcdefghij");

    char out[8];
    EXPECT_EQ(m_get_cmdl_string(0, nullptr, "k", out, "d0", sizeof out), 0);
    EXPECT_STREQ(out, "d0");
    EXPECT_EQ(m_get_cmdl_string(-1, args.argv(), "k", out, "d1", sizeof out), 0);
    EXPECT_STREQ(out, "d1");
    char a1[] = "-k=1";
    char* holes[] = {nullptr, nullptr, a1, nullptr};
    EXPECT_EQ(m_get_cmdl_string(3, holes, "k", out, nullptr, sizeof out), 1);
    EXPECT_STREQ(out, "1");
    EXPECT_EQ(m_get_cmdl_string(3, holes, "x", out, nullptr, sizeof out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(m_get_cmdl_string(3, holes, "k", nullptr, "d", 8), 1);  // nowhere to write
    EXPECT_EQ(m_get_cmdl_string(3, holes, "k", out, "d", 0), 1);
}

TEST(CommandLine, ArgumentFilesNestToDepthEightAndAlwaysEnd) {
    const std::string folder = scratch_folder();
    for (int level = 1; level <= 10; ++level) {
        write_file(folder + "/level" + std::to_string(level),
                   "// level file\r\n  -level" + std::to_string(level) + " = yes;  \r\n\r\n@" + folder + "/level" +
                       std::to_string(level + 1) + "\n");
    }
    Args nested{"-level1=no", "@" + folder + "/level1", "@" + folder + "/absent", "@" + folder, "@"};
    EXPECT_EQ(nested["level1"], "yes");  // the file came after the argument
    EXPECT_EQ(nested["level8"], "yes");
    EXPECT_EQ(nested["level9"], "<default>");

    const std::string self = folder + "/self";
    write_file(self, "-k=1;\n@" + self + "\n@" + self + "\n@" + self + "\n-k=2;\n");
    Args selfish{"@" + self, "-after=1"};
    EXPECT_EQ(selfish["k"], "2");
    EXPECT_EQ(selfish["after"], "1");

    // Many includes of one big file end at the overall bound on reading.
    const std::string big = folder + "/big";
    std::string text;
    while (text.size() < (1u << 20) - 100) text += "@" + big + "\n";
    write_file(big, text);
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
    {
        Import_FileOption options("scn_in", "scnin.log");
        EXPECT_EQ(options.Get_Verbose(), -2);
        EXPECT_STREQ(options.Get_LogFileName(), "x.log");
        options.Set_Verbose(1);
    }
    EXPECT_EQ(read_file(profile_path), "[Common Settings]\nverbose = 1\nlog_file_name = x.log\n");
}

TEST_F(FileOption, SettersAreBoundedAndTheFilterIsAHostBlock) {
    const vertexa::AllocStats before = vertexa::alloc_stats();
    {
        Import_FileOption options(std::string(300, 'p').c_str(), "scnin.log");
        EXPECT_EQ(std::strlen(options.Get_ProfileName()), 255u);
        const std::string huge(10000, 'n');
        options.Set_Filename(huge.c_str());
        options.Set_LogFileName(huge.c_str());
        EXPECT_EQ(std::strlen(options.Get_Filename()), size_t{Import_FileOption::kTextSize - 1});
        EXPECT_EQ(std::strlen(options.Get_LogFileName()), size_t{Import_FileOption::kTextSize - 1});
        const char filter[] = "Truespace File (*.scn;*.cob)|*.scn;*.cob||";
        options.Set_Filter(filter);
        options.Set_Filter(filter);
        EXPECT_NE(options.Get_Filter(), filter);
        EXPECT_STREQ(options.Get_Filter(), filter);
        EXPECT_EQ(vertexa::alloc_stats().live_blocks, before.live_blocks + 1);
    }
    EXPECT_EQ(vertexa::alloc_stats().live_blocks, before.live_blocks);
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
