// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform's file-open dialog. Tests script the chosen path (an empty
// one is a cancel) and read back the initial names the program set.

#include <QStringList>

class QWidget;

namespace FileDialog {
// The chosen full path, or an empty text when the user cancelled. An initial
// name holding a wildcard ("*.*", "*.ICO") also filters the listed files.
QString getOpenFileName(QWidget *parent, const QString &initialName);

void setScripted(bool scripted);
void setNextFileName(const QString &path);
QStringList initialNames();
}

namespace Desktop {
// Opens a file with the program the desktop associates with its type.
bool openFile(const QString &path);

void setScripted(bool scripted);
// What the next scripted opens answer (true: a program took the file).
void setNextResult(bool opened);
QStringList opened();
}
