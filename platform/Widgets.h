#pragma once
// Helpers over a window's widgets.

#include <QString>

class QWidget;
class RecordView;

// Empties the text of every text box, label and combo box of window whose
// name starts with prefix (letter case ignored).
void SvuotaCampi(QWidget *window, const QString &prefix);

// Places a window in the middle of the primary screen.
void centerOnScreen(QWidget *window);

// Text with leading and trailing spaces removed (spaces only, as stored fields want).
QString trimSpaces(const QString &text);

// Stores the record being added or edited when every field was set; otherwise,
// or when the archive refuses it, drops the edit and shows the engine's message.
bool storeOrReport(QWidget *parent, RecordView &view, bool fieldsSet);
