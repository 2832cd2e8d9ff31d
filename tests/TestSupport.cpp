// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include <QProcess>

#include "data/engines/Archive.h"
#include "data/engines/PgStore.h"
#include "data/engines/SqliteStore.h"

#include <QAtomicInt>
#include <QCoreApplication>

#include <QDir>
#include <QFile>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

bool testOnServer()
{
    return qEnvironmentVariable("VELBOR_TEST_ENGINE") == QLatin1String("postgresql");
}

namespace {
QAtomicInt g_databases;

// The few functions of the shared file's engine that the tests' own queries
// use, so that one query reads both archives.
const char *const kTestHelpers = R"sql(
CREATE FUNCTION velbor_test_concat(acc text, v anyelement, sep text) RETURNS text LANGUAGE sql IMMUTABLE AS
  $$ SELECT CASE WHEN v IS NULL THEN acc WHEN acc IS NULL THEN v::text ELSE acc || sep || v::text END $$;
CREATE FUNCTION velbor_test_concat(acc text, v anyelement) RETURNS text LANGUAGE sql IMMUTABLE AS
  $$ SELECT velbor_test_concat(acc, v, ',') $$;
CREATE AGGREGATE group_concat(anyelement) (SFUNC = velbor_test_concat, STYPE = text);
CREATE AGGREGATE group_concat(anyelement, text) (SFUNC = velbor_test_concat, STYPE = text);
CREATE FUNCTION quote(v anyelement) RETURNS text LANGUAGE sql IMMUTABLE AS
  $$ SELECT CASE WHEN v IS NULL THEN 'NULL'
                 WHEN pg_typeof(v) IN ('integer'::regtype, 'bigint'::regtype) THEN v::text
                 ELSE quote_literal(v::text) END $$;
)sql";

QString newDatabaseName()
{
    return QStringLiteral("velbor_t_%1_%2").arg(QCoreApplication::applicationPid()).arg(g_databases.fetchAndAddRelaxed(1));
}

bool createEmptyDatabase(const QString &name, QString *error)
{
    PgStore admin;
    return admin.open(QStringLiteral("dbname=postgres"), error)
           && admin.execScript(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8'").arg(name), error);
}

void dropDatabase(const QString &name)
{
    PgStore admin;
    QString error;
    if (admin.open(QStringLiteral("dbname=postgres"), &error))
        admin.execScript(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name), &error);
}

bool createServerDatabase(const QString &name, QString *error)
{
    if (!createEmptyDatabase(name, error))
        return false;
    PgStore fresh;
    return PgStore::createArchive(QStringLiteral("dbname=") + name, error)
           && fresh.open(QStringLiteral("dbname=") + name, error)
           && fresh.execScript(QString::fromLatin1(kTestHelpers), error);
}
} // namespace

TestFolders::TestFolders()
{
    QString error;
    m_ok = m_dir.isValid() && QDir(m_dir.path()).mkpath(QStringLiteral("programma"))
           && QDir(m_dir.path()).mkpath(QStringLiteral("dati"))
           && SqliteStore::createArchive(programArchive(), &error);
    if (m_ok && testOnServer()) {
        m_database = newDatabaseName();
        m_ok = createServerDatabase(m_database, &error);
        writeBytes(dataArchive(), ("dbname=" + m_database + "\n").toUtf8());
    } else if (m_ok) {
        m_ok = SqliteStore::createArchive(dataArchive(), &error);
    }
    if (!m_ok)
        qWarning("Cartelle di prova non create: %s", qPrintable(error));
}

TestFolders::~TestFolders()
{
    if (!m_database.isEmpty())
        dropDatabase(m_database);
}

ServerDatabase::ServerDatabase() : m_name(newDatabaseName())
{
    QString error;
    m_ok = createEmptyDatabase(m_name, &error);
    if (!m_ok)
        qWarning("Database di prova non creato: %s", qPrintable(error));
}

ServerDatabase::~ServerDatabase()
{
    dropDatabase(m_name);
}

QString serverValue(const QString &conninfo, const QString &sql)
{
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/Velbor.server");
    writeBytes(file, conninfo.toUtf8());
    return sqlValue(file, sql);
}

QString TestFolders::program() const
{
    return m_dir.path() + QStringLiteral("/programma");
}

