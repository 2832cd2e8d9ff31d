// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: start-up, header, data folder, exit, and the real program start.
#include "data/jet/FakeJetSource.h"
#include "GuiSupport.h"
#include "TestSupport.h"
#include "app/JetConversion.h"
#include "app/Startup.h"
#include "app/frmMain.h"
#include "data/basMain.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "widgets/ProgressWindow.h"
#include "platform/Paths.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <csignal>
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

QString label(QWidget *w, const char *name)
{
    return w->findChild<QLabel *>(name)->text();
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void startsWithDefaultsOnAnEmptyArchive()
    {
        GuiFixture f;
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        QCOMPARE(s.state.PercorsoDati, native(f.program()));
        QCOMPARE(label(&w, "lblServer"), native(f.program()));
        QCOMPARE(s.state.ContatoreComponenti, 0);
        QCOMPARE(s.state.NomeScheda(1), QStringLiteral("Progetto"));
        QCOMPARE(s.state.NomeScheda(3), QStringLiteral("Livello 2"));
        QCOMPARE(s.state.PrefissoScheda(2), QStringLiteral("L1"));
        for (const char *name : {"lblDItta", "lblIndirizzo", "lblCitta", "lblSito"})
            QCOMPARE(label(&w, name), QStringLiteral("-"));
        QVERIFY(!label(&w, "Label1").isEmpty());
        QCOMPARE(QDir::currentPath(), f.program());
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(w.windowTitle(), QStringLiteral("Velbor"));
        QCOMPARE(w.centralWidget()->size(), QSize(600, 399));
    }

    void readsSettingsAndTheConfigurationRow_data()
    {
        QTest::addColumn<QString>("cap");
        QTest::addColumn<QString>("citta");
        QTest::addColumn<QString>("provincia");
        QTest::addColumn<QString>("expected");
        QTest::newRow("all three") << "X" << "Y" << "Z" << "X Y Z";
        QTest::newRow("all empty") << "" << "" << "" << "  ";
        QTest::newRow("no postcode") << "" << "Milano" << "MI" << " Milano MI";
    }
    void readsSettingsAndTheConfigurationRow()
    {
        QFETCH(QString, cap);
        QFETCH(QString, citta);
        QFETCH(QString, provincia);
        QFETCH(QString, expected);
        GuiFixture f;
        writeBytes(f.program() + "/SERVER.DAT", (f.data() + "\r\n").toUtf8());
        writeBytes(f.program() + "/MAXPRJ.DAT", " 17\r\n");
        QCOMPARE(sqlValue(f.dataArchive(),
                          QString("INSERT INTO Configura(descr,indirizzo,cap,citta,provincia,sito,sk1,sk2,sk3,pre1,pre2,pre3)"
                                  " VALUES('Studio Rossi','Via Po 3','%1','%2','%3','www.rossi.it','Commessa','Parte',"
                                  "'Sottoparte','C','PA','SP')")
                              .arg(cap, citta, provincia)),
                 QString());
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        QCOMPARE(s.state.PercorsoDati, f.data());
        QCOMPARE(label(&w, "lblServer"), f.data());
        QCOMPARE(s.state.ContatoreComponenti, 17);
        QCOMPARE(label(&w, "lblDItta"), QStringLiteral("Studio Rossi"));
        QCOMPARE(label(&w, "lblIndirizzo"), QStringLiteral("Via Po 3"));
        QCOMPARE(label(&w, "lblCitta"), expected);
        QCOMPARE(label(&w, "lblSito"), QStringLiteral("www.rossi.it"));
        QCOMPARE(s.state.NomeScheda(1), QStringLiteral("Commessa"));
        QCOMPARE(s.state.PrefissoScheda(3), QStringLiteral("SP"));
    }

    void fallsBackToTheProgramFolderAndSaysSo_data()
    {
        QTest::addColumn<bool>("choose");
        QTest::newRow("configured folder kept") << false;
        QTest::newRow("folder chosen with Server") << true;
    }
    void fallsBackToTheProgramFolderAndSaysSo()
    {
        QFETCH(bool, choose);
        GuiFixture f;
        const QString share = f.root() + "/condivisa";
        writeBytes(f.program() + "/SERVER.DAT", (share + "\r\n").toUtf8());
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        QCOMPARE(s.state.PercorsoDati, native(f.program()));
        QCOMPARE(s.archive.path(), native(f.programArchive()));
        QCOMPARE(label(&w, "lblServer"), native(f.program()));
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().first().text,
                 QString("La cartella dati %1 non è raggiungibile o non contiene l'archivio.\n"
                         "Viene usato l'archivio %2.").arg(share, native(f.programArchive())));
        QCOMPARE(MessageBox::shown().first().icon, MessageBox::Icon::Exclamation);
        if (choose) {
            MessageBox::setNextAnswer(MessageBox::Answer::Yes);
            FileDialog::setNextFileName(f.dataArchive());
            QTest::mouseClick(w.findChild<QPushButton *>("cmdServer"), Qt::LeftButton);
        }
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        w.close();
        // The fallback never replaces the folder the user configured.
        QCOMPARE(readBytes(f.program() + "/SERVER.DAT"), ((choose ? native(f.data()) : share) + "\r\n").toUtf8());
    }

    void theCompanyNameFitsItsHeader_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fullSize");
        QTest::newRow("short") << "Studio Rossi" << true;
        QTest::newRow("long") << "Studio Tecnico Associato di Ingegneria e Architettura Bianchi, Rossi, Verdi & Partners S.r.l."
                              << false;
        QTest::newRow("long words") << "Ingegneriaearchitetturabianchi Progettazionestrutturale" << false;
    }
    void theCompanyNameFitsItsHeader()
    {
        QFETCH(QString, name);
        QFETCH(bool, fullSize);
        GuiFixture f;
        QCOMPARE(sqlValue(f.programArchive(), QString("INSERT INTO Configura(descr) VALUES(%1)").arg(QuotaSQL(name))),
                 QString());
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        w.show();
        auto *header = w.findChild<QLabel *>("lblDItta");
        QCOMPARE(header->text(), name);
        header->ensurePolished();
        const QSize room = header->contentsRect().size();
        QVERIFY2(header->minimumSizeHint().width() <= room.width(), qPrintable(QString::number(header->minimumSizeHint().width())));
        const int needed = header->wordWrap() ? header->heightForWidth(header->width()) : header->sizeHint().height();
        QVERIFY2(needed <= room.height(), qPrintable(QString::number(needed)));
        QCOMPARE(header->font().pointSize() == 15, fullSize);
    }

    void readsAWindows1252DataFolder()
    {
        GuiFixture f;
        QDir(f.root()).mkdir(QString::fromUtf8("città"));
        QFile::copy(f.dataArchive(), f.root() + QString::fromUtf8("/città/Velbor.mdb"));
        writeBytes(f.program() + "/SERVER.DAT", f.root().toLatin1() + "/citt\xe0\r\n");
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        QCOMPARE(s.state.PercorsoDati, f.root() + QString::fromUtf8("/città"));
    }

    void failuresAtStart_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("not a database") << QByteArray(2048, '\x01') << "file is not a database";
        QByteArray jet(1024, '\0');
        jet.replace(4, 15, "Standard Jet DB");
        QTest::newRow("legacy Jet") << jet << "vecchio formato";
        QTest::newRow("no archive anywhere") << QByteArray() << "non esiste";
    }
    void failuresAtStart()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        GuiFixture f;
        QFile::remove(f.dataArchive());
        QFile::remove(f.programArchive());
        if (!bytes.isEmpty())
            writeBytes(f.programArchive(), bytes);
        Session s;
        frmMain w(s);
        QVERIFY(!w.Form_Load());
        QCOMPARE(MessageBox::shown().size(), 1);
        QVERIFY2(MessageBox::shown().first().text.contains(expected), qPrintable(MessageBox::shown().first().text));
        QCOMPARE(MessageBox::shown().first().title, QStringLiteral("Velbor"));
        QVERIFY(!w.isVisible());
        if (!bytes.isEmpty())
            QCOMPARE(readBytes(f.programArchive()), bytes);
    }

    // A FIFO in place of the archive or of the server file would hold the
    // start for ever with no window: it is refused at once, with a message.
    void specialFilesAtStart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("FIFO as the archive") << "Velbor.mdb";
        QTest::newRow("FIFO as the server file") << "Velbor.server";
    }
    void specialFilesAtStart()
    {
#ifdef _WIN32
        QSKIP("su Windows non ci sono FIFO");
#else
        QFETCH(QString, name);
        GuiFixture f;
        writeBytes(f.program() + "/SERVER.DAT", (f.data() + "\r\n").toUtf8());
        const QString fifo = f.data() + "/" + name;
        QFile::remove(fifo);
        QVERIFY(makeFifo(fifo));
        const FifoGuard guard(fifo);
        Session s;
        frmMain w(s);
        QVERIFY(!w.Form_Load());
        QVERIFY2(!guard.fired(), "the start waited on the FIFO");
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().first().text, QString("Impossibile aprire l'archivio %1\n\n%1 non è un file ma una "
                                                           "pipe (FIFO): non viene aperto.").arg(fifo));
        QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
