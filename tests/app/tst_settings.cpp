// SPDX-License-Identifier: GPL-3.0-or-later
// SERVER.DAT and MAXPRJ.DAT: exact bytes, code pages and damaged files.
#include "TestSupport.h"
#include "app/SettingsFiles.h"
#include "platform/Paths.h"

#include <QtTest>

#include <csignal>
#include <cstring>
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

// A 64 KB tmpfs mounted on a folder for the life of the object.
class SmallDisk {
public:
    explicit SmallDisk(const QString &folder) : m_folder(folder)
    {
        QProcess mount;
        mount.start("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", folder});
        m_ok = mount.waitForFinished(10000) && mount.exitStatus() == QProcess::NormalExit && mount.exitCode() == 0;
        m_error = QString::fromLocal8Bit(mount.readAllStandardError()).trimmed();
        if (m_error.isEmpty())
            m_error = mount.errorString();
    }
    ~SmallDisk()
    {
        if (m_ok)
            QProcess::execute("umount", {m_folder});
    }
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }

private:
    QString m_folder;
    QString m_error;
    bool m_ok = false;
};

// Fills the file system holding folder until a write fails.
void fill(const QString &folder)
{
    QFile filler(folder + "/riempitivo");
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray block(1024, 'f');
    while (filler.write(block) > 0) {
    }
}
} // namespace

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

    void aFailedWriteKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("smallDisk");   // else a file size cap
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("fillFirst");
        QTest::addColumn<int>("reason");        // errno the message must give
        QTest::newRow("cap: short write") << false << 200000 << false << EFBIG;
        QTest::newRow("cap: buffered write") << false << 100 << false << EFBIG;
        QTest::newRow("full disk: short write") << true << 200000 << false << ENOSPC;
        QTest::newRow("full disk: buffered write") << true << 100 << true << ENOSPC;
    }
    void aFailedWriteKeepsTheOldFile()
    {
#ifdef _WIN32
        QSKIP("su Windows non si simula un disco pieno (setrlimit)");
#else
        QFETCH(bool, smallDisk);
        QFETCH(int, size);
        QFETCH(bool, fillFirst);
        QFETCH(int, reason);
        TestFolders f;
        const QString folder = f.root() + "/disco";
        QVERIFY(QDir(f.root()).mkdir("disco"));
        std::unique_ptr<SmallDisk> disk;
        if (smallDisk) {
            disk = std::make_unique<SmallDisk>(folder);
            if (!disk->ok())
                QSKIP(qPrintable("A 64 KB tmpfs could not be mounted (this needs root): " + disk->error()));
        }
        const QString path = folder + "/SERVER.DAT";
        const QByteArray old = QByteArray("/srv/archivio\r\n").repeated(50);
        writeBytes(path, old);
        QCOMPARE(readBytes(path), old);
        if (fillFirst)
            fill(folder);
        const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);

        QString error;
        bool written;
        {
            std::unique_ptr<FileSizeLimit> cap;
            if (!smallDisk) {
                cap = std::make_unique<FileSizeLimit>(rlim_t(size > 1000 ? 61440 : 0));
                QVERIFY(cap->ok());
            }
            written = Paths::writeAtomically(path, QByteArray(size, 'x'), &error);
        }
        QVERIFY(!written);
        QCOMPARE(readBytes(path), old);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), before);   // no temporary file left
        QVERIFY2(error.contains(path) && error.contains(QString::fromLocal8Bit(std::strerror(reason))), qPrintable(error));
        QVERIFY2(error.startsWith("Impossibile salvare il file"), qPrintable(error));
