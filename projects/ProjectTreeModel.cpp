// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProjectTreeModel.h"

#include <QHash>
#include <QSet>

namespace {
const QVector<int> kNoChildren;
} // namespace

size_t qHash(const Caseless &key, size_t seed)
{
    size_t h = seed ^ 0x9e3779b97f4a7c15ULL;
    for (QChar c : *key.text) {
        char16_t u = c.unicode();
        if (u < 0x80)
            u = (u >= 'A' && u <= 'Z') ? char16_t(u + 32) : u;
        else
            u = char16_t(QChar::toCaseFolded(char32_t(u)));
        h = (h ^ u) * 0x100000001b3ULL;
    }
    return h;
}

ProjectTreeModel::ProjectTreeModel(QObject *parent) : QAbstractItemModel(parent) {}

void ProjectTreeModel::clear()
{
    beginResetModel();
    m_nodes.clear();
    m_roots.clear();
    m_children.clear();
    m_skipped = 0;
    m_projectNodes.clear();
    m_itemNodes[0].clear();
    m_itemNodes[1].clear();
    m_projectRows.clear();
    m_itemRows.clear();
    endResetModel();
}

int ProjectTreeModel::addNode(const QString &code, const QString &descr, int level, int parent)
{
    const int index = int(m_nodes.size());
    Node node{code, descr, parent, 0, level};
    QVector<int> &siblings = parent < 0 ? m_roots : m_children[parent];
    node.row = int(siblings.size());
    siblings.append(index);
    m_nodes.append(std::move(node));
    m_children.append(QVector<int>());
    return index;
}

void ProjectTreeModel::rebuild(const QVector<QString> &projectRows, const QVector<QString> &itemRows)
{
    beginResetModel();
    m_nodes.clear();
    m_roots.clear();
    m_children.clear();
    m_skipped = 0;
    m_projectNodes.clear();
    m_itemNodes[0].clear();
    m_itemNodes[1].clear();
    // Shared copies, never changed here: the keys point into them.
    m_projectRows = projectRows;
    m_itemRows = itemRows;
    const QVector<QString> &projects = std::as_const(m_projectRows);
    const QVector<QString> &items = std::as_const(m_itemRows);
    m_nodes.reserve(projects.size() / 2 + items.size() / 4);
    m_children.reserve(m_nodes.capacity());

    // Item rows of each project code, in stored order.
    QHash<Caseless, QVector<int>> itemsOf;
    itemsOf.reserve(projects.size() / 2);
    for (int i = 0; i + 3 < items.size(); i += 4)
        itemsOf[Caseless{&items[i]}].append(i);

    QHash<Caseless, int> &projectKeys = m_projectNodes;
    QHash<Caseless, int> *levelKeys = m_itemNodes;
    projectKeys.reserve(projects.size() / 2);
    levelKeys[0].reserve(items.size() / 8);
    levelKeys[1].reserve(items.size() / 8);
    for (int p = 0; p + 1 < projects.size(); p += 2) {
        const Caseless key{&projects[p]};
        if (projectKeys.contains(key)) {
            ++m_skipped;
            continue;
        }
        const int project = addNode(projects[p], projects[p + 1], 0, -1);
        projectKeys.insert(key, project);
        int parent = project;
        const auto found = itemsOf.constFind(key);
        if (found == itemsOf.constEnd())
            continue;
        for (int i : *found) {
            const QString &level = items[i + 1];
            const int n = level == QLatin1String("1") ? 1 : level == QLatin1String("2") ? 2 : 0;
            if (n == 0)
                continue;
            if (n == 1)
                parent = project;
            QHash<Caseless, int> &keys = levelKeys[n - 1];
            const Caseless itemKey{&items[i + 2]};
            if (keys.contains(itemKey)) {
                ++m_skipped;
                continue;
            }
            const int node = addNode(items[i + 2], items[i + 3], n, parent);
            keys.insert(itemKey, node);
            if (n == 1)
                parent = node;
        }
    }
    endResetModel();
}

int ProjectTreeModel::nodeOf(const QModelIndex &index) const
{
    return index.isValid() ? int(index.internalId()) : -1;
}

const QVector<int> &ProjectTreeModel::childrenOf(int node) const
{
    if (node < 0)
        return m_roots;
    return node < m_children.size() ? m_children[node] : kNoChildren;
}

QString ProjectTreeModel::key(const QModelIndex &index) const
{
    const int n = nodeOf(index);
    if (n < 0)
        return {};
    const Node &node = m_nodes[n];
    if (node.level == 0)
        return QLatin1Char('P') + node.code;
    return QLatin1Char('L') + QString::number(node.level) + QLatin1Char('C') + node.code;
}

QString ProjectTreeModel::text(const QModelIndex &index) const
{
    const int n = nodeOf(index);
    return n < 0 ? QString() : m_nodes[n].code + QStringLiteral("  ") + m_nodes[n].descr;
}

int ProjectTreeModel::picture(const QModelIndex &index) const
{
    const int n = nodeOf(index);
    return n < 0 ? 0 : (m_nodes[n].level == 0 ? 1 : 2);
}

QString ProjectTreeModel::projectCode(const QModelIndex &index) const
{
    int n = nodeOf(index);
    if (n < 0)
        return {};
    while (m_nodes[n].parent >= 0)
        n = m_nodes[n].parent;
    return m_nodes[n].code;
}

QModelIndex ProjectTreeModel::indexOfKey(const QString &wanted) const
{
    int n = -1;
    if (wanted.startsWith(QLatin1Char('P')))
        n = projectNode(wanted.mid(1));
    else if (wanted.size() > 3 && wanted.startsWith(QLatin1Char('L')) && wanted.at(2) == QLatin1Char('C'))
        n = itemNode(wanted.at(1).digitValue(), wanted.mid(3));
    const QModelIndex idx = indexOfNode(n);
    return key(idx) == wanted ? idx : QModelIndex();
}

QModelIndex ProjectTreeModel::indexOfNode(int node) const
{
    if (node < 0 || node >= m_nodes.size())
        return {};
    return createIndex(m_nodes[node].row, 0, quintptr(node));
}

int ProjectTreeModel::rootOf(int node) const
{
    while (node >= 0 && m_nodes[node].parent >= 0)
        node = m_nodes[node].parent;
    return node;
}

int ProjectTreeModel::projectNode(const QString &code) const
{
    return m_projectNodes.value(Caseless{&code}, -1);
}

int ProjectTreeModel::itemNode(int level, const QString &code) const
{
    return level == 1 || level == 2 ? m_itemNodes[level - 1].value(Caseless{&code}, -1) : -1;
}

QModelIndex ProjectTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    const QVector<int> &children = childrenOf(nodeOf(parent));
    if (column != 0 || row < 0 || row >= children.size())
        return {};
    return createIndex(row, 0, quintptr(children[row]));
}

QModelIndex ProjectTreeModel::parent(const QModelIndex &child) const
{
    const int n = nodeOf(child);
    if (n < 0 || m_nodes[n].parent < 0)
        return {};
    const int p = m_nodes[n].parent;
    return createIndex(m_nodes[p].row, 0, quintptr(p));
}

int ProjectTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    return int(childrenOf(nodeOf(parent)).size());
}

int ProjectTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant ProjectTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return text(index);
    case Qt::DecorationRole: {
        const int pic = picture(index);
        return pic > 0 && pic <= m_images.size() ? QVariant(m_images[pic - 1]) : QVariant();
    }
    case Qt::UserRole:
        return key(index);
    default:
        return {};
    }
}
