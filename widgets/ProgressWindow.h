// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A window that shows how far a long operation has gone, with a button to
// stop it. Tests switch to scripted mode, read back the texts shown and may
// have the user stop after a number of updates.

#include <QString>
#include <QStringList>

class QProgressDialog;
class QWidget;

class ProgressWindow {
public:
    ProgressWindow(QWidget *parent, const QString &title);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow &) = delete;
    ProgressWindow &operator=(const ProgressWindow &) = delete;

    // Shows text and percent (0..100); false once the user asked to stop.
    bool update(const QString &text, int percent);

    static void setScripted(bool scripted);
    // In scripted mode the user stops at this update (1 = the first); 0: never.
    static void setStopAt(int update);
    static QStringList texts();

private:
    QProgressDialog *m_dialog = nullptr;
    bool m_stopped = false;
};
