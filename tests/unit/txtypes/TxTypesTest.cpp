#include "transfer/Cp1252.h"
#include "transfer/TxTypes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vaultix::transfer;

namespace {

// A model memory of the row's size, blank name area, everything else zero.
std::vector<std::uint8_t> ModelMemory(const TTxInfo& Row) {
    std::vector<std::uint8_t> m(Row.ModelSize, 0);
    for (int i = 0; i < Row.NameLength; ++i) m[Row.NameOffset + i] = ' ';
    return m;
}

void PutName(std::vector<std::uint8_t>& M, const TTxInfo& Row, const std::string& Name) {
    for (std::size_t i = 0; i < Name.size(); ++i)
        M[Row.NameOffset + i] = static_cast<std::uint8_t>(Name[i]);
}

} // namespace

TEST(TxTypes, RowsMatchTheTransmitterFamilies) {
    struct Expected {
        std::string entry, code, ext;
        std::uint16_t size, nameOff, nameLen, numOff, baud;
        bool saveAll, restoreAll;
    };
    const std::vector<Expected> rows = {
        {"MC-18 (7 Models)", "mc18", "m18", 258, 166, 11, 1, 4000, true, true},
        {"MC18/MC20 (30+1Models)", "mc20", "m20", 258, 166, 11, 1, 4000, true, true},
        {"MC-22", "mc22", "m22", 1024, 1004, 16, 1022, 4800, true, true},
        {"MC-24", "mc24", "m24", 3072, 3050, 15, 3066, 4800, true, true},
        {"MX-22", "mx22", "m22", 1024, 1004, 16, 1022, 4800, true, true},
        {"ByteCount", "Test", "tst", 65535, 1, 0, 1, 4800, false, false},
    };
    ASSERT_EQ(rows.size(), TxTypes.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].entry);
        const TTxInfo& t = TxTypes[i];
        EXPECT_EQ(rows[i].entry, t.TxBoxEntry);
        EXPECT_EQ(rows[i].code, t.Code);
        EXPECT_EQ(rows[i].ext, t.Ext);
        EXPECT_EQ(rows[i].size, t.ModelSize);
        EXPECT_EQ(rows[i].nameOff, t.NameOffset);
        EXPECT_EQ(rows[i].nameLen, t.NameLength);
        EXPECT_EQ(rows[i].numOff, t.NumberOffset);
        EXPECT_EQ(rows[i].baud, t.BaudRate);
        EXPECT_EQ(rows[i].saveAll, t.SaveAllAllowed);
        EXPECT_EQ(rows[i].restoreAll, t.RestoreAllAllowed);
    }
    EXPECT_EQ(2050, WholeMemorySize(0));
    EXPECT_EQ(8194, WholeMemorySize(1));
    EXPECT_EQ(0, WholeMemorySize(2));
}

TEST(TxTypes, InvalidSelectionFallsBackToMc22) {
    EXPECT_STREQ("mc22", TxTypeAt(-1).Code);
    EXPECT_STREQ("mc22", TxTypeAt(6).Code);
    EXPECT_STREQ("mc24", TxTypeAt(3).Code);
}

TEST(ExtractModelName, NameWithTrailingBlanksAndNumber) {
    const TTxInfo& mc22 = TxTypes[2];
    auto m = ModelMemory(mc22);
    PutName(m, mc22, "GLIDER");
    m[1022] = 12;
    EXPECT_EQ("GLIDER", ExtractModelName(mc22, m, 0));
    EXPECT_EQ("GLIDER", ModelName);
    EXPECT_EQ("12 ", ModelNumber);

    m[1022] = 0;
    ExtractModelName(mc22, m, 0);
    EXPECT_EQ("0 ", ModelNumber);
    m[1022] = 255;
    ExtractModelName(mc22, m, 0);
    EXPECT_EQ("255 ", ModelNumber);
}

TEST(ExtractModelName, TranslatesCodePage437Letters) {
    const TTxInfo& mc24 = TxTypes[3];
    auto m = ModelMemory(mc24);
    PutName(m, mc24, std::string("K") + char(132) + char(154) + char(155) + char(127) + char(128));
    ExtractModelName(mc24, m, 0);
    EXPECT_EQ(std::string("K\xE4\xDC") + char(155) + "#\xC7", ModelName);
    EXPECT_EQ("K\xC3\xA4\xC3\x9C", Cp1252ToUtf8(ModelName).substr(0, 5));
}

TEST(ExtractModelName, KeepsZeroAndControlBytesAndEmptiesBlankNames) {
    const TTxInfo& mc22 = TxTypes[2];
    auto m = ModelMemory(mc22);
    ExtractModelName(mc22, m, 0);
    EXPECT_EQ("", ModelName);
    PutName(m, mc22, std::string("A\0B\x01", 4));
    ExtractModelName(mc22, m, 0);
    EXPECT_EQ(std::string("A\0B\x01", 4), ModelName);
}

TEST(ExtractModelName, BufferStartsPartWayIntoTheModel) {
    // The engine passes the bytes from Start on: the name sits at NameOffset - Start.
    const TTxInfo& mc22 = TxTypes[2];
    auto m = ModelMemory(mc22);
    PutName(m, mc22, "HELI");
    m[1022] = 7;
    std::vector<std::uint8_t> tail(m.begin() + 1000, m.end());
    ExtractModelName(mc22, tail, 1000);
    EXPECT_EQ("HELI", ModelName);
    EXPECT_EQ("7 ", ModelNumber);
    // Start at or past the name: no name can be read.
    ExtractModelName(mc22, std::span(m).subspan(1004), 1004);
    EXPECT_EQ("Data", ModelName);
    EXPECT_EQ("", ModelNumber);
}

TEST(ExtractModelName, TestTypeAndMc18) {
    const TTxInfo& mc22 = TxTypes[2];
    auto m = ModelMemory(mc22);
    m[1022] = 9;
    ExtractModelName(mc22, m, 0);
    ASSERT_EQ("9 ", ModelNumber);
    std::vector<std::uint8_t> bytes(4096, 'x');
    EXPECT_EQ("Data", ExtractModelName(TxTypes[TestTypeRow], bytes, 0));
    EXPECT_EQ("", ModelNumber);

    const TTxInfo& mc18 = TxTypes[0];
    auto m18 = ModelMemory(mc18);
    PutName(m18, mc18, "ACRO");
    m18[1] = 42;
    ExtractModelName(mc18, m18, 0);
    EXPECT_EQ("ACRO", ModelName);
    EXPECT_EQ("", ModelNumber);
}

TEST(ExtractModelName, ShortBufferNeverReadsPastItsEnd) {
    const TTxInfo& mc22 = TxTypes[2];
    std::vector<std::uint8_t> shortBuf(1010, 'A');
    ExtractModelName(mc22, shortBuf, 0);
    EXPECT_EQ("AAAAAA", ModelName);
    EXPECT_EQ("", ModelNumber);
}
