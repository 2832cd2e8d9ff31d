// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/PgStore.h"

#include "data/Files.h"
#include "data/engines/PgSql.h"
#include "schema_pg_sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <libpq-fe.h>
#include <pg_config_manual.h>

#include <limits>

#include <sys/stat.h>

namespace {


// Any constant: every workstation's writers queue on this one lock.
constexpr qint64 kWriteLock = 0x56656C626F72LL;

using PgSql::quoted;

using PgSql::trimmedMessage;

// The server's own words: its message, and its detail when it gave one.
QString resultMessage(const PGresult *res)
{
    const char *primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    if (!primary)
        return res ? trimmedMessage(PQresultErrorMessage(res)) : QString();
    QString message = trimmedMessage(primary);
    if (const char *detail = PQresultErrorField(res, PG_DIAG_MESSAGE_DETAIL))
        message += QLatin1Char('\n') + trimmedMessage(detail);
    return message;
}

// The archive's tables are made in lower case, the server's own spelling.
QString tableName(const TableInfo &table)
{
    return quoted(table.name.toLower());
}

// A pattern for LIKE that every text folding to value's fold matches: ASCII
// letters as themselves (lower case), anything else as one character, and the
// two ASCII letters that characters beyond ASCII fold to (s, k) as one
// character too. The exact comparison follows in textMatches().
QByteArray foldPattern(const QString &value)
{
    QByteArray pattern;
    for (char32_t c : value.toUcs4()) {
        char a = char(c);
        if (c >= 0x80 || a == 's' || a == 'S' || a == 'k' || a == 'K') {
            pattern += '_';
            continue;
        }
        if (a >= 'A' && a <= 'Z')
            a = char(a + 32);
        if (a == '%' || a == '_' || a == '\\')
            pattern += '\\';
        pattern += a;
    }
    return pattern;
}

QVariant cellValue(const PGresult *res, int row, int col)
{
    if (PQgetisnull(res, row, col))
        return {};
    const char *text = PQgetvalue(res, row, col);
    switch (PQftype(res, col)) {
    case 20: // int8
    case 21: // int2
    case 23: // int4
        return QVariant::fromValue<qint64>(QByteArray::fromRawData(text, PQgetlength(res, row, col)).toLongLong());
    case 16: // bool
        return QVariant::fromValue<qint64>(text[0] == 't' ? 1 : 0);
    case 700:  // float4
    case 701:  // float8
    case 1700: // numeric
        return QByteArray::fromRawData(text, PQgetlength(res, row, col)).toDouble();
    default:
        return textFromUtf8(text, PQgetlength(res, row, col));
    }
}

void appendValue(const QVariant &value, QVector<QByteArray> *params, QVector<bool> *nulls)
{
    if (!value.isValid() || value.isNull()) {
        params->append(QByteArray());
        nulls->append(true);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Bool:
        params->append(QByteArray::number(value.toLongLong()));
        break;
    case QMetaType::Double:
        params->append(QByteArray::number(value.toDouble(), 'g', 17));
        break;
    default:
        params->append(value.toString().toUtf8());
    }
    nulls->append(false);
}

} // namespace

struct PgStore::Result {
    PGresult *res = nullptr;
    ~Result() { PQclear(res); }
    int rows() const { return PQntuples(res); }
};

PgStore::PgStore() = default;

PgStore::~PgStore()
{
    close();
}

bool PgStore::prepareSession(QString *error)
{
    m_txn = Txn::None;
    // Dates travel as ISO texts, as the shared file stores them; a write that
    // finds rows locked waits as long as one on the shared file would; a
    // transaction left idle (a workstation stopped in the middle) frees its locks.
    const QString setup = QStringLiteral("SET DateStyle = 'ISO, YMD'; SET lock_timeout = %1; "
                                         "SET idle_in_transaction_session_timeout = 60000; "
                                         "SET standard_conforming_strings = on")
                              .arg(kBusyTimeoutMs);
    if (!execScript(setup, error))
        return false;
    const QString encoding = scalar(QStringLiteral("SHOW server_encoding"), {}, error);
    if (!error->isEmpty())
        return false;
    if (encoding != QLatin1String("UTF8")) {
        *error = QStringLiteral("Il database usa la codifica %1: Velbor richiede un database in UTF8.").arg(encoding);
        return false;
    }
    return true;
}

