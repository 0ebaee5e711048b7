// A test's own folder for the files it writes: made before the test, under
// the system's temporary folder and named for the test and this process,
// and removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace testkit {

class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() / ("trellin-" + std::string(info->test_suite_name()) + "-" +
                                                        std::to_string(::getpid()) + "-" + info->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path dir;
};

}  // namespace testkit
