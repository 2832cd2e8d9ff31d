// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up on an archive on a PostgreSQL server: the header names it, a login
// with only the rights the README gives works, a password is asked when
// libpq has none and may be remembered (over TCP and over the local
// socket), the server first reached is the one known from then on, and every
// start-up failure ends with a message and a refused start.
#include "ServerHba.h"
#include "TestSupport.h"
#include "app/Startup.h"
#include "app/frmMain.h"
#include "data/engines/PgConnect.h"
#include "data/engines/PgStore.h"
#include "data/basMain.h"
#include "platform/MessageBox.h"
#include "widgets/PasswordDialog.h"

#include <QLabel>
#include <QtTest>

#include <libpq-fe.h>
#include <pg_config_manual.h>

namespace {
// A login role of this run's own, with the rights the README grants
// (velbor_admin permessi).
struct LoginRole {
    QString name = QStringLiteral("velbor_pw_%1").arg(QCoreApplication::applicationPid());
    QString database;
    bool ok = false;
    LoginRole(const QString &db, const QString &password) : database(db)
    {
        const QString admin = QStringLiteral("dbname=") + db;
        PgStore owner;
        QString error;
        ok = serverValue(admin, QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(name, password)).isEmpty()
             && owner.open(admin, &error) && owner.grantRights(name, &error);
        if (!ok)
            qWarning("%s", qPrintable(error));
    }
    ~LoginRole()
    {
        const QString admin = QStringLiteral("dbname=") + database;
        serverValue(admin, QStringLiteral("DROP OWNED BY %1").arg(name));
        serverValue(QStringLiteral("dbname=postgres"), QStringLiteral("DROP ROLE IF EXISTS %1").arg(name));
    }
};

// libpq's own means of finding a password taken away for one test.
struct NoStoredPassword {
    QByteArray password = qgetenv("PGPASSWORD");
    QTemporaryDir dir;
    QString file = dir.path() + QStringLiteral("/pgpass");
    NoStoredPassword()
    {
        qunsetenv("PGPASSWORD");
        qputenv("PGPASSFILE", file.toLocal8Bit());
        PasswordDialog::setScripted(true);
    }
    ~NoStoredPassword()
    {
        qputenv("PGPASSWORD", password);
        qunsetenv("PGPASSFILE");
        PasswordDialog::setScripted(false);
    }
};

// Whether the server now asks user for a password over the socket folder.
bool asksForPassword(const QString &folder, const QString &database, const QString &user)
{
    PgConnect::Options options;
    QString error;
    PgConnect::parse(QStringLiteral("host=%1 dbname=%2 user=%3 password='' passfile=/dev/null/nessuno")
                         .arg(folder, database, user),
                     &options, &error);
    PgConnect::Server seen;
    pg_conn *conn = PgConnect::connect(options, nullptr, &seen, &error);
    const bool asks = conn && PQconnectionNeedsPassword(conn);
    PQfinish(conn);
    return asks;
}

QString startUp(GuiFixture &f, Session &s, bool *started, const QList<MessageBox::Answer> &answers = {})
{
    writeBytes(f.program() + "/SERVER.DAT", (f.data() + "\r\n").toUtf8());
    MessageBox::clearShown();
    for (const MessageBox::Answer a : answers)
        MessageBox::setNextAnswer(a);
    frmMain w(s);
    *started = w.Form_Load();
    const QString message = MessageBox::shown().isEmpty() ? QString() : MessageBox::shown().last().text;
    return *started ? w.findChild<QLabel *>("lblServer")->text() + "|" + w.findChild<QLabel *>("lblServer")->toolTip()
                    : message;
}
} // namespace

