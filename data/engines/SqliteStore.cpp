// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/SqliteStore.h"

#include "schema_sql.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>

namespace {

QAtomicInt g_connectionSerial;

QString quoted(const QString &identifier)
{
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}


// Case folding for texts beyond ASCII, registered on each connection (never in
// the schema, so any sqlite3 tool can still read and write the file).
void foldFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *data = static_cast<const char16_t *>(sqlite3_value_text16(argv[0]));
    const int bytes = sqlite3_value_bytes16(argv[0]);
    const QString folded = QString::fromUtf16(data, bytes / 2).toCaseFolded();
    sqlite3_result_text16(ctx, folded.utf16(), int(folded.size() * 2), SQLITE_TRANSIENT);
}

QVariant columnValue(sqlite3_stmt *stmt, int i)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        return QVariant::fromValue<qint64>(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, i);
    case SQLITE_NULL:
        return {};
    case SQLITE_BLOB:
        return textFromUtf8(static_cast<const char *>(sqlite3_column_blob(stmt, i)), sqlite3_column_bytes(stmt, i));
    default: {
        // UTF-8 is how the file stores text; Qt's decoder beats the engine's UTF-16 conversion.
        const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
        const int bytes = sqlite3_column_bytes(stmt, i);
        return data ? textFromUtf8(data, bytes) : QString(QLatin1String(""));
    }
    }
}

int bindValue(sqlite3_stmt *stmt, int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return sqlite3_bind_null(stmt, index);
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Bool:
        return sqlite3_bind_int64(stmt, index, value.toLongLong());
    case QMetaType::Double:
        return sqlite3_bind_double(stmt, index, value.toDouble());
    default: {
        const QString text = value.toString();
        // The engine takes a leading U+FEFF of a UTF-16 text for a byte order
        // mark and drops it; as UTF-8 it is kept.
        if (text.startsWith(QChar(0xFEFF))) {
            const QByteArray utf8 = text.toUtf8();
            return sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
        return sqlite3_bind_text16(stmt, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
    }
    }
}

// Where the first byte that breaks UTF-8 is (RFC 3629: no overlong forms, no
// surrogates, nothing past U+10FFFF); -1 when there is none.
qsizetype firstNonUtf8(const unsigned char *p, qsizetype n)
{
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned char low = 0x80, high = 0xBF;   // range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0)
                low = 0xA0;
            else if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0)
                low = 0x90;
            else if (c == 0xF4)
                high = 0x8F;
        } else {
            return i;
        }
        if (n - i <= more || p[i + 1] < low || p[i + 1] > high)
            return i;
        for (int k = 2; k <= more; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return i;
        i += more + 1;
    }
    return -1;
}

// Resets a statement when leaving scope, so no read lock outlives a call.
struct StatementReset {
    sqlite3_stmt *stmt;
    ~StatementReset()
    {
        if (stmt) {
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
        }
    }
};

} // namespace

SqliteStore::SqliteStore()
    : m_connection(QStringLiteral("velbor-%1").arg(g_connectionSerial.fetchAndAddRelaxed(1)))
{
}

namespace {
QString g_vfs;
}

void SqliteStore::setVfs(const QString &name)
{
    g_vfs = name;
}

SqliteStore::~SqliteStore()
{
    close();
}

QString SqliteStore::engineError() const
{
    return m_handle ? QString::fromUtf8(sqlite3_errmsg(m_handle)) : QStringLiteral("archivio non aperto");
}

