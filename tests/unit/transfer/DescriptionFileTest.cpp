// Description files: line breaks of every kind, bytes kept through a read and a write, 8-bit
// text of existing backups, and text Windows-1252 cannot hold.

#include "TransferFakes.h"

#include "platform/ShownText.h"
#include "transfer/Cp1252.h"
#include "transfer/Cp1252Encode.h"
#include "transfer/DescriptionFile.h"

namespace vaultix::transfer::test {
namespace {

using namespace std::string_literals;

TEST(DescriptionFile, EveryKindOfLineBreakEndsALine) {
    const std::string Lines = "first\nsecond\nthird";
    EXPECT_EQ(DecodeDescription("first\r\nsecond\r\nthird"), Lines);
    EXPECT_EQ(DecodeDescription("first\nsecond\nthird"), Lines);
    EXPECT_EQ(DecodeDescription("first\rsecond\rthird\r"), Lines + "\n");
    EXPECT_EQ(DecodeDescription("first\r\rthird"), "first\n\nthird");
    EXPECT_EQ(DecodeDescription("first\n\r\nthird"), "first\n\nthird");
    EXPECT_EQ(DecodeDescription("a\r\n\r\n"), "a\n\n") << "final blank lines are text";
}

TEST(DescriptionFile, UnchangedTextKeepsEveryByte) {
    TTempDir Dir;
    const auto Name = Dir / "club.m22.dsc";
    const std::string Kept[] = {
        "kept\r\nalso\0after the NUL\r\n\r\n"s,
        "\xEF\xBB\xBFmarked UTF-8 \xC3\xBC\n",
        "LF only\nand \x81\x8D\x8F\x90\x9D, codes Windows-1252 leaves open\n\n",
        "\x1b[31mred\x07",
    };
    for (const std::string& Bytes : Kept) {
        WriteAll(Name, Bytes);
        const std::string Text = ReadDescriptionFile(Name);
        EXPECT_EQ(DescriptionBytes(Name, Text), Bytes);
        WriteDescriptionFile(Name, Text);
        EXPECT_EQ(ReadAll(Name), TBytes(Bytes.begin(), Bytes.end()));
        // Written anew (the file gone), the text still comes back as it was.
        std::filesystem::remove(Name);
        WriteDescriptionFile(Name, Text);
        EXPECT_EQ(ReadDescriptionFile(Name), Text);
    }
    EXPECT_FALSE(NeedsUtf8(DecodeDescription(Kept[2])));
    EXPECT_TRUE(NeedsUtf8(DecodeDescription(Kept[1]))) << "the byte-order mark";
}

TEST(ShownText, ControlsAreEscapedAndTheMemoGivesTheTextBack) {
    EXPECT_EQ(platform::ShownText("A\x1b[2J\x07\0B\r\n\t\x7f"s),
              "A\\x1b[2J\\x07\\x00B\\x0d\\x0a\\x09\\x7f");
    EXPECT_EQ(platform::ShownText("\xC2\x9B"
                                  "1m \xFF \xC3\xBC C:\\x"),
              "\\x9b1m \\xff \xC3\xBC C:\\x")
        << "C1 controls, bytes that are not UTF-8, and text that is";
    EXPECT_EQ(ShownCp1252("Gl\x1b\x81"
                          "der"),
              "Gl\\x1b\\x81der");

    // What the memo shows of a description, typed back unchanged, is the description.
    const std::string Texts[] = {
        "line\n\ttab\0nul \x1b[31m"s,
        "literal \\x1b and \\\\x07 and \\x41",
        "\\",
        "\\x",
        "\xEF\xBB\xBF\xC2\x81 \\x0a\n",
        "\\ufeff \\u0041 \xE2\x80\xAE \\u202e \xE2\x80\xA8",
    };
    for (const std::string& Text : Texts) {
        const std::string Shown = platform::ShownLines(Text);
        EXPECT_EQ(platform::TypedText(Shown), Text) << Shown;
        for (const char C : Shown)
            EXPECT_TRUE(C == '\n' || C == '\t' || static_cast<unsigned char>(C) >= 0x20) << Shown;
    }
    EXPECT_EQ(platform::ShownLines("a\nb\x1b"), "a\nb\\x1b");
    EXPECT_EQ(platform::ShownText("\xEF\xBB\xBF"
                                  "abc\xE2\x80\xAE"
                                  "gpj.exe"),
              "\\ufeffabc\\u202egpj.exe");
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
    EXPECT_EQ(ReadDescriptionFile(Name), "one\ntwo\nthree\n");
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
    EXPECT_EQ(LoadDescription(Dir / "club.m22"), std::optional<std::string>("text\n"));
}

TEST(Cp1252Encode, RefusesWhatItCannotEncode) {
    EXPECT_EQ(Utf8ToCp1252("abc \u00FF\u0178\u2122"),
              std::optional<std::string>("abc \xFF\x9F\x99"));
    EXPECT_EQ(Utf8ToCp1252("\u0100"), std::nullopt);
    EXPECT_EQ(Utf8ToCp1252("\u0080"), std::nullopt) << "C1 control";
    EXPECT_EQ(Utf8ToCp1252("\u0081"), std::optional<std::string>("\x81")) << "undefined code";
    EXPECT_EQ(Utf8ToCp1252("\xFC"), std::nullopt) << "not UTF-8";
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF")) << "overlong";
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80")) << "surrogate";
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")) << "above U+10FFFF";
    EXPECT_FALSE(IsValidUtf8("\xE2\x82")) << "cut short";
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x9A\x80"));
}

} // namespace
} // namespace vaultix::transfer::test
