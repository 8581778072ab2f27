// The settings profile, the command-line reader and the option base class.
#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

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

// What a file reads as: sections and keys ignoring case, values trimmed with
// ';' as data, whole-line comments, the first of a repeated key, a NUL ending
// a value, an empty value that is a value, the default cut to the buffer.
TEST_F(ProfileFile, ValuesAsRead) {
    write_file(path, "top=level\n[Unknown]\nkeep = this ; and this \n;commented=1\n#hashed=1\n"
                     "[S]\nk=first\nk=second\nempty=\n" + std::string("nul=ab\0cd\n", 10) + "[s]\nk=other\n");
    const struct {
        const char *section, *key, *fallback;
        unsigned long size, count;
        const char* out;
    } cases[] = {
        {"unknown", "KEEP", "", 64, 15, "this ; and this"}, {"Unknown", "commented", "absent", 64, 6, "absent"},
        {"Unknown", "#hashed", "absent", 64, 6, "absent"},  {"Unknown", "top", "absent", 64, 6, "absent"},
        {"S", "k", "", 64, 5, "first"},                     {"S", "empty", "dflt", 64, 0, ""},
        {"S", "nul", "", 64, 2, "ab"},                      {"S", "absent", "c:\\ts\\", 8, 6, "c:\\ts\\"},
        {"S", "absent", "abcdefghij", 8, 7, "abcdefg"},     {"S", "k", "", 3, 2, "fi"},
    };
    Profile profile("x");
    for (const auto& c : cases) {
        char out[64];
        EXPECT_EQ(profile.GetString(c.section, c.key, c.fallback, out, c.size), c.count) << c.key;
        EXPECT_STREQ(out, c.out);
    }
    char shared[8] = "default";  // the default's own buffer as the output
    EXPECT_EQ(profile.GetString("S", "absent", shared, shared, 4), 3u);
    EXPECT_STREQ(shared, "def");
}

