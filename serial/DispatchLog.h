#pragma once
// The dispatch log: time-stamped records of the dispatcher's own work (device reads, queued
// writes, notifications, handler registration) with the bytes involved, kept in a byte ring
// that drops its oldest whole entries, and written to a text file on demand.
// The dispatcher calls every member under its state lock; this class takes no lock itself.

#include <cstdint>
#include <memory>
#include <string>

namespace vaultix::serial {

// Entry types.
inline constexpr std::uint8_t ltNoEvent = 0;
inline constexpr std::uint8_t ltDispatch = 1;
inline constexpr std::uint8_t ltTrigger = 2;
inline constexpr std::uint8_t ltError = 3;
inline constexpr std::uint8_t ltThread = 4;
inline constexpr std::uint8_t ltTrigAllc = 5;
inline constexpr std::uint8_t ltTrigDisp = 6;
inline constexpr std::uint8_t ltTrgHdAlc = 7;
inline constexpr std::uint8_t ltTrgHdDsp = 8;
inline constexpr std::uint8_t ltTrDatChg = 9;
inline constexpr std::uint8_t ltTelnet = 10;
inline constexpr std::uint8_t ltFax = 11;
inline constexpr std::uint8_t ltXModem = 12;
inline constexpr std::uint8_t ltYModem = 13;
inline constexpr std::uint8_t ltZModem = 14;
inline constexpr std::uint8_t ltKermit = 15;
inline constexpr std::uint8_t ltAscii = 16;
inline constexpr std::uint8_t ltBPlus = 17;
inline constexpr std::uint8_t ltPacket = 18;
inline constexpr std::uint8_t ltUser = 19;
inline constexpr std::uint8_t ltScript = 20;

// Entry subtypes. 5..8 are trigger firings (with ltTrigger); 13..16 are the trigger kinds that
// ltTrigAllc / ltTrigDisp entries name, hence the "Trig" in their names.
inline constexpr std::uint8_t lsNone = 0;
inline constexpr std::uint8_t lsReadCom = 1;
inline constexpr std::uint8_t lsWriteCom = 2;
inline constexpr std::uint8_t lsLineStatus = 3;
inline constexpr std::uint8_t lsModemStatus = 4;
inline constexpr std::uint8_t lsAvail = 5;
inline constexpr std::uint8_t lsTimer = 6;
inline constexpr std::uint8_t lsData = 7;
inline constexpr std::uint8_t lsStatus = 8;
inline constexpr std::uint8_t lsStart = 9;
inline constexpr std::uint8_t lsExit = 10;
inline constexpr std::uint8_t lsSleep = 11;
inline constexpr std::uint8_t lsWake = 12;
inline constexpr std::uint8_t lsTrigData = 13;
inline constexpr std::uint8_t lsTrigTimer = 14;
inline constexpr std::uint8_t lsTrigStatus = 15;
inline constexpr std::uint8_t lsTrigAvail = 16;
inline constexpr std::uint8_t lsWindow = 17;
inline constexpr std::uint8_t lsProcedure = 18;
inline constexpr std::uint8_t lsMethod = 19;

// Names as the log file shows them; numbers without a name give an empty text.
const char* LogTypeName(std::uint8_t Type);
const char* LogSubTypeName(std::uint8_t SubType);
// The kind of a status trigger, in parentheses: "(Modem status)" for 1.
const char* StatusKindName(std::uint8_t Kind);

// The header lines that describe the machine and the moment of writing.
struct TLogHeaderTexts {
    std::string Compiler;
    std::string OperatingSystem; // cut to 80 characters when written
    std::string DateTime;        // cut to 80 characters when written
};

// The texts of this program and machine, now.
TLogHeaderTexts CurrentLogHeaderTexts();

class TDispatchLog {
public:
    // Type, SubType, Time, Data and DataLen, stored packed in front of each entry's bytes.
    static constexpr std::uint32_t HeaderSize = 1 + 1 + 4 + 4 + 4;

    // Entry times count from here (NowMs at open).
    void SetStartTime(std::uint32_t StartMs) { StartTime = StartMs; }
    // Size of the buffer an entry's bytes are taken out through when writing the file.
    void SetScratchSize(std::uint32_t Bytes) { ScratchSize = Bytes; }

    // Starts logging. An existing ring is emptied and keeps its size; otherwise a ring of
    // ByteSize bytes and the scratch buffer are made.
    void StartLog(std::uint32_t ByteSize);
    void ResetLog();
    // Stops logging and frees the ring and the scratch buffer.
    void DiscardLog();
    void PauseLog() { On = false; }
    void ResumeLog() { On = HasRing(); }

    // Records one entry stamped NowMs() - start time, when logging is on. An entry that needs
    // the whole ring or more is not recorded; otherwise the oldest entries make room.
    void AddLogEntry(std::uint8_t Type, std::uint8_t SubType, std::uint32_t Data,
                     const std::uint8_t* Bytes, std::uint32_t Count);
    // The same at the given clock reading.
    void AddLogEntryAt(std::uint8_t Type, std::uint8_t SubType, std::uint32_t Data,
                       const std::uint8_t* Bytes, std::uint32_t Count, std::uint32_t NowMs);

    bool LoggingOn() const { return On; }
    bool HasRing() const { return Ring != nullptr; }
    bool Empty() const { return Free == Size; }
    std::uint32_t RingSize() const { return Size; }
    std::uint32_t FreeBytes() const { return Free; }

    // Writes the header and the entries oldest first (replacing, resp. appending to the file),
    // then discards the log. An empty log creates no file. When the file cannot be opened the
    // result is the SystemErrorCode of the failure and the log stays as it was, with logging off.
    std::int32_t SaveLogToFile(const std::string& FileName, const std::string& DeviceName,
                               bool InHex, bool AllHex);
    std::int32_t AppendLogToFile(const std::string& FileName, const std::string& DeviceName,
                                 bool InHex, bool AllHex);
    // Both of the above, with the header texts given.
    std::int32_t WriteLogFile(const std::string& FileName, const std::string& DeviceName,
                              bool InHex, bool AllHex, bool Append, const TLogHeaderTexts& Texts);

private:
    struct THeader {
        std::uint8_t Type = 0;
        std::uint8_t SubType = 0;
        std::uint32_t Time = 0;
        std::uint32_t Data = 0;
        std::uint32_t DataLen = 0;
    };

    void PutBytes(const std::uint8_t* Bytes, std::uint32_t Count);
    void TakeBytes(std::uint8_t* Bytes, std::uint32_t Count);
    void SkipBytes(std::uint32_t Count);
    bool TakeHeader(THeader& Header);
    void DropOldestEntry();

    std::unique_ptr<std::uint8_t[]> Ring;
    std::unique_ptr<std::uint8_t[]> Scratch;
    std::uint32_t Size = 0;
    std::uint32_t Head = 0; // next write position
    std::uint32_t Tail = 0; // oldest byte
    std::uint32_t Free = 0;
    std::uint32_t ScratchSize = 0;
    std::uint32_t ScratchAllocated = 0;
    std::uint32_t StartTime = 0;
    bool On = false;
};

} // namespace vaultix::serial