QString TestFolders::data() const
{
    return m_dir.path() + QStringLiteral("/dati");
}

QString TestFolders::dataArchive() const
{
    return data() + (testOnServer() ? QStringLiteral("/Velbor.server") : QStringLiteral("/Velbor.mdb"));
}

QString TestFolders::programArchive() const
{
    return program() + QStringLiteral("/Velbor.mdb");
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString sqlValue(const QString &path, const QString &sql)
{
    if (isServerFile(path)) {
        QString conninfo, error;
        PgStore server;
        if (!PgStore::readServerFile(path, &conninfo, &error) || !server.open(conninfo, &error))
            return QStringLiteral("ERROR: ") + error;
        PGresult *res = PQexec(server.handle(), sql.toUtf8().constData());
        QString out;
        const ExecStatusType status = PQresultStatus(res);
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
            out = QStringLiteral("ERROR: ") + QString::fromUtf8(PQresultErrorMessage(res)).trimmed();
        else if (PQntuples(res) > 0 && PQnfields(res) > 0)
            out = PQgetisnull(res, 0, 0) ? QStringLiteral("NULL") : QString::fromUtf8(PQgetvalue(res, 0, 0));
        PQclear(res);
        return out;
    }
    sqlite3 *db = nullptr;
    QString out;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        out = QStringLiteral("ERROR: ") + QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return out;
    }
    sqlite3_busy_timeout(db, 10000);
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        out = QStringLiteral("ERROR: ") + QString::fromUtf8(sqlite3_errmsg(db));
    } else {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            const unsigned char *text = sqlite3_column_text(stmt, 0);
            out = sqlite3_column_type(stmt, 0) == SQLITE_NULL ? QStringLiteral("NULL")
                                                                : QString::fromUtf8(reinterpret_cast<const char *>(text));
        } else if (rc != SQLITE_DONE) {
            out = QStringLiteral("ERROR: ") + QString::fromUtf8(sqlite3_errmsg(db));
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}

QString integrityCheck(const QString &archive)
{
    if (!isServerFile(archive))
        return sqlValue(archive, QStringLiteral("PRAGMA integrity_check"));
    const QString extension = sqlValue(archive, QStringLiteral("CREATE EXTENSION IF NOT EXISTS amcheck"));
    if (!extension.isEmpty())
        return extension;
    const QString checked = sqlValue(
        archive, QStringLiteral("SELECT count(bt_index_check(c.oid, true)) FROM pg_index i "
                                "JOIN pg_class c ON c.oid = i.indexrelid JOIN pg_am m ON m.oid = c.relam "
                                "WHERE m.amname = 'btree' AND c.relnamespace = current_schema()::regnamespace"));
    return checked.toInt() > 0 ? QStringLiteral("ok") : checked;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000))
        return QStringLiteral("(pdftotext non risponde)");
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool makeSmallPageArchive(const QString &path, const QString &schemaFrom)
{
    const QString schema = sqlValue(schemaFrom, "SELECT group_concat(sql, ';') FROM sqlite_master "
                                                "WHERE sql NOT NULL AND name NOT LIKE 'sqlite%'");
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK
                    && sqlite3_exec(db, ("PRAGMA page_size=4096;" + schema).toUtf8().constData(), nullptr, nullptr,
                                    nullptr)
                           == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

#ifndef _WIN32
struct FifoGuard::Private {
    std::thread watcher;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::atomic<bool> fired{false};
};

FifoGuard::FifoGuard(const QString &fifo, int timeoutMs) : d(std::make_unique<Private>())
{
    const QByteArray name = QFile::encodeName(fifo);
    d->watcher = std::thread([this, name, timeoutMs] {
        std::unique_lock<std::mutex> lock(d->mutex);
        if (d->wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return d->stop; }))
            return;
        while (!d->stop) {
            // Succeeds only while a reader has the FIFO open (or waits to).
            const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                d->fired = true;
                ::close(fd);
            }
            d->wake.wait_for(lock, std::chrono::milliseconds(50), [this] { return d->stop; });
        }
    });
}

FifoGuard::~FifoGuard()
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stop = true;
    }
    d->wake.notify_all();
    d->watcher.join();
}

bool FifoGuard::fired() const
{
    return d->fired;
}

bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0666) == 0;
}
#endif
