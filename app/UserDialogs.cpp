#include "app/UserDialogs.h"

#include "platform/ShownText.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <QUrl>

namespace vaultix::app {

namespace {

bool RealMessageBox(QWidget* Parent, TMessageKind Kind, const std::string& Text) {
    const QString Title = QGuiApplication::applicationDisplayName();
    switch (Kind) {
    case mkInformation:
        QMessageBox::information(Parent, Title, MessageText(Text));
        return true;
    case mkError:
        QMessageBox::critical(Parent, Title, MessageText(Text));
        return true;
    case mkQuestion: {
        QMessageBox Box(QMessageBox::Information, Title, MessageText(Text),
                        QMessageBox::Yes | QMessageBox::No, Parent);
        return Box.exec() == QMessageBox::Yes;
    }
    }
    return true;
}

QStringList RunFileDialog(QWidget* Parent, const TFileDialogRequest& Request,
                          QFileDialog::FileMode Mode) {
    QFileDialog Dialog(Parent);
    const bool Saving = Mode == QFileDialog::AnyFile;
    Dialog.setAcceptMode(Saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A save may name a new file (and is asked before replacing one); an open takes only
    // files that exist.
    Dialog.setFileMode(Mode);
    Dialog.setDirectory(Request.Directory);
    Dialog.setDefaultSuffix(Request.DefaultExt);
    Dialog.setNameFilter(Request.NameFilter);
    if (!Request.FileName.isEmpty()) Dialog.selectFile(Request.FileName);
    if (Dialog.exec() != QDialog::Accepted) return {};
    return Dialog.selectedFiles();
}

std::optional<QString> FirstOf(const QStringList& Files) {
    if (Files.isEmpty()) return std::nullopt;
    return Files.front();
}

std::optional<QString> RealSaveFileName(QWidget* Parent, const TFileDialogRequest& Request) {
    return FirstOf(RunFileDialog(Parent, Request, QFileDialog::AnyFile));
}

std::optional<QString> RealOpenFileName(QWidget* Parent, const TFileDialogRequest& Request) {
    return FirstOf(RunFileDialog(Parent, Request, QFileDialog::ExistingFile));
}

QStringList RealOpenFileNames(QWidget* Parent, const TFileDialogRequest& Request) {
    return RunFileDialog(Parent, Request, QFileDialog::ExistingFiles);
}

bool RealOpenUrl(const QString& Url) {
    return QDesktopServices::openUrl(QUrl(Url));
}

TMessageBoxFunction& MessageBoxFunction() {
    static TMessageBoxFunction Function = RealMessageBox;
    return Function;
}

TFileDialogFunction& SaveFileNameFunction() {
    static TFileDialogFunction Function = RealSaveFileName;
    return Function;
}

TFileDialogFunction& OpenFileNameFunction() {
    static TFileDialogFunction Function = RealOpenFileName;
    return Function;
}

TFileNamesDialogFunction& OpenFileNamesFunction() {
    static TFileNamesDialogFunction Function = RealOpenFileNames;
    return Function;
}

TUrlOpenFunction& UrlOpenFunction() {
    static TUrlOpenFunction Function = RealOpenUrl;
    return Function;
}

} // namespace

void SetMessageBoxFunction(TMessageBoxFunction Function) {
    MessageBoxFunction() = Function ? std::move(Function) : RealMessageBox;
}

void SetSaveFileNameFunction(TFileDialogFunction Function) {
    SaveFileNameFunction() = Function ? std::move(Function) : RealSaveFileName;
}

void SetOpenFileNameFunction(TFileDialogFunction Function) {
    OpenFileNameFunction() = Function ? std::move(Function) : RealOpenFileName;
}

void SetOpenFileNamesFunction(TFileNamesDialogFunction Function) {
    OpenFileNamesFunction() = Function ? std::move(Function) : RealOpenFileNames;
}

void SetUrlOpenFunction(TUrlOpenFunction Function) {
    UrlOpenFunction() = Function ? std::move(Function) : RealOpenUrl;
}

bool ShowMessage(QWidget* Parent, TMessageKind Kind, const std::string& Text) {
    // Copied, so that a box that replaces the function while it is open stays valid.
    const TMessageBoxFunction Function = MessageBoxFunction();
    return Function(Parent, Kind, Text);
}

std::optional<QString> GetSaveFileName(QWidget* Parent, const TFileDialogRequest& Request) {
    const TFileDialogFunction Function = SaveFileNameFunction();
    return Function(Parent, Request);
}

std::optional<QString> GetOpenFileName(QWidget* Parent, const TFileDialogRequest& Request) {
    const TFileDialogFunction Function = OpenFileNameFunction();
    return Function(Parent, Request);
}

QStringList GetOpenFileNames(QWidget* Parent, const TFileDialogRequest& Request) {
    const TFileNamesDialogFunction Function = OpenFileNamesFunction();
    return Function(Parent, Request);
}

void AskDesktopShowsWebPages(QObject* Context, std::function<void(bool)> Then) {
    const QString Query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty() || Query.isEmpty()) {
        Then(true);
        return;
    }
    auto* Mime = new QProcess(Context);
    auto* Limit = new QTimer(Mime);
    Limit->setSingleShot(true);
    // Each path answers once: the process's end, its failure to start, or the time limit.
    const auto Answer = [Mime, Then = std::move(Then)](bool Shows) {
        if (Mime->property("answered").toBool()) return;
        Mime->setProperty("answered", true);
        Mime->deleteLater();
        Then(Shows);
    };
    QObject::connect(Mime, &QProcess::finished, Mime, [Mime, Answer] {
        Answer(!Mime->readAllStandardOutput().trimmed().isEmpty());
    });
    QObject::connect(Mime, &QProcess::errorOccurred, Mime, [Answer] { Answer(true); });
    QObject::connect(Limit, &QTimer::timeout, Mime, [Mime, Answer] {
        Mime->kill();
        Answer(true);
    });
    Limit->start(DesktopLookupLimitMs);
    Mime->start(Query,
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
}

bool OpenUrl(const QString& Url) {
    const TUrlOpenFunction Function = UrlOpenFunction();
    return Function(Url);
}

QString MessageText(const std::string& Text) {
    QString Result = QString::fromStdString(Text);
    Result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    Result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // A file or device name inside the text may hold control characters of its own.
    return QString::fromStdString(platform::ShownMessage(Result.toStdString()));
}

QString QtNameFilter(const std::string& Filter) {
    const QStringList Parts = QString::fromStdString(Filter).split(QLatin1Char('|'));
    QStringList Filters;
    for (qsizetype I = 0; I < Parts.size(); I += 2) {
        const QString Description = Parts[I].trimmed();
        // Several patterns are separated by ";" in this form and by blanks in Qt's.
        const QString Pattern =
            I + 1 < Parts.size()
                ? Parts[I + 1].trimmed().replace(QLatin1Char(';'), QLatin1Char(' '))
                : QString();
        if (Pattern.isEmpty() ||
            Description.endsWith(QLatin1Char('(') + Pattern + QLatin1Char(')'))) {
            Filters << Description;
        } else {
            Filters << Description + QLatin1String(" (") + Pattern + QLatin1Char(')');
        }
    }
    return Filters.join(QLatin1String(";;"));
}

} // namespace vaultix::app
