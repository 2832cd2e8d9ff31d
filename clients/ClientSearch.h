// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the client register searches: clients by name, city and VAT number,
// from one read of those fields.

#include "widgets/SearchPanel.h"

class ClientSearch : public SearchSource {
public:
    // rows: codice, descr, citta, piva quadruples in stored order.
    void setRows(const QVector<QString> &rows);
    const FoldedIndex &index() override { return m_index; }
    QStringList headers() const override;
    QVector<int> widths() const override { return {12, 43, 25}; }
    QVariant data(int entry, int column, int role) const override;
    QString code(int entry) const;

private:
    QVector<QString> m_rows;
    FoldedIndex m_index;
};
