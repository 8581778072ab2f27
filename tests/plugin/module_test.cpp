// The plug-in module as the host sees it: loaded with dlopen, driven only
// through its exports, its class descriptor and the importer interface.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "../host/host_test_util.h"
#include "cob_writer.h"
#include "plugin_host.h"
#include "vertexa/memory.h"
#include "vertexa/plugin.h"
#include "vertexa/scene.h"

namespace {

using host_test::read_file;
using host_test::scratch_folder;
using host_test::ScopedEnv;
using host_test::write_file;

const std::string kModule = std::string(VERTEXA_BIN_DIR) + "/plugins/scn_in.so";
const std::string kFixtures = std::string(VERTEXA_BIN_DIR) + "/test_fixtures";

std::string current_directory() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
}

// A small scene: a textured quad with two materials, in the given encoding.
std::string write_scene(const std::string& path, cobtest::Encoding encoding) {
    cobtest::Polygon quad;
    quad.axes.name = "Quad";
    quad.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    quad.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    quad.faces = {{.material = 0, .corners = {{0, 0}, {1, 1}, {2, 2}}},
                  {.material = 1, .corners = {{0, 0}, {2, 2}, {3, 3}}}};
    cobtest::Material red{.number = 0, .red = 1, .green = 0, .blue = 0};
    cobtest::Material wood{.number = 1};
    wood.maps.push_back({.kind = cobtest::MapKind::Texture, .image = "C:\\tS\\maps\\wood.bmp"});
    cobtest::CobFile file(encoding);
    file.polygon(1, 0, quad).material(2, 1, red).material(3, 1, wood).end();
    file.write(path);
    return path;
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = scratch_folder();
        profile_.emplace("VERTEXA_PROFILE", folder_ + "/scn_in.ini");
        std::string error;
        ASSERT_TRUE(module_.load(kModule, error)) << error;
        cls_ = module_.scene_importer();
        ASSERT_NE(cls_, nullptr);
    }
    std::string path(const char* name) const { return folder_ + "/" + name; }

    std::string folder_;
    std::optional<ScopedEnv> profile_;
    vertexa::PluginModule module_;
    const vertexa::PluginClass* cls_ = nullptr;
};

TEST_F(ModuleTest, ExportsAndDescriptorTellWhatTheModuleOffers) {
    EXPECT_EQ(module_.name(), "Cob Import Lib");
    EXPECT_EQ(module_.version(), 0x808ul);
    ASSERT_EQ(module_.classes().size(), 1u);
    EXPECT_EQ(cls_->name, "Truespace (*.scn, *.cob)");
    EXPECT_EQ(cls_->super_class_id, 0x2000ul);
    EXPECT_EQ(cls_->class_id, 0x6C8C1587ul);
    EXPECT_EQ(cls_->descriptor->Available(), 1);

    // The descriptor is one object; other indices give nothing.
    void* handle = dlopen(kModule.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    auto describe = reinterpret_cast<LibClassDescriptionFunc>(dlsym(handle, "LibClassDescription"));
    ASSERT_NE(describe, nullptr);
    EXPECT_EQ(describe(0), cls_->descriptor);
    EXPECT_EQ(describe(0), describe(0));
    EXPECT_EQ(describe(1), nullptr);
    EXPECT_EQ(describe(-1), nullptr);
    dlclose(handle);
}

TEST_F(ModuleTest, ImportersAreIndependentAndGiveTheirMemoryBack) {
    const uint64_t before = vertexa::alloc_stats().live_blocks;
    {
        vertexa::Importer a = vertexa::create_importer(*cls_, 11);
        vertexa::Importer b = vertexa::create_importer(*cls_, 22);
        ASSERT_TRUE(a && b);
        EXPECT_NE(a.get(), b.get());
        EXPECT_EQ(static_cast<SceneImportWithHostData*>(a.get())->host_data, 11u);
        EXPECT_EQ(static_cast<SceneImportWithHostData*>(b.get())->host_data, 22u);

        char* first = a->GetFilter();
        ASSERT_NE(first, nullptr);
        const std::string first_text = first;
        const uint64_t after_first = vertexa::alloc_stats().live_blocks;
        char* second = a->GetFilter();
        // The second call replaced the first text instead of adding one.
        EXPECT_EQ(vertexa::alloc_stats().live_blocks, after_first);
        EXPECT_EQ(first_text, second);
        EXPECT_STREQ(second, "Truespace File     (*.scn;*.cob)|*.scn;*.cob|All Files                (*.*)|*.*||");
        // b's filter is its own.
        EXPECT_NE(b->GetFilter(), second);
        EXPECT_EQ(a->Query(), 0);
    }
    EXPECT_EQ(vertexa::alloc_stats().live_blocks, before);
}

TEST_F(ModuleTest, ImportOfAMissingFileGivesAnEmptySceneAndSaysSoInTheLog) {
    const std::string log = path("scn_in.log");
    write_file(path("scn_in.ini"), "[Common Settings]\nverbose=1\nlog_file_name=" + log + "\n");
    vertexa::Importer importer = vertexa::create_importer(*cls_, 0);
    importer->SetShowProgress(0);
    std::string missing = path("missing.cob");
    MScene* scene = importer->Import(missing.data());
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->Get_ObjectList()->size(), 0u);
    EXPECT_EQ(scene->Get_SurfaceList()->size(), 0u);
    delete scene;
    EXPECT_NE(read_file(log).find("File " + missing + " not found\n"), std::string::npos) << read_file(log);
}

