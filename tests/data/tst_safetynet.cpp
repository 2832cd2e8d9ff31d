// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's safety net below the windows: older archives get its tables
// at open, a save keeps the fields it changed, a delete keeps the whole row,
// and whole copies carry both.
#include "TestSupport.h"
#include "data/Journal.h"
#include "data/NotesIndex.h"
#include "data/RecycleBin.h"
#include "data/engines/Archive.h"
#include "data/engines/ArchiveCopy.h"

#include <QtTest>

namespace {
QString countOf(const QString &archive, const QString &table)
{
    return sqlValue(archive, QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
}

bool addClient(Archive &a, int code, const QString &name)
{
    a.clients().addNew();
    return a.clients().setValue(u"codice", code) && a.clients().setValue(u"descr", name) && a.clients().update();
}
} // namespace

class TestSafetyNet : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Journal::setWho({QStringLiteral("mario"), QStringLiteral("PC-UFFICIO")}); }

    // An archive made before the safety net gets its tables at its first
    // open, and from then on saves and deletes fill them.
    void olderArchiveGetsTheTablesAtOpen()
    {
        TestFolders f;
        QVERIFY(f.ok());
        for (const QString &t : Tables::safety())
            QVERIFY(!sqlValue(f.dataArchive(), "DROP TABLE " + t).startsWith("ERROR"));
        Archive a;
        QString error;
        QVERIFY2(a.open(f.dataArchive(), &error), qPrintable(error));
        for (const QString &t : Tables::safety())
            QVERIFY2(a.safetyTable(t), qPrintable(t));
        QVERIFY(a.journal());
        QVERIFY2(addClient(a, 7, "Rossi"), qPrintable(a.clients().lastError()));
        QCOMPARE(countOf(f.dataArchive(), "Storico"), QStringLiteral("2"));
        QVERIFY(a.clients().findFirst("codice = 7") && a.clients().deleteCurrent());
        QCOMPARE(countOf(f.dataArchive(), "Cestino"), QStringLiteral("1"));
    }

    // A line per field whose text changed, with the value before and after,
    // who and where; a save that changes nothing writes none.
    void aSaveKeepsTheFieldsItChanged()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY2(a.open(f.dataArchive(), &error), qPrintable(error));
        QVERIFY(addClient(a, 3, "Bianchi"));
        QVERIFY(a.clients().findFirst("codice = 3"));
        const qint64 key = a.clients().currentKey();
        QVERIFY(a.clients().edit(a.clients().currentValues()) && a.clients().setValue(u"descr", "Bianchi srl")
                && a.clients().setValue(u"citta", "Torino") && a.clients().update());
        QVERIFY(a.clients().edit() && a.clients().update());   // nothing changed

        QVector<HistoryLine> lines;
        QVERIFY2(a.journal()->historyOf(Tables::Clienti, key, &lines, &error), qPrintable(error));
        QStringList seen;
        for (const HistoryLine &l : lines)
            seen << l.field + ": " + l.before + " -> " + l.after;
        // Newest first; the first save wrote the code and the name.
        QCOMPARE(seen, (QStringList{"citta:  -> Torino", "descr: Bianchi -> Bianchi srl", "descr:  -> Bianchi",
                                    "codice:  -> 3"}));
        QCOMPARE(lines.first().user, QStringLiteral("mario"));
        QCOMPARE(lines.first().host, QStringLiteral("PC-UFFICIO"));
        QVERIFY(qAbs(lines.first().when.secsTo(QDateTime::currentDateTime())) < 120);
    }

    // The bin keeps the row as stored, not as the view last read it: another
    // workstation's save after this one's read is what goes back.
    void theBinKeepsTheRowAsStored()
    {
        TestFolders f;
        Archive a, b;
        QString error;
        QVERIFY2(a.open(f.dataArchive(), &error) && b.open(f.dataArchive(), &error), qPrintable(error));
        QVERIFY(addClient(a, 5, "Verdi"));
        QVERIFY(a.clients().findFirst("codice = 5") && b.clients().findFirst("codice = 5"));
        QVERIFY(b.clients().edit() && b.clients().setValue(u"telefono", "011 22") && b.clients().update());
        QVERIFY(a.clients().deleteCurrent());
        RecycleBin bin(a);
        QVector<BinEntry> entries;
        QVERIFY2(bin.list(&entries, &error), qPrintable(error));
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().text(a, u"telefono"), QStringLiteral("011 22"));
        QCOMPARE(entries.first().user, QStringLiteral("mario"));
    }

    // A whole copy (file or server into a new file) carries the bin and the
    // history, checked like every other table.
    void copiesCarryTheSafetyNet()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY2(a.open(f.dataArchive(), &error), qPrintable(error));
        QVERIFY(addClient(a, 1, "Uno") && addClient(a, 2, "Due"));
        QVERIFY(a.clients().findFirst("codice = 2") && a.clients().deleteCurrent());
        RecycleBin bin(a);
        QVERIFY2(bin.setKeepDays(30, &error), qPrintable(error));
        const QString copy = f.root() + "/copia.mdb";
        QVector<TableCount> copied;
        QVERIFY2(copyToNewFile(a, copy, {}, &copied, &error), qPrintable(error));
        for (const QString &t : Tables::safety())
            QCOMPARE(countOf(copy, t), countOf(f.dataArchive(), t));
        QCOMPARE(countOf(copy, "Storico"), QStringLiteral("4"));
        if (!a.onServer()) {
            const QString backup = f.root() + "/backup.mdb";
            QVERIFY2(backupFileArchive(a, backup, BackupCheck::Counts, &error), qPrintable(error));
            QCOMPARE(countOf(backup, "Cestino"), QStringLiteral("1"));
        }
        Archive opened;
        QVERIFY2(opened.open(copy, &error), qPrintable(error));
        int days = 0;
        QVERIFY(RecycleBin(opened).keepDays(&days, &error));
        QCOMPARE(days, 30);
    }

    // The notes pages' texts: an archive made before has the table after its
    // first open; a page's row is written over (letter case of its path kept
    // apart), keeps its text when only the time moved, and goes with the page.
    void notesTextsAreKeptOnePerPage()
    {
        TestFolders f;
        QVERIFY(!sqlValue(f.dataArchive(), "DROP TABLE TestiNote").startsWith("ERROR"));
        Archive a;
        QString error;
        QVERIFY2(a.open(f.dataArchive(), &error), qPrintable(error));
        const TableInfo *t = a.notesTable();
        QVERIFY(t);
        QVector<NotesIndex::Row> rows;
        for (int i = 0; i < 300; ++i)
            rows.append({QString("P%1/P%1").arg(i), 10 + i, 1000 + i, "f" + QByteArray::number(i), QString("testo %1").arg(i)});
        QVERIFY2(NotesIndex::store(a.store(), *t, rows, &error), qPrintable(error));
        NotesIndex::Row changed{"P7/P7", 99, 2000, "g", "città nuova"};
        NotesIndex::Row touched{"P8/P8", 18, 3000, "f8", QString(), true};
        NotesIndex::Row gone{"P9/P9"};
        NotesIndex::Row otherCase{"p10/p10", 1, 1, "h", "minuscolo"};
        QVERIFY2(NotesIndex::store(a.store(), *t, {changed, touched, gone, otherCase}, &error), qPrintable(error));
        QCOMPARE(countOf(f.dataArchive(), "TestiNote"), QStringLiteral("300"));
        QHash<QString, NotesIndex::Row> read;
        QStringList order;
        QVERIFY2(NotesIndex::readAll(a.store(), *t, [&](NotesIndex::Row &&r) { order << r.path; read.insert(r.path, r); }, &error),
                 qPrintable(error));
        QCOMPARE(order.size(), 300);
        QCOMPARE(order.first(), QStringLiteral("P0/P0"));
        QCOMPARE(read.value("P7/P7").text, QStringLiteral("città nuova"));
        QCOMPARE(read.value("P7/P7").size, 99);
        QCOMPARE(read.value("P8/P8").text, QStringLiteral("testo 8"));
        QCOMPARE(read.value("P8/P8").modified, 3000);
        QVERIFY(!read.contains("P9/P9"));
        QCOMPARE(read.value("P10/P10").text, QStringLiteral("testo 10"));
        QCOMPARE(read.value("p10/p10").text, QStringLiteral("minuscolo"));
        QString text;
        QVERIFY(NotesIndex::textOf(a.store(), *t, "P7/P7", &text, &error) && text == QStringLiteral("città nuova"));
        QVERIFY(NotesIndex::textOf(a.store(), *t, "P9/P9", &text, &error) && text.isNull());
    }
};

QTEST_GUILESS_MAIN(TestSafetyNet)
#include "tst_safetynet.moc"
