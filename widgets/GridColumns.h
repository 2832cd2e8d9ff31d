// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A grid's columns at their designed widths, or wider where a header or a
// cell would be cut; one column takes the room the others leave as the grid
// grows, never less than its own width, and shows a long text shortened in
// the middle (the whole text is the row's tooltip where the window sets one).

#include <QObject>
#include <QVector>

class QTableWidget;

class GridColumns : public QObject {
public:
    // twips: the designed widths, 15 twips a pixel.
    GridColumns(QTableWidget *grid, QVector<int> twips, int rest);
    // Sizes every column; again after rows are added or replaced.
    void fit();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitRest();

    QTableWidget *m_grid;
    QObject *m_viewport;
    QVector<int> m_twips;
    int m_rest;
    int m_restLeast = 0;
};
