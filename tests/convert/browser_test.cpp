// The bundled sample converted to .glb and opened by three.js's GLTFLoader in
// headless Chromium: the meshes, triangle counts, normals and material
// colours that a web viewer sees. A screenshot of the render is left in
// build/artifacts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "convert.h"
#include "import.h"

namespace fs = std::filesystem;

TEST(ConvertBrowser, ThreeJsLoadsTheSampleWithItsMeshesAndColours) {
    const std::string web = std::string(VERTEXA_SOURCE_DIR) + "/tests/web";
    const bool have = std::system("node --version >/dev/null 2>&1") == 0 && fs::exists(web + "/node_modules/three") &&
                      fs::exists(web + "/node_modules/playwright-core") && fs::exists("/usr/bin/chromium");
    if (!have) {
        if (std::getenv("CI") != nullptr) FAIL() << "node, tests/web/node_modules or /usr/bin/chromium missing";
        GTEST_SKIP() << "node, the npm packages of tests/web (npm ci) or /usr/bin/chromium are not installed; CI runs this";
    }
    const std::string dir = std::string(VERTEXA_BIN_DIR) + "/../artifacts";
    fs::create_directories(dir);
    const std::string profile = dir + "/profile.ini";
    std::ofstream(profile) << "[Common Settings]\nverbose=0\n";
    ::setenv("VERTEXA_PROFILE", profile.c_str(), 1);
    vertexa::convert::Options o;
    o.importer = import_scene;
    o.image_paths = {std::string(VERTEXA_SOURCE_DIR) + "/samples/maps"};
    std::ostringstream err;
    ASSERT_EQ(vertexa::convert::convert_file(std::string(VERTEXA_SOURCE_DIR) + "/samples/still_life.scn",
                                             dir + "/still_life.glb", o, err), 0) << err.str();
    // The file the viewer gets passes the validator too.
    const std::string validate = "node " + web + "/validate.mjs " + dir + "/still_life.glb > " + dir + "/validation.txt 2>&1";
    EXPECT_EQ(std::system(validate.c_str()), 0) << "see " << dir << "/validation.txt";
    fs::remove(dir + "/still_life.png");
    const std::string cmd = "node " + web + "/render.mjs " + dir + "/still_life.glb " + dir + "/still_life.png > " +
                            dir + "/three.json 2>&1";
    const int rc = std::system(cmd.c_str());
    std::ifstream in(dir + "/three.json");
    std::stringstream s;
    s << in.rdbuf();
    ASSERT_EQ(rc, 0) << s.str();
    const nlohmann::json r = nlohmann::json::parse(s.str(), nullptr, false);
    ASSERT_FALSE(r.is_discarded()) << s.str();
    ASSERT_TRUE(r["rendered"].get<bool>()) << s.str();
    EXPECT_TRUE(fs::file_size(dir + "/still_life.png") > 1000);

    // The cube: top and bottom red (4 triangles), the sides textured (8);
    // the pyramid: a square base and four sides (6), blue, 75 % opaque; the
    // ball (12 segments, 6 rings: 120 triangles), green and smooth: one
    // vertex per position (62) and texture vertex (the seam's 5 and the
    // poles' 22 more).
    ASSERT_EQ(r["meshes"].size(), 4u) << s.str();
    int seen = 0;
    for (const auto& m : r["meshes"]) {
        const auto c = m["color"];
        const int tris = m["triangles"].get<int>();
        EXPECT_TRUE(m["normals"].get<bool>()) << s.str();
        if (tris == 4) {
            EXPECT_NEAR(c[0].get<double>(), 0.8, 1e-6);
            EXPECT_NEAR(c[1].get<double>(), 0.1, 1e-6);
            EXPECT_FALSE(m["textured"].get<bool>());
            seen |= 1;
        } else if (tris == 8) {
            EXPECT_NEAR(c[0].get<double>(), 0.9, 1e-6);
            EXPECT_TRUE(m["textured"].get<bool>());
            seen |= 2;
        } else if (tris == 6) {
            EXPECT_NEAR(c[2].get<double>(), 0.9, 1e-6);
            EXPECT_NEAR(m["opacity"].get<double>(), 0.75, 1e-6);
            EXPECT_TRUE(m["transparent"].get<bool>());
            seen |= 4;
        } else if (tris == 120) {
            EXPECT_NEAR(c[1].get<double>(), 0.7, 1e-6);
            EXPECT_EQ(m["vertices"].get<int>(), 62 + 5 + 22);
            seen |= 8;
        }
    }
    EXPECT_EQ(seen, 15) << s.str();
}
