// What the program tells about a port: the adapter behind a device path, read from a sysfs
// tree, and the processes holding a device, found in a proc tree. Both trees are built here.

#include "platform/PortInfo.h"
#include "platform/PortDiagnosis.h"
#include "platform/PortHolders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace vaultix::platform;

namespace {

class FakeTree : public ::testing::Test {
protected:
    void SetUp() override {
        Root = fs::temp_directory_path() / ("vaultix-portinfo-" + std::to_string(::getpid()));
        fs::create_directories(Root);
    }
    void TearDown() override { fs::remove_all(Root); }

    void Write(const fs::path& File, const std::string& Text) {
        fs::create_directories(File.parent_path());
        std::ofstream(File) << Text;
    }
    // A tty class entry whose device link points at Device.
    void Tty(const std::string& Name, const fs::path& Device) {
        fs::create_directories(Device);
        fs::create_directories(Root / "sys/class/tty" / Name);
        fs::create_directory_symlink(Device, Root / "sys/class/tty" / Name / "device");
    }

    fs::path Root;
};

TEST_F(FakeTree, AdaptersAreNamedByTheirMakerAndProductAndOtherDevicesByPath) {
    const fs::path Usb = Root / "sys/devices/pci0000:00/usb1/1-1";
    Write(Usb / "idVendor", "0403\n");
    Write(Usb / "manufacturer", "FTDI\n");
    Write(Usb / "product", "FT232R USB UART\n");
    Write(Usb / "serial", "A50285BI\n");
    Tty("ttyUSB0", Usb / "1-1:1.0/ttyUSB0");
    const fs::path Bare = Root / "sys/devices/pci0000:00/usb1/1-2";
    Write(Bare / "idVendor", "2341\n");
    Tty("ttyACM0", Bare / "1-2:1.0");
    Tty("ttyS0", Root / "sys/devices/pnp0/00:04/tty/ttyS0");
    const std::string Sys = (Root / "sys").string();

    // The kernel's name of the device finds its sysfs entry.
    const fs::path Node = Root / "dev/ttyUSB0";
    Write(Node, "");
    TDeviceInfo Info = DescribeDevice(Node.string(), Sys);
    EXPECT_TRUE(Info.Present && Info.Usb);
    EXPECT_EQ(Info.Serial, "A50285BI");
    EXPECT_EQ(DeviceSummary(Info), Node.string() + " \u2014 FTDI FT232R USB UART");

    // A maker already at the start of the product name is said once; a longer word that only
    // begins like the maker is no repetition.
    Info.Maker = "QEMU";
    Info.Product = "QEMU USB SERIAL";
    EXPECT_EQ(DeviceSummary(Info), Node.string() + " \u2014 QEMU USB SERIAL");
    Info.Maker = "Prolific";
    Info.Product = "ProlificUSB";
    EXPECT_EQ(DeviceSummary(Info), Node.string() + " \u2014 Prolific ProlificUSB");

    Info = DescribeDevice("/dev/ttyACM0", Sys);
    EXPECT_TRUE(Info.Usb);
    EXPECT_EQ(DeviceSummary(Info), "/dev/ttyACM0 \u2014 not present");
    Info.Present = true;
    EXPECT_EQ(DeviceSummary(Info), "/dev/ttyACM0 \u2014 USB adapter");
    Info.Product = "UART\x1b]0;owned\x07"; // a device names itself
    EXPECT_EQ(DeviceSummary(Info), "/dev/ttyACM0 \u2014 UART\\x1b]0;owned\\x07");

    Info = DescribeDevice("/dev/null", Sys);
    EXPECT_FALSE(Info.Usb);
    EXPECT_EQ(DeviceSummary(Info), "/dev/null");
    EXPECT_FALSE(DescribeDevice("/dev/ttyS0", Sys).Usb);
}

TEST_F(FakeTree, HoldersAreFoundByTheDeviceTheirDescriptorsName) {
    const fs::path Proc = Root / "proc";
    const auto Process = [&](const std::string& Pid, const std::string& Comm,
                             const std::vector<fs::path>& Fds) {
        Write(Proc / Pid / "comm", Comm + "\n");
        fs::create_directories(Proc / Pid / "fd");
        int Number = 0;
        for (const fs::path& Target : Fds)
            fs::create_symlink(Target, Proc / Pid / "fd" / std::to_string(Number++));
    };
    Process("4242", "minicom", {"/dev/zero", "/dev/null"});
    Process("77", "screen", {"/dev/null"});
    Process("15", "bash", {"/dev/zero"});
    Write(Proc / "self" / "comm", "not a process\n");

    THolderSearch Search = FindPortHolders("/dev/null", Proc.string());
    ASSERT_EQ(Search.Holders.size(), 2u);
    EXPECT_FALSE(Search.Incomplete);
    for (const TPortHolder& Holder : Search.Holders)
        EXPECT_EQ(Holder.Program, Holder.Pid == 4242 ? "minicom" : "screen");
    EXPECT_EQ(HoldersText("/dev/ttyUSB0", {{{4242, "minicom"}}, false}),
              "/dev/ttyUSB0 is in use by minicom (process 4242).");
    EXPECT_EQ(HoldersText("/dev/ttyUSB0", {{{1, "a"}, {2, "b"}, {3, ""}}, false}),
              "/dev/ttyUSB0 is in use by a (process 1), b (process 2) and a program (process 3).");
    // A process names itself, and a settings file names the device: neither reaches the
    // terminal or the window raw.
    EXPECT_EQ(HoldersText("/dev/tty\x1b[2J", {{{7, "x\x07\n"}}, false}),
              "/dev/tty\\x1b[2J is in use by x\\x07\\x0a (process 7).");

    // A process whose descriptors cannot be listed makes the search incomplete, not wrong.
    Write(Proc / "99" / "fd", "");
    Search = FindPortHolders("/dev/tty", Proc.string());
    EXPECT_TRUE(Search.Holders.empty());
    EXPECT_TRUE(Search.Incomplete);
    EXPECT_EQ(HoldersText("/dev/ttyUSB0", Search), "/dev/ttyUSB0 is in use by another program.");
}

} // namespace
