// SPDX-License-Identifier: GPL-3.0-or-later
// Awkward text in every box is stored and found back as typed; a data folder
// that vanishes mid-run and a damaged archive give messages, never a crash.
#include "TestSupport.h"
#include "app/frmMain.h"
#include "clients/frmClienti.h"
#include "components/frmCOmponenti.h"
#include "config/frmConfigura.h"
#include "data/basMain.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "projects/ProjectTreeModel.h"
#include "projects/frmProgetti.h"

#include <QComboBox>
#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeView>
#include <QtTest>

namespace {
QStringList awkward()
{
    return {QStringLiteral("O'Hara \"virgolette\" \\barra\\ 100% _x_ [a] *"),
            QStringLiteral("x'); DROP TABLE Clienti; --"),
            QStringLiteral("città ÉLITE Straße ΑΒΓ русский 日本語"),
            QString::fromUtf8("emoji 😀👍🏽 fine"),
            QString(10000, QChar(0x00e8)) + QStringLiteral("'"),
            QStringLiteral("tab\tdentro")};
}

using Running = SessionFixture;

QString lastMessage()
{
    return MessageBox::shown().isEmpty() ? QString() : MessageBox::shown().last().text;
}
// The window's text boxes, not the editors inside its number boxes.
QList<QLineEdit *> textBoxes(QWidget &window)
{
    QList<QLineEdit *> boxes;
    for (QLineEdit *box : window.findChildren<QLineEdit *>())
        if (!qobject_cast<QAbstractSpinBox *>(box->parent()))
            boxes.append(box);
    return boxes;
}

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT

private slots:
    void clientRegisterKeepsEveryText()
    {
        const char *const boxes[] = {"txtIndirizzo", "txtCitta", "txtTelefono", "txtFax", "txtEMail", "txtSito",
                                     "txtContatto", "txtPIva"};
        int code = 0;
        for (const QString &text : awkward()) {
            Running r;
            ++code;
            {
                frmClienti w(r.s);
                w.findChild<QComboBox *>("cboCodice")->setEditText(QString::number(code));
                w.findChild<QComboBox *>("cboDescr")->setEditText("  " + text + " ");
                for (const char *b : boxes)
                    w.findChild<QLineEdit *>(b)->setText(text);
                w.findChild<QLineEdit *>("txtCap")->setText(text.left(5));
                w.findChild<QLineEdit *>("txtProvincia")->setText(text.left(3));
                QTest::mouseClick(w.findChild<QPushButton *>("cmdSalva"), Qt::LeftButton);
                QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(lastMessage()));
            }
            QCOMPARE(r.sql("SELECT COUNT(*) FROM sqlite_master WHERE name='Clienti'"), QStringLiteral("1"));
            frmClienti again(r.s);
            auto *names = again.findChild<QComboBox *>("cboDescr");
            QCOMPARE(names->itemText(0), text);
            again.cboDescr_Click(0);
            QCOMPARE(again.findChild<QComboBox *>("cboCodice")->currentText(), QString::number(code));
            for (const char *b : boxes)
                QCOMPARE(again.findChild<QLineEdit *>(b)->text(), text);
            QCOMPARE(again.findChild<QLineEdit *>("txtCap")->text(), text.left(5).trimmed());
        }
    }

    void projectWindowKeepsEveryText()
    {
        const QStringList codes = {QStringLiteral("P'1 %"), QString::fromUtf8("Città😀"), QStringLiteral("x'); --")};
        const char *const boxes[] = {"txtUfficio", "txtReparto", "txtOperatore", "txtTelefono", "txtEMail", "txtFax",
                                     "txtSpecifica"};
        for (const QString &code : codes) {
            for (const QString &text : awkward()) {
                Running r;
                frmProgetti w(r.s);
                w.findChild<QComboBox *>("cboCodice")->setEditText(code);
                w.findChild<QComboBox *>("cboDescr")->setEditText(text);
                for (const char *b : boxes)
                    w.findChild<QLineEdit *>(b)->setText(text);
                w.findChild<QPlainTextEdit *>("txtNote")->setPlainText(text + "\nseconda riga " + text);
                QTest::mouseClick(w.findChild<QPushButton *>("cmdSalva"), Qt::LeftButton);
                QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(lastMessage()));
                QVERIFY(QFileInfo(r.f.data() + "/" + code).isDir());

                w.tvwProgetti_NodeClick(w.treeModel()->indexOfKey("P" + code));
                QCOMPARE(w.findChild<QComboBox *>("cboCodice")->currentText(), code);
                QCOMPARE(w.findChild<QComboBox *>("cboDescr")->currentText(), text);
                for (const char *b : boxes)
                    QCOMPARE(w.findChild<QLineEdit *>(b)->text(), text);
                QCOMPARE(w.findChild<QPlainTextEdit *>("txtNote")->toPlainText(), text + "\nseconda riga " + text);

                // An item with an awkward code and description, under that project.
                w.findChild<QTabWidget *>("STab1")->setCurrentIndex(1);
                w.findChild<QComboBox *>("cboCodice1")->setEditText("L'" + code.right(2));
                w.findChild<QLineEdit *>("txtDescr1")->setText(" " + text + " ");
                QTest::mouseClick(w.findChild<QPushButton *>("cmdSalva"), Qt::LeftButton);
                QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(lastMessage()));
                const QModelIndex item = w.treeModel()->indexOfKey("L1CL'" + code.right(2));
                QVERIFY(item.isValid());
                w.tvwProgetti_NodeClick(item);
                QCOMPARE(w.findChild<QLineEdit *>("txtDescr1")->text(), " " + text + " ");
                QCOMPARE(r.s.state.ProgettoCorrente, code);
            }
        }
    }

    void configurationKeepsEveryText()
    {
        for (const QString &text : awkward()) {
            Running r;
            {
                frmConfigura w(r.s);
                for (QLineEdit *box : textBoxes(w))
                    box->setText(text);
                w.cmdConferma_Click();
                QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(lastMessage()));
            }
            QCOMPARE(r.s.state.NomeScheda(2), text);
            QCOMPARE(r.s.state.PrefissoScheda(3), text);
            frmConfigura again(r.s);
            const QList<QLineEdit *> boxes = textBoxes(again);
            QCOMPARE(boxes.size(), 17);
            for (QLineEdit *box : boxes)
                QCOMPARE(box->text(), text);
        }
    }

    void componentsKeepAwkwardPaths()
    {
        Running r;
        const QString folder = r.f.data() + QString::fromUtf8("/dir 'x' 100% \"q\" città😀");
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + QString::fromUtf8("/pezzo l'1 😀.dwg");
        writeBytes(file, "123");
        r.s.state.LivelloCorrente = 0;
        r.s.state.ElementoCorrente = "P'1";
        r.s.state.FileNote = r.f.data() + "/note";
        {
            frmCOmponenti w(r.s);
            w.CodPrj = "P'1";
            w.DataIns = "07/12/2026";
            w.Form_Load();
            FileDialog::setNextFileName(file);
            w.cmdAggiungi_Click();
            QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(lastMessage()));
        }
        frmCOmponenti w(r.s);
        w.CodPrj = "P'1";
        w.Form_Load();
        auto *grid = w.findChild<QTableWidget *>("Grid1");
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->item(1, 1)->text(), file);
        QCOMPARE(grid->item(1, 2)->text(), QStringLiteral("3"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        w.Grid1_DblClick(1);
        QCOMPARE(grid->rowCount(), 1);
        QCOMPARE(r.sql("SELECT COUNT(*) FROM Componenti"), QStringLiteral("0"));
    }

    void dataFolderVanishingMidRun()
    {
        Running r;
        r.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno')");
        frmProgetti projects(r.s);
        frmClienti clients(r.s);
        QVERIFY(QDir().rename(r.f.data(), r.f.root() + "/spostata"));

        projects.findChild<QComboBox *>("cboCodice")->setEditText("P2");
        QTest::mouseClick(projects.findChild<QPushButton *>("cmdSalva"), Qt::LeftButton);
        QVERIFY(lastMessage().contains("P2"));

        clients.findChild<QComboBox *>("cboCodice")->setEditText("1");
        QTest::mouseClick(clients.findChild<QPushButton *>("cmdSalva"), Qt::LeftButton);
        QVERIFY2(lastMessage().startsWith("Operazione non riuscita"), qPrintable(lastMessage()));

        projects.CaricaProgetti();   // reading still works on the open file
        QVERIFY(projects.treeModel()->indexOfKey("PP1").isValid());
        QVERIFY(QDir().rename(r.f.root() + "/spostata", r.f.data()));
        QCOMPARE(r.sql("SELECT COUNT(*) FROM Progetti"), QStringLiteral("1"));
        QCOMPARE(r.sql("PRAGMA integrity_check"), QStringLiteral("ok"));
    }

    void damagedArchiveMidRun()
    {
        Running r;
        QString values;
        for (int i = 1; i <= 3000; ++i)
            values += QString("%1('P%2','progetto %2 con una descrizione lunga')").arg(i > 1 ? "," : "").arg(i);
        r.sql("INSERT INTO Progetti(codice,descr) VALUES" + values);
        Archive archive;
        QString error;
        QVERIFY(archive.open(r.f.dataArchive(), &error));
        r.s.archive.close();
        QVERIFY(r.s.archive.open(r.f.dataArchive(), &error));
        // Another program scribbles over every page but the first (the schema).
        const qint64 page = r.sql("PRAGMA page_size").toLongLong();
        QFile file(r.f.dataArchive());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(page > 0 && file.size() > page);
        file.seek(page);
        file.write(QByteArray(file.size() - page, '\x5a'));
        file.close();
        frmProgetti w(r.s);
        QVERIFY2(lastMessage().startsWith("Operazione non riuscita"), qPrintable(lastMessage()));
        QVERIFY(lastMessage().contains("malformed"));
        QCOMPARE(w.treeModel()->rowCount(), 0);
    }
};

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
