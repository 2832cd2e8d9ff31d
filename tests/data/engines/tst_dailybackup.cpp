// SPDX-License-Identifier: GPL-3.0-or-later
// The day's copy of a file archive: made once a day by one workstation,
// checked before older copies go, seven daily and four weekly kept.
#include "TestSupport.h"
#include "data/engines/Archive.h"
#include "data/engines/ArchiveCopy.h"
#include "data/engines/DailyBackup.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <thread>

namespace {
QStringList names(const QDate &last, int days)
{
    QStringList out;
    for (int i = 0; i < days; ++i)
        out << DailyBackup::fileName(last.addDays(-i));
    return out;
}
} // namespace

class TestDailyBackup : public QObject {
    Q_OBJECT

private slots:
    void keepsSevenDaysAndFourWeeks_data()
    {
        QTest::addColumn<QStringList>("copies");
        QTest::addColumn<QStringList>("past");
        // 2026-12-09 is a Wednesday; the days kept run back to 12-03.
        const QDate today(2026, 12, 9);
        QTest::newRow("a week") << names(today, 7) << QStringList();
        QTest::newRow("five weeks and a day")
            << names(today, 36)
            // Kept as weekly: 12-02 (week 49), 11-29 (48), 11-22 (47), 11-15 (46).
            << (names(QDate(2026, 12, 1), 2) + names(QDate(2026, 11, 28), 6) + names(QDate(2026, 11, 21), 6)
                + names(QDate(2026, 11, 14), 6) + names(QDate(2026, 11, 8), 5));
        QTest::newRow("other files are never listed")
            << (names(today, 8) + QStringList{"Velbor.mdb", "Velbor-2026-1-1.mdb", "nota.txt", "Velbor-2020-01-01.mdb.in-corso"})
            << QStringList();
    }
    void keepsSevenDaysAndFourWeeks()
    {
        QFETCH(QStringList, copies);
        QFETCH(QStringList, past);
        QStringList got = DailyBackup::pastKeeping(copies);
        got.sort();
        past.sort();
        QCOMPARE(got, past);
    }

    // Today's copy holds what the archive holds; a second start makes none;
    // older copies past keeping go only once it is checked.
    void makesTodaysCopyOnce()
    {
        TestFolders f;
        const QString archive = f.root() + "/dati/Velbor.mdb";
        QCOMPARE(sqlValue(archive, "INSERT INTO Progetti(codice,descr) VALUES('P1','Scuola')"), QString());
        const QString folder = DailyBackup::folderIn(f.data());
        QVERIFY(QDir().mkpath(folder));
        const QDate today(2026, 12, 9);
        for (const QString &old : names(today.addDays(-1), 40))
            writeBytes(folder + "/" + old, "vecchia copia");

        const DailyBackup::Result made = DailyBackup::run(archive, today);
        QCOMPARE(int(made.outcome), int(DailyBackup::Outcome::Made));
        QCOMPARE(made.file, native(folder + "/Velbor-2026-12-09.mdb"));
        QCOMPARE(sqlValue(made.file, "SELECT descr FROM Progetti"), QStringLiteral("Scuola"));
        QCOMPARE(integrityOf(made.file), QStringLiteral("ok"));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1 + 6 + 4);
        QVERIFY(!QFileInfo::exists(folder + "/Velbor-2026-12-09.mdb.in-corso"));

        QCOMPARE(int(DailyBackup::run(archive, today).outcome), int(DailyBackup::Outcome::AlreadyMade));
        QCOMPARE(int(DailyBackup::run(f.root() + "/dati/Velbor.server", today).outcome),
                 int(DailyBackup::Outcome::NotNeeded));
    }

    // A copy that fails removes nothing and says why.
    void aFailedCopyKeepsTheOldOnes()
    {
        TestFolders f;
        const QString archive = f.root() + "/dati/Velbor.mdb";
        const QString folder = DailyBackup::folderIn(f.data());
        QVERIFY(QDir().mkpath(folder));
        for (const QString &old : names(QDate(2026, 12, 8), 20))
            writeBytes(folder + "/" + old, "vecchia copia");
        QVERIFY(QDir().mkpath(folder + "/Velbor-2026-12-09.mdb.in-corso"));   // stands in the claim's way
        const DailyBackup::Result r = DailyBackup::run(archive, QDate(2026, 12, 9));
        QVERIFY(r.outcome == DailyBackup::Outcome::Failed || r.outcome == DailyBackup::Outcome::InProgress);
        QCOMPARE(QDir(folder).entryList({"Velbor-*.mdb"}, QDir::Files).size(), 20);

        // Backup is a file, not a folder: the message names it.
        TestFolders g;
        writeBytes(DailyBackup::folderIn(g.data()), "non una cartella");
        const DailyBackup::Result bad = DailyBackup::run(g.root() + "/dati/Velbor.mdb", QDate(2026, 12, 9));
        QCOMPARE(int(bad.outcome), int(DailyBackup::Outcome::Failed));
        QVERIFY2(bad.error.contains("Backup"), qPrintable(bad.error));
    }

    // Two workstations starting at once make one copy; a claim left by a run
    // that died hours ago does not stop the day's copy.
    void oneCopyForTwoWorkstations()
    {
        TestFolders f;
        const QString archive = f.root() + "/dati/Velbor.mdb";
        const QDate today(2026, 12, 9);
        DailyBackup::Result a, b;
        std::thread first([&] { a = DailyBackup::run(archive, today); });
        std::thread second([&] { b = DailyBackup::run(archive, today); });
        first.join();
        second.join();
        QCOMPARE(int(a.outcome == DailyBackup::Outcome::Made) + int(b.outcome == DailyBackup::Outcome::Made), 1);
        for (const DailyBackup::Result &r : {a, b})
            QVERIFY2(r.outcome != DailyBackup::Outcome::Failed, qPrintable(r.error));
        QCOMPARE(QDir(DailyBackup::folderIn(f.data())).entryList(QDir::Files | QDir::Hidden).size(), 1);

        const QString claim = DailyBackup::folderIn(f.data()) + "/Velbor-2026-12-10.mdb.in-corso";
        writeBytes(claim, "");
        QCOMPARE(int(DailyBackup::run(archive, today.addDays(1)).outcome), int(DailyBackup::Outcome::InProgress));
        QFile stale(claim);
        QVERIFY(stale.open(QIODevice::ReadWrite));
        QVERIFY(stale.setFileTime(QDateTime::currentDateTime().addSecs(-7 * 3600), QFileDevice::FileModificationTime));
        stale.close();
        QCOMPARE(int(DailyBackup::run(archive, today.addDays(1)).outcome), int(DailyBackup::Outcome::Made));
        QVERIFY(!QFileInfo::exists(claim));
    }
};

QTEST_MAIN(TestDailyBackup)
#include "tst_dailybackup.moc"
