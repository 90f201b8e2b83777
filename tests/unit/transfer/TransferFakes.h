#pragma once
// A scripted serial port and a window without widgets for driving the transfer engine step by
// step, with a fake clock instead of real time.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "serial/OxException.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferPort.h"
#include "transfer/TransferWindow.h"
#include "transfer/TxTypes.h"

namespace vaultix::transfer::test {

using TBytes = std::vector<std::uint8_t>;

struct TFakeClock {
    std::uint64_t Now = 0; // milliseconds
};

// Bytes "received" wait until the engine takes them; bytes written stay queued (OutputCount)
// until the test drains them, unless AutoDrain is set.
class TScriptedPort : public TTransferPort {
public:
    explicit TScriptedPort(const TFakeClock& Clock) : FClock(Clock) {}

    void Receive(const TBytes& Bytes) { Input.insert(Input.end(), Bytes.begin(), Bytes.end()); }
    void Drain() { Pending = 0; }

    std::uint16_t InputCount() override {
        return static_cast<std::uint16_t>(std::min<std::size_t>(Input.size(), 65535));
    }
    std::uint16_t OutputCount() override { return AutoDrain ? 0 : Pending; }
    void ReadBlock(void* Buffer, std::uint16_t Count) override {
        ++ReadCalls;
        if (FailReads) throw serial::EOxException::CreateText("Device vanished");
        if (Count > Input.size()) throw serial::EOxException::CreateText("Not enough input");
        auto* Into = static_cast<std::uint8_t*>(Buffer);
        std::copy_n(Input.begin(), Count, Into);
        Input.erase(Input.begin(), Input.begin() + Count);
    }
    void WriteByte(std::uint8_t Value) override { Put(Value); }
    void WriteText(const std::string& Text) override {
        ++WriteTextCalls;
        for (char C : Text)
            Put(static_cast<std::uint8_t>(C));
    }
    void ClearInput() override { Input.clear(); }
    void ClearOutput() override { Pending = 0; }

    std::deque<std::uint8_t> Input;
    TBytes Sent;
    std::vector<std::uint64_t> SentAt; // fake time of each byte in Sent
    std::uint16_t Pending = 0;
    bool AutoDrain = false;
    bool FailReads = false;
    int ReadCalls = 0;
    int WriteTextCalls = 0;

private:
    void Put(std::uint8_t Value) {
        Sent.push_back(Value);
        SentAt.push_back(FClock.Now);
        ++Pending;
    }

    const TFakeClock& FClock;
};

// Records what the engine shows. Its message pump runs the queued user actions first, then
// lets the fake clock jump to the timer and fires it.
class TFakeWindow : public TTransferWindow {
public:
    explicit TFakeWindow(TFakeClock& Clock) : FClock(Clock) {}

    void Attach(TTransferEngine& Engine) { FEngine = &Engine; }

    void SetProgressLabel(const std::string& Text) override { Labels.push_back(Text); }
    void SetProgressBar(int Position) override { Bars.push_back(Position); }
    void ShowPage(int P) override { Pages.push_back(P); }
    void ShowInformation(const std::string& Text) override { Messages.push_back(Text); }
    void InstallIdleHandler(TIdleHandler Handler) override {
        Idle = Handler;
        ++IdleInstalls;
    }
    void ShowAnhalten() override { AnhaltenVisible = true; }
    int TxBoxIndex() override { return TxBox; }
    void StartTimer(std::uint16_t Milliseconds) override {
        EXPECT_FALSE(TimerEnabled) << "timer started twice";
        TimerEnabled = true;
        TimerDue = FClock.Now + Milliseconds;
        ++TimerStarts;
    }
    void StopTimer() override { TimerEnabled = false; }
    bool ProcessMessages() override {
        if (!DuringPause.empty()) {
            auto Action = std::move(DuringPause.front());
            DuringPause.pop_front();
            Action();
            return true;
        }
        if (!TimerEnabled) {
            ADD_FAILURE() << "pause waits for a timer that is not running";
            return false;
        }
        FClock.Now = std::max(FClock.Now, TimerDue);
        FEngine->TimerTimer();
        return true;
    }

