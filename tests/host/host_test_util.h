// Helpers of the host library's tests: a private scratch folder per test,
// whole-file reads and writes, and scoped environment variables.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "test_env.h"

namespace host_test {

// A fresh folder below VERTEXA_TEST_TMP named after the running test, so that
// tests run by parallel processes never share files; emptied when the same
// test runs again. Call it once per test.
inline std::string scratch_folder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path folder = std::filesystem::path(VERTEXA_TEST_TMP) / "host" /
        (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_file(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

// The variable that names the folder of the settings profiles.
#if defined(_WIN32)
inline constexpr const char* kConfigHome = "APPDATA";
#else
inline constexpr const char* kConfigHome = "XDG_CONFIG_HOME";
#endif

// Sets (or, with nullopt, removes) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        cobtest::set_env(name, value ? value->c_str() : nullptr);
    }
    ~ScopedEnv() { cobtest::set_env(name_.c_str(), old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace host_test
