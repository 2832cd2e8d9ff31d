// The administration tool: rewriting an archive with large pages, never while
// a workstation has it open.
#include "TestSupport.h"
#include "data/Archive.h"

#include <QProcess>
#include <QtTest>

namespace {
struct Run {
    int code = -1;
    QString output;
};

Run admin(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(VELBOR_ADMIN), args);
    Run r;
    if (p.waitForFinished(60000)) {
        r.code = p.exitCode();
        r.output = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    }
    return r;
}
} // namespace

class TestAdmin : public QObject {
    Q_OBJECT

private slots:
    void largePagesKeepEveryRowAndNeverWhileInUse()
    {
        TestFolders f;
        const QString path = f.root() + "/Velbor.mdb";
        QVERIFY(makeSmallPageArchive(path, f.dataArchive()));
        QString values;
        for (int i = 1; i <= 2000; ++i)
            values += QString("%1(%2,'cliente %2 di città')").arg(i > 1 ? "," : "").arg(i);
        QCOMPARE(sqlValue(path, "INSERT INTO Clienti(codice,descr) VALUES" + values), QString());
        QCOMPARE(sqlValue(path, "INSERT INTO Progetti(codice,descr,data) VALUES('P1','Ponte','2026-12-07')"), QString());
        const QString rows = "SELECT COUNT(*)||'|'||SUM(codice)||'|'||(SELECT group_concat(codice||descr||data) FROM Progetti) FROM Clienti";
        const QString before = sqlValue(path, rows);

        // A workstation has it open: refused, nothing changed.
        {
            Archive open;
            QString error;
            QVERIFY(open.open(path, &error));
            const QByteArray bytes = readBytes(path);
            const Run r = admin({"pagine64", path});
            QCOMPARE(r.code, 2);
            QVERIFY2(r.output.contains("è in uso"), qPrintable(r.output));
            QCOMPARE(readBytes(path), bytes);
        }

        const Run r = admin({"pagine64", path});
        QVERIFY2(r.code == 0, qPrintable(r.output));
        QCOMPARE(sqlValue(path, "PRAGMA page_size"), QStringLiteral("65536"));
        QCOMPARE(sqlValue(path, rows), before);
        QCOMPARE(sqlValue(path, "PRAGMA integrity_check"), QStringLiteral("ok"));
        QCOMPARE(sqlValue(path, "PRAGMA journal_mode"), QStringLiteral("delete"));
        Archive a;
        QString error;
        QVERIFY2(a.open(path, &error), qPrintable(error));
        QVERIFY(a.projects().findFirst("codice='P1'") && !a.projects().noMatch());
        QCOMPARE(a.projects().text(u"data"), QStringLiteral("07/12/2026"));
        a.close();
        // Done once is enough.
        QVERIFY(admin({"pagine64", path}).output.contains("già"));
    }

    void anArchiveBeingRewrittenIsNotOpened()
    {
        TestFolders f;
        ArchiveUse alone;
        QString error;
        QVERIFY(alone.acquire(f.dataArchive(), ArchiveUse::Mode::Alone, &error));
        Archive a;
        QVERIFY(!a.open(f.dataArchive(), &error));
        QVERIFY2(error.contains("manutenzione"), qPrintable(error));
        alone.release();
        QVERIFY(a.open(f.dataArchive(), &error));
        // And the other way round.
        QVERIFY(!alone.acquire(f.dataArchive(), ArchiveUse::Mode::Alone, &error));
        QVERIFY(error.contains("è in uso"));
    }

    void usageInItalian_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::newRow("--help") << QStringList{"--help"} << 0;
        QTest::newRow("nothing") << QStringList{} << 1;
        QTest::newRow("unknown") << QStringList{"compatta", "x"} << 1;
    }
    void usageInItalian()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        const Run r = admin(args);
        QCOMPARE(r.code, code);
        QVERIFY(r.output.contains("Uso: velbor_admin COMANDO ARGOMENTI"));
    }

    // Converting an old Access archive: refusals that write nothing.
    void convertRefusals_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("lock");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no such file") << "" << "" << 1 << "non esiste";
        QTest::newRow("not a Jet file") << "sqlite" << "" << 1 << "non è un archivio Access";
        QTest::newRow("another office's tables") << "jet" << "" << 1 << "non contiene le tabelle Clienti";
        QTest::newRow("a workstation at work") << "jet" << "UFFICIO-3" << 2 << "UFFICIO-3";
    }
    void convertRefusals()
    {
        QFETCH(QString, source);
        QFETCH(QString, lock);
        QFETCH(int, code);
        QFETCH(QString, expected);
        TestFolders f;
        const QString jet = f.root() + "/Velbor.mdb";
        if (source == "sqlite")
            QFile::copy(f.dataArchive(), jet);
        else if (source == "jet")
            writeBytes(jet, readBytes(QStringLiteral(VELBOR_JET_SAMPLES "/DateTestDatabase.mdb")));
        if (source == "jet" && !QFileInfo(jet).size())
            QSKIP("Jet sample databases not present");
        if (!lock.isEmpty())
            writeBytes(f.root() + "/velbor.LDB", lock.toLatin1() + QByteArray(64 - lock.size(), '\0'));
        const QByteArray before = readBytes(jet);
        const QString target = f.root() + "/nuovo.mdb";
        const Run r = admin({"converti", jet, target});
        QCOMPARE(r.code, code);
        QVERIFY2(r.output.contains(expected), qPrintable(r.output));
        QVERIFY(!QFileInfo::exists(target));
        QCOMPARE(readBytes(jet), before);
        QVERIFY(admin({"--help"}).output.contains("converti FILE_JET NUOVO_ARCHIVIO"));
    }
};

QTEST_MAIN(TestAdmin)
#include "tst_admin.moc"
