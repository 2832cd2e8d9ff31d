// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers over a window's widgets.

#include "data/basMain.h"

#include <QString>

#include <functional>

class QComboBox;
class QObject;
class QLineEdit;
class QWidget;
class RecordView;

// Empties the text of every text box, label and combo box of window whose
// name starts with prefix (letter case ignored).
void SvuotaCampi(QWidget *window, const QString &prefix);

// Places a window in the middle of the primary screen.
void centerOnScreen(QWidget *window);


// Stores the record being added or edited when every field was set; otherwise,
// or when the archive refuses it, drops the edit and shows the engine's message.
bool storeOrReport(QWidget *parent, RecordView &view, bool fieldsSet);

// The same for an add with a check: a refusal by the check is no error to
// show but a conflict for the caller to handle (the edit is dropped too).
enum class Stored { Yes, Conflict, Failed };
Stored storeOrConflict(QWidget *parent, RecordView &view, bool fieldsSet);

// An editable list box whose list is only ever chosen from: typing completes
// nothing, and neither Enter nor leaving the box (Tab, a click elsewhere)
// picks an entry or changes what was typed; the wheel leaves it alone.
void choicesOnly(QComboBox *combo);

// Runs handler(index) for each choice made in the box's list: a click or
// Enter on an entry of the open list, or an arrow key on the closed box.
// Qt's own match of typed text against the list (when the box loses focus or
// on Enter) is no choice and never runs it.
void onChoice(QComboBox *combo, QObject *context, std::function<void(int)> handler);

// Tab and Shift+Tab leave a date box at once, as they leave every other box,
// instead of walking through its day, month and year.
void tabLeavesAtOnce(QWidget *dateBox);

// Puts text in a box showing its start, where a long text is most readable.
void showFromStart(QLineEdit *box, const QString &text);
void showFromStart(QComboBox *combo, const QString &text);
