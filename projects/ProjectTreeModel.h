// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The project tree's nodes, held in arrays: one root per project, one child
// per item row. Rebuilding it for a large office costs little more than
// reading the rows.

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QVector>

// A code as a hash key that ignores letter case, as the archive's criteria
// do, without building a folded copy of every code.
struct Caseless {
    const QString *text;
    bool operator==(const Caseless &o) const { return text->compare(*o.text, Qt::CaseInsensitive) == 0; }
};
size_t qHash(const Caseless &key, size_t seed = 0);

class ProjectTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit ProjectTreeModel(QObject *parent = nullptr);

    // projects: code, description pairs in stored order; items: project code,
    // level, code, description quadruples in stored order. A level-2 item
    // hangs under the last level-1 node of its project added before it.
    // A row whose node key is already in the tree is left out.
    void rebuild(const QVector<QString> &projects, const QVector<QString> &items);
    void clear();
    void setImages(const QVector<QIcon> &images) { m_images = images; }

    // "P" + project code, or "L" + level + "C" + item code.
    QString key(const QModelIndex &index) const;
    QString text(const QModelIndex &index) const;
    int picture(const QModelIndex &index) const;   // 1 projects, 2 items
    // Code of the project the node belongs to (its root's code).
    QString projectCode(const QModelIndex &index) const;
    QModelIndex indexOfKey(const QString &key) const;
    int skippedRows() const { return m_skipped; }

    // Nodes by number, in tree order (a project, then the items below it).
    int nodeCount() const { return int(m_nodes.size()); }
    int nodeOf(const QModelIndex &index) const;
    QModelIndex indexOfNode(int node) const;
    const QString &nodeCode(int node) const { return m_nodes[node].code; }
    const QString &nodeDescr(int node) const { return m_nodes[node].descr; }
    int nodeLevel(int node) const { return m_nodes[node].level; }
    int rootOf(int node) const;
    // The node of a project, or of an item of level 1 or 2, by code (letter
    // case ignored); -1 when the tree has none.
    int projectNode(const QString &code) const;
    int itemNode(int level, const QString &code) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    struct Node {
        QString code;
        QString descr;
        int parent = -1;   // node index, -1 for a root
        int row = 0;       // position among its parent's children
        int level = 0;     // 0 project, 1 or 2 item
    };
    int addNode(const QString &code, const QString &descr, int level, int parent);
    const QVector<int> &childrenOf(int node) const;

    QVector<Node> m_nodes;
    QVector<int> m_roots;
    QVector<QVector<int>> m_children;   // by node index
    QVector<QIcon> m_images;
    int m_skipped = 0;
    // The rows the tree was built from, kept so the keys below can point into them.
    QVector<QString> m_projectRows, m_itemRows;
    QHash<Caseless, int> m_projectNodes, m_itemNodes[2];
};