void PgStore::close()
{
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
    m_txn = Txn::None;
    m_options.clear();
    m_server = {};
}

QString PgStore::label() const
{
    if (!m_conn)
        return QStringLiteral("PostgreSQL");
    return QStringLiteral("PostgreSQL: %1 su %2").arg(QString::fromUtf8(PQdb(m_conn)),
                                                               QString::fromUtf8(PQhost(m_conn)));
}

bool PgStore::ensureConnection(QString *error)
{
    if (!m_conn) {
        *error = connectionError();
        return false;
    }
    if (m_txn == Txn::Lost) {
        *error = QStringLiteral("La connessione al server si è interrotta durante l'operazione: nulla è stato salvato.");
        return false;
    }
    if (PQstatus(m_conn) == CONNECTION_OK)
        return true;
    if (m_txn != Txn::None) {
        // Never a new connection in the middle of a transaction: its first
        // part is gone, the rest must not be written alone.
        m_txn = Txn::Lost;
        return ensureConnection(error);
    }
    // Lost between commands (server restarted, network dropped): made again
    // now, with what worked before and to the same server only.
    PgConnect::Server seen;
    if (!connect(m_options, &m_server, &seen, error))
        return false;
    return prepareSession(error);
}

bool PgStore::run(const QString &sql, const QVector<QByteArray> &params, const QVector<bool> &nulls, Result *out,
                  QString *error)
{
    const QByteArray text = sql.toUtf8();
    QVector<const char *> values(params.size());
    QVector<int> lengths(params.size());
    for (int i = 0; i < params.size(); ++i) {
        values[i] = nulls.value(i) ? nullptr : params[i].constData();
        lengths[i] = int(params[i].size());
    }
    // A read outside a transaction may be tried once more on a connection made
    // again; inside one, the server has already undone the work.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureConnection(error))
            return false;
        PQclear(out->res);
        // Without parameters the simple protocol runs several statements in one round trip.
        out->res = params.isEmpty() ? PQexec(m_conn, text.constData())
                                    : PQexecParams(m_conn, text.constData(), int(params.size()), nullptr,
                                                   values.constData(), lengths.constData(), nullptr, 0);
        const ExecStatusType status = PQresultStatus(out->res);
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK)
            return true;
        const bool lost = PQstatus(m_conn) != CONNECTION_OK;
        const QString message = resultMessage(out->res);
        *error = message.isEmpty() ? connectionError() : message;
        if (lost) {
            if (m_txn != Txn::None) {
                m_txn = Txn::Lost;
                return false;
            }
            if (attempt == 0)
                continue;
        }
        return false;
    }
    return false;
}

bool PgStore::execScript(const QString &sql, QString *error)
{
    if (!ensureConnection(error))
        return false;
    PGresult *res = PQexec(m_conn, sql.toUtf8().constData());
    const ExecStatusType status = PQresultStatus(res);
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!ok) {
        const QString message = resultMessage(res);
        *error = message.isEmpty() ? connectionError() : message;
    }
    PQclear(res);
    return ok;
}

QString PgStore::scalar(const QString &sql, const QStringList &params, QString *error)
{
    error->clear();
    QVector<QByteArray> values;
    QVector<bool> nulls;
    for (const QString &p : params)
        appendValue(p, &values, &nulls);
    Result r;
    if (!run(sql, values, nulls, &r, error) || r.rows() == 0 || PQnfields(r.res) == 0 || PQgetisnull(r.res, 0, 0))
        return {};
    return QString::fromUtf8(PQgetvalue(r.res, 0, 0));
}

