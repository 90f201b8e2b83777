// The output thread's drain with the device's writes held back at a gate, so that the ring's
// layout while a write is pending is known exactly.

#include "DeviceLayerFixture.h"

#include <condition_variable>
#include <mutex>

using namespace vaultix::serial;
using namespace vaultix::serial::testing;

namespace {

class TGatedDispatcher : public TTestDispatcher {
public:
    ~TGatedDispatcher() override {
        Release(1 << 30);
        Shutdown();
    }

    // Lets Count more writes through.
    void Release(int Count) {
        {
            std::lock_guard lock(Lock);
            Permits += Count;
        }
        Changed.notify_all();
    }
    // Waits until Runs writes have gone through and the next one waits at the gate.
    bool WaitHeld(std::size_t Runs) {
        std::unique_lock lock(Lock);
        return Changed.wait_for(lock, std::chrono::seconds(5),
                                [&] { return Written.size() == Runs && Holding; });
    }
    std::vector<std::uint32_t> Runs() {
        std::lock_guard lock(Lock);
        return Written;
    }

protected:
    int WriteRun(const std::uint8_t* Buffer, std::uint32_t Count) override {
        {
            std::unique_lock lock(Lock);
            Holding = true;
            Changed.notify_all();
            Changed.wait(lock, [&] { return Permits > 0; });
            --Permits;
            Holding = false;
            Written.push_back(Count);
        }
        return TTestDispatcher::WriteRun(Buffer, Count);
    }

private:
    std::mutex Lock;
    std::condition_variable Changed;
    int Permits = 0;
    bool Holding = false;
    std::vector<std::uint32_t> Written;
};

std::vector<std::uint8_t> Joined(std::initializer_list<const std::vector<std::uint8_t>*> Parts) {
    std::vector<std::uint8_t> all;
    for (const auto* part : Parts)
        all.insert(all.end(), part->begin(), part->end());
    return all;
}

} // namespace

TEST(DeviceLayerDrain, WrappedBytesGoOutInOneWriteInOrder) {
    TPtyPort port(3);
    TGatedDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name(), 4800, 10240), ecOK);
    const auto a = Pattern(6000, 1), b = Pattern(4000, 2), c = Pattern(3000, 3);
    ASSERT_EQ(d.WriteBlock(a.data(), 6000), ecOK);
    ASSERT_TRUE(d.WaitHeld(0)); // a is on its way: [0, 6000)
    ASSERT_EQ(d.WriteBlock(b.data(), 4000), ecOK);
    d.Release(1);
    ASSERT_TRUE(d.WaitHeld(1)); // a sent, b on its way: [6000, 10000)
    // c wraps: 240 bytes at the end, the rest from the start.
    ASSERT_EQ(d.WriteBlock(c.data(), 3000), ecOK);
    d.Release(10);
    EXPECT_EQ(port.Pty.ReadExactly(13000), Joined({&a, &b, &c}));
    EXPECT_EQ(d.Runs(), (std::vector<std::uint32_t>{6000, 4000, 3000}));
    ASSERT_TRUE(Eventually([&] { return d.OutputUsed() == 0; }));
    const auto state = d.OutputState();
    EXPECT_EQ(state.Head, 0u);
    EXPECT_EQ(state.Tail, 0u);
}

TEST(DeviceLayerDrain, RingFilledExactlyBehindAPendingWriteIsSentOnce) {
    TPtyPort port(3);
    TGatedDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name(), 4800, 10240), ecOK);
    const auto a = Pattern(4000, 4), b = Pattern(3000, 5), c = Pattern(7240, 6);
    ASSERT_EQ(d.WriteBlock(a.data(), 4000), ecOK);
    ASSERT_TRUE(d.WaitHeld(0));
    ASSERT_EQ(d.WriteBlock(b.data(), 3000), ecOK);
    d.Release(1);
    ASSERT_TRUE(d.WaitHeld(1)); // b on its way: [4000, 7000)
    // Exactly the room left: the ring is full, head meeting tail inside it.
    ASSERT_EQ(d.OutputFree(), 7240u);
    ASSERT_EQ(d.WriteBlock(c.data(), 7240), ecOK);
    {
        const auto state = d.OutputState();
        EXPECT_TRUE(state.Full);
        EXPECT_EQ(state.Head, state.Tail);
    }
    EXPECT_EQ(d.OutputFree(), 0u);
    EXPECT_EQ(d.WriteBlock(c.data(), 1), ecOutputBufferTooSmall);
    d.Release(10);
    EXPECT_EQ(port.Pty.ReadExactly(14240), Joined({&a, &b, &c}));
    EXPECT_EQ(d.Runs(), (std::vector<std::uint32_t>{4000, 3000, 7240}));
    ExpectOutputDrainedOnce(d, port);
}
