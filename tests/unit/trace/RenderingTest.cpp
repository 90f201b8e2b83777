#include "platform/SystemDescription.h"
#include "serial/ByteRendering.h"

#include <gtest/gtest.h>

using namespace vaultix;

TEST(ByteRendering, BoundariesOfEachMode) {
    struct TCase {
        std::uint8_t Byte;
        const char* Plain;
        const char* InHex;
    };
    const TCase cases[] = {
        {0x00, "[0]", "[00]"},   {0x09, "[9]", "[09]"},   {0x0A, "[10]", "[0A]"},
        {0x1F, "[31]", "[1F]"},  {0x20, " ", "[20]"},     {0x21, "!", "!"},
        {0x7E, "~", "~"},        {0x7F, "[127]", "[7F]"}, {0x63, "c", "c"},
        {0xFF, "[255]", "[FF]"},
    };
    for (const TCase& c : cases) {
        const auto plain = serial::RenderByte(c.Byte, false, false);
        const auto hex = serial::RenderByte(c.Byte, true, false);
        EXPECT_EQ(plain.View(), c.Plain) << int(c.Byte);
        EXPECT_EQ(hex.View(), c.InHex) << int(c.Byte);
        EXPECT_EQ(plain.Width, std::string_view(c.Plain).size());
        EXPECT_EQ(serial::RenderByte(c.Byte, false, true).Width, 4);
    }
    EXPECT_EQ(serial::RenderByte('a', false, true).View(), "[61]");
    EXPECT_EQ(serial::RenderByteAsChar(0x0D).View(), "\r");
}

TEST(SystemDescription, SeparatorsComeFromTheLocaleFormats) {
    using platform::SeparatorOfFormat;
    EXPECT_EQ(SeparatorOfFormat("%m/%d/%y", "/"), "/");
    EXPECT_EQ(SeparatorOfFormat("%d.%m.%Y", "/"), ".");
    EXPECT_EQ(SeparatorOfFormat("%Y-%m-%d", "/"), "-");
    EXPECT_EQ(SeparatorOfFormat("%-d. %-m. %Y", "/"), ". ");
    EXPECT_EQ(SeparatorOfFormat("%H:%M:%S", ":"), ":");
    EXPECT_EQ(SeparatorOfFormat("%OH.%OM", ":"), ".");
    // No usable separator: compound conversions, words, an empty format.
    EXPECT_EQ(SeparatorOfFormat("%T", ":"), ":");
    EXPECT_EQ(SeparatorOfFormat("%Y\xEB\x85\x84 %m", "/"), "/");
    EXPECT_EQ(SeparatorOfFormat("%Hh%M", ":"), ":");
    EXPECT_EQ(SeparatorOfFormat("", "/"), "/");
}

TEST(SystemDescription, DateTimeHasTwoDigitFields) {
    std::tm t{};
    t.tm_mday = 5;
    t.tm_mon = 2;
    t.tm_year = 124;
    t.tm_hour = 7;
    t.tm_min = 8;
    t.tm_sec = 9;
    EXPECT_EQ(platform::FormatDateTime(t, "/", ":"), "05/03/24, 07:08:09");
    t.tm_year = 99;
    t.tm_hour = 23;
    EXPECT_EQ(platform::FormatDateTime(t, ".", "."), "05.03.99, 23.08.09");
}
