// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the windows on the large archive built by bench.cpp.
#include "BenchArchive.h"
#include "app/frmMain.h"
#include "clients/frmClienti.h"
#include "clients/frmElenco.h"
#include "components/frmCOmponenti.h"
#include "data/engines/ArchiveCopy.h"
#include "data/engines/PgStore.h"
#include "data/basMain.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "widgets/SearchPanel.h"
#include "projects/ProjectSearch.h"
#include "projects/ProjectTreeModel.h"
#include "projects/frmProgetti.h"

#include "LatencyVfs.h"
#include "components/rtf/Rtf.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QImage>
#include <QRandomGenerator>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>

#include <sqlite3.h>

void serverBench(const QString &archiveFile);

// A project saved (with the rebuild), one shown, the client register opened;
// deletes the window.
void projectCommands(Session &session, frmProgetti *w)
{
    report("project save (P5000, with the rebuild)", timeMs([&] {
               w->Visualizza("P5000");
               w->findChild<QComboBox *>("cboCodice")->setEditText("P5000");
               w->findChild<QPushButton *>("cmdSalva")->click();
           }));
    report("show a project (Visualizza)", timeMs([&] { w->Visualizza("P7345"); }, 5));
    delete w;
    report("client register opens (10,000 clients in both lists)", timeMs([&] { frmClienti reg(session); }));
}

namespace {
double plainRead(const QString &path, const QStringList &queries)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const double ms = timeMs([&] {
        QVector<QString> sink;
        for (const QString &sql : queries) {
            sqlite3_stmt *s = nullptr;
            sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &s, nullptr);
            while (sqlite3_step(s) == SQLITE_ROW)
                for (int i = 0; i < sqlite3_column_count(s); ++i)
                    sink.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, i)),
                                                  sqlite3_column_bytes(s, i)));
            sqlite3_finalize(s);
        }
    });
    sqlite3_close(db);
    return ms;
}
} // namespace

// Another workstation's save: every page this workstation holds is stale.
void anotherWorkstationSaves(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "INSERT INTO maxcodice(codice,livello) VALUES(0,9); DELETE FROM maxcodice WHERE livello=9", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
}

// Each command as a workstation gives it after another one saved, with the
// archive behind a layer that waits on every file request.
void networkShare(const QString &folder)
{
    const QString path = folder + "/Velbor.mdb";
    SqliteStore::setVfs(QString::fromLatin1(LatencyVfs::install()));
    struct Row {
        QString name;
        long requests[2];
        double ms[2];
    };
    QVector<Row> rows;
    const int delays[2] = {0, 500};
    for (int d = 0; d < 2; ++d) {
        LatencyVfs::setDelayMicroseconds(delays[d]);
        int n = 0;
        const auto measure = [&](const QString &name, const std::function<void()> &command) {
            anotherWorkstationSaves(path);
            LatencyVfs::resetCounts();
            const int messages = int(MessageBox::shown().size());
            const double ms = timeMs(command, 1);
            // A command that ended in a message did not do its work: say so.
            if (MessageBox::shown().size() > messages)
                std::printf("  (%s: %s)\n", qPrintable(name), qPrintable(MessageBox::shown().last().text));
            if (d == 0)
                rows.append({name, {0, 0}, {0, 0}});
            rows[n].requests[d] = LatencyVfs::counts().total();
            rows[n].ms[d] = ms;
            ++n;
        };
        Session session;
        frmMain main(session);
        measure("start-up (settings, archive, configuration)", [&] { main.Form_Load(); });
        frmProgetti *w = nullptr;
        measure("project window opens", [&] { w = new frmProgetti(session); });
        measure("tree rebuild (CaricaProgetti)", [&] { w->CaricaProgetti(); });
        measure("project save with the rebuild (P5000)", [&] {
            w->Visualizza("P5000");
            w->findChild<QPushButton *>("cmdSalva")->click();
        });
        // The same save of a changed description without and with its history line.
        int changes = 0;
        for (const bool history : {false, true})
            measure(history ? "project save, description changed, with history" : "project save, description changed, history off", [&] {
                session.archive.projects().setJournal(history ? session.archive.journal() : nullptr);
                w->Visualizza("P5000");
                w->findChild<QComboBox *>("cboDescr")->setEditText(QStringLiteral("Descrizione %1").arg(++changes));
                w->findChild<QPushButton *>("cmdSalva")->click();
            });
        session.archive.projects().setJournal(session.archive.journal());
        measure("Nuovo then Salva of a new project", [&] {
            w->findChild<QPushButton *>("cmdNuovo")->click();
            w->findChild<QComboBox *>("cboDescr")->setEditText(QStringLiteral("Nuovo"));
            w->findChild<QPushButton *>("cmdSalva")->click();
        });
        measure("item save with the rebuild (L149991 of P5000)", [&] {
            w->Visualizza("P5000");
            session.state.ProgettoCorrente = "P5000";
            w->VisualizzaLivelli("L149991", 1, "P5000");
            w->findChild<QPushButton *>("cmdSalva")->click();
        });
        measure("project search opens (Ctrl+F)", [&] {
            w->search()->close();
            w->search()->open();
        });
        delete w;
        measure("client register opens", [&] { frmClienti reg(session); });
        measure("components window opens (P5000)", [&] {
            frmCOmponenti dlg(session);
            dlg.CodPrj = "P5000";
            dlg.Form_Load();
        });
    }
    LatencyVfs::setDelayMicroseconds(0);
    SqliteStore::setVfs(QString());
    std::printf("\nOn a share, after another workstation saved (file requests, ms):\n");
    std::printf("%-50s %9s %9s %9s %9s\n", "", "req", "0 ms", "req", "0.5 ms");
    for (const Row &r : rows)
        std::printf("%-50s %9ld %9.1f %9ld %9.1f\n", qPrintable(r.name), r.requests[0], r.ms[0], r.requests[1], r.ms[1]);
}

