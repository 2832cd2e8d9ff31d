// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A window's search: a text box, a count and a pop-up list of results over
// the window's own controls, hidden until Ctrl+F. Results appear while typing;
// Enter or F3 goes to the next one, Shift+Enter or Shift+F3 to the previous,
// Esc closes the search and leaves the window as it is.

#include "data/TextSearch.h"

#include <QAbstractTableModel>
#include <QObject>

class QLabel;
class QLineEdit;
class QShortcut;
class QTreeView;
class QWidget;

// What a window offers to be searched: entries held in a folded index and
// their texts for the list.
class SearchSource {
public:
    virtual ~SearchSource() = default;
    virtual QStringList headers() const = 0;
    // Share of the list's width of each column but the last, in percent.
    virtual QVector<int> widths() const = 0;
    virtual QVariant data(int entry, int column, int role) const = 0;
    // The entries, brought up to date first when they changed.
    virtual const FoldedIndex &index() = 0;
    // The entries matching the words typed (folded); among, when given,
    // holds the only entries to look at. A source may add entries of its
    // own beyond the index's.
    virtual QVector<int> match(const QStringList &words, const QVector<int> *among)
    {
        return index().match(words, among);
    }
};

class SearchResultsModel : public QAbstractTableModel {
public:
    explicit SearchResultsModel(SearchSource *source, QObject *parent = nullptr);
    void setEntries(QVector<int> entries);
    const QVector<int> &entries() const { return m_entries; }
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    SearchSource *m_source;
    QVector<int> m_entries;
};

class SearchPanel : public QObject {
    Q_OBJECT

public:
    SearchPanel(QWidget *window, QLineEdit *edit, QLabel *count, QTreeView *list, SearchSource *source);

    bool isOpen() const { return m_open; }
    void open();
    void close();
    // The source's entries changed: what is typed is looked for again.
    void entriesChanged();
    // Entries of the results, best first, and the one chosen last (-1: none).
    const QVector<int> &results() const { return m_model->entries(); }
    int position() const { return m_position; }
    void next();
    void previous();
    void choose(int row);

    // While one lives (a save under way) no search runs and nothing is
    // chosen; a search asked for meanwhile runs when the last one ends.
    class Pause {
    public:
        explicit Pause(SearchPanel &panel) : m_panel(panel) { ++m_panel.m_paused; }
        ~Pause() { m_panel.resume(); }
        Pause(const Pause &) = delete;
        Pause &operator=(const Pause &) = delete;

    private:
        SearchPanel &m_panel;
    };

signals:
    // At each Ctrl+F, before the search shows: the window brings the source up to date.
    void opening();
    void opened();
    void closed();
    void chosen(int entry);

private:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void schedule();
    void run();
    void resume();
    void showList(bool shown);
    void sizeColumns();
    void moveInList(int rows);
    void updateCount();

    QWidget *m_window;
    QLineEdit *m_edit;
    QLabel *m_count;
    QTreeView *m_list;
    QObject *m_listViewport = nullptr;
    SearchSource *m_source;
    SearchResultsModel *m_model;
    QShortcut *m_next, *m_previous, *m_close;
    bool m_open = false;
    bool m_scheduled = false;
    bool m_pending = false;
    bool m_typed = false;   // the text changed since the last search
    int m_paused = 0;
    int m_position = -1;
    // The last search, so that typing more only looks among its results.
    QStringList m_words;
    bool m_wordsValid = false;
};
