#include "serial/DispatchLog.h"

#include "TraceFiles.h"
#include "platform/TimeBase.h"
#include "serial/ResultCodes.h"
#include "serial/SystemErrorCodes.h"

#include <cerrno>
#include <regex>
#include <string_view>
#include <vector>

using namespace vaultix::serial;
using vaultix::serial::testing::Golden;

namespace {

const TLogHeaderTexts FixedTexts{"TestCC 1.0", std::string(40, 'O') + std::string(40, 'S') + "cut",
                                 "05/03/24, 07:08:09"};

const std::string HeaderLines = "Orvex v4.06\r\n"
                                "Compiler : TestCC 1.0\r\n"
                                "Operating System : " +
                                std::string(40, 'O') + std::string(40, 'S') +
                                "\r\n"
                                "Device: COM1\r\n"
                                "Date/time: 05/03/24, 07:08:09\r\n"
                                "Time      Type      SubType       Data      OtherData\r\n"
                                "--------  --------  ------------  --------  ---------\r\n";

class LogFile : public vaultix::serial::testing::TFileTest {
protected:
    void SetUp() override {
        TFileTest::SetUp();
        Log.SetStartTime(Start);
        Log.SetScratchSize(64);
        Log.StartLog(4096);
    }
    void Add(std::uint8_t Type, std::uint8_t SubType, std::uint32_t Data, std::string_view Bytes,
             std::uint32_t AtMs) {
        Log.AddLogEntryAt(Type, SubType, Data, reinterpret_cast<const std::uint8_t*>(Bytes.data()),
                          static_cast<std::uint32_t>(Bytes.size()), Start + AtMs);
    }
    std::int32_t Write(bool AllHex = false, bool Append = false) {
        return Log.WriteLogFile(PathOf("o.log"), "COM1", false, AllHex, Append, FixedTexts);
    }
    // The entry lines of the written file, without the header.
    std::string Entries() {
        const std::string text = Contents("o.log");
        EXPECT_EQ(text.substr(0, HeaderLines.size()), HeaderLines);
        return text.substr(std::min(text.size(), HeaderLines.size()));
    }

    static constexpr std::uint32_t Start = 5000;
    TDispatchLog Log;
};

// The entry line a one-byte-data ReadCom entry with this Data and byte gives.
std::string ReadComLine(std::uint32_t Data, char Byte) {
    char line[80];
    std::snprintf(line, sizeof line, "0000.000  Dispatch  ReadCom       %08X  %c\r\n", Data, Byte);
    return line;
}

} // namespace

TEST_F(LogFile, EntryLineAfterTheHeader) {
    Add(ltDispatch, lsWriteCom, 3, "AB\r", 1234);
    ASSERT_EQ(Write(), ecOK);
    EXPECT_EQ(Contents("o.log"), Golden("log_example.txt"));
}

TEST_F(LogFile, StatusKindsModemBitsContinuationAndLongTimes) {
    Add(ltTrgHdAlc, lsWindow, 0xBEEF, "", 0);
    Add(ltDispatch, lsModemStatus, 0x11, "\x11", 20);
    Add(ltDispatch, lsModemStatus, 0xFF, "\xFF", 21);
    Add(ltTrigAllc, lsTrigStatus, 7, std::string_view("\x03\x00", 2), 30);
    Add(ltTrigDisp, lsTrigStatus, 8, "\x05", 31);
    std::string letters;
    for (int i = 0; i < 40; ++i)
        letters += static_cast<char>('A' + i % 26);
    Add(ltDispatch, lsReadCom, 40, letters, 40);
    Add(ltTrigger, lsAvail, 16, "", 12345678);
    ASSERT_EQ(Write(), ecOK);
    EXPECT_EQ(Contents("o.log"), Golden("log_kinds.txt"));
}

TEST_F(LogFile, AllHexLeavesUserEntriesAsCharacters) {
    Add(ltDispatch, lsReadCom, 2, "hi", 100);
    Add(ltUser, lsStart, 2, "hi", 101);
    ASSERT_EQ(Write(true), ecOK);
    EXPECT_EQ(Contents("o.log"), Golden("log_allhex.txt"));
}

TEST_F(LogFile, TimesCountFromTheStartAcrossTheClockWrap) {
    Log.SetStartTime(0xFFFFFF00u);
    Log.AddLogEntryAt(ltTrigger, lsTimer, 1, nullptr, 0, 0x100);
    ASSERT_EQ(Write(), ecOK);
    EXPECT_EQ(Entries(), "0000.512  Trigger   Timer         00000001  \r\n");
}

TEST_F(LogFile, LongEntriesPassThroughAScratchSmallerThanTheirData) {
    TDispatchLog log;
    log.SetScratchSize(0); // the smallest scratch the log will use
    log.StartLog(4096);
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    log.AddLogEntryAt(ltDispatch, lsReadCom, 1000, bytes.data(), 1000, 0);
    ASSERT_EQ(log.WriteLogFile(PathOf("o.log"), "COM1", true, true, false, FixedTexts), ecOK);
    const std::string text = Contents("o.log");
    // 33 columns per line take 8 four-column items: 125 lines for 1000 bytes.
    EXPECT_NE(
        text.find("000003E8  [00][01][02][03][04][05][06][07]\r\n" + std::string(44, ' ') + "[08]"),
        std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 34), "[E0][E1][E2][E3][E4][E5][E6][E7]\r\n");
}

