// SPDX-License-Identifier: GPL-3.0-or-later
// Where a copy keeps its own files, and which file a component's stored path
// stands for on this workstation.
#include "TestSupport.h"
#include "platform/Paths.h"

#include <QtTest>

#include <unistd.h>

namespace {
// A folder this process cannot write: no write permission, or (for root,
// who ignores permissions) a read-only tmpfs mounted on it.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString &folder) : m_folder(folder)
    {
        if (geteuid() == 0) {
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
        QTest::newRow("build folder") << "build/bin" << true << false << 0 << true;
        QTest::newRow("folder taken for read-only") << "share/velbor" << true << false << 1 << false;
        QTest::newRow("folder really read-only") << "share/velbor" << false << false << 2 << false;
        // Root can write /usr/bin: the layout alone marks the installed copy.
        QTest::newRow("installed, folder writable") << "usr/bin" << false << true << 0 << false;
        QTest::newRow("no shipped archive") << "bin" << false << false << 1 << false;
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
        std::unique_ptr<ReadOnlyFolder> locked;
        if (readOnly == 2) {
            locked = std::make_unique<ReadOnlyFolder>(program);
            if (!locked->ok())
                QSKIP("The folder could not be made read-only (root needs to mount a read-only tmpfs).");
        }
        Paths::setProgramFolder(program, readOnly == 1);

        QCOMPARE(Paths::keepsFilesBesideProgram(), besideProgram);
        const QString userConfig = f.root() + "/home/config/Velbor";
        const QString userData = f.root() + "/home/data/Velbor";
        QCOMPARE(Paths::settingsFolder(), besideProgram ? program : userConfig);
        QCOMPARE(Paths::localFolder(), besideProgram ? program : userData);
        QCOMPARE(Paths::shippedArchive(), (shippedShared ? shared : program) + "/Velbor.mdb");

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
                                .arg(made, program + "/Velbor.mdb"));
            QVERIFY(!QFileInfo::exists(made));
        }
        // Nothing was left in the program's folder.
        QCOMPARE(QDir(program).entryList(QDir::Files | QDir::Hidden),
                 shippedBeside ? QStringList{"Velbor.mdb"} : QStringList{});
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
        QCOMPARE(Paths::findComponent(stored, data), expected);
        // The data folder as the user wrote it, with a final separator, gives the same.
        if (!expected.startsWith(out))
            QCOMPARE(Paths::findComponent(stored, data + "/"), expected);
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
