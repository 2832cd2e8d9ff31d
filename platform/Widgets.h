#pragma once
// Helpers over a window's widgets.

#include <QString>

class QWidget;

// Empties the text of every text box, label and combo box of window whose
// name starts with prefix (letter case ignored).
void SvuotaCampi(QWidget *window, const QString &prefix);

// Text with leading and trailing spaces removed (spaces only, as stored fields want).
QString trimSpaces(const QString &text);
