// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's real start: what main() runs.

class QApplication;
class QString;

namespace Velbor {
// Loads Qt's Italian translation, so standard buttons read "Sì" and "No".
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
