#include "serial/DispatchLog.h"

#include "platform/TimeBase.h"

#include <algorithm>
#include <cstring>

namespace vaultix::serial {

namespace {
// An entry's bytes are written out through the scratch buffer piece by piece, so any size
// works; this only keeps the pieces from getting silly when no size was given.
constexpr std::uint32_t MinScratchSize = 256;
} // namespace

void TDispatchLog::StartLog(std::uint32_t ByteSize) {
    if (HasRing()) {
        ResetLog();
    } else {
        Ring = std::make_unique<std::uint8_t[]>(ByteSize);
        ScratchAllocated = std::max(ScratchSize, MinScratchSize);
        Scratch = std::make_unique<std::uint8_t[]>(ScratchAllocated);
        Size = Free = ByteSize;
        Head = Tail = 0;
    }
    On = true;
}

void TDispatchLog::ResetLog() {
    Head = Tail = 0;
    Free = Size;
}

void TDispatchLog::DiscardLog() {
    On = false;
    Ring.reset();
    Scratch.reset();
    ScratchAllocated = 0;
    Size = Free = 0;
    Head = Tail = 0;
}

void TDispatchLog::AddLogEntry(std::uint8_t Type, std::uint8_t SubType, std::uint32_t Data,
                               const std::uint8_t* Bytes, std::uint32_t Count) {
    if (!On) return;
    AddLogEntryAt(Type, SubType, Data, Bytes, Count, platform::NowMs());
}

void TDispatchLog::AddLogEntryAt(std::uint8_t Type, std::uint8_t SubType, std::uint32_t Data,
                                 const std::uint8_t* Bytes, std::uint32_t Count,
                                 std::uint32_t NowMs) {
    if (!On) return;
    const std::uint64_t need = std::uint64_t{HeaderSize} + Count;
    if (need >= Size) return;
    while (Free < need)
        DropOldestEntry();

    const std::uint32_t time = NowMs - StartTime; // the clock wraps; so does the difference
    std::uint8_t header[HeaderSize];
    header[0] = Type;
    header[1] = SubType;
    std::memcpy(header + 2, &time, 4);
    std::memcpy(header + 6, &Data, 4);
    std::memcpy(header + 10, &Count, 4);
    PutBytes(header, HeaderSize);
    if (Count > 0) PutBytes(Bytes, Count);
    Free -= static_cast<std::uint32_t>(need);
}

void TDispatchLog::PutBytes(const std::uint8_t* Bytes, std::uint32_t Count) {
    const std::uint32_t first = std::min(Count, Size - Head);
    std::memcpy(Ring.get() + Head, Bytes, first);
    std::memcpy(Ring.get(), Bytes + first, Count - first);
    Head += Count;
    if (Head >= Size) Head -= Size;
}

void TDispatchLog::TakeBytes(std::uint8_t* Bytes, std::uint32_t Count) {
    const std::uint32_t first = std::min(Count, Size - Tail);
    std::memcpy(Bytes, Ring.get() + Tail, first);
    std::memcpy(Bytes + first, Ring.get(), Count - first);
    SkipBytes(Count);
}

void TDispatchLog::SkipBytes(std::uint32_t Count) {
    Tail += Count;
    if (Tail >= Size) Tail -= Size;
    Free += Count;
}

bool TDispatchLog::TakeHeader(THeader& Header) {
    if (Empty()) return false;
    std::uint8_t raw[HeaderSize];
    TakeBytes(raw, HeaderSize);
    Header.Type = raw[0];
    Header.SubType = raw[1];
    std::memcpy(&Header.Time, raw + 2, 4);
    std::memcpy(&Header.Data, raw + 6, 4);
    std::memcpy(&Header.DataLen, raw + 10, 4);
    return true;
}

void TDispatchLog::DropOldestEntry() {
    // The bytes of a dropped entry are never looked at, so they are stepped over, not copied.
    THeader header;
    if (TakeHeader(header)) SkipBytes(header.DataLen);
}

} // namespace vaultix::serial
