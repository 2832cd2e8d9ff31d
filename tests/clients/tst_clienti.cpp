// SPDX-License-Identifier: GPL-3.0-or-later
// The client register, a client's project list and its printing, and the
// register opened from the project window.
#include "GuiSupport.h"
#include "TestSupport.h"
#include "app/frmMain.h"
#include "data/engines/Archive.h"
#include "clients/frmClienti.h"
#include "clients/frmElenco.h"
#include "data/basMain.h"
#include "platform/MessageBox.h"
#include "widgets/SearchPanel.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QLabel>
#include <QTableWidget>
#include <QTreeView>
#include <QtTest>

namespace {
struct Opened : SessionFixture {
    frmClienti *w = nullptr;

    ~Opened()
    {
        delete w;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (qobject_cast<frmElenco *>(top))
                delete top;
    }
    frmClienti *open()
    {
        w = new frmClienti(s);
        w->show();
        return w;
    }
    QComboBox *combo(const char *name) const { return w->findChild<QComboBox *>(name); }
    QLineEdit *box(const char *name) const { return w->findChild<QLineEdit *>(name); }
    void click(const char *name) const { QTest::mouseClick(w->findChild<QPushButton *>(name), Qt::LeftButton); }
    QStringList list(const char *name) const
    {
        QStringList out;
        for (int i = 0; i < combo(name)->count(); ++i)
            out << combo(name)->itemText(i);
        return out;
    }
    void pick(const char *name, const QString &text) const
    {
        const int i = combo(name)->findText(text);
        QVERIFY2(i >= 0, qPrintable(text));
        combo(name)->setCurrentIndex(i);
        if (QByteArray(name) == "cboCodice")
            w->cboCodice_Click(i);
        else
            w->cboDescr_Click(i);
    }
    QString lastMessage() const { return MessageBox::shown().isEmpty() ? QString() : MessageBox::shown().last().text; }
};

QStringList gridRows(QTableWidget *grid)
{
    QStringList rows;
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid->columnCount(); ++c)
            cells << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
        rows << cells.join('|');
    }
    return rows;
}

} // namespace

