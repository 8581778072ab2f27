// The vertexa command as people run it: the plug-in module found beside the
// program, exit statuses, messages on stderr and the summary on stdout.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "../host/host_test_util.h"
#include "cob_writer.h"

namespace {

using host_test::read_file;
using host_test::scratch_folder;
using host_test::write_file;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs build/bin/vertexa with `args` (a shell word list of our own making)
// under a profile of the test's folder.
Outcome vertexa(const std::string& folder, const std::string& args) {
    const std::string out = folder + "/stdout";
    const std::string err = folder + "/stderr";
    const std::string command = "VERTEXA_PROFILE='" + folder + "/scn_in.ini' '" + VERTEXA_BIN_DIR + "/vertexa' " + args +
                                " </dev/null >'" + out + "' 2>'" + err + "'";
    const int raw = std::system(command.c_str());
    Outcome run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = read_file(out);
    run.err = read_file(err);
    return run;
}

std::string write_sample(const std::string& path) {
    cobtest::Polygon box;
    box.axes.name = "Box";
    box.vertices = {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {0, 3, 0}};
    box.faces = {{.material = 0, .corners = {{0, 0}, {1, 0}, {2, 0}, {3, 0}}}};
    cobtest::Material blue{.number = 0, .red = 0, .green = 0, .blue = 1, .alpha = 0.8f};
    cobtest::CobFile file(cobtest::Encoding::Binary);
    file.polygon(1, 0, box).material(2, 1, blue).end();
    file.write(path);
    return path;
}

TEST(Cli, InfoImportsThroughTheModule) {
    const std::string folder = scratch_folder();
    const std::string file = write_sample(folder + "/box.cob");
    const Outcome run = vertexa(folder, "info --json --no-progress '" + file + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto summary = nlohmann::json::parse(run.out);
    ASSERT_EQ(summary["objects"].size(), 1u);
    EXPECT_EQ(summary["objects"][0]["name"], "Box");
    EXPECT_EQ(summary["objects"][0]["faces"], 1);
    EXPECT_EQ(summary["surfaces"][1]["alpha"].get<double>(), static_cast<double>(0.8f));
    EXPECT_EQ(summary["bounding_box"]["max"][1], 3.0);
}

TEST(Cli, PluginsListsTheModuleAndItsClass) {
    const std::string folder = scratch_folder();
    const Outcome run = vertexa(folder, "plugins");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("name: Cob Import Lib"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("version: 0x808"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("class: Truespace (*.scn, *.cob) (super class 0x2000, class 0x6C8C1587)"),
              std::string::npos)
        << run.out;
}

TEST(Cli, UnusableModulesAndBadArgumentsGiveMessagesAndStatuses) {
    const std::string folder = scratch_folder();
    const std::string file = write_sample(folder + "/box.cob");
    const std::string fixtures = std::string(VERTEXA_BIN_DIR) + "/test_fixtures";

    Outcome run = vertexa(folder, "--plugin '" + fixtures + "/old_plugin.so' info '" + file + "'");
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("built for plug-in interface version 0x700"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());

    run = vertexa(folder, "--plugin '" + fixtures + "/not_a_plugin.so' info '" + file + "'");
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("not a Vertexa plug-in"), std::string::npos) << run.err;

    run = vertexa(folder, "--plugin '" + folder + "/nothing.so' plugins");
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("no such plug-in module"), std::string::npos) << run.err;

    run = vertexa(folder, "frobnicate");
    EXPECT_EQ(run.status, 2);
    EXPECT_FALSE(run.err.empty());

    run = vertexa(folder, "--version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("vertexa ", 0), 0u) << run.out;
}

TEST(Cli, MissingFileStillGivesASummaryAndSaysWhy) {
    const std::string folder = scratch_folder();
    const Outcome run = vertexa(folder, "info --json '" + folder + "/absent.scn'");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("cannot read " + folder + "/absent.scn"), std::string::npos) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["objects"].size(), 0u);
}

TEST(Cli, OptionsSaveAndLoadGoThroughTheProfile) {
    const std::string folder = scratch_folder();
    write_file(folder + "/scn_in.ini", "[Specific Settings]\nimage_search_path=d:\\map\\;\n");
    Outcome run = vertexa(folder, "options save '" + folder + "/saved.opt'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(read_file(folder + "/saved.opt").find("-image_search_path = d:\\map\\;;\n"), std::string::npos);

    write_file(folder + "/other.opt", "-image_search_path = e:\\textures\\;\n");
    run = vertexa(folder, "options load '" + folder + "/other.opt'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(read_file(folder + "/scn_in.ini").find("image_search_path=e:\\textures\\"), std::string::npos);

    run = vertexa(folder, "options load '" + folder + "/absent.opt'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot read the options file"), std::string::npos) << run.err;
    run = vertexa(folder, "options save '" + folder + "/no/such/dir/x.opt'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write the options file"), std::string::npos) << run.err;
}

}  // namespace
