// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration window: load, tab captions, confirm and cancel.
#include "TestSupport.h"
#include "app/frmMain.h"
#include "config/frmConfigura.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

namespace {
QLineEdit *box(QWidget *w, const char *name)
{
    return w->findChild<QLineEdit *>(name);
}
QStringList captions(QWidget *w)
{
    auto *tabs = w->findChild<QTabWidget *>("STab1");
    QStringList out;
    for (int i = 0; i < tabs->count(); ++i)
        out << tabs->tabText(i);
    return out;
}
const char *const kBoxes[17] = {"txtDitta", "txtIndirizzo", "txtCitta", "txtCAP",   "txtProvincia", "txtTelefono",
                                "txtFax",   "txtEMail",     "txtSito",  "txtPIVA",  "txtCodFiscale", "txtNome1",
                                "txtNome2", "txtNome3",     "txtPre1",  "txtPre2",  "txtPre3"};
} // namespace

class TestConfigura : public QObject {
    Q_OBJECT

    struct Opened {
        GuiFixture f;
        Session s;
        frmMain main{s};
        frmConfigura *w = nullptr;
        bool open()
        {
            if (!main.Form_Load())
                return false;
            main.findChild<QAction *>("mnuConfig")->trigger();
            w = main.configura();
            return w && w->isVisible();
        }
    };

private slots:
    void freshInstallationStartsWithTheNamesInUse()
    {
        Opened o;
        QVERIFY(o.open());
        QCOMPARE(o.w->windowTitle(), QStringLiteral("CONFIGURAZIONE"));
        const QStringList inUse = {"Progetto", "Livello 1", "Livello 2", "P", "L1", "L2"};
        for (int i = 0; i < 17; ++i)
            QVERIFY2(box(o.w, kBoxes[i])->text() == (i < 11 ? QString() : inUse[i - 11]), kBoxes[i]);
        QCOMPARE(captions(o.w), QStringList({"Progetto", "Livello 1", "Livello 2"}));
        QCOMPARE(o.w->findChild<QTabWidget *>("STab1")->currentIndex(), 0);

        // Confirming only a company name keeps the sheets' names and prefixes.
        QTest::keyClicks(box(o.w, "txtDitta"), "Studio Rossi");
        QTest::mouseClick(o.w->findChild<QPushButton *>("cmdConferma"), Qt::LeftButton);
        QTRY_VERIFY(!o.main.configura());
        QCOMPARE(sqlValue(o.f.programArchive(),
                          "SELECT COUNT(*)||'|'||descr||'|'||cf||'|'||sk1||'|'||sk2||'|'||sk3||'|'||pre1||'|'||pre2||'|'||pre3"
                          " FROM Configura"),
                 QStringLiteral("1|Studio Rossi||Progetto|Livello 1|Livello 2|P|L1|L2"));
        for (int n = 1; n <= 3; ++n) {
            QCOMPARE(o.s.state.NomeScheda(n), inUse[n - 1]);
            QCOMPARE(o.s.state.PrefissoScheda(n), inUse[n + 2]);
        }
    }

    void loadSelectsTheLastNamedTab()
    {
        Opened o;
        QCOMPARE(sqlValue(o.f.programArchive(),
                          "INSERT INTO Configura(descr,sk1,sk2,sk3,pre1,pre2,pre3,cf) VALUES "
                          "('Studio','Commessa','Parte','','C','PA','SP',NULL)"),
                 QString());
        QVERIFY(o.main.Form_Load());
        auto *w = new frmConfigura(o.s);
        QCOMPARE(box(w, "txtDitta")->text(), QStringLiteral("Studio"));
        QCOMPARE(box(w, "txtCodFiscale")->text(), QString());
        QCOMPARE(captions(w), QStringList({"Commessa", "Parte", "Nome"}));
        QCOMPARE(w->findChild<QTabWidget *>("STab1")->currentIndex(), 1);
        delete w;
    }

