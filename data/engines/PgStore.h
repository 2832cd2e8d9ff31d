// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive on a PostgreSQL server, through libpq. Everything that speaks
// PostgreSQL's dialect lives here.
//
// Writers take one transaction-scoped advisory lock at begin(), so writes are
// serialised as on the shared file and a check made inside a write
// transaction still holds when its row is written. Reads never wait for it.
// A connection lost between commands is made again by the next command.

#include "data/engines/PgConnect.h"
#include "data/engines/Store.h"

#include <functional>

struct pg_conn;

class PgStore : public Store {
public:
    PgStore();
    ~PgStore() override;
    PgStore(const PgStore &) = delete;
    PgStore &operator=(const PgStore &) = delete;

    // conninfo: a libpq connection string or URI, refused when it holds a
    // password. Passwords come from libpq's own means (pgpass, service file)
    // or the password prompt, and go only to a server verified as PgConnect
    // says; GSS, certificates and peer logins need none.
    bool open(const QString &conninfo, QString *error);
    void close() override;
    bool isOpen() const override { return m_conn != nullptr; }
    QString label() const override;
    pg_conn *handle() const { return m_conn; }
    // The connection string for pg_dump and pg_restore: the one this
    // connection was made with (bound to the same server, stored passwords
    // only), so they reach just what was verified.
    QString toolConninfo() const;

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
    bool insertRows(const TableInfo &table, const QVector<RawRow> &rows, QString *error) override;
    bool update(const TableInfo &table, qint64 key, const RawRow &values, bool *changed, QString *error) override;
    bool remove(const TableInfo &table, qint64 key, QString *error) override;
    bool begin(QString *error) override;
    bool commit(QString *error) override;
    // The connection dropped after COMMIT was sent and before its answer.
    bool commitUncertain() const override { return m_commitUncertain; }
    void rollback() override;
    bool lockRows(const TableInfo &table, const QVector<Term> &terms, QString *error) override;

    bool insertKeyed(const TableInfo &table, const QVector<StoredRow> &rows, QString *error) override;
    // Only the schema's owner may; every role that may write the projects
    // gets the same rights on the new tables.
    bool addTables(const QStringList &names, QString *error) override;
    bool keyCeiling(const TableInfo &table, qint64 *out, QString *error) override;
    bool raiseKeyCeiling(const TableInfo &table, qint64 ceiling, QString *error) override;

    // Runs statements with no parameters (schema, administration); false with
    // the engine's message on failure.
    bool execScript(const QString &sql, QString *error);
    // First column of the first row of a query with text parameters; a null
    // text when there is no row or the value is absent.
    QString scalar(const QString &sql, const QStringList &params, QString *error);
    // Rows in COPY text format into table (the administration tool's fast load).
    bool copyIn(const QString &table, const QStringList &columns, const QByteArray &data, QString *error);

    // Asked when the server wants a password that libpq's own means did not
    // give: where names the server and database; *remember asks to keep it in
    // the user's password file. False: the user gave up.
    using PasswordPrompt = std::function<bool(const QString &where, QString *password, bool *remember)>;
    static void setPasswordPrompt(PasswordPrompt prompt);

    // The program's check of the server: file is the user's own settings file
    // keeping the server this workstation has verified (the first it reached).
    // Every open then compares the server it reaches with it before any
    // password leaves, and goes on only if confirm (now, before) says so when
    // they differ. An empty file turns the check off (the administration
    // tool, whose user names the server on the command line).
    using ServerConfirm = std::function<bool(const QString &now, const QString &before)>;
    static void setKnownServer(const QString &file, ServerConfirm confirm);

    // Grants role exactly the rights the program needs on the archive's
    // tables: rows read and written, counters drawn, and what pg_dump needs
    // to back them up; no right to change the tables.
    bool grantRights(const QString &role, QString *error);

    // Which of the archive's tables (the six and the safety net's) the database holds (lower case).
    QStringList archiveTablesPresent(QString *error);
    // Creates the archive's tables; refused when the database holds any of them.
    bool createTables(QString *error);
    // The same on a connection of its own.
    static bool createArchive(const QString &conninfo, QString *error);
    // The connection string of a server archive file (Velbor.server): its
    // first non-empty line.
    static bool readServerFile(const QString &path, QString *conninfo, QString *error);
    // Appends host:port:database:user:password to the user's password file
    // (PGPASSFILE or ~/.pgpass), readable by the user only, spelled as libpq
    // looks it up (the default socket folder is "localhost" there).
    static bool rememberPassword(const QString &host, const QString &port, const QString &database,
                                 const QString &user, const QString &password, QString *error);

protected:
    bool beginRead() override;
    void endRead() override;

private:
    // Lost: the connection dropped inside a transaction; the server undid it,
    // and nothing runs until the caller ends it (commit or rollback).
    enum class Txn { None, Read, Write, Lost };
    struct Result;

    bool connect(const PgConnect::Options &options, const PgConnect::Server *expected, PgConnect::Server *seen,
                 QString *error);
    bool confirmServer(const PgConnect::Server &seen, QString *error);
    bool passwordOptions(const PgConnect::Server &seen, PgConnect::Options *options, QString *error) const;
    bool finishOpen(QString *error);
    bool prepareSession(QString *error);
    bool ensureConnection(QString *error);
    bool run(const QString &sql, const QVector<QByteArray> &params, const QVector<bool> &nulls, Result *out,
             QString *error);
    QString whereClause(const TableInfo &table, const QVector<Term> &terms, int firstParam, bool *folded) const;
    void bindTerms(const QVector<Term> &terms, QVector<QByteArray> *params, QVector<bool> *nulls) const;
    QString connectionError() const;

    QString m_conninfo;
    PgConnect::Options m_options;   // what the connection was made with
    PgConnect::Server m_server;     // who answered
    pg_conn *m_conn = nullptr;
    Txn m_txn = Txn::None;
    bool m_commitUncertain = false;
};
