// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A person's hands on a window: keys go where the focus is, clicks land on
// the box, list entries are chosen in the open list.

#include <QString>

class QComboBox;
class QWidget;

// Shows window and waits until it is active, so focus moves as on a desktop.
bool activate(QWidget *window);
// Clicks into a box (a list box's text part) and selects all it holds, as a
// person does before typing over it.
void clickAndSelectAll(QWidget *box);
// Types text where the focus is now.
void typeHere(const QString &text);
// Presses a key where the focus is now.
void pressHere(int key);
// Chooses entry text in combo's open list: a click on it, or Enter after the
// arrow keys reached it. False when the list holds no such entry.
enum class ChooseBy { Click, Enter };
bool chooseInList(QComboBox *combo, const QString &text, ChooseBy how);
