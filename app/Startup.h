// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's real start: what main() runs.

class QApplication;

namespace Velbor {
// Loads Qt's Italian translation, so standard buttons read "Sì" and "No".
void installItalian(QApplication &app);
// Runs the program to its end; non-zero when the archive could not be opened.
int run(QApplication &app);
}