bool SqliteStore::open(const QString &path, QString *error)
{
    close();
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("Il file %1 non esiste o non è un file.").arg(path);
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        // mode=rw: an existing file only; SQLite falls back to read-only when the
        // file is write-protected, and writes then fail with its own message.
        db.setDatabaseName(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)
                           + QStringLiteral("?mode=rw") + (g_vfs.isEmpty() ? QString() : QStringLiteral("&vfs=") + g_vfs));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        if (!db.open()) {
            *error = db.lastError().databaseText().isEmpty() ? db.lastError().text()
                                                             : db.lastError().databaseText();
            close();
            return false;
        }
        const QVariant h = db.driver()->handle();
        if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0) {
            *error = QStringLiteral("Il driver SQLite non espone la connessione.");
            close();
            return false;
        }
        m_handle = *static_cast<sqlite3 *const *>(h.data());
    }
    m_path = path;
    sqlite3_busy_timeout(m_handle, kBusyTimeoutMs);
    sqlite3_create_function_v2(m_handle, "velbor_fold", 1, SQLITE_UTF16 | SQLITE_DETERMINISTIC, nullptr,
                               foldFunction, nullptr, nullptr, nullptr);

    // The first statement is the probe: a file that is not a database fails here.
    // WAL needs shared memory on one host, so it is never used on a shared folder.
    const QString mode = pragmaText(QStringLiteral("PRAGMA journal_mode=DELETE"), error);
    if (!error->isEmpty()) {
        close();
        return false;
    }
    if (mode.compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0) {
        *error = QStringLiteral("Impossibile impostare il giornale dell'archivio (modo attuale: %1).").arg(mode);
        close();
        return false;
    }
    // On a share every page read is a round trip: the whole archive of a large
    // office stays cached, and is read again only after another workstation wrote.
    if (!execScript(QStringLiteral("PRAGMA synchronous=FULL;PRAGMA cache_size=-%1").arg(kCacheKiB), error)) {
        close();
        return false;
    }
    // A file shorter than its pages is truncated (a hot journal has been
    // rolled back by the probe above, so the count is the real one).
    const qint64 pages = pragmaText(QStringLiteral("PRAGMA page_count"), error).toLongLong();
    const qint64 pageSize = error->isEmpty() ? pragmaText(QStringLiteral("PRAGMA page_size"), error).toLongLong() : 0;
    if (!error->isEmpty()) {
        close();
        return false;
    }
    if (QFileInfo(path).size() < pages * pageSize) {
        *error = QStringLiteral("L'archivio è danneggiato: il file è più corto del suo contenuto (troncato).");
        close();
        return false;
    }
    // The program's schema has no triggers: one could drop a save silently or
    // hold the archive's lock for ever.
    const QString triggers =
        pragmaText(QStringLiteral("SELECT group_concat(name, ', ') FROM sqlite_master WHERE type='trigger'"), error);
    if (!error->isEmpty()) {
        close();
        return false;
    }
    if (!triggers.isEmpty()) {
        *error = QStringLiteral("L'archivio contiene trigger (%1) che Velbor non usa e che possono alterare "
                                "o bloccare i salvataggi: l'archivio non viene aperto.")
                     .arg(triggers);
        close();
        return false;
    }
    return true;
}

void SqliteStore::close()
{
    for (sqlite3_stmt *stmt : std::as_const(m_statements))
        sqlite3_finalize(stmt);
    m_statements.clear();
    m_handle = nullptr;
    m_path.clear();
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

QString SqliteStore::pragmaText(const QString &sql, QString *error)
{
    error->clear();
    sqlite3_stmt *stmt = statement(sql, error);
    if (!stmt)
        return {};
    StatementReset reset{stmt};
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        return columnValue(stmt, 0).toString();
    if (rc != SQLITE_DONE)
        *error = engineError();
    return {};
}

sqlite3_stmt *SqliteStore::statement(const QString &sql, QString *error)
{
    if (!m_handle) {
        *error = engineError();
        return nullptr;
    }
    if (sqlite3_stmt *cached = m_statements.value(sql))
        return cached;
    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v3(m_handle, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &stmt,
                           nullptr) != SQLITE_OK) {
        *error = engineError();
        sqlite3_finalize(stmt);
        return nullptr;
    }
    m_statements.insert(sql, stmt);
    return stmt;
}

