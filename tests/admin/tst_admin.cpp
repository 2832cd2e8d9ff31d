// SPDX-License-Identifier: GPL-3.0-or-later
// The administration tool: rewriting an archive with large pages, never while
// a workstation has it open.
#include "TestSupport.h"
#include "data/ArchiveCopy.h"
#include "data/basMain.h"

#include <QProcess>
#include <QtTest>

namespace {
// How many tables the server database holds.
const QString kServerTables =
    QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_schema = current_schema()");

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
        QVERIFY(makeSmallPageArchive(path, f.programArchive()));
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
        QVERIFY(alone.acquire(f.programArchive(), ArchiveUse::Mode::Alone, &error));
        Archive a;
        QVERIFY(!a.open(f.programArchive(), &error));
        QVERIFY2(error.contains("manutenzione"), qPrintable(error));
        alone.release();
        QVERIFY(a.open(f.programArchive(), &error));
        // And the other way round.
        QVERIFY(!alone.acquire(f.programArchive(), ArchiveUse::Mode::Alone, &error));
        QVERIFY(error.contains("è in uso"));
    }

    // Into a server and back: every value, absent or empty, the stored order
    // and the highest key ever given arrive; the source never changes; a
    // second copy into a full target and a value the server cannot hold are
    // refused with nothing written.
    void copiesToTheServerAndBackChecked()
    {
        if (!testOnServer())
            QSKIP("copia sul server: solo con il server");
        TestFolders f;
        ServerDatabase db, bad;
        QVERIFY(db.ok() && bad.ok());
        const QString source = f.programArchive();
        for (const char *statement :
             {"INSERT INTO Clienti(vb_key,codice,descr,citta,piva) VALUES "
              "(7,1,'Città d''Ørsted','',NULL),(3,2,'ΟΔΟΣ','x',NULL),(40,3,'tolto','',NULL)",
              "DELETE FROM Clienti WHERE vb_key=40",
              "INSERT INTO Progetti(codice,descr,note,data,codcli) VALUES "
              "('P1','Ponte','riga 1' || char(13,10,9) || 'riga 2 \\ fine','2026-12-07',1)",
              "INSERT INTO Componenti(codprj,livello,codice,file,inserito) VALUES "
              "('P1',0,'P1','S:\\Studio\\P1\\a.dwg','2026-12-07 09:05:03')",
              "INSERT INTO maxcodice(codice,livello) VALUES (41,1),(2147483647,2)"})
            QCOMPARE(sqlValue(source, statement), QString());
        const QByteArray before = readBytes(source);
        const Run r = admin({"copia", source, db.conninfo()});
        QVERIFY2(r.code == 0, qPrintable(r.output));
        QVERIFY2(r.output.contains("Clienti: 2"), qPrintable(r.output));
        QCOMPARE(readBytes(source), before);
        QCOMPARE(serverValue(db.conninfo(), "SELECT string_agg(vb_key || ':' || coalesce(piva, 'assente') || ':' || citta, ',' ORDER BY vb_key) FROM clienti"),
                 QStringLiteral("3:assente:x,7:assente:"));

        // Keys go on after the highest ever given, on the server too.
        Archive server;
        QString error;
        QVERIFY2(server.openServer(db.conninfo(), &error), qPrintable(error));
        server.clients().addNew();
        QVERIFY(server.clients().setValue(u"codice", 4) && server.clients().update());
        QCOMPARE(serverValue(db.conninfo(), "SELECT max(vb_key) FROM clienti"), QStringLiteral("41"));
        server.close();

        const Run again = admin({"copia", source, db.conninfo()});
        QCOMPARE(again.code, 1);
        QVERIFY2(again.output.contains("non è vuota"), qPrintable(again.output));

        const QString back = f.root() + "/ritorno.mdb";
        const Run home = admin({"copia", db.conninfo(), back});
        QVERIFY2(home.code == 0, qPrintable(home.output));
        Archive a, b;
        QVERIFY(a.openServer(db.conninfo(), &error) && b.open(back, &error));
        QVERIFY2(sameContent(a, b, &error), qPrintable(error));
        QCOMPARE(sqlValue(back, "SELECT seq FROM sqlite_sequence WHERE name='Clienti'"), QStringLiteral("41"));

        QCOMPARE(sqlValue(source, "UPDATE Progetti SET data='ieri'"), QString());
        const Run refused = admin({"copia", source, bad.conninfo()});
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.output.contains("Tabella Progetti, riga 1 (chiave 1), campo data"), qPrintable(refused.output));
        QCOMPARE(serverValue(bad.conninfo(), kServerTables), QStringLiteral("0"));
    }

    // A text whose bytes are not UTF-8 cannot reach either engine unchanged:
    // the copy is refused naming table, row and field, and leaves no
    // destination behind. Texts that are UTF-8 arrive byte for byte, a
    // leading U+FEFF included.
    void copyCarriesTextBytesOrRefuses_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("server");
        QTest::addColumn<bool>("refused");
        QTest::newRow("C3 28 into a file") << QByteArray("C328") << false << true;
        QTest::newRow("C3 28 onto a server") << QByteArray("C328") << true << true;
        QTest::newRow("encoded surrogate into a file") << QByteArray("61EDA080") << false << true;
        QTest::newRow("leading U+FEFF into a file") << QByteArray("EFBBBF61") << false << false;
        QTest::newRow("leading U+FEFF onto a server") << QByteArray("EFBBBF61") << true << false;
    }
    void copyCarriesTextBytesOrRefuses()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, server);
        QFETCH(bool, refused);
        if (server && !testOnServer())
            QSKIP("copia sul server: solo con il server");
        TestFolders f;
        const QString source = f.programArchive();
        QCOMPARE(sqlValue(source, "INSERT INTO Clienti(vb_key,codice,descr) VALUES (3,1,'Rossi'),(9,2,CAST(X'"
                                      + bytes + "' AS TEXT))"),
                 QString());
        const QByteArray before = readBytes(source);
        std::unique_ptr<ServerDatabase> db(server ? new ServerDatabase : nullptr);
        const QString target = server ? db->conninfo() : f.root() + "/copia.mdb";
        const Run r = admin({"copia", source, target});
        QCOMPARE(readBytes(source), before);
        if (refused) {
            QCOMPARE(r.code, 1);
            QVERIFY2(r.output.contains("Tabella Clienti, riga 2 (chiave 9), campo descr: il testo non è UTF-8 valido"),
                     qPrintable(r.output));
            if (server)
                QCOMPARE(serverValue(target, kServerTables), QStringLiteral("0"));
            else
                QCOMPARE(QDir(f.root()).entryList({"copia*"}), QStringList());
            return;
        }
        QVERIFY2(r.code == 0, qPrintable(r.output));
        const QString stored = server ? serverValue(target, "SELECT upper(encode(convert_to(descr, 'UTF8'), 'hex')) "
                                                            "FROM clienti WHERE vb_key = 9")
                                      : sqlValue(target, "SELECT hex(descr) FROM Clienti WHERE vb_key = 9");
        QCOMPARE(stored, QString::fromLatin1(bytes));
    }

    // Two texts read alike when bad bytes read back as U+FFFD, or a leading
    // U+FEFF is dropped: the comparison that checks every copy still tells
    // them apart. A backup keeps the bytes as they are, and passes its check.
    void comparisonSeesTheStoredBytes_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<bool>("same");
        QTest::newRow("C3 28 and U+FFFD (") << QByteArray("C328") << QByteArray("EFBFBD28") << false;
        QTest::newRow("C3 28 twice") << QByteArray("C328") << QByteArray("C328") << true;
        QTest::newRow("U+FEFF a and a") << QByteArray("EFBBBF61") << QByteArray("61") << false;
    }
    void comparisonSeesTheStoredBytes()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(bool, same);
        TestFolders f;
        const QString one = f.programArchive(), two = f.root() + "/due.mdb";
        QVERIFY(QFile::copy(one, two));
        for (const auto &[path, bytes] : {std::pair{one, first}, std::pair{two, second}})
            QCOMPARE(sqlValue(path, "INSERT INTO Clienti(codice,descr) VALUES (1,'Rossi'),(2,CAST(X'" + bytes
                                        + "' AS TEXT))"),
                     QString());
        {
            Archive a, b;
            QString error;
            QVERIFY(a.open(one, &error) && b.open(two, &error));
            QCOMPARE(sameContent(a, b, &error), same);
            QCOMPARE(sameContent(b, a, &error), same);
            if (!same)
                QVERIFY2(error.startsWith("Tabella Clienti, riga 2 (chiave 2), campo descr: "), qPrintable(error));
        }
        const QString copy = f.root() + "/backup.mdb";
        const Run r = admin({"backup", one, copy});
        QVERIFY2(r.code == 0, qPrintable(r.output));
        QCOMPARE(sqlValue(copy, "SELECT hex(descr) FROM Clienti WHERE codice = 2"), QString::fromLatin1(first));
    }

    // An office moves to the server: refused while a workstation has the
    // file open; then the folder names the server and the old file is kept
    // under a name that says what it is.
    void movesAFolderToTheServer()
    {
        if (!testOnServer())
            QSKIP("trasferimento sul server: solo con il server");
        TestFolders f;
        ServerDatabase db;
        QCOMPARE(sqlValue(f.programArchive(), "INSERT INTO Clienti(codice,descr) VALUES (5,'Bianchi')"), QString());
        const QString folder = f.program();
        {
            Archive open;
            QString error;
            QVERIFY(open.open(f.programArchive(), &error));
            const Run r = admin({"trasferisci", folder, db.conninfo()});
            QCOMPARE(r.code, 1);
            QVERIFY2(r.output.contains("è in uso"), qPrintable(r.output));
            QVERIFY(!QFileInfo::exists(folder + "/Velbor.server"));
        }
        const Run r = admin({"trasferisci", folder, db.conninfo()});
        QVERIFY2(r.code == 0, qPrintable(r.output));
        QVERIFY(!QFileInfo::exists(f.programArchive()));
        QVERIFY(QFileInfo::exists(f.programArchive() + ".trasferito-sul-server"));
        QCOMPARE(archivePathIn(folder), folder + "/Velbor.server");
        Archive moved;
        QString error;
        QVERIFY2(moved.open(archivePathIn(folder), &error), qPrintable(error));
        QVERIFY(moved.onServer());
        QVERIFY(moved.clients().findFirst("codice=5") && !moved.clients().noMatch());
        QCOMPARE(moved.clients().text(u"descr"), QStringLiteral("Bianchi"));
    }

    // Backups while the archive is open, on both engines, and restores into
    // empty targets only.
    void backupsAndRestores()
    {
        TestFolders f;
        QCOMPARE(sqlValue(f.programArchive(), "INSERT INTO Clienti(codice,descr) VALUES (1,'Uno'),(2,'Due')"), QString());
        Archive inUse;
        QString error;
        QVERIFY(inUse.open(f.programArchive(), &error));
        const QString copy = f.root() + "/backup.mdb";
        Run r = admin({"backup", f.programArchive(), copy});
        QVERIFY2(r.code == 0, qPrintable(r.output));
        QCOMPARE(sqlValue(copy, "SELECT group_concat(descr) FROM (SELECT descr FROM Clienti ORDER BY vb_key)"),
                 QStringLiteral("Uno,Due"));
        QCOMPARE(admin({"backup", f.programArchive(), copy}).code, 1);   // never over an existing file
        QCOMPARE(QDir(f.root()).entryList({"backup*"}, QDir::Files), QStringList{"backup.mdb"});   // no marks left behind
        if (!testOnServer())
            return;
        ServerDatabase db, restored, full;
        QVERIFY(admin({"ripristina", copy, db.conninfo()}).code == 0);
        const QString dump = f.root() + "/server.dump";
        r = admin({"backup", db.conninfo(), dump});
        QVERIFY2(r.code == 0, qPrintable(r.output));
        r = admin({"ripristina", dump, restored.conninfo()});
        QVERIFY2(r.code == 0, qPrintable(r.output));
        QCOMPARE(serverValue(restored.conninfo(), "SELECT string_agg(descr, ',' ORDER BY vb_key) FROM clienti"),
                 QStringLiteral("Uno,Due"));
        QVERIFY(admin({"crea", full.conninfo()}).code == 0);
        QCOMPARE(admin({"crea", full.conninfo()}).code, 1);
        r = admin({"ripristina", dump, full.conninfo()});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.output.contains("database vuoto"), qPrintable(r.output));
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
