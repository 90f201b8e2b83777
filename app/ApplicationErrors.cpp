#include "app/ApplicationErrors.h"

#include "app/UserDialogs.h"
#include "platform/QtNotifyServices.h"
#include "serial/ThreadExceptionHook.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>

namespace vaultix::app {

std::string FailureText(std::exception_ptr Failure) {
    try {
        std::rethrow_exception(Failure);
    } catch (const std::exception& Error) {
        return Error.what();
    } catch (...) {
        return "Unknown error.";
    }
}

void HandleApplicationError(std::exception_ptr Failure) {
    if (!Failure) return;
    QCoreApplication* App = QCoreApplication::instance();
    if (App == nullptr) return;
    std::string Text = FailureText(Failure);
    if (QThread::currentThread() != App->thread()) {
        auto Show = [Text = std::move(Text)] {
            platform::AcceptQtHandOffs();
            ShowMessage(QApplication::activeWindow(), mkError, Text);
        };
        platform::MarkQtHandOff();
        QMetaObject::invokeMethod(App, std::move(Show), Qt::QueuedConnection);
        return;
    }
    ShowMessage(QApplication::activeWindow(), mkError, Text);
}

void InstallApplicationErrorHandler() {
    serial::SetThreadExceptionHandler(HandleApplicationError);
}

} // namespace vaultix::app