TEST_F(ModuleTest, FullImportCycleFreesEveryHostBlockAndKeepsTheDirectory) {
    const std::string scene_file = write_scene(path("quad.cob"), cobtest::Encoding::Binary);
    const std::string ascii_file = write_scene(path("quad_a.cob"), cobtest::Encoding::Ascii);
    const std::string directory_before = current_directory();
    const uint64_t before = vertexa::alloc_stats().live_blocks;
    {
        vertexa::Importer importer = vertexa::create_importer(*cls_, 7);
        importer->SetShowProgress(0);
        for (const std::string& file : {scene_file, ascii_file}) {
            std::string name = file;
            MScene* scene = importer->Import(name.data());
            ASSERT_NE(scene, nullptr);
            ASSERT_EQ(scene->Get_ObjectList()->size(), 1u) << file;
            auto* mesh = static_cast<MMesh_P*>(scene->Get_ObjectList()->get(0));
            EXPECT_STREQ(mesh->get_name(), "Quad");
            EXPECT_EQ(mesh->Get_Vertex_Count(), 4);
            EXPECT_EQ(mesh->Get_Face_Count(), 2);
            // DEFAULT and the two materials.
            EXPECT_EQ(scene->Get_SurfaceList()->size(), 3u);
            ASSERT_EQ(scene->Get_MapList()->Maps().size(), 1u);
            EXPECT_EQ(scene->Get_MapList()->Maps()[0], "C:\\tS\\maps\\wood.bmp");
            delete scene;
            EXPECT_EQ(current_directory(), directory_before);
        }
    }
    EXPECT_EQ(vertexa::alloc_stats().live_blocks, before);
}

TEST_F(ModuleTest, OptionsFilesGoThroughTheImporterAndTheProfile) {
    write_file(path("scn_in.ini"),
               "[Specific Settings]\nhome_path=d:\\ts\\\nimage_search_path=d:\\map\\;c:\\map\\;\n");
    vertexa::Importer importer = vertexa::create_importer(*cls_, 0);
    std::string file = path("cob.opt");
    ASSERT_EQ(importer->SaveOptions(file.data()), 1);
    const std::string text = read_file(file);
    EXPECT_NE(text.find("-home_path = d:\\ts\\;\n-image_search_path = d:\\map\\;c:\\map\\;;\n"), std::string::npos)
        << text;

    std::string unwritable = path("no/such/folder/cob.opt");
    EXPECT_EQ(importer->SaveOptions(unwritable.data()), 0);

    write_file(file, "-home_path = e:\\home\\;\n-image_search_path = e:\\maps\\;\n");
    EXPECT_EQ(importer->LoadOptions(file.data()), 1);
    const std::string profile = read_file(path("scn_in.ini"));
    EXPECT_NE(profile.find("home_path=e:\\home\\"), std::string::npos) << profile;
    EXPECT_NE(profile.find("image_search_path=e:\\maps\\"), std::string::npos) << profile;
}

