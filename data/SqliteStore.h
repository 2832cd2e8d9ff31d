#pragma once
// Everything that speaks the SQLite dialect lives here: opening the shared
// file, the pragmas, statement text, binding and reading rows. The rest of the
// data layer talks to this class only, so another engine can stand in its place.

#include "Criterion.h"
#include "Schema.h"

#include <QHash>
#include <QSqlDatabase>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

// One stored row: its hidden key and the values of the table's columns in
// order. An invalid QVariant is an absent value; others hold qint64, double
// or QString as the engine stored them.
using RawRow = QVector<QVariant>;
struct StoredRow {
    qint64 key = 0;
    RawRow values;
};

class SqliteStore {
public:
    SqliteStore();
    ~SqliteStore();
    SqliteStore(const SqliteStore &) = delete;
    SqliteStore &operator=(const SqliteStore &) = delete;

    // Opens an existing file for shared use (never creates one) and probes it.
    bool open(const QString &path, QString *error);
    void close();
    bool isOpen() const { return m_handle != nullptr; }
    sqlite3 *handle() const { return m_handle; }

    QStringList tableNames(QString *error);
    bool describe(const QString &table, TableInfo *out, QString *error);

    // Rows matching every term, with a key above afterKey, in stored order;
    // limit < 0 means all of them.
    bool select(const TableInfo &table, const QVector<Term> &terms, qint64 afterKey, int limit,
                QVector<StoredRow> *rows, QString *error);
    bool count(const TableInfo &table, qint64 *out, QString *error);
    // The named columns of every row, in stored order, as texts (numbers in
    // decimal, absent values as null texts), row after row in one flat vector.
    // The fast path for walks that fill lists and trees.
    bool readTexts(const TableInfo &table, const QVector<int> &columns, QVector<QString> *cells, QString *error);
    bool maximum(const TableInfo &table, int column, const QVector<Term> &terms, QVariant *out,
                 QString *error);

    bool insert(const TableInfo &table, const RawRow &values, qint64 *newKey, QString *error);
    // *changed is false when no row has that key any more.
    bool update(const TableInfo &table, qint64 key, const RawRow &values, bool *changed, QString *error);
    bool remove(const TableInfo &table, qint64 key, QString *error);

    // Writes go between begin() and commit(); begin takes the write lock at once.
    bool begin(QString *error);
    bool commit(QString *error);
    void rollback();

    // Holds one read snapshot (and one shared lock) over several reads, so a
    // command that asks many small questions pays the file's locking once.
    // Does nothing inside a transaction already open; no write may start
    // while it lives.
    class ReadScope {
    public:
        explicit ReadScope(SqliteStore &store);
        ~ReadScope();
        ReadScope(const ReadScope &) = delete;
        ReadScope &operator=(const ReadScope &) = delete;

    private:
        SqliteStore &m_store;
        bool m_started = false;
    };

    // Runs a statement with no parameters and no rows (schema, pragmas).
    bool execScript(const QString &sql, QString *error);

    // File layer for archives opened from now on (empty: SQLite's default).
    // The benchmark and tests use it to put a share's delays under the archive.
    static void setVfs(const QString &name);

    // Writes a new, empty archive with the schema at path.
    static bool createArchive(const QString &path, QString *error);

    static constexpr int kBusyTimeoutMs = 15000;
    // Page cache of one connection, in KiB: room for a large office's archive.
    static constexpr int kCacheKiB = 256 * 1024;
    // Pages of new archives: on a share the number of requests is what costs.
    static constexpr int kPageSize = 65536;

private:
    sqlite3_stmt *statement(const QString &sql, QString *error);
    bool bindTerms(sqlite3_stmt *stmt, const TableInfo &table, const QVector<Term> &terms, int first,
                   QString *error);
    QString whereClause(const TableInfo &table, const QVector<Term> &terms) const;
    QString engineError() const;
    QString pragmaText(const QString &sql, QString *error);

    QString m_connection;
    sqlite3 *m_handle = nullptr;
    QHash<QString, sqlite3_stmt *> m_statements;
};