TEST_F(LogFile, FullRingDropsOldestWholeEntries) {
    TDispatchLog log;
    log.StartLog(100);
    // Each entry needs 14 + 1 bytes: six fit, the seventh drops the first, and later ones wrap
    // their headers and data around the end of the ring.
    for (std::uint32_t i = 0; i < 10; ++i) {
        const std::uint8_t byte = static_cast<std::uint8_t>('a' + i);
        log.AddLogEntryAt(ltDispatch, lsReadCom, i, &byte, 1, 0);
    }
    EXPECT_EQ(log.FreeBytes(), 100u - 6 * 15);
    ASSERT_EQ(log.WriteLogFile(PathOf("o.log"), "COM1", false, false, false, FixedTexts), ecOK);
    std::string expected;
    for (std::uint32_t i = 4; i < 10; ++i)
        expected += ReadComLine(i, static_cast<char>('a' + i));
    EXPECT_EQ(Entries(), expected);
}

TEST_F(LogFile, EntryNeedingTheWholeRingIsNotRecorded) {
    TDispatchLog log;
    log.StartLog(100);
    const std::uint8_t first = 'x';
    log.AddLogEntryAt(ltDispatch, lsReadCom, 1, &first, 1, 0);
    std::vector<std::uint8_t> bytes(100 - TDispatchLog::HeaderSize, 'y');
    log.AddLogEntryAt(ltDispatch, lsReadCom, 2, bytes.data(), 86, 0);
    EXPECT_EQ(log.FreeBytes(), 85u) << "the older entry must survive";

    // One byte less fits, at the cost of every older entry.
    log.AddLogEntryAt(ltDispatch, lsReadCom, 3, bytes.data(), 85, 0);
    EXPECT_EQ(log.FreeBytes(), 1u);
    ASSERT_EQ(log.WriteLogFile(PathOf("o.log"), "COM1", false, false, false, FixedTexts), ecOK);
    const std::string text = Entries();
    EXPECT_EQ(text.find("00000001"), std::string::npos);
    EXPECT_EQ(text.substr(0, 44), "0000.000  Dispatch  ReadCom       00000003  ");
}

TEST_F(LogFile, AppendAddsAWholeNewLogAfterTheOldOne) {
    Add(ltDispatch, lsWriteCom, 3, "AB\r", 1234);
    ASSERT_EQ(Write(), ecOK);
    Log.StartLog(4096);
    Add(ltDispatch, lsWriteCom, 3, "AB\r", 1234);
    ASSERT_EQ(Write(false, true), ecOK);
    EXPECT_EQ(Contents("o.log"), Golden("log_example.txt") + Golden("log_example.txt"));
}

TEST_F(LogFile, EmptyOrMissingLogCreatesNoFile) {
    EXPECT_EQ(Write(), ecOK);
    EXPECT_FALSE(Exists("o.log"));
    EXPECT_FALSE(Log.HasRing());
    EXPECT_FALSE(Log.LoggingOn());
    EXPECT_EQ(Log.SaveLogToFile(PathOf("o.log"), "COM1", false, false), ecOK);
    EXPECT_FALSE(Exists("o.log"));
}

TEST_F(LogFile, UnwritablePathKeepsTheEntriesWithLoggingOff) {
    Add(ltDispatch, lsWriteCom, 3, "AB\r", 1234);
    EXPECT_EQ(Log.SaveLogToFile(Unwritable(), "COM1", false, false), SystemErrorCode(ENOENT));
    EXPECT_TRUE(Log.HasRing());
    EXPECT_FALSE(Log.LoggingOn());
    // Nothing is recorded meanwhile, and a later write still has the entry.
    Add(ltDispatch, lsWriteCom, 9, "zz", 2000);
    ASSERT_EQ(Write(), ecOK);
    EXPECT_EQ(Contents("o.log"), Golden("log_example.txt"));
    EXPECT_FALSE(Log.HasRing());
}

TEST_F(LogFile, HeaderDescribesThisProgramAndMachine) {
    Log.SetStartTime(vaultix::platform::NowMs());
    const std::uint8_t byte = 'q';
    Log.AddLogEntry(ltDispatch, lsReadCom, 1, &byte, 1);
    ASSERT_EQ(Log.SaveLogToFile(PathOf("o.log"), "COM3", false, false), ecOK);
    const std::string text = Contents("o.log");
    EXPECT_TRUE(std::regex_search(
        text, std::regex("^Orvex v4\\.06\r\n"
                         "Compiler : (GCC|Clang) [0-9][^\r\n]*\r\n"
                         "Operating System : Linux [^\r\n]{1,74}\r\n"
                         "Device: COM3\r\n"
                         "Date/time: [0-9]{2}[^0-9\r\n]+[0-9]{2}[^0-9\r\n]+[0-9]{2}, "
                         "[0-9]{2}[^0-9\r\n]+[0-9]{2}[^0-9\r\n]+[0-9]{2}\r\n")))
        << text;
    EXPECT_NE(text.find("Dispatch  ReadCom       00000001  q\r\n"), std::string::npos);
}

TEST(DispatchLog, PausedOrStoppedLogRecordsNothing) {
    TDispatchLog log;
    log.AddLogEntryAt(ltDispatch, lsReadCom, 1, nullptr, 0, 0); // no ring yet
    log.ResumeLog();
    EXPECT_FALSE(log.LoggingOn());

    log.StartLog(200);
    log.PauseLog();
    log.AddLogEntryAt(ltDispatch, lsReadCom, 1, nullptr, 0, 0);
    EXPECT_TRUE(log.Empty());
    log.ResumeLog();
    log.AddLogEntryAt(ltDispatch, lsReadCom, 1, nullptr, 0, 0);
    EXPECT_EQ(log.FreeBytes(), 200u - TDispatchLog::HeaderSize);

    // Restarting empties the ring but keeps its size.
    log.StartLog(50);
    EXPECT_TRUE(log.Empty());
    EXPECT_EQ(log.RingSize(), 200u);
}
