// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion of an old archive, fed through the row source the Jet reader
// implements: mapping by name, every field kind, limits, order, counters,
// refusals that leave nothing behind.
#include "FakeJetSource.h"
#include "data/engines/ArchiveCopy.h"
#include "data/jet/JetImport.h"
#include "basMain.h"
#include "TestSupport.h"

#include <QDir>
#include <QtTest>

using namespace fakejet;

class TestJetImport : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_serial = 0;
    QString fresh() { return m_dir.filePath(QStringLiteral("nuovo%1/Velbor.mdb").arg(++m_serial)); }
    QString target()
    {
        const QString path = fresh();
        QDir().mkpath(QFileInfo(path).path());
        return path;
    }
    static QStringList folderFiles(const QString &path)
    {
        return QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden);
    }

private slots:
    void everyKindCarriedOver()
    {
        FakeSource src = office();
        const QString memo = QString(70000, QLatin1Char('m')) + QStringLiteral("\r\nfine è");
        QVector<QVariant> c = row(12);
        c[0] = n(std::numeric_limits<qint32>::max());
        c[1] = s("Müller & Söhne GmbH – Straße € ß");
        c[2] = QVariant(); // absent stays absent...
        c[3] = s("");     // ...and an empty text stays empty
        c[5] = s("Łódź Ωμέγα Città");
        src.table("Clienti").rows << c;
        c = row(12);
        c[0] = n(std::numeric_limits<qint32>::min());
        c[1] = s("secondo");
        src.table("Clienti").rows << c;

        QVector<QVariant> p = row(12);
        p[0] = s("P7");
        p[9] = memo;
        p[10] = dt(1994, 11, 16);
        p[11] = n(-32768);
        src.table("Progetti").rows << p;
        p = row(12);
        p[0] = s("P8");
        p[10] = dt(2021, 3, 28, 2, 30, 15); // a time of day kept, even in a day field
        p[11] = s(" 42 ");                  // a number stored as text
        src.table("Progetti").rows << p;

        for (int i = 0; i < 5; ++i) {
            QVector<QVariant> r = row(5);
            r[0] = s("P7");
            r[1] = n(1);
            r[2] = s(QStringLiteral("L1%1").arg(5 - i).toUtf8().constData());
            r[4] = dt(150, 1, 1);
            src.table("RighePRJ").rows << r;
        }
        QVector<QVariant> k = row(6);
        k[0] = s("P7");
        k[1] = 2.0; // an integral double
        k[3] = s("C:\\Progetti\\P7\\disegno.dwg");
        k[5] = dt(9999, 12, 31, 23, 59, 59);
        src.table("Componenti").rows << k;
        QVector<QVariant> conf = row(17);
        conf[0] = s("Studio Tecnico");
        conf[11] = s("Progetto");
        src.table("Configura").rows << conf;
        src.table("maxcodice").rows << QVector<QVariant>{n(417), n(1)} << QVector<QVariant>{n(12), n(2)}
                                    << QVector<QVariant>{n(0), QVariant()};

        const QString path = target();
        JetImportReport report;
        QString error;
        int calls = 0;
        QVERIFY2(convertJetRows(src, path, &report, &error, [&](const QString &, qint64, qint64) { return ++calls > 0; }),
                 qPrintable(error));
        QVERIFY(calls >= 12);
        QCOMPARE(folderFiles(path), QStringList{"Velbor.mdb"});
        QCOMPARE(report.tables.size(), 6);
        const qint64 expectedRows[6] = {2, 2, 5, 1, 1, 3};
        for (int t = 0; t < 6; ++t) {
            QCOMPARE(report.tables[t].read, expectedRows[t]);
            QCOMPARE(report.tables[t].written, expectedRows[t]);
        }

        // Opens as an archive of the program.
        Archive archive;
        QVERIFY2(archive.open(path, &error), qPrintable(error));
        archive.close();

        const auto q = [&](const QString &sql) { return sqlValue(path, sql); };
        QCOMPARE(q("SELECT codice || ' ' || typeof(codice) FROM Clienti ORDER BY vb_key LIMIT 1"),
                 QStringLiteral("2147483647 integer"));
        QCOMPARE(q("SELECT codice FROM Clienti ORDER BY vb_key DESC LIMIT 1"), QStringLiteral("-2147483648"));
        QCOMPARE(q("SELECT descr FROM Clienti ORDER BY vb_key LIMIT 1"), QString::fromUtf8("Müller & Söhne GmbH – Straße € ß"));
        QCOMPARE(q("SELECT citta FROM Clienti ORDER BY vb_key LIMIT 1"), QString::fromUtf8("Łódź Ωμέγα Città"));
        QCOMPARE(q("SELECT typeof(indirizzo) || ' ' || typeof(cap) || ' ' || length(cap) FROM Clienti ORDER BY vb_key LIMIT 1"),
                 QStringLiteral("null text 0"));
        QCOMPARE(q("SELECT note FROM Progetti WHERE codice='P7'"), memo);
        QCOMPARE(q("SELECT data || ' ' || codcli FROM Progetti WHERE codice='P7'"), QStringLiteral("1994-11-16 -32768"));
        QCOMPARE(q("SELECT data || ' ' || codcli || ' ' || typeof(codcli) FROM Progetti WHERE codice='P8'"),
                 QStringLiteral("2021-03-28 02:30:15 42 integer"));
        QCOMPARE(q("SELECT group_concat(codice, ',') FROM (SELECT codice FROM RighePRJ ORDER BY vb_key)"),
                 QStringLiteral("L15,L14,L13,L12,L11"));
        QCOMPARE(q("SELECT data FROM RighePRJ LIMIT 1"), QStringLiteral("0150-01-01"));
        QCOMPARE(q("SELECT livello || ' ' || file || ' ' || inserito FROM Componenti"),
                 QStringLiteral("2 C:\\Progetti\\P7\\disegno.dwg 9999-12-31 23:59:59"));
        QCOMPARE(q("SELECT descr || '/' || sk1 || '/' || typeof(sk2) FROM Configura"), QStringLiteral("Studio Tecnico/Progetto/null"));
        QCOMPARE(q("SELECT group_concat(codice || ':' || ifnull(livello, '-'), ',') FROM (SELECT * FROM maxcodice ORDER BY vb_key)"),
                 QStringLiteral("417:1,12:2,0:-"));

        // The counters carry on: the next code of level 1 follows the office's numbering.
        QVERIFY(archive.open(path, &error));
        const Outcome<int> next = ProssimoCodiceLivello(archive, Tables::maxcodice, 1, QStringLiteral("codice"));
        QVERIFY2(next.ok(), qPrintable(next.error));
        QCOMPARE(next.value, 418);
    }

    // Into an empty database on a server, in one transaction; a database
    // that holds rows is refused and keeps them.
    void convertsIntoAnEmptyServerDatabase()
    {
        if (!testOnServer())
            QSKIP("conversione sul server: solo con il server");
        ServerDatabase db;
        QVERIFY(db.ok());
        FakeSource src = office();
        QVector<QVariant> c = row(12);
        c[0] = n(7);
        c[1] = s("Società Ærø");
        c[2] = QVariant();
        c[3] = s("");
        src.table("Clienti").rows << c;
        src.table("maxcodice").rows << QVector<QVariant>{n(417), n(1)};
        Archive target;
        JetImportReport report;
        QString error;
        QVERIFY2(openEmptyServer(db.conninfo(), &target, &error), qPrintable(error));
        QVERIFY2(writeJetRows(src, target.store(), target.tables(), &report, &error), qPrintable(error));
        QCOMPARE(serverValue(db.conninfo(), "SELECT codice || '|' || descr || '|' || (indirizzo IS NULL) || '|' || (cap = '') FROM clienti"),
                 QString::fromUtf8("7|Società Ærø|true|true"));
        const Outcome<int> next = ProssimoCodiceLivello(target, Tables::maxcodice, 1, QStringLiteral("codice"));
        QCOMPARE(next.value, 418);
        target.close();
        Archive again;
        QVERIFY(!openEmptyServer(db.conninfo(), &again, &error));
        QVERIFY2(error.contains("non è vuota"), qPrintable(error));
        QCOMPARE(serverValue(db.conninfo(), "SELECT count(*) FROM clienti"), QStringLiteral("1"));
    }

    void fieldsBeyondAndShortOfTheSchema()
    {
        FakeSource src = office();
        FakeTable &clients = src.table("Clienti");
        clients.columns.append({QStringLiteral("Sconto"), JetType::Money});
        clients.columns.removeAt(11); // no PIva in this file
        QVector<QVariant> c = row(12);
        c[0] = n(5);
        c[10] = s("Rossi");
        c[11] = s("12.5000");
        clients.rows << c;
        const QString path = target();
        JetImportReport report;
        QString error;
        QVERIFY2(convertJetRows(src, path, &report, &error), qPrintable(error));
        QCOMPARE(report.tables[0].extraFields, QStringList{"Sconto"});
        QCOMPARE(report.tables[0].absentFields, QStringList{"piva"});
        const QString lines = report.lines().join('\n');
        QVERIFY2(lines.contains("non importati: Sconto") && lines.contains("lasciati vuoti: piva"), qPrintable(lines));
        QCOMPARE(sqlValue(path, "SELECT codice || contatto || ifnull(piva, '-') FROM Clienti"), QStringLiteral("5Rossi-"));
    }

    void refusedWithNothingWritten_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("number over 32 bits") << "Clienti" << 0 << n(qint64(std::numeric_limits<qint32>::max()) + 1)
                                             << "tabella Clienti, record 2, campo Codice: il numero 2147483648 supera";
        QTest::newRow("number under 32 bits") << "Clienti" << 0 << n(qint64(std::numeric_limits<qint32>::min()) - 1)
                                              << "campo Codice: il numero -2147483649 supera";
        QTest::newRow("fraction as a code") << "RighePRJ" << 1 << QVariant(1.5) << "tabella RighePRJ, record 2, campo livello";
        QTest::newRow("text as a code") << "Progetti" << 11 << s("dodici") << "campo codcli: il testo \"dodici\"";
        QTest::newRow("date out of range") << "Componenti" << 5 << QVariant(3.0e6) << "campo inserito: data fuori";
        QTest::newRow("text as a date") << "RighePRJ" << 4 << s("31/02/2020") << "campo data: il testo \"31/02/2020\" non è una data";
        QTest::newRow("binary as a text") << "Configura" << 0 << QVariant(QByteArray("\x01\x02", 2)) << "campo descr: dati binari";
        QTest::newRow("damaged row") << "maxcodice" << -1 << QVariant() << "La tabella MaxCodice del file è danneggiata";
    }
    void refusedWithNothingWritten()
    {
        QFETCH(QString, table);
        QFETCH(int, field);
        QFETCH(QVariant, value);
        QFETCH(QString, expected);
        FakeSource src = office();
        for (FakeTable &t : src.tablesIn)
            t.rows << QVector<QVariant>(t.columns.size()) << QVector<QVariant>(t.columns.size());
        if (field >= 0)
            src.table(table).rows[1][field] = value;
        else
            src.table(table).failAt = 1;
        const QString path = target();
        JetImportReport report;
        QString error;
        QVERIFY(!convertJetRows(src, path, &report, &error));
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY2(error.contains("Nessun archivio è stato scritto"), qPrintable(error));
        QVERIFY(report.tables.isEmpty());
        QCOMPARE(folderFiles(path), QStringList());
    }

    void missingTables()
    {
        FakeSource src = office();
        src.tablesIn.removeAt(5);
        src.tablesIn.removeAt(2);
        const QString path = target();
        JetImportReport report;
        QString error;
        QVERIFY(!convertJetRows(src, path, &report, &error));
        QVERIFY2(error.contains("le tabelle RighePRJ, maxcodice"), qPrintable(error));
        QCOMPARE(folderFiles(path), QStringList());
    }

    void interruptedHalfWay()
    {
        FakeSource src = office();
        for (int i = 0; i < 5000; ++i)
            src.table("RighePRJ").rows << QVector<QVariant>{s("P1"), n(1), s("L1"), s("voce"), dt(2000, 1, 1)};
        const QString path = target();
        JetImportReport report;
        QString error;
        qint64 stoppedAt = -1;
        const bool ok = convertJetRows(src, path, &report, &error, [&](const QString &table, qint64 done, qint64 total) {
            if (table == Tables::RighePRJ && done > 0 && done < total) {
                stoppedAt = done;
                return false;
            }
            return true;
        });
        QVERIFY(!ok);
        QVERIFY(stoppedAt > 0);
        QVERIFY2(error.contains("interrotta"), qPrintable(error));
        QCOMPARE(folderFiles(path), QStringList());
    }

    // The disk fills up half-way: the engine's message, nothing left behind.
    void diskFullHalfWay()
    {
        FakeSource src = office();
        for (int i = 0; i < 4000; ++i)
            src.table("Progetti").rows << QVector<QVariant>{s("P"), QVariant(QString(1000, QLatin1Char('x'))), {}, {}, {},
                                                            {}, {}, {}, {}, {}, {}, {}};
        const QString path = target();
        // An empty file archive, whichever engine the suite runs on.
        const qint64 empty = QFileInfo(TestFolders().program() + "/Velbor.mdb").size();
        JetImportReport report;
        QString error;
        bool ok = true;
        {
            FileSizeLimit limit(rlim_t(empty + 1024 * 1024));
            QVERIFY(limit.ok());
            ok = convertJetRows(src, path, &report, &error);
        }
        QVERIFY(!ok);
        QVERIFY2(error.contains("Nessun archivio è stato scritto"), qPrintable(error));
        QCOMPARE(folderFiles(path), QStringList());
    }

    void existingDestinationUntouched()
    {
        FakeSource src = office();
        const QString path = target();
        writeBytes(path, "già qui");
        JetImportReport report;
        QString error;
        QVERIFY(!convertJetRows(src, path, &report, &error));
        QVERIFY2(error.contains("esiste già"), qPrintable(error));
        QCOMPARE(readBytes(path), QByteArray("già qui"));
        QCOMPARE(folderFiles(path), QStringList{"Velbor.mdb"});
    }

    void keptOriginalNeverOverwritten()
    {
        const QString path = target();
        const QString folder = QFileInfo(path).path();
        QCOMPARE(jetKeptPath(path), folder + "/Velbor (Access originale).mdb");
        writeBytes(folder + "/velbor (access originale).mdb", "x");
        QCOMPARE(jetKeptPath(path), folder + "/Velbor (Access originale 2).mdb");
        writeBytes(folder + "/Velbor (Access originale 2).mdb", "x");
        QCOMPARE(jetKeptPath(path), folder + "/Velbor (Access originale 3).mdb");
    }

    void lockFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("holders");
        QByteArray two(128, '\0');
        two.replace(0, 7, "UFFICIO");
        two.replace(32, 5, "Admin");
        two.replace(64, 9, "TECNICO-2");
        QTest::newRow("none") << QString() << QByteArray() << QStringList();
        QTest::newRow("empty") << "Velbor.ldb" << QByteArray() << QStringList();
        QTest::newRow("cleared records") << "Velbor.ldb" << QByteArray(128, '\0') << QStringList();
        QTest::newRow("two workstations") << "Velbor.ldb" << two << QStringList{"UFFICIO", "TECNICO-2"};
        QTest::newRow("other letter case") << "VELBOR.LDB" << two.left(64) << QStringList{"UFFICIO"};
    }
    void lockFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, holders);
        const QString path = target();
        writeBytes(path, "jet");
        if (!name.isEmpty())
            writeBytes(QFileInfo(path).path() + "/" + name, bytes);
        QCOMPARE(jetLockHolders(path), holders);
    }

    // A file that cannot be converted leaves the archive where it was.
    void replaceRefusedChangesNothing()
    {
        const QString path = target();
        const QByteArray jet = readBytes(QStringLiteral(VELBOR_JET_SAMPLES "/DateTestDatabase.mdb"));
        if (jet.isEmpty())
            QSKIP("Jet sample databases not present");
        writeBytes(path, jet);
        QString kept, error;
        JetImportReport report;
        QVERIFY(!replaceJetArchive(path, &kept, &report, &error));
        QVERIFY2(error.contains("non contiene le tabelle Clienti, Progetti"), qPrintable(error));
        QCOMPARE(folderFiles(path), QStringList{"Velbor.mdb"});
        QCOMPARE(readBytes(path), jet);
    }
};

QTEST_GUILESS_MAIN(TestJetImport)
#include "tst_jetimport.moc"
