// SPDX-License-Identifier: GPL-3.0-or-later
// Before the main window: the command lines of velbor and velbor_admin, and
// which SERVER.DAT names the data folder of an installed copy's user.
#include "TestSupport.h"
#include "app/SettingsFiles.h"
#include "app/frmMain.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

#include "Version.h"

#include <QProcess>
#include <QtTest>

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    // Run with no display at all: --help and --version must answer before
    // the window system is reached, and a command line that cannot be
    // carried out must say what is wrong in it.
    void commandLine_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");   // how standard output begins
        QTest::addColumn<QString>("err");   // how standard error begins
        const QString velbor = VELBOR_PROGRAM, admin = VELBOR_ADMIN;
        const QString version = QStringLiteral(VELBOR_VERSION);
        QTest::newRow("velbor --version") << velbor << QStringList{"--version"} << 0 << "velbor " + version + "\n" << "";
        QTest::newRow("velbor --help") << velbor << QStringList{"--help"} << 0 << "Uso: velbor [OPZIONE]\n" << "";
        QTest::newRow("velbor -h") << velbor << QStringList{"-h"} << 0 << "Uso: velbor [OPZIONE]\n" << "";
        QTest::newRow("velbor: Qt's option and its value let through")
            << velbor << QStringList{"-platform", "offscreen", "--version"} << 0 << "velbor " + version + "\n" << "";
        QTest::newRow("velbor: unknown option") << velbor << QStringList{"--xyz"} << 2 << ""
                                                << "Opzione sconosciuta: --xyz\nPer l'elenco delle opzioni: velbor --help\n";
        QTest::newRow("velbor: unknown option after Qt's") << velbor << QStringList{"-style", "Fusion", "-x"} << 2 << ""
                                                           << "Opzione sconosciuta: -x\n";
        QTest::newRow("velbor: Qt's option without its value") << velbor << QStringList{"-platform"} << 2 << ""
                                                               << "L'opzione -platform vuole un valore.\n";
        QTest::newRow("velbor: an argument") << velbor << QStringList{"Velbor.mdb"} << 2 << ""
                                             << "Argomento non previsto: Velbor.mdb\n";
        QTest::newRow("velbor_admin --version") << admin << QStringList{"--version"} << 0 << "velbor_admin " + version + "\n"
                                                << "";
        QTest::newRow("velbor_admin: --help after a command")
            << admin << QStringList{"copia", "--help"} << 0 << "Uso: velbor_admin COMANDO ARGOMENTI\n" << "";
        QTest::newRow("velbor_admin: unknown option") << admin << QStringList{"copia", "a.mdb", "--xyz", "b.mdb"} << 1 << ""
                                                      << "Opzione sconosciuta: --xyz\nUso: velbor_admin COMANDO ARGOMENTI\n"
                                                         "Per l'elenco dei comandi: velbor_admin --help\n";
        QTest::newRow("velbor_admin: unknown command") << admin << QStringList{"compatta", "a.mdb"} << 1 << ""
                                                       << "Comando sconosciuto: compatta\n";
        QTest::newRow("velbor_admin: \"--\" ends the options") << admin << QStringList{"--", "--version"} << 1 << ""
                                                               << "Comando sconosciuto: --version\n";
        QTest::newRow("velbor_admin: too few arguments") << admin << QStringList{"copia", "a.mdb"} << 1 << ""
                                                         << "Il comando copia vuole 2 argomenti (ORIGINE DESTINAZIONE), non 1.\n";
        QTest::newRow("velbor_admin: too many arguments") << admin << QStringList{"pagine64", "a.mdb", "b.mdb"} << 1 << ""
                                                          << "Il comando pagine64 vuole un argomento (ARCHIVIO), non 2.\n";
        QTest::newRow("velbor_admin: --permessi without its role") << admin << QStringList{"crea", "dbname=x", "--permessi"}
                                                                   << 1 << "" << "--permessi vuole il nome del ruolo.\n";
    }
    void commandLine()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        TestFolders f;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        QProcess p;
        p.setProcessEnvironment(env);
        // Nothing may be written where it runs (an archive made in passing).
        p.setWorkingDirectory(f.root());
        p.start(program, args);
        QVERIFY(p.waitForFinished(30000));
        const QString stdOut = QString::fromUtf8(p.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == code, qPrintable(QString::number(p.exitCode()) + "\n" + stdOut + stdErr));
        QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), qPrintable(stdOut));
        QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.startsWith(err), qPrintable(stdErr));
        QCOMPARE(QDir(f.root()).entryList(QDir::Files), QStringList());
    }

    // An installed copy (it cannot write its folder): the user's own
    // SERVER.DAT, then the administrator's in /etc/velbor, then the one
    // beside the program. The package's /etc/velbor/SERVER.DAT, comments
    // alone, names no folder.
    void dataFolderOfAnInstalledCopy_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("etc");
        QTest::addColumn<QString>("beside");
        QTest::addColumn<QString>("configured");   // the folder SERVER.DAT named, "" for none
        const QString shipped = "{PACCHETTO}";
        QTest::newRow("/etc alone") << "" << "/srv/etc" << "" << "/srv/etc";
        QTest::newRow("/etc wins over beside the program") << "" << "/srv/etc" << "/srv/programma" << "/srv/etc";
        QTest::newRow("beside the program, /etc missing") << "" << "" << "/srv/programma" << "/srv/programma";
        QTest::newRow("beside the program, /etc as shipped") << "" << shipped << "/srv/programma" << "/srv/programma";
        QTest::newRow("the user's own wins over both") << "/srv/utente" << "/srv/etc" << "/srv/programma" << "/srv/utente";
        QTest::newRow("none named: /etc as shipped") << "" << shipped << "" << "";
    }
    void dataFolderOfAnInstalledCopy()
    {
        QFETCH(QString, user);
        QFETCH(QString, etc);
        QFETCH(QString, beside);
        QFETCH(QString, configured);
        GuiFixture f;
        QCoreApplication::setApplicationName("Velbor");
        const QString config = f.root() + "/casa/config", etcFolder = f.root() + "/etc";
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        qputenv("XDG_DATA_HOME", (f.root() + "/casa/dati").toUtf8());
        Paths::setProgramFolder(f.program(), true);
        SettingsFiles::setAdminFolder(etcFolder);
        const auto place = [](const QString &folder, const QString &line) {
            if (line.isEmpty())
                return true;
            const QByteArray bytes = line == "{PACCHETTO}" ? readBytes(VELBOR_SHIPPED_SERVER) : (line + "\r\n").toUtf8();
            if (bytes.isEmpty() || !QDir().mkpath(folder))
                return false;
            writeBytes(folder + "/SERVER.DAT", bytes);
            return readBytes(folder + "/SERVER.DAT") == bytes;
        };
        QVERIFY(place(config + "/Velbor", user));
        QVERIFY(place(etcFolder, etc));
        QVERIFY(place(f.program(), beside));

        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        QCOMPARE(s.state.CartellaConfigurata, configured);
        // A folder named but not there: told, and the user's own archive used.
        QCOMPARE(MessageBox::shown().size(), configured.isEmpty() ? 0 : 1);
        QCOMPARE(s.archive.path(), f.root() + "/casa/dati/Velbor/Velbor.mdb");
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_DATA_HOME");
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
