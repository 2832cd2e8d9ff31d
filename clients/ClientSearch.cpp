// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClientSearch.h"

void ClientSearch::setRows(const QVector<QString> &rows)
{
    m_rows = rows;
    m_index.clear();
    const int n = int(rows.size() / 4);
    m_index.reserve(n, n * 50);
    for (int i = 0; i < n; ++i)
        m_index.add({rows.at(4 * i + 1), rows.at(4 * i + 2), rows.at(4 * i + 3)});
}

QStringList ClientSearch::headers() const
{
    return {QStringLiteral("Codice"), QStringLiteral("Nome"), QStringLiteral("Città"), QStringLiteral("P. IVA")};
}

QVariant ClientSearch::data(int entry, int column, int role) const
{
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || entry < 0 || 4 * entry + 3 >= m_rows.size()
        || column < 0 || column > 3)
        return {};
    return m_rows.at(4 * entry + column);
}

QString ClientSearch::code(int entry) const
{
    return entry >= 0 && 4 * entry < m_rows.size() ? m_rows.at(4 * entry) : QString();
}
