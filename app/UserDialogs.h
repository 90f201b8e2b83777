#pragma once
// Everything through which the window asks the user something or hands something to the
// desktop: message boxes, the save and open dialogs, and opening an address. Each goes through
// a replaceable function, so that tests answer in place of the user and nothing reaches a
// browser; the real ones use Qt's boxes, Qt's file dialogs and QDesktopServices.
//
// Texts are UTF-8; "\r" and "\r\n" in a message break the line.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>

class QObject;
class QWidget;

namespace vaultix::app {

enum TMessageKind {
    mkInformation, // information icon, OK
    mkError,       // error icon, OK
    mkQuestion,    // information icon, Yes and No
};

// Shows a modal box; true for Yes (questions) and always true for the other kinds.
using TMessageBoxFunction =
    std::function<bool(QWidget* Parent, TMessageKind Kind, const std::string& Text)>;

// What a file dialog starts from.
struct TFileDialogRequest {
    QString Directory;  // starting folder
    QString FileName;   // proposed name; empty: none
    QString DefaultExt; // given to a name typed without extension
    QString NameFilter; // Qt's form: "Transmitter Settings (*.a22)"
};

// Shows a save or open dialog; the chosen file's path, or nothing when the user cancels.
using TFileDialogFunction =
    std::function<std::optional<QString>(QWidget* Parent, const TFileDialogRequest& Request)>;

// Shows an open dialog that takes several files; the chosen paths, empty when the user cancels.
using TFileNamesDialogFunction =
    std::function<QStringList(QWidget* Parent, const TFileDialogRequest& Request)>;

// Hands an address (web page, mail, local file) to the desktop; true when the desktop took it.
using TUrlOpenFunction = std::function<bool(const QString& Url)>;

// Replace the real functions; an empty function puts the real one back.
void SetMessageBoxFunction(TMessageBoxFunction Function);
void SetSaveFileNameFunction(TFileDialogFunction Function);
void SetOpenFileNameFunction(TFileDialogFunction Function);
void SetOpenFileNamesFunction(TFileNamesDialogFunction Function);
void SetUrlOpenFunction(TUrlOpenFunction Function);

bool ShowMessage(QWidget* Parent, TMessageKind Kind, const std::string& Text);
std::optional<QString> GetSaveFileName(QWidget* Parent, const TFileDialogRequest& Request);
std::optional<QString> GetOpenFileName(QWidget* Parent, const TFileDialogRequest& Request);
QStringList GetOpenFileNames(QWidget* Parent, const TFileDialogRequest& Request);
bool OpenUrl(const QString& Url);

// Whether the desktop names a program for web pages: where its opener exists but has none to
// call, the opener starts, fails and tells nobody. The desktop's lookup may take seconds, so
// the answer comes later, from the event loop, as Then(Shows) (at once when there is nothing
// to look up); it stays "yes" when the lookup does not answer within the limit.
inline constexpr int DesktopLookupLimitMs = 2000;
void AskDesktopShowsWebPages(QObject* Context, std::function<void(bool)> Then);

// A message as a box shows it: "\r\n" and "\r" become line breaks.
QString MessageText(const std::string& Text);

// A filter of the form "Description|pattern|Description|pattern" in Qt's form, one
// "Description (pattern)" per pair joined by ";;"; a description that already names its
// pattern in brackets is kept as it is.
QString QtNameFilter(const std::string& Filter);

} // namespace vaultix::app
