// SPDX-License-Identifier: GPL-3.0-or-later
// Where a copy keeps its own files, and which file a component's stored path
// stands for on this workstation.
#include "TestSupport.h"
#include "data/engines/PgConnect.h"
#include "platform/Paths.h"

#include <QScopeGuard>
#include <QtTest>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// What lies in a folder, hidden files included.
QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A folder this process cannot write: no write permission, or (for root,
// who ignores permissions) a read-only tmpfs mounted on it.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString &folder) : m_folder(folder)
    {
#ifdef _WIN32
        if (false) {
#else
        if (geteuid() == 0) {
#endif
            m_mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "ro,size=64k", "tmpfs", folder}) == 0;
            m_ok = m_mounted;
        } else {
            m_ok = QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
    }
    ~ReadOnlyFolder()
    {
        if (m_mounted)
            QProcess::execute("umount", {m_folder});
        else
            QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    bool ok() const { return m_ok; }

private:
    QString m_folder;
    bool m_mounted = false;
    bool m_ok = false;
};
} // namespace

class TestPaths : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Velbor"); }

    void whereACopyKeepsItsFiles_data()
    {
        QTest::addColumn<QString>("layout");   // where the program lies under the test root
        QTest::addColumn<bool>("shippedBeside");
        QTest::addColumn<bool>("shippedShared");
        QTest::addColumn<int>("readOnly");     // 0 no, 1 taken for read-only, 2 really read-only
        QTest::addColumn<bool>("besideProgram");
#ifdef _WIN32
        // One folder holds everything; the installer's uninstaller marks an
        // installed copy, which Wine, like an administrator, lets write there.
        QTest::newRow("portable folder") << "Velbor" << true << false << 0 << true;
        QTest::newRow("installed, folder writable") << "Programmi/Velbor" << true << false << 3 << false;
        QTest::newRow("folder taken for read-only") << "Velbor" << true << false << 1 << false;
        QTest::newRow("no shipped archive") << "bin" << false << false << 1 << false;
#else
        QTest::newRow("build folder") << "build/bin" << true << false << 0 << true;
        QTest::newRow("folder taken for read-only") << "share/velbor" << true << false << 1 << false;
        QTest::newRow("folder really read-only") << "share/velbor" << false << false << 2 << false;
        // Root can write /usr/bin: the layout alone marks the installed copy.
        QTest::newRow("installed, folder writable") << "usr/bin" << false << true << 0 << false;
        QTest::newRow("no shipped archive") << "bin" << false << false << 1 << false;
#endif
    }
    void whereACopyKeepsItsFiles()
    {
        QFETCH(QString, layout);
        QFETCH(bool, shippedBeside);
        QFETCH(bool, shippedShared);
        QFETCH(int, readOnly);
        QFETCH(bool, besideProgram);
        TestFolders f;
        const QString program = f.root() + "/" + layout;
        const QString shared = QDir::cleanPath(program + "/../share/velbor");
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(shared));
        if (shippedBeside)
            QVERIFY(QFile::copy(f.programArchive(), program + "/Velbor.mdb"));
        if (shippedShared)
            QVERIFY(QFile::copy(f.programArchive(), shared + "/Velbor.mdb"));
        qputenv("XDG_CONFIG_HOME", (f.root() + "/home/config").toUtf8());
        qputenv("XDG_DATA_HOME", (f.root() + "/home/data").toUtf8());
        const QByteArray appData = qgetenv("APPDATA");
        qputenv("APPDATA", QDir::toNativeSeparators(f.root() + "/home/appdata").toUtf8());
        const auto restore = qScopeGuard([&] { qputenv("APPDATA", appData); });
        std::unique_ptr<ReadOnlyFolder> locked;
        if (readOnly == 2) {
            locked = std::make_unique<ReadOnlyFolder>(program);
            if (!locked->ok())
                QSKIP("The folder could not be made read-only (root needs to mount a read-only tmpfs).");
        }
        if (readOnly == 3)
            writeBytes(program + "/Disinstalla.exe", "MZ");
        Paths::setProgramFolder(program, readOnly == 1);

        QCOMPARE(Paths::keepsFilesBesideProgram(), besideProgram);
