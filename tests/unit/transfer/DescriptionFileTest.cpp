// Description files: line breaks of every kind, the NUL that ends the text, 8-bit text of
// existing backups, and text Windows-1252 cannot hold.

#include "TransferFakes.h"

#include "transfer/Cp1252Encode.h"
#include "transfer/DescriptionFile.h"

namespace vaultix::transfer::test {
namespace {

TEST(DescriptionFile, EveryKindOfLineBreakEndsALine) {
    const std::string Lines = "first\nsecond\nthird";
    EXPECT_EQ(DecodeDescription("first\r\nsecond\r\nthird"), Lines);
    EXPECT_EQ(DecodeDescription("first\nsecond\nthird\n"), Lines);
    EXPECT_EQ(DecodeDescription("first\rsecond\rthird\r"), Lines);
    EXPECT_EQ(DecodeDescription("first\r\rthird"), "first\n\nthird");
    EXPECT_EQ(DecodeDescription("first\n\r\nthird"), "first\n\nthird");
    EXPECT_EQ(DecodeDescription("a\r\n\r\n"), "a\n") << "the last line is empty";
}

TEST(DescriptionFile, NulEndsTheText) {
    EXPECT_EQ(DecodeDescription(std::string("kept\r\nalso\0lost\r\nmore", 21)), "kept\nalso");
    EXPECT_EQ(DecodeDescription(std::string("\0all lost", 9)), "");
}

TEST(DescriptionFile, WritesCrLfAndNothingForAnEmptyMemo) {
    TTempDir Dir;
    const auto Name = Dir / "club.m22.dsc";
    WriteDescriptionFile(Name, "");
    EXPECT_TRUE(std::filesystem::exists(Name));
    EXPECT_EQ(std::filesystem::file_size(Name), 0u);

    WriteDescriptionFile(Name, "one\ntwo\r\nthree\n");
    EXPECT_EQ(ReadAll(Name), TBytes({'o', 'n', 'e', '\r', '\n', 't', 'w', 'o', '\r', '\n', 't', 'h',
                                     'r', 'e', 'e', '\r', '\n'}));
    EXPECT_EQ(ReadDescriptionFile(Name), "one\ntwo\nthree");
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"club.m22.dsc"});
}

TEST(DescriptionFile, WindowsTextStaysEightBit) {
    TTempDir Dir;
    const auto Name = Dir / "club.m22.dsc";
    WriteDescriptionFile(Name, "Gr\u00FC\u00DFe \u20AC5");
    EXPECT_EQ(ReadAll(Name), TBytes({'G', 'r', 0xFC, 0xDF, 'e', ' ', 0x80, '5'}));
    EXPECT_EQ(ReadDescriptionFile(Name), "Gr\u00FC\u00DFe \u20AC5");

    // An existing backup's 8-bit description.
    WriteAll(Name, std::string("Modell f\xFCr \x84Segler\x93"));
    EXPECT_EQ(ReadDescriptionFile(Name), "Modell f\u00FCr \u201ESegler\u201C");
}

TEST(DescriptionFile, TextWindowsCannotHoldRoundTrips) {
    TTempDir Dir;
    const auto Name = Dir / "club.m22.dsc";
    const std::string Text = "\u041C\u043E\u0434\u0435\u043B\u044C \u2708\nline \U0001F680 \u00FC";
    WriteDescriptionFile(Name, Text);
    EXPECT_EQ(ReadDescriptionFile(Name), Text);
    const TBytes Bytes = ReadAll(Name);
    EXPECT_TRUE(IsValidUtf8(std::string(Bytes.begin(), Bytes.end())));

    // Windows-1252 text that happens to be valid UTF-8 must not come back changed.
    const std::string LooksLikeUtf8 = "\u00C3\u00A9";
    WriteDescriptionFile(Name, LooksLikeUtf8);
    EXPECT_EQ(ReadDescriptionFile(Name), LooksLikeUtf8);
}

TEST(DescriptionFile, LoadOnlyWhenTheBackupHasOne) {
    TTempDir Dir;
    EXPECT_FALSE(LoadDescription(Dir / "club.m22").has_value());
    WriteAll(Dir / "club.m22.dsc", std::string("text\r\n"));
    EXPECT_EQ(LoadDescription(Dir / "club.m22"), std::optional<std::string>("text"));
}

TEST(Cp1252Encode, RefusesWhatItCannotEncode) {
    EXPECT_EQ(Utf8ToCp1252("abc \u00FF\u0178\u2122"),
              std::optional<std::string>("abc \xFF\x9F\x99"));
    EXPECT_EQ(Utf8ToCp1252("\u0100"), std::nullopt);
    EXPECT_EQ(Utf8ToCp1252("\u0081"), std::nullopt) << "C1 control";
    EXPECT_EQ(Utf8ToCp1252("\xFC"), std::nullopt) << "not UTF-8";
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF")) << "overlong";
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80")) << "surrogate";
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")) << "above U+10FFFF";
    EXPECT_FALSE(IsValidUtf8("\xE2\x82")) << "cut short";
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x9A\x80"));
}

} // namespace
} // namespace vaultix::transfer::test
