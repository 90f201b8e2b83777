#pragma once
// The byte trace: the most recent bytes the application took from the input ring or queued for
// output, each marked received ('R') or transmitted ('T'), written to a text file on demand.
// The dispatcher calls every member under its state lock; this class takes no lock itself.

#include <cstdint>
#include <memory>
#include <string>

namespace vaultix::serial {

class TTraceRing {
public:
    static constexpr std::uint32_t MaxEntries = 4000000;

    // Starts recording. An existing ring is emptied and keeps its capacity; otherwise a ring of
    // EntryCount entries is made. 0, or -1002 above MaxEntries (then nothing is allocated).
    std::int32_t StartTrace(std::uint32_t EntryCount);
    // Empties the ring; recording goes on.
    void ResetTrace();
    // Stops recording and frees the ring.
    void DiscardTrace();
    void PauseTrace() { On = false; }
    void ResumeTrace() { On = HasRing(); }

    // Stores one entry, overwriting the oldest when the ring is full. Callers check
    // TracingOn() first.
    void AddTraceEntry(char Kind, std::uint8_t Byte);

    bool TracingOn() const { return On; }
    bool HasRing() const { return Ring != nullptr; }
    std::uint32_t Capacity() const { return EntryCapacity; }
    // Entries held, at most Capacity().
    std::uint32_t EntryCount() const { return Wrapped ? EntryCapacity : Position; }

    // Writes the trace oldest first (replacing, resp. appending to the file) and discards it.
    // An empty trace creates no file. 0, or the SystemErrorCode of the failure.
    std::int32_t SaveTraceToFile(const std::string& FileName, bool InHex, bool AllHex);
    std::int32_t AppendTraceToFile(const std::string& FileName, bool InHex, bool AllHex);

private:
    struct TEntry {
        char Kind;
        std::uint8_t Byte;
    };

    std::int32_t WriteTraceFile(const std::string& FileName, bool InHex, bool AllHex, bool Append);

    std::unique_ptr<TEntry[]> Ring;
    std::uint32_t EntryCapacity = 0;
    std::uint32_t Position = 0; // next entry to write; the oldest one once wrapped
    bool Wrapped = false;
    bool On = false;
};

} // namespace vaultix::serial
