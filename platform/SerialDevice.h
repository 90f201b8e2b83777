#pragma once
// The serial device API the device layer is written against: one call per operation (open
// exclusively, queue sizes, line settings, immediate reads, read, write with completion, event
// mask and event wait, error word and queue counts, modem status, escape functions, purge, close).
// This is the POSIX backend: a tty opened non-blocking, configured raw through termios2.
//
// Results: every call returns 0 on success or a positive platform error number. Those are the
// errno values of the failed system call, except for Open, which folds the ways a device can be
// missing into deNotFound and the ways it can be held by someone else into deInUse. Calls on a
// closed device return EBADF.
//
// Threads: calls may run concurrently on one device from different threads. WaitEvent and Write
// each serve one thread at a time (a second concurrent caller gets EBUSY). Close may be called
// while other threads are inside calls: it releases WaitEvent and Write, waits until every call
// in progress has returned (none blocks once released), and closes the descriptor. The object
// must outlive every thread that calls it; destroy it only after those threads have stopped.
//
// What a device does not support (a pseudo-terminal has no modem lines, no error counters, no
// transmitter pacing) is detected once and remembered: such lines read low, DTR, RTS and break
// do nothing, and no error or event ever comes from them.

#include "platform/BlockingCall.h"
#include "platform/ModemLineWatch.h"
#include "platform/OutputDrain.h"
#include "platform/SerialTypes.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace vaultix::platform {

// What a failed open folds the many ways of failing into, each the error number that states it.
// A missing path, a node without a line behind it and a path that is no terminal all give
// deNotFound; a device another descriptor holds gives deInUse; a device the user may not open
// gives deNoAccess, so that the user can be told how to get access.
inline constexpr int deNotFound = ENOENT;
inline constexpr int deInUse = EBUSY;
inline constexpr int deNoAccess = EACCES;

class TSerialDevice {
public:
    // Opens Name exclusively for reading and writing. Name is a COM name ("\\.\COM3", "COM3";
    // resolved through the COM port map) or a device path. The line is configured raw with
    // Initial (115200 baud, 8 data bits, no parity, one stop bit by default), and then its input
    // is flushed: what arrived before the line had its settings (and, for a pseudo-terminal,
    // unread input kept across opens) is not the transmitter's.
    // DTR and RTS stay as the driver raised them on open. On failure Device stays empty.
    static int Open(std::string_view Name, std::unique_ptr<TSerialDevice>& Device,
                    const TDeviceSettings& Initial = {});

    ~TSerialDevice(); // closes if still open
    TSerialDevice(const TSerialDevice&) = delete;
    TSerialDevice& operator=(const TSerialDevice&) = delete;

    // Releases pending waits and writes, waits for calls in progress, discards output the
    // driver still holds (so that a flow-stopped line cannot hold the close) and closes.
    // A second Close returns EBADF.
    int Close();

    // The kernel sizes its queues itself; accepted for any sizes while open.
    int SetupQueues(std::uint32_t InSize, std::uint32_t OutSize);

    // The record last written (or given to Open). Fields termios cannot express (DTR handshake,
    // DSR flow, XON/XOFF limits, the parity-check switch) read back as written and have no
    // effect.
    int ReadSettings(TDeviceSettings& Settings);

    // Applies baud (any value), data bits 5-8, parity (mark and space included), stop bits (one
    // and a half and two both give two, which is one and a half at 5 data bits), CTS output flow
    // (hardware handshake both ways), XON/XOFF in and out with their characters; DTR and RTS
    // follow their control modes (enable raises, disable lowers, handshake leaves them). The
    // speed is read back: EINVAL when the driver did not take it (within 2 %) or a field is
    // out of range.
    int WriteSettings(const TDeviceSettings& Settings);

    // Reads return at once with whatever is waiting. That is how every open configures the
    // line; this call asserts it again.
    int SetImmediateReads();

    // Reads up to Count bytes that are waiting, never blocking; Got = 0 when none are.
    // EIO once the device has hung up and holds no more input.
    int Read(void* Buffer, std::size_t Count, std::size_t& Got);

    // True once input is waiting, within at most TimeoutMs. False on time-out, hang-up or
    // close. Lets a reader that is keeping up with a fast stream take the next bytes without
    // a round trip through the event wait.
    bool WaitReadable(int TimeoutMs);

    // Writes Count bytes and returns when the device has transmitted them (for a UART: the
    // driver's queue is empty and the transmitter idle; a pseudo-terminal completes once the
    // far end's buffer took them), or at the latest after their line time and a margin, for a
    // driver that never tells (see OutputDrain.h). Blocks while the line cannot take more. Written
    // counts the bytes the driver accepted. ECANCELED when an output purge or AbortWrite came first
    // (the rest is not written), EBADF on Close, EIO on hang-up.
    int Write(const void* Buffer, std::size_t Count, std::size_t& Written);

    // Makes a pending write, and any write started before the next output purge, return
    // ECANCELED at once. Used ahead of an output purge that first waits for the writer to
    // acknowledge it; Purge(purgeOutput) lifts it.
    void AbortWrite();

    // Sets the events WaitEvent reports (ev* bits of evFullMask, else EINVAL). A pending wait
    // returns with no events; a mask of 0 also releases the next wait if none is pending, so a
    // waiter that arrives late cannot sleep through it.
    int SetEventMask(std::uint32_t Mask);

    // Waits until an event of the mask happens: evRxChar (bytes arrived since the last report),
    // evCts/evDsr/evRlsd/evRing/evRingTrailing (modem lines changed), evBreak/evErr (the
    // driver counted a break or a line error). Events that happened while no wait was pending
    // are reported by the next wait. Returns 0 with Events = 0 when released (SetEventMask,
    // CancelWait). Returns EIO on hang-up: the first wait after it at once, later waits after
    // about 100 ms, so that a caller looping on a dead device does not spin. EBADF on Close.
    int WaitEvent(std::uint32_t& Events);

