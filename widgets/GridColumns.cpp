// SPDX-License-Identifier: GPL-3.0-or-later
#include "GridColumns.h"

#include <QEvent>
#include <QHeaderView>
#include <QTableWidget>

namespace {
constexpr int kTwipsPerPixel = 15;
}

GridColumns::GridColumns(QTableWidget *grid, QVector<int> twips, int rest)
    : QObject(grid), m_grid(grid), m_viewport(grid->viewport()), m_twips(std::move(twips)), m_rest(rest)
{
    m_grid->horizontalHeader()->setStretchLastSection(false);
    m_viewport->installEventFilter(this);
}

void GridColumns::fit()
{
    for (int c = 0; c < m_twips.size() && c < m_grid->columnCount(); ++c) {
        const int designed = m_twips[c] / kTwipsPerPixel;
        if (c == m_rest) {
            m_restLeast = std::max(designed, m_grid->horizontalHeader()->sectionSizeHint(c));
            continue;
        }
        m_grid->resizeColumnToContents(c);
        m_grid->setColumnWidth(c, std::max(m_grid->columnWidth(c), designed));
    }
    fitRest();
}

void GridColumns::fitRest()
{
    if (m_rest < 0 || m_rest >= m_grid->columnCount())
        return;
    int others = 0;
    for (int c = 0; c < m_grid->columnCount(); ++c)
        if (c != m_rest && !m_grid->isColumnHidden(c))
            others += m_grid->columnWidth(c);
    m_grid->setColumnWidth(m_rest, std::max(m_restLeast, m_grid->viewport()->width() - others));
}

bool GridColumns::eventFilter(QObject *watched, QEvent *event)
{
    // Nothing of the grid is asked for other events: they also come while it
    // is being destroyed.
    if (event->type() == QEvent::Resize && watched == m_viewport)
        fitRest();
    return QObject::eventFilter(watched, event);
}
