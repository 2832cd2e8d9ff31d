// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Search criteria in the form "field=value AND field=value". A criterion is
// parsed into terms whose values are later bound as parameters: typed text
// never becomes SQL.

#include "data/Schema.h"

#include <QVariant>
#include <QVector>

struct Term {
    int column = -1;   // index into TableInfo::columns
    QVariant value;    // qint64 for numbers, QString for texts
};

struct ParsedCriterion {
    QVector<Term> terms;
    QString error;     // empty when the criterion is valid
    bool ok() const { return error.isEmpty(); }
};

ParsedCriterion parseCriterion(const QString &text, const TableInfo &table);
