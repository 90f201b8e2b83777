// Where the settings file, the user guide and the dialogs' start lie: in the program's own folder
// for a portable copy, per user for an installed program, whatever the installation's prefix.

#include "platform/ProgramPlaces.h"
#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace vaultix::platform;
namespace fs = std::filesystem;

namespace {

// Sets an environment variable for the length of a test; nullopt removes it.
class TEnvironment {
public:
    TEnvironment(const char* Name, std::optional<std::string> Value) : Name_(Name) {
        if (const char* Old = std::getenv(Name)) Old_ = Old;
        if (Value)
            ::setenv(Name, Value->c_str(), 1);
        else
            ::unsetenv(Name);
    }
    ~TEnvironment() {
        if (Old_)
            ::setenv(Name_, Old_->c_str(), 1);
        else
            ::unsetenv(Name_);
    }

private:
    const char* Name_;
    std::optional<std::string> Old_;
};

class ProgramPlacesTest : public ::testing::Test {
protected:
    void SetUp() override {
        Root = fs::temp_directory_path() /
               ("vaultix-places-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root);
        Home = Root / "home";
        Bin = Root / "prefix" / "bin";
        fs::create_directories(Home);
        fs::create_directories(Bin);
    }
    void TearDown() override { fs::remove_all(Root); }

    void Install() { fs::create_directories(Root / "prefix" / "share" / "vaultix"); }

    fs::path Root, Home, Bin;
};

} // namespace

TEST_F(ProgramPlacesTest, PortableUnlessInstalledFilesLieBesideAndNoSettingsFileDoes) {
    const TEnvironment HomeVar("HOME", Home.string());
    const std::string Own = Bin.string() + "/";
    const TProgramPlaces Build = ProgramPlacesFor(Bin.string());
    EXPECT_TRUE(Build.Portable);
    EXPECT_EQ(Build.SettingsFile, Own + "Vaultix.ini");
    EXPECT_EQ(Build.GuideFile, Own + "user-guide.html");
    EXPECT_EQ(Build.DialogFolder, Own);

    Install();
    // Read-only or not, an installation behaves the same.
    fs::permissions(Bin, fs::perms::owner_read | fs::perms::owner_exec);
    const TProgramPlaces Installed = ProgramPlacesFor(Bin.string());
    EXPECT_FALSE(Installed.Portable);
    EXPECT_EQ(Installed.GuideFile, (Root / "prefix/share/vaultix/user-guide.html").string());
    fs::permissions(Bin, fs::perms::owner_all);

    std::ofstream(Bin / "Vaultix.ini") << "[Set]\r\n";
    EXPECT_EQ(ProgramPlacesFor(Bin.string()).SettingsFile, Own + "Vaultix.ini");
    EXPECT_TRUE(ProgramPlacesFor(Bin.string()).Portable);
}

TEST_F(ProgramPlacesTest, AnInstalledProgramKeepsItsSettingsAndDialogsWithTheUser) {
    Install();
    const TEnvironment HomeVar("HOME", Home.string());
    auto Config = std::make_unique<TEnvironment>("XDG_CONFIG_HOME", std::nullopt);
    TProgramPlaces Places = ProgramPlacesFor(Bin.string());
    EXPECT_EQ(Places.SettingsFile, (Home / ".config/vaultix/Vaultix.ini").string());
    EXPECT_EQ(Places.DialogFolder, Home.string() + "/"); // no documents folder yet

    fs::create_directories(Home / "Documents");
    Config.reset();
    Config = std::make_unique<TEnvironment>("XDG_CONFIG_HOME",
                                            "relative/config"); // not absolute: not used
    Places = ProgramPlacesFor(Bin.string());
    EXPECT_EQ(Places.SettingsFile, (Home / ".config/vaultix/Vaultix.ini").string());
    EXPECT_EQ(Places.DialogFolder, (Home / "Documents").string() + "/");

    Config.reset();
    Config = std::make_unique<TEnvironment>("XDG_CONFIG_HOME", (Root / "config").string());
    Places = ProgramPlacesFor(Bin.string());
    EXPECT_EQ(Places.SettingsFile, (Root / "config/vaultix/Vaultix.ini").string());

    // The first write at close makes the folder, private to the user.
    ASSERT_TRUE(MakeSettingsFolder(Places));
    TProfileFile(Places.SettingsFile).WriteInteger("Set", "PosX", 3);
    EXPECT_EQ(TProfileFile(Places.SettingsFile).ReadInteger("Set", "PosX", 0), 3);
    EXPECT_EQ(fs::status(Root / "config/vaultix").permissions() & fs::perms::all,
              fs::perms::owner_all);
}