#endif
    }

    void failedSettingsWritesKeepBothOldFiles()
    {
#ifdef _WIN32
        QSKIP("su Windows non si simula un disco pieno (setrlimit)");
#else
        TestFolders f;
        writeBytes(f.program() + "/SERVER.DAT", "/srv/vecchia\r\n");
        writeBytes(f.program() + "/MAXPRJ.DAT", " 7\r\n");
        RunState s;
        s.PercorsoDati = "/srv/nuova";
        s.ContatoreComponenti = 8;
        QString error;
        {
            FileSizeLimit cap(0);
            QVERIFY(cap.ok());
            error = SettingsFiles::write(s, f.program());
        }
        QVERIFY2(error.contains("SERVER.DAT") && error.contains("MAXPRJ.DAT"), qPrintable(error));
        QCOMPARE(readBytes(f.program() + "/SERVER.DAT"), QByteArray("/srv/vecchia\r\n"));
        QCOMPARE(readBytes(f.program() + "/MAXPRJ.DAT"), QByteArray(" 7\r\n"));
#endif
    }

    void nextStartsFolder_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("expected");
        QTest::newRow("chosen during the run") << "/srv/scelta" << "/srv/conf" << "/srv/scelta";
        QTest::newRow("configured, even if unreachable") << "" << "/srv/conf" << "/srv/conf";
        QTest::newRow("none: the folder in use") << "" << "" << "/programma";
    }
    void nextStartsFolder()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, configured);
        QFETCH(QString, expected);
        TestFolders f;
        RunState s;
        s.PercorsoDati = "/programma";
        s.ServerScelto = chosen;
        s.CartellaConfigurata = configured;
        QCOMPARE(SettingsFiles::write(s, f.program()), QString());
        QCOMPARE(readBytes(f.program() + "/SERVER.DAT"), (expected + "\r\n").toUtf8());
    }

    // A FIFO (reading it would wait for ever), a device or a folder in place
    // of a settings file counts as a missing one: its value stays as it was.
    void settingsFilesThatAreNoFileChangeNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO as SERVER.DAT") << "SERVER.DAT" << "fifo";
        QTest::newRow("FIFO as MAXPRJ.DAT") << "MAXPRJ.DAT" << "fifo";
        QTest::newRow("device as SERVER.DAT") << "SERVER.DAT" << "device";
        QTest::newRow("folder as MAXPRJ.DAT") << "MAXPRJ.DAT" << "folder";
    }
    void settingsFilesThatAreNoFileChangeNothing()
    {
#ifdef _WIN32
        QSKIP("su Windows non ci sono FIFO");
#else
        QFETCH(QString, name);
        QFETCH(QString, kind);
        TestFolders f;
        writeBytes(f.program() + "/SERVER.DAT", "/dati\r\n");
        writeBytes(f.program() + "/MAXPRJ.DAT", " 17\r\n");
        const QString path = f.program() + "/" + name;
        QVERIFY(QFile::remove(path));
        if (kind == "fifo")
            QVERIFY(makeFifo(path));
        else if (kind == "device")
            QVERIFY(QFile::link("/dev/null", path));
        else
            QVERIFY(QDir().mkpath(path));
        RunState s;
        s.PercorsoDati = "(invariato)";
        s.ContatoreComponenti = 5;
        const FifoGuard guard(kind == "fifo" ? path : QString());
        QCOMPARE(SettingsFiles::read(s, f.program()), name != "SERVER.DAT");
        QVERIFY2(!guard.fired(), "the settings file was waited on");
        QCOMPARE(s.PercorsoDati, name == "SERVER.DAT" ? QStringLiteral("(invariato)") : QStringLiteral("/dati"));
        QCOMPARE(s.ContatoreComponenti, name == "MAXPRJ.DAT" ? 5 : 17);
#endif
    }

    // An administrator's SERVER.DAT, in /etc/velbor or beside the program, is
    // written by hand: comments and blank lines are skipped; one that names
    // no folder leaves the next place to be read.
    void administratorsDataFolder_data()
    {
        QTest::addColumn<QByteArray>("etc");      // null: no file
        QTest::addColumn<QByteArray>("beside");
        QTest::addColumn<QString>("folder");
        const QString keep = "(invariato)";
        const QByteArray none;
        QTest::newRow("/etc first") << QByteArray("/srv/etc\n") << QByteArray("/srv/programma\r\n") << "/srv/etc";
        QTest::newRow("beside the program when /etc has none") << none << QByteArray("/srv/programma\r\n") << "/srv/programma";
        QTest::newRow("empty /etc file") << QByteArray("") << QByteArray("/srv/programma") << "/srv/programma";
        QTest::newRow("comments and blank lines") << QByteArray("# la cartella\n\n   \r\n\t/srv/dati ufficio  \r\n/srv/altra\n")
                                                  << none << "/srv/dati ufficio";
        QTest::newRow("comments alone, both") << QByteArray("# /srv/etc\n") << QByteArray("  # /srv/programma\r\n") << keep;
        QTest::newRow("Windows-1252") << QByteArray("/srv/citt\xe0\r\n") << none << "/srv/città";
        QTest::newRow("NUL bytes: no text file") << QByteArray("/srv/e\0tc\n", 10) << QByteArray("/srv/programma") << "/srv/programma";
        QTest::newRow("too large for a settings file") << QByteArray(100 * 1024, '#') + "\n/srv/etc\n" << none << keep;
    }
    void administratorsDataFolder()
    {
        QFETCH(QByteArray, etc);
        QFETCH(QByteArray, beside);
        QFETCH(QString, folder);
        TestFolders f;
        const QString etcFolder = f.root() + "/etc";
        QVERIFY(QDir().mkpath(etcFolder));
        SettingsFiles::setAdminFolder(etcFolder);
        if (!etc.isNull())
            writeBytes(etcFolder + "/SERVER.DAT", etc);
        if (!beside.isNull())
            writeBytes(f.program() + "/SERVER.DAT", beside);
        RunState s;
        s.PercorsoDati = "(invariato)";
        QCOMPARE(SettingsFiles::readAdminDataFolder(s, f.program()), folder != "(invariato)");
        QCOMPARE(s.PercorsoDati, folder);
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
