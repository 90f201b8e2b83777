// The advice on getting access to a serial port, read from the owner and mode of real files.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PortAccess.h"
#include "platform/PortDiagnosis.h"

namespace vaultix::platform {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

std::string NameOfGroup(gid_t Id) {
    const group* Found = ::getgrgid(Id);
    return Found != nullptr ? Found->gr_name : std::to_string(Id);
}

std::string NameOfUser(uid_t Id) {
    const passwd* Found = ::getpwuid(Id);
    return Found != nullptr ? Found->pw_name : std::to_string(Id);
}

// A group other than root's that this process may give its files: any as root (as in CI),
// else its own.
gid_t OrdinaryGroup() {
    if (::geteuid() != 0) return ::getegid();
    const group* Dialout = ::getgrnam("dialout");
    return Dialout != nullptr ? Dialout->gr_gid : 20;
}

class PortAccess : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("vaultix-access-" + std::to_string(::getpid()));
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    // A file standing in for a device node, owned by this process and group Group, with Mode.
    // Empty when this process may not give a file that group.
    std::string Device(const std::string& Name, gid_t Group, mode_t Mode) {
        const fs::path Path = Dir / Name;
        { std::ofstream(Path) << "x"; }
        if (::chown(Path.c_str(), static_cast<uid_t>(-1), Group) != 0) return {};
        if (::chmod(Path.c_str(), Mode) != 0) return {};
        return Path.string();
    }

    fs::path Dir;
};

TEST_F(PortAccess, JoiningTheGroupIsAdvisedOnlyWhenThatGivesAccess) {
    const gid_t Ordinary = OrdinaryGroup();
    ASSERT_NE(Ordinary, 0u) << "this process's own group is root's";
    struct TCase {
        const char* Name;
        gid_t Group;
        mode_t Mode;
        bool Join;
        const char* ModeText;
    };
    const TCase Cases[] = {
        {"dialout-rw", Ordinary, 0660, true, "0660"},
        {"owner-only", Ordinary, 0600, false, "0600"},
        {"group-reads", Ordinary, 0640, false, "0640"},
        {"root-group", 0, 0660, false, "0660"},
        {"root-only", 0, 0600, false, "0600"},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const std::string Path = Device(Case.Name, Case.Group, Case.Mode);
        if (Path.empty()) {
            EXPECT_NE(::geteuid(), 0u) << "root may give a file any group";
            continue;
        }
        const std::optional<TDeviceAccess> Access = DeviceAccess(Path);
        ASSERT_TRUE(Access.has_value());
        const std::string Group = NameOfGroup(Case.Group);
        EXPECT_EQ(Access->Group, Group);
        const std::string Hint = PortAccessHint(*Access);
        if (Case.Join) {
            EXPECT_EQ(Hint, "On Linux, only members of the group \"" + Group +
                                "\" may use this port: run \"sudo usermod -aG " + Group +
                                " $USER\" and log in again.");
        } else {
            EXPECT_THAT(Hint, Not(HasSubstr("usermod")));
            EXPECT_THAT(Hint, HasSubstr("only the administrator can give you access"));
            EXPECT_THAT(Hint, HasSubstr("(owner " + NameOfUser(::geteuid()) + ", group " + Group +
                                        ", mode " + Case.ModeText + ")"));
        }
    }
}

TEST_F(PortAccess, AdviceIsGivenOnlyForADeviceThisProcessMayNotUse) {
    EXPECT_FALSE(DeviceAccess("/no/such/device").has_value());
    EXPECT_FALSE(DeniedDeviceAccess("/no/such/device").has_value());
    const std::string Own = Device("own", ::getegid(), 0600);
    ASSERT_FALSE(Own.empty());
    EXPECT_FALSE(DeniedDeviceAccess(Own).has_value()) << "our own file";
    if (::geteuid() != 0) { // root may use any file
        ASSERT_EQ(::chmod(Own.c_str(), 0), 0);
        const std::optional<TDeviceAccess> Denied = DeniedDeviceAccess(Own);
        ASSERT_TRUE(Denied.has_value());
        EXPECT_EQ(Denied->Group, NameOfGroup(::getegid()));
    }
}

} // namespace
} // namespace vaultix::platform
