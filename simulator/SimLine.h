#pragma once
// The simulator's end of the cable: the master side of a pseudo-terminal pair whose slave the
// application opens, or a serial device given by path. Every wait also watches a cancel
// descriptor, so that another thread can stop the simulator at once.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vaultix::simulator {

using TSimClock = std::chrono::steady_clock;

// What a wait found; several bits can be set at once.
enum TLineEvent : unsigned {
    leNone = 0,
    leInput = 1u << 0,     // bytes are waiting to be read
    leOutput = 1u << 1,    // the line takes more output
    leHangup = 1u << 2,    // the far end is gone (device removed); never for our own pty
    leCancelled = 1u << 3, // Cancel() was called
};

class TSimLine {
public:
    TSimLine();
    ~TSimLine();
    TSimLine(const TSimLine&) = delete;
    TSimLine& operator=(const TSimLine&) = delete;

    // Creates a pseudo-terminal pair; Path() is then the slave for the application to open.
    // The master is left in the kernel's raw default. The slave's settings are not touched:
    // on Linux the termios of a pair is one record, reached through either side, so even
    // "configuring the master" would reconfigure the slave, which is the application's job.
    // The slave stays open in the simulator until HangUp() or destruction: otherwise the
    // master would see a hang-up while the application has not opened the slave yet, or
    // between two of its opens. Throws std::system_error.
    void OpenPty();

    // Opens a serial device and sets 8 data bits, even parity, 2 stop bits at Baud.
    // Throws std::system_error.
    void OpenDevice(const std::string& DevicePath, std::uint32_t Baud);

    bool IsOpen() const { return MasterFd >= 0; }
    bool IsPty() const { return SlaveFd >= 0; }
    const std::string& Path() const { return LinePath; }

    // Waits for the wanted events until Deadline (none: no time limit). Returns the events
    // found, leNone on time-out. A cancelled or hung-up line reports so at once, every time.
    unsigned Wait(unsigned Wanted, std::optional<TSimClock::time_point> Deadline);

    // Non-blocking transfers: the number of bytes moved, 0 when the line has nothing or takes
    // nothing right now. A hang-up or device error throws std::system_error.
    std::size_t ReadSome(std::span<std::uint8_t> Buffer);
    std::size_t WriteSome(std::span<const std::uint8_t> Bytes);

    // Bytes that reached the pseudo-terminal's slave and that the application has not read
    // yet; nullopt for a device line.
    std::optional<std::size_t> UnreadBySlave() const;

    // Closes the master (and the slave held for the application): the application sees the
    // cable pulled.
    void HangUp();

    // Thread-safe; wakes every present and future Wait.
    void Cancel();
    bool Cancelled() const { return CancelRequested.load(std::memory_order_acquire); }

private:
    int MasterFd = -1;
    int SlaveFd = -1;
    int CancelFd = -1;
    std::atomic<bool> CancelRequested{false};
    std::string LinePath;
};

} // namespace vaultix::simulator
