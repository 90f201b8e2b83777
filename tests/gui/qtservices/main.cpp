// Test entry for the Qt glue: one application object for every test, the offscreen platform
// when no other is asked for, and a failure for every Qt warning that is not known noise.

#include <QApplication>
#include <QString>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Known noise of the offscreen platform.
bool Allowed(const QString& Message) {
    return Message.contains(QLatin1String("This plugin does not support propagateSizeHints()"));
}

void FailOnUnexpectedMessages(QtMsgType Type, const QMessageLogContext&, const QString& Message) {
    if (Type == QtDebugMsg || Type == QtInfoMsg || Allowed(Message)) return;
    ADD_FAILURE() << "Unexpected Qt message: " << Message.toStdString();
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform == nullptr || *platform == '\0') ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt insists on a private runtime directory; mkdtemp makes it with mode 0700.
    std::string runtime = (std::filesystem::temp_directory_path() / "vaultix-qt-XXXXXX").string();
    if (::mkdtemp(runtime.data()) == nullptr) return 2;
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

    qInstallMessageHandler(FailOnUnexpectedMessages);
    int result = 0;
    {
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        result = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);
    return result;
}