// Milliseconds from one key typed into the search box to the results on show
// (also used by the notes pages' figures).
double keystroke(QWidget *window, QChar c)
{
    auto *edit = window->findChild<QLineEdit *>("edtCerca");
    auto *list = window->findChild<QTreeView *>("lstRisultati");
    bool shown = false;
    const QMetaObject::Connection done =
        QObject::connect(list->model(), &QAbstractItemModel::modelReset, [&] { shown = true; });
    QElapsedTimer t;
    t.start();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &release);
    while (!shown && t.elapsed() < 10000)
        QCoreApplication::processEvents();
    const double ms = t.nsecsElapsed() / 1e6;
    QObject::disconnect(done);
    return ms;
}

namespace {
// Types text key by key into an empty box: the first key's time and the slowest key's.
void typeAndReport(QWidget *window, SearchPanel *panel, const QString &text)
{
    window->findChild<QLineEdit *>("edtCerca")->clear();
    QCoreApplication::processEvents();
    double first = 0, slowest = 0;
    for (int i = 0; i < text.size(); ++i) {
        const double ms = keystroke(window, text.at(i));
        if (i == 0)
            first = ms;
        slowest = std::max(slowest, ms);
    }
    std::printf("  typing \"%s\": first key %.1f ms, slowest key %.1f ms, %d results\n", qPrintable(text), first,
                slowest, int(panel->results().size()));
}
} // namespace

