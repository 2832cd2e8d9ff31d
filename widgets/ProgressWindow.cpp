// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgressWindow.h"

#include <QApplication>
#include <QProgressDialog>

namespace {
bool g_scripted = false;
int g_stopAt = 0;
int g_updates = 0;
QStringList g_texts;
} // namespace

ProgressWindow::ProgressWindow(QWidget *parent, const QString &title)
{
    g_updates = 0;
    if (g_scripted)
        return;
    m_dialog = new QProgressDialog(parent);
    m_dialog->setWindowTitle(title);
    m_dialog->setCancelButtonText(QStringLiteral("Interrompi"));
    m_dialog->setRange(0, 100);
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->show();
}

ProgressWindow::~ProgressWindow()
{
    delete m_dialog;
}

bool ProgressWindow::update(const QString &text, int percent)
{
    g_texts.append(text);
    ++g_updates;
    if (g_scripted) {
        m_stopped = m_stopped || (g_stopAt > 0 && g_updates >= g_stopAt);
        return !m_stopped;
    }
    m_dialog->setLabelText(text);
    m_dialog->setValue(std::clamp(percent, 0, 100));
    QApplication::processEvents();
    m_stopped = m_stopped || m_dialog->wasCanceled();
    return !m_stopped;
}

void ProgressWindow::setScripted(bool scripted)
{
    g_scripted = scripted;
    g_stopAt = 0;
    g_texts.clear();
}

void ProgressWindow::setStopAt(int update)
{
    g_stopAt = update;
}

QStringList ProgressWindow::texts()
{
    return g_texts;
}
