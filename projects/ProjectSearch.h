// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the project window searches: every node of its tree by code and
// description, and every component file by its name, leading to the node of
// its project or item. Built from the rows the tree was built from and the
// components' rows, so no search ever asks the archive.

#include "data/TextSearch.h"
#include "widgets/SearchPanel.h"

#include <QIcon>

class ProjectTreeModel;

class ProjectSearch : public SearchSource {
public:
    explicit ProjectSearch(const ProjectTreeModel &tree);

    // components: codprj, livello, codice, file quadruples in stored order.
    void setComponents(const QVector<QString> &components);
    // The tree was rebuilt: the entries are made again at the next search.
    void treeChanged() { m_stale = true; }
    void setIcons(const QVector<QIcon> &icons) { m_icons = icons; }

    const FoldedIndex &index() override;
    QStringList headers() const override;
    QVector<int> widths() const override { return {30, 52}; }
    QVariant data(int entry, int column, int role) const override;

    // The tree node an entry leads to; -1 for no entry.
    int node(int entry) const;
    // The component file's name of an entry, empty for a node's own entry.
    QString fileName(int entry) const;

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
};
