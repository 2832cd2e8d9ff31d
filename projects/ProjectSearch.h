// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the project window searches: every node of its tree by code and
// description, every component file by its name, leading to the node of its
// project or item, and the words written in the notes pages of projects and
// items. Built from the rows the tree was built from, the components' rows
// and the pages' words, so no search reads the archive or a page; only the
// lines shown of the pages found are read.

#include "data/TextSearch.h"
#include "widgets/SearchPanel.h"

#include <QIcon>

class NotesSearch;
class ProjectTreeModel;

class ProjectSearch : public SearchSource {
public:
    explicit ProjectSearch(const ProjectTreeModel &tree);

    // components: codprj, livello, codice, file quadruples in stored order.
    void setComponents(const QVector<QString> &components);
    // The tree was rebuilt: the entries are made again at the next search.
    void treeChanged() { m_stale = true; }
    void setIcons(const QVector<QIcon> &icons) { m_icons = icons; }

    // The notes pages' words, searched too.
    void setNotes(NotesSearch *notes) { m_notes = notes; }
    // The pages' words changed: their nodes are found again at the next search.
    void notesChanged() { m_pageNodesStale = true; }
    // The kept name of the notes page of a node (projects "P/P", items "P/E/E").
    QString pageOf(int node) const;

    const FoldedIndex &index() override;
    QVector<int> match(const QStringList &words, const QVector<int> *among) override;
    QStringList headers() const override;
    QVector<int> widths() const override { return {30, 52}; }
    QVariant data(int entry, int column, int role) const override;

    // The tree node an entry leads to; -1 for no entry.
    int node(int entry) const;
    // The component file's name of an entry, empty for a node's own entry.
    QString fileName(int entry) const;
    // Whether an entry is a notes page's.
    bool isNotes(int entry) const { return entry >= m_index.size(); }

private:
    void rebuild();

    struct Entry {
        int node;
        int file;   // into m_files; -1 for the node's own entry
    };
    const ProjectTreeModel &m_tree;
    QVector<QString> m_components;
    QVector<QString> m_files;
    QVector<Entry> m_entries;
    FoldedIndex m_index;
    QVector<QIcon> m_icons;   // project, item, component file
    bool m_stale = true;
    NotesSearch *m_notes = nullptr;
    QVector<int> m_pageNodes;     // node of each notes page, -1 for none
    bool m_pageNodesStale = true;
    QStringList m_words;          // last searched, for the pages' lines
};
