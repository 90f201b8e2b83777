#pragma once
// A pseudo-terminal pair as a serial cable for integration tests. The slave is the device the
// code under test opens by path (or through a COM port override); the master is the far end of
// the cable, driven by the test. The pair keeps a slave descriptor of its own open, so that the
// far end stays connected while the code under test closes and re-opens the device; the slave
// is left in the kernel's default (cooked) mode, so that an open that fails to configure the
// line raw shows up.

#include "platform/Termios2.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vaultix::testsupport {

class TPtyPair {
public:
    using TDeadline = std::chrono::milliseconds;
    static constexpr TDeadline DefaultDeadline{5000};

    TPtyPair(); // throws std::system_error when no pair can be made
    ~TPtyPair();
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    // The far end, non-blocking; -1 once closed.
    int MasterFd() const { return Master; }
    // "/dev/pts/N"
    const std::string& SlavePath() const { return Slave; }

    // Writes every byte into the far end, waiting for room while the device does not read.
    // False when the deadline passes first or the far end fails.
    bool WriteAll(const void* Data, std::size_t Count, TDeadline Deadline = DefaultDeadline);
    bool WriteAll(std::string_view Text, TDeadline Deadline = DefaultDeadline);
    bool WriteAll(const std::vector<std::uint8_t>& Bytes, TDeadline Deadline = DefaultDeadline);

    // Reads exactly Count bytes from the far end; fewer when the deadline passes first.
    std::vector<std::uint8_t> ReadExactly(std::size_t Count, TDeadline Deadline = DefaultDeadline);
    // Whatever the far end holds right now.
    std::vector<std::uint8_t> ReadAvailable();

    // The line settings the device side carries, as the kernel holds them.
    platform::TKernelTermios ReadTermios() const;

    // Pulls the cable: the device side sees a hang-up.
    void CloseMaster();
    // Drops the pair's own slave descriptor (the far end then reads EIO while no one else has
    // the device open).
    void CloseSlave();

private:
    int Master = -1;
    int SlaveFd = -1;
    std::string Slave;
};

} // namespace vaultix::testsupport