    // Releases a pending wait, or the next one when none is pending.
    void CancelWait();

    // Returns and clears the line errors (ce* bits) collected since the last call; InQue bytes
    // waiting to be read, OutQue bytes not yet transmitted (the driver's queue plus what a
    // pending write has not handed to it yet).
    int ClearError(std::uint32_t& Errors, TDeviceCounts& Counts);

    // Levels of CTS, DSR, RI and DCD as msCtsOn, msDsrOn, msRingOn, msDcdOn. Where the driver
    // wakes a waiting thread on a change, these are the levels it last reported, read without
    // asking the device (see ModemLineWatch.h).
    int GetModemStatus(std::uint32_t& Status);

    // Samples the modem lines (their followed levels where the driver reports changes) and the
    // driver's line counters for the events of the mask and hands what changed to the wait. The
    // dispatcher's regular pass calls it, so that a waiting thread never wakes only to sample: a
    // real UART costs no more wake-ups than a pseudo-terminal. Does nothing for a device without
    // lines or counters.
    void SampleLines();

    // Where modem line levels (TIOCM_* bits) come from: the driver, unless a source is set. A
    // scripted source moves lines that a pseudo-terminal does not have, for measurements of the
    // path from a line change to the window. Returns false for a device without lines.
    // Thread-safe; an empty function restores the driver.
    using TModemLineSource = std::function<bool(int Fd, int& Bits)>;
    static void SetModemLineSource(TModemLineSource Source);

    // escSetDtr, escClrDtr, escSetRts, escClrRts, escSetBreak, escClrBreak;
    // escGetBaseAddress stores the UART's I/O base address (0 when the driver has none) in
    // *Value. Other codes: EINVAL.
    int Escape(int Code, std::uint32_t* Value = nullptr);

    // purgeInput discards received bytes; purgeOutput discards bytes not yet sent and cancels a
    // pending write (ECANCELED). The two may be or-ed.
    int Purge(int What);

    // True once the device hung up (USB adapter pulled, far end of a pseudo-terminal closed).
    bool IsHungUp() const { return HungUp.load(); }

    // The descriptor while open, -1 after Close.
    int NativeHandle() const { return ClosingFlag.load() ? -1 : Fd; }

    const std::string& Path() const { return DevicePath; }

private:
    // Driver counters of line events, as TIOCGICOUNT reports them.
    struct TLineCounters {
        std::uint32_t Cts = 0, Dsr = 0, Ring = 0, Dcd = 0;
        std::uint32_t Frame = 0, Overrun = 0, Parity = 0, Break = 0, BufferOverrun = 0;
    };

    // Holds off Close while a call uses the descriptor.
    class TCall {
    public:
        explicit TCall(TSerialDevice& Device);
        ~TCall();
        explicit operator bool() const { return Entered; }

    private:
        TSerialDevice& Device;
        bool Entered;
    };

    TSerialDevice(std::string Path, int Fd, int EventWake, int WriteWake,
                  const TDeviceSettings& Settings);

    int ApplySettings(const TDeviceSettings& Settings);
    void ApplyControlLines(const TDeviceSettings& Settings);
    int ModemLines(unsigned long Request, int Bits);
    bool ReadModemLines(int& Bits);
    bool ModemLinesReadable() const;
    std::uint32_t CollectCounterEvents();
    std::uint32_t CheckModemEvents();
    std::uint32_t CheckInputEvent(bool Wanted);
    int WaitLoop(std::uint32_t& Events);
    int WaitAfterHangUp();
    int DrainOutput(std::uint32_t Generation);
    bool WriteCancelled(std::uint32_t Generation) const;
    int OutputQueued(std::size_t& Bytes);
    void MarkHungUp() { HungUp.store(true); }
    // The modem line watch saw a change: a pending wait looks at it.
    void LinesChanged();

    const std::string DevicePath;
    const int Fd;
    const int EventWakeFd; // wakes WaitEvent
    const int WriteWakeFd; // wakes Write

    std::mutex CallLock;
    std::condition_variable CallsDone;
    int CallsInFlight = 0;
    bool Closing = false;
    std::atomic<bool> ClosingFlag{false};

    // Guarded by StateLock, which is never held across a call that can wait.
    std::mutex StateLock;
    TDeviceSettings Settings;
    std::uint32_t EventMask = 0;
    std::uint32_t PendingEvents = 0; // seen outside a wait
    std::uint32_t ErrorWord = 0;
    TLineCounters CounterBase;
    int ModemSnapshot = 0;
    std::size_t RxReported = 0; // input bytes already announced by evRxChar
    // A wait is only sampling for growth of announced input; once that input has been read
    // it must watch for new input again.
    bool WaitSamplingUnread = false;
    bool WaitPending = false;
    bool WaitRelease = false;
    bool HangUpReported = false;

    std::atomic<bool> HungUp{false};
    std::atomic<bool> ModemSupported{true};
    std::atomic<bool> CountersSupported{true};
    std::atomic<bool> OutQueueSupported{true};
    std::atomic<bool> LineStatusSupported{true};

    std::atomic<bool> WriteBusy{false};
    std::atomic<bool> WriteAborted{false};
    std::atomic<std::uint32_t> PurgeGeneration{0};
    std::atomic<std::size_t> WriteUnsent{0}; // bytes of the pending write not yet accepted

    TOutputDrain Drain;      // the writing thread's
    TBlockingCall DrainCall; // tcdrain, which only a signal ends early
    TModemLineWatch LineWatch;
};

} // namespace vaultix::platform