bool PgStore::copyIn(const QString &table, const QStringList &columns, const QByteArray &data, QString *error)
{
    if (!ensureConnection(error))
        return false;
    QStringList names;
    for (const QString &c : columns)
        names.append(quoted(c));
    PGresult *res = PQexec(m_conn, QStringLiteral("COPY %1 (%2) FROM STDIN")
                                       .arg(quoted(table.toLower()), names.join(QLatin1Char(',')))
                                       .toUtf8()
                                       .constData());
    const bool started = PQresultStatus(res) == PGRES_COPY_IN;
    if (!started)
        *error = res ? resultMessage(res) : connectionError();
    PQclear(res);
    if (!started)
        return false;
    constexpr qsizetype kPiece = 1 << 20;
    bool sent = true;
    for (qsizetype at = 0; sent && at < data.size(); at += kPiece)
        sent = PQputCopyData(m_conn, data.constData() + at, int(std::min(kPiece, data.size() - at))) == 1;
    if (PQputCopyEnd(m_conn, sent ? nullptr : "interrotto") != 1)
        sent = false;
    bool ok = sent;
    while (PGresult *last = PQgetResult(m_conn)) {
        if (PQresultStatus(last) != PGRES_COMMAND_OK) {
            ok = false;
            *error = resultMessage(last);
        }
        PQclear(last);
    }
    if (!ok && error->isEmpty())
        *error = connectionError();
    return ok;
}

QStringList PgStore::tableNames(QString *error)
{
    // From the catalogue, which lists every table whatever the user may do
    // with it: a table the user may not read is there, and said so by describe().
    Result r;
    QStringList names;
    if (!run(QStringLiteral("SELECT c.relname FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = "
                            "c.relnamespace WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p')"),
             {}, {}, &r, error))
        return names;
    for (int i = 0; i < r.rows(); ++i)
        names.append(QString::fromUtf8(PQgetvalue(r.res, i, 0)));
    return names;
}

bool PgStore::describe(const QString &table, TableInfo *out, QString *error)
{
    Result r;
    if (!run(QStringLiteral("SELECT a.attname, format_type(a.atttypid, NULL), has_table_privilege(c.oid, 'SELECT') "
                            "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                            "JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid "
                            "WHERE n.nspname = current_schema() AND c.relname = $1 AND a.attnum > 0 "
                            "AND NOT a.attisdropped ORDER BY a.attnum"),
             {table.toUtf8()}, {false}, &r, error))
        return false;
    if (r.rows() > 0 && qstrcmp(PQgetvalue(r.res, 0, 2), "t") != 0) {
        const QString user = QString::fromUtf8(PQuser(m_conn));
        *error = QStringLiteral("Permesso negato: l'utente %1 non può leggere la tabella %2 dell'archivio (la tabella "
                                "c'è). L'amministratore del server concede i permessi con: velbor_admin permessi "
                                "CONNESSIONE %1")
                     .arg(user, table);
        return false;
    }
    out->name = table;
    out->columns.clear();
    for (int i = 0; i < r.rows(); ++i) {
        const QString name = QString::fromUtf8(PQgetvalue(r.res, i, 0));
        if (name.compare(kRowKey, Qt::CaseInsensitive) == 0)
            continue;
        const QString type = QString::fromUtf8(PQgetvalue(r.res, i, 1));
        FieldKind kind = FieldKind::Text;
        if (type == QLatin1String("integer") || type == QLatin1String("bigint") || type == QLatin1String("smallint"))
            kind = FieldKind::Number;
        else if (type == QLatin1String("date"))
            kind = FieldKind::Date;
        else if (type.startsWith(QLatin1String("timestamp")))
            kind = FieldKind::DateTime;
        else if (type == QLatin1String("text"))
            kind = FieldKind::Memo;
        out->columns.append({name, kind});
    }
    return true;
}

QString PgStore::whereClause(const TableInfo &table, const QVector<Term> &terms, int firstParam, bool *folded) const
{
    QString where;
    *folded = false;
    int n = firstParam;
    for (const Term &term : terms) {
        const Column &column = table.columns[term.column];
        QString name = quoted(column.name);
        if (column.kind == FieldKind::Date || column.kind == FieldKind::DateTime)
            name += QStringLiteral("::text");
        where += where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ");
        if (term.value.typeId() == QMetaType::LongLong) {
            where += QStringLiteral("%1 = $%2::bigint").arg(name).arg(n++);
        } else if (isAsciiText(term.value.toString())) {
            // lower() under the C collation folds ASCII letters only.
            where += QStringLiteral("lower(%1 COLLATE \"C\") = lower($%2::text COLLATE \"C\")").arg(name).arg(n++);
        } else {
            where += QStringLiteral("lower(%1 COLLATE \"C\") LIKE $%2::text").arg(name).arg(n++);
            *folded = true;
        }
    }
    return where;
}

