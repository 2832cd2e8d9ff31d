// SPDX-License-Identifier: GPL-3.0-or-later
// "velbor_bench notes": the project search with the words of 20,000 notes
// pages of 5 KB (10,000 projects' and 10,000 items') in an archive of
// 10,000 projects and 100,000 items: the first Ctrl+F on a share (0.5 ms a
// request), a key to results, what a notes save adds, and the program's
// peak memory with 110,000 results on show, against the same archive without
// notes. Each measure runs in a process of its own, so its peak is its own.
#include "BenchArchive.h"
#include "LatencyVfs.h"
#include "basMain.h"
#include "data/NotesIndex.h"
#include "data/engines/SqliteStore.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "projects/NotesSearch.h"
#include "projects/frmProgetti.h"
#include "widgets/SearchPanel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTextDocument>
#include <QTreeView>

#include <cstdio>

double keystroke(QWidget *window, QChar c);   // bench_gui.cpp

namespace {
constexpr int kPages = 20000;

// Peak resident memory of this process, in MB (Linux; 0 elsewhere).
double peakMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// A page of about 5 KB of a technical office's notes, as text and as RTF.
void makePage(QRandomGenerator &rng, QString *text, QByteArray *rtf)
{
    static const char *const common[] = {
        "trave", "pilastro", "soletta", "armatura", "calcestruzzo", "acciaio", "campata", "copertura", "fondazione",
        "muratura", "solaio", "verifica", "carico", "neve", "vento", "sismica", "progetto", "cantiere",
        "sopralluogo", "misure", "relazione", "tavola", "impianto", "elettrico", "idraulico", "riscaldamento",
        "serramenti", "facciata", "intonaco", "pavimento", "della", "del", "per", "con", "sul", "nella", "e", "il",
        "la", "di", "a", "da", "in", "che", "non", "sono", "come", "dopo", "prima", "cliente", "geometra",
        "ingegnere", "comune", "pratica", "permesso", "variante", "collaudo", "computo", "preventivo"};
    static const char *const syllables[] = {"ba", "co", "di", "fe", "gi", "lo", "ma", "ne", "pi", "ra", "se", "tu",
                                            "vo", "za", "stra", "pon", "tel", "mar", "cin", "ger"};
    text->clear();
    *rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\pard\\f0\\fs20 ";
    QString line;
    int words = 0;
    while (rtf->size() < 5000) {
        QString w;
        const quint32 kind = rng.bounded(10);
        if (kind < 7) {
            w = QString::fromLatin1(common[rng.bounded(int(std::size(common)))]);
        } else if (kind < 9) {
            // Names and places: many distinct words over the pages.
            for (int s = 0, n = 2 + rng.bounded(3); s < n; ++s)
                w += QString::fromLatin1(syllables[rng.bounded(int(std::size(syllables)))]);
        } else {
            w = QStringLiteral("%1,%2").arg(rng.bounded(1000)).arg(rng.bounded(100));
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + w;
        rtf->append((words % 14 ? " " : "") + w.toLatin1());
        if (++words % 14 == 0) {
            *text += line + QLatin1Char('\n');
            line.clear();
            rtf->append("\\par\r\n");
        }
    }
    *text += line;
    rtf->append("\\par}");
}

int build(const QString &folder)
{
    const QString notesFolder = folder + "/note", plainFolder = folder + "/senza";
    QDir().mkpath(notesFolder);
    QDir().mkpath(plainFolder);
    QString error;
    std::printf("Building the archive (10,000 projects, 100,000 items) and 20,000 notes pages of 5 KB...\n");
    if (!buildBenchArchive(plainFolder + "/Velbor.mdb", BenchSize{}, &error)
        || !QFile::copy(plainFolder + "/Velbor.mdb", notesFolder + "/Velbor.mdb")) {
        std::printf("%s\n", qPrintable(error));
        return 1;
    }
    Archive a;
    if (!a.open(notesFolder + "/Velbor.mdb", &error) || !a.notesTable()) {
        std::printf("%s\n", qPrintable(error));
        return 1;
    }
    QRandomGenerator rng(26);
    QVector<NotesIndex::Row> rows;
    qint64 bytes = 0, chars = 0;
    for (int i = 0; i < kPages; ++i) {
        // The first 10,000: every project's page; then the first item of each project.
        const int project = i % 10000 + 1;
        const QString code = QStringLiteral("P%1").arg(project);
        const QString item = QStringLiteral("L1%1").arg((project - 1) * 10 + 1);
        const QString path = i < 10000 ? code + '/' + code : code + '/' + item + '/' + item;
        const QString file = NotesIndex::fileOf(notesFolder, path);
        QDir().mkpath(QFileInfo(file).absolutePath());
        NotesIndex::Row row{path};
        QByteArray rtf;
        makePage(rng, &row.text, &rtf);
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(rtf) != rtf.size())
            return 1;
        f.close();
        NotesIndex::stat(file, &row.size, &row.modified);
        row.fingerprint = NotesIndex::fingerprintOf(rtf);
        bytes += rtf.size();
        chars += row.text.size();
        rows.append(std::move(row));
        if (rows.size() == 500) {
            if (!NotesIndex::store(a.store(), *a.notesTable(), rows, &error)) {
                std::printf("%s\n", qPrintable(error));
                return 1;
            }
            rows.clear();
        }
    }
    std::printf("%d pages, %.1f MB of RTF, %.1f M characters of text, in %s\n", kPages, bytes / 1048576.0, chars / 1e6,
                qPrintable(folder));
    a.close();
    for (const QString &which : {plainFolder, notesFolder}) {
        std::printf("\n%s:\n", which == plainFolder ? "Without notes pages" : "With 20,000 notes pages");
        std::fflush(stdout);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"notes", "measure", which});
        child.waitForFinished(-1);
    }
    return 0;
}

