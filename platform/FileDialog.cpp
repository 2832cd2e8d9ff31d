// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileDialog.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace {
bool g_dialogScripted = false;
QStringList g_nextNames;
QStringList g_initialNames;
bool g_desktopScripted = false;
QStringList g_opened;
} // namespace

namespace FileDialog {

QString getOpenFileName(QWidget *parent, const QString &initialName)
{
    g_initialNames.append(initialName);
    if (g_dialogScripted)
        return g_nextNames.isEmpty() ? QString() : g_nextNames.takeFirst();
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (initialName.contains(QLatin1Char('*'))) {
        dialog.setNameFilter(initialName);
    } else {
        dialog.selectFile(initialName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

void setScripted(bool scripted)
{
    g_dialogScripted = scripted;
    g_nextNames.clear();
    g_initialNames.clear();
}

void setNextFileName(const QString &path)
{
    g_nextNames.append(path);
}

QStringList initialNames()
{
    return g_initialNames;
}

} // namespace FileDialog

namespace {
QList<bool> g_nextResults;
}

namespace Desktop {

bool openFile(const QString &path)
{
    g_opened.append(path);
    if (g_desktopScripted)
        return g_nextResults.isEmpty() ? true : g_nextResults.takeFirst();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void setScripted(bool scripted)
{
    g_desktopScripted = scripted;
    g_opened.clear();
    g_nextResults.clear();
}

void setNextResult(bool opened)
{
    g_nextResults.append(opened);
}

QStringList opened()
{
    return g_opened;
}

} // namespace Desktop
