// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive's safety net as the saves and deletes write it: each field a
// save changes becomes a line of the record's history, each deleted record
// goes whole into the recycle bin, with who did it and when, inside the
// transaction that saves or deletes.

#include "data/engines/Store.h"

#include <QDateTime>

#include <functional>

// Who is working: the login name and the workstation's host name.
struct Who {
    QString user;
    QString host;
    static Who current();
};

// One line of a record's history.
struct HistoryLine {
    QDateTime when;
    QString user, host, field, before, after;
};

class Journal {
public:
    // lookup: the archive's safety table of a name, described on first use
    // (nullptr with the engine's error when it cannot be).
    using TableLookup = std::function<const TableInfo *(const QString &name, QString *error)>;
    Journal(Store &store, TableLookup lookup);

    // Whether saves of table keep a history, and deletes fill the bin.
    static bool keepsHistory(const QString &table);
    static bool keepsDeleted(const QString &table);

    // Inside the save's transaction: a line for each field of table whose
    // text changed (before: nullptr for a new row).
    bool saved(const TableInfo &table, qint64 key, const RawRow *before, const RawRow &after, QString *error);
    // Inside the delete's transaction: the whole row into the bin.
    bool deleted(const TableInfo &table, qint64 key, const RawRow &row, QString *error);

    // The history of a record (table and row key), newest first.
    bool historyOf(const QString &table, qint64 key, QVector<HistoryLine> *lines, QString *error);

    // Who is written as the author (tests play two workstations).
    static void setWho(const Who &who);

    // A row as the bin keeps it (field names and values), and back.
    static QString rowText(const TableInfo &table, const RawRow &row);
    static RawRow rowFromText(const TableInfo &table, const QString &text, bool *ok);

private:
    Store &m_store;
    TableLookup m_lookup;
};
