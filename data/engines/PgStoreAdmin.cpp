// SPDX-License-Identifier: GPL-3.0-or-later
// The server engine's administration: the archive's tables made and found,
// the office role's rights, the server file, remembered passwords, and the
// keyed copies of whole archives.
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

using PgSql::quoted;

bool PgStore::grantRights(const QString &role, QString *error)
{
    error->clear();
    if (scalar(QStringLiteral("SELECT 1 FROM pg_catalog.pg_roles WHERE rolname = $1"), {role}, error).isEmpty()) {
        if (error->isEmpty())
            *error = QStringLiteral("Il ruolo %1 non esiste sul server: crearlo prima (createuser).").arg(role);
        return false;
    }
    const QStringList present = archiveTablesPresent(error);
    if (!error->isEmpty())
        return false;
    const auto hasAll = [&present] {
        for (const QString &name : Tables::all())
            if (!present.contains(name.toLower()))
                return false;
        return true;
    };
    if (!hasAll()) {
        *error = QStringLiteral("Il database non contiene le tabelle dell'archivio: crearle prima (velbor_admin crea).");
        return false;
    }
    // A name is no parameter in GRANT: the role goes in as a quoted identifier.
    char *escaped = PQescapeIdentifier(m_conn, role.toUtf8().constData(), size_t(role.toUtf8().size()));
    if (!escaped) {
        *error = connectionError();
        return false;
    }
    const QString grantee = QString::fromUtf8(escaped);
    PQfreemem(escaped);
    QStringList tables, sequences;
    for (const QString &name : present) {
        tables.append(quoted(name));
        const QString sequence = scalar(QStringLiteral("SELECT pg_get_serial_sequence($1, $2)"), {quoted(name), kRowKey}, error);
        if (!error->isEmpty())
            return false;
        if (!sequence.isEmpty())
            sequences.append(sequence);
    }
    // Sequences: USAGE and UPDATE to draw keys, SELECT for pg_dump to read them.
    QString sql = QStringLiteral("BEGIN; GRANT SELECT, INSERT, UPDATE, DELETE ON TABLE %1 TO %2;")
                      .arg(tables.join(QLatin1Char(',')), grantee);
    if (!sequences.isEmpty())
        sql += QStringLiteral(" GRANT USAGE, SELECT, UPDATE ON SEQUENCE %1 TO %2;").arg(sequences.join(QLatin1Char(',')), grantee);
    sql += QStringLiteral(" COMMIT");
    if (!execScript(sql, error)) {
        QString ignored;
        execScript(QStringLiteral("ROLLBACK"), &ignored);
        return false;
    }
    return true;
}


QStringList PgStore::archiveTablesPresent(QString *error)
{
    error->clear();
    const QStringList present = tableNames(error);
    QStringList ours;
    for (const QString &name : Tables::all() + Tables::safety() + QStringList{Tables::TestiNote})
        if (present.contains(name.toLower()))
            ours.append(name.toLower());
    return ours;
}

bool PgStore::createTables(QString *error)
{
    const QStringList present = archiveTablesPresent(error);
    if (!error->isEmpty())
        return false;
    if (!present.isEmpty()) {
        *error = QStringLiteral("Il database contiene già la tabella %1: le tabelle dell'archivio si creano "
                                "solo in un database vuoto.")
                     .arg(present.first());
        return false;
    }
    if (!execScript(QStringLiteral("BEGIN;") + QString::fromUtf8(kSchemaPgSql) + QStringLiteral(";COMMIT"), error)) {
        QString ignored;
        execScript(QStringLiteral("ROLLBACK"), &ignored);
        return false;
    }
    return true;
}

bool PgStore::addTables(const QStringList &names, QString *error)
{
    if (!execScript(schemaStatementsFor(QString::fromUtf8(kSchemaPgSql), names), error))
        return false;
    // The roles that write the projects (the office's role) may write the new
    // tables too: the same rights as velbor_admin permessi grants.
    const QString roles = scalar(QStringLiteral(
        "SELECT string_agg(DISTINCT quote_ident(r.rolname), ',') FROM pg_catalog.pg_class c "
        "CROSS JOIN LATERAL aclexplode(c.relacl) a JOIN pg_catalog.pg_roles r ON r.oid = a.grantee "
        "WHERE c.oid = to_regclass('progetti') AND a.privilege_type = 'INSERT' AND a.grantee <> c.relowner"),
        {}, error);
    if (!error->isEmpty())
        return false;
    if (roles.isEmpty())
        return true;
    QStringList tables, sequences;
    for (const QString &name : names) {
        tables.append(quoted(name.toLower()));
        const QString sequence = scalar(QStringLiteral("SELECT pg_get_serial_sequence($1, $2)"),
                                        {quoted(name.toLower()), kRowKey}, error);
        if (!error->isEmpty())
            return false;
        if (!sequence.isEmpty())
            sequences.append(sequence);
    }
    QString sql = QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON TABLE %1 TO %2;")
                      .arg(tables.join(QLatin1Char(',')), roles);
    if (!sequences.isEmpty())
        sql += QStringLiteral(" GRANT USAGE, SELECT, UPDATE ON SEQUENCE %1 TO %2;").arg(sequences.join(QLatin1Char(',')), roles);
    return execScript(sql, error);
}