    void typingANameSwitchesAndRenamesItsTab()
    {
        Opened o;
        QVERIFY(o.open());
        auto *tabs = o.w->findChild<QTabWidget *>("STab1");
        QCOMPARE(tabs->currentIndex(), 0);
        box(o.w, "txtNome2")->clear();
        QTest::keyClicks(box(o.w, "txtNome2"), "Fa");
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(tabs->tabText(1), QStringLiteral("Fa"));
        QTest::keyClicks(box(o.w, "txtNome2"), "se");
        QCOMPARE(tabs->tabText(1), QStringLiteral("Fase"));
    }

    void confirmStoresEachBoxInItsOwnField_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("runWide");   // NomeSchedaN / PrefissoSchedaN, or empty
        const char *const fields[17] = {"descr", "indirizzo", "citta", "cap", "provincia", "telefono",
                                        "fax",   "email",     "sito",  "piva", "cf",       "sk1",
                                        "sk2",   "sk3",       "pre1",  "pre2", "pre3"};
        for (int i = 0; i < 17; ++i) {
            QString runWide;
            if (i >= 11)
                runWide = QString(i < 14 ? "NomeScheda%1" : "PrefissoScheda%1").arg((i - 11) % 3 + 1);
            QTest::newRow(kBoxes[i]) << i << QString(fields[i]) << runWide;
        }
    }
    void confirmStoresEachBoxInItsOwnField()
    {
        QFETCH(int, index);
        QFETCH(QString, field);
        QFETCH(QString, runWide);
        Opened o;
        QVERIFY(o.open());
        // A distinct value in every box, so a box stored in another's field shows.
        for (int i = 0; i < 17; ++i) {
            QLineEdit *b = box(o.w, kBoxes[i]);
            b->clear();
            QTest::keyClicks(b, QString("v%1 l'a").arg(i));
        }
        QTest::mouseClick(o.w->findChild<QPushButton *>("cmdConferma"), Qt::LeftButton);
        QTRY_VERIFY(!o.main.configura());
        const QString typed = QString("v%1 l'a").arg(index);
        QCOMPARE(sqlValue(o.f.programArchive(), "SELECT " + field + " FROM Configura"), typed);
        if (!runWide.isEmpty()) {
            const int n = runWide.right(1).toInt();
            const RunState &st = o.s.state;
            QCOMPARE(runWide.startsWith("Nome") ? st.NomeScheda(n) : st.PrefissoScheda(n), typed);
        }
    }

    void aSecondConfirmEditsTheSameRow()
    {
        Opened o;
        QVERIFY(o.open());
        QTest::keyClicks(box(o.w, "txtDitta"), "Prima");
        box(o.w, "txtNome2")->clear();
        QTest::keyClicks(box(o.w, "txtNome2"), "Parte");
        QTest::mouseClick(o.w->findChild<QPushButton *>("cmdConferma"), Qt::LeftButton);
        QTRY_VERIFY(!o.main.configura());

        o.main.findChild<QAction *>("mnuConfig")->trigger();
        QCOMPARE(captions(o.main.configura()), QStringList({"Progetto", "Parte", "Livello 2"}));
        box(o.main.configura(), "txtDitta")->clear();
        QTest::keyClicks(box(o.main.configura(), "txtDitta"), "Nuova");
        QTest::mouseClick(o.main.configura()->findChild<QPushButton *>("cmdConferma"), Qt::LeftButton);
        QTRY_VERIFY(!o.main.configura());
        QCOMPARE(sqlValue(o.f.programArchive(), "SELECT COUNT(*)||descr||sk2 FROM Configura"), QStringLiteral("1NuovaParte"));
    }

    // Another workstation saves the configuration (or makes the first one)
    // while this window shows it: the confirm asks before going over it.
    void anotherWorkstationsSaveIsNotGoneOverUnasked_data()
    {
        QTest::addColumn<bool>("storedBefore");
        QTest::newRow("changed meanwhile") << true;
        QTest::newRow("first one made meanwhile") << false;
    }
    void anotherWorkstationsSaveIsNotGoneOverUnasked()
    {
        QFETCH(bool, storedBefore);
        Opened o;
        const QString archive = o.f.programArchive();
        if (storedBefore)
            QCOMPARE(sqlValue(archive, "INSERT INTO Configura(descr,sk1) VALUES('Studio','Progetto')"), QString());
        QVERIFY(o.open());
        QCOMPARE(sqlValue(archive, storedBefore ? "UPDATE Configura SET descr='Loro'"
                                                : "INSERT INTO Configura(descr,sk1) VALUES('Loro','Progetto')"),
                 QString());
        box(o.w, "txtDitta")->setText("Nostro");
        QTest::mouseClick(o.w->findChild<QPushButton *>("cmdConferma"), Qt::LeftButton);   // scripted answer: No
        QVERIFY(!MessageBox::shown().isEmpty());
        QVERIFY(MessageBox::shown().last().text.startsWith("La configurazione è stata modificata da un'altra postazione"));
        QVERIFY(o.w->isVisible());
        QCOMPARE(sqlValue(archive, "SELECT COUNT(*)||descr FROM Configura"), QStringLiteral("1Loro"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        QTest::mouseClick(o.w->findChild<QPushButton *>("cmdConferma"), Qt::LeftButton);
        QTRY_VERIFY(!o.main.configura());
        QCOMPARE(sqlValue(archive, "SELECT COUNT(*)||descr FROM Configura"), QStringLiteral("1Nostro"));
    }

    void cancelAndCloseBoxStoreNothing()
    {
        Opened o;
        QVERIFY(o.open());
        box(o.w, "txtNome1")->setText("Altro");
        QTest::mouseClick(o.w->findChild<QPushButton *>("cmdAnnulla"), Qt::LeftButton);
        QTRY_VERIFY(!o.main.configura());
        o.main.findChild<QAction *>("mnuConfig")->trigger();
        box(o.main.configura(), "txtDitta")->setText("x");
        o.main.configura()->close();
        QTRY_VERIFY(!o.main.configura());
        QCOMPARE(sqlValue(o.f.programArchive(), "SELECT COUNT(*) FROM Configura"), QStringLiteral("0"));
        QCOMPARE(o.s.state.NomeScheda(1), QStringLiteral("Progetto"));
    }

    void refusedStoreKeepsTheWindowOpen()
    {
        Opened o;
        QVERIFY(o.open());
        // Made after the start: an archive with triggers is not opened.
        QCOMPARE(sqlValue(o.f.programArchive(),
                          "CREATE TRIGGER no_cfg BEFORE INSERT ON Configura BEGIN SELECT RAISE(ABORT,'archivio in sola lettura'); END"),
                 QString());
        box(o.w, "txtDitta")->setText("Studio");
        box(o.w, "txtNome1")->setText("Commessa");
        QTest::mouseClick(o.w->findChild<QPushButton *>("cmdConferma"), Qt::LeftButton);
        QVERIFY(o.main.configura() && o.w->isVisible());
        QVERIFY(MessageBox::shown().last().text.contains("archivio in sola lettura"));
        QCOMPARE(box(o.w, "txtDitta")->text(), QStringLiteral("Studio"));
        QCOMPARE(o.s.state.NomeScheda(1), QStringLiteral("Progetto"));
    }

    void iconIsShownOnlyUntilTheWindowCloses()
    {
        Opened o;
        QVERIFY(o.open());
        QImage img(32, 32, QImage::Format_ARGB32);
        img.fill(Qt::red);
        const QString icon = o.f.root() + "/icona.png";
        QVERIFY(img.save(icon));
        FileDialog::setNextFileName(icon);
        QDir::setCurrent(o.f.data());
        auto *pic = o.w->findChild<QLabel *>("picIcona2");
        QTest::mouseClick(pic, Qt::LeftButton);
        QCOMPARE(FileDialog::initialNames().last(), QStringLiteral("*.ICO"));
        QVERIFY(!pic->pixmap().isNull());
        QCOMPARE(QDir::currentPath(), o.f.program());
        o.w->close();
        QTRY_VERIFY(!o.main.configura());
        o.main.findChild<QAction *>("mnuConfig")->trigger();
        QVERIFY(o.main.configura()->findChild<QLabel *>("picIcona2")->pixmap().isNull());
    }
};

QTEST_MAIN(TestConfigura)
#include "tst_configura.moc"
