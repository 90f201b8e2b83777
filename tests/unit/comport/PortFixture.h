#pragma once
// A port on COM1 over scripted devices, with the in-process notification services installed
// so that the notification window's messages are delivered on the test's thread.

#include "PortDevice.h"

#include "platform/NotifyServices.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace vaultix::serial::testing {

class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetNotifyServices(&Services);
        Port = std::make_unique<TTestPort>();
        Port->SetComNumber(1);
        Dir = std::filesystem::temp_directory_path() /
              ("comport-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(Dir);
        Port->SetTraceName((Dir / "trace.txt").string());
        Port->SetLogName((Dir / "log.txt").string());
    }
    void TearDown() override {
        Port.reset();
        platform::SetNotifyServices(nullptr);
        std::filesystem::remove_all(Dir);
    }

    static std::string ReadFile(const std::filesystem::path& Path) {
        std::ifstream in(Path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    platform::TDirectNotifyServices Services;
    std::unique_ptr<TTestPort> Port;
    std::filesystem::path Dir;
};

} // namespace vaultix::serial::testing
