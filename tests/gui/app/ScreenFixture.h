#pragma once
// The main window under test: a folder of its own for the settings file and the backups, COM
// ports mapped onto pseudo-terminals only, and every question to the user answered by the
// test (message boxes, file dialogs, the port choice, links). Every wait has a deadline.

#include "app/Screen.h"
#include "app/UserDialogs.h"
#include "platform/ComPortMap.h"
#include "platform/IdleDriver.h"
#include "serial/ComPort.h"
#include "simulator/TxSimulator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QString>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vaultix::apptest {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

inline constexpr std::chrono::milliseconds Deadline = 15s;

struct TShownMessage {
    app::TMessageKind Kind;
    std::string Text;
};

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() /
              ("vaultix-app-" + std::to_string(::getpid()) + "-" + std::to_string(++Serial()));
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        platform::SetScanDirectory("");
        platform::ClearPortOverrides();
        app::SetMessageBoxFunction(
            [this](QWidget*, app::TMessageKind Kind, const std::string& Text) {
                Messages.push_back({Kind, Text});
                if (Answers.empty()) return true;
                const bool Answer = Answers.front();
                Answers.pop_front();
                return Answer;
            });
        const auto Files = [this](bool Saving) {
            return [this, Saving](QWidget*, const app::TFileDialogRequest& Request) {
                Requests.push_back({Saving, Request});
                std::optional<QString> Answer;
                if (!FileAnswers.empty()) {
                    Answer = FileAnswers.front();
                    FileAnswers.pop_front();
                }
                return Answer;
            };
        };
        app::SetSaveFileNameFunction(Files(true));
        app::SetOpenFileNameFunction(Files(false));
        app::SetUrlOpenFunction([this](const QString& Url) {
            Urls.push_back(Url.toStdString());
            return true;
        });
        serial::SetPortPrompt([this] { return PromptAnswer; });
        Idle = std::make_unique<platform::TIdleDriver>();
    }

    void TearDown() override {
        Screen.reset();
        Simulators.clear();
        Idle.reset();
        serial::SetPortPrompt({});
        app::SetMessageBoxFunction({});
        app::SetSaveFileNameFunction({});
        app::SetOpenFileNameFunction({});
        app::SetUrlOpenFunction({});
        platform::ClearPortOverrides();
        std::error_code Ignored;
        fs::remove_all(Dir, Ignored);
    }

    // The window on the test's folder; it runs FormCreate at once.
    app::TScreen& MakeScreen(app::TScreenOptions Options = {}) {
        Options.ProgramDir = QString::fromStdString(Dir.string() + "/");
        Options.Terminate = [this] { ++Terminations; };
        Options.OnTransferStarting =
            [this, Own = std::move(Options.OnTransferStarting)](app::TScreen& Window) {
                ++TransfersStarted;
                if (Own) Own(Window);
                if (OnTransferStarting) OnTransferStarting();
            };
        Screen = std::make_unique<app::TScreen>(*Idle, std::move(Options));
        return *Screen;
    }

    // Destroys the window, as closing the program does: the settings are written back.
    void CloseScreen() { Screen.reset(); }

    // A simulated transmitter mapped as COM Number; it starts when the next transfer starts.
    simulator::TTxSimulator& Simulate(simulator::TSimOptions Options, int Number = 1) {
        Options.Paced = false;
        if (Options.Linger == std::chrono::milliseconds(1000)) Options.Linger = 50ms;
        Simulators.push_back(std::make_unique<simulator::TTxSimulator>(std::move(Options)));
        simulator::TTxSimulator& Sim = *Simulators.back();
        platform::SetPortOverride(Number, Sim.SlavePath());
        OnTransferStarting = [&Sim, Started = std::make_shared<bool>(false)] {
            if (!*Started) Sim.Start();
            *Started = true;
        };
        return Sim;
    }

    void WriteSettings(const std::string& Text) { WriteFile(Dir / "Vaultix.ini", Text); }
    std::string Settings() const { return ReadFile(Dir / "Vaultix.ini"); }

    static void WriteFile(const fs::path& Name, const std::string& Bytes) {
        std::ofstream Out(Name, std::ios::binary);
        Out << Bytes;
    }
    static void WriteFile(const fs::path& Name, const std::vector<std::uint8_t>& Bytes) {
        std::ofstream Out(Name, std::ios::binary);
        Out.write(reinterpret_cast<const char*>(Bytes.data()),
                  static_cast<std::streamsize>(Bytes.size()));
    }
    static std::string ReadFile(const fs::path& Name) {
        std::ifstream In(Name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(In), {});
    }
    static std::vector<std::uint8_t> ReadBytes(const fs::path& Name) {
        const std::string Text = ReadFile(Name);
        return std::vector<std::uint8_t>(Text.begin(), Text.end());
    }

    // Runs the event loop until Done holds; false when the deadline passed first.
    static bool RunUntil(const std::function<bool()>& Done,
                         std::chrono::milliseconds Limit = Deadline) {
        QElapsedTimer Clock;
        Clock.start();
        QEventLoop Loop;
        QTimer Poll;
        QObject::connect(&Poll, &QTimer::timeout, &Loop, [&] {
            if (Done() || std::chrono::milliseconds(Clock.elapsed()) > Limit) Loop.quit();
        });
        Poll.start(5);
        if (!Done()) Loop.exec();
        return Done();
    }
    static void RunFor(std::chrono::milliseconds Duration) {
        QEventLoop Loop;
        QTimer::singleShot(Duration, &Loop, &QEventLoop::quit);
        Loop.exec();
    }

    // A left click as the mouse gives it.
    static void Click(QWidget* Widget) {
        const QPointF At(Widget->width() / 2.0, Widget->height() / 2.0);
        const QPointF Global = Widget->mapToGlobal(At);
        QMouseEvent Press(QEvent::MouseButtonPress, At, Global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent Release(QEvent::MouseButtonRelease, At, Global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(Widget, &Press);
        QApplication::sendEvent(Widget, &Release);
    }

    bool Shown(const std::string& Text) const {
        for (const TShownMessage& Message : Messages)
            if (Message.Text == Text) return true;
        return false;
    }
    std::string LastMessage() const {
        return Messages.empty() ? std::string() : Messages.back().Text;
    }

    // The path a dialog answers with.
    QString InDir(const std::string& Name) const {
        return QString::fromStdString((Dir / Name).string());
    }

    fs::path Dir;
    std::unique_ptr<platform::TIdleDriver> Idle;
    std::unique_ptr<app::TScreen> Screen;
    std::vector<std::unique_ptr<simulator::TTxSimulator>> Simulators;

    std::vector<TShownMessage> Messages;
    std::deque<bool> Answers; // for questions; true (Yes) when empty
    struct TRequest {
        bool Saving;
        app::TFileDialogRequest Request;
    };
    std::vector<TRequest> Requests;
    std::deque<std::optional<QString>> FileAnswers; // nothing: the user cancels
    std::vector<std::string> Urls;
    std::uint16_t PromptAnswer = 0;
    int Terminations = 0;
    int TransfersStarted = 0;
    std::function<void()> OnTransferStarting;

private:
    static int& Serial() {
        static int Value = 0;
        return Value;
    }
};

} // namespace vaultix::apptest
