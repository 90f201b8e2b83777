#include "transfer/TransferWatch.h"

namespace vaultix::transfer {

void TTransferWatch::Start(bool Sending, std::string PortName, TClock::time_point Now) {
    FSending = Sending;
    FPortName = std::move(PortName);
    FMoved = 0;
    FLastMove = Now;
}

std::string TTransferWatch::Hint(std::uint64_t Moved, bool OutOfStep, TClock::time_point Now) {
    if (Moved != FMoved) {
        FMoved = Moved;
        FLastMove = Now;
        return {};
    }
    const auto Silent = std::chrono::duration_cast<std::chrono::seconds>(Now - FLastMove);
    const std::string For = std::to_string(Silent.count()) + " s";
    if (FSending) {
        if (Silent < SendGap) return {};
        return "Nothing sent for " + For + ": " + FPortName +
               " takes no data. Check the cable, and that the transmitter is waiting for data.";
    }
    if (Moved == 0) {
        if (Silent < FirstByteWait) return {};
        return "Nothing received for " + For +
               ". Start the sending at your transmitter, and check that the cable is plugged "
               "into " +
               FPortName + ".";
    }
    if (Silent < ReceiveGap) return {};
    const std::string Head =
        "Nothing received for " + For + " after " + std::to_string(Moved) + " bytes. ";
    if (OutOfStep)
        return Head + "The transfer may be out of step: click Cancel, and a new save will start "
                      "clean.";
    return Head + "Check the cable and the transmitter.";
}

} // namespace vaultix::transfer
