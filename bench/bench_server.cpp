// SPDX-License-Identifier: GPL-3.0-or-later
// The archive on a PostgreSQL server on this machine: the same archive copied
// from the file, then the windows' commands, beside a plain libpq read of the
// same rows in the same run. Runs when libpq's PG* variables reach a server
// (for example under pg_virtualenv); says so and skips otherwise.
#include "BenchArchive.h"
#include "data/engines/ArchiveCopy.h"
#include "data/engines/PgStore.h"
#include "data/basMain.h"
#include "projects/frmProgetti.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <libpq-fe.h>

#include <cstdio>

void projectCommands(Session &session, frmProgetti *w);

namespace {
double plainServerRead(const QString &conninfo, const QStringList &queries)
{
    PGconn *conn = PQconnectdb(conninfo.toUtf8().constData());
    const double ms = timeMs([&] {
        QVector<QString> sink;
        for (const QString &q : queries) {
            PGresult *res = PQexec(conn, q.toUtf8().constData());
            for (int r = 0; r < PQntuples(res); ++r)
                for (int c = 0; c < PQnfields(res); ++c)
                    sink.append(QString::fromUtf8(PQgetvalue(res, r, c), PQgetlength(res, r, c)));
            PQclear(res);
        }
    });
    PQfinish(conn);
    return ms;
}
} // namespace

void serverBench(const QString &archiveFile)
{
    PgStore admin;
    QString error;
    if (!admin.open(QStringLiteral("dbname=postgres"), &error)) {
        std::printf("PostgreSQL: no server reached through the PG* variables (%s): server figures skipped\n",
                    qPrintable(error));
        return;
    }
    const QString name = QStringLiteral("velbor_bench_%1").arg(QCoreApplication::applicationPid());
    const QString conninfo = QStringLiteral("dbname=") + name;
    if (!admin.execScript(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8'").arg(name), &error)
        || !PgStore::createArchive(conninfo, &error)) {
        std::printf("PostgreSQL: %s\n", qPrintable(error));
        return;
    }
    std::printf("\n== The same archive on PostgreSQL (%s) ==\n", qPrintable(admin.scalar("SELECT version()", {}, &error).section(' ', 0, 1)));
    {
        Archive from, to;
        QVector<TableCount> copied;
        from.open(archiveFile, &error);
        to.openServer(conninfo, &error);
        QElapsedTimer t;
        t.start();
        const bool ok = copyArchive(from, to, {}, &copied, &error);
        report("copy of the whole archive from the file to the server (checked)", double(t.elapsed()));
        if (!ok)
            std::printf("    copy failed: %s\n", qPrintable(error));
        admin.execScript(QStringLiteral("VACUUM ANALYZE"), &error);
        PgStore tuned;
        if (tuned.open(conninfo, &error))
            tuned.execScript(QStringLiteral("VACUUM ANALYZE"), &error);
    }
    QTemporaryDir dir;
    QFile server(dir.path() + "/Velbor.server");
    if (server.open(QIODevice::WriteOnly))
        server.write(conninfo.toUtf8() + '\n');
    server.close();

    Session session;
    session.state.PercorsoDati = dir.path();
    report("open (checks the six tables)", timeMs([&] {
               session.archive.close();
               ApriArchivio(session.state, session.archive, dir.path());
           }));
    const struct { const char *name; RecordView &view; const char *criterion; } finds[] = {
        {"find-first client by code", session.archive.clients(), "codice=7345"},
        {"find-first project by code", session.archive.projects(), "codice='P7345'"},
        {"find-first item by code and level", session.archive.items(), "codice='L173450' AND Livello=1"},
        {"find-first component by project", session.archive.components(), "codprj='P7345'"},
        {"find-first client by a name beyond ASCII", session.archive.clients(), "descr='città 7345'"},
    };
    for (const auto &f : finds)
        report(f.name, timeMs([&] { f.view.findFirst(QString::fromUtf8(f.criterion)); }, 5));
    report("level code drawn (counter moved in one transaction)", timeMs([&] {
               ProssimoCodiceLivello(session.archive, "maxcodice", 1, "codice");
           }, 5));

    frmProgetti *w = nullptr;
    report("project window opens (tree of 110,000 nodes, all lists)", timeMs([&] {
               delete w;
               w = new frmProgetti(session);
           }));
    const double treeRead = plainServerRead(conninfo, {"SELECT codice,descr FROM progetti ORDER BY vb_key",
                                                       "SELECT codprj,livello,codice,descr FROM righeprj ORDER BY vb_key",
                                                       "SELECT codice,descr FROM clienti ORDER BY vb_key"});
    report("CaricaProgetti: tree rebuild with both client lists", timeMs([&] { w->CaricaProgetti(); }), treeRead);
    projectCommands(session, w);
    session.archive.close();
    admin.execScript(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(name), &error);
}