void PgStore::bindTerms(const QVector<Term> &terms, QVector<QByteArray> *params, QVector<bool> *nulls) const
{
    for (const Term &term : terms) {
        if (term.value.typeId() == QMetaType::LongLong || isAsciiText(term.value.toString())) {
            appendValue(term.value, params, nulls);
        } else {
            params->append(foldPattern(term.value.toString()));
            nulls->append(false);
        }
    }
}

namespace {
bool rowMatches(const RawRow &values, const QVector<Term> &terms)
{
    for (const Term &term : terms) {
        if (term.value.typeId() == QMetaType::LongLong || isAsciiText(term.value.toString()))
            continue; // compared exactly by the server
        const QVariant &v = values[term.column];
        if (!v.isValid() || !textMatches(v.toString(), term.value.toString()))
            return false;
    }
    return true;
}
} // namespace

bool PgStore::select(const TableInfo &table, const QVector<Term> &terms, qint64 afterKey, int limit,
                     QVector<StoredRow> *rows, QString *error)
{
    QString columns = kRowKey;
    for (const Column &c : table.columns)
        columns += QLatin1Char(',') + quoted(c.name);
    bool folded = false;
    QString where = whereClause(table, terms, 2, &folded);
    where = (where.isEmpty() ? QStringLiteral(" WHERE ") : where + QStringLiteral(" AND "))
            + QStringLiteral("%1 > $1").arg(kRowKey);
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(columns, tableName(table)) + where
                  + QStringLiteral(" ORDER BY %1").arg(kRowKey);
    if (limit >= 0 && !folded)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    QVector<QByteArray> params{QByteArray::number(afterKey)};
    QVector<bool> nulls{false};
    bindTerms(terms, &params, &nulls);
    Result r;
    rows->clear();
    if (!run(sql, params, nulls, &r, error))
        return false;
    const int n = int(table.columns.size());
    for (int i = 0; i < r.rows(); ++i) {
        StoredRow row;
        row.key = QByteArray(PQgetvalue(r.res, i, 0)).toLongLong();
        row.values.resize(n);
        for (int c = 0; c < n; ++c)
            row.values[c] = cellValue(r.res, i, c + 1);
        if (folded && !rowMatches(row.values, terms))
            continue;
        rows->append(std::move(row));
        if (limit >= 0 && rows->size() >= limit)
            break;
    }
    return true;
}

bool PgStore::readTexts(const TableInfo &table, const QVector<int> &columns, QVector<QString> *cells,
                        QString *error)
{
    QString list;
    for (int c : columns)
        list += (list.isEmpty() ? QString() : QStringLiteral(",")) + quoted(table.columns[c].name);
    Result r;
    cells->clear();
    if (!run(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(list, tableName(table), kRowKey), {}, {}, &r,
             error))
        return false;
    const int rowCount = r.rows();
    const int n = int(columns.size());
    cells->reserve(qsizetype(rowCount) * n);
    for (int i = 0; i < rowCount; ++i)
        for (int c = 0; c < n; ++c)
            cells->append(PQgetisnull(r.res, i, c)
                              ? QString()
                              : textFromUtf8(PQgetvalue(r.res, i, c), PQgetlength(r.res, i, c)));
    return true;
}

bool PgStore::count(const TableInfo &table, qint64 *out, QString *error)
{
    Result r;
    if (!run(QStringLiteral("SELECT count(*) FROM %1").arg(tableName(table)), {}, {}, &r, error))
        return false;
    *out = QByteArray(PQgetvalue(r.res, 0, 0)).toLongLong();
    return true;
}

bool PgStore::maximum(const TableInfo &table, int column, const QVector<Term> &terms, QVariant *out,
                      QString *error)
{
    bool folded = false;
    const QString where = whereClause(table, terms, 1, &folded);
    if (folded) {
        // Texts beyond ASCII are compared here, so the maximum is too.
        QVector<StoredRow> rows;
        if (!select(table, terms, std::numeric_limits<qint64>::min(), -1, &rows, error))
            return false;
        *out = QVariant();
        for (const StoredRow &row : rows) {
            const QVariant &v = row.values[column];
            if (v.isValid() && (!out->isValid() || QVariant::compare(v, *out) == QPartialOrdering::Greater))
                *out = v;
        }
        return true;
    }
    QVector<QByteArray> params;
    QVector<bool> nulls;
    bindTerms(terms, &params, &nulls);
    Result r;
    if (!run(QStringLiteral("SELECT max(%1) FROM %2").arg(quoted(table.columns[column].name), tableName(table))
                 + where,
             params, nulls, &r, error))
        return false;
    *out = r.rows() ? cellValue(r.res, 0, 0) : QVariant();
    return true;
}

