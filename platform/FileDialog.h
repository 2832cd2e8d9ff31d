// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform's file-open dialog. Tests script the chosen path (an empty
// one is a cancel) and read back the initial names the program set.

#include <QStringList>
#include <QStyledItemDelegate>

class QFileDialog;
class QWidget;

namespace FileDialog {
// The chosen full path, or an empty text when the user cancelled. An initial
// name holding a wildcard ("*.*", "*.ICO") also filters the listed files.
QString getOpenFileName(QWidget *parent, const QString &initialName);

// Qt's own dialog (where the desktop has none of its own) writes its dates in
// the desktop's language ("9 Dec"): its detailed list writes them as the
// program does, "09/12/2026 10:12".
void useProgramDates(QFileDialog &dialog);
class ProgramDates : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

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
