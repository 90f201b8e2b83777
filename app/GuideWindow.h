#pragma once
// The user guide in a window of the program's own, for a desktop that has no program for web
// pages (a bare window manager, a machine without a browser). The guide is a local HTML page
// with pictures beside it, which a text browser shows well enough.

#include <QString>

class QWidget;

namespace vaultix::app {

inline constexpr char GuideWindowTitle[] = "Vaultix user guide";

// Shows File in the guide window, or brings the window forward when it already shows.
void ShowGuideWindow(QWidget* Parent, const QString& File);

} // namespace vaultix::app
