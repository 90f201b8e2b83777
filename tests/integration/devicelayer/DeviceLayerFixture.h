#pragma once
// The device layer on a pseudo-terminal pair: the dispatcher opens the slave through a COM
// port name mapped onto it, the test drives the master as the far end of the cable.

#include "platform/ComPortMap.h"
#include "serial/DeviceDispatcher.h"
#include "serial/ResultCodes.h"
#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace vaultix::serial::testing {

// The dispatcher with the internals the tests look at.
class TTestDispatcher : public TOxWin32Dispatcher {
public:
    TTestDispatcher() : TOxWin32Dispatcher(nullptr) {}
    // A subclass's own device operations must still exist while the threads stop.
    ~TTestDispatcher() override { Shutdown(); }

    // This system's line: 8 data bits, even parity, two stop bits; DTR and RTS on.
    std::int32_t OpenLine(const std::string& Name, std::uint32_t Baud = 4800,
                          std::uint32_t OutSize = 10240) {
        return OpenDevice(Name, Baud, 2, 8, 2, 51200, OutSize, ooDtrOn | ooRtsOn);
    }

    using TOxWin32Dispatcher::EventMaskInForce;
    using TOxWin32Dispatcher::StartThreads;

    std::size_t InRingCapacity() {
        std::lock_guard input(InputLock);
        return InRing.capacity();
    }
    std::size_t OutRingCapacity() {
        std::lock_guard output(OutputLock);
        return OutRing.capacity();
    }
    struct TOutputState {
        std::uint32_t Head, Tail;
        bool Full;
    };
    TOutputState OutputState() {
        std::lock_guard output(OutputLock);
        return {OutHead, OutTail, OutFull};
    }
    bool HasThread(TThreadRole Role) { return Slot(Role).load() != nullptr; }
    // The kernel id of a running thread, 0 when it is not there.
    int ThreadId(TThreadRole Role) {
        TOxDispatcherThread* thread = Slot(Role).load();
        return thread ? thread->NativeId() : 0;
    }

private:
    std::atomic<TOxDispatcherThread*>& Slot(TThreadRole Role) {
        return Role == trComm ? ComThread : Role == trDispatch ? DispThread : OutThread;
    }
};

// A pseudo-terminal pair reachable as COM<Number>, with nothing else in the port map.
class TPtyPort {
public:
    explicit TPtyPort(int Number) : Number(Number) {
        platform::SetScanDirectory("");
        platform::SetPortOverride(Number, Pty.SlavePath());
    }
    ~TPtyPort() { platform::SetPortOverride(Number, ""); }
    std::string Name() const { return "\\\\.\\COM" + std::to_string(Number); }

    testsupport::TPtyPair Pty;
    const int Number;
};

inline std::vector<std::uint8_t> Pattern(std::size_t Count, std::uint32_t Seed = 1) {
    std::vector<std::uint8_t> bytes(Count);
    std::uint32_t x = Seed;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

inline std::uint64_t Checksum(const std::vector<std::uint8_t>& Bytes) {
    // Position-weighted, so that reordered bytes do not add up to the same sum.
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < Bytes.size(); ++i)
        sum = sum * 31 + Bytes[i];
    return sum;
}

using TClock = std::chrono::steady_clock;

// Takes Count bytes out of the dispatcher's input ring, in whatever pieces they arrive.
inline std::vector<std::uint8_t>
ReadFromDispatcher(TOxBaseDispatcher& D, std::size_t Count,
                   std::chrono::milliseconds Limit = std::chrono::milliseconds(10000)) {
    std::vector<std::uint8_t> got(Count);
    std::size_t done = 0;
    const auto end = TClock::now() + Limit;
    while (done < Count && TClock::now() < end) {
        const std::uint32_t waiting = D.InputCount();
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(waiting, Count - done));
        if (n == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            continue;
        }
        if (D.ReadBlock(got.data() + done, n) != static_cast<std::int32_t>(n)) break;
        done += n;
    }
    got.resize(done);
    return got;
}

// Queues every byte in blocks of at most Block bytes, waiting for room as the ring drains.
inline bool WriteToDispatcher(TOxBaseDispatcher& D, const std::vector<std::uint8_t>& Bytes,
                              std::size_t Block,
                              std::chrono::milliseconds Limit = std::chrono::milliseconds(10000)) {
    std::size_t done = 0;
    const auto end = TClock::now() + Limit;
    while (done < Bytes.size()) {
        const auto n = static_cast<std::uint32_t>(std::min(Block, Bytes.size() - done));
        const std::int32_t result = D.WriteBlock(Bytes.data() + done, n);
        if (result == ecOK) {
            done += n;
        } else if (result == ecOutputBufferTooSmall && TClock::now() < end) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        } else {
            return false;
        }
    }
    return true;
}

// Waits until Condition holds or the limit passes; the condition's last value.
template <typename TCondition>
bool Eventually(TCondition Condition,
                std::chrono::milliseconds Limit = std::chrono::milliseconds(5000)) {
    const auto end = TClock::now() + Limit;
    while (!Condition()) {
        if (TClock::now() >= end) return Condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The output ring drains to empty, back at its start, and nothing more reaches the far end.
inline void ExpectOutputDrainedOnce(TTestDispatcher& D, TPtyPort& Port) {
    ASSERT_TRUE(Eventually([&] { return D.OutputUsed() == 0; }));
    const auto state = D.OutputState();
    EXPECT_EQ(state.Head, 0u);
    EXPECT_EQ(state.Tail, 0u);
    EXPECT_FALSE(state.Full);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(Port.Pty.ReadAvailable().empty());
}

} // namespace vaultix::serial::testing