// Writes change only their own lines, byte for byte elsewhere (comments,
// unknown sections, CRLF, a last line without a line end), add keys after a
// section's last setting and sections at the end; settings that would not
// read back as written are not written at all.
TEST_F(ProfileFile, WritesTouchOnlyTheirLines) {
    struct Setting {
        const char *section, *key, *value;
    };
    // The 1 MiB bound falls inside "cut=0123": that line must not read as "cut=0".
    std::string big = "[S]\nk=1\n";
    while (big.size() < (1u << 20) - 100) big += "pad=" + std::string(95, 'p') + "\n";
    big += std::string((1u << 20) - big.size() - 6, ';') + "\ncut=0123\n[Late]\nk=late\n";
    const std::string long_line = "long=" + std::string(70 * 1024, 'v') + "\n";
    const struct {
        std::string before;
        std::vector<Setting> writes;
        std::string after;
        std::vector<Setting> reads = {};  // before the writes
    } cases[] = {
        {"",
         {{"Common Settings", "verbose", "1"},
          {"Common Settings", "log_file_name", ""},
          {"Specific Settings", "image_search_path", "d:\\map\\;c:\\map\\;"},
          {"Specific Settings", "multi", " one\r\ntwo\nthree "}},
         "[Common Settings]\nverbose=1\nlog_file_name=\n\n"
         "[Specific Settings]\nimage_search_path=d:\\map\\;c:\\map\\;\nmulti=one  two three\n"},
        {"; by hand\r\ntop=level\n\n[Unknown]\n  odd line\nkeep = this ; and this \n# hash\n;commented=1\n\n"
         "[Common Settings]\nVerbose = 0\nother=x\n\n; before Tail\n[Tail]\r\nx=1\r\n[Last]\nno newline=yes",
         {{"common settings", "verbose", "2"},
          {"Common Settings", "log_file_name", "a.log"},
          {"Tail", "y", "2"},
          {"Last", "z", "3"},
          {"New", "k", "v"}},
         "; by hand\r\ntop=level\n\n[Unknown]\n  odd line\nkeep = this ; and this \n# hash\n;commented=1\n\n"
         "[Common Settings]\nVerbose = 2\nother=x\nlog_file_name=a.log\n\n; before Tail\n"
         "[Tail]\r\nx=1\r\ny=2\r\n[Last]\nno newline=yes\nz=3\n\n[New]\nk=v\n"},
        {"[a]\nx=1\n\t\t\r", {{"new", "k", "v"}}, "[a]\nx=1\n\t\t\r\n[new]\nk=v\n"},  // not glued to the CR
        {"[s]\nkeep=1\n",
         {{"s", "[t]", "1"}, {"s", "[t", "x]"}, {"s", ";c", "1"}, {"s", "#c", "1"}, {"a]b", "k", "1"}, {"", "k", "1"},
          {"s", "", "1"}, {"s", "k=", "1"}},
         "[s]\nkeep=1\n"},
        {"[s]\nkeep=1\n", {{"s", "k\r\n", "2"}}, "[s]\nkeep=1\nk=2\n"},
        // Files read only in part: oversized ones are not written back (that
        // would lose the unread tail); an overlong line is skipped.
        {big, {{"S", "k", "2"}}, big, {{"S", "k", "1"}, {"S", "cut", "absent"}, {"Late", "k", "absent"}}},
        {"[S]\n" + long_line + "after=1\n[T]\nk=2\n", {{"T", "k", "3"}}, "[S]\n" + long_line + "after=1\n[T]\nk=3\n",
         {{"S", "long", "absent"}, {"S", "after", "absent"}, {"T", "k", "2"}}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(path);
        if (!c.before.empty()) write_file(path, c.before);
        {
            Profile profile("x");
            for (const Setting& r : c.reads) EXPECT_EQ(get(profile, r.section, r.key, "absent"), r.value) << r.key;
            for (const Setting& w : c.writes) profile.WriteString(w.section, w.key, w.value);
            profile.WriteString("s", "long", std::string(70000, 'v').c_str());  // longer than a line is read
        }
        EXPECT_EQ(read_file(path), c.after) << c.before.substr(0, 40);
    }
}

// A write renames a complete new file over the old one, keeping its
// permissions, and only when something changed; no temporary file stays.
TEST_F(ProfileFile, AtomicWriteOnlyWhenChangedAndNoTemporaryLeft) {
    write_file(path, "[S]\nk = same\n");
#if !defined(_WIN32)  // inode numbers and modes are POSIX
    ::chmod(path.c_str(), 0640);
    auto inode = [&] {
        struct stat st;
        ::stat(path.c_str(), &st);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        return st.st_ino;
    };
    const ino_t before = inode();
    Profile("x").WriteString("S", "k", "same");
    EXPECT_EQ(inode(), before);
    Profile("x").WriteString("S", "k", "new");
    EXPECT_NE(inode(), before);
#else
    Profile("x").WriteString("S", "k", "new");
#endif
    EXPECT_EQ(read_file(path), "[S]\nk = new\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);  // and settings.ini.lock
}

// Writers that all read the profile before any of them writes: each keeps
// its own key, and the stale copies of a key that one of them changed, which
// the others store back unchanged (as every import does), do not undo it.
#if !defined(_WIN32)  // the writers are forked processes
TEST_F(ProfileFile, ProcessesWritingAtOnceLoseNothing) {
    write_file(path, "[S]\nshared=old\n");
    constexpr int kWriters = 8;
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> writers;
    for (int k = 0; k < kWriters; ++k) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid > 0) {
            writers.push_back(pid);
            continue;
        }
        ::close(ready[0]);
        ::close(go[1]);
        Profile profile("x");
        profile.WriteString("S", "shared", k == 0 ? "new" : "old");
        profile.WriteString("S", ("key" + std::to_string(k)).c_str(), std::to_string(k).c_str());
        char c = 0;
        const bool told = ::write(ready[1], "r", 1) == 1 && ::read(go[0], &c, 1) == 0;  // until go closes
        ::_exit(told && profile.Flush() ? 0 : 1);
    }
    ::close(ready[1]);
    char c = 0;
    for (int k = 0; k < kWriters; ++k) ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(go[1]), ::close(go[0]), ::close(ready[0]);  // all at once
    for (pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Profile profile("x");
    EXPECT_EQ(get(profile, "S", "shared"), "new");
    for (int k = 0; k < kWriters; ++k)
        EXPECT_EQ(get(profile, "S", ("key" + std::to_string(k)).c_str(), "lost"), std::to_string(k));
}
#endif

// An explicit path, then the per-user configuration folder (on POSIX
// $HOME/.config when that variable is unset or not absolute).
TEST(ProfileLocation, ExplicitThenConfigFolder) {
#if defined(_WIN32)  // with a drive letter, as Windows gives APPDATA
    const std::string folder = std::filesystem::absolute(scratch_folder()).string(), sep = "\\",
                      elsewhere = "D:\\somewhere\\else.ini";
#else
    const std::string folder = scratch_folder(), sep = "/", elsewhere = "/somewhere/else.ini";
#endif
    {
        ScopedEnv profile("VERTEXA_PROFILE", elsewhere);
        EXPECT_EQ(Profile::PathFor("scn_in"), elsewhere);
    }
    ScopedEnv profile("VERTEXA_PROFILE", std::string());  // set but empty: not used
    ScopedEnv config(host_test::kConfigHome, folder + sep + "config");
    const std::string config_folder = folder + sep + "config" + sep + "vertexa" + sep;
    EXPECT_EQ(Profile::PathFor("scn_in"), config_folder + "scn_in.ini");
    EXPECT_EQ(Profile::PathFor("../up"), config_folder + ".._up.ini");
    Profile("scn_in").WriteString("S", "k", "v");  // the folders are made on writing
    EXPECT_EQ(read_file(config_folder + "scn_in.ini"), "[S]\nk=v\n");
#if defined(_WIN32)
    ScopedEnv no_app_data("APPDATA", std::nullopt);
    EXPECT_EQ(Profile::PathFor("scn_in"), "");
#else
    ScopedEnv home("HOME", folder);
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/path");  // not absolute: not used
    EXPECT_EQ(Profile::PathFor("scn_in"), folder + "/.config/vertexa/scn_in.ini");
#endif
}

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

using FileOption = ProfileFile;  // the options keep their common settings in the profile

TEST_F(FileOption, CommonSettingsLoadedFromAndStoredInTheProfile) {
    Import_FileOption("scn_in", "scnin.log");  // gone at once, storing its defaults
    EXPECT_EQ(read_file(path), "[Common Settings]\nverbose=0\nlog_file_name=scnin.log\n");

    for (const char* bad : {"yes", "1x", "99999999999"}) {
        write_file(path, std::string("[Common Settings]\nverbose=") + bad + "\nlog_file_name=\n");
        Import_FileOption options("scn_in", "scnin.log");
        EXPECT_EQ(options.Get_Verbose(), 0) << bad;
        EXPECT_STREQ(options.Get_LogFileName(), "scnin.log") << bad;
    }
    write_file(path, "[Common Settings]\nverbose = -2\nlog_file_name = x.log\n");
    const std::string huge(10000, 'n');
    const vertexa::AllocStats before = vertexa::alloc_stats();
    {
        Import_FileOption options("scn_in", "scnin.log");
        EXPECT_EQ(options.Get_Verbose(), -2);  // (the name read: see the profile stored)
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
    EXPECT_EQ(read_file(path), "[Common Settings]\nverbose = 1\nlog_file_name = x.log\n");
    Import_FileOption named(std::string(300, 'p').c_str(), "scnin.log");
    EXPECT_EQ(std::strlen(named.Get_ProfileName()), 255u);
    named.Set_LogFileName(huge.c_str());
    EXPECT_EQ(std::strlen(named.Get_LogFileName()), size_t{Import_FileOption::kTextSize - 1});
}

TEST_F(FileOption, SavedOptionsFileReadsBackThroughTheCommandLine) {
    const std::string saved = folder + "/saved.opt";
    {
        Import_FileOption options("scn_in", "scnin.log");
        options.Set_Verbose(2);
        options.Set_LogFileName("c:\\logs\\import;1.log");
        FILE* f = std::fopen(saved.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        options.Save(f);
        std::fputs("// COB in options\n// \n-home_path = d:\\ts\\;\n", f);
        options.Print_Options(f);
        std::fclose(f);
        options.Save(nullptr);
        options.Print_Options(nullptr);
    }
    EXPECT_EQ(read_file(saved),
              "-verbose = 2;\n-log_file_name = c:\\logs\\import;1.log;\n"
              "// COB in options\n// \n-home_path = d:\\ts\\;\n"
              "\t Verbose: 2\n\t Log File: c:\\logs\\import;1.log\n");
    write_file(path, "");  // forget what the first object stored

    Import_FileOption options("scn_in", "scnin.log");
    Args args{"@" + saved};
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
    Args args{"-log_file_name", "=", "args.log;"};
    Import_FileOption(args.argc(), args.argv(), "default.log");  // gone at once, storing what it read
    EXPECT_EQ(read_file(common), "[Common Settings]\nverbose=1\nlog_file_name=args.log\n");
}

}  // namespace
