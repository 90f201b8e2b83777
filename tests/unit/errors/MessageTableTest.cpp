#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "ExpectedClasses.h"
#include "platform/SystemErrorText.h"
#include "serial/MessageTable.h"

namespace vaultix::serial {
namespace {

const TMessageEntry* TableEntry(std::int32_t Code) {
    const auto Table = MessageTable();
    const auto Found = std::ranges::find(Table, Code, &TMessageEntry::Code);
    return Found == Table.end() ? nullptr : &*Found;
}

TEST(MessageTable, SortedByAbsoluteCodeWithoutRepeats) {
    const auto Table = MessageTable();
    ASSERT_FALSE(Table.empty());
    for (std::size_t I = 1; I < Table.size(); ++I)
        EXPECT_LT(std::abs(Table[I - 1].Code), std::abs(Table[I].Code)) << "row " << I;
    for (const TMessageEntry& Entry : Table)
        EXPECT_LE(Entry.Text.size(), 255u) << Entry.Code;
}

TEST(MessageTable, RequiredTextsWordForWord) {
    const std::pair<std::int32_t, const char*> Required[] = {
        {0, "OK"},
        {-2, "File not found"},
        {-3, "Path not found"},
        {-4, "Too many open files"},
        {-5, "File access denied"},
        {-6, "Invalid file handle"},
        {-8, "Insufficient memory"},
        {-15, "Invalid drive"},
        {-18, "No more files"},
        {-100, "Attempt to read beyond end of file"},
        {-101, "Disk is full"},
        {-102, "File/device not assigned"},
        {-103, "File/device not open"},
        {-104, "File/device not open for input"},
        {-105, "File/device not open for output"},
        {-150, "Disk is write-protected"},
        {-151, "Unknown disk unit"},
        {-152, "Drive is not ready"},
        {-153, "Unknown command"},
        {-154, "Data error"},
        {-155, "Bad request structure length"},
        {-156, "Seek error"},
        {-157, "Unknown media type"},
        {-158, "Disk sector not found"},
        {-159, "Printer is out of paper"},
        {-160, "Device write error"},
        {-161, "Device read error"},
        {-162, "General failure"},
        {-1001, "Bad handle passed to com function"},
        {-1002, "Bad argument passed to function"},
        {-1003, "Got quit message"},
        {-1004, "Terminal buffer greater than 65521"},
        {-1005, "ComPort component not assigned"},
        {-1006, "Internal error creating window class"},
        {-1007, "Modem component not assigned"},
        {-1008, "Phonebook component not assigned"},
        {-1009, "Component not compatible with WinSock"},
        {-2001, "ie_BadId - Specified comport doesn't exist"},
        {-2002, "ie_Baudrate - unsupported baud rate"},
        {-2003, "ie_Bytesize - invalid byte size"},
        {-2004, "ie_Default - error in default parameters"},
        {-2005, "ie_Hardware - Specified comport in use"},
        {-2006, "ie_Memory - unable to allocate queues"},
        {-2007, "ie_NOpen - device not open"},
        {-2008, "ie_Open - device already open"},
        {-2009, "No more handles, can't open port"},
        {-2010, "No timers available"},
        {-2011, "The ComNumber property of the TOxComPort has not been set"},
        {-2012, "Comport was not opened by Tapi"},
        {-3001, "No device layer specified"},
        {-3002, "Function not supported by driver"},
        {-3003, "EnableCommNotification failed"},
        {-3004, "Failed to put entire block"},
        {-3005, "Failed to get entire block"},
        {-3006, "Output buffer too small for block"},
        {-3007, "Buffer is empty"},
        {-3008, "Tracing not enabled"},
        {-3009, "Logging not enabled"},
        {-3010, "Base address not set"},
        {-7003, "No fields defined in database"},
    };
    for (const auto& [Code, Text] : Required) {
        const TMessageEntry* Entry = TableEntry(Code);
        ASSERT_NE(Entry, nullptr) << Code;
        EXPECT_EQ(Entry->Text, Text) << Code;
        EXPECT_EQ(MessageFor(Code), Text) << Code;
    }
}

TEST(MessageTable, EveryClassedCodeHasAText) {
    for (const test::TExpectedClass& Expected : test::ExpectedClasses()) {
        const TMessageEntry* Entry = TableEntry(Expected.Code);
        ASSERT_NE(Entry, nullptr) << Expected.Code;
        EXPECT_FALSE(Entry->Text.empty()) << Expected.Code;
    }
}

TEST(MessageTable, PlaceholderEntriesStayEmpty) {
    for (const std::int32_t Code :
         {4200, 4600, 4630, 4660, 4725, 4726, 4727, 4728, 4730, 10000, 15100}) {
        const TMessageEntry* Entry = TableEntry(Code);
        ASSERT_NE(Entry, nullptr) << Code;
        EXPECT_TRUE(Entry->Text.empty()) << Code;
        // An empty row still wins over the system's text.
        EXPECT_EQ(MessageFor(Code), "") << Code;
    }
}

TEST(MessageFor, SignAndHighBitsDoNotMatter) {
    EXPECT_EQ(MessageFor(2011), MessageFor(-2011));
    EXPECT_EQ(MessageFor(-2011 - 65536), MessageFor(-2011));
    EXPECT_EQ(MessageFor(2011 + 65536), MessageFor(-2011));
    EXPECT_EQ(MessageFor(65536), "OK");
    EXPECT_EQ(MessageFor(13980), "Unable to load the remote access library");
}

TEST(MessageFor, CodesMissingFromTheTableReadTheSystemText) {
    // Error 1 has no row: its text is the system's.
    const std::string System = platform::SystemErrorText(1);
    ASSERT_FALSE(System.empty());
    EXPECT_EQ(MessageFor(-1), System);
    EXPECT_EQ(MessageFor(1), System);
    // Neither the table nor the system knows these.
    EXPECT_EQ(MessageFor(20000), "");
    EXPECT_EQ(MessageFor(-32768), "");
}

TEST(SystemErrorText, GivesKnownTextsAndNothingForUnknownNumbers) {
    EXPECT_EQ(platform::SystemErrorText(2), "No such file or directory");
    EXPECT_EQ(platform::SystemErrorText(-1), "");
    EXPECT_EQ(platform::SystemErrorText(99999), "");
}

TEST(NormaliseSystemText, ControlCharactersBecomeSingleSpaces) {
    // A line break at the end leaves exactly one trailing space.
    EXPECT_EQ(NormaliseSystemText("The device is not ready.\r\n"), "The device is not ready. ");
    EXPECT_EQ(NormaliseSystemText("Access\tis\x1f\x01 denied"), "Access is denied");
    EXPECT_EQ(NormaliseSystemText("a   b \r\n\r\n c"), "a b c");
    EXPECT_EQ(NormaliseSystemText("\r\nlead"), " lead");
    // Bytes above 127 (UTF-8) are text, not control characters.
    EXPECT_EQ(NormaliseSystemText("Ger\xc3\xa4t\n"), "Ger\xc3\xa4t ");
    EXPECT_EQ(NormaliseSystemText(""), "");
}

} // namespace
} // namespace vaultix::serial
