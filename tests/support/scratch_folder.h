// A fresh folder for the running test, named after it: each test of a
// GoogleTest binary runs in a process of its own under CTest, several at once.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

inline std::filesystem::path scratch_folder(const std::string& prefix) {
    const std::filesystem::path folder =
        std::filesystem::path(testing::TempDir()) /
        (prefix + "_" + testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}
