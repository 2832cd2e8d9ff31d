// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the archive at ten times a large office. Prints milliseconds and
// the ratio to a plain SQLite read of the same rows, measured in the same run.
#include "BenchArchive.h"
#include "basMain.h"
#include "data/engines/DailyBackup.h"
#include "data/engines/SqliteStore.h"

#include <QDir>
#include <QFile>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

void runJetBench(const QString &folder);
#ifdef VELBOR_BENCH_GUI
int runGuiBench(int argc, char **argv, const QString &folder);
int runSearchBench(int argc, char **argv, const QString &folder);
int runPreviewBench(int argc, char **argv, const QString &folder);
int runNotesBench(int argc, char **argv, const QString &folder);
#endif

namespace {
// Reads every row of a table through the C API into QStrings: the floor.
double plainRead(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const double ms = timeMs([&] {
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
        QVector<QString> sink;
        while (sqlite3_step(s) == SQLITE_ROW)
            for (int i = 0; i < sqlite3_column_count(s); ++i)
                sink.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, i))));
        sqlite3_finalize(s);
    });
    sqlite3_close(db);
    return ms;
}

double walk(RecordView &v, const char *field)
{
    return timeMs([&] {
        qint64 n = 0;
        v.moveFirst();
        for (; !v.eof(); v.moveNext())
            n += v.text(QString::fromLatin1(field)).size();
    });
}
} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/Velbor.mdb";
    QString error;
    const bool searchOnly = argc > 1 && qstrcmp(argv[1], "search") == 0;
    // "velbor_bench jet": the conversion cases alone.
    if (argc > 1 && qstrcmp(argv[1], "jet") == 0) {
        QCoreApplication app(argc, argv);
        runJetBench(dir.path());
        return 0;
    }
#ifdef VELBOR_BENCH_GUI
    // "velbor_bench preview": the components' preview alone.
    if (argc > 1 && qstrcmp(argv[1], "preview") == 0)
        return runPreviewBench(argc, argv, dir.path());
    // "velbor_bench notes": the search of notes pages alone (VELBOR_BENCH_KEEP
    // keeps its folder, to measure again with "notes measure <folder>/note").
    if (argc > 1 && qstrcmp(argv[1], "notes") == 0) {
        dir.setAutoRemove(!qEnvironmentVariableIsSet("VELBOR_BENCH_KEEP"));
        return runNotesBench(argc, argv, dir.path());
    }
#endif
    {
        QCoreApplication app(argc, argv);
        QTextStream(stdout) << "Building the archive (10,000 clients and projects, 100,000 items and components)..."
                            << Qt::endl;
        if (!buildBenchArchive(path, BenchSize{}, &error)) {
            QTextStream(stderr) << error << Qt::endl;
            return 1;
        }
#ifdef VELBOR_BENCH_GUI
        // "velbor_bench server": only the figures on the server.
        if (argc > 1 && qstrcmp(argv[1], "server") == 0) {
            app.quit();
            goto windows;
        }
#endif
        if (searchOnly)
            goto built;
        {
        Archive a;
        report("open (ApriArchivio's open and checks)", timeMs([&] {
                   a.close();
                   a.open(path, &error);
               }));
        const struct { const char *name; RecordView &view; const char *criterion; } finds[] = {
            {"find-first client by code", a.clients(), "codice=7345"},
            {"find-first client by name (no such name)", a.clients(), "descr='cliente 7345 torre ponte'"},
            {"find-first project by code", a.projects(), "codice='P7345'"},
            {"find-first item by code and level", a.items(), "codice='L173450' AND Livello=1"},
            {"find-first component by project", a.components(), "codprj='P7345'"},
            {"find-first configuration (empty)", a.configuration(), "descr='x'"},
        };
        for (const auto &f : finds) {
            report(f.name, timeMs([&] { f.view.findFirst(QString::fromLatin1(f.criterion)); }, 5));
            if (f.view.noMatch())
                QTextStream(stdout) << "    (no row matches)" << Qt::endl;
        }

        report("find-first/find-next over one project's items", timeMs([&] {
                   const QString crit = "codprj=" + QuotaSQL("P5000");
                   int n = 0;
                   for (a.items().findFirst(crit); !a.items().noMatch(); a.items().findNext(crit))
                       ++n;
               }, 5));
        report("walk clients (codice, descr)", walk(a.clients(), "descr"),
               plainRead(path, "SELECT vb_key,codice,descr,indirizzo,cap,provincia,citta,telefono,fax,email,sito,contatto,piva FROM Clienti ORDER BY vb_key"));
        report("walk projects", walk(a.projects(), "descr"),
               plainRead(path, "SELECT * FROM Progetti ORDER BY vb_key"));
        report("walk items", walk(a.items(), "descr"), plainRead(path, "SELECT * FROM RighePRJ ORDER BY vb_key"));
        report("walk components", walk(a.components(), "file"),
               plainRead(path, "SELECT * FROM Componenti ORDER BY vb_key"));
        report("walk configuration", walk(a.configuration(), "descr"));
        // A save that changes one field, with its history line and without
        // (the journal taken off the view): what the history costs a save.
        {
            int n = 0;
            const auto save = [&] {
                a.clients().findFirst(QStringLiteral("codice=7345"));
                a.clients().edit(a.clients().currentValues());
                a.clients().setValue(u"telefono", QStringLiteral("011 %1").arg(++n));
                a.clients().update();
            };
            a.clients().setJournal(nullptr);
            report("client save, one field changed (history off)", timeMs(save, 20));
            a.clients().setJournal(a.journal());
            report("client save, one field changed (with its history line)", timeMs(save, 20));
        }
        // The day's copy: how long other workstations' saves wait (the pages
        // copied in one snapshot), and the whole copy with its checks, which
        // runs on a thread of its own.
        {
            const QString pages = dir.path() + "/pagine.mdb";
            Store::ReadScope snapshot(a.store());
            report("day's copy: pages in one snapshot (saves wait)", timeMs([&] {
                       QFile::remove(pages);
                       static_cast<SqliteStore &>(a.store()).backupTo(pages, &error);
                   }));
        }
        report("day's copy: whole, with counts and integrity check", timeMs([&] {
                   QDir(DailyBackup::folderIn(dir.path())).removeRecursively();
                   if (DailyBackup::run(path, QDate(2026, 12, 9)).outcome != DailyBackup::Outcome::Made)
                       QTextStream(stderr) << "day's copy not made" << Qt::endl;
               }));
        a.close();
        runJetBench(dir.path());
        }
    built:;
    }
    // "velbor_bench search" measures the search alone.
    if (searchOnly)
#ifdef VELBOR_BENCH_GUI
        return runSearchBench(argc, argv, dir.path());
#else
        return 0;
#endif
#ifdef VELBOR_BENCH_GUI
windows:
    return runGuiBench(argc, argv, dir.path());
#else
    return 0;
#endif
}
