// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchPanel.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>

SearchResultsModel::SearchResultsModel(SearchSource *source, QObject *parent)
    : QAbstractTableModel(parent), m_source(source)
{
}

void SearchResultsModel::setEntries(QVector<int> entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

int SearchResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int SearchResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_source->headers().size());
}

QVariant SearchResultsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    return m_source->data(m_entries[index.row()], index.column(), role);
}

QVariant SearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_source->headers().value(section);
    return {};
}

SearchPanel::SearchPanel(QWidget *window, QLineEdit *edit, QLabel *count, QTreeView *list, SearchSource *source)
    : QObject(window), m_window(window), m_edit(edit), m_count(count), m_list(list), m_source(source),
      m_model(new SearchResultsModel(source, this))
{
    m_edit->hide();
    m_count->hide();
    m_list->hide();
    m_edit->setClearButtonEnabled(true);
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setItemsExpandable(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setFocusPolicy(Qt::ClickFocus);
    m_list->header()->setStretchLastSection(true);
    m_list->installEventFilter(this);
    m_listViewport = m_list->viewport();
    m_listViewport->installEventFilter(this);
    m_edit->installEventFilter(this);

    auto *find = new QShortcut(QKeySequence::Find, window);
    connect(find, &QShortcut::activated, this, &SearchPanel::open);
    m_next = new QShortcut(QKeySequence(Qt::Key_F3), window);
    m_previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), window);
    m_close = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    connect(m_next, &QShortcut::activated, this, &SearchPanel::next);
    connect(m_previous, &QShortcut::activated, this, &SearchPanel::previous);
    connect(m_close, &QShortcut::activated, this, &SearchPanel::close);
    for (QShortcut *s : {m_next, m_previous, m_close})
        s->setEnabled(false);

    connect(m_edit, &QLineEdit::textChanged, this, [this] {
        m_position = -1;
        m_typed = true;
        schedule();
    });
    connect(m_list, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) { choose(index.row()); });
    // The pop-up list gives way when the user goes on elsewhere in the window.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && now != m_edit && now != m_list && now->window() == m_window)
            showList(false);
    });
}

void SearchPanel::open()
{
    // Opening reads the archive: never in the middle of a save.
    if (m_paused > 0)
        return;
    // Each Ctrl+F brings the entries up to date, the search already open too.
    emit opening();
    if (!m_open) {
        m_open = true;
        m_edit->show();
        m_count->show();
        for (QShortcut *s : {m_next, m_previous, m_close})
            s->setEnabled(true);
        emit opened();
    }
    m_typed = true;
    entriesChanged();
    m_edit->raise();
    m_edit->setFocus(Qt::ShortcutFocusReason);
    m_edit->selectAll();
}

void SearchPanel::close()
{
    if (!m_open)
        return;
    m_open = false;
    showList(false);
    m_edit->hide();
    m_count->hide();
    for (QShortcut *s : {m_next, m_previous, m_close})
        s->setEnabled(false);
    emit closed();
}

void SearchPanel::entriesChanged()
{
    m_wordsValid = false;
    m_position = -1;
    if (m_open)
        schedule();
}

void SearchPanel::schedule()
{
    // Keys already waiting are typed first: one search for all of them.
    if (m_scheduled)
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, [this] {
        if (m_scheduled)
            run();
    });
}

void SearchPanel::resume()
{
    if (--m_paused == 0 && m_pending) {
        m_pending = false;
        schedule();
    }
}

void SearchPanel::run()
{
    m_scheduled = false;
    if (!m_open)
        return;
    if (m_paused > 0) {
        m_pending = true;
        return;
    }
    const QStringList words = TextSearch::words(m_edit->text());
    const bool narrower = m_wordsValid && TextSearch::narrows(words, m_words);
    const QVector<int> before = m_model->entries();
    QVector<int> found = m_source->match(words, narrower ? &before : nullptr);
    m_words = words;
    m_wordsValid = true;
    m_model->setEntries(std::move(found));
    if (!m_model->entries().isEmpty())
        m_list->setCurrentIndex(m_model->index(0, 0));
    // The list pops up for what was typed, not when the entries changed
    // under a result already chosen (after a save, say).
    if (m_typed || m_list->isVisible())
        showList(!words.isEmpty() && !m_model->entries().isEmpty());
    m_typed = false;
    updateCount();
}

