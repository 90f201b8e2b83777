// vaultix-cli save of one MC-22 model, the program run as its own process the way a script runs
// it, with the simulated transmitter pacing its bytes at 4800 baud on a pseudo-terminal. The
// figures of merit:
//
//   wall / line     from the transmitter's first byte to the program's exit, over the line time
//                   of the model (1024 bytes x 12 bits / 4800 baud); at most 1.01
//   CPU             the process's user and system time for the save, beside the same program
//                   started and ended without a port (a list of the saved file) as baseline
//
//   bench_CliSave [runs, default 3]
//
// The backup goes to the temporary folder ($TMPDIR, else /tmp). Its replace in one step costs
// four fsyncs at the end (the data file, its folder, the description, its folder), which a
// busy disk can make longer than all the rest: TMPDIR=/dev/shm leaves the disk out and shows the
// program's own share. The target holds for the median run.

#include "simulator/TxSimulator.h"
#include "transfer/TxTypes.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace vaultix;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int Mc22Row = 2;
constexpr double TargetRatio = 1.01;

struct TRun {
    bool Ok = false;
    double WallSeconds = 0;
    double CpuSeconds = 0;
    double SimSeconds = 0; // the simulator's own first-to-last-byte figure
    std::string Note;
};

double CpuOf(const rusage& Usage) {
    const auto Seconds = [](const timeval& T) { return T.tv_sec + T.tv_usec * 1e-6; };
    return Seconds(Usage.ru_utime) + Seconds(Usage.ru_stime);
}

// A child process with its standard error on a pipe.
class TChild {
public:
    explicit TChild(const std::vector<std::string>& Args) {
        int Err[2];
        if (::pipe(Err) != 0) return;
        posix_spawn_file_actions_t Actions;
        posix_spawn_file_actions_init(&Actions);
        posix_spawn_file_actions_adddup2(&Actions, Err[1], STDERR_FILENO);
        posix_spawn_file_actions_addopen(&Actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&Actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addclose(&Actions, Err[0]);
        std::vector<char*> Argv;
        for (const std::string& Arg : Args)
            Argv.push_back(const_cast<char*>(Arg.c_str()));
        Argv.push_back(nullptr);
        if (::posix_spawn(&Pid, Argv[0], &Actions, nullptr, Argv.data(), environ) != 0) Pid = -1;
        posix_spawn_file_actions_destroy(&Actions);
        ::close(Err[1]);
        ErrFd = Err[0];
    }
    ~TChild() {
        if (Pid > 0) {
            ::kill(Pid, SIGKILL);
            ::waitpid(Pid, nullptr, 0);
        }
        if (ErrFd >= 0) ::close(ErrFd);
    }

    // Reads standard error until it holds Text; false when it ends first.
    bool WaitFor(const std::string& Text) {
        char Buffer[512];
        while (Err.find(Text) == std::string::npos) {
            const ssize_t Got = ::read(ErrFd, Buffer, sizeof Buffer);
            if (Got <= 0) return false;
            Err.append(Buffer, static_cast<std::size_t>(Got));
        }
        return true;
    }

    // The exit status and the child's own CPU use.
    int Wait(rusage& Usage) {
        int Status = 0;
        if (Pid <= 0 || ::wait4(Pid, &Status, 0, &Usage) != Pid) return -1;
        Pid = -1;
        return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    }

    std::string Err;

private:
    pid_t Pid = -1;
    int ErrFd = -1;
};

std::vector<std::uint8_t> ReadFile(const fs::path& Path) {
    std::ifstream In(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

TRun SaveOnce(const std::string& Program, const fs::path& File, std::uint32_t Seed) {
    simulator::TSimOptions Options;
    Options.TypeRow = Mc22Row;
    Options.Mode = simulator::TSimMode::smSendModel;
    Options.Paced = true;
    Options.Seed = Seed;
    Options.Linger = 0ms;
    simulator::TTxSimulator Sim(Options);

    TRun Run;
    TChild Cli({Program, "save", "--type", "mc22", "--port", Sim.SlavePath(), File.string()});
    if (!Cli.WaitFor("Now let your transmitter send data")) {
        Run.Note = "no prompt: " + Cli.Err;
        return Run;
    }
    const auto Start = Clock::now();
    Sim.Start();
    rusage Usage{};
    const int Status = Cli.Wait(Usage);
    Run.WallSeconds = std::chrono::duration<double>(Clock::now() - Start).count();
    Run.CpuSeconds = CpuOf(Usage);
    auto Result = Sim.Wait(5s);
    if (!Result) Result = Sim.Stop();
    Run.SimSeconds = std::chrono::duration<double>(Result->Duration).count();
    const std::vector<std::uint8_t> Saved = ReadFile(File);
    Run.Ok = Status == 0 && Result->Ok() &&
             Saved == std::vector<std::uint8_t>(Sim.Image().begin(), Sim.Image().end());
    if (!Run.Ok) Run.Note = "status " + std::to_string(Status) + ": " + Cli.Err;
    return Run;
}

// The same program started and ended without a port: what any run of it costs.
double BaselineCpu(const std::string& Program, const fs::path& File) {
    TChild Cli({Program, "list", "--type", "mc22", File.string()});
    rusage Usage{};
    Cli.Wait(Usage);
    return CpuOf(Usage);
}

double Median(std::vector<double> Values) {
    std::sort(Values.begin(), Values.end());
    return Values.empty() ? 0 : Values[Values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int Runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string Program = VAULTIX_CLI;
    const fs::path Dir =
        fs::temp_directory_path() / ("vaultix-bench-cli-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
    const fs::path File = Dir / "model.m22";
    const transfer::TTxInfo& Row = transfer::TxTypes[Mc22Row];
    const double Line = Row.ModelSize * 12.0 / Row.BaudRate;

    std::printf("%-4s %9s %9s %9s %7s %9s %9s  %s\n", "run", "wall s", "line s", "sim s", "ratio",
                "CPU ms", "base ms", "result");
    bool AllOk = true;
    std::vector<double> Ratios, Cpus, Bases;
    for (int I = 0; I < Runs; ++I) {
        const TRun Run = SaveOnce(Program, File, static_cast<std::uint32_t>(7 + I));
        const double Base = BaselineCpu(Program, File);
        const double Ratio = Run.WallSeconds / Line;
        const bool Pass = Run.Ok && Ratio <= TargetRatio;
        AllOk &= Run.Ok;
        Ratios.push_back(Ratio);
        Cpus.push_back(Run.CpuSeconds);
        Bases.push_back(Base);
        std::printf("%-4d %9.3f %9.3f %9.3f %7.4f %9.1f %9.1f  %s%s%s\n", I + 1, Run.WallSeconds,
                    Line, Run.SimSeconds, Ratio, Run.CpuSeconds * 1e3, Base * 1e3,
                    Pass ? "ok" : (Run.Ok ? "SLOW" : "FAILED"), Run.Note.empty() ? "" : "  ",
                    Run.Note.c_str());
    }
    const double Cpu = Median(Cpus), Base = Median(Bases);
    const double Ratio = Median(Ratios);
    std::printf("backups in %s\n", Dir.c_str());
    std::printf("median: wall / line %.4f (target <= %.2f); CPU %.1f ms, of which %.1f ms beyond "
                "a start and end of the program: %.2f %% of one core over the line time\n",
                Ratio, TargetRatio, Cpu * 1e3, (Cpu - Base) * 1e3, 100.0 * (Cpu - Base) / Line);
    fs::remove_all(Dir);
    return AllOk && Ratio <= TargetRatio ? 0 : 1;
}
