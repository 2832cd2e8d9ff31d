// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up on an archive on a PostgreSQL server: the header names it, a login
// with only the rights the README gives works, a password is asked when
// libpq has none and may be remembered, and every start-up failure ends with
// a message and a refused start.
#include "TestSupport.h"
#include "app/frmMain.h"
#include "data/PgStore.h"
#include "data/basMain.h"
#include "platform/MessageBox.h"
#include "platform/PasswordDialog.h"

#include <QLabel>
#include <QtTest>

namespace {
// A login role of this run's own, with the rights the README grants.
struct LoginRole {
    QString name = QStringLiteral("velbor_pw_%1").arg(QCoreApplication::applicationPid());
    QString database;
    bool ok = false;
    LoginRole(const QString &db, const QString &password) : database(db)
    {
        const QString admin = QStringLiteral("dbname=") + db;
        ok = serverValue(admin, QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(name, password)).isEmpty()
             && serverValue(admin, QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO %1").arg(name)).isEmpty()
             && serverValue(admin, QStringLiteral("GRANT USAGE, UPDATE ON ALL SEQUENCES IN SCHEMA public TO %1").arg(name)).isEmpty();
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

QString startUp(GuiFixture &f, Session &s, bool *started)
{
    writeBytes(f.program() + "/SERVER.DAT", (f.data() + "\r\n").toUtf8());
    MessageBox::clearShown();
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