// With VELBOR_BENCH_SERVER naming an empty PostgreSQL database (a libpq
// connection string), the search is measured on the archive copied there.
int runSearchBench(int argc, char **argv, const QString &folder)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::setScripted(true);
    Paths::setProgramFolder(folder);
    QString path = folder + "/Velbor.mdb";
    const QString server = qEnvironmentVariable("VELBOR_BENCH_SERVER");
    if (!server.isEmpty()) {
        Archive file, copy;
        QString error;
        QVector<TableCount> copied;
        if (!file.open(path, &error) || !PgStore::createArchive(server, &error) || !copy.openServer(server, &error)
            || !copyArchive(file, copy, {}, &copied, &error)) {
            std::printf("copy to the server failed: %s\n", qPrintable(error));
            return 1;
        }
        path = folder + "/Velbor.server";
        QFile serverFile(path);
        if (!serverFile.open(QIODevice::WriteOnly) || serverFile.write(server.toUtf8() + "\n") < 0)
            return 1;
        serverFile.close();
        std::printf("On PostgreSQL (%s):\n", qPrintable(server));
    } else {
        std::printf("On SQLite:\n");
    }
    Session session;
    session.state.PercorsoDati = folder;
    const QString opened = ApriArchivio(session.state, session.archive, folder);
    if (!opened.isEmpty()) {
        std::printf("%s\n", qPrintable(opened));
        return 1;
    }

    auto *w = new frmProgetti(session);
    w->show();
    SearchPanel *panel = w->search();
    report("project search opens (Ctrl+F: one read of projects, items, components; index)", timeMs([&] {
               panel->close();
               panel->open();
           }));
    if (server.isEmpty()) {
        const double plain = plainRead(path, {"SELECT codice,descr FROM Progetti ORDER BY vb_key",
                                              "SELECT codprj,livello,codice,descr FROM RighePRJ ORDER BY vb_key",
                                              "SELECT codprj,livello,codice,file FROM Componenti ORDER BY vb_key"});
        std::printf("  (plain read of the same rows: %.1f ms)\n", plain);
    }
    report("  index alone (folding 210,000 entries)", timeMs([&] {
               w->searchSource()->treeChanged();
               w->searchSource()->index();
           }));
    std::printf("Key to results, project search (210,000 entries):\n");
    for (const QString &text : {QStringLiteral("scuola"), QStringLiteral("p7345"), QStringLiteral("torre villa ponte"),
                                QStringLiteral("p5000-3.dwg"), QStringLiteral("zzz"), QStringLiteral("L1")})
        typeAndReport(w, panel, text);
    // After a save the tree is rebuilt: the next key makes the index again.
    w->CaricaProgetti();
    std::printf("  results again after a save and a key (tree rebuilt, index made again): %.1f ms, %d results\n",
                keystroke(w, QLatin1Char('a')), int(panel->results().size()));
    {
        // Another workstation adds a project: opening the search rebuilds the tree too.
        Archive other;
        ArchivePlace place;
        QString error;
        if (placeOf(path, &place, &error) && openArchive(place, &other, &error)) {
            other.projects().addNew();
            other.projects().setValue(u"codice", QStringLiteral("PNUOVO"));
            other.projects().setValue(u"descr", QStringLiteral("Biblioteca altrove"));
            if (!other.projects().update())
                std::printf("  (the other workstation's save failed: %s)\n", qPrintable(other.projects().lastError()));
        }
        panel->close();
        report("project search opens after another workstation added a project", timeMs([&] { panel->open(); }, 1));
        typeAndReport(w, panel, QStringLiteral("altrove"));
    }
    delete w;

    auto *reg = new frmClienti(session);
    reg->show();
    report("client search opens (one read of 10,000 clients; index)", timeMs([&] {
               reg->search()->close();
               reg->search()->open();
           }));
    std::printf("Key to results, client search (10,000 clients):\n");
    for (const QString &text : {QStringLiteral("cliente"), QStringLiteral("7345"), QStringLiteral("torre ponte milano")})
        typeAndReport(reg, reg->search(), text);
    delete reg;
    return 0;
}

