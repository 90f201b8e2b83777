#include "app/Program.h"
#include "app/ComSelectForm.h"

#include "app/ApplicationErrors.h"
#include "app/BackupActions.h"
#include "app/DemoMode.h"
#include "app/Screen.h"
#include "app/SessionEnd.h"
#include "app/StartOptions.h"
#include "app/UserDialogs.h"
#include "platform/IdleDriver.h"
#include "platform/QtNotifyServices.h"
#include "serial/ComPort.h"

#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

namespace vaultix::app {

namespace {

constexpr char ApplicationTitle[] = "Vaultix";
constexpr char InitialHelpFile[] = "user-guide.html";

// Exceptions must not cross Qt's event delivery; whatever an event handler lets through is
// shown by the general error handler, and the program goes on.
class TVaultixApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* Receiver, QEvent* Event) override {
        try {
            return QApplication::notify(Receiver, Event);
        } catch (...) {
            HandleApplicationError(std::current_exception());
            return false;
        }
    }
};

} // namespace

QString& ApplicationHelpFile() {
    static QString HelpFile;
    return HelpFile;
}

int RunProgram(int argc, char** argv) {
    // Help and version need no display.
    QStringList Arguments;
    for (int i = 1; i < argc; ++i)
        Arguments << QString::fromLocal8Bit(argv[i]);
    if (const TStartRequest Request = StartRequestOf(Arguments); Request != srRun) {
        const std::string Text = Request == srHelp ? HelpText() : VersionText();
        std::fputs(Text.c_str(), stdout);
        return 0;
    }

    TVaultixApplication Application(argc, argv);
    // Only the name: a display name would be appended to every window title.
    QApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
    // Lets the desktop match the window to the menu entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.example.vaultix"));
    QIcon Icon(QStringLiteral(":/icons/vaultix-48.png"));
    Icon.addFile(QStringLiteral(":/icons/vaultix-256.png"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vaultix"), Icon));
    ApplicationHelpFile() = QString::fromLatin1(InitialHelpFile);

    const TStartOptions Start = ParseStartOptions(QApplication::arguments().mid(1));
    if (!Start.Error.empty()) {
        std::fprintf(stderr, "vaultix: %s\n", Start.Error.c_str());
        return 2;
    }

    platform::TQtNotifyServices Services;
    Services.Install();
    platform::TIdleDriver Idle;
    InstallApplicationErrorHandler();
    serial::SetPortPrompt(PromptWithComSelectForm);

    TScreenOptions Options;
    Options.Debug = Start.Debug;
    std::unique_ptr<TDemo> Demo;
    if (Start.DemoTxRow) {
        try {
            Demo = std::make_unique<TDemo>(*Start.DemoTxRow);
        } catch (const std::exception& Error) {
            std::fprintf(stderr, "vaultix: the demonstration cannot start: %s\n", Error.what());
            return 1;
        }
        Options.TxIndex = Demo->TxRow();
        Options.PortIndex = 0;
        Options.PortOverrides[1] = Demo->DevicePath();
        Options.WriteSettings = false;
        Options.OnTransferStarting = [&Demo](TScreen& Screen) { Demo->BeforeTransfer(Screen); };
    }

    int Result = 0;
    {
        auto Screen = std::make_unique<TScreen>(Idle, std::move(Options));
        // A signal ends the program as Close does; the loss of the display ends the session
        // from the exit that follows it.
        const TSessionEnd SessionEnd(
            [&Screen] {
                if (Screen) Screen->ExitBtnClick(Screen.get());
            },
            [&Screen] {
                if (Screen) Screen->EndSession(false);
            });
        Screen->show();
        // Backups named on the command line open once the window is up, each in its own view,
        // one after the other: a refusal's box is answered before the next file is read.
        QTimer::singleShot(0, Screen.get(), [&Screen, Files = Start.Files] {
            for (const QString& File : Files)
                OpenBackupFile(*Screen, File);
        });
        Result = QApplication::exec();
        // Destroying the window writes the settings back and closes the port.
        Screen.reset();
    }
    Demo.reset();
    serial::SetPortPrompt({});
    return Result;
}

} // namespace vaultix::app