#ifdef _WIN32
        const QString userConfig = f.root() + "/home/appdata/Velbor";
        const QString userData = userConfig;
#else
        const QString userConfig = f.root() + "/home/config/Velbor";
        const QString userData = f.root() + "/home/data/Velbor";
#endif
        const auto native = [](const QString &path) { return QDir::toNativeSeparators(path); };
        QCOMPARE(Paths::settingsFolder(), native(besideProgram ? program : userConfig));
        QCOMPARE(Paths::localFolder(), native(besideProgram ? program : userData));
        QCOMPARE(Paths::shippedArchive(), native((shippedShared ? shared : program) + "/Velbor.mdb"));
        // The guide lies with the shipped files.
        QCOMPARE(Paths::guideFolder(), native((shippedShared ? shared : program) + "/guida"));

        const QString error = Paths::ensureLocalArchive();
        const QString made = userData + "/Velbor.mdb";
        if (besideProgram) {
            QCOMPARE(error, QString());
            QVERIFY(!QFileInfo::exists(f.root() + "/home"));
        } else if (shippedBeside || shippedShared) {
            QCOMPARE(error, QString());
            QCOMPARE(readBytes(made), readBytes(f.programArchive()));
            QVERIFY(QFileInfo(made).isWritable());
            // A user's archive is theirs: never replaced.
            writeBytes(made, "dati dell'utente");
            QCOMPARE(Paths::ensureLocalArchive(), QString());
            QCOMPARE(readBytes(made), QByteArray("dati dell'utente"));
        } else {
            QCOMPARE(error, QString("Impossibile creare l'archivio %1: manca l'archivio vuoto %2.")
                                .arg(QDir::toNativeSeparators(made), QDir::toNativeSeparators(program + "/Velbor.mdb")));
            QVERIFY(!QFileInfo::exists(made));
        }
        // Nothing was left in the program's folder.
        QStringList shipped = shippedBeside ? QStringList{"Velbor.mdb"} : QStringList{};
        if (readOnly == 3)
            shipped.prepend("Disinstalla.exe");
        QCOMPARE(QDir(program).entryList(QDir::Files | QDir::Hidden), shipped);
        locked.reset();
        Paths::setProgramFolder(QString());
    }

    void findsAComponentStoredElsewhere_data()
    {
        QTest::addColumn<QString>("stored");     // {OUT}: a folder beside the data folder
        QTest::addColumn<QString>("expected");   // inside the data folder, or {OUT}/...; empty: none
        QTest::newRow("drive letter and backslashes") << "S:\\Studio\\P1\\L1\\disegno.dwg" << "P1/L1/disegno.dwg";
        QTest::newRow("another mount point") << "/mnt/studio/P2/tavola.dxf" << "P2/tavola.dxf";
        QTest::newRow("network path") << "\\\\server\\studio\\P2\\tavola.dxf" << "P2/tavola.dxf";
        QTest::newRow("mixed separators") << "S:/Studio\\P2//tavola.dxf" << "P2/tavola.dxf";
        QTest::newRow("two tails match: the longest") << "S:\\P1\\L1\\disegno.dwg" << "P1/L1/disegno.dwg";
        QTest::newRow("only the name matches") << "S:\\P1\\L9\\disegno.dwg" << "disegno.dwg";
        QTest::newRow("a bare name") << "disegno.dwg" << "disegno.dwg";
        QTest::newRow("after a climbing step") << "S:\\P1\\..\\P2\\tavola.dxf" << "P2/tavola.dxf";
        QTest::newRow("climbing out") << "S:\\x\\..\\..\\fuori\\segreto.dwg" << "";
        QTest::newRow("folder link leading outside") << "S:\\Studio\\esterna\\segreto.dwg" << "";
        QTest::newRow("file link leading outside") << "S:\\P3\\link.dwg" << "";
        QTest::newRow("link staying inside") << "S:\\P4\\dentro.dxf" << "P4/dentro.dxf";
        QTest::newRow("a folder is no file") << "S:\\Studio\\P1\\L1" << "";
        QTest::newRow("nothing matches") << "S:\\Studio\\P9\\manca.dwg" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("a full path that exists here") << "{OUT}/segreto.dwg" << "{OUT}/segreto.dwg";
    }
    void findsAComponentStoredElsewhere()
    {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        TestFolders f;
        const QString data = f.data(), out = f.root() + "/fuori";
        for (const QString &folder : {"P1/L1", "P2", "P3", "P4"})
            QVERIFY(QDir(data).mkpath(folder));
        QVERIFY(QDir(f.root()).mkpath("fuori"));
        // QFile::link makes a shortcut on Windows, not a link the system follows.
        if (QByteArray(QTest::currentDataTag()).contains("link"))
            SKIP_ON_WINDOWS("su Windows QFile::link crea un collegamento .lnk");
        writeBytes(data + "/P1/L1/disegno.dwg", "abc");
        writeBytes(data + "/disegno.dwg", "a");
        writeBytes(data + "/P2/tavola.dxf", "t");
        writeBytes(out + "/segreto.dwg", "s");
        QVERIFY(QFile::link(out, data + "/esterna"));
        QVERIFY(QFile::link(out + "/segreto.dwg", data + "/P3/link.dwg"));
        QVERIFY(QFile::link("../P2/tavola.dxf", data + "/P4/dentro.dxf"));
        stored.replace("{OUT}", out);
        if (!expected.isEmpty())
            expected = expected.startsWith("{OUT}") ? expected.replace("{OUT}", out) : data + "/" + expected;
        // A path that names a file here comes back as stored; one found in
        // the data folder is spelled as the system spells paths.
        if (!expected.startsWith(out))
            expected = native(expected);
        QCOMPARE(Paths::findComponent(stored, data), expected);
        // The data folder as the user wrote it, with a final separator, gives the same.
        if (!expected.startsWith(out))
            QCOMPARE(Paths::findComponent(stored, data + "/"), expected);
    }

    // A symbolic link counts by where it leads, and "inside" means under the
    // root's own folder, not under a name that merely starts like it.
    void staysInside_data()
    {
        QTest::addColumn<QString>("path");   // under the test folder; the root is "dati"
        QTest::addColumn<bool>("inside");
        QTest::newRow("a file inside") << "dati/P1/a.rtf" << true;
        QTest::newRow("a file not made yet") << "dati/P1/nuovo.rtf" << true;
        QTest::newRow("the root itself") << "dati" << true;
        QTest::newRow("link staying inside") << "dati/P1/dentro.rtf" << true;
        QTest::newRow("file link into the sibling dati2") << "dati/P1/verso-dati2.rtf" << false;
        QTest::newRow("folder link into the sibling dati2") << "dati/cartella-dati2/b.rtf" << false;
        QTest::newRow("new file through the folder link") << "dati/cartella-dati2/nuovo.rtf" << false;
        QTest::newRow("dangling link") << "dati/P1/rotto.rtf" << false;
        QTest::newRow("the sibling folder") << "dati2/b.rtf" << false;
    }
    void staysInside()
    {
        QFETCH(QString, path);
        QFETCH(bool, inside);
        QTemporaryDir dir;
        if (QByteArray(QTest::currentDataTag()).contains("link"))
            SKIP_ON_WINDOWS("su Windows QFile::link crea un collegamento .lnk");
        const QString root = dir.filePath("dati");
        QVERIFY(QDir(dir.path()).mkpath("dati/P1") && QDir(dir.path()).mkpath("dati2"));
        writeBytes(root + "/P1/a.rtf", "a");
        writeBytes(dir.filePath("dati2/b.rtf"), "b");
        QVERIFY(QFile::link("a.rtf", root + "/P1/dentro.rtf"));
        QVERIFY(QFile::link("../../dati2/b.rtf", root + "/P1/verso-dati2.rtf"));
        QVERIFY(QFile::link("../dati2", root + "/cartella-dati2"));
        QVERIFY(QFile::link("../../dati2/manca.rtf", root + "/P1/rotto.rtf"));
        QCOMPARE(Paths::staysInside(dir.filePath(path), root), inside);
        QCOMPARE(Paths::staysInside(dir.filePath(path), root + "/"), inside);
    }

    // A new file is made whole under its name, or not at all, and never over
    // anything already there.
    void writeNewFile_data()
    {
        QTest::addColumn<QString>("there");   // what holds the name beforehand
        QTest::addColumn<bool>("hardLinks");
        QTest::addColumn<int>("result");      // Paths::NewFile
        for (const bool links : {true, false}) {
            const char *how = links ? "" : ", no hard links";
            const auto row = [&](const char *name) -> QTestData & { return QTest::newRow(qPrintable(QString(name) + how)); };
            row("a free name") << "nothing" << links << int(Paths::NewFile::Written);
            row("a file") << "file" << links << int(Paths::NewFile::Taken);
            row("a folder") << "folder" << links << int(Paths::NewFile::Taken);
            row("a link to a file") << "link" << links << int(Paths::NewFile::Taken);
            row("a dangling link") << "dangling" << links << int(Paths::NewFile::Taken);
            row("a file made at the last moment") << "late" << links << int(Paths::NewFile::Taken);
            row("the folder is missing") << "no folder" << links << int(Paths::NewFile::Failed);
            row("the disk fills up") << "full" << links << int(Paths::NewFile::Failed);
        }
    }
    void writeNewFile()
    {
        QFETCH(QString, there);
        QFETCH(bool, hardLinks);
        QFETCH(int, result);
        QTemporaryDir dir;
        const QString folder = dir.filePath("P1"), elsewhere = dir.filePath("altrove");
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(elsewhere));
        const QString target = there == "no folder" ? dir.filePath("manca/P1") : folder + "/P1";
        const QByteArray theirs = "note della collega", mine = QByteArray(200000, 'm');
        writeBytes(elsewhere + "/collegata", theirs);
        if (there == "file")
            writeBytes(target, theirs);
        else if (there == "folder")
            QVERIFY(QDir().mkpath(target));
        else if (there == "link")
            QVERIFY(QFile::link(elsewhere + "/collegata", target));
        else if (there == "dangling")
            QVERIFY(QFile::link(elsewhere + "/nuova", target));
        const QStringList before = entries(folder);
        if (there == "late")
            Paths::setBeforePlacing([&](const QString &path) { writeBytes(path, theirs); });
        Paths::setHardLinksUsable(hardLinks);