class TestClienti : public QObject {
    Q_OBJECT

private slots:
    void emptyRegister()
    {
        Opened o;
        o.open();
        QCOMPARE(o.w->windowTitle(), QStringLiteral("CLIENTI"));
        QVERIFY(o.list("cboCodice").isEmpty());
        QVERIFY(o.list("cboDescr").isEmpty());
        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("1"));
        QCOMPARE(o.box("txtCap")->maxLength(), 5);
        QCOMPARE(o.box("txtProvincia")->maxLength(), 3);
        QTest::keyClicks(o.box("txtCap"), "1234567");
        QCOMPARE(o.box("txtCap")->text(), QStringLiteral("12345"));
        QTest::keyClicks(o.box("txtProvincia"), "MIL");
        QTest::keyClicks(o.box("txtProvincia"), "X");
        QCOMPARE(o.box("txtProvincia")->text(), QStringLiteral("MIL"));
    }

    void saveAddsTrimsAndLists()
    {
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr) VALUES(3,'Beta')");
        o.open();
        QCOMPARE(o.list("cboCodice"), QStringList({"3"}));
        o.combo("cboCodice")->setEditText("007");
        o.combo("cboDescr")->setEditText("  L'Officina Srl  ");
        o.box("txtIndirizzo")->setText("  Via Roma 1 ");
        o.box("txtCitta")->setText("Città di Castello");
        o.box("txtPIva")->setText("   ");
        o.click("cmdSalva");
        QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(o.lastMessage()));
        QCOMPARE(o.sql("SELECT codice||'|'||descr||'|'||indirizzo||'|'||citta||'|'||quote(piva)||'|'||quote(fax) FROM Clienti WHERE codice=7"),
                 QStringLiteral("7|L'Officina Srl|Via Roma 1|Città di Castello|''|''"));
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("007"));
        QCOMPARE(o.list("cboCodice"), QStringList({"3", "7"}));
        QCOMPARE(o.list("cboDescr"), QStringList({"Beta", "L'Officina Srl"}));

        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("8"));
        QVERIFY(o.box("txtIndirizzo")->text().isEmpty());
        o.pick("cboDescr", "L'Officina Srl");
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("7"));
        QCOMPARE(o.box("txtCitta")->text(), QStringLiteral("Città di Castello"));
        o.pick("cboCodice", "3");
        QCOMPARE(o.combo("cboDescr")->currentText(), QStringLiteral("Beta"));
        QVERIFY(o.box("txtCitta")->text().isEmpty());
    }

    void existingCodeIsOverwrittenAndCodesCannotChange()
    {
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr,telefono) VALUES(1,'Uno','011'),(2,'Due','012')");
        o.open();
        o.pick("cboCodice", "1");
        o.combo("cboDescr")->setEditText("Uno bis");
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT COUNT(*)||MAX(descr)||MAX(telefono) FROM Clienti WHERE codice=1"), QStringLiteral("1Uno bis011"));
        // The list keeps the old description until the window opens again.
        QCOMPARE(o.list("cboDescr"), QStringList({"Uno", "Due"}));
        o.combo("cboCodice")->setEditText("2");
        o.pick("cboDescr", "Uno");
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("2"));

        o.pick("cboCodice", "1");
        o.combo("cboCodice")->setEditText("9");
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT group_concat(codice||descr) FROM (SELECT codice, descr FROM Clienti ORDER BY vb_key) t"),
                 QStringLiteral("1Uno bis,2Due,9Uno bis"));
    }

    // Another workstation saves the client shown here: this save asks before
    // going over it (No by default); a second save of one's own is no conflict.
    void aSaveAsksBeforeGoingOverAnotherWorkstationsSave()
    {
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr,fax) VALUES(1,'Uno','075 1')");
        o.open();
        o.pick("cboCodice", "1");
        o.sql("UPDATE Clienti SET fax='075 loro' WHERE codice=1");
        o.box("txtEMail")->setText("uno@studio.it");
        o.click("cmdSalva");   // scripted answer: No
        QCOMPARE(o.lastMessage(), QStringLiteral("Il cliente 1 è stato modificato da un'altra postazione dopo che è "
                                                 "stato mostrato: salvando si perdono le sue modifiche.\nSovrascrivere ?"));
        QCOMPARE(o.sql("SELECT fax||'|'||COALESCE(email,'') FROM Clienti"), QStringLiteral("075 loro|"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT fax||'|'||email FROM Clienti"), QStringLiteral("075 1|uno@studio.it"));
        MessageBox::clearShown();
        o.box("txtEMail")->setText("due@studio.it");
        o.click("cmdSalva");
        QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(o.lastMessage()));
        QCOMPARE(o.sql("SELECT email FROM Clienti"), QStringLiteral("due@studio.it"));
    }

    // A code or a name typed after Nuovo and left with Tab shows no stored
    // client, so Salva never edits one unasked; a choice in a list still shows it.
    void aTypedCodeOrNameLeftByTabLoadsNothing_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");   // Clienti after Salva, answered No if asked
        QTest::newRow("code of client 1") << "cboCodice" << "1" << "1Uno Srl,7Sette Spa";
        QTest::newRow("name of client 1") << "cboDescr" << "Uno Srl" << "1Uno Srl,7Sette Spa,8Uno Srl";
    }
    void aTypedCodeOrNameLeftByTabLoadsNothing()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr,citta) VALUES(1,'Uno Srl','Roma'),(7,'Sette Spa','Bari')");
        o.open();
        QVERIFY(activate(o.w));
        QVERIFY(chooseInList(o.combo(box.toLatin1()), box == "cboCodice" ? "7" : "Sette Spa", ChooseBy::Click));
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("7"));
        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("8"));
        clickAndSelectAll(o.combo(box.toLatin1()));
        typeHere(typed);
        pressHere(Qt::Key_Tab);
        QCOMPARE(o.combo(box.toLatin1())->currentText(), typed);
        QCOMPARE(o.combo("cboCodice")->currentText(), box == "cboCodice" ? typed : QStringLiteral("8"));
        QVERIFY(o.box("txtCitta")->text().isEmpty());
        if (box == "cboCodice") {
            clickAndSelectAll(o.combo("cboDescr"));
            typeHere("Nuovo Cliente");
        }
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT group_concat(codice||descr) FROM (SELECT * FROM Clienti ORDER BY codice) AS c"), expected);
        QCOMPARE(o.sql("SELECT citta FROM Clienti WHERE codice=1"), QStringLiteral("Roma"));
        QVERIFY(chooseInList(o.combo("cboDescr"), "Uno Srl", ChooseBy::Enter));
        QCOMPARE(o.box("txtCitta")->text(), QStringLiteral("Roma"));
    }

    // The client shown, deleted by another workstation, is stored again
    // only when the user says so; one linked by another workstation's
    // project while the delete waits for the archive is not deleted.
    void anotherWorkstationsDeleteAndLinkAreSeenAtTheWrite()
    {
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr,citta) VALUES(1,'Uno Srl','Roma'),(2,'Due Spa','Bari')");
        o.open();
        o.pick("cboCodice", "2");
        HeldWrite other(o.f.dataArchive(), [](Archive &a, QString *error) {
            return insertRow(a, "Progetti", {{"codice", "P7"}, {"descr", "Capannone"}, {"codcli", qint64(2)}}, error);
        });
        QTRY_VERIFY(other.ready());
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdElimina");
        QString error;
        QVERIFY2(other.finish(&error), qPrintable(error));
        QCOMPARE(o.lastMessage(), QStringLiteral("Impossibile eliminare questo cliente, ha dei progetti collegati !"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Clienti WHERE codice=2"), QStringLiteral("1"));

        o.pick("cboCodice", "1");
        o.sql("DELETE FROM Clienti WHERE codice=1");
        o.box("txtCitta")->setText("Rieti");
        o.click("cmdSalva");   // scripted answer: No
        QCOMPARE(o.lastMessage(), QStringLiteral("Il cliente 1 è stato eliminato da un'altra postazione dopo che è "
                                                 "stato mostrato. Salvarlo di nuovo ?"));
        QCOMPARE(MessageBox::shown().last().buttons, MessageBox::Buttons::YesNoDefaultNo);
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Clienti WHERE codice=1"), QStringLiteral("0"));
        QCOMPARE(o.box("txtCitta")->text(), QStringLiteral("Rieti"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT descr||citta FROM Clienti WHERE codice=1"), QStringLiteral("Uno SrlRieti"));
    }

    void savesNeverReplaceAStoredClient()
    {
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr,citta) VALUES(12,'Alfa Srl','Roma'),(3,'Beta','Bari'),(25,'Gamma','Asti')");
        o.open();
        QComboBox *code = o.combo("cboCodice");
        // Typing completes nothing and neither Enter nor Tab looks anything up.
        code->setFocus();
        QTest::keyClicks(code, "1");
        QTest::keyClick(code, Qt::Key_Return);
        QTest::keyClicks(o.combo("cboDescr"), "Delta");
        QCOMPARE(code->currentText(), QStringLiteral("1"));
        QTest::keyClick(code, Qt::Key_Backspace);
        QTest::keyClicks(code, "12");
        QTest::keyClick(code, Qt::Key_Tab);
        QCOMPARE(code->currentText(), QStringLiteral("12"));
        QCOMPARE(o.combo("cboDescr")->currentText(), QStringLiteral("Delta"));
        QVERIFY(o.box("txtCitta")->text().isEmpty());

        // A hand-typed existing code asks first, No by default.
        o.click("cmdSalva");
        QCOMPARE(o.lastMessage(), QStringLiteral("Il cliente 12 esiste già: sovrascrivere ?"));
        QCOMPARE(MessageBox::shown().last().buttons, MessageBox::Buttons::YesNoDefaultNo);
        QCOMPARE(o.sql("SELECT descr||citta FROM Clienti WHERE codice=12"), QStringLiteral("Alfa SrlRoma"));

        // Nuovo's code taken meanwhile by another workstation: nothing is
        // replaced, the next free code is offered.
        o.click("cmdNuovo");
        QCOMPARE(code->currentText(), QStringLiteral("26"));
        o.sql("INSERT INTO Clienti(codice,descr,citta) VALUES(26,'Verdi Impianti','Milano')");
        QTest::keyClicks(o.combo("cboDescr"), "Neri Costruzioni");
        QTest::keyClicks(o.box("txtCitta"), "Torino");
        o.click("cmdSalva");
        QCOMPARE(o.lastMessage(), QStringLiteral("Il codice 26 è già usato da un altro cliente e non viene sovrascritto: "
                                                 "non è stato salvato nulla.\nSalvare con il primo codice libero, 27 ?"));
        QCOMPARE(o.sql("SELECT group_concat(codice||descr||citta) FROM Clienti WHERE codice>=26"),
                 QStringLiteral("26Verdi ImpiantiMilano"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT group_concat(codice||descr||citta) FROM Clienti WHERE codice>=26"),
                 QStringLiteral("26Verdi ImpiantiMilano,27Neri CostruzioniTorino"));
        QCOMPARE(code->currentText(), QStringLiteral("27"));
        // The client just saved is the one on show: saving again edits it.
        o.box("txtCitta")->setText("Torino centro");
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT COUNT(*)||max(citta) FROM Clienti WHERE codice=27"), QStringLiteral("1Torino centro"));
    }

    void deleteIsRefusedWhileAProjectNamesTheClient()
    {
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr) VALUES(1,'Uno'),(5,'Cinque')");
        o.sql("INSERT INTO Progetti(codice,codcli) VALUES('P1',5)");
        o.open();
        o.click("cmdElimina");
        QCOMPARE(o.lastMessage(), QStringLiteral("Seleziona un cliente !"));

        o.pick("cboCodice", "5");
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdElimina");
        QCOMPARE(MessageBox::shown().at(1).text, QStringLiteral("Confermi la cancellazione del cliente selezionato ?"));
        QCOMPARE(o.lastMessage(), QStringLiteral("Impossibile eliminare questo cliente, ha dei progetti collegati !"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Clienti"), QStringLiteral("2"));

        MessageBox::setNextAnswer(MessageBox::Answer::No);
        o.click("cmdElimina");
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Clienti"), QStringLiteral("2"));

        o.sql("UPDATE Progetti SET codcli=1");
        o.pick("cboCodice", "5");
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdElimina");
        QCOMPARE(o.sql("SELECT group_concat(codice) FROM Clienti"), QStringLiteral("1"));
        // Deleting the highest code proposes it again; the lists keep the entry.
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("2"));
        QCOMPARE(o.list("cboCodice"), QStringList({"1", "5"}));
        o.box("txtIndirizzo")->setText("resta");
        o.combo("cboDescr")->setEditText("anche questa");
        o.pick("cboCodice", "5");
        QCOMPARE(o.box("txtIndirizzo")->text(), QStringLiteral("resta"));
        QCOMPARE(o.combo("cboDescr")->currentText(), QStringLiteral("anche questa"));
    }

    void codesThatAreNoWholeNumberChangeNothing_data()
    {
        QTest::addColumn<QString>("code");
        for (const char *bad : {"1 OR 1=1", "abc", "99999999999", "7.5", "1;DELETE FROM Clienti", "0x10"})
            QTest::newRow(bad) << QString::fromLatin1(bad);
    }
    void codesThatAreNoWholeNumberChangeNothing()
    {
        QFETCH(QString, code);
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr) VALUES(1,'Uno')");
        o.open();
        for (const char *button : {"cmdSalva", "cmdElimina", "cmdProgetti"}) {
            MessageBox::clearShown();
            MessageBox::setNextAnswer(MessageBox::Answer::Yes);
            o.combo("cboCodice")->setEditText(code);
            o.click(button);
            QVERIFY2(o.lastMessage().contains("non è valido"), button);
        }
        QCOMPARE(o.sql("SELECT COUNT(*)||MAX(descr) FROM Clienti"), QStringLiteral("1Uno"));
        QCOMPARE(o.list("cboCodice"), QStringList({"1"}));
        QVERIFY(!o.w->elenco());
    }


    void searchFindsByNameCityOrVatNumber_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("city without accent, name with one") << "CITTA" << QStringList{"1", "3"};
        QTest::newRow("words of the name in any order") << "mario ROSSI" << QStringList{"1"};
        QTest::newRow("part of a VAT number") << "0987" << QStringList{"2"};
        QTest::newRow("name and city") << "milano bianchi" << QStringList{"2"};
        QTest::newRow("no match") << "torino" << QStringList{};
    }
    void searchFindsByNameCityOrVatNumber()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, codes);
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr,citta,piva,fax) VALUES(1,'Rossi Mario','Città di Castello','01234567890','1'),"
              "(2,'Bianchi & Figli','Milano','09876543210','2')");
        o.open();
        // A client stored by another workstation after the register opened.
        o.sql("INSERT INTO Clienti(codice,descr,citta) VALUES(3,'Comune di Città','Roma')");
        o.w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(o.w));
        QTest::keyClick(o.w, Qt::Key_F, Qt::ControlModifier);
        QLineEdit *edit = o.box("edtCerca");
        QVERIFY(edit->hasFocus());
        QTest::keyClicks(edit, typed);
        auto *list = o.w->findChild<QTreeView *>("lstRisultati");
        auto *count = o.w->findChild<QLabel *>("lblRisultati");
        QTRY_VERIFY(!count->text().isEmpty());
        QCOMPARE(o.w->search()->results().size(), codes.size());
        QStringList found;
        for (int r = 0; r < list->model()->rowCount(); ++r)
            found << list->model()->index(r, 0).data().toString();
        QCOMPARE(found, codes);
        if (codes.isEmpty()) {
            QCOMPARE(count->text(), QStringLiteral("Nessun risultato"));
            return;
        }
        // Chosen as from the list: shown, and a save edits that client.
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(o.combo("cboCodice")->currentText(), codes.first());
        QCOMPARE(o.box("txtCitta")->text(), o.sql("SELECT citta FROM Clienti WHERE codice=" + codes.first()));
        o.box("txtFax")->setText("99");
        o.click("cmdSalva");
        QCOMPARE(o.lastMessage(), QString());
        QCOMPARE(o.sql("SELECT fax FROM Clienti WHERE codice=" + codes.first()), QStringLiteral("99"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Clienti"), QStringLiteral("3"));
        // The save left the results where they were, the list closed.
        QCoreApplication::processEvents();
        QVERIFY(!list->isVisible());
        QCOMPARE(o.w->search()->results().size(), codes.size());
        // Another workstation deletes it: choosing it again says so.
        o.sql("DELETE FROM Clienti WHERE codice=" + codes.first());
        QTest::keyClick(edit, Qt::Key_F3);
        QCOMPARE(o.lastMessage(), QStringLiteral("Il cliente %1 non è più in archivio: può essere stato eliminato da "
                                                 "un'altra postazione.").arg(codes.first()));
        QTest::keyClick(edit, Qt::Key_Escape);
        QVERIFY(!edit->isVisible());
    }

    void projectListOfAClient()
    {
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr) VALUES(12,'Dodici')");
        o.sql("INSERT INTO Progetti(codice,descr,data,reparto,operatore,codcli) VALUES"
              "('P1','Ponte','2026-12-07','Strutture','Rossi',12),('P2','Altro','2026-01-01','x','y',3),"
              "('P3','Scuola',NULL,'','Verdi',12),('P4','Torre','2025-05-04','Impianti','Bianchi',12)");
        o.open();
        o.click("cmdProgetti");
        QCOMPARE(o.lastMessage(), QStringLiteral("Seleziona un cliente !"));
        o.combo("cboCodice")->setEditText("12");
        o.click("cmdProgetti");
        QCOMPARE(o.s.state.ClienteCorrente, QStringLiteral("12"));
        frmElenco *list = o.w->elenco();
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->windowTitle(), QStringLiteral("PROGETTI DEL CLIENTE"));
        auto *grid = list->findChild<QTableWidget *>("Grid1");
        QStringList headers;
        for (int c = 0; c < 5; ++c)
            headers << grid->horizontalHeaderItem(c)->text();
        QCOMPARE(headers, QStringList({"Codice", "Descrizione", "Data", "Reparto", "Operatore"}));
        QVERIFY(grid->columnWidth(1) >= 173);
        const QString d1 = QLocale(QLocale::Italian).toString(QDate(2026, 12, 7), QLocale::ShortFormat);
        const QString d4 = QLocale(QLocale::Italian).toString(QDate(2025, 5, 4), QLocale::ShortFormat);
        QCOMPARE(gridRows(grid), QStringList({"||||", "P1|Ponte|" + d1 + "|Strutture|Rossi", "P3|Scuola|||Verdi",
                                              "P4|Torre|" + d4 + "|Impianti|Bianchi"}));
        QVERIFY(o.w->isVisible());

        // A client without projects: header and the empty row.
        o.combo("cboCodice")->setEditText("44");
        o.click("cmdProgetti");
        QCOMPARE(gridRows(o.w->elenco()->findChild<QTableWidget *>("Grid1")), QStringList({"||||"}));
    }

    void printsTheListToPdf()
    {
        SKIP_ON_WINDOWS("su Windows non c'è pdftotext per leggere il PDF");
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr) VALUES(12,'Studio Dodici')");
        for (int i = 1; i <= 120; ++i)
            o.sql(QString("INSERT INTO Progetti(codice,descr,data,reparto,operatore,codcli) VALUES('P%1','Progetto numero %1','2026-12-07','Rep%1','Op%1',12)").arg(i));
        o.open();
        o.combo("cboCodice")->setEditText("12");
        o.click("cmdProgetti");
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = o.f.root() + "/elenco.pdf";
        printer.setOutputFileName(pdf);
        o.w->elenco()->printTo(&printer);
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains("Progetti del cliente 12 - Studio Dodici"), qPrintable(text.left(300)));
        QVERIFY(text.contains("Progetto numero 1 "));
        QVERIFY(text.contains("Progetto numero 120"));
        QVERIFY(text.contains("Op77"));
        const QStringList pages = text.split('\f', Qt::SkipEmptyParts);
        QVERIFY2(pages.size() >= 2, qPrintable(QString::number(pages.size())));
        for (const QString &page : pages)
            if (!page.trimmed().isEmpty())
                QVERIFY(page.contains("Operatore") && page.contains("Studio Dodici"));

        // The button shows a print preview.
        bool previewed = false;
        QTimer::singleShot(0, [&] {
            if (auto *dlg = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget())) {
                previewed = true;
                dlg->reject();
            }
        });
        QTest::mouseClick(o.w->elenco()->findChild<QPushButton *>("cmdStampa"), Qt::LeftButton);
        QVERIFY(previewed);
    }

    void registerFromTheProjectWindow()
    {
        GuiFixture f;
        QCOMPARE(sqlValue(f.programArchive(), "INSERT INTO Clienti(codice,descr) VALUES(1,'Uno')"), QString());
        Session s;
        frmMain main(s);
        QVERIFY(main.Form_Load());
        QTest::mouseClick(main.findChild<QPushButton *>("cmdClienti"), Qt::LeftButton);
        frmClienti *reg = main.clienti();
        QVERIFY(reg && reg->windowModality() == Qt::NonModal);
        main.findChild<QAction *>("mnuGestCli")->trigger();
        QCOMPARE(main.clienti(), reg);
        reg->findChild<QComboBox *>("cboCodice")->setEditText("2");
        reg->findChild<QComboBox *>("cboDescr")->setEditText("Due");

        QTest::mouseClick(main.findChild<QPushButton *>("cmdProgetti"), Qt::LeftButton);
        frmProgetti *projects = main.progetti();
        int registers = -1;
        bool modal = false, listModal = false;
        QTimer::singleShot(0, [&] {
            registers = 0;
            for (QWidget *top : QApplication::topLevelWidgets())
                if (qobject_cast<frmClienti *>(top) && top->isVisible())
                    ++registers;
            frmClienti *now = main.clienti();
            modal = now == reg && now->windowModality() == Qt::ApplicationModal;
            // What was typed is still there; store it and ask for its projects.
            QTest::mouseClick(now->findChild<QPushButton *>("cmdSalva"), Qt::LeftButton);
            QTest::mouseClick(now->findChild<QPushButton *>("cmdProgetti"), Qt::LeftButton);
            listModal = now->elenco() && now->elenco()->windowModality() == Qt::ApplicationModal;
            now->elenco()->close();
            now->close();
        });
        QTest::mouseClick(projects->findChild<QPushButton *>("cmdNuovoCliente"), Qt::LeftButton);
        QCOMPARE(registers, 1);
        QVERIFY(modal);
        QVERIFY(listModal);
        QTRY_VERIFY(!main.clienti());
        // The client lists were loaded again and offer the client just added.
        auto *codes = projects->findChild<QComboBox *>("cboCodCli");
        QCOMPARE(codes->count(), 2);
        QCOMPARE(codes->itemText(1), QStringLiteral("2"));
        QVERIFY(codes->currentText().isEmpty());
    }
};

QTEST_MAIN(TestClienti)
#include "tst_clienti.moc"
