// Test entry for the Qt glue: one application object for every test, the offscreen platform
// when no other is asked for, and a failure for every Qt warning that is not known noise.

#include "tests/support/HeadlessQt.h"
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
    const std::string runtime = vaultix::testsupport::PrepareHeadlessQt();
    if (runtime.empty()) return 2;

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
