// SPDX-License-Identifier: GPL-3.0-or-later
// The project window beside other workstations: a save never goes over a
// record unasked, brings back one deleted elsewhere or leaves an item
// without its project; typed codes load nothing.
#include "ProjectWindow.h"

class TestProgettiWorkstations : public QObject {
    Q_OBJECT

private slots:
    void aSaveAsksBeforeGoingOverAnotherWorkstationsSave_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("elsewhere");   // the other workstation's save
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("question");
        QTest::newRow("project") << 0 << "PP1" << "UPDATE Progetti SET reparto='Loro' WHERE codice='P1'"
                                 << "SELECT reparto||'|'||ufficio FROM Progetti WHERE codice='P1'"
                                 << "Il progetto P1 è stato modificato da un'altra postazione";
        QTest::newRow("item") << 1 << "L1CL11" << "UPDATE RighePRJ SET data='2026-01-02' WHERE codice='L11'"
                              << "SELECT data||'|'||descr FROM RighePRJ WHERE codice='L11'"
                              << "L'elemento L11 è stato modificato da un'altra postazione";
    }
    void aSaveAsksBeforeGoingOverAnotherWorkstationsSave()
    {
        QFETCH(int, level);
        QFETCH(QString, node);
        QFETCH(QString, elsewhere);
        QFETCH(QString, check);
        QFETCH(QString, question);
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr,reparto,ufficio) VALUES('P1','Ponte','Nostro','Sede')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr,data) VALUES('P1',1,'L11','Pila','2026-12-01')");
        QDir(o.f.data()).mkpath("P1/L11");
        o.open();
        QVERIFY(o.clickNode(node));
        o.sql(elsewhere);
        const QString theirs = o.sql(check);
        QLineEdit *box = level == 0 ? o.box("txtUfficio") : o.box("txtDescr1");
        box->clear();
        QTest::keyClicks(box, "Mio");
        o.click("cmdSalva");   // scripted answer: No
        QVERIFY2(o.lastMessage().startsWith(question), qPrintable(o.lastMessage()));
        QCOMPARE(o.sql(check), theirs);
        QCOMPARE(box->text(), QStringLiteral("Mio"));   // the typed text stays
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdSalva");
        QVERIFY(o.sql(check).endsWith("|Mio"));
        // One's own second save goes through without a question.
        MessageBox::clearShown();
        QVERIFY(o.clickNode(node));
        box->clear();
        QTest::keyClicks(box, "Mio 2");
        o.click("cmdSalva");
        QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(o.lastMessage()));
        QVERIFY(o.sql(check).endsWith("|Mio 2"));
    }

    // A code typed over Nuovo's proposal, then left as a person leaves a box,
    // shows no stored record: Salva then asks instead of going over it.
    void aTypedCodeLeftByTabOrClickLoadsNothing_data()
    {
        QTest::addColumn<QString>("leave");
        QTest::newRow("Tab") << "Tab";
        QTest::newRow("click on Descrizione") << "cboDescr";
        QTest::newRow("click on Salva") << "cmdSalva";
    }
    void aTypedCodeLeftByTabOrClickLoadsNothing()
    {
        QFETCH(QString, leave);
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr,reparto) VALUES('P1','Ponte','A'),('P4','Tettoia','B')");
        o.open();
        QVERIFY(activate(o.w));
        o.click("cmdNuovo");
        clickAndSelectAll(o.combo("cboDescr"));
        typeHere("Pensilina");
        clickAndSelectAll(o.combo("cboCodice"));
        typeHere("P4");
        if (leave == "Tab")
            pressHere(Qt::Key_Tab);
        else if (leave == "cboDescr")
            QTest::mouseClick(o.combo("cboDescr")->lineEdit(), Qt::LeftButton);
        else
            o.click("cmdSalva");   // scripted answer: No
        QCOMPARE(o.combo("cboDescr")->currentText(), QStringLiteral("Pensilina"));
        QVERIFY(o.box("txtReparto")->text().isEmpty());
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P4"));
        if (leave != "cmdSalva")
            o.click("cmdSalva");
        QVERIFY2(o.lastMessage().startsWith("Il codice P4 è già usato da un altro progetto"), qPrintable(o.lastMessage()));
        QCOMPARE(o.sql("SELECT group_concat(codice||descr||reparto) FROM Progetti"), QStringLiteral("P1PonteA,P4TettoiaB"));

        // A choice in the list still shows the project, by click or by Enter,
        // and the client sheet's boxes likewise only follow a choice.
        QVERIFY(chooseInList(o.combo("cboCodice"), "P1", ChooseBy::Click));
        QCOMPARE(o.combo("cboDescr")->currentText(), QStringLiteral("Ponte"));
        QVERIFY(chooseInList(o.combo("cboCodice"), "P4", ChooseBy::Enter));
        QCOMPARE(o.box("txtReparto")->text(), QStringLiteral("B"));
    }

    void theClientSheetFollowsOnlyAChoice()
    {
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr,citta,telefono) VALUES(1,'Rossi','Milano','02'),(2,'Bianchi','Torino','011')");
        o.open();
        QVERIFY(activate(o.w));
        o.sheet(3);
        clickAndSelectAll(o.combo("cboCodCli"));
        typeHere("2");
        pressHere(Qt::Key_Tab);
        QVERIFY(o.combo("cboCliente")->currentText().isEmpty());
        QCOMPARE(o.get<QLabel>("Label6")->text(), QStringLiteral("-"));
        clickAndSelectAll(o.combo("cboCliente"));
        typeHere("Rossi");
        QTest::mouseClick(o.combo("cboCodCli")->lineEdit(), Qt::LeftButton);
        QCOMPARE(o.combo("cboCodCli")->currentText(), QStringLiteral("2"));
        QCOMPARE(o.get<QLabel>("Label6")->text(), QStringLiteral("-"));
        QVERIFY(chooseInList(o.combo("cboCliente"), "Rossi", ChooseBy::Click));
        QCOMPARE(o.combo("cboCodCli")->currentText(), QStringLiteral("1"));
        QCOMPARE(o.get<QLabel>("Label6")->text(), QStringLiteral("02"));
    }

    // The record shown was deleted by another workstation: a save asks
    // before storing it again (No by default), the typed text stays.
    void aRecordDeletedElsewhereComesBackOnlyWhenAsked_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("elsewhere");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("question");
        QTest::newRow("project") << 0 << "PP200" << "DELETE FROM Progetti WHERE codice='P200'"
                                 << "SELECT group_concat(codice||ufficio) FROM Progetti"
                                 << "Il progetto P200 è stato eliminato da un'altra postazione dopo che è stato "
                                    "mostrato. Salvarlo di nuovo ?";
        QTest::newRow("item") << 1 << "L1CE1" << "DELETE FROM RighePRJ WHERE codice='E1'"
                              << "SELECT group_concat(codprj||codice||descr) FROM RighePRJ"
                              << "L'elemento E1 è stato eliminato da un'altra postazione dopo che è stato "
                                 "mostrato. Salvarlo di nuovo ?";
    }
    void aRecordDeletedElsewhereComesBackOnlyWhenAsked()
    {
        QFETCH(int, level);
        QFETCH(QString, node);
        QFETCH(QString, elsewhere);
        QFETCH(QString, check);
        QFETCH(QString, question);
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr,ufficio) VALUES('P200','Ponte','Sede')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P200',1,'E1','Pila')");
        QDir(o.f.data()).mkpath("P200/E1");
        o.open();
        QVERIFY(o.clickNode(node));
        o.sql(elsewhere);
        QLineEdit *box = level == 0 ? o.box("txtUfficio") : o.box("txtDescr1");
        box->clear();
        QTest::keyClicks(box, "Mio");
        o.click("cmdSalva");   // scripted answer: No
        QCOMPARE(o.lastMessage(), question);
        QCOMPARE(MessageBox::shown().last().buttons, MessageBox::Buttons::YesNoDefaultNo);
        QCOMPARE(o.sql(check), QStringLiteral("NULL"));
        QCOMPARE(box->text(), QStringLiteral("Mio"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdSalva");
        QCOMPARE(o.sql(check), level == 0 ? QStringLiteral("P200Mio") : QStringLiteral("P200E1Mio"));
    }

    // What a command checks and what it writes are one transaction: another
    // workstation's write that lands between this workstation's look-ups and
    // its write is seen, and no item is left without its project.
    void checksAndWritesAreOneTransaction_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("sheet");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("elsewhere");   // table:field=value,...  or  -table:criterion
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("expected");
        QTest::newRow("item saved while its project is deleted")
            << "PP100" << 1 << "cmdSalva" << "-Progetti:codice='P100'"
            << "Il progetto P100 è stato eliminato da un'altra postazione: l'elemento non è stato salvato."
            << "SELECT COUNT(*) FROM RighePRJ" << "1";
        QTest::newRow("project deleted while an item is added")
            << "PP100" << 0 << "cmdElimina" << "RighePRJ:codprj=P100,livello=1,codice=L12"
            << "Impossibile eliminare il progetto, contiene elementi associati !"
            << "SELECT COUNT(*) FROM Progetti WHERE codice='P100'" << "1";
        QTest::newRow("level-1 item deleted while a level-2 item is added under it")
            << "L1CL11" << 1 << "cmdElimina" << "RighePRJ:codprj=P100,livello=2,codice=L21"
            << "Impossibile eliminare l'elemento, contiene elementi di Livello 2 associati !"
            << "SELECT group_concat(codice) FROM RighePRJ" << "L11,L21";
    }
    void checksAndWritesAreOneTransaction()
    {
        QFETCH(QString, node);
        QFETCH(int, sheet);
        QFETCH(QString, command);
        QFETCH(QString, elsewhere);
        QFETCH(QString, message);
        QFETCH(QString, check);
        QFETCH(QString, expected);
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P100','Ponte')");
        // An item of another project keeps level 2's counter away from L21.
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P9','Altro')");
        QDir(o.f.data()).mkpath("P100/L11");
        if (node.startsWith("L1"))
            o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P100',1,'L11','Pila')");
        else
            o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P9',1,'L11','Pila')");
        o.open();
        QVERIFY(o.clickNode(node));
        o.sheet(sheet);
        if (command == "cmdSalva") {
            o.click("cmdNuovo");
            QTest::keyClicks(o.box("txtDescr1"), "Spalla");
        }
        HeldWrite other(o.f.dataArchive(), [elsewhere](Archive &a, QString *error) {
            if (elsewhere.startsWith('-')) {
                const QStringList parts = elsewhere.mid(1).split(':');
                return removeRows(a, parts[0], parts[1], error);
            }
            const QStringList parts = elsewhere.split(':');
            QVariantMap fields;
            for (const QString &pair : parts[1].split(',')) {
                const QString value = pair.section('=', 1);
                bool number = false;
                const qint64 n = value.toLongLong(&number);
                fields.insert(pair.section('=', 0, 0), number ? QVariant(n) : QVariant(value));
            }
            return insertRow(a, parts[0], fields, error);
        });
        QTRY_VERIFY(other.ready());
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);   // the delete's question
        o.click(command.toLatin1());
        QString error;
        QVERIFY2(other.finish(&error), qPrintable(error));
        QCOMPARE(o.lastMessage(), message);
        QCOMPARE(o.sql(check), expected);
    }

    // The rules of saving, without a window: a taken code is never gone
    // over, the first free one is offered, and an item needs its project.
    void theEditorKeepsTheRulesWithoutAWindow()
    {
        SessionFixture o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Ponte')");
        QStringList said;
        QList<bool> answers{false, true};
        ProjectEditor editor(o.s, {[&](const QString &q) {
                                       said << q;
                                       return answers.isEmpty() ? false : answers.takeFirst();
                                   },
                                   [&](const QString &n) { said << n; }, [&](const QString &n) { said << n; },
                                   [&](const QString &e) { said << "ERR " + e; }});
        ProjectEditor::ProjectForm form;
        form.code = "p1";
        form.descr = "Strada";
        QVERIFY(!editor.saveProject(form));   // answered No
        QVERIFY(said.last().startsWith("Il codice p1 è già usato da un altro progetto"));
        QVERIFY(editor.saveProject(form));    // answered Yes: the free code
        QCOMPARE(form.code, QStringLiteral("P2"));
        QCOMPARE(o.sql("SELECT group_concat(codice||descr) FROM Progetti"), QStringLiteral("P1Ponte,P2Strada"));
        QVERIFY(QFileInfo(o.f.data() + "/P2").isDir());

        o.s.state.ProgettoCorrente = "P9";
        ProjectEditor::ItemForm item;
        item.code = "L11";
        QVERIFY(!editor.saveItem(item));
        QCOMPARE(said.last(), QStringLiteral("Il progetto P9 non è in archivio: salvarlo prima di aggiungere elementi."));
        o.s.state.ProgettoCorrente = "p2";
        QVERIFY(editor.saveItem(item));
        QCOMPARE(o.sql("SELECT codprj||codice FROM RighePRJ"), QStringLiteral("P2L11"));
        QVERIFY(!editor.deleteProject("P2"));
        QCOMPARE(said.last(), QStringLiteral("Impossibile eliminare il progetto, contiene elementi associati !"));
    }

};

QTEST_MAIN(TestProgettiWorkstations)
#include "tst_progetti_workstations.moc"