bool SqliteStore::execScript(const QString &sql, QString *error)
{
    if (!m_handle) {
        *error = engineError();
        return false;
    }
    char *message = nullptr;
    if (sqlite3_exec(m_handle, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        *error = message ? QString::fromUtf8(message) : engineError();
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool SqliteStore::addTables(const QStringList &names, QString *error)
{
    return execScript(schemaStatementsFor(QString::fromUtf8(kSchemaSql), names), error);
}

QStringList SqliteStore::tableNames(QString *error)
{
    QStringList names;
    sqlite3_stmt *stmt = statement(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"), error);
    if (!stmt)
        return names;
    StatementReset reset{stmt};
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        names.append(columnValue(stmt, 0).toString());
    if (rc != SQLITE_DONE)
        *error = engineError();
    return names;
}

bool SqliteStore::describe(const QString &table, TableInfo *out, QString *error)
{
    sqlite3_stmt *stmt = statement(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(table)), error);
    if (!stmt)
        return false;
    StatementReset reset{stmt};
    out->name = table;
    out->columns.clear();
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const QString name = columnValue(stmt, 1).toString();
        if (name.compare(kRowKey, Qt::CaseInsensitive) == 0)
            continue;
        out->columns.append({name, kindFromDeclaredType(columnValue(stmt, 2).toString())});
    }
    if (rc != SQLITE_DONE) {
        *error = engineError();
        return false;
    }
    return true;
}

QString SqliteStore::whereClause(const TableInfo &table, const QVector<Term> &terms) const
{
    QString where = QStringLiteral(" WHERE %1 > ?").arg(kRowKey);
    for (const Term &term : terms) {
        const QString column = quoted(table.columns[term.column].name);
        if (term.value.typeId() == QMetaType::LongLong)
            where += QStringLiteral(" AND %1 = ?").arg(column);
        else if (isAsciiText(term.value.toString()))
            where += QStringLiteral(" AND %1 = ? COLLATE NOCASE").arg(column);
        else
            where += QStringLiteral(" AND velbor_fold(%1) = ?").arg(column);
    }
    return where;
}

bool SqliteStore::bindTerms(sqlite3_stmt *stmt, const TableInfo &, const QVector<Term> &terms, int first,
                            QString *error)
{
    int index = first;
    for (const Term &term : terms) {
        QVariant value = term.value;
        if (value.typeId() != QMetaType::LongLong && !isAsciiText(value.toString()))
            value = value.toString().toCaseFolded();
        if (bindValue(stmt, index++, value) != SQLITE_OK) {
            *error = engineError();
            return false;
        }
    }
    return true;
}

bool SqliteStore::select(const TableInfo &table, const QVector<Term> &terms, qint64 afterKey, int limit,
                         QVector<StoredRow> *rows, QString *error)
{
    QString columns = kRowKey;
    for (const Column &c : table.columns)
        columns += QLatin1Char(',') + quoted(c.name);
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(columns, quoted(table.name)) + whereClause(table, terms)
                  + QStringLiteral(" ORDER BY %1").arg(kRowKey);
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    sqlite3_stmt *stmt = statement(sql, error);
    if (!stmt)
        return false;
    StatementReset reset{stmt};
    sqlite3_bind_int64(stmt, 1, afterKey);
    if (!bindTerms(stmt, table, terms, 2, error))
        return false;
    rows->clear();
    const int n = int(table.columns.size());
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        StoredRow row;
        row.key = sqlite3_column_int64(stmt, 0);
        row.values.resize(n);
        for (int i = 0; i < n; ++i)
            row.values[i] = columnValue(stmt, i + 1);
        rows->append(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        *error = engineError();
        rows->clear();
        return false;
    }
    return true;
}

bool SqliteStore::readTexts(const TableInfo &table, const QVector<int> &columns, QVector<QString> *cells,
                            QString *error)
{
    QString list;
    for (int c : columns)
        list += (list.isEmpty() ? QString() : QStringLiteral(",")) + quoted(table.columns[c].name);
    sqlite3_stmt *stmt = statement(
        QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(list, quoted(table.name), kRowKey), error);
    if (!stmt)
        return false;
    StatementReset reset{stmt};
    cells->clear();
    const int n = int(columns.size());
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) {
            const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
            cells->append(data ? textFromUtf8(data, sqlite3_column_bytes(stmt, i)) : QString());
        }
    }
    if (rc != SQLITE_DONE) {
        *error = engineError();
        cells->clear();
        return false;
    }
    return true;
}

bool SqliteStore::count(const TableInfo &table, qint64 *out, QString *error)
{
    sqlite3_stmt *stmt = statement(QStringLiteral("SELECT COUNT(*) FROM %1").arg(quoted(table.name)), error);
    if (!stmt)
        return false;
    StatementReset reset{stmt};
    if (sqlite3_step(stmt) != SQLITE_ROW) {
        *error = engineError();
        return false;
    }
    *out = sqlite3_column_int64(stmt, 0);
    return true;
}

bool SqliteStore::maximum(const TableInfo &table, int column, const QVector<Term> &terms, QVariant *out,
                          QString *error)
{
    const QString sql = QStringLiteral("SELECT MAX(%1) FROM %2").arg(quoted(table.columns[column].name),
                                                                     quoted(table.name))
                        + whereClause(table, terms);
    sqlite3_stmt *stmt = statement(sql, error);
    if (!stmt)
        return false;
    StatementReset reset{stmt};
    sqlite3_bind_int64(stmt, 1, std::numeric_limits<qint64>::min());
    if (!bindTerms(stmt, table, terms, 2, error))
        return false;
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) {
        *out = QVariant();
        return true;
    }
    if (rc != SQLITE_ROW) {
        *error = engineError();
        return false;
    }
    *out = columnValue(stmt, 0);
    return true;
}