#ifdef _WIN32
        // QFile::link makes a shortcut there, and no file-size limit exists.
        if (there == "link" || there == "dangling" || there == "full")
            QSKIP("su Windows: collegamenti simbolici e limite di dimensione non simulabili");
        QString error;
        const Paths::NewFile got = Paths::writeNewFile(target, mine, &error);
#else
        std::unique_ptr<FileSizeLimit> cap;
        if (there == "full") {
            cap = std::make_unique<FileSizeLimit>(100000);
            QVERIFY(cap->ok());
        }
        QString error;
        const Paths::NewFile got = Paths::writeNewFile(target, mine, &error);
        cap.reset();
#endif
        Paths::setHardLinksUsable(true);
        Paths::setBeforePlacing({});

        QCOMPARE(int(got), result);
        if (got == Paths::NewFile::Written) {
            QVERIFY(error.isEmpty());
            QCOMPARE(readBytes(target), mine);
            QCOMPARE(entries(folder), QStringList{"P1"});   // no temporary file left
            return;
        }
        QVERIFY(!error.isEmpty());
        QVERIFY2(error.contains(native(target)), qPrintable(error));
        // Whatever was there is as it was, and nothing else was left.
        QCOMPARE(entries(folder), there == "late" ? QStringList{"P1"} : before);
        QCOMPARE(entries(elsewhere), QStringList{"collegata"});
        QCOMPARE(readBytes(elsewhere + "/collegata"), theirs);
        if (there == "file" || there == "late")
            QCOMPARE(readBytes(target), theirs);
        if (there == "link" || there == "dangling")
            QVERIFY(QFileInfo(target).isSymLink());
        if (there == "no folder")
            QVERIFY(!QFileInfo::exists(dir.filePath("manca")));
    }

    // What is no regular file is refused at once, with what it is, and never
    // waited on.
    // Where libpq looks for remembered passwords, as the messages name it,
    // and whether this build can give a password to a server at all.
    void thePasswordFileIsTheSystems()
    {
        const QByteArray chosen = qgetenv("PGPASSFILE"), appData = qgetenv("APPDATA");
        const auto restore = qScopeGuard([&] {
            qputenv("PGPASSFILE", chosen);
            qputenv("APPDATA", appData);
        });
        qputenv("PGPASSFILE", "");
        qputenv("APPDATA", "C:\\Users\\mario\\AppData\\Roaming");
#ifdef _WIN32
        QCOMPARE(PgConnect::passwordFile(), QStringLiteral("C:/Users/mario/AppData/Roaming/postgresql/pgpass.conf"));
        QCOMPARE(PgConnect::passwordFileName(), QStringLiteral("%APPDATA%\\postgresql\\pgpass.conf"));
        // This libpq has no TLS: no password leaves a Windows workstation.
        QVERIFY(!PgConnect::canEncrypt());
#else
        QCOMPARE(PgConnect::passwordFile(), QDir::homePath() + "/.pgpass");
        QCOMPARE(PgConnect::passwordFileName(), QStringLiteral("~/.pgpass"));
        QVERIFY(PgConnect::canEncrypt());
#endif
        qputenv("PGPASSFILE", "/srv/chiavi/pgpass");
        QCOMPARE(PgConnect::passwordFile(), QStringLiteral("/srv/chiavi/pgpass"));
    }

    void readsOnlyRegularFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("refusal");   // empty: read
        QTest::newRow("a file") << "file" << "";
