// Writing: completion, ordering under back-pressure, cancellation by purge and close; queue
// counts and input purge.

#include "platform/SerialDevice.h"
#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace vaultix::platform;
using vaultix::testsupport::TPtyPair;
using namespace std::chrono_literals;

namespace {

constexpr auto Patience = 10s;

std::vector<std::uint8_t> Pattern(std::size_t Count) {
    std::vector<std::uint8_t> bytes(Count);
    for (std::size_t i = 0; i < Count; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

struct TWriteResult {
    int Result = -1;
    std::size_t Written = 0;
};

// A Write on another thread. Should the test fail while it still writes, an output purge
// releases it on the way out instead of hanging the test.
class TBackgroundWrite {
public:
    TBackgroundWrite(TSerialDevice& Device, const std::vector<std::uint8_t>& Bytes)
        : Device(Device), Future(std::async(std::launch::async, [&Device, &Bytes] {
              TWriteResult r;
              r.Result = Device.Write(Bytes.data(), Bytes.size(), r.Written);
              return r;
          })) {}

    ~TBackgroundWrite() {
        if (!Future.valid() || Future.wait_for(0s) == std::future_status::ready) return;
        Device.Purge(purgeOutput);
        // Should even that not work, closing the device ends every call.
        if (Future.wait_for(1s) != std::future_status::ready) Device.Close();
    }

    bool ReturnsWithin(std::chrono::milliseconds Time) {
        return Future.wait_for(Time) == std::future_status::ready;
    }

    TWriteResult Result() {
        if (!ReturnsWithin(Patience)) {
            ADD_FAILURE() << "the write did not return";
            return {};
        }
        return Future.get();
    }

private:
    TSerialDevice& Device;
    std::future<TWriteResult> Future;
};

class SerialWrite : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(TSerialDevice::Open(Pty.SlavePath(), Device), 0); }

    // More than a pseudo-terminal buffers, so that a writer blocks until the far end reads.
    static constexpr std::size_t Large = 64 * 1024;

    TPtyPair Pty;
    std::unique_ptr<TSerialDevice> Device;
};

} // namespace

TEST_F(SerialWrite, LargeWriteToASlowReaderCompletesInOrder) {
    const auto bytes = Pattern(Large);
    TBackgroundWrite write(*Device, bytes);
    std::vector<std::uint8_t> received;
    while (received.size() < bytes.size()) {
        auto chunk = Pty.ReadExactly(std::min<std::size_t>(1500, bytes.size() - received.size()));
        ASSERT_FALSE(chunk.empty()) << "stalled at " << received.size();
        received.insert(received.end(), chunk.begin(), chunk.end());
        std::this_thread::sleep_for(1ms);
    }
    const auto r = write.Result();
    EXPECT_EQ(r.Result, 0);
    EXPECT_EQ(r.Written, bytes.size());
    EXPECT_EQ(received, bytes);
}

TEST_F(SerialWrite, OutputPurgeCancelsAWriteStuckOnAFullLine) {
    const auto bytes = Pattern(Large);
    TBackgroundWrite write(*Device, bytes);
    // Until the far end's buffer is full the writer makes progress; then it waits.
    TDeviceCounts counts;
    std::uint32_t errors = 0;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(Device->ClearError(errors, counts), 0);
        if (counts.OutQue > 0 && counts.OutQue < Large) break;
        std::this_thread::sleep_for(1ms);
    }
    // The bytes not yet handed over still count as output waiting.
    EXPECT_GT(counts.OutQue, 0u);
    EXPECT_FALSE(write.ReturnsWithin(50ms));

    EXPECT_EQ(Device->Purge(purgeOutput), 0);
    const auto r = write.Result();
    EXPECT_EQ(r.Result, ECANCELED);
    EXPECT_LT(r.Written, Large);
    ASSERT_EQ(Device->ClearError(errors, counts), 0);
    EXPECT_EQ(counts.OutQue, 0u);

    // The purge lifts itself: the next write goes through.
    Pty.ReadAvailable();
    const std::vector<std::uint8_t> small = {1, 2, 3};
    std::size_t written = 0;
    EXPECT_EQ(Device->Write(small.data(), small.size(), written), 0);
    auto tail = Pty.ReadAvailable();
    ASSERT_GE(tail.size(), 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(tail.end() - 3, tail.end()), small);
}

TEST_F(SerialWrite, AbortHoldsUntilTheOutputPurge) {
    // An abort that comes before the writer gets to the device still stops it.
    Device->AbortWrite();
    const std::vector<std::uint8_t> bytes = {0x55};
    std::size_t written = 9;
    EXPECT_EQ(Device->Write(bytes.data(), bytes.size(), written), ECANCELED);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(Device->Write(bytes.data(), bytes.size(), written), ECANCELED);
    EXPECT_EQ(Device->Purge(purgeOutput), 0);
    EXPECT_EQ(Device->Write(bytes.data(), bytes.size(), written), 0);
    EXPECT_EQ(Pty.ReadExactly(1), bytes);
}

TEST_F(SerialWrite, CloseEndsAWriteStuckOnAFullLine) {
    const auto bytes = Pattern(Large);
    TBackgroundWrite write(*Device, bytes);
    EXPECT_FALSE(write.ReturnsWithin(100ms));
    std::size_t written = 0;
    EXPECT_EQ(Device->Write(bytes.data(), 1, written), EBUSY); // one writer at a time
    EXPECT_EQ(Device->Close(), 0);
    EXPECT_EQ(write.Result().Result, EBADF);
}

TEST_F(SerialWrite, WriteToAHungUpLineFails) {
    Pty.CloseMaster();
    const std::vector<std::uint8_t> bytes = {1, 2};
    std::size_t written = 0;
    EXPECT_EQ(Device->Write(bytes.data(), bytes.size(), written), EIO);
    EXPECT_TRUE(Device->IsHungUp());
}

TEST_F(SerialWrite, CountsAndInputPurge) {
    ASSERT_TRUE(Pty.WriteAll("0123456789"));
    std::this_thread::sleep_for(10ms);
    TDeviceCounts counts;
    std::uint32_t errors = 1;
    ASSERT_EQ(Device->ClearError(errors, counts), 0);
    EXPECT_EQ(errors, 0u); // a pseudo-terminal reports no line errors
    EXPECT_EQ(counts.InQue, 10u);
    EXPECT_EQ(counts.OutQue, 0u);

    EXPECT_EQ(Device->Purge(purgeInput), 0);
    ASSERT_EQ(Device->ClearError(errors, counts), 0);
    EXPECT_EQ(counts.InQue, 0u);
    std::uint8_t buffer[16];
    std::size_t got = 1;
    EXPECT_EQ(Device->Read(buffer, sizeof buffer, got), 0);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(Device->Purge(0), EINVAL);
}
