// Test entry for the main window: one application object for every test, the offscreen
// platform when no other is asked for, the serial layer's services on the Qt event loop, a
// failure for every Qt warning that is not known noise, and a watchdog that ends a test run
// that hangs.

#include "platform/QtNotifyServices.h"
#include "tests/support/HeadlessQt.h"

#include <QApplication>
#include <QString>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// No single test may take longer; the suite as a whole stays far below.
constexpr auto TestLimit = 60s;

// Known noise of the offscreen platform.
bool Allowed(const QString& Message) {
    return Message.contains(QLatin1String("This plugin does not support propagateSizeHints()"));
}

void FailOnUnexpectedMessages(QtMsgType Type, const QMessageLogContext&, const QString& Message) {
    if (Type == QtDebugMsg || Type == QtInfoMsg || Allowed(Message)) return;
    ADD_FAILURE() << "Unexpected Qt message: " << Message.toStdString();
}

// Aborts the run when one test outlasts TestLimit, so that a hang shows as a failure.
class TWatchdog final : public ::testing::EmptyTestEventListener {
public:
    TWatchdog() : Thread([this] { Watch(); }) {}
    ~TWatchdog() override {
        {
            std::lock_guard Guard(Lock);
            Quit = true;
        }
        Wake.notify_all();
        Thread.join();
    }
    void OnTestStart(const ::testing::TestInfo& Info) override {
        std::lock_guard Guard(Lock);
        Name = std::string(Info.test_suite_name()) + "." + Info.name();
        Started = std::chrono::steady_clock::now();
        Running = true;
        Wake.notify_all();
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        std::lock_guard Guard(Lock);
        Running = false;
    }

private:
    void Watch() {
        std::unique_lock Guard(Lock);
        while (!Quit) {
            Wake.wait_for(Guard, 1s);
            if (Running && std::chrono::steady_clock::now() - Started > TestLimit) {
                std::fprintf(stderr, "%s did not end within its time limit\n", Name.c_str());
                std::fflush(stderr);
                std::abort();
            }
        }
    }

    std::mutex Lock;
    std::condition_variable Wake;
    bool Quit = false;
    bool Running = false;
    std::string Name;
    std::chrono::steady_clock::time_point Started;
    std::thread Thread;
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::string runtime = vaultix::testsupport::PrepareHeadlessQt();
    if (runtime.empty()) return 2;

    qInstallMessageHandler(FailOnUnexpectedMessages);
    ::testing::UnitTest::GetInstance()->listeners().Append(new TWatchdog);
    int result = 0;
    {
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        QApplication::setApplicationDisplayName(QStringLiteral("Vaultix"));
        vaultix::platform::TQtNotifyServices services;
        services.Install();
        result = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);
    return result;
}