    const std::string& Label() const {
        static const std::string None;
        return Labels.empty() ? None : Labels.back();
    }
    int Bar() const { return Bars.empty() ? -1 : Bars.back(); }
    int Page() const { return Pages.empty() ? -1 : Pages.back(); }

    std::vector<std::string> Labels;
    std::vector<int> Bars;
    std::vector<int> Pages;
    std::vector<std::string> Messages;
    TIdleHandler Idle = ihMonitorIdle;
    int IdleInstalls = 0;
    bool AnhaltenVisible = false;
    int TxBox = 2;
    bool TimerEnabled = false;
    std::uint64_t TimerDue = 0;
    int TimerStarts = 0;
    // User actions carried out by the message pump while a pause waits.
    std::deque<std::function<void()>> DuringPause;

private:
    TFakeClock& FClock;
    TTransferEngine* FEngine = nullptr;
};

// A fresh directory under the system's temporary directory, removed with everything in it.
class TTempDir {
public:
    TTempDir() {
        std::random_device Random;
        Path = std::filesystem::temp_directory_path() /
               ("vaultix-transfer-test-" + std::to_string(Random()) + std::to_string(Random()));
        std::filesystem::create_directories(Path);
    }
    ~TTempDir() {
        std::error_code Ignored;
        std::filesystem::permissions(Path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, Ignored);
        std::filesystem::remove_all(Path, Ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    std::filesystem::path operator/(const std::string& Name) const { return Path / Name; }
    // Names of everything in the directory, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> Names;
        for (const auto& Entry : std::filesystem::directory_iterator(Path))
            Names.push_back(Entry.path().filename().string());
        std::sort(Names.begin(), Names.end());
        return Names;
    }

    std::filesystem::path Path;
};

inline TBytes ReadAll(const std::filesystem::path& Name) {
    std::ifstream In(Name, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::filesystem::path& Name, const TBytes& Bytes) {
    std::ofstream Out(Name, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
}

inline void WriteAll(const std::filesystem::path& Name, const std::string& Bytes) {
    WriteAll(Name, TBytes(Bytes.begin(), Bytes.end()));
}

// A model memory of the type in Row: a byte pattern from Seed, the name area holding Name
// padded with blanks, and the number byte (where the type has one).
inline TBytes ModelMemory(int Row, const std::string& Name, std::uint8_t Number,
                          std::uint8_t Seed = 1) {
    const TTxInfo& Type = TxTypes[Row];
    TBytes Memory(Type.ModelSize);
    for (std::size_t i = 0; i < Memory.size(); ++i)
        Memory[i] = static_cast<std::uint8_t>((i * 7 + Seed) & 0x7F);
    for (std::size_t i = 0; i < Type.NameLength; ++i)
        Memory[Type.NameOffset + i] = i < Name.size() ? static_cast<std::uint8_t>(Name[i]) : ' ';
    if (Type.NumberOffset != NoModelNumber) Memory[Type.NumberOffset] = Number;
    return Memory;
}

inline TBytes Concat(std::initializer_list<TBytes> Parts) {
    TBytes All;
    for (const TBytes& Part : Parts)
        All.insert(All.end(), Part.begin(), Part.end());
    return All;
}

// The engine wired to the fakes.
struct TEngineRig {
    TEngineRig() : Port(Clock), Window(Clock), Engine(Port, Window) { Window.Attach(Engine); }

    // Runs idle steps like the message loop does while the transfer runs; at most Limit.
    int RunTransfer(int Limit = 1000000) {
        int Steps = 0;
        bool Done = true;
        while (Engine.Running() && Window.Idle == ihTransferIdle && Steps < Limit) {
            Engine.TransferIdle(Done);
            EXPECT_FALSE(Done);
            ++Steps;
        }
        return Steps;
    }
    void Step() {
        bool Done = true;
        Engine.TransferIdle(Done);
        EXPECT_FALSE(Done);
    }

    TFakeClock Clock;
    TScriptedPort Port;
    TFakeWindow Window;
    TTransferEngine Engine;
    TTempDir Dir;
};

} // namespace vaultix::transfer::test
