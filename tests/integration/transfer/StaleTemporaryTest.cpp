// Temporaries that a killed save leaves beside a backup: the next save of that name removes
// them when it ends, but never one that a live writer still holds, nor anything else.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "transfer/DataFile.h"

namespace vaultix::transfer::test {
namespace {

namespace fs = std::filesystem;

class StaleTemporaries : public ::testing::Test {
protected:
    void SetUp() override {
        std::string Template = (fs::temp_directory_path() / "vaultix-stale-XXXXXX").string();
        ASSERT_NE(::mkdtemp(Template.data()), nullptr);
        Dir = Template;
    }
    void TearDown() override {
        for (pid_t Child : Children) {
            ::kill(Child, SIGKILL);
            ::waitpid(Child, nullptr, 0);
        }
        fs::remove_all(Dir);
    }

    std::set<std::string> Entries() const {
        std::set<std::string> Names;
        for (const auto& Entry : fs::directory_iterator(Dir))
            Names.insert(Entry.path().filename().string());
        return Names;
    }

    void Touch(const std::string& Name) { std::ofstream(Dir / Name) << "old"; }

    // A child process that starts new content for Name and keeps writing it until killed.
    // Returns the name of its temporary.
    std::string StartWriter(const std::string& Name, pid_t& Child) {
        int Pipe[2];
        EXPECT_EQ(::pipe(Pipe), 0);
        Child = ::fork();
        if (Child == 0) {
            ::close(Pipe[0]);
            TDataFile File;
            File.CreateFor(Dir / Name);
            File.Write("partial", 7);
            const std::string Temporary = File.TemporaryName().filename().string() + "\n";
            if (::write(Pipe[1], Temporary.data(), Temporary.size()) < 0) ::_exit(1);
            for (;;)
                ::pause();
        }
        Children.insert(Child);
        ::close(Pipe[1]);
        std::string Temporary;
        char C;
        while (::read(Pipe[0], &C, 1) == 1 && C != '\n')
            Temporary.push_back(C);
        ::close(Pipe[0]);
        return Temporary;
    }

    // Kills a writer the way a crash does: no destructor, no clean-up of its own.
    std::string CrashedWriter(const std::string& Name) {
        pid_t Child;
        const std::string Temporary = StartWriter(Name, Child);
        ::kill(Child, SIGKILL);
        ::waitpid(Child, nullptr, 0);
        Children.erase(Child);
        return Temporary;
    }

    fs::path Dir;
    std::set<pid_t> Children;
};

TEST_F(StaleTemporaries, TheEndOfASaveRemovesOnlyAbandonedOnesOfItsName) {
    const std::set<std::string> Others = {
        "club.m22",
        "club.m22.partial-1234567",      // one digit short
        "club.m22.partial-123456789",    // one digit over
        "club.m22.partial-ABCDEF12",     // not the generated digits
        "club.m22.partial-12345678.bak", // something the user keeps
        "club.m22.dsc.partial-12345678", // the temporary of another name
        "other.m22.partial-12345678",
    };
    for (const std::string& Name : Others)
        Touch(Name);
    Touch("club.m22.partial-0badf00d");
    const std::string Crashed = CrashedWriter("club.m22");
    pid_t Live;
    const std::string OtherProcess = StartWriter("club.m22", Live);
    TDataFile SameProcess;
    SameProcess.CreateFor(Dir / "club.m22");
    const std::string SameProcessTemporary = SameProcess.TemporaryName().filename().string();
    ASSERT_TRUE(Entries().contains(Crashed));

    // Completed: the new content is in place and the two abandoned temporaries are gone.
    TDataFile Save;
    Save.CreateFor(Dir / "club.m22");
    Save.Write("new", 3);
    Save.Commit();
    std::set<std::string> Expected = Others;
    Expected.insert({OtherProcess, SameProcessTemporary});
    EXPECT_EQ(Entries(), Expected);
    std::string Content;
    std::ifstream(Dir / "club.m22") >> Content;
    EXPECT_EQ(Content, "new");

    // Cancelled: the same, and a writer that went on meanwhile still finishes its save.
    const std::string CrashedAgain = CrashedWriter("club.m22");
    ASSERT_TRUE(Entries().contains(CrashedAgain));
    Save.CreateFor(Dir / "club.m22");
    Save.Write("lost", 4);
    Save.Close();
    EXPECT_EQ(Entries(), Expected);
    SameProcess.Write("kept", 4);
    SameProcess.Commit();
    std::ifstream(Dir / "club.m22") >> Content;
    EXPECT_EQ(Content, "kept");
    Expected.erase(SameProcessTemporary);
    EXPECT_EQ(Entries(), Expected) << "the other process still writes " << OtherProcess;
}

} // namespace
} // namespace vaultix::transfer::test
