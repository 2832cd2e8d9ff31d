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
    void emptyArchiveShowsEmptyBoxesAndTheMainWindowsCaptions()
    {
        Opened o;
        QVERIFY(o.open());
        QCOMPARE(o.w->windowTitle(), QStringLiteral("CONFIGURAZIONE"));
        for (const char *name : kBoxes)
            QVERIFY2(box(o.w, name)->text().isEmpty(), name);
        QCOMPARE(captions(o.w), QStringList({"Progetto", "Livello 1", "Livello 2"}));
        QCOMPARE(o.w->findChild<QTabWidget *>("STab1")->currentIndex(), 0);

        // Confirming all-empty boxes writes one row of 17 empty texts.
        QTest::mouseClick(o.w->findChild<QPushButton *>("cmdConferma"), Qt::LeftButton);
        QTRY_VERIFY(!o.main.configura());
        QCOMPARE(sqlValue(o.f.programArchive(), "SELECT COUNT(*) FROM Configura"), QStringLiteral("1"));
        QCOMPARE(sqlValue(o.f.programArchive(),
                          "SELECT COUNT(*) FROM Configura WHERE descr='' AND cf='' AND sk3='' AND pre3=''"),
                 QStringLiteral("1"));
        QCOMPARE(o.s.state.NomeScheda(3), QString());
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

    void confirmStoresAndTakesEffectAtOnce()
    {
        Opened o;
        QVERIFY(o.open());
        for (int i = 0; i < 17; ++i)
            box(o.w, kBoxes[i])->setText(QStringLiteral("v%1 l'à").arg(i));
        box(o.w, "txtNome1")->setText("Commessa");
        box(o.w, "txtPre1")->setText("C");
        QTest::mouseClick(o.w->findChild<QPushButton *>("cmdConferma"), Qt::LeftButton);
        QTRY_VERIFY(!o.main.configura());
        QCOMPARE(o.s.state.NomeScheda(1), QStringLiteral("Commessa"));
        QCOMPARE(o.s.state.PrefissoScheda(1), QStringLiteral("C"));
        QCOMPARE(o.s.state.NomeScheda(2), QStringLiteral("v12 l'à"));
        QCOMPARE(sqlValue(o.f.programArchive(), "SELECT descr||'|'||cf||'|'||pre3 FROM Configura"),
                 QStringLiteral("v0 l'à|v10 l'à|v16 l'à"));

        // A second confirm edits the same row.
        o.main.findChild<QAction *>("mnuConfig")->trigger();
        QCOMPARE(captions(o.main.configura()), QStringList({"Commessa", "v12 l'à", "v13 l'à"}));
        box(o.main.configura(), "txtDitta")->setText("Nuova");
        QTest::mouseClick(o.main.configura()->findChild<QPushButton *>("cmdConferma"), Qt::LeftButton);
        QTRY_VERIFY(!o.main.configura());
        QCOMPARE(sqlValue(o.f.programArchive(), "SELECT COUNT(*)||descr FROM Configura"), QStringLiteral("1Nuova"));
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