#ifndef _WIN32
        // Windows has no FIFOs, and its device names are refused as names.
        QTest::newRow("a link to a file") << "link" << "";
        QTest::newRow("a FIFO") << "fifo" << "non è un file ma una pipe (FIFO): non viene aperto.";
        QTest::newRow("a link to a FIFO") << "link to fifo" << "non è un file ma una pipe (FIFO): non viene aperto.";
        QTest::newRow("a device") << "device" << "non è un file ma un dispositivo: non viene aperto.";
#endif
        QTest::newRow("a folder") << "folder" << "non è un file ma una cartella: non viene aperto.";
        QTest::newRow("nothing") << "missing" << "";
    }
    void readsOnlyRegularFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, refusal);
        QTemporaryDir dir;
        const QString path = QDir::toNativeSeparators(dir.filePath("SERVER.DAT")), fifo = dir.filePath("pipe");
#ifndef _WIN32
        QVERIFY(makeFifo(fifo));
#endif
        writeBytes(dir.filePath("vero"), "/dati\r\n");
        if (kind == "file")
            writeBytes(path, "/dati\r\n");
        else if (kind == "link")
            QVERIFY(QFile::link("vero", path));
#ifndef _WIN32
        else if (kind == "fifo")
            QVERIFY(::rename(QFile::encodeName(fifo).constData(), QFile::encodeName(path).constData()) == 0);
#endif
        else if (kind == "link to fifo")
            QVERIFY(QFile::link("pipe", path));
        else if (kind == "device")
            QVERIFY(QFile::link("/dev/null", path));
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));

#ifndef _WIN32
        const FifoGuard guard(kind == "fifo" ? path : fifo);
#endif
        QFile file;
        QString error;
        const bool opened = Paths::openRegularFile(file, path, &error);
#ifndef _WIN32
        QVERIFY(!guard.fired());
#endif
        QCOMPARE(Paths::notAFile(path), refusal.isEmpty() ? QString() : path + " " + refusal);
        if (kind == "missing") {
            QVERIFY(!opened);
            QVERIFY2(error.startsWith("Impossibile leggere il file " + path + ": "), qPrintable(error));
        } else if (refusal.isEmpty()) {
            QVERIFY2(opened, qPrintable(error));
            QCOMPARE(file.readAll(), QByteArray("/dati\r\n"));
        } else {
            QVERIFY(!opened);
            QCOMPARE(error, path + " " + refusal);
        }
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