class TestServer : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        if (!testOnServer())
            QSKIP("archivio sul server: solo con il server");
        PgStore::setPasswordPrompt([](const QString &where, QString *password, bool *remember) {
            return PasswordDialog::ask(nullptr, where, password, remember);
        });
    }

    void headerNamesTheServerAndALeastRightsLoginWorks()
    {
        GuiFixture f;
        QVERIFY(f.ok());
        LoginRole role(f.database(), "segreta");
        QVERIFY(role.ok);
        writeBytes(f.dataArchive(), QStringLiteral("dbname=%1 user=%2\n").arg(f.database(), role.name).toUtf8());
        NoStoredPassword none;
        PasswordDialog::setNextAnswer(true, "segreta", true);
        Session s;
        bool started = false;
        const QString header = startUp(f, s, &started);
        QVERIFY2(started, qPrintable(header));
        QVERIFY2(header.startsWith("PostgreSQL: " + f.database() + " su ") && header.contains(f.data()),
                 qPrintable(header));
        QCOMPARE(PasswordDialog::asked().size(), 1);
        QVERIFY(PasswordDialog::asked().first().contains(role.name));
        // The least rights suffice for a save and a code drawn.
        RecordView &clients = s.archive.clients();
        clients.addNew();
        QVERIFY(clients.setValue(u"codice", 1) && clients.setValue(u"descr", "Uno"));
        QVERIFY2(clients.update(), qPrintable(clients.lastError()));
        const Outcome<int> n = ProssimoCodiceLivello(s.archive, "maxcodice", 1, "codice");
        QVERIFY2(n.ok(), qPrintable(n.error));
        s.archive.close();

        // Remembered in the user's password file, readable by the user only,
        // and used from then on without asking.
        const QByteArray stored = readBytes(none.file);
        QVERIFY2(stored.contains(":" + f.database().toUtf8() + ":" + role.name.toUtf8() + ":segreta\n"), stored.constData());
        QCOMPARE(QFile::permissions(none.file) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        Archive again;
        QString error;
        QVERIFY2(again.open(f.dataArchive(), &error), qPrintable(error));
        QCOMPARE(PasswordDialog::asked().size(), 1);
    }

    // "Ricorda la password" over the local socket: the entry is written as
    // libpq looks it up, so the next start asks nothing.
    void aRememberedPasswordServesTheLocalSocketToo()
    {
        GuiFixture f;
        LoginRole role(f.database(), "segreta");
        QVERIFY(role.ok);
        // The default socket folder first: libpq names it "localhost" in the password file.
        const QStringList folders = serverValue("dbname=postgres", "SHOW unix_socket_directories").split(',');
        const QString folder = folders.contains(DEFAULT_PGSOCKET_DIR) ? QStringLiteral(DEFAULT_PGSOCKET_DIR)
                                                                      : folders.first().trimmed();
        ServerHba hba(QStringLiteral("local %1 %2 scram-sha-256").arg(f.database(), role.name).toUtf8());
        QVERIFY(hba.ok());
        QVERIFY(asksForPassword(folder, f.database(), role.name));
        writeBytes(f.dataArchive(), QStringLiteral("host=%1 dbname=%2 user=%3\n").arg(folder, f.database(), role.name).toUtf8());
        NoStoredPassword none;
        PasswordDialog::setNextAnswer(true, "segreta", true);
        for (int start = 1; start <= 2; ++start) {
            Session s;
            bool started = false;
            const QString header = startUp(f, s, &started);
            QVERIFY2(started, qPrintable(header));
            QCOMPARE(PasswordDialog::asked().size(), 1);
        }
    }

    // The first server a workstation reaches is the one it knows; when the
    // data folder names another, it asks (No by default) before any
    // password could leave, and knows the new one only once reached.
    void theKnownServerIsKeptAndAChangeIsAsked()
    {
        GuiFixture f;
        ServerDatabase other;
        QString error;
        QVERIFY(other.ok());
        QVERIFY2(PgStore::createArchive(other.conninfo(), &error), qPrintable(error));
        QTemporaryDir home;
        const QString known = home.path() + "/server-verificato.ini";
        Velbor::installServerAccess(known);
        const auto question = [] {
            for (const MessageBox::Shown &m : MessageBox::shown())
                if (m.text.startsWith("L'archivio ora indica un altro server"))
                    return m.text;
            return QString();
        };
        for (int start = 1; start <= 2; ++start) {
            Session s;
            bool started = false;
            const QString header = startUp(f, s, &started);
            QVERIFY2(started && question().isEmpty(), qPrintable(header + question()));
        }
        PgConnect::Server first;
        QVERIFY(PgConnect::loadKnown(known, &first));
        QCOMPARE(first.database, f.database());
        QVERIFY(first.tls);   // the test server speaks TLS: its certificate is known
        QCOMPARE(first.certificate.size(), 32 * 3 - 1);

        writeBytes(f.dataArchive(), other.conninfo().toUtf8() + "\n");
        for (const bool yes : {false, true}) {
            Session s;
            bool started = !yes;
            const QString message = startUp(f, s, &started, {yes ? MessageBox::Answer::Yes : MessageBox::Answer::No});
            QCOMPARE(started, yes);
            QVERIFY2(question().contains("database " + other.conninfo().mid(7) + ", ")
                         && question().contains("invece di " + first.describe() + "."),
                     qPrintable(question()));
            if (!yes)
                QVERIFY2(message.contains("Collegamento annullato"), qPrintable(message));
            PgConnect::Server now;
            QVERIFY(PgConnect::loadKnown(known, &now));
            QCOMPARE(now.database, yes ? other.conninfo().mid(7) : f.database());
        }
        PgStore::setKnownServer(QString(), {});
    }

    void startUpFailuresAreReportedAndRefused_data()
    {
        QTest::addColumn<QString>("server");   // %1: the test's database
        QTest::addColumn<QString>("expected");
        QTest::newRow("server unreachable") << "host=127.0.0.1 port=1 dbname=%1 connect_timeout=3" << "127.0.0.1";
        QTest::newRow("no such database") << "dbname=%1_assente" << "_assente";
        QTest::newRow("database without the tables") << "dbname=postgres" << "no such table";
        QTest::newRow("empty server file") << "\n\n" << "non contiene la stringa di connessione";
    }
    void startUpFailuresAreReportedAndRefused()
    {
        QFETCH(QString, server);
        QFETCH(QString, expected);
        GuiFixture f;
        writeBytes(f.dataArchive(), server.arg(f.database()).toUtf8());
        Session s;
        bool started = true;
        const QString message = startUp(f, s, &started);
        QVERIFY(!started);
        QVERIFY2(message.startsWith("Impossibile aprire l'archivio " + f.dataArchive()) && message.contains(expected),
                 qPrintable(message));
        // Never the fallback beside the program: that would split the office's data.
        QCOMPARE(s.state.PercorsoDati, f.data());
    }

    // A write that finds another workstation's write under way waits up to
    // 15 seconds, then stops with a message and writes nothing.
    void aWriteWaitsThenGivesUp()
    {
        TestFolders f;
        Archive mine, other;
        QString error;
        QVERIFY(mine.open(f.dataArchive(), &error) && other.open(f.dataArchive(), &error));
        QVERIFY(other.store().begin(&error));
        QElapsedTimer waited;
        waited.start();
        RecordView &v = mine.clients();
        v.addNew();
        QVERIFY(v.setValue(u"codice", 1));
        QVERIFY(!v.update());
        QVERIFY2(waited.elapsed() >= 14000, qPrintable(QString::number(waited.elapsed())));
        QVERIFY2(v.lastError().contains("da più di 15 secondi"), qPrintable(v.lastError()));
        v.cancelUpdate();
        other.store().rollback();
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT COUNT(*) FROM clienti"), QStringLiteral("0"));
        v.addNew();
        QVERIFY(v.setValue(u"codice", 1) && v.update());
    }

    void wrongOrNoPasswordIsRefused()
    {
        GuiFixture f;
        LoginRole role(f.database(), "segreta");
        QVERIFY(role.ok);
        writeBytes(f.dataArchive(), QStringLiteral("dbname=%1 user=%2\n").arg(f.database(), role.name).toUtf8());
        NoStoredPassword none;
        PasswordDialog::setNextAnswer(true, "sbagliata", true);
        PasswordDialog::setNextAnswer(false, QString(), false);
        Session s;
        bool started = true;
        const QString message = startUp(f, s, &started);
        QVERIFY(!started);
        QVERIFY2(message.contains("Password non inserita") && message.contains("password"), qPrintable(message));
        QCOMPARE(PasswordDialog::asked().size(), 2);
        QVERIFY(!QFileInfo::exists(none.file));   // a refused password is never remembered
    }
};

QTEST_MAIN(TestServer)
#include "tst_server.moc"