bool PgStore::insert(const TableInfo &table, const RawRow &values, qint64 *newKey, QString *error)
{
    // The new key comes after every key in the table and every key ever given
    // (rows copied in with their keys leave the sequence behind), so rows added
    // during a run walk last and a deleted key is never given again.
    const QString name = table.name.toLower();
    QString columns = kRowKey;
    QString marks = QStringLiteral("setval(pg_get_serial_sequence('%1','%2'), GREATEST(nextval(pg_get_serial_sequence('%1','%2')), "
                                   "(SELECT COALESCE(MAX(%2), 0) + 1 FROM %3)))")
                        .arg(name, kRowKey, quoted(name));
    QVector<QByteArray> params;
    QVector<bool> nulls;
    for (int i = 0; i < table.columns.size(); ++i) {
        columns += QLatin1Char(',') + quoted(table.columns[i].name);
        marks += QStringLiteral(",$") + QString::number(i + 1);
        appendValue(values.value(i), &params, &nulls);
    }
    Result r;
    if (!run(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
                 .arg(tableName(table), columns, marks, kRowKey),
             params, nulls, &r, error))
        return false;
    if (r.rows() != 1) {
        *error = QStringLiteral("L'archivio non ha aggiunto il record alla tabella %1.").arg(table.name);
        return false;
    }
    *newKey = QByteArray(PQgetvalue(r.res, 0, 0)).toLongLong();
    return true;
}

bool PgStore::insertRows(const TableInfo &table, const QVector<RawRow> &rows, QString *error)
{
    if (rows.isEmpty())
        return true;
    // Keys as insert() gives them, row after row, in one statement.
    const QString name = table.name.toLower();
    const QString key = QStringLiteral("setval(pg_get_serial_sequence('%1','%2'), GREATEST(nextval(pg_get_serial_sequence('%1','%2')), "
                                       "(SELECT COALESCE(MAX(%2), 0) + 1 FROM %3)))")
                            .arg(name, kRowKey, quoted(name));
    QString columns = kRowKey;
    for (const Column &c : table.columns)
        columns += QLatin1Char(',') + quoted(c.name);
    QStringList tuples;
    QVector<QByteArray> params;
    QVector<bool> nulls;
    for (const RawRow &row : rows) {
        QString marks = key;
        for (int i = 0; i < table.columns.size(); ++i) {
            appendValue(row.value(i), &params, &nulls);
            marks += QStringLiteral(",$") + QString::number(params.size());
        }
        tuples.append(QLatin1Char('(') + marks + QLatin1Char(')'));
    }
    Result r;
    if (!run(QStringLiteral("INSERT INTO %1 (%2) VALUES %3").arg(tableName(table), columns, tuples.join(QLatin1Char(','))),
             params, nulls, &r, error))
        return false;
    if (QByteArray(PQcmdTuples(r.res)).toLongLong() != rows.size()) {
        *error = QStringLiteral("L'archivio non ha aggiunto le righe alla tabella %1.").arg(table.name);
        return false;
    }
    return true;
}

bool PgStore::update(const TableInfo &table, qint64 key, const RawRow &values, bool *changed, QString *error)
{
    QString sets;
    QVector<QByteArray> params;
    QVector<bool> nulls;
    for (int i = 0; i < table.columns.size(); ++i) {
        sets += (i ? QStringLiteral(",") : QString()) + quoted(table.columns[i].name) + QStringLiteral("=$")
                + QString::number(i + 1);
        appendValue(values.value(i), &params, &nulls);
    }
    params.append(QByteArray::number(key));
    nulls.append(false);
    Result r;
    if (!run(QStringLiteral("UPDATE %1 SET %2 WHERE %3=$%4")
                 .arg(tableName(table), sets, kRowKey)
                 .arg(table.columns.size() + 1),
             params, nulls, &r, error))
        return false;
    const int rows = QByteArray(PQcmdTuples(r.res)).toInt();
    if (rows > 1) {
        *error = QStringLiteral("L'archivio ha modificato %1 record della tabella %2 invece di uno.").arg(rows).arg(table.name);
        return false;
    }
    *changed = rows == 1;
    return true;
}

