// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProjectSearch.h"

#include "NotesSearch.h"
#include "ProjectTreeModel.h"

namespace {
QString lastComponent(const QString &path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}
} // namespace

ProjectSearch::ProjectSearch(const ProjectTreeModel &tree) : m_tree(tree) {}

void ProjectSearch::setComponents(const QVector<QString> &components)
{
    m_components = components;
    m_stale = true;
}

const FoldedIndex &ProjectSearch::index()
{
    if (m_stale)
        rebuild();
    return m_index;
}

QString ProjectSearch::pageOf(int node) const
{
    const QString &code = m_tree.nodeCode(node);
    if (m_tree.nodeLevel(node) == 0)
        return code + QLatin1Char('/') + code;
    return m_tree.nodeCode(m_tree.rootOf(node)) + QLatin1Char('/') + code + QLatin1Char('/') + code;
}

QVector<int> ProjectSearch::match(const QStringList &words, const QVector<int> *among)
{
    const FoldedIndex &nodes = index();
    const int base = nodes.size();
    QVector<int> nodeAmong, pageAmong;
    if (among)
        for (int entry : *among)
            (entry < base ? nodeAmong : pageAmong).append(entry - (entry < base ? 0 : base));
    QVector<int> found = nodes.match(words, among ? &nodeAmong : nullptr);
    m_words = words;
    if (!m_notes || words.isEmpty())
        return found;
    const NotesWords &notes = m_notes->words();
    if (m_pageNodesStale || m_pageNodes.size() != notes.count()) {
        // A page belongs to the node whose folder holds it: "P/P" to project
        // P, "P/E/E" to item E of project P.
        m_pageNodesStale = false;
        m_pageNodes.fill(-1, notes.count());
        for (int n = 0; n < notes.count(); ++n) {
            const QStringList parts = notes.page(n).path.split(QLatin1Char('/'));
            int node = -1;
            if (parts.size() == 2 && parts[0].compare(parts[1], Qt::CaseInsensitive) == 0) {
                node = m_tree.projectNode(parts[0]);
            } else if (parts.size() == 3 && parts[1].compare(parts[2], Qt::CaseInsensitive) == 0) {
                for (int level = 1; level <= 2 && node < 0; ++level) {
                    const int item = m_tree.itemNode(level, parts[1]);
                    if (item >= 0 && m_tree.nodeCode(m_tree.rootOf(item)).compare(parts[0], Qt::CaseInsensitive) == 0)
                        node = item;
                }
            }
            m_pageNodes[n] = node;
        }
    }
    // Pages in tree order, after the codes, descriptions and drawings.
    QVector<int> pages = notes.match(words, among ? &pageAmong : nullptr);
    pages.erase(std::remove_if(pages.begin(), pages.end(), [&](int p) { return m_pageNodes[p] < 0; }), pages.end());
    std::stable_sort(pages.begin(), pages.end(), [&](int a, int b) { return m_pageNodes[a] < m_pageNodes[b]; });
    found.reserve(found.size() + pages.size());
    for (int p : std::as_const(pages))
        found.append(base + p);
    return found;
}

void ProjectSearch::rebuild()
{
    m_stale = false;
    m_pageNodesStale = true;
    const int nodes = m_tree.nodeCount();
    // Each component file leads to the node of its item when that item is in
    // its project, otherwise to its project's node; files of no node are left out.
    const int files = int(m_components.size() / 4);
    QVector<int> target(files, -1);
    QVector<int> perNode(nodes + 1, 0);
    for (int f = 0; f < files; ++f) {
        const QString &project = m_components.at(4 * f);
        const int level = m_components.at(4 * f + 1).toInt();
        int node = m_tree.itemNode(level, m_components.at(4 * f + 2));
        if (node >= 0 && m_tree.nodeCode(m_tree.rootOf(node)).compare(project, Qt::CaseInsensitive) != 0)
            node = -1;
        if (node < 0)
            node = m_tree.projectNode(project);
        target[f] = node;
        if (node >= 0)
            ++perNode[node + 1];
    }
    // Files grouped by node, in stored order within each node.
    for (int n = 0; n < nodes; ++n)
        perNode[n + 1] += perNode[n];
    QVector<int> byNode(perNode[nodes]);
    {
        QVector<int> next = perNode;
        for (int f = 0; f < files; ++f)
            if (target[f] >= 0)
                byNode[next[target[f]]++] = f;
    }

    m_entries.clear();
    m_files.clear();
    m_index.clear();
    m_entries.reserve(nodes + byNode.size());
    m_files.reserve(byNode.size());
    m_index.reserve(int(nodes + byNode.size()), (nodes + int(byNode.size())) * 40);
    // Tree order: each node, then the files that lead to it.
    for (int n = 0; n < nodes; ++n) {
        m_entries.append({n, -1});
        m_index.add({m_tree.nodeCode(n), m_tree.nodeDescr(n)});
        for (int i = perNode[n]; i < perNode[n + 1]; ++i) {
            m_files.append(lastComponent(m_components.at(4 * byNode[i] + 3)));
            m_entries.append({n, int(m_files.size()) - 1});
            m_index.add({m_files.last()});
        }
    }
}

QStringList ProjectSearch::headers() const
{
    return {QStringLiteral("Codice"), QStringLiteral("Descrizione"), QStringLiteral("Progetto")};
}

int ProjectSearch::node(int entry) const
{
    if (entry >= m_index.size())
        return m_pageNodes.value(entry - m_index.size(), -1);
    return entry >= 0 && entry < m_entries.size() ? m_entries[entry].node : -1;
}

QString ProjectSearch::fileName(int entry) const
{
    return entry >= 0 && entry < m_entries.size() && m_entries[entry].file >= 0 ? m_files[m_entries[entry].file]
                                                                                : QString();
}

QVariant ProjectSearch::data(int entry, int column, int role) const
{
    const int n = node(entry);
    if (n < 0 || n >= m_tree.nodeCount())
        return {};
    const int level = m_tree.nodeLevel(n);
    if (isNotes(entry)) {
        // The node, and the line of its page where the words are.
        if (role == Qt::DecorationRole && column == 0)
            return (level == 0 ? 0 : 1) < m_icons.size() ? QVariant(m_icons[level == 0 ? 0 : 1]) : QVariant();
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        switch (column) {
        case 0:
            return m_tree.nodeCode(n);
        case 1: {
            const QString line = NotesWords::lineOf(m_notes->text(pageOf(n)), m_words);
            return role == Qt::ToolTipRole ? QStringLiteral("Note di %1: %2").arg(m_tree.nodeCode(n), line)
                                           : QStringLiteral("Note: ") + line;
        }
        case 2:
            return level > 0 ? m_tree.nodeCode(m_tree.rootOf(n)) : QString();
        default:
            return {};
        }
    }
    const bool file = m_entries[entry].file >= 0;
    if (role == Qt::DecorationRole && column == 0) {
        const int icon = file ? 2 : (level == 0 ? 0 : 1);
        return icon < m_icons.size() ? QVariant(m_icons[icon]) : QVariant();
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (column) {
    case 0:
        return file ? fileName(entry) : m_tree.nodeCode(n);
    case 1:
        // A file is described by the project or item it belongs to.
        return file ? m_tree.nodeCode(n) + QStringLiteral("  ") + m_tree.nodeDescr(n) : m_tree.nodeDescr(n);
    case 2:
        return file || level > 0 ? m_tree.nodeCode(m_tree.rootOf(n)) : QString();
    default:
        return {};
    }
}
