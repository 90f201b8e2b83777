// Help, the three links of the title panel, the keys of the Description page, and closing.

#include "app/ApplicationErrors.h"
#include "app/GuideWindow.h"
#include "app/Program.h"
#include "app/Screen.h"
#include "app/UserDialogs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>
#include <QStackedWidget>
#include <QUrl>

namespace vaultix::app {

void TScreen::HelpBtnClick(QObject*) {
    const QString Guide = ApplicationHelpFile();
    if (!QFileInfo::exists(Guide)) {
        ShowMessage(this, mkError,
                    "The user guide is missing: " + Guide.toStdString() +
                        " was not found.\rInstall Vaultix again to get it back.");
        return;
    }
    // Shown by the program itself where the desktop cannot show it. Finding that out must not
    // hold up the window; a second click meanwhile asks nothing more.
    if (FAskingDesktop) return;
    FAskingDesktop = true;
    AskDesktopShowsWebPages(this, [this, Guide](bool Shows) {
        FAskingDesktop = false;
        if (!Shows || !OpenUrl(QUrl::fromLocalFile(Guide).toString())) ShowGuideWindow(this, Guide);
    });
}

void TScreen::Image1Click(QObject*) {
    OpenUrl(QString::fromLatin1(HomePageUrl));
}

void TScreen::Labelx2Click(QObject*) {
    OpenUrl(QString::fromLatin1(CharityUrl));
}

void TScreen::SignetClick(QObject*) {
    OpenUrl(QString::fromLatin1(AuthorMailUrl));
}

void TScreen::ExitBtnClick(QObject*) {
    FTerminating = true;
    if (FOptions.Terminate) {
        FOptions.Terminate();
    } else {
        QCoreApplication::quit();
    }
}

void TScreen::closeEvent(QCloseEvent* Event) {
    // Quitting asks every window to close first and gives up when one refuses, so the close is
    // always accepted. The window manager's close leaves the program the way Close does; the
    // window itself is destroyed, and the settings written, when the application's loop ends.
    Event->accept();
    if (!FTerminating) RunGuarded([this] { ExitBtnClick(this); });
}

void TScreen::keyPressEvent(QKeyEvent* Event) {
    // Keys that no control took: on the Description page Enter is OK (the memo keeps its own
    // Enter) and Esc is Cancel.
    if (NB1->currentIndex() == transfer::npDescription) {
        const int Key = Event->key();
        if (Key == Qt::Key_Escape) {
            CancelBtn->click();
            return;
        }
        if ((Key == Qt::Key_Return || Key == Qt::Key_Enter) &&
            (Event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            ConfirmBtn->click();
            return;
        }
    }
    QWidget::keyPressEvent(Event);
}

} // namespace vaultix::app
