#pragma once
// Helpers for the trace and log file tests: a scratch directory per test and byte-exact file
// contents, golden files included.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace vaultix::serial::testing {

inline std::string ReadWholeFile(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << Path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string Golden(const std::string& Name) {
    return ReadWholeFile(std::filesystem::path(VAULTIX_SOURCE_DIR) / "tests" / "unit" / "trace" /
                         "golden" / Name);
}

class TFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Dir = std::filesystem::temp_directory_path() /
              ("vaultix-trace-" + std::to_string(getpid()) + "-" + info->test_suite_name() + "-" +
               info->name());
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }

    std::string PathOf(const std::string& Name) const { return (Dir / Name).string(); }
    std::string Contents(const std::string& Name) const { return ReadWholeFile(Dir / Name); }
    bool Exists(const std::string& Name) const { return std::filesystem::exists(Dir / Name); }

    // A file name whose directory does not exist.
    std::string Unwritable() const { return (Dir / "missing" / "out.log").string(); }

    std::filesystem::path Dir;
};

} // namespace vaultix::serial::testing
