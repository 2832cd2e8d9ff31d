// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's safety net below the windows: older archives get its tables
// at open, a save keeps the fields it changed, a delete keeps the whole row,
// and whole copies carry both.
#include "TestSupport.h"
#include "data/Journal.h"
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
};

QTEST_GUILESS_MAIN(TestSafetyNet)
#include "tst_safetynet.moc"
