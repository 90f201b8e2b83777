#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace vaultix::platform;
namespace fs = std::filesystem;

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vaultix-ini-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        file = (dir / "Vaultix.ini").string();
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove_all(dir);
    }
    void Put(const std::string& Text) { std::ofstream(file, std::ios::binary) << Text; }
    std::string Get() {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir;
    std::string file;
};

} // namespace

TEST(ProfileInteger, DecimalAndHexOnly) {
    EXPECT_EQ(2, ParseProfileInteger("0x2"));
    EXPECT_EQ(26, ParseProfileInteger("0X1a"));
    EXPECT_EQ(-1, ParseProfileInteger("-1"));
    EXPECT_EQ(12, ParseProfileInteger(" 12 "));
    EXPECT_EQ(std::nullopt, ParseProfileInteger("12abc"));
    EXPECT_EQ(std::nullopt, ParseProfileInteger(""));
    EXPECT_EQ(std::nullopt, ParseProfileInteger("0x"));
    EXPECT_EQ(std::nullopt, ParseProfileInteger("yes"));
    // Out of range or a second sign: no value, never a wrapped one.
    EXPECT_EQ(std::nullopt, ParseProfileInteger("3000000000"));
    EXPECT_EQ(std::nullopt, ParseProfileInteger("0xFFFFFFFF"));
    EXPECT_EQ(std::nullopt, ParseProfileInteger("--5"));
    EXPECT_EQ(std::nullopt, ParseProfileInteger("0x-5"));
    EXPECT_EQ(std::nullopt, ParseProfileInteger("99999999999999999999999"));
    EXPECT_EQ(INT32_MIN, ParseProfileInteger("-2147483648"));
    EXPECT_EQ(INT32_MAX, ParseProfileInteger("0x7fffffff"));
}

TEST_F(ProfileFileTest, MissingFileAndKeysGiveDefaults) {
    TProfileFile ini(file);
    EXPECT_EQ(2, ini.ReadInteger("Set", "Transmitter", 2));
    EXPECT_FALSE(ini.ReadBool("Set", "Tracing", false));
    Put("[Set]\r\nTransmitter=abc\r\nPort=0x2\r\nTracing=7\r\n");
    TProfileFile again(file);
    EXPECT_EQ(2, again.ReadInteger("set", "TRANSMITTER", 2));
    EXPECT_EQ(2, again.ReadInteger("Set", "Port", 0));
    EXPECT_TRUE(again.ReadBool("Set", "Tracing", false));
}

TEST_F(ProfileFileTest, WritesKeepOtherSectionsKeysAndComments) {
    Put("; my notes\r\n[Ports]\r\nCOM1=/dev/ttyUSB3\r\n\r\n[Set]\r\nPosX=5\r\nOther=keep\r\n");
    TProfileFile ini(file);
    ini.WriteInteger("Set", "PosX", 120);
    ini.WriteInteger("Set", "PosY", 40);
    ini.WriteBool("Set", "Tracing", true);
    ini.WriteBool("Extra", "Flag", false);
    EXPECT_EQ(
        "; my notes\r\n[Ports]\r\nCOM1=/dev/ttyUSB3\r\n\r\n[Set]\r\nPosX=120\r\nOther=keep\r\n"
        "PosY=40\r\nTracing=1\r\n\r\n[Extra]\r\nFlag=0\r\n",
        Get());
    TProfileFile back(file);
    EXPECT_EQ("/dev/ttyUSB3", back.ReadString("Ports", "COM1"));
    EXPECT_EQ(120, back.ReadInteger("Set", "PosX", 0));
}

TEST_F(ProfileFileTest, ByteOrderMarkHidesNoSectionAndIsKept) {
    Put("\xEF\xBB\xBF[Ports]\r\nCOM1=/dev/pts/9\r\n[Set]\r\nPort=2\r\n");
    TProfileFile ini(file);
    EXPECT_EQ("/dev/pts/9", ini.ReadString("Ports", "COM1"));
    ini.WriteInteger("Set", "Port", 1);
    EXPECT_EQ("\xEF\xBB\xBF[Ports]\r\nCOM1=/dev/pts/9\r\n[Set]\r\nPort=1\r\n", Get());
}

TEST_F(ProfileFileTest, KeyIsAddedToTheRightSectionNotTheLast) {
    Put("[Set]\r\nPosX=1\r\n\r\n[Ports]\r\nCOM2=/dev/ttyS0\r\n");
    TProfileFile ini(file);
    ini.WriteInteger("Set", "Port", 3);
    EXPECT_EQ("[Set]\r\nPosX=1\r\nPort=3\r\n\r\n[Ports]\r\nCOM2=/dev/ttyS0\r\n", Get());
}

TEST_F(ProfileFileTest, UnwritableFileRaisesTheProfileError) {
    if (::geteuid() == 0) {
        // Root writes through permission bits; a missing directory fails for everyone.
        file = (dir / "missing" / "Vaultix.ini").string();
    } else {
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    }
    TProfileFile ini(file);
    try {
        ini.WriteInteger("Set", "PosX", 1);
        FAIL() << "no error raised";
    } catch (const EProfileWriteError& e) {
        EXPECT_EQ("In " + file + " kann nicht geschrieben werden", e.Message());
    }
}