void SearchPanel::showList(bool shown)
{
    if (shown && !m_list->isVisible()) {
        m_list->show();
        m_list->raise();
        sizeColumns();
    } else if (!shown) {
        m_list->hide();
    }
}

void SearchPanel::updateCount()
{
    // Counts as Italians write them: "110.000 risultati".
    static const QLocale italian(QLocale::Italian, QLocale::Italy);
    const int n = int(m_model->entries().size());
    if (TextSearch::words(m_edit->text()).isEmpty())
        m_count->clear();
    else if (n == 0)
        m_count->setText(QStringLiteral("Nessun risultato"));
    else if (m_position >= 0)
        m_count->setText(QStringLiteral("%1 di %2").arg(italian.toString(m_position + 1), italian.toString(n)));
    else
        m_count->setText(n == 1 ? QStringLiteral("1 risultato") : QStringLiteral("%1 risultati").arg(italian.toString(n)));
}

void SearchPanel::choose(int row)
{
    const QVector<int> &entries = m_model->entries();
    if (m_paused > 0 || m_scheduled || row < 0 || row >= entries.size())
        return;
    m_position = row;
    m_list->setCurrentIndex(m_model->index(row, 0));
    // The pop-up list gives way, so the window shows what was chosen; typing
    // goes on in the box.
    if (m_list->hasFocus())
        m_edit->setFocus(Qt::OtherFocusReason);
    showList(false);
    updateCount();
    emit chosen(entries[row]);
}

void SearchPanel::next()
{
    if (m_scheduled)
        run();
    const int n = int(m_model->entries().size());
    if (n > 0)
        choose(m_position < 0 ? 0 : (m_position + 1) % n);
}

void SearchPanel::previous()
{
    if (m_scheduled)
        run();
    const int n = int(m_model->entries().size());
    if (n > 0)
        choose(m_position < 0 ? n - 1 : (m_position + n - 1) % n);
}

void SearchPanel::moveInList(int rows)
{
    const int n = int(m_model->entries().size());
    if (n == 0)
        return;
    if (!m_list->isVisible()) {
        showList(true);
        return;
    }
    const int row = qBound(0, m_list->currentIndex().row() + rows, n - 1);
    m_list->setCurrentIndex(m_model->index(row, 0));
    m_list->scrollTo(m_list->currentIndex());
}

void SearchPanel::sizeColumns()
{
    const QVector<int> widths = m_source->widths();
    for (int c = 0; c < widths.size(); ++c)
        m_list->header()->resizeSection(c, m_list->viewport()->width() * widths[c] / 100);
}

bool SearchPanel::eventFilter(QObject *watched, QEvent *event)
{
    // A list that grows with its window keeps its columns' shares.
    if (event->type() == QEvent::Resize && watched == m_listViewport && m_list->isVisible())
        sizeColumns();
    if (event->type() != QEvent::KeyPress || (watched != m_edit && watched != m_list))
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const bool shift = key->modifiers() & Qt::ShiftModifier;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_scheduled)
            run();
        if (shift)
            previous();
        else if (m_list->isVisible() && m_list->currentIndex().isValid())
            choose(m_list->currentIndex().row());
        else
            next();
        return true;
    case Qt::Key_Down:
        moveInList(1);
        return true;
    case Qt::Key_Up:
        moveInList(-1);
        return true;
    case Qt::Key_PageDown:
        moveInList(10);
        return true;
    case Qt::Key_PageUp:
        moveInList(-10);
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}
