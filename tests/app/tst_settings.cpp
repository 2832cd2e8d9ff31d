// SERVER.DAT and MAXPRJ.DAT: exact bytes, code pages and damaged files.
#include "TestSupport.h"
#include "app/SettingsFiles.h"

#include <QtTest>

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void writesExactBytes()
    {
        TestFolders f;
        RunState s;
        s.PercorsoDati = "/srv/archivio ufficio";
        s.ContatoreComponenti = 17;
        QCOMPARE(SettingsFiles::write(s, f.program()), QString());
        QCOMPARE(readBytes(f.program() + "/SERVER.DAT"), QByteArray("/srv/archivio ufficio\r\n"));
        QCOMPARE(readBytes(f.program() + "/MAXPRJ.DAT"), QByteArray(" 17\r\n"));
        s.ContatoreComponenti = -3;
        QCOMPARE(SettingsFiles::write(s, f.program()), QString());
        QCOMPARE(readBytes(f.program() + "/MAXPRJ.DAT"), QByteArray("-3\r\n"));

        RunState back;
        QVERIFY(SettingsFiles::read(back, f.program()));
        QCOMPARE(back.PercorsoDati, s.PercorsoDati);
        QCOMPARE(back.ContatoreComponenti, -3);
    }

    void reads_data()
    {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<QByteArray>("counter");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("count");
        const QString keep = "(invariato)";
        QTest::newRow("plain") << QByteArray("C:\\Archivio\r\n") << QByteArray(" 17\r\n") << "C:\\Archivio" << 17;
        QTest::newRow("no line end") << QByteArray("/dati") << QByteArray("17") << "/dati" << 17;
        QTest::newRow("spaces around the number") << QByteArray("/dati\n") << QByteArray("  42  \r\n") << "/dati" << 42;
        QTest::newRow("UTF-8") << QByteArray("/dati/citt\xc3\xa0\r\n") << QByteArray() << "/dati/città" << 5;
        QTest::newRow("Windows-1252") << QByteArray("C:\\Citt\xe0 \x80\r\n") << QByteArray() << "C:\\Città €" << 5;
        QTest::newRow("empty files") << QByteArray("") << QByteArray("") << keep << 5;
        QTest::newRow("letters") << QByteArray("\r\n") << QByteArray("abc\r\n") << keep << 5;
        QTest::newRow("beyond 32 bits") << QByteArray() << QByteArray(" 2147483648\r\n") << keep << 5;
        QTest::newRow("32-bit edge") << QByteArray() << QByteArray(" 2147483647\r\n") << keep << 2147483647;
        QTest::newRow("1 MB line") << QByteArray(1 << 20, 'x') << QByteArray("1") << keep << 1;
        QTest::newRow("NUL bytes") << QByteArray("/da\0ti\r\n", 8) << QByteArray("\0", 1) << keep << 5;
    }
    void reads()
    {
        QFETCH(QByteArray, server);
        QFETCH(QByteArray, counter);
        QFETCH(QString, folder);
        QFETCH(int, count);
        TestFolders f;
        if (!server.isNull())
            writeBytes(f.program() + "/SERVER.DAT", server);
        if (!counter.isNull())
            writeBytes(f.program() + "/MAXPRJ.DAT", counter);
        RunState s;
        s.PercorsoDati = "(invariato)";
        s.ContatoreComponenti = 5;
        SettingsFiles::read(s, f.program());
        QCOMPARE(s.PercorsoDati, folder);
        QCOMPARE(s.ContatoreComponenti, count);
    }

    void missingFilesChangeNothing()
    {
        TestFolders f;
        RunState s;
        s.PercorsoDati = "x";
        s.ContatoreComponenti = 3;
        QVERIFY(!SettingsFiles::read(s, f.program()));
        QCOMPARE(s.PercorsoDati, QStringLiteral("x"));
        QCOMPARE(s.ContatoreComponenti, 3);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