#endif
    }

    // An archive still in the Access format: offered for conversion at start.
    void jetArchiveAtStart_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("lock");
        QTest::addColumn<int>("stopAt");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("keptNameTaken");
        QTest::addColumn<QString>("expected");
        QTest::newRow("converted") << true << "" << 0 << false << false << "Clienti: 2 record letti, 2 scritti";
        QTest::newRow("kept name taken") << true << "" << 0 << false << true << "Access originale 2";
        QTest::newRow("declined") << false << "" << 0 << false << false << "vecchio formato";
        QTest::newRow("workstation at work") << true << "RECEPTION" << 0 << false << false << "RECEPTION";
        QTest::newRow("stopped by the user") << true << "" << 3 << false << false << "interrotta";
        QTest::newRow("damaged file") << true << "" << 0 << true << false << "danneggiata";
    }
    void jetArchiveAtStart()
    {
        QFETCH(bool, yes);
        QFETCH(QString, lock);
        QFETCH(int, stopAt);
        QFETCH(bool, damaged);
        QFETCH(bool, keptNameTaken);
        QFETCH(QString, expected);
        using namespace fakejet;
        GuiFixture f;
        QByteArray jet(8192, '\0');
        jet.replace(0, 4, QByteArray("\x00\x01\x00\x00", 4));
        jet.replace(4, 15, "Standard Jet DB");
        QFile::remove(f.dataArchive());
        writeBytes(f.dataArchive(), jet);
        writeBytes(f.program() + "/SERVER.DAT", f.data().toUtf8() + "\r\n");
        const QString kept = f.data() + "/Velbor (Access originale).mdb";
        if (keptNameTaken)
            writeBytes(kept, "un'altra copia");
        if (!lock.isEmpty())
            writeBytes(f.data() + "/Velbor.ldb", lock.toLatin1() + QByteArray(64 - lock.size(), '\0'));
        const QStringList before = QDir(f.data()).entryList(QDir::Files | QDir::Hidden);

        FakeSource src = office();
        for (int i = 1; i <= 2; ++i)
            src.table("Clienti").rows << QVector<QVariant>{n(i), s("Cliente"), {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};
        QVector<QVariant> conf = row(17);
        conf[0] = s("Studio Bellini & Figli");
        src.table("Configura").rows << conf;
        src.table("maxcodice").rows << QVector<QVariant>{n(90), n(1)};
        if (damaged)
            src.table("Progetti").failAt = 0;
        setJetSourceForTests(&src);
        ProgressWindow::setStopAt(stopAt);
        if (yes)
            MessageBox::setNextAnswer(MessageBox::Answer::Yes);

        Session s;
        frmMain w(s);
        const bool started = w.Form_Load();
        setJetSourceForTests(nullptr);
        const QList<MessageBox::Shown> shown = MessageBox::shown();
        QVERIFY(!shown.isEmpty());
#ifdef _WIN32
        // Without libmdb the archive stays as it is, and the message says
        // how it is converted.
        QVERIFY(!started);
        QVERIFY2(shown.first().text.contains("velbor_admin converti"), qPrintable(shown.first().text));
        QCOMPARE(readBytes(f.dataArchive()), jet);
        QCOMPARE(QDir(f.data()).entryList(QDir::Files | QDir::Hidden), before);
        return;
#endif
        QVERIFY2(shown.first().text.contains("aggiornarle tutte"), qPrintable(shown.first().text));
        QVERIFY2(shown.last().text.contains(expected), qPrintable(shown.last().text));
        if (QTest::currentDataTag() == QLatin1String("converted") || keptNameTaken) {
            QVERIFY(started);
            QVERIFY(!ProgressWindow::texts().isEmpty());
            const QString keptAs = keptNameTaken ? f.data() + "/Velbor (Access originale 2).mdb" : kept;
            QCOMPARE(readBytes(keptAs), jet);
            if (keptNameTaken)
                QCOMPARE(readBytes(kept), QByteArray("un'altra copia"));
            QCOMPARE(s.archive.path(), f.dataArchive());
            QCOMPARE(s.archive.clients().count(), qint64(2));
            QCOMPARE(label(&w, "lblDItta"), QStringLiteral("Studio Bellini & Figli"));
            QCOMPARE(ProssimoCodiceLivello(s.archive, Tables::maxcodice, 1, "codice").value, 91);
        } else {
            QVERIFY(!started);
            QCOMPARE(readBytes(f.dataArchive()), jet);
            QCOMPARE(QDir(f.data()).entryList(QDir::Files | QDir::Hidden), before);
            QCOMPARE(shown.size(), yes ? 2 : 1);
        }
    }

    void exitQuestion()
    {
        GuiFixture f;
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        w.show();
        s.state.ContatoreComponenti = 42;

        MessageBox::setNextAnswer(MessageBox::Answer::No);
        w.findChild<QAction *>("mnuFine")->trigger();
        QVERIFY(w.isVisible());
        QCOMPARE(MessageBox::shown().last().text, QStringLiteral("Vuoi uscire dal programma ?"));
        QCOMPARE(MessageBox::shown().last().buttons, MessageBox::Buttons::YesNo);
        QVERIFY(!QFile::exists(f.program() + "/MAXPRJ.DAT"));

        // The close box asks the same; Yes writes both files into the program's
        // folder, whatever the working folder is.
        QDir::setCurrent(f.data());
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        w.close();
        QVERIFY(!w.isVisible());
        QCOMPARE(readBytes(f.program() + "/MAXPRJ.DAT"), QByteArray(" 42\r\n"));
        QCOMPARE(readBytes(f.program() + "/SERVER.DAT"), (native(f.program()) + "\r\n").toUtf8());

        Session again;
        frmMain next(again);
        QVERIFY(next.Form_Load());
        QCOMPARE(again.state.ContatoreComponenti, 42);
    }

    void aFailedExitWriteIsShownAndKeepsTheOldFiles()
    {
#ifdef _WIN32
        QSKIP("su Windows non si simula un disco pieno (setrlimit)");
#else
        GuiFixture f;
        writeBytes(f.program() + "/SERVER.DAT", (f.data() + "\r\n").toUtf8());
        writeBytes(f.program() + "/MAXPRJ.DAT", " 3\r\n");
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        w.show();
        s.state.ContatoreComponenti = 4;
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        {
            FileSizeLimit full(0);
            QVERIFY(full.ok());
            w.close();
        }
        const QString shown = MessageBox::shown().last().text;
        QVERIFY2(shown.contains(f.program() + "/SERVER.DAT") && shown.contains(f.program() + "/MAXPRJ.DAT"),
                 qPrintable(shown));
        QCOMPARE(readBytes(f.program() + "/SERVER.DAT"), (f.data() + "\r\n").toUtf8());
        QCOMPARE(readBytes(f.program() + "/MAXPRJ.DAT"), QByteArray(" 3\r\n"));
#endif
    }

    void aCopyThatCannotWriteItsFolderUsesTheUsersFolders_data()
    {
        QTest::addColumn<QString>("adminServer");   // SERVER.DAT beside the program; empty: none
        QTest::addColumn<QString>("userServer");    // the user's SERVER.DAT; empty: none
        QTest::addColumn<QString>("inUse");         // data folder in use
        QTest::addColumn<QString>("next");          // what the user's SERVER.DAT names after exit
        QTest::addColumn<bool>("configBlocked");    // the user's configuration folder cannot be made
        QTest::newRow("first start") << "" << "" << "{UTENTE}" << "{UTENTE}" << false;
        QTest::newRow("administrator's default") << "{DATI}" << "" << "{DATI}" << "{DATI}" << false;
        QTest::newRow("the user's own wins") << "/srv/altrove" << "{DATI}" << "{DATI}" << "{DATI}" << false;
        QTest::newRow("administrator's folder unreachable") << "/srv/manca" << "" << "{UTENTE}" << "/srv/manca" << false;
        QTest::newRow("configuration folder cannot be made") << "" << "" << "{UTENTE}" << "" << true;
    }
    void aCopyThatCannotWriteItsFolderUsesTheUsersFolders()
    {
        SKIP_ON_WINDOWS("cartelle dell'utente di Linux (XDG); quelle di Windows sono provate da tst_paths");
        QFETCH(QString, adminServer);
        QFETCH(QString, userServer);
        QFETCH(QString, inUse);
        QFETCH(QString, next);
        QFETCH(bool, configBlocked);
        GuiFixture f;
        QCoreApplication::setApplicationName("Velbor");
        const QString config = f.root() + "/casa/config", userData = f.root() + "/casa/dati/Velbor";
        QVERIFY(QDir().mkpath(f.root() + "/casa"));
        if (configBlocked)
            writeBytes(config, "un file, non una cartella");
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        qputenv("XDG_DATA_HOME", (f.root() + "/casa/dati").toUtf8());
        Paths::setProgramFolder(f.program(), true);
        const auto expand = [&](QString text) {
            return text.replace("{DATI}", f.data()).replace("{UTENTE}", userData);
        };
        if (!adminServer.isEmpty())
            writeBytes(f.program() + "/SERVER.DAT", (expand(adminServer) + "\r\n").toUtf8());
        if (!userServer.isEmpty()) {
            QVERIFY(QDir().mkpath(config + "/Velbor"));
            writeBytes(config + "/Velbor/SERVER.DAT", (expand(userServer) + "\r\n").toUtf8());
        }
        const QStringList programFiles = QDir(f.program()).entryList(QDir::Files);

        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        w.show();
        QCOMPARE(s.state.PercorsoDati, expand(inUse));
        QCOMPARE(label(&w, "lblServer"), expand(inUse));
        QCOMPARE(s.archive.path(), expand(inUse) + "/Velbor.mdb");
        QCOMPARE(QDir::currentPath(), userData);
        // The fallback archive is the user's, made from the shipped empty one.
        QCOMPARE(sqlValue(userData + "/Velbor.mdb", "SELECT COUNT(*) FROM Clienti"), QString("0"));
        QCOMPARE(MessageBox::shown().size(), adminServer.startsWith("/srv/manca") ? 1 : 0);

        s.state.ContatoreComponenti = 5;
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        w.close();
        QVERIFY(!w.isVisible());
        if (configBlocked) {
            QCOMPARE(MessageBox::shown().last().text,
                     QString("Operazione non riuscita:\nImpossibile creare la cartella %1/Velbor per i file MAXPRJ.DAT e "
                             "SERVER.DAT.").arg(config));
        } else {
            QCOMPARE(readBytes(config + "/Velbor/SERVER.DAT"), (expand(next) + "\r\n").toUtf8());
            QCOMPARE(readBytes(config + "/Velbor/MAXPRJ.DAT"), QByteArray(" 5\r\n"));
        }
        // The program's folder is left as it was.
        QCOMPARE(QDir(f.program()).entryList(QDir::Files), programFiles);
        if (!adminServer.isEmpty())
            QCOMPARE(readBytes(f.program() + "/SERVER.DAT"), (expand(adminServer) + "\r\n").toUtf8());
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_DATA_HOME");
    }

    // The day's copy is made off the interface thread; a failure is one
    // line under the header, never a message box.
    void theDaysCopyRunsBesideTheWork()
    {
        GuiFixture f;
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        w.startDailyBackup(QDate(2026, 12, 9));
        QTRY_VERIFY(!w.dailyBackupRunning());
        QVERIFY(QFileInfo(s.state.PercorsoDati + "/Backup/Velbor-2026-12-09.mdb").isFile());
        QVERIFY(label(&w, "lblBackup").isEmpty());

        QVERIFY(QDir(s.state.PercorsoDati + "/Backup").removeRecursively());
        writeBytes(s.state.PercorsoDati + "/Backup", "non una cartella");
        frmMain again(s);
        again.startDailyBackup(QDate(2026, 12, 10));
        QTRY_VERIFY(!again.dailyBackupRunning());
        QTRY_VERIFY(label(&again, "lblBackup").startsWith("Backup giornaliero non eseguito: "));
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void clockTicks()
    {
        GuiFixture f;
        Session s;
        frmMain w(s);
        QVERIFY(label(&w, "Label1").isEmpty());
        QVERIFY(w.Form_Load());
        const QString first = label(&w, "Label1");
        QVERIFY(QRegularExpression("^\\d\\d\\.\\d\\d\\.\\d\\d   \\S+, \\d\\d \\S+ \\d{4}$").match(first).hasMatch());
        QCOMPARE(first.section("   ", 1), QLocale(QLocale::Italian).toString(QDate::currentDate(), "dddd, dd MMMM yyyy"));
        QTRY_VERIFY_WITH_TIMEOUT(label(&w, "Label1") != first, 3000);
    }

    void renamedSheetsNameTheNextProjectWindow()
    {
        GuiFixture f;
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        w.findChild<QAction *>("mnuConfig")->trigger();
        w.configura()->findChild<QLineEdit *>("txtNome1")->setText("Commessa");
        w.configura()->cmdConferma_Click();
        QTest::mouseClick(w.findChild<QPushButton *>("cmdProgetti"), Qt::LeftButton);
        QCOMPARE(w.progetti()->findChild<QTabWidget *>("STab1")->tabText(0), QStringLiteral("Commessa"));
    }

    // The header shows the company as stored: changed by Conferma at once,
    // never by Annulla or by a Conferma that stored nothing.
    void theHeaderFollowsTheConfiguration_data()
    {
        QTest::addColumn<bool>("stored");        // a configuration row at start
        QTest::addColumn<QString>("button");     // cmdConferma or cmdAnnulla
        QTest::addColumn<int>("elsewhere");      // changed by another workstation: 0 no; 1 yes, kept; 2 yes, overwritten
        QTest::addColumn<QStringList>("header"); // lblDItta, lblIndirizzo, lblCitta, lblSito afterwards
        const QStringList before{"Studio Rossi", "Via Po 3", "10121 Torino TO", "www.rossi.example"};
        const QStringList typed{"Studio Bianchi & Figli", "Via Po 3", "10121 Moncalieri TO", "www.rossi.example"};
        QTest::newRow("Conferma") << true << "cmdConferma" << 0 << typed;
        QTest::newRow("Conferma, first configuration")
            << false << "cmdConferma" << 0 << QStringList{"Studio Bianchi & Figli", "", " Moncalieri ", ""};
        // Even when the stored configuration changed meanwhile: Annulla reads nothing.
        QTest::newRow("Annulla") << true << "cmdAnnulla" << 1 << before;
        QTest::newRow("changed elsewhere, kept") << true << "cmdConferma" << 1 << before;
        QTest::newRow("changed elsewhere, overwritten") << true << "cmdConferma" << 2 << typed;
    }
    void theHeaderFollowsTheConfiguration()
    {
        QFETCH(bool, stored);
        QFETCH(QString, button);
        QFETCH(int, elsewhere);
        QFETCH(QStringList, header);
        GuiFixture f;
        if (stored)
            QCOMPARE(sqlValue(f.programArchive(), "INSERT INTO Configura(descr,indirizzo,cap,citta,provincia,sito) "
                                                  "VALUES('Studio Rossi','Via Po 3','10121','Torino','TO',"
                                                  "'www.rossi.example')"),
                     QString());
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        QVERIFY(activate(&w));
        w.findChild<QAction *>("mnuConfig")->trigger();
        QWidget *config = w.configura();
        QVERIFY(activate(config));
        clickAndSelectAll(config->findChild<QLineEdit *>("txtDitta"));
        typeHere("Studio Bianchi & Figli");
        clickAndSelectAll(config->findChild<QLineEdit *>("txtCitta"));
        typeHere("Moncalieri");
        const bool asked = elsewhere && button == QLatin1String("cmdConferma");
        if (elsewhere)
            QCOMPARE(sqlValue(f.programArchive(), "UPDATE Configura SET descr='Studio Verdi'"), QString());
        if (asked)
            MessageBox::setNextAnswer(elsewhere == 2 ? MessageBox::Answer::Yes : MessageBox::Answer::No);
        QTest::mouseClick(config->findChild<QPushButton *>(button), Qt::LeftButton);
        QCOMPARE(MessageBox::shown().size(), asked ? 1 : 0);
        if (asked)
            QVERIFY(MessageBox::shown().last().text.startsWith("La configurazione è stata modificata"));
        QCOMPARE(QStringList({label(&w, "lblDItta"), label(&w, "lblIndirizzo"), label(&w, "lblCitta"),
                              label(&w, "lblSito")}),
                 header);
        // The window closes when it stored, or was told to go.
        QTRY_COMPARE(bool(w.configura()), asked && elsewhere == 1);
    }

    void menusAndShortcuts()
    {
        GuiFixture f;
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        const struct { const char *name; const char *text; const char *key; } actions[] = {
            {"mnuConfig", "&Configurazione", ""}, {"mnuFine", "&Uscita", "F12"},
            {"mnuGestCli", "&Gestione Clienti", "F2"}, {"mnugestPrj", "&Gestione Progetti", "F3"},
            {"mnuAutore", "Autore", ""}, {"mnuGuida", "Guida", "F1"},
            {"mnuInformazioni", "Informazioni su Velbor", ""}};
        for (const auto &a : actions) {
            auto *action = w.findChild<QAction *>(a.name);
            QVERIFY2(action, a.name);
            QCOMPARE(action->text(), QString::fromUtf8(a.text));
            QCOMPARE(action->shortcut(), QKeySequence(QString::fromLatin1(a.key)));
        }
        QStringList menus;
        for (QAction *m : w.menuBar()->actions())
            menus << m->text();
        QCOMPARE(menus, QStringList({"File", "&Clienti", "&Progetti", "?"}));
        QStringList help;
        for (QAction *a : w.findChild<QMenu *>("mnuInfo")->actions())
            if (!a->isSeparator())
                help << a->objectName();
        QCOMPARE(help, QStringList({"mnuGuida", "mnuAutore", "mnuInformazioni"}));
        QCOMPARE(w.findChild<QPushButton *>("cmdServer")->toolTip(), QStringLiteral("Colegamento con il Server"));

        w.findChild<QAction *>("mnuAutore")->trigger();
        QVERIFY(w.autore() && w.autore()->isVisible());
        QCOMPARE(w.autore()->windowTitle(), QStringLiteral("AUTORE"));
        QTest::mouseClick(w.autore()->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
        QTRY_VERIFY(!w.autore());
    }

    void serverChoiceTakesEffectAtTheNextStart()
    {
        GuiFixture f;
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        auto *server = w.findChild<QPushButton *>("cmdServer");

        MessageBox::setNextAnswer(MessageBox::Answer::No);
        QTest::mouseClick(server, Qt::LeftButton);
        QCOMPARE(MessageBox::shown().last().text, QStringLiteral("Confermi la Configurazione del Server ?"));
        QVERIFY(FileDialog::initialNames().isEmpty());

        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        FileDialog::setNextFileName(QString());
        QTest::mouseClick(server, Qt::LeftButton);
        QCOMPARE(MessageBox::shown().size(), 2);
        QVERIFY(s.state.ServerScelto.isEmpty());

        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        FileDialog::setNextFileName(f.data() + "/qualsiasi.txt");
        QTest::mouseClick(server, Qt::LeftButton);
        QCOMPARE(MessageBox::shown().last().text,
                 QString("La nuova cartella dati (%1) sarà usata dal prossimo avvio del programma.").arg(native(f.data())));
        // Records, project folders, notes and component names all stay with the
        // folder opened at start until the next start.
        QCOMPARE(s.state.PercorsoDati, native(f.program()));
        QCOMPARE(s.archive.path(), native(f.programArchive()));
        QCOMPARE(label(&w, "lblServer"), native(f.program()));

        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        w.close();
        QCOMPARE(readBytes(f.program() + "/SERVER.DAT"), (native(f.data()) + "\r\n").toUtf8());
        Session next;
        frmMain again(next);
        QVERIFY(again.Form_Load());
        QCOMPARE(next.archive.path(), native(f.dataArchive()));
        QCOMPARE(next.state.PercorsoDati, native(f.data()));
    }

    void serverDialogPresetsTheArchivesRealName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("preset");
        QTest::newRow("usual spelling") << "Velbor.mdb" << "Velbor.mdb";
        QTest::newRow("upper case") << "VELBOR.MDB" << "VELBOR.MDB";
        QTest::newRow("mixed case") << "velbor.MDB" << "velbor.MDB";
        QTest::newRow("archive gone") << "" << "VELBOR.MDB";
    }
    void serverDialogPresetsTheArchivesRealName()
    {
        SKIP_ON_WINDOWS("su Windows i nomi non distinguono maiuscole e un file aperto non si elimina");
        QFETCH(QString, name);
        QFETCH(QString, preset);
        GuiFixture f;
        if (!name.isEmpty() && name != "Velbor.mdb")
            QVERIFY(QFile::rename(f.dataArchive(), f.data() + "/" + name));
        writeBytes(f.program() + "/SERVER.DAT", (f.data() + "\r\n").toUtf8());
        Session s;
        frmMain w(s);
        QVERIFY(w.Form_Load());
        QCOMPARE(s.state.PercorsoDati, f.data());
        if (name.isEmpty())
            QVERIFY(QFile::remove(f.dataArchive()));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        QTest::mouseClick(w.findChild<QPushButton *>("cmdServer"), Qt::LeftButton);
        // The dialog starts in the data folder in use.
        QCOMPARE(FileDialog::initialNames(), QStringList(native(f.data() + "/" + preset)));
    }

    void messageBoxesSpeakItalian()
    {
        Velbor::installItalian(*qApp);
        QMessageBox box(QMessageBox::NoIcon, "Velbor", "?", QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove('&'), QStringLiteral("Sì"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove('&'), QStringLiteral("No"));
    }

    void theRealProgramStartsAndEnds()
    {
        GuiFixture f;
        bool sawWindow = false;
        QTimer::singleShot(0, [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == "frmMain" && w->isVisible()) {
                    sawWindow = true;
                    MessageBox::setNextAnswer(MessageBox::Answer::Yes);
                    w->close();
                }
        });
        QCOMPARE(Velbor::run(*qApp), 0);
        QVERIFY(sawWindow);
        QVERIFY(QFile::exists(f.program() + "/SERVER.DAT"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