bool PgStore::createArchive(const QString &conninfo, QString *error)
{
    PgStore store;
    return store.open(conninfo, error) && store.createTables(error);
}

bool PgStore::readServerFile(const QString &path, QString *conninfo, QString *error)
{
    // A FIFO in its place would be waited on for ever: regular files only.
    QFile file;
    if (!Files::openRegularFile(file, path, error))
        return false;
    const QList<QByteArray> lines = file.read(64 * 1024).split('\n');
    for (const QByteArray &line : lines) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (!text.isEmpty()) {
            *conninfo = text;
            return true;
        }
    }
    *error = QStringLiteral("Il file %1 non contiene la stringa di connessione al server.").arg(path);
    return false;
}

bool PgStore::rememberPassword(const QString &host, const QString &port, const QString &database,
                               const QString &user, const QString &password, QString *error)
{
    const QString path = PgConnect::passwordFile();
    // %APPDATA%\postgresql may not be there yet.
    QDir().mkpath(QFileInfo(path).absolutePath());
    const auto escape = [](QString s) {
        s.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
        s.replace(QLatin1Char(':'), QStringLiteral("\\:"));
        return s;
    };
    // libpq looks a connection over its default socket folder up as "localhost".
    const QString entryHost = host.isEmpty() || host == QLatin1String(DEFAULT_PGSOCKET_DIR) ? QStringLiteral("localhost") : host;
    const QString prefix = escape(entryHost) + QLatin1Char(':') + escape(port) + QLatin1Char(':') + escape(database)
                           + QLatin1Char(':') + escape(user) + QLatin1Char(':');
    QByteArray content;
    QFile old(path);
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("Impossibile leggere %1: %2").arg(path, old.errorString());
            return false;
        }
        // The other entries stay as they are; an older one for the same login is replaced.
        for (const QByteArray &line : old.readAll().split('\n'))
            if (!line.isEmpty() && !QString::fromUtf8(line).startsWith(prefix))
                content += line + '\n';
    }
    content += (prefix + escape(password)).toUtf8() + '\n';
    // Made readable by the user only from the start (libpq also ignores a
    // password file that others can read).
#ifdef _WIN32
    // %APPDATA% is the user's own already.
    const bool written = Files::writeAtomically(path, content, error);
#else
    const mode_t previous = ::umask(077);
    const bool written = Files::writeAtomically(path, content, error);
    ::umask(previous);
#endif
    if (written)
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return written;
}

namespace {
// One value in COPY's text format.
void appendCopyValue(QByteArray *out, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        out->append("\\N");
        return;
    }
    const QByteArray text = value.typeId() == QMetaType::Double ? QByteArray::number(value.toDouble(), 'g', 17)
                                                                : value.toString().toUtf8();
    for (char c : text) {
        switch (c) {
        case '\\': out->append("\\\\"); break;
        case '\t': out->append("\\t"); break;
        case '\n': out->append("\\n"); break;
        case '\r': out->append("\\r"); break;
        default: out->append(c);
        }
    }
}
} // namespace

bool PgStore::insertKeyed(const TableInfo &table, const QVector<StoredRow> &rows, QString *error)
{
    QStringList columns{kRowKey};
    for (const Column &c : table.columns)
        columns.append(c.name);
    QByteArray data;
    for (const StoredRow &row : rows) {
        data += QByteArray::number(row.key);
        for (int i = 0; i < table.columns.size(); ++i) {
            data += '\t';
            appendCopyValue(&data, row.values.value(i));
        }
        data += '\n';
    }
    return copyIn(table.name, columns, data, error);
}

bool PgStore::keyCeiling(const TableInfo &table, qint64 *out, QString *error)
{
    const QString name = table.name.toLower();
    const QString value = scalar(QStringLiteral("SELECT GREATEST(COALESCE((SELECT MAX(%2) FROM %3), 0), COALESCE("
                                                "pg_sequence_last_value(pg_get_serial_sequence('%1', '%2')::regclass), 0))")
                                     .arg(name, kRowKey, quoted(name)),
                                 {}, error);
    *out = value.toLongLong();
    return error->isEmpty();
}

bool PgStore::raiseKeyCeiling(const TableInfo &table, qint64 ceiling, QString *error)
{
    qint64 now = 0;
    if (!keyCeiling(table, &now, error))
        return false;
    if (ceiling <= now || ceiling <= 0)
        return true;
    scalar(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), %3)").arg(table.name.toLower(), kRowKey).arg(ceiling), {}, error);
    return error->isEmpty();
}
