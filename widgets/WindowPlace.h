// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Each window opens where its user left it: size, position and maximised
// state, kept per user (never in the shared data folder). The first time, or
// when the screen it was on is gone, it opens centred on the screen.

#include <QString>

class QWidget;

namespace WindowPlace {
// The file the places are kept in: the user's configuration folder, unless a
// test names another.
QString file();
void setFile(const QString &path);

// From its first showing on, window is placed as last left under key, and
// remembered whenever it is hidden or closed.
void keep(QWidget *window, const QString &key);
}
