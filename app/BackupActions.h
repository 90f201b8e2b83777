#pragma once
// Looking into backups from the window: a backup is opened with the button on the Buttons page,
// by dropping its file on the window or by naming it on the program's command line, and shows
// in a backup view. Behind the view's buttons: compare with another backup, extract a model,
// join backups. The work itself is BackupBrowse's, the same the command line does; files are
// written through the same commit path as a save, so a failed write leaves what was there.

#include <QString>

#include <string>

namespace vaultix::transfer {
class EBackupError;
}

namespace vaultix::app {

class TScreen;

// Wires the Open button and makes the window take dropped files.
void InstallBackupActions(TScreen& Screen);

// The open dialog for a backup of any type, then OpenBackupFile.
void ChooseBackupToOpen(TScreen& Screen);

// Opens Name in a backup view beside Screen, or says in an error box why it cannot; nothing is
// written either way.
void OpenBackupFile(TScreen& Screen, const QString& Name);

// What the window says when a backup cannot be read, understood or written.
std::string BackupFailureText(const transfer::EBackupError& Error);

} // namespace vaultix::app