bool PgStore::remove(const TableInfo &table, qint64 key, QString *error)
{
    Result r;
    if (!run(QStringLiteral("DELETE FROM %1 WHERE %2=$1").arg(tableName(table), kRowKey), {QByteArray::number(key)},
             {false}, &r, error))
        return false;
    if (QByteArray(PQcmdTuples(r.res)).toInt() != 1) {
        *error = QStringLiteral("Il record non esiste più nella tabella %1: è stato eliminato da un'altra postazione.")
                     .arg(table.name);
        return false;
    }
    return true;
}

bool PgStore::lockRows(const TableInfo &table, const QVector<Term> &terms, QString *error)
{
    bool folded = false;
    const QString where = whereClause(table, terms, 1, &folded);
    QVector<QByteArray> params;
    QVector<bool> nulls;
    bindTerms(terms, &params, &nulls);
    Result r;
    return run(QStringLiteral("SELECT %1 FROM %2").arg(kRowKey, tableName(table)) + where
                   + QStringLiteral(" FOR UPDATE"),
               params, nulls, &r, error);
}

bool PgStore::begin(QString *error)
{
    if (m_txn != Txn::None) {
        *error = QStringLiteral("Una transazione è già aperta sull'archivio.");
        return false;
    }
    Result r;
    if (!run(QStringLiteral("BEGIN; SELECT pg_advisory_xact_lock(%1)").arg(kWriteLock), {}, {}, &r, error)) {
        if (r.res && qstrcmp(PQresultErrorField(r.res, PG_DIAG_SQLSTATE), "55P03") == 0)
            *error = QStringLiteral("Un'altra postazione sta salvando da più di %1 secondi: operazione non "
                                    "eseguita, riprovare. (%2)")
                         .arg(kBusyTimeoutMs / 1000)
                         .arg(*error);
        // BEGIN may have run before the lock's wait ran out.
        m_txn = Txn::Write;
        rollback();
        return false;
    }
    m_txn = Txn::Write;
    return true;
}

bool PgStore::commit(QString *error)
{
    m_commitUncertain = false;
    if (m_txn != Txn::Write) {
        const bool lost = m_txn == Txn::Lost;
        rollback();
        *error = lost ? QStringLiteral("La connessione al server si è interrotta durante l'operazione: nulla è "
                                       "stato salvato.")
                      : QStringLiteral("Nessuna transazione aperta sull'archivio.");
        return false;
    }
    Result r;
    const bool connected = m_conn && PQstatus(m_conn) == CONNECTION_OK;
    const bool ran = run(QStringLiteral("COMMIT"), {}, {}, &r, error);
    m_txn = Txn::None;
    if (!ran) {
        // The COMMIT went out on a live connection and no answer came back:
        // the server may have stored the transaction before the line dropped.
        if (connected && PQstatus(m_conn) != CONNECTION_OK) {
            m_commitUncertain = true;
            *error = QStringLiteral("La connessione al server si è interrotta durante il salvataggio: non è certo "
                                    "che sia stato registrato. Rileggere i dati prima di ripetere l'operazione. (%1)")
                         .arg(*error);
        }
        return false;
    }
    // A transaction that failed earlier answers COMMIT with ROLLBACK.
    if (qstrcmp(PQcmdStatus(r.res), "COMMIT") != 0) {
        *error = QStringLiteral("Il server ha annullato la transazione: nulla è stato salvato.");
        return false;
    }
    return true;
}

void PgStore::rollback()
{
    if (m_conn && (m_txn == Txn::Write || m_txn == Txn::Read) && PQstatus(m_conn) == CONNECTION_OK)
        PQclear(PQexec(m_conn, "ROLLBACK"));
    m_txn = Txn::None;
}

bool PgStore::beginRead()
{
    if (m_txn != Txn::None)
        return false;
    Result r;
    QString error;
    if (!run(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), {}, {}, &r, &error))
        return false;
    m_txn = Txn::Read;
    return true;
}

void PgStore::endRead()
{
    if (m_txn == Txn::Read || m_txn == Txn::Lost)
        rollback();
}