bool SqliteStore::insert(const TableInfo &table, const RawRow &values, qint64 *newKey, QString *error)
{
    QString columns, marks;
    for (int i = 0; i < table.columns.size(); ++i) {
        columns += (i ? QStringLiteral(",") : QString()) + quoted(table.columns[i].name);
        marks += i ? QStringLiteral(",?") : QStringLiteral("?");
    }
    sqlite3_stmt *stmt = statement(
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(quoted(table.name), columns, marks), error);
    if (!stmt)
        return false;
    StatementReset reset{stmt};
    for (int i = 0; i < values.size(); ++i)
        bindValue(stmt, i + 1, values[i]);
    if (sqlite3_step(stmt) != SQLITE_DONE) {
        *error = engineError();
        return false;
    }
    if (sqlite3_changes(m_handle) != 1) {
        *error = QStringLiteral("L'archivio non ha aggiunto il record alla tabella %1.").arg(table.name);
        return false;
    }
    *newKey = sqlite3_last_insert_rowid(m_handle);
    return true;
}

bool SqliteStore::update(const TableInfo &table, qint64 key, const RawRow &values, bool *changed,
                         QString *error)
{
    QString sets;
    for (int i = 0; i < table.columns.size(); ++i)
        sets += (i ? QStringLiteral(",") : QString()) + quoted(table.columns[i].name) + QStringLiteral("=?");
    sqlite3_stmt *stmt = statement(
        QStringLiteral("UPDATE %1 SET %2 WHERE %3=?").arg(quoted(table.name), sets, kRowKey), error);
    if (!stmt)
        return false;
    StatementReset reset{stmt};
    for (int i = 0; i < values.size(); ++i)
        bindValue(stmt, i + 1, values[i]);
    sqlite3_bind_int64(stmt, int(values.size()) + 1, key);
    if (sqlite3_step(stmt) != SQLITE_DONE) {
        *error = engineError();
        return false;
    }
    const int rows = sqlite3_changes(m_handle);
    if (rows > 1) {
        *error = QStringLiteral("L'archivio ha modificato %1 record della tabella %2 invece di uno.").arg(rows).arg(table.name);
        return false;
    }
    *changed = rows == 1;
    return true;
}

bool SqliteStore::remove(const TableInfo &table, qint64 key, QString *error)
{
    sqlite3_stmt *stmt =
        statement(QStringLiteral("DELETE FROM %1 WHERE %2=?").arg(quoted(table.name), kRowKey), error);
    if (!stmt)
        return false;
    StatementReset reset{stmt};
    sqlite3_bind_int64(stmt, 1, key);
    if (sqlite3_step(stmt) != SQLITE_DONE) {
        *error = engineError();
        return false;
    }
    if (sqlite3_changes(m_handle) != 1) {
        *error = QStringLiteral("Il record non esiste più nella tabella %1: è stato eliminato da un'altra postazione.")
                     .arg(table.name);
        return false;
    }
    return true;
}

bool SqliteStore::beginRead()
{
    QString error;
    return m_handle && sqlite3_get_autocommit(m_handle) && execScript(QStringLiteral("BEGIN"), &error);
}

void SqliteStore::endRead()
{
    if (m_handle && !sqlite3_get_autocommit(m_handle))
        sqlite3_exec(m_handle, "COMMIT", nullptr, nullptr, nullptr);
}

bool SqliteStore::begin(QString *error)
{
    return execScript(QStringLiteral("BEGIN IMMEDIATE"), error);
}

bool SqliteStore::commit(QString *error)
{
    if (execScript(QStringLiteral("COMMIT"), error))
        return true;
    rollback();
    return false;
}