int measure(int argc, char **argv, const QString &folder)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::setScripted(true);
    Paths::setProgramFolder(folder);
    // Every request of the archive file waits as on a share.
    SqliteStore::setVfs(QString::fromLatin1(LatencyVfs::install()));
    LatencyVfs::setDelayMicroseconds(500);
    Session session;
    session.state.PercorsoDati = folder;
    const QString opened = ApriArchivio(session.state, session.archive, folder);
    if (!opened.isEmpty()) {
        std::printf("%s\n", qPrintable(opened));
        return 1;
    }
    {
        // A window closed while its notes load waits only for the chunk under way.
        auto *early = new frmProgetti(session);
        early->show();
        QEventLoop pause;
        QTimer::singleShot(200, &pause, &QEventLoop::quit);
        pause.exec();
        QElapsedTimer closing;
        closing.start();
        delete early;
        std::printf("  the window closed while the texts load: %.0f ms\n", closing.nsecsElapsed() / 1e6);
    }
    auto *w = new frmProgetti(session);
    w->show();
    NotesSearch *notes = w->notesSearch();
    // Waiting as the program waits, in its event loop: the threads have the processor.
    const auto waitFor = [&](auto signal, const std::function<bool()> &done) {
        QEventLoop loop;
        const auto c = QObject::connect(notes, signal, &loop, [&] {
            if (done())
                loop.quit();
        });
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
        if (!done())
            loop.exec();
        QObject::disconnect(c);
    };
    bool loaded = false;
    QObject::connect(notes, &NotesSearch::changed, [&] { loaded = true; });
    QElapsedTimer t;
    t.start();
    LatencyVfs::resetCounts();
    w->search()->open();
    const double tree = t.nsecsElapsed() / 1e6;
    waitFor(&NotesSearch::changed, [&] { return loaded; });
    const double words = t.nsecsElapsed() / 1e6;
    std::printf("  first Ctrl+F on the share: search open in %.0f ms; notes pages searchable after %.0f ms "
                "(%ld requests)\n",
                tree, words, LatencyVfs::counts().total());
    waitFor(&NotesSearch::settledNow, [&] { return notes->settled(); });
    std::printf("  look for pages changed by other programs (110,000 nodes, files on this disk): done after %.0f ms\n",
                t.nsecsElapsed() / 1e6);
    auto *edit = w->findChild<QLineEdit *>("edtCerca");
    auto *results = w->findChild<QTreeView *>("lstRisultati")->model();
    for (const QString &text : {QStringLiteral("armatura"), QStringLiteral("soletta campata"), QStringLiteral("pontel"),
                                QStringLiteral("zzz")}) {
        edit->clear();
        QCoreApplication::processEvents();
        double first = 0, slowest = 0;
        for (int i = 0; i < text.size(); ++i) {
            const double ms = keystroke(w, text.at(i));
            first = i == 0 ? ms : first;
            slowest = std::max(slowest, ms);
        }
        // The lines of the results on show are read from the archive.
        QElapsedTimer lines;
        lines.start();
        for (int r = 0; r < std::min(25, results->rowCount()); ++r)
            results->index(r, 1).data();
        std::printf("  typing \"%s\": first key %.1f ms, slowest key %.1f ms, %d results; 25 lines shown in %.1f ms\n",
                    qPrintable(text), first, slowest, int(w->search()->results().size()), lines.nsecsElapsed() / 1e6);
    }
    // A notes save: what keeping the page's text adds, on the share.
    if (const TableInfo *table = session.archive.notesTable(); table && folder.endsWith("note")) {
        QString text;
        QByteArray rtf;
        QRandomGenerator rng(9);
        makePage(rng, &text, &rtf);
        QTextDocument doc;
        doc.setPlainText(text);
        int n = 0;
        LatencyVfs::resetCounts();
        const double ms = timeMs([&] {
            NotesIndex::Row row{QStringLiteral("P77/P77"), rtf.size() + ++n, 1, NotesIndex::fingerprintOf(rtf),
                                doc.toPlainText()};
            QString error;
            if (!NotesIndex::store(session.archive.store(), *table, {row}, &error))
                std::printf("  (the row was refused: %s)\n", qPrintable(error));
        }, 10);
        const LatencyVfs::Counts c = LatencyVfs::counts();
        std::printf("  a notes save keeps the page's text: %.1f ms more on the share (per save: %.1f requests: "
                    "%.1f reads, %.1f writes, %.1f syncs, %.1f locks, %.1f opens, %.1f other)\n",
                    ms, c.total() / 10.0, c.reads / 10.0, c.writes / 10.0, c.syncs / 10.0, c.locks / 10.0,
                    c.opens / 10.0, c.other / 10.0);
    }
    // 110,000 results on show.
    edit->clear();
    QCoreApplication::processEvents();
    keystroke(w, QLatin1Char('p'));
    std::printf("  \"p\": %d results; peak memory of the program: %.0f MB; words of the pages: %d distinct\n",
                int(w->search()->results().size()), peakMb(), notes->words().wordCount());
    delete w;
    return 0;
}
} // namespace

int runNotesBench(int argc, char **argv, const QString &folder)
{
    if (argc > 3 && qstrcmp(argv[2], "measure") == 0)
        return measure(argc, argv, QString::fromLocal8Bit(argv[3]));
    QCoreApplication app(argc, argv);
    return build(folder);
}
