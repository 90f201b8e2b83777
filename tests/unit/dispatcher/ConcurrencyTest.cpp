// The dispatcher used the way its threads use it: a dispatch thread fills the input ring and
// checks notifications while the application reads, a drain takes the output while the
// application writes. Run under ThreadSanitizer these also catch unguarded state.

#include "DispatcherFixture.h"

#include "serial/DispatcherRegistry.h"
#include "serial/ResultCodes.h"

#include <atomic>
#include <thread>

namespace vaultix::serial::testing {
namespace {

using namespace vaultix::platform;

using Concurrency = DispatcherTest;

TEST_F(Concurrency, BytesReadWhileTheDispatchThreadWorksArriveOnceInOrder) {
    // The component's window is registered, so every arrival is a (handler-less) delivery.
    Services.SetWindowProc(0x100, {});
    Device->RegisterNotifyWindow(0x100);
    Device->SetAvailThreshold(1);
    constexpr std::size_t Total = 30000;
    const auto bytes = Sequence(Total, 3);

    std::atomic<bool> stop{false};
    std::thread dispatch([&] {
        for (std::size_t fed = 0; fed < Total; fed += 37) {
            Device->Feed(std::vector<std::uint8_t>(
                bytes.begin() + static_cast<std::ptrdiff_t>(fed),
                bytes.begin() + static_cast<std::ptrdiff_t>(std::min(Total, fed + 37))));
            Device->Pass();
        }
        while (!stop.load()) {
            Device->Pass(0);
            std::this_thread::yield();
        }
    });

    std::vector<std::uint8_t> received;
    while (received.size() < Total) {
        const std::uint32_t waiting = Device->InputCount();
        if (waiting == 0) {
            std::this_thread::yield();
            continue;
        }
        std::vector<std::uint8_t> chunk(waiting);
        ASSERT_EQ(Device->ReadBlock(chunk.data(), waiting), static_cast<std::int32_t>(waiting));
        received.insert(received.end(), chunk.begin(), chunk.end());
    }
    stop = true;
    dispatch.join();
    EXPECT_EQ(received, bytes);
}

class ConcurrentOutput : public DispatcherTest {
protected:
    std::uint32_t OutSize() const override { return 256; }
};

TEST_F(ConcurrentOutput, BlocksWrittenWhileDrainingAreSentWholeAndInOrder) {
    constexpr std::size_t Blocks = 400;
    constexpr std::size_t BlockSize = 50;
    const auto bytes = Sequence(Blocks * BlockSize);
    std::vector<std::uint8_t> sent;
    std::thread drain([&] {
        while (sent.size() < bytes.size()) {
            const auto taken = Device->TakeSent();
            if (taken.empty()) std::this_thread::yield();
            sent.insert(sent.end(), taken.begin(), taken.end());
        }
    });
    for (std::size_t block = 0; block < Blocks; ++block) {
        const std::uint8_t* start = bytes.data() + block * BlockSize;
        std::int32_t result;
        while ((result = Device->WriteBlock(start, BlockSize)) == ecOutputBufferTooSmall)
            std::this_thread::yield();
        ASSERT_EQ(result, 0);
    }
    drain.join();
    EXPECT_EQ(sent, bytes);
}

TEST_F(Concurrency, StatusQueriesRunBesideDispatchPasses) {
    std::atomic<bool> stop{false};
    std::thread dispatch([&] {
        for (int pass = 0; pass < 2000; ++pass) {
            Device->SetModemLevels(pass % 2 != 0 ? msCtsOn : 0);
            if (pass % 100 == 0) Device->RaiseErrors(ceFrame);
            Device->Pass(evCts | evErr);
        }
        stop = true;
    });
    int errors = 0;
    while (!stop.load()) {
        Device->IsCtsOn();
        if (Device->TakeLineError() == 4) ++errors;
        Device->WriteByte(0);
        Device->TakeSent();
        Device->OutputUsed();
    }
    dispatch.join();
    if (Device->TakeLineError() == 4) ++errors;
    EXPECT_GE(errors, 1);
}

TEST(ConcurrentRegistry, DispatchersMadeOnSeveralThreadsGetDistinctSlots) {
    std::vector<std::thread> threads;
    std::atomic<int> clashes{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 50; ++round) {
                TScriptedDevice device;
                if (DispatcherRegistry().At(device.GetHandle()) != &device) ++clashes;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(clashes.load(), 0);
}

} // namespace
} // namespace vaultix::serial::testing
