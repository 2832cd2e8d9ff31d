// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the data layer asks of a database engine. Each engine keeps its own SQL
// in its own class (SqliteStore for the shared file, PgStore for a server);
// views, code generators and windows talk to this interface only.

#include "data/Criterion.h"
#include "data/Schema.h"

#include <QVariant>
#include <QVector>

// One stored row: its hidden key and the values of the table's columns in
// order. An invalid QVariant is an absent value; others hold qint64, double
// or QString as the engine stored them (dates as ISO texts).
using RawRow = QVector<QVariant>;
struct StoredRow {
    qint64 key = 0;
    RawRow values;
};

// A stored text whose bytes are not UTF-8: no read gives it back as stored
// (the bad bytes come back as U+FFFD), so no copy can carry it unchanged.
struct InvalidText {
    qint64 row = 0;       // position in stored order, from 1
    qint64 key = 0;
    QString column;
    QByteArray bytes;     // the value as stored
    qsizetype at = 0;     // where its first bad byte is
};

// Stored UTF-8 as a QString, leading U+FEFF characters kept
// (QString::fromUtf8 drops one there), so that what is read is what is stored.
inline QString textFromUtf8(const char *data, qsizetype size)
{
    qsizetype marks = 0;
    while (size - marks * 3 >= 3 && data[marks * 3] == '\xEF' && data[marks * 3 + 1] == '\xBB'
           && data[marks * 3 + 2] == '\xBF')
        ++marks;
    if (marks == 0)
        return QString::fromUtf8(data, size);
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(data + marks * 3, size - marks * 3);
}

class Store {
public:
    virtual ~Store() = default;

    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Which archive this is, for the header of the main window and messages.
    virtual QString label() const = 0;

    virtual QStringList tableNames(QString *error) = 0;
    virtual bool describe(const QString &table, TableInfo *out, QString *error) = 0;

    // Rows matching every term (texts compared ignoring letter case, numbers
    // exactly), with a key above afterKey, in stored order; limit < 0 means
    // all of them.
    virtual bool select(const TableInfo &table, const QVector<Term> &terms, qint64 afterKey, int limit,
                        QVector<StoredRow> *rows, QString *error) = 0;
    virtual bool count(const TableInfo &table, qint64 *out, QString *error) = 0;
    // The named columns of every row, in stored order, as texts (numbers in
    // decimal, absent values as null texts), row after row in one flat vector.
    // The fast path for walks that fill lists and trees.
    virtual bool readTexts(const TableInfo &table, const QVector<int> &columns, QVector<QString> *cells,
                           QString *error) = 0;
    virtual bool maximum(const TableInfo &table, int column, const QVector<Term> &terms, QVariant *out,
                         QString *error) = 0;

    // Each changes exactly one row or reports why not.
    virtual bool insert(const TableInfo &table, const RawRow &values, qint64 *newKey, QString *error) = 0;
    // Several rows of one table; an engine may send them in one request.
    virtual bool insertRows(const TableInfo &table, const QVector<RawRow> &rows, QString *error)
    {
        qint64 ignored = 0;
        for (const RawRow &row : rows)
            if (!insert(table, row, &ignored, error))
                return false;
        return true;
    }
    // *changed is false when no row has that key any more.
    virtual bool update(const TableInfo &table, qint64 key, const RawRow &values, bool *changed,
                        QString *error) = 0;
    virtual bool remove(const TableInfo &table, qint64 key, QString *error) = 0;

    // Writes go between begin() and commit(). begin() waits (up to
    // kBusyTimeoutMs) until no other workstation writes, and from then on the
    // transaction is the only writer: what it reads is what it writes over.
    virtual bool begin(QString *error) = 0;
    virtual bool commit(QString *error) = 0;
    virtual void rollback() = 0;
    // After a commit() that returned false: true when the transaction may
    // have been stored all the same (the connection dropped after the commit
    // was sent, before its answer came). The caller then reads again what is
    // stored before doing anything twice. False after any other commit();
    // a file archive always knows.
    virtual bool commitUncertain() const { return false; }
    // Inside a write transaction: holds the matching rows against every other
    // writer until commit (a counter read and moved in one step).
    virtual bool lockRows(const TableInfo &table, const QVector<Term> &terms, QString *error) = 0;

    // Copying whole archives (administration): rows written with their own
    // keys inside the caller's transaction, and the highest key ever given in
    // a table, which a copy carries so that no key is ever given twice.
    virtual bool insertKeyed(const TableInfo &table, const QVector<StoredRow> &rows, QString *error) = 0;
    virtual bool keyCeiling(const TableInfo &table, qint64 *out, QString *error) = 0;
    virtual bool raiseKeyCeiling(const TableInfo &table, qint64 ceiling, QString *error) = 0;
    // Makes the named tables of the program's schema, with their indexes,
    // inside the caller's write transaction: an archive made by an older
    // program lacks the newer tables.
    virtual bool addTables(const QStringList &names, QString *error) = 0;

    // Every text of table stored as bytes that are not UTF-8, in stored
    // order. An engine that checks the texts it stores holds none.
    virtual bool invalidTexts(const TableInfo &table, QVector<InvalidText> *found, QString *error)
    {
        Q_UNUSED(table);
        Q_UNUSED(error);
        found->clear();
        return true;
    }

    // Holds one read snapshot over several reads, so a command that asks many
    // small questions sees one state of the archive and pays the engine's
    // locking once. Does nothing inside a transaction already open; no write
    // may start while it lives.
    class ReadScope {
    public:
        explicit ReadScope(Store &store) : m_store(store), m_started(store.beginRead()) {}
        ~ReadScope()
        {
            if (m_started)
                m_store.endRead();
        }
        ReadScope(const ReadScope &) = delete;
        ReadScope &operator=(const ReadScope &) = delete;

    private:
        Store &m_store;
        bool m_started;
    };

    static constexpr int kBusyTimeoutMs = 15000;

protected:
    virtual bool beginRead() = 0;
    virtual void endRead() = 0;
};

// One write transaction, undone when it goes out of scope uncommitted.
class WriteTransaction {
public:
    explicit WriteTransaction(Store &store) : m_store(store) {}
    ~WriteTransaction()
    {
        if (m_open && !m_done)
            m_store.rollback();
    }
    WriteTransaction(const WriteTransaction &) = delete;
    WriteTransaction &operator=(const WriteTransaction &) = delete;
    bool begin(QString *error) { return m_open = m_store.begin(error); }
    bool commit(QString *error)
    {
        m_done = true;
        return m_store.commit(error);
    }

private:
    Store &m_store;
    bool m_open = false;
    bool m_done = false;
};

// Whether value (a criterion's text) equals stored, as every engine compares
// texts in a find: letter case ignored, ASCII-only texts by ASCII letters,
// others by Unicode simple case folding.
bool textMatches(const QString &stored, const QString &value);
bool isAsciiText(const QString &text);

// The statements of schema (an engine's schema file) that make the named
// tables and their indexes, letter case ignored, each ending with ';'.
QString schemaStatementsFor(const QString &schema, const QStringList &tables);