int runGuiBench(int argc, char **argv, const QString &folder)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::setScripted(true);
    Paths::setProgramFolder(folder);
    QFile::remove(folder + "/SERVER.DAT");
    const QString path = folder + "/Velbor.mdb";
    if (argc > 1 && qstrcmp(argv[1], "server") == 0) {
        serverBench(path);
        return 0;
    }

    report("main window start-up (settings, archive, configuration)", timeMs([&] {
               Session session;
               frmMain main(session);
               main.Form_Load();
           }));

    Session session;
    session.state.PercorsoDati = folder;
    ApriArchivio(session.state, session.archive, folder);
    frmProgetti *w = nullptr;
    report("project window opens (tree of 110,000 nodes, all lists)", timeMs([&] {
               delete w;
               w = new frmProgetti(session);
           }));
    const double treeRead = plainRead(path, {"SELECT codice,descr FROM Progetti ORDER BY vb_key",
                                             "SELECT codprj,livello,codice,descr FROM RighePRJ ORDER BY vb_key"});
    const double clientRead = plainRead(path, {"SELECT codice,descr FROM Clienti ORDER BY vb_key"});
    report("CaricaProgetti: tree rebuild with both client lists", timeMs([&] { w->CaricaProgetti(); }), treeRead + clientRead);
    report("  of which CaricaClienti (two lists of 10,000 clients)", timeMs([&] { w->CaricaClienti(); }), clientRead);
    {
        QVector<QString> p, i;
        QString e;
        const TableInfo &pt = session.archive.projects().table();
        const TableInfo &it = session.archive.items().table();
        report("  reading the tree's rows (readTexts)", timeMs([&] {
                   session.archive.store().readTexts(pt, {pt.indexOf(u"codice"), pt.indexOf(u"descr")}, &p, &e);
                   session.archive.store().readTexts(it, {it.indexOf(u"codprj"), it.indexOf(u"livello"), it.indexOf(u"codice"), it.indexOf(u"descr")}, &i, &e);
               }), treeRead);
        ProjectTreeModel model;
        report("  building the tree model from rows read", timeMs([&] { model.rebuild(p, i); }));
    }
    projectCommands(session, w);
    {
        // One client with 1,000 projects.
        RecordView &projects = session.archive.projects();
        for (int i = 0; i < 1000; ++i) {
            projects.addNew();
            projects.setValue(u"codice", QStringLiteral("PC%1").arg(i));
            projects.setValue(u"descr", QStringLiteral("Progetto del cliente grande %1").arg(i));
            projects.setValue(u"data", "07/12/2026");
            projects.setValue(u"reparto", "Strutture");
            projects.setValue(u"operatore", "Rossi");
            projects.setValue(u"codcli", 99999);
            projects.update();
        }
        session.state.ClienteCorrente = "99999";
        report("client's project list opens (1,000 projects)", timeMs([&] { frmElenco list(session); }));
    }

    // One project with 1,000 components, half of them files on disk.
    {
        QDir(folder).mkpath("disegni");
        RecordView &components = session.archive.components();
        for (int i = 0; i < 1000; ++i) {
            const QString file = QStringLiteral("%1/disegni/%2.dwg").arg(folder).arg(i);
            if (i % 2 == 0) {
                QFile f(file);
                if (f.open(QIODevice::WriteOnly))
                    f.write(QByteArray(i, 'x'));
            }
            components.addNew();
            components.setValue(u"codprj", "PGRANDE");
            components.setValue(u"file", file);
            components.setValue(u"tipo", ".DWG");
            components.setValue(u"inserito", "07/12/2026 10:00:00");
            components.update();
        }
        session.state.FileNote = folder + "/note";
        report("components window opens with 1,000 components", timeMs([&] {
                   frmCOmponenti dlg(session);
                   dlg.CodPrj = "PGRANDE";
                   dlg.Form_Load();
               }));
    }

    // A notes page of 10 MB with pictures, against the same window without one.
    {
        QTextDocument page;
        QTextCursor cursor(&page);
        QRandomGenerator random(7);
        for (int p = 0; p < 8; ++p) {
            QImage noise(320, 320, QImage::Format_RGB32);
            for (int y = 0; y < noise.height(); ++y)
                for (int x = 0; x < noise.width(); ++x)
                    noise.setPixel(x, y, random.generate());
            const QString name = QStringLiteral("foto%1.png").arg(p);
            page.addResource(QTextDocument::ImageResource, QUrl(name), noise);
            cursor.insertImage(name);
            cursor.insertBlock();
        }
        QByteArray rtf = Rtf::write(&page);
        const QString paragraph = QStringLiteral("Sopralluogo del cantiere: misure della campata e appunti. ").repeated(4);
        while (rtf.size() < 10 * 1024 * 1024) {
            for (int i = 0; i < 2000; ++i) {
                cursor.insertText(paragraph);
                cursor.insertBlock();
            }
            rtf = Rtf::write(&page);
        }
        const QString notes = folder + "/note10mb";
        QFile f(notes);
        if (f.open(QIODevice::WriteOnly))
            f.write(rtf);
        f.close();
        const auto openAndClose = [&](const QString &file) {
            return timeMs([&] {
                session.state.FileNote = file;
                frmCOmponenti dlg(session);
                dlg.CodPrj = "P1";
                dlg.Form_Load();
                dlg.show();
                QCoreApplication::processEvents();
                dlg.close();
            });
        };
        const double without = openAndClose(folder + "/nessuna-nota");
        const double with = openAndClose(notes);
        std::printf("notes page of %.1f MB with 8 pictures: components window opens and closes in %.0f ms, "
                    "%.0f ms more than without notes (%.0f ms)\n",
                    rtf.size() / 1048576.0, with, with - without, without);
    }
    networkShare(folder);
    serverBench(path);
    return 0;
}
