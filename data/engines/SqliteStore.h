// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything that speaks the SQLite dialect lives here: opening the shared
// file, the pragmas, statement text, binding and reading rows. The rest of the
// data layer talks to this class only, so another engine can stand in its place.

#include "data/engines/Store.h"

#include <QHash>
#include <QSqlDatabase>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

class SqliteStore : public Store {
public:
    SqliteStore();
    ~SqliteStore() override;
    SqliteStore(const SqliteStore &) = delete;
    SqliteStore &operator=(const SqliteStore &) = delete;

    // Opens an existing file for shared use (never creates one) and probes it.
    bool open(const QString &path, QString *error);
    void close() override;
    bool isOpen() const override { return m_handle != nullptr; }
    QString label() const override { return m_path; }
    sqlite3 *handle() const { return m_handle; }

    QStringList tableNames(QString *error) override;
    bool describe(const QString &table, TableInfo *out, QString *error) override;
    bool select(const TableInfo &table, const QVector<Term> &terms, qint64 afterKey, int limit,
                QVector<StoredRow> *rows, QString *error) override;
    bool count(const TableInfo &table, qint64 *out, QString *error) override;
    bool readTexts(const TableInfo &table, const QVector<int> &columns, QVector<QString> *cells,
                   QString *error) override;
    bool maximum(const TableInfo &table, int column, const QVector<Term> &terms, QVariant *out,
                 QString *error) override;
    bool insert(const TableInfo &table, const RawRow &values, qint64 *newKey, QString *error) override;
    bool update(const TableInfo &table, qint64 key, const RawRow &values, bool *changed, QString *error) override;
    bool remove(const TableInfo &table, qint64 key, QString *error) override;

    // begin() takes the file's write lock at once.
    bool begin(QString *error) override;
    bool commit(QString *error) override;
    void rollback() override;
    // The write lock covers the whole file already.
    bool lockRows(const TableInfo &, const QVector<Term> &, QString *) override { return true; }

    bool insertKeyed(const TableInfo &table, const QVector<StoredRow> &rows, QString *error) override;
    bool keyCeiling(const TableInfo &table, qint64 *out, QString *error) override;
    bool raiseKeyCeiling(const TableInfo &table, qint64 ceiling, QString *error) override;
    // The file keeps whatever bytes a tool wrote into a text.
    bool invalidTexts(const TableInfo &table, QVector<InvalidText> *found, QString *error) override;

    // The engine's online backup into a new file at path: one read lock for
    // the whole copy, so writers only wait a moment and the copy is one state.
    // Inside a Store::ReadScope the copy is the scope's own snapshot, so the
    // scope's reads see exactly the state that was copied.
    bool backupTo(const QString &path, QString *error);

    bool addTables(const QStringList &names, QString *error) override;

    // Runs a statement with no parameters and no rows (schema, pragmas).
    bool execScript(const QString &sql, QString *error);

    // File layer for archives opened from now on (empty: SQLite's default).
    // The benchmark and tests use it to put a share's delays under the archive.
    static void setVfs(const QString &name);

    // Writes a new, empty archive with the schema at path.
    static bool createArchive(const QString &path, QString *error);

    // Page cache of one connection, in KiB: room for a large office's archive.
    static constexpr int kCacheKiB = 256 * 1024;
    // Pages of new archives: on a share the number of requests is what costs.
    static constexpr int kPageSize = 65536;

protected:
    bool beginRead() override;
    void endRead() override;

private:
    sqlite3_stmt *statement(const QString &sql, QString *error);
    bool bindTerms(sqlite3_stmt *stmt, const TableInfo &table, const QVector<Term> &terms, int first,
                   QString *error);
    QString whereClause(const TableInfo &table, const QVector<Term> &terms) const;
    QString engineError() const;
    QString pragmaText(const QString &sql, QString *error);

    QString m_connection;
    QString m_path;
    sqlite3 *m_handle = nullptr;
    QHash<QString, sqlite3_stmt *> m_statements;
};
