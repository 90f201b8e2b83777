#include "app/GuideWindow.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace vaultix::app {

void ShowGuideWindow(QWidget* Parent, const QString& File) {
    static QPointer<QDialog> Window;
    if (Window == nullptr) {
        Window = new QDialog(Parent);
        Window->setObjectName(QStringLiteral("GuideWindow"));
        Window->setAttribute(Qt::WA_DeleteOnClose);
        Window->setWindowTitle(QString::fromLatin1(GuideWindowTitle));
        auto* Layout = new QVBoxLayout(Window);
        auto* Browser = new QTextBrowser(Window);
        Browser->setObjectName(QStringLiteral("GuideText"));
        // Links to the web go to the desktop; the guide's own anchors stay here.
        Browser->setOpenExternalLinks(true);
        Browser->setSource(QUrl::fromLocalFile(File));
        Layout->addWidget(Browser);
        auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Close, Window);
        QObject::connect(Buttons, &QDialogButtonBox::rejected, Window, &QDialog::close);
        Layout->addWidget(Buttons);
        Window->resize(680, 560);
    }
    Window->show();
    Window->raise();
    Window->activateWindow();
}

} // namespace vaultix::app
