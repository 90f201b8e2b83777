#pragma once
// An opened scripted device with the in-process notification services installed, so that
// every message a test causes is recorded.

#include "tests/support/ScriptedDevice.h"

#include "platform/NotifyServices.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <vector>

namespace vaultix::serial::testing {

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetNotifyServices(&Services);
        ASSERT_EQ(Device->OpenStandard(OutSize()), 0);
        Device->ClearCalls();
    }
    void TearDown() override {
        Device.reset();
        platform::SetNotifyServices(nullptr);
    }
    virtual std::uint32_t OutSize() const { return 10240; }

    // Count bytes 0, 1, 2, ... starting at From, wrapping at 256.
    static std::vector<std::uint8_t> Sequence(std::size_t Count, std::uint8_t From = 0) {
        std::vector<std::uint8_t> bytes(Count);
        std::iota(bytes.begin(), bytes.end(), From);
        return bytes;
    }

    std::vector<std::uint8_t> Read(std::uint32_t Count) {
        std::vector<std::uint8_t> bytes(Count);
        EXPECT_EQ(Device->ReadBlock(bytes.data(), Count), static_cast<std::int32_t>(Count));
        return bytes;
    }

    platform::TDirectNotifyServices Services;
    std::unique_ptr<TScriptedDevice> Device = std::make_unique<TScriptedDevice>();
};

} // namespace vaultix::serial::testing
