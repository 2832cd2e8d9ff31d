// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's real start: what main() runs.

class QApplication;
class QString;

namespace Velbor {
// Reads the command line before anything reaches the window system, so that
// --help and --version answer without a display. Qt's own options (-platform,
// -style, -session and the like) are let through for QApplication. Returns
// -1 when the program is to start; otherwise what it printed (the help, the
// version, or the option it does not know, on standard error) and the exit
// status: 0, or 2 for a command line it refuses.
int commandLine(int argc, char **argv);
// The interface is Italian, so is its locale: dates, day and month names read
// in Italian whatever the desktop's language.
void installItalianLocale();
// That locale, and Qt's Italian translation, so standard buttons read "Sì"
// and "No".
void installItalian(QApplication &app);
// How the program reaches the archive's server: the password window, and
// the check of each server against the one this user's workstation has
// verified, kept in knownServerFile (the user's own settings, never the
// shared folder); a different one is connected to only when the user says
// Yes to the question (No by default).
void installServerAccess(const QString &knownServerFile);
// The file run() keeps the verified server in.
QString knownServerFile();
// Runs the program to its end; non-zero when the archive could not be opened.
int run(QApplication &app);
}
