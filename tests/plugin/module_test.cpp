// The plug-in module as the host sees it: loaded with dlopen, driven only
// through its exports, its class descriptor and the importer interface.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "../host/host_test_util.h"
#include "cob_writer.h"
#include "platform/frontend.h"
#include "plugin_host.h"
#include "vertexa/memory.h"
#include "vertexa/plugin.h"
#include "vertexa/scene.h"

namespace {

using host_test::read_file;
using host_test::write_file;

const std::string kModule = std::string(VERTEXA_BIN_DIR) + "/plugins/scn_in.so";
const std::string kFixtures = std::string(VERTEXA_BIN_DIR) + "/test_fixtures";

// The everyday polygon and its two materials, in the given encoding.
std::string write_scene(const std::string& path, cobtest::Encoding encoding) {
    cobtest::CobFile(encoding).polygon(1, 0, cobtest::sample_polygon()).material(2, 1, {}).material(3, 1, {.number = 1}).end().write(path);
    return path;
}

// The module loaded, a profile of the test's own, and the headless front end
// with a main window standing for the host's.
class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = host_test::scratch_folder();
        profile_.emplace("VERTEXA_PROFILE", path("scn_in.ini"));
        std::string error;
        ASSERT_TRUE(module_.load(kModule, error)) << error;
        cls_ = module_.scene_importer();
        ASSERT_NE(cls_, nullptr);
        vxp::select_front_end(vxp::FrontEnd::headless);
        vxp::script_clear();
        vxp::create_main_window("test host");
    }
    void TearDown() override {
        vxp::set_pump_observer(nullptr);
        EXPECT_EQ(vxp::script_remaining(), 0u);
        EXPECT_EQ(vxp::script_mismatches(), 0u);
        vxp::destroy_main_window();
    }
    std::string path(const char* name) const { return folder_ + "/" + name; }

    std::string folder_;
    std::optional<host_test::ScopedEnv> profile_;
    vertexa::PluginModule module_;
    const vertexa::PluginClass* cls_ = nullptr;
};

