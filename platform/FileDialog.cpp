// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileDialog.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QUrl>

namespace {
bool g_dialogScripted = false;
QStringList g_nextNames;
QStringList g_initialNames;
bool g_desktopScripted = false;
QStringList g_opened;
} // namespace

namespace {
// The dialog's widgets exist once it shows.
class DatesOnShow : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            if (auto *view = watched->findChild<QTreeView *>(QStringLiteral("treeView")))
                if (!dynamic_cast<FileDialog::ProgramDates *>(view->itemDelegateForColumn(3))) {
                    view->setItemDelegateForColumn(3, new FileDialog::ProgramDates(view));
                    // Wide enough for a whole date and the size's header.
                    QHeaderView *header = view->header();
                    const int date = view->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000 00:00")) + 24;
                    header->resizeSection(3, std::max(header->sectionSize(3), date));
                    header->resizeSection(1, std::max(header->sectionSize(1), header->sectionSizeHint(1)));
                    // The name takes what is left, with no scrolling sideways.
                    header->setStretchLastSection(false);
                    header->setSectionResizeMode(0, QHeaderView::Stretch);
                }
        return false;
    }
};
} // namespace

namespace FileDialog {

void ProgramDates::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (const auto *files = qobject_cast<const QFileSystemModel *>(index.model()))
        option->text = files->lastModified(index).toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

void useProgramDates(QFileDialog &dialog)
{
    dialog.installEventFilter(new DatesOnShow(&dialog));
}

QString getOpenFileName(QWidget *parent, const QString &initialName)
{
    g_initialNames.append(initialName);
    if (g_dialogScripted)
        return g_nextNames.isEmpty() ? QString() : g_nextNames.takeFirst();
    QFileDialog dialog(parent);
    useProgramDates(dialog);
    dialog.resize(dialog.sizeHint().expandedTo(QSize(760, 460)));
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
