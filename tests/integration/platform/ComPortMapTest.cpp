// COM port names, the port map with its overrides and scan order, and port probing.

#include "platform/ComPortMap.h"
#include "platform/PortProbe.h"
#include "platform/SerialDevice.h"
#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace vaultix::platform;
using vaultix::testsupport::TPtyPair;
namespace fs = std::filesystem;

namespace {

// The map is process-wide: every test starts hermetic, with no scan and no overrides.
class ComPorts : public ::testing::Test {
protected:
    void SetUp() override {
        SetScanDirectory("");
        ClearPortOverrides();
    }
    void TearDown() override {
        ClearPortOverrides();
        SetScanDirectory("");
        if (!FakeDev.empty()) fs::remove_all(FakeDev);
    }

    // A directory with empty files of the given names, standing in for /dev.
    std::string MakeFakeDev(std::initializer_list<const char*> Names) {
        FakeDev = fs::temp_directory_path() / ("vaultix-dev-" + std::to_string(::getpid()));
        fs::create_directories(FakeDev);
        for (const char* name : Names)
            std::ofstream(FakeDev / name).put('\n');
        return FakeDev.string();
    }

    fs::path FakeDev;
};

} // namespace

TEST_F(ComPorts, NamesParse) {
    EXPECT_EQ(ParseComPortName("\\\\.\\COM7"), 7);
    EXPECT_EQ(ParseComPortName("COM12"), 12);
    EXPECT_EQ(ParseComPortName("com3"), 3);
    EXPECT_EQ(ParseComPortName("COM51"), 51);
    EXPECT_EQ(ParseComPortName("COM0"), 0);
    for (const char* notCom : {"COM", "COM-1", "COM+1", "COM1x", "/dev/ttyUSB0", "", "\\\\.\\"})
        EXPECT_EQ(ParseComPortName(notCom), -1) << notCom;
}

TEST_F(ComPorts, OverridesMapNamesToPaths) {
    SetPortOverride(3, "/dev/pts/42");
    EXPECT_EQ(ComPortPath(3), "/dev/pts/42");
    EXPECT_EQ(ResolveDeviceName("\\\\.\\COM3"), "/dev/pts/42");
    EXPECT_EQ(ResolveDeviceName("COM1"), "");
    EXPECT_EQ(ResolveDeviceName("/dev/ttyS0"), "/dev/ttyS0"); // paths pass through

    SetPortOverride(MaxComPort, "/dev/pts/50");
    EXPECT_EQ(ComPortPath(MaxComPort), "/dev/pts/50");
    SetPortOverride(MaxComPort + 1, "/dev/pts/51");
    EXPECT_EQ(ComPortPath(MaxComPort + 1), "");
    EXPECT_EQ(ResolveDeviceName("COM51"), "");
    SetPortOverride(0, "/dev/pts/0");
    EXPECT_EQ(ComPortPath(0), "");

    SetPortOverride(3, "");
    EXPECT_EQ(ComPortPath(3), "");
}

TEST_F(ComPorts, ScanPutsUsbAdaptersFirstInNaturalOrder) {
    // ttyS77 has no sysfs entry and is no terminal, so it is no real UART and is left out.
    SetScanDirectory(MakeFakeDev(
        {"ttyUSB10", "ttyACM0", "ttyUSB2", "ttyS77", "ttyUSBx", "tty5", "ttyACM1", "null"}));
    const std::vector<std::string> expected = {
        (FakeDev / "ttyUSB2").string(), (FakeDev / "ttyUSB10").string(),
        (FakeDev / "ttyACM0").string(), (FakeDev / "ttyACM1").string()};
    EXPECT_EQ(ScanSerialDevices(), expected);
    EXPECT_EQ(ComPortPath(1), expected[0]);
    EXPECT_EQ(ComPortPath(4), expected[3]);
    EXPECT_EQ(ComPortPath(5), "");

    // Overrides take their numbers; the scanned devices they do not name fill the gaps.
    SetPortOverride(1, "/dev/ttyS0");
    SetPortOverride(3, expected[2]);
    EXPECT_EQ(ComPortPath(1), "/dev/ttyS0");
    EXPECT_EQ(ComPortPath(2), expected[0]);
    EXPECT_EQ(ComPortPath(3), expected[2]);
    EXPECT_EQ(ComPortPath(4), expected[1]);
    EXPECT_EQ(ComPortPath(5), expected[3]);
    EXPECT_EQ(ComPortPath(6), "");
}

TEST_F(ComPorts, MappedPortOpensByComName) {
    TPtyPair pty;
    SetPortOverride(2, pty.SlavePath());
    std::unique_ptr<TSerialDevice> device;
    ASSERT_EQ(TSerialDevice::Open("\\\\.\\COM2", device), 0);
    EXPECT_EQ(device->Path(), pty.SlavePath());
    std::unique_ptr<TSerialDevice> other;
    EXPECT_EQ(TSerialDevice::Open("\\\\.\\COM1", other), deNotFound);
    EXPECT_EQ(TSerialDevice::Open("\\\\.\\COM51", other), deNotFound);
}

TEST_F(ComPorts, ProbingFindsFreeAndHeldPortsButNotMissingOnes) {
    TPtyPair free, held;
    SetPortOverride(1, free.SlavePath());
    SetPortOverride(2, held.SlavePath());
    SetPortOverride(3, "/dev/vaultix-no-such-device");
    SetPortOverride(4, "/dev/null");
    SetPortOverride(MaxComPort + 1, free.SlavePath());
    std::unique_ptr<TSerialDevice> holder;
    ASSERT_EQ(TSerialDevice::Open(held.SlavePath(), holder), 0);

    EXPECT_TRUE(PortAvailable(1));
    EXPECT_TRUE(PortAvailable(2));
    EXPECT_FALSE(PortAvailable(3));
    EXPECT_FALSE(PortAvailable(4));
    EXPECT_FALSE(PortAvailable(5));
    EXPECT_FALSE(PortAvailable(0));
    EXPECT_FALSE(PortAvailable(MaxComPort + 1));

    // The probe let go of the free port and left the held one to its holder.
    std::unique_ptr<TSerialDevice> again;
    EXPECT_EQ(TSerialDevice::Open(free.SlavePath(), again), 0);
    EXPECT_EQ(TSerialDevice::Open(held.SlavePath(), again), deInUse);
}
