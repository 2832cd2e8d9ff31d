// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An open, updatable view over one whole table: one current row shared by
// every window that uses it, walks in stored order, finds by criterion, and a
// record buffer for adding or editing. Every call that can fail returns false
// and leaves the engine's message in lastError().

#include "data/engines/Store.h"

#include <functional>

class Journal;

class RecordView {
public:
    RecordView(Store &store, TableInfo table);

    const TableInfo &table() const { return m_table; }

    // The archive's journal: a save through this view writes its history
    // lines, a delete its bin entry, inside the transaction that stores.
    void setJournal(Journal *journal) { m_journal = journal; }
    const QString &lastError() const { return m_error; }

    // Number of rows in the table; -1 when the engine fails.
    qint64 count();

    bool moveFirst();
    bool moveNext();
    bool eof() const;

    // A find that matches nothing sets noMatch() and keeps the current row.
    bool findFirst(const QString &criterion);
    bool findNext(const QString &criterion);
    bool noMatch() const { return m_noMatch; }

    bool hasCurrent() const;
    // The current row's key (vb_key), 0 when there is none: the record a
    // window shows, as its history knows it.
    qint64 currentKey() const;
    // Field of the current row by name (letter case ignored). An absent value
    // is an invalid QVariant; numbers come as qint64, dates as QDate or
    // QDateTime, texts as QString.
    QVariant value(QStringView field) const;
    // The same as text: absent gives an empty text, dates day-first.
    QString text(QStringView field) const;
    QString getChunk(QStringView field, qint64 offset, qint64 length) const;

    // A check run inside the transaction that stores a new row, before the
    // row is written: it may look at the table (matches) and set fields of the
    // new row; false refuses the store with its message, and conflict() tells.
    using AddCheck = std::function<bool(RecordView &view, QString *error)>;
    void addNew(AddCheck check = {});
    // An add that refuses whenever a row matches criterion (read in the same
    // transaction that would write it), so a new record never replaces one
    // that another window or workstation stored meanwhile.
    void addNewUnique(const QString &criterion);
    bool conflict() const { return m_conflict; }
    // With conflict(): the row being edited was deleted (by another window or
    // workstation) since it was read; nothing was written.
    bool gone() const { return m_gone; }
    // Whether any row matches criterion; the current row is not moved.
    bool matches(const QString &criterion, bool *found);
    bool edit();
    // An edit that stores only if the row still holds shown (the values the
    // window showed, from currentValues()): a row another window or
    // workstation changed meanwhile is not overwritten, and conflict() tells.
    bool edit(const RawRow &shown);
    // The current row's stored values, to hand back to edit(shown).
    RawRow currentValues() const;
    bool setValue(QStringView field, const QVariant &value);
    bool appendChunk(QStringView field, const QString &chunk);
    // Stores the buffer in one short transaction; a refused store leaves the
    // table as it was and the buffer pending, so the caller may cancel it.
    bool update();
    void cancelUpdate();

    // Deletes the current row. A check, when given, runs inside the
    // transaction that deletes, so what it finds still holds when the row
    // goes. It returns false to stop: with *refusal set the delete is refused
    // (conflict() tells, lastError() gives the refusal); with *error set a
    // look-up failed.
    using DeleteCheck = std::function<bool(QString *refusal, QString *error)>;
    bool deleteCurrent(const DeleteCheck &check = {});

private:
    enum class Pending { None, Adding, Editing };

    int column(QStringView field, bool report) const;
    bool fail(const QString &message);
    bool loadFind(const QString &criterion, qint64 afterKey);
    bool convert(const Column &column, const QVariant &in, QVariant *out);
    const StoredRow *current() const;
    // After a commit whose outcome the engine could not tell: read again
    // whether it was stored (true) or not (false, with the reason).
    bool settleUncertainStore();
    bool settleUncertainDelete(qint64 key);

    Store &m_store;
    Journal *m_journal = nullptr;
    TableInfo m_table;
    QVector<StoredRow> m_rows;   // the rows of the last walk or find; key 0 marks a deleted row
    int m_pos = 0;
    bool m_findSet = false;
    QString m_setCriterion;
    bool m_noMatch = true;
    Pending m_pending = Pending::None;
    qint64 m_editKey = 0;
    bool m_expectShown = false;
    RawRow m_shown;
    RawRow m_buffer;
    AddCheck m_addCheck;
    bool m_conflict = false;
    bool m_gone = false;
    mutable QString m_error;
};
