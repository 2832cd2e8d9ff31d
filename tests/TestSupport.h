// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh program folder and data folder per test, each data folder holding an
// empty archive made from the schema.

#include "data/Session.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

// True when this run tests the archive on a PostgreSQL server
// (VELBOR_TEST_ENGINE=postgresql; the server is found through libpq's PG*
// environment variables). The data folder then holds a Velbor.server file
// naming a fresh database with the archive's tables; the program folder's
// fallback archive stays a file.
bool testOnServer();

// Skips the rest of a test on Windows, saying why: what it needs (links the
// system follows, pdftotext, Linux's user folders) does not exist there.
#ifdef _WIN32
#define SKIP_ON_WINDOWS(why) QSKIP(why)
#else
#define SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif

// path with the system's separators, as the program shows and stores paths
// (backslashes on Windows; unchanged elsewhere).
QString native(const QString &path);

class TestFolders {
public:
    TestFolders();
    ~TestFolders();
    bool ok() const { return m_ok; }
    QString root() const { return m_dir.path(); }
    QString program() const;   // holds an empty Velbor.mdb
    QString data() const;      // holds an empty Velbor.mdb
    QString dataArchive() const;   // Velbor.mdb, or Velbor.server on the server
    QString programArchive() const;
    QString database() const { return m_database; }   // on the server: the test's database

private:
    QTemporaryDir m_dir;
    QString m_database;
    bool m_ok = false;
};

// An empty database of its own on the test server, dropped at the end.
class ServerDatabase {
public:
    ServerDatabase();
    ~ServerDatabase();
    bool ok() const { return m_ok; }
    QString conninfo() const { return QStringLiteral("dbname=") + m_name; }

private:
    QString m_name;
    bool m_ok = false;
};
// A query on a server database named by a connection string (as sqlValue).
QString serverValue(const QString &conninfo, const QString &sql);

// Runs one SQL statement on the archive (a file, or the database a server
// file names) with a connection of its own; returns the first column of the
// first row ("NULL" for an absent value), or "ERROR: ..." on failure.
QString sqlValue(const QString &path, const QString &sql);
// "ok" when the archive's engine finds its tables and indexes whole (the
// file's integrity check; on the server, every index checked against its table).
QString integrityCheck(const QString &archive);
void writeBytes(const QString &path, const QByteArray &bytes);
// An archive with the program's tables made with the engine's old default of
// 4 KB pages, as archives were made before; true on success.
bool makeSmallPageArchive(const QString &path, const QString &schemaFrom);
QByteArray readBytes(const QString &path);

// Points the program's folder at a fresh test folder and scripts every dialog.
class GuiFixture : public TestFolders {
public:
    GuiFixture();
    ~GuiFixture();
};

// A running session on the test data folder's archive, as after start-up.
struct SessionFixture {
    GuiFixture f;
    Session s;
    SessionFixture();
    QString sql(const QString &statement) const { return sqlValue(f.dataArchive(), statement); }
};

#ifndef _WIN32
// Caps the size of every file this process writes, as a full disk would:
// writes past the cap fail with EFBIG. The old cap comes back on destruction.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        m_ok = getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        rlimit capped = m_old;
        capped.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &capped) == 0;
    }
    ~FileSizeLimit()
    {
        if (m_ok)
            setrlimit(RLIMIT_FSIZE, &m_old);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    bool m_ok = false;
};

#endif

// The text of a PDF file as pdftotext lays it out.
QString pdfText(const QString &pdf);

#ifndef _WIN32
// FIFOs exist on POSIX systems only.
// Keeps a test from hanging on a FIFO: from timeoutMs after construction
// until destruction, a reader blocked opening fifo (a program waiting for a
// writer that never comes) is let go by opening the FIFO for writing and
// closing it again, so that its read ends at once. fired() tells whether a
// reader had to be let go: the code under test waited on the FIFO.
class FifoGuard {
public:
    explicit FifoGuard(const QString &fifo, int timeoutMs = 3000);
    ~FifoGuard();
    bool fired() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
// Makes a FIFO at path; true on success.
bool makeFifo(const QString &path);
#endif