// The names and numbers the exports give are checked by `vertexa plugins`.
TEST_F(ModuleTest, OneDescriptorAndIndependentImporters) {
    ASSERT_EQ(module_.classes().size(), 1u);
    void* handle = dlopen(kModule.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    auto describe = reinterpret_cast<LibClassDescriptionFunc>(dlsym(handle, "LibClassDescription"));
    ASSERT_NE(describe, nullptr);
    EXPECT_EQ(describe(0), cls_->descriptor);
    EXPECT_EQ(describe(1), nullptr);
    EXPECT_EQ(describe(-1), nullptr);
    dlclose(handle);

    const uint64_t before = vertexa::alloc_stats().live_blocks;
    {
        vertexa::Importer a = vertexa::create_importer(*cls_, 11), b = vertexa::create_importer(*cls_, 22);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(static_cast<SceneImportWithHostData*>(a.get())->host_data, 11u);
        EXPECT_EQ(static_cast<SceneImportWithHostData*>(b.get())->host_data, 22u);
        a->GetFilter();
        const uint64_t after_first = vertexa::alloc_stats().live_blocks;
        char* filter = a->GetFilter();  // replaces the first text instead of adding one
        EXPECT_EQ(vertexa::alloc_stats().live_blocks, after_first);
        EXPECT_STREQ(filter, "Truespace File     (*.scn;*.cob)|*.scn;*.cob|All Files                (*.*)|*.*||");
        EXPECT_NE(b->GetFilter(), filter);
        EXPECT_EQ(a->Query(), 0);
    }
    EXPECT_EQ(vertexa::alloc_stats().live_blocks, before);
}

// Both encodings and a missing file through one importer: every host block
// freed, the current directory kept, the log written where the profile says.
TEST_F(ModuleTest, ImportCycleFreesEveryHostBlockAndKeepsTheDirectory) {
    write_file(path("scn_in.ini"), "[Common Settings]\nverbose=1\nlog_file_name=" + path("scn_in.log") + "\n");
    const std::string directory_before = std::filesystem::current_path();
    const uint64_t before = vertexa::alloc_stats().live_blocks;
    {
        vertexa::Importer importer = vertexa::create_importer(*cls_, 7);
        importer->SetShowProgress(0);
        for (std::string file : {write_scene(path("quad.cob"), cobtest::Encoding::Binary),
                                 write_scene(path("quad_a.cob"), cobtest::Encoding::Ascii), path("missing.cob")}) {
            const bool missing = file == path("missing.cob");
            MScene* scene = importer->Import(file.data());
            ASSERT_NE(scene, nullptr);
            EXPECT_EQ(scene->Get_ObjectList()->size(), missing ? 0u : 1u) << file;
            EXPECT_EQ(scene->Get_SurfaceList()->size(), missing ? 0u : 3u) << file;  // DEFAULT and the two materials
            delete scene;
            EXPECT_EQ(std::filesystem::current_path(), directory_before);
        }
    }
    EXPECT_EQ(vertexa::alloc_stats().live_blocks, before);
    EXPECT_NE(read_file(path("scn_in.log")).find("File " + path("missing.cob") + " not found\n"), std::string::npos);
}

TEST(ModuleLoading, RefusesWhatIsNotAPluginOfThisVersion) {
    const std::string text = host_test::scratch_folder() + "/text.so";
    write_file(text, "this is not a shared object\n");
    const std::pair<std::string, std::string> cases[] = {
        {kFixtures + "/no_such_module.so", "no such plug-in module"},
        {text, "not a loadable module"},
        {kFixtures + "/not_a_plugin.so", "not a Vertexa plug-in"},
        {kFixtures + "/old_plugin.so", "version 0x700, this host has 0x808"},
    };
    for (const auto& [file, message] : cases) {
        vertexa::PluginModule module;
        std::string error;
        EXPECT_FALSE(module.load(file, error));
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_TRUE(module.classes().empty());
    }
}

// Cancelled, the Open dialog and the configuration dialog leave the profile
// and the directory as they were; a chosen file is imported as by name.
TEST_F(ModuleTest, CancelledDialogsKeepProfileAndDirectory) {
    const std::string profile = "[Specific Settings]\nhome_path=d:\\ts\\\nimage_search_path=d:\\map\\;\n\n"
                                "[Common Settings]\nverbose=0\nlog_file_name=scnin.log\n";
    write_file(path("scn_in.ini"), profile);
    const std::string directory_before = std::filesystem::current_path();
    vertexa::Importer importer = vertexa::create_importer(*cls_, 0);
    importer->SetShowProgress(0);
    vxp::script_file_cancel();
    EXPECT_EQ(importer->ImportInteractive(), nullptr);
    vxp::script_key(VK_TAB);
    vxp::script_type("x");
    vxp::script_key(VK_ESCAPE);
    importer->Configure();
    EXPECT_EQ(read_file(path("scn_in.ini")), profile);
    EXPECT_EQ(std::filesystem::current_path(), directory_before);

    const std::string file = write_scene(path("quad.cob"), cobtest::Encoding::Binary);
    vxp::script_file_choose(file);
    MScene* scene = importer->ImportInteractive();
    ASSERT_NE(scene, nullptr);
    EXPECT_STREQ(scene->get_name(), file.c_str());
    EXPECT_EQ(scene->Get_ObjectList()->size(), 1u);
    delete scene;
    EXPECT_EQ(std::filesystem::current_path(), directory_before);
}

TEST_F(ModuleTest, TheProgressWindowShowsOnlyWhenSwitchedOn) {
    std::string file = write_scene(path("quad.cob"), cobtest::Encoding::Ascii);
    int pumps = 0, pumps_with_window = 0;
    vxp::set_pump_observer([&] {
        ++pumps;
        for (HWND w : vxp::top_level_windows()) pumps_with_window += vxp::inspect(w).class_name == "#dialog";
    });
    vertexa::Importer importer = vertexa::create_importer(*cls_, 0);
    importer->SetShowProgress(0);
    std::unique_ptr<MScene> quiet(importer->Import(file.data()));
    EXPECT_EQ(pumps, 0);
    importer->SetShowProgress(1);
    std::unique_ptr<MScene> shown(importer->Import(file.data()));
    ASSERT_TRUE(quiet && shown);
    EXPECT_GT(pumps_with_window, 0);
    EXPECT_EQ(quiet->Get_ObjectList()->size(), shown->Get_ObjectList()->size());
    // The window is gone and the host's window works again.
    for (HWND w : vxp::top_level_windows()) EXPECT_NE(vxp::inspect(w).class_name, "#dialog");
    EXPECT_TRUE(vxp::inspect(vxp::main_window()).enabled);
}

}  // namespace
