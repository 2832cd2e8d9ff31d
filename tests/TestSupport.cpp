#include "TestSupport.h"

#include <QProcess>

#include "SqliteStore.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

TestFolders::TestFolders()
{
    QString error;
    m_ok = m_dir.isValid() && QDir(m_dir.path()).mkpath(QStringLiteral("programma"))
           && QDir(m_dir.path()).mkpath(QStringLiteral("dati"))
           && SqliteStore::createArchive(programArchive(), &error)
           && SqliteStore::createArchive(dataArchive(), &error);
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
    return data() + QStringLiteral("/Velbor.mdb");
}

QString TestFolders::programArchive() const
{
    return program() + QStringLiteral("/Velbor.mdb");
}

QString sqlValue(const QString &path, const QString &sql)
{
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
