#pragma once
// Watches a running transfer for silence and says in one line what the user may check. The
// transfer has no time-out: the user starts the transmitter by hand and may take their time,
// so nothing here ends a transfer; it only keeps the user from waiting without a word.
//
// Receiving, before the first byte: after 10 s, "Nothing received for 10 s. Start the sending at
// your transmitter, and check that the cable is plugged into COM1 (/dev/ttyUSB0)."; after some
// bytes, when none came for 5 s: "Nothing received for 5 s after 300 bytes. Check the cable and
// the transmitter.", or, when the blocks lost their step, that Cancel and a new save start clean.
// Sending, when the port takes no byte for 3 s, the port is named. The seconds count up; the
// hint is gone as soon as bytes move again.

#include <chrono>
#include <cstdint>
#include <string>

namespace vaultix::transfer {

class TTransferWatch {
public:
    using TClock = std::chrono::steady_clock;

    static constexpr std::chrono::seconds FirstByteWait{10};
    static constexpr std::chrono::seconds ReceiveGap{5};
    static constexpr std::chrono::seconds SendGap{3};

    // A new transfer in direction Sending on the port the user knows as PortName
    // ("COM1 (/dev/ttyUSB0)").
    void Start(bool Sending, std::string PortName, TClock::time_point Now);

    // Moved: the bytes the transfer has moved so far; OutOfStep: a block-protocol receive lost
    // its step. The hint to show now; empty for none.
    std::string Hint(std::uint64_t Moved, bool OutOfStep, TClock::time_point Now);

    // As the last Hint saw it: the bytes moved, and when they last changed.
    std::uint64_t Moved() const { return FMoved; }
    TClock::time_point LastMove() const { return FLastMove; }

private:
    bool FSending = false;
    std::string FPortName;
    std::uint64_t FMoved = 0;
    TClock::time_point FLastMove;
};

} // namespace vaultix::transfer