void SqliteStore::rollback()
{
    if (m_handle && !sqlite3_get_autocommit(m_handle))
        sqlite3_exec(m_handle, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SqliteStore::createArchive(const QString &path, QString *error)
{
    if (QFileInfo::exists(path)) {
        *error = QStringLiteral("Il file %1 esiste già.").arg(path);
        return false;
    }
    sqlite3 *db = nullptr;
    const QByteArray name = path.toUtf8();
    if (sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return false;
    }
    char *message = nullptr;
    const int rc = sqlite3_exec(db, (QByteArray("PRAGMA page_size=") + QByteArray::number(kPageSize) + ";PRAGMA journal_mode=DELETE;BEGIN;" + kSchemaSql + "COMMIT;").constData(),
                                nullptr, nullptr, &message);
    if (rc != SQLITE_OK)
        *error = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    sqlite3_close(db);
    return rc == SQLITE_OK;
}

bool SqliteStore::insertKeyed(const TableInfo &table, const QVector<StoredRow> &rows, QString *error)
{
    QString columns = kRowKey, marks = QStringLiteral("?");
    for (const Column &c : table.columns) {
        columns += QLatin1Char(',') + quoted(c.name);
        marks += QStringLiteral(",?");
    }
    sqlite3_stmt *stmt = statement(
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(quoted(table.name), columns, marks), error);
    if (!stmt)
        return false;
    StatementReset reset{stmt};
    for (const StoredRow &row : rows) {
        sqlite3_reset(stmt);
        sqlite3_bind_int64(stmt, 1, row.key);
        for (int i = 0; i < table.columns.size(); ++i)
            bindValue(stmt, i + 2, row.values.value(i));
        if (sqlite3_step(stmt) != SQLITE_DONE) {
            *error = engineError();
            return false;
        }
    }
    return true;
}

bool SqliteStore::keyCeiling(const TableInfo &table, qint64 *out, QString *error)
{
    error->clear();
    const QString max = pragmaText(QStringLiteral("SELECT COALESCE(MAX(%1), 0) FROM %2").arg(kRowKey, quoted(table.name)), error);
    if (!error->isEmpty())
        return false;
    QString given = pragmaText(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = '%1'").arg(table.name), error);
    if (!error->isEmpty())
        return false;
    *out = std::max(max.toLongLong(), given.toLongLong());
    return true;
}

bool SqliteStore::raiseKeyCeiling(const TableInfo &table, qint64 ceiling, QString *error)
{
    // sqlite_sequence holds one row per table once a key was given.
    return execScript(QStringLiteral("INSERT INTO sqlite_sequence(name, seq) SELECT '%1', 0 WHERE NOT EXISTS "
                                     "(SELECT 1 FROM sqlite_sequence WHERE name = '%1');"
                                     "UPDATE sqlite_sequence SET seq = MAX(seq, %2) WHERE name = '%1'")
                          .arg(table.name)
                          .arg(ceiling),
                      error);
}

bool SqliteStore::invalidTexts(const TableInfo &table, QVector<InvalidText> *found, QString *error)
{
    found->clear();
    QString columns = kRowKey;
    for (const Column &c : table.columns)
        columns += QLatin1Char(',') + quoted(c.name);
    sqlite3_stmt *stmt = statement(
        QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(columns, quoted(table.name), kRowKey), error);
    if (!stmt)
        return false;
    StatementReset reset{stmt};
    qint64 row = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        ++row;
        for (int i = 0; i < table.columns.size(); ++i) {
            const int type = sqlite3_column_type(stmt, i + 1);
            if (type != SQLITE_TEXT && type != SQLITE_BLOB)
                continue;
            // As stored: the file's texts are UTF-8, so the engine converts nothing.
            const auto *data = static_cast<const unsigned char *>(type == SQLITE_TEXT ? sqlite3_column_text(stmt, i + 1)
                                                                                      : sqlite3_column_blob(stmt, i + 1));
            const int bytes = sqlite3_column_bytes(stmt, i + 1);
            const qsizetype at = data ? firstNonUtf8(data, bytes) : -1;
            if (at >= 0)
                found->append({row, sqlite3_column_int64(stmt, 0), table.columns[i].name,
                               QByteArray(reinterpret_cast<const char *>(data), bytes), at});
        }
    }
    if (rc != SQLITE_DONE) {
        *error = engineError();
        found->clear();
        return false;
    }
    return true;
}

bool SqliteStore::backupTo(const QString &path, QString *error)
{
    if (!m_handle) {
        *error = engineError();
        return false;
    }
    // Inside a read scope the copy is the scope's snapshot: its read begins
    // here when no read has begun it yet, and the engine's backup reads through
    // a read transaction it finds open on the source instead of opening its own.
    if (!sqlite3_get_autocommit(m_handle) && sqlite3_txn_state(m_handle, "main") == SQLITE_TXN_NONE) {
        pragmaText(QStringLiteral("PRAGMA schema_version"), error);
        if (!error->isEmpty())
            return false;
    }
    sqlite3 *target = nullptr;
    bool ok = sqlite3_open_v2(QFile::encodeName(path).constData(), &target,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
              == SQLITE_OK;
    if (ok) {
        sqlite3_backup *b = sqlite3_backup_init(target, "main", m_handle, "main");
        ok = b && sqlite3_backup_step(b, -1) == SQLITE_DONE;
        if (b)
            sqlite3_backup_finish(b);
    }
    if (!ok)
        *error = QString::fromUtf8(sqlite3_errmsg(target));
    sqlite3_close(target);
    return ok;
}
