// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's in-use mark between two programs: this test starts a copy of
// itself that holds the mark, as another workstation's program would.
#include "TestSupport.h"
#include "data/engines/ArchiveUse.h"

#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <iostream>

namespace {
// The second program: takes the mark, says so, and keeps it until its input
// ends (or it is killed).
int hold(const QString &archive, const QString &mode)
{
    ArchiveUse use;
    QString error;
    if (!use.acquire(archive, mode == QLatin1String("alone") ? ArchiveUse::Mode::Alone : ArchiveUse::Mode::Shared,
                     &error)) {
        std::cout << "refused " << error.toStdString() << std::endl;
        return 1;
    }
    std::cout << "held" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    return 0;
}

class Holder {
public:
    Holder(const QString &archive, const char *mode)
    {
        m_process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), archive, QLatin1String(mode)});
        m_started = m_process.waitForStarted(30000) && m_process.waitForReadyRead(30000);
        m_answer = QString::fromUtf8(m_process.readLine()).trimmed();
    }
    ~Holder() { end(); }
    bool held() const { return m_started && m_answer == QLatin1String("held"); }
    QString answer() const { return m_answer; }
    void end(bool kill = false)
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        if (kill)
            m_process.kill();
        else
            m_process.closeWriteChannel();
        m_process.waitForFinished(30000);
    }

private:
    QProcess m_process;
    bool m_started = false;
    QString m_answer;
};
} // namespace

class TestArchiveUse : public QObject {
    Q_OBJECT
private slots:
    void twoPrograms_data()
    {
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("shared");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("why");
        QTest::newRow("two workstations at work") << "shared" << true << true << QString();
        QTest::newRow("maintenance while in use") << "shared" << false << false << "è in uso";
        QTest::newRow("work during maintenance") << "alone" << true << false << "manutenzione";
        QTest::newRow("two maintenances") << "alone" << false << false << "è in uso";
    }
    // What this program may take while another program holds the mark, and
    // that the mark is free again once the other ends, whether it ends
    // properly or is killed.
    void twoPrograms()
    {
        QFETCH(QString, other);
        QFETCH(bool, shared);
        QFETCH(bool, taken);
        QFETCH(QString, why);
        TestFolders f;
        const QString archive = f.dataArchive();
        for (const bool kill : {false, true}) {
            Holder holder(archive, qPrintable(other));
            QVERIFY2(holder.held(), qPrintable(holder.answer()));
            ArchiveUse use;
            QString error;
            const ArchiveUse::Mode mode = shared ? ArchiveUse::Mode::Shared : ArchiveUse::Mode::Alone;
            QCOMPARE(use.acquire(archive, mode, &error), taken);
            QVERIFY2(error.contains(why), qPrintable(error));
            use.release();
            holder.end(kill);
            error.clear();
            QVERIFY2(use.acquire(archive, ArchiveUse::Mode::Alone, &error), qPrintable(error));
            use.release();
        }
    }
};

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--hold") == 0) {
        QCoreApplication app(argc, argv);
        return hold(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TestArchiveUse test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_archiveuse.moc"