TEST(ModuleLoading, RefusesWhatIsNotAPluginOfThisVersion) {
    vertexa::PluginModule module;
    std::string error;
    EXPECT_FALSE(module.load(kFixtures + "/no_such_module.so", error));
    EXPECT_NE(error.find("no such plug-in module"), std::string::npos) << error;

    const std::string folder = scratch_folder();
    write_file(folder + "/text.so", "this is not a shared object\n");
    EXPECT_FALSE(module.load(folder + "/text.so", error));
    EXPECT_NE(error.find("not a loadable module"), std::string::npos) << error;

    EXPECT_FALSE(module.load(kFixtures + "/not_a_plugin.so", error));
    EXPECT_NE(error.find("not a Vertexa plug-in"), std::string::npos) << error;

    EXPECT_FALSE(module.load(kFixtures + "/old_plugin.so", error));
    EXPECT_NE(error.find("version 0x700, this host has 0x808"), std::string::npos) << error;
    EXPECT_TRUE(module.classes().empty());
}

}  // namespace

// The importer's windows, with the headless front end answering them.
#include "platform/frontend.h"

namespace {

class ModuleWindowsTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
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
};

TEST_F(ModuleWindowsTest, InteractiveImportCancelledGivesNullAndKeepsProfileAndDirectory) {
    const std::string profile = "[Specific Settings]\nhome_path=d:\\ts\\\nimage_search_path=d:\\map\\;\n\n"
                                "[Common Settings]\nverbose=0\nlog_file_name=scnin.log\n";
    write_file(path("scn_in.ini"), profile);
    const std::string directory_before = current_directory();
    vertexa::Importer importer = vertexa::create_importer(*cls_, 0);
    importer->SetShowProgress(0);
    vxp::script_file_cancel();
    EXPECT_EQ(importer->ImportInteractive(), nullptr);
    EXPECT_EQ(read_file(path("scn_in.ini")), profile);
    EXPECT_EQ(current_directory(), directory_before);

    // Chosen: the file is imported as by name.
    const std::string file = write_scene(path("quad.cob"), cobtest::Encoding::Binary);
    vxp::script_file_choose(file);
    MScene* scene = importer->ImportInteractive();
    ASSERT_NE(scene, nullptr);
    EXPECT_STREQ(scene->get_name(), file.c_str());
    EXPECT_EQ(scene->Get_ObjectList()->size(), 1u);
    delete scene;
    EXPECT_EQ(current_directory(), directory_before);
}

TEST_F(ModuleWindowsTest, ConfigureCancelledStoresTheOptionsUnchanged) {
    const std::string profile = "[Specific Settings]\nhome_path=d:\\ts\\\nimage_search_path=e:\\maps\\;\n\n"
                                "[Common Settings]\nverbose=0\nlog_file_name=scnin.log\n";
    write_file(path("scn_in.ini"), profile);
    vertexa::Importer importer = vertexa::create_importer(*cls_, 0);
    vxp::script_key(VK_TAB);
    vxp::script_type("x");
    vxp::script_key(VK_ESCAPE);
    importer->Configure();
    EXPECT_EQ(read_file(path("scn_in.ini")), profile);
}

TEST_F(ModuleWindowsTest, TheProgressWindowShowsOnlyWhenSwitchedOn) {
    const std::string file = write_scene(path("quad.cob"), cobtest::Encoding::Ascii);
    int pumps = 0;
    int pumps_with_window = 0;
    vxp::set_pump_observer([&] {
        ++pumps;
        for (HWND w : vxp::top_level_windows())
            if (vxp::inspect(w).class_name == "#dialog") ++pumps_with_window;
    });
    vertexa::Importer importer = vertexa::create_importer(*cls_, 0);
    std::string name = file;

    importer->SetShowProgress(0);
    MScene* quiet = importer->Import(name.data());
    ASSERT_NE(quiet, nullptr);
    EXPECT_EQ(pumps, 0);

    importer->SetShowProgress(1);
    MScene* shown = importer->Import(name.data());
    ASSERT_NE(shown, nullptr);
    EXPECT_GT(pumps_with_window, 0);
    // Both imports read the same.
    EXPECT_EQ(quiet->Get_ObjectList()->size(), shown->Get_ObjectList()->size());
    // The window is gone and the host's window works again.
    for (HWND w : vxp::top_level_windows()) EXPECT_NE(vxp::inspect(w).class_name, "#dialog");
    EXPECT_TRUE(vxp::inspect(vxp::main_window()).enabled);
    delete quiet;
    delete shown;
}

}  // namespace
