// The vertexa command as people run it: the plug-in module found beside the
// program, exit statuses, messages on stderr, the summary on stdout.
#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "../host/host_test_util.h"
#include "cob_writer.h"
#include "vertexa/text.h"

namespace {

using host_test::read_file;
using host_test::scratch_folder;
using host_test::write_file;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// build/bin/vertexa with `args` (a shell word list of our own making), run in
// the test's folder under its profile, bounded in time: a run that waits for
// ever fails instead of stopping the suite.
Outcome vertexa(const std::string& folder, const std::string& args) {
#if defined(_WIN32)  // through cmd.exe, which quotes with '"'; ctest bounds the time
    std::string line = args;
    for (char& c : line) c = c == '\'' ? '"' : c;
    const int status = std::system(("\"cd /d \"" + folder + "\" && set \"VERTEXA_PROFILE=" + folder + "/scn_in.ini\" && \"" +
                                    VERTEXA_BIN_DIR "/vertexa.exe\" " + line + " <nul >stdout 2>stderr\"").c_str());
#else
    const int raw = std::system(("cd '" + folder + "' && timeout 60 env VERTEXA_PROFILE='" + folder + "/scn_in.ini' '" +
                                 VERTEXA_BIN_DIR + "/vertexa' " + args + " </dev/null >stdout 2>stderr").c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    Outcome run{status, read_file(folder + "/stdout"), read_file(folder + "/stderr")};
    for (std::string* text : {&run.out, &run.err}) std::erase(*text, '\r');  // Windows ends lines with CR LF
    return run;
}

std::string write_sample(const std::string& path, const std::string& name = "Box", const std::string& image = "") {
    cobtest::Polygon box;
    box.axes.name = name;
    box.vertices = {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {0, 3, 0}};
    box.faces = {{.material = 0, .corners = {{0, 0}, {1, 0}, {2, 0}, {3, 0}}}};
    cobtest::Material blue{.number = 0, .red = 0, .green = 0, .blue = 1, .alpha = 0.8f};
    if (!image.empty()) blue.maps.push_back({.image = image});
    cobtest::CobFile(cobtest::Encoding::Binary).polygon(1, 0, box).material(2, 1, blue).end().write(path);
    return path;
}

// Through the module; names and paths in the Windows code page ("Würfel",
// "wöod" and "modéle" as trueSpace on Windows writes them) come out as UTF-8.
TEST(Cli, InfoAndConvertGoThroughTheModuleInUtf8) {
    const std::string folder = scratch_folder();
    const std::string file = write_sample(folder + "/mod\xE9le.cob", "W\xFCrfel", "C:\\maps\\w\xF6od.bmp");
    Outcome run = vertexa(folder, "info --json --no-progress '" + file + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto summary = nlohmann::json::parse(run.out);
    EXPECT_EQ(summary["file"], folder + "/mod\u00E9le.cob");
    ASSERT_EQ(summary["objects"].size(), 1u);
    EXPECT_EQ(summary["objects"][0]["name"], "W\u00FCrfel");
    EXPECT_EQ(summary["objects"][0]["faces"], 1);
    EXPECT_EQ(summary["surfaces"][1]["alpha"].get<double>(), static_cast<double>(0.8f));
    EXPECT_EQ(summary["bounding_box"]["max"][1], 3.0);
    EXPECT_EQ(summary["surfaces"][1]["layers"][0]["image"], "C:\\maps\\w\u00F6od.bmp");
    EXPECT_EQ(summary["maps"][0], "C:\\maps\\w\u00F6od.bmp");
    // For people: the file's single-precision numbers at their shortest.
    run = vertexa(folder, "info --no-progress '" + file + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(vertexa::is_utf8(run.out) && run.out.find("W\u00FCrfel") != std::string::npos) << run.out;
    EXPECT_NE(run.out.find(", alpha 0.8; texture"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("0.80000"), std::string::npos) << run.out;
    // Converted files name the object in UTF-8, and the files beside OUT
    // have the UTF-8 names their URIs give; warnings are UTF-8 too.
    run = vertexa(folder, "convert '" + file + "' '" + folder + "/out\xE9.gltf'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(vertexa::is_utf8(run.err) && run.err.find("w\u00F6od.bmp") != std::string::npos) << run.err;
    const auto gltf = nlohmann::json::parse(read_file(folder + "/out\xE9.gltf"));
    EXPECT_EQ(gltf["nodes"][0]["name"], "W\u00FCrfel");
    EXPECT_EQ(gltf["buffers"][0]["uri"], "out\u00E9.bin");
    EXPECT_TRUE(std::filesystem::exists(folder + "/out\u00E9.bin"));
    run = vertexa(folder, "info '" + folder + "/absent\xE9.cob'");
    EXPECT_TRUE(vertexa::is_utf8(run.err) && run.err.find("absent\u00E9.cob: not found") != std::string::npos)
        << run.err;
}

#if !defined(_WIN32)  // links, FIFOs and the test modules are POSIX
// The default folder named again, through a link, lists the module once.
TEST(Cli, PluginsListTheModuleOnce) {
    const std::string folder = scratch_folder();
    std::filesystem::create_directory_symlink(std::string(VERTEXA_BIN_DIR) + "/plugins", folder + "/link");
    Outcome run = vertexa(folder, "--plugin-dir '" + folder + "/link' plugins");
    ASSERT_EQ(run.status, 0) << run.err;
    const size_t listed = run.out.find("name: Cob Import Lib\n  version: 0x808\n");
    EXPECT_TRUE(listed != std::string::npos && listed == run.out.rfind("name: Cob Import Lib")) << run.out;
    EXPECT_NE(run.out.find("class: Truespace (*.scn, *.cob) (super class 0x2000, class 0x6C8C1587)\n"), std::string::npos) << run.out;
}

// Modules that cannot be used, bad arguments, inputs and options files that
// cannot be read (one line each), and outputs that are the input or no
// file: a message, a status, nothing on stdout, and the input as it was.
TEST(Cli, RefusalsGiveMessagesAndStatusesAndKeepTheInput) {
    const std::string folder = scratch_folder();
    const std::string file = write_sample(folder + "/box.cob"), original = read_file(file);
    const std::string fixtures = std::string(VERTEXA_BIN_DIR) + "/test_fixtures";
    write_file(folder + "/notes.opt", "just some text\n");
    write_file(folder + "/empty.cob", "");
    write_file(folder + "/model.glb", std::string("glTF\x02\0\0\0", 8) + std::string(40, '\0'));
    write_file(folder + "/letter.cob", "Caligari V00.01X" + std::string(40, ' '));
    std::filesystem::create_directory(folder + "/sub");
    ASSERT_EQ(::link(file.c_str(), (folder + "/hard.glb").c_str()), 0);
    std::filesystem::create_symlink(file, folder + "/soft.glb");
    ASSERT_EQ(::mkfifo((folder + "/pipe.glb").c_str(), 0600), 0);
    const auto glb = [&](const std::string& out) { return "convert --format glb '" + file + "' '" + out + "'"; };
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    std::vector<Case> cases = {
        {"--plugin '" + fixtures + "/old_plugin.so' info '" + file + "'", 3,
         "built for plug-in interface version 0x700"},
        {"--plugin '" + fixtures + "/not_a_plugin.so' info '" + file + "'", 3, "not a Vertexa plug-in"},
        {"--plugin '" + folder + "/nothing.so' plugins", 3, "no such plug-in module"},
        {"frobnicate", 2, ""},
        {"configure", 1, "configure needs a terminal"},
        {"options save '" + folder + "/no/such/dir/x.opt'", 1, "cannot write the options file"},
        {"convert '" + file + "'", 2, "convert takes IN OUT, or IN... -o DIR"},
        {"convert '" + file + "' a.glb b.glb", 2, "convert takes IN OUT"},
        {"convert '" + file + "' '" + folder + "/x.glb' -j 2", 2, "convert takes IN OUT"},
        {"convert '" + file + "' -o '" + folder + "/out' -j 0", 2, "--jobs"},
        {"convert '" + file + "' -o '" + folder + "/out' --format fbx", 2, "unknown format fbx"},
        {"options load '" + folder + "/notes.opt'", 4, "vertexa: " + folder + "/notes.opt: not an options file"},
        {"options load '" + folder + "/absent.opt'", 4, "vertexa: " + folder + "/absent.opt: not found"},
        {"options load '" + folder + "/sub'", 4, "vertexa: " + folder + "/sub: is a folder"},
        {"options load '" + folder + "/pipe.glb'", 4, "vertexa: " + folder + "/pipe.glb: not a regular file"},
        {glb(file), 1, "cannot write " + file + ": it is the input file"},
        {glb(folder + "/sub/../box.cob"), 1, "cannot write " + folder + "/sub/../box.cob: it is the input file"},
        {glb(folder + "/hard.glb"), 1, "cannot write " + folder + "/hard.glb: it is the input file"},
        {glb(folder + "/soft.glb"), 1, "cannot write " + folder + "/soft.glb: it is the input file"},
        {glb(folder + "/pipe.glb"), 1, "cannot write " + folder + "/pipe.glb: it exists and is not a regular file"},
        {glb(folder + "/sub"), 1, "cannot write " + folder + "/sub: it is a folder"},
    };
    const std::pair<std::string, std::string> unreadable[] = {
        {"absent.cob", "not found"},           {"sub", "is a folder"},
        {"pipe.glb", "not a regular file"},    {"empty.cob", "not a trueSpace file"},
        {"model.glb", "not a trueSpace file"}, {"letter.cob", "unknown encoding letter 'X'"},
    };
    for (const auto& [input, message] : unreadable) {
        const std::string path = "'" + folder + "/" + input + "'";
        const std::string line = "vertexa: " + folder + "/" + input + ": " + message;
        cases.push_back({"info --no-progress " + path, 4, line});
        cases.push_back({"info --json " + path, 4, line});
        cases.push_back({"convert " + path + " '" + folder + "/out.glb'", 4, line});
    }
    for (const auto& c : cases) {
        const Outcome run = vertexa(folder, c.args);
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_FALSE(run.err.empty()) << c.args;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.args << "\n" << run.err;
        if (c.status == 4) {  // one line, the message
            EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << c.args << "\n" << run.err;
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
        }
        EXPECT_TRUE(run.out.empty()) << c.args << "\n" << run.out;
        EXPECT_EQ(read_file(file), original) << c.args;
    }
    EXPECT_FALSE(std::filesystem::exists(folder + "/out.glb"));
    struct stat st;
    EXPECT_TRUE(::lstat((folder + "/pipe.glb").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_TRUE(::lstat((folder + "/soft.glb").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    for (const auto& e : std::filesystem::directory_iterator(folder))
        EXPECT_NE(e.path().filename().string().rfind(".vx", 0), 0u) << e.path();
    Outcome run = vertexa(folder, "--version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("vertexa ", 0), 0u) << run.out;
    // A profile that cannot be written (its name is a folder's): settings the
    // user gave fail the command, those an import stores back give a warning.
    write_file(folder + "/good.opt", "-image_search_path = e:\\maps\\;\n");
    std::filesystem::create_directories(folder + "/locked/scn_in.ini");
    const std::string in_profile = " in the profile " + folder + "/locked/scn_in.ini: Is a directory\n";
    for (const auto& [args, status, message] : std::vector<std::tuple<std::string, int, std::string>>{
             {"options load '" + folder + "/good.opt'", 1, "cannot store the settings of " + folder + "/good.opt"},
             {"info --no-progress '" + file + "'", 0, "warning: cannot store the settings"},
             {"convert '" + file + "' box.glb", 0, "warning: cannot store the settings"},
             {"convert '" + file + "' -o out", 0, "warning: cannot store the settings"}}) {
        run = vertexa(folder + "/locked", args);
        EXPECT_EQ(run.status, status) << args;
        EXPECT_NE(run.err.find(message + in_profile), std::string::npos) << args << "\n" << run.err;
    }
    EXPECT_TRUE(std::filesystem::exists(folder + "/locked/box.glb") && std::filesystem::exists(folder + "/locked/out/box.glb"));
}

#endif

TEST(Cli, TheProfileExampleOfTheReadmeReadsAsItSays) {
    const std::string folder = scratch_folder();
    const std::string readme = read_file(std::string(VERTEXA_SOURCE_DIR) + "/README.md");
    const size_t start = readme.find("```ini\n");
    ASSERT_NE(start, std::string::npos);
    const size_t end = readme.find("```", start + 7);
    write_file(folder + "/scn_in.ini", readme.substr(start + 7, end - start - 7));
    const Outcome run = vertexa(folder, "options save '" + folder + "/saved.opt'");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string saved = read_file(folder + "/saved.opt");
    EXPECT_NE(saved.find("-verbose = 1;\n-log_file_name = scnin.log;\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("-image_search_path = /home/me/textures/;/mnt/old/tS/maps/;;\n"), std::string::npos) << saved;
    write_file(folder + "/other.opt", "-image_search_path = e:\\textures\\;\n");
    ASSERT_EQ(vertexa(folder, "options load '" + folder + "/other.opt'").status, 0);
    EXPECT_NE(read_file(folder + "/scn_in.ini").find("image_search_path=e:\\textures\\"), std::string::npos);
}

TEST(Cli, ConvertsOneFileOrWholeFoldersInWorkers) {
    namespace fs = std::filesystem;
    const std::string folder = scratch_folder();
    for (const char* sub : {"/in/sub/deeper", "/extra"}) fs::create_directories(folder + sub);
    // d\xE9.cob: a name in the Windows code page, given and found in a folder.
    for (const char* name : {"/in/a.cob", "/in/sub/b.COB", "/in/sub/deeper/c.Scn", "/extra/d\xE9.cob"}) write_sample(folder + name);
    write_file(folder + "/in/notes.txt", "not a model");
    // Cut short after the file header: nothing in it can be read.
    write_file(folder + "/in/sub/damaged.cob", read_file(folder + "/in/a.cob").substr(0, 40));

    // The folder, a file given by name, and a file whose output the folder
    // already gives.
    const std::string out = folder + "/out";
    Outcome run = vertexa(folder, "convert in extra/d\xE9.cob ./in/a.cob -o out -j 2 --format gltf");
    EXPECT_EQ(run.status, 1) << run.err;
    for (const char* written : {"/a", "/sub/b", "/sub/deeper/c", "/d\xE9"}) {
        const auto gltf = nlohmann::json::parse(read_file(out + written + ".gltf"), nullptr, false);
        EXPECT_EQ(gltf.is_discarded() ? -1 : static_cast<int>(gltf["meshes"].size()), 1) << written;
    }
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out)) files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 8u);  // and their buffers
    EXPECT_NE(run.err.find("vertexa: in/sub/damaged.cob holds no objects"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("vertexa: ./in/a.cob: not converted: its output out/a.gltf is that of in/a.cob\n"),
              std::string::npos) << run.err;
    EXPECT_TRUE(run.err.ends_with("\n4 converted, 2 failed\n")) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;

    // Every file converted; the default format; the verbose log holds every
    // file's import, in the files' order.
    write_file(folder + "/scn_in.ini", "[Common Settings]\nverbose=1\nlog_file_name=batch.log\n");
    run = vertexa(folder, "convert in/sub/deeper extra -o glb -j 2");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(folder + "/glb/c.glb") && fs::exists(folder + "/glb/d\xE9.glb")) << run.err;
    EXPECT_TRUE(run.err.ends_with("2 converted, 0 failed\n")) << run.err;
#if !defined(_WIN32)  // Windows workers are programs of their own: one file's log
    const std::string log = read_file(folder + "/batch.log");
    const size_t c = log.find("Parsing in/sub/deeper/c.Scn "), d = log.find("Parsing extra/d\xE9.cob ");
    EXPECT_TRUE(c != std::string::npos && d != std::string::npos && c < d) << log;
#endif
}

}  // namespace
