// SPDX-License-Identifier: GPL-3.0-or-later
// The project window: tree shapes, project and item records, folders, the
// working folder, the hand-over to the components window.
#include "ProjectWindow.h"

class TestProgetti : public QObject {
    Q_OBJECT

private slots:
    void treeShapes_data()
    {
        QTest::addColumn<QStringList>("rows");   // items as codprj:livello:codice
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("level-2, level-1, level-2")
            << QStringList{"P1:2:L21", "P1:1:L11", "P1:2:L22"}
            << QStringList{"PP1", "  L2CL21", "  L1CL11", "    L2CL22", "PP2"};
        QTest::newRow("two level-1 then a level-2")
            << QStringList{"P1:1:L11", "P1:1:L12", "P1:2:L21"}
            << QStringList{"PP1", "  L1CL11", "  L1CL12", "    L2CL21", "PP2"};
        QTest::newRow("levels 0 and 3 are never shown")
            << QStringList{"P1:0:X0", "P1:3:X3", "P2:1:L11"}
            << QStringList{"PP1", "PP2", "  L1CL11"};
        QTest::newRow("items of one project interleaved with another's")
            << QStringList{"P2:1:L11", "P1:1:L12", "P2:2:L21", "p1:2:L22"}
            << QStringList{"PP1", "  L1CL12", "    L2CL22", "PP2", "  L1CL11", "    L2CL21"};
        QTest::newRow("a duplicate item key is left out")
            << QStringList{"P1:1:L11", "P2:1:L11", "P2:2:L21"}
            << QStringList{"PP1", "  L1CL11", "PP2", "  L2CL21"};
    }
    void treeShapes()
    {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, expected);
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno'),('P2','Due')");
        for (const QString &r : rows) {
            const QStringList p = r.split(':');
            o.sql(QString("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('%1',%2,'%3','d')").arg(p[0], p[1], p[2]));
        }
        o.open();
        QCOMPARE(shape(o.w->treeModel()), expected);
        const QModelIndex p1 = o.w->treeModel()->indexOfKey("PP1");
        QCOMPARE(o.w->treeModel()->text(p1), QStringLiteral("P1  Uno"));
        QCOMPARE(o.w->treeModel()->picture(p1), 1);
        const QModelIndex p2 = o.w->treeModel()->indexOfKey("PP2");
        const QModelIndex parent = o.w->treeModel()->rowCount(p1) ? p1 : p2;
        QCOMPARE(o.w->treeModel()->picture(o.w->treeModel()->index(0, 0, parent)), 2);
        QVERIFY(!o.w->tree()->isExpanded(p1));
    }

    void duplicateProjectCodesStillBuildTheTree()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno'),('P1','Copia'),('P2','Due')");
        o.open();
        QCOMPARE(shape(o.w->treeModel()), QStringList({"PP1", "PP2"}));
        QCOMPARE(o.w->treeModel()->skippedRows(), 1);
        QCOMPARE(o.combo("cboCodice")->count(), 3);
    }

    void emptyArchiveAndListsAfterARebuild()
    {
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr) VALUES(4,'Rossi')");
        o.open();
        QCOMPARE(o.w->treeModel()->rowCount(), 0);
        QCOMPARE(o.combo("cboCodice")->count(), 0);
        QCOMPARE(o.combo("cboCodCli")->count(), 1);
        QCOMPARE(o.s.state.LivelloCorrente, 0);
        QVERIFY(!o.get<QToolButton>("cmdAllegati")->isEnabled());

        for (const char *name : {"txtTelefono", "txtFax", "txtEMail", "txtSpecifica", "txtUfficio", "txtReparto", "txtOperatore", "txtDescr1"})
            o.box(name)->setText("x");
        o.get<QPlainTextEdit>("txtNote")->setPlainText("nota");
        o.combo("cboCodice")->setEditText("P9");
        o.combo("cboCodice1")->setEditText("L19");
        o.get<QLabel>("Label4")->setText("via");
        o.w->CaricaProgetti();
        for (const char *kept : {"txtTelefono", "txtFax", "txtEMail", "txtSpecifica", "txtDescr1"})
            QCOMPARE(o.box(kept)->text(), QStringLiteral("x"));
        for (const char *emptied : {"txtUfficio", "txtReparto", "txtOperatore"})
            QVERIFY(o.box(emptied)->text().isEmpty());
        QVERIFY(o.get<QPlainTextEdit>("txtNote")->toPlainText().isEmpty());
        QVERIFY(o.combo("cboCodice")->currentText().isEmpty());
        QCOMPARE(o.combo("cboCodice1")->currentText(), QStringLiteral("L19"));
        QCOMPARE(o.get<QLabel>("Label4")->text(), QStringLiteral("via"));
        QVERIFY(o.combo("cboCodCli")->currentText().isEmpty());
    }

    void newAndSaveAProject()
    {
        Opened o;
        o.open();
        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P1"));
        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P1"));
        o.type("cboDescr", "  Ponte sul Po ");
        o.box("txtUfficio")->setText("  Tecnico  ");
        o.box("txtReparto")->setText("   ");
        o.box("txtOperatore")->setText("Rossi");
        o.box("txtSpecifica")->setText(" L'arco \"grande\" ");
        o.get<QPlainTextEdit>("txtNote")->setPlainText("  prima\nseconda  ");
        o.get<QDateEdit>("DataProgetto")->setDate(QDate(2026, 12, 7));
        o.sheet(3);
        QCOMPARE(o.s.state.LivelloCorrente, 3);
        o.type("cboCodCli", " 12abc");
        o.click("cmdSalva");   // on the client sheet, the project is saved
        QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(o.lastMessage()));
        QCOMPARE(o.sql("SELECT codice||'|'||descr||'|'||ufficio||'|'||reparto||'|'||specifica||'|'||note||'|'||data||'|'||codcli FROM Progetti"),
                 QStringLiteral("P1|  Ponte sul Po |Tecnico||L'arco \"grande\"|prima\nseconda|2026-12-07|12"));
        QVERIFY(QFileInfo(o.f.data() + "/P1").isDir());
        QCOMPARE(QDir::currentPath(), o.f.data() + "/P1");
        QCOMPARE(o.s.state.ProgettoCorrente, QStringLiteral("P1"));
        QCOMPARE(o.s.state.ClienteCorrente, QStringLiteral("12"));
        QCOMPARE(shape(o.w->treeModel()), QStringList({"PP1"}));
        QCOMPARE(o.combo("cboCodice")->itemText(0), QStringLiteral("P1"));
        QVERIFY(o.get<QToolButton>("cmdAllegati")->isEnabled());
        // The saved project stays chosen and shown, its client's sheet whole.
        QCOMPARE(o.currentKey(), QStringLiteral("PP1"));
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P1"));
        QCOMPARE(o.get<QPlainTextEdit>("txtNote")->toPlainText(), QStringLiteral("prima\nseconda"));
        QCOMPARE(o.combo("cboCodCli")->currentText(), QStringLiteral("12"));

        // A second save of the same code edits the row; a folder already there is fine.
        QVERIFY(o.clickNode("PP1"));
        QCOMPARE(o.combo("cboDescr")->currentText(), QStringLiteral("  Ponte sul Po "));
        QCOMPARE(o.get<QPlainTextEdit>("txtNote")->toPlainText(), QStringLiteral("prima\nseconda"));
        QCOMPARE(o.combo("cboCodCli")->currentText(), QStringLiteral("12"));
        o.type("cboCodCli", "nessuno");
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT COUNT(*)||':'||MAX(codcli) FROM Progetti"), QStringLiteral("1:0"));
    }

    void aProposalNeverNamesAnExistingProject()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','a'),('p2','b'),('P4','c')");
        o.open();
        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P3"));
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Progetti"), QStringLiteral("4"));
        QCOMPARE(o.sql("SELECT descr FROM Progetti WHERE codice='P1'"), QStringLiteral("a"));
    }

    void badCodesAreRefused_data()
    {
        QTest::addColumn<QString>("code");
        for (const char *bad : {"..", ".", "../fuori", "a/b", "a\\b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", "a\tb",
                                "P5 ", "P5.", "CON", "nul.txt", "Com1", "LPT9.dwg", "aux .x"})
            QTest::newRow(bad) << QString::fromLatin1(bad);
    }
    void badCodesAreRefused()
    {
        QFETCH(QString, code);
        Opened o;
        o.open();
        o.combo("cboCodice")->setEditText(code);
        o.click("cmdSalva");
        QVERIFY(o.lastMessage().contains("nome di una cartella"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Progetti"), QStringLiteral("0"));
        QCOMPARE(QDir(o.f.root()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList({"dati", "programma"}));

        // The same for an item code, inside a stored project.
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','a')");
        QDir(o.f.data()).mkdir("P1");
        o.combo("cboCodice")->setEditText("P1");
        o.sheet(1);
        o.combo("cboCodice1")->setEditText(code);
        o.click("cmdSalva");
        QVERIFY(o.lastMessage().contains("nome di una cartella"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM RighePRJ"), QStringLiteral("0"));
        QCOMPARE(QDir(o.f.data() + "/P1").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void saveWithoutACodeAndOversizedClientCode()
    {
        Opened o;
        o.open();
        for (int sheet : {0, 1, 2, 3}) {
            o.sheet(sheet);
            o.click("cmdSalva");
            QCOMPARE(o.lastMessage(), QStringLiteral("Manca il codice del Progetto!"));
        }
        o.sheet(0);
        o.combo("cboCodice")->setEditText("P1");
        o.combo("cboCodCli")->setEditText("99999999999");
        o.click("cmdSalva");
        QVERIFY(o.lastMessage().contains("99999999999"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Progetti"), QStringLiteral("0"));
        QVERIFY(!QFileInfo::exists(o.f.data() + "/P1"));
    }

    void unmakeableFolderStoresNoRow()
    {
        Opened o;
        writeBytes(o.f.data() + "/P1", "a file where the folder should go");
        o.open();
        o.combo("cboCodice")->setEditText("P1");
        o.click("cmdSalva");
        QVERIFY(o.lastMessage().contains("Impossibile creare la cartella"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Progetti"), QStringLiteral("0"));
    }

    void deleteAProject()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno'),('P2','Due')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L11','x')");
        o.sql("INSERT INTO Componenti(codprj,livello,codice,file) VALUES('P2',0,'P2','/x.dwg')");
        o.open();
        QVERIFY(o.clickNode("PP1"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdElimina");
        QCOMPARE(MessageBox::shown().at(0).text, QStringLiteral("Progetto - Confermi la cancellazione ?"));
        QCOMPARE(o.lastMessage(), QStringLiteral("Impossibile eliminare il progetto, contiene elementi associati !"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Progetti"), QStringLiteral("2"));

        // No: nothing changes.
        QVERIFY(o.clickNode("PP2"));
        MessageBox::setNextAnswer(MessageBox::Answer::No);
        o.click("cmdElimina");
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Progetti"), QStringLiteral("2"));

        // The project on show is the one deleted, also when chosen from the list.
        const int p2 = o.combo("cboCodice")->findText("P2");
        o.combo("cboCodice")->setCurrentIndex(p2);
        o.w->cboCodice_Click(p2);
        QCOMPARE(o.s.state.ProgettoCorrente, QStringLiteral("P2"));
        o.box("txtTelefono")->setText("x");
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdElimina");
        QCOMPARE(o.sql("SELECT group_concat(codice) FROM Progetti"), QStringLiteral("P1"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Componenti"), QStringLiteral("1"));
        QCOMPARE(shape(o.w->treeModel()), QStringList({"PP1", "  L1CL11"}));
        for (const char *name : {"cboCodice", "cboCodice1", "cboCodice2", "cboDescr", "cboCliente", "cboCodCli"})
            QVERIFY2(o.combo(name)->currentText().isEmpty(), name);
        QVERIFY(o.box("txtTelefono")->text().isEmpty());
        QCOMPARE(o.get<QDateEdit>("DataProgetto")->date(), QDate::currentDate());
    }

    void itemsNewSaveDelete()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno')");
        o.open();
        QVERIFY(o.clickNode("PP1"));
        o.sheet(1);
        QCOMPARE(o.s.state.LivelloCorrente, 1);
        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice1")->currentText(), QStringLiteral("L11"));
        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice1")->currentText(), QStringLiteral("L12"));
        o.box("txtDescr1")->setText("  Pila  ");
        o.get<QDateEdit>("DataLivello1")->setDate(QDate(2026, 3, 4));
        o.click("cmdSalva");
        QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(o.lastMessage()));
        QCOMPARE(o.sql("SELECT codprj||'|'||livello||'|'||codice||'|'||descr||'|'||data FROM RighePRJ"),
                 QStringLiteral("P1|1|L12|  Pila  |2026-03-04"));
        QVERIFY(QFileInfo(o.f.data() + "/P1/L12").isDir());
        QCOMPARE(QDir::currentPath(), o.f.data() + "/P1/L12");

        // After a save the item stays chosen, its project open, and the next
        // item is saved in the same project.
        QCOMPARE(o.currentKey(), QStringLiteral("L1CL12"));
        QVERIFY(o.w->tree()->isExpanded(o.w->treeModel()->indexOfKey("PP1")));
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P1"));
        QCOMPARE(o.get<QTabWidget>("STab1")->currentIndex(), 1);
        o.sheet(2);
        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice2")->currentText(), QStringLiteral("L21"));
        o.click("cmdSalva");
        QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(o.lastMessage()));
        QVERIFY(QFileInfo(o.f.data() + "/P1/L21").isDir());
        QCOMPARE(shape(o.w->treeModel()), QStringList({"PP1", "  L1CL12", "    L2CL21"}));
        QCOMPARE(o.currentKey(), QStringLiteral("L2CL21"));
        QVERIFY(o.w->tree()->isExpanded(o.w->treeModel()->indexOfKey("L1CL12")));

        // Saving the same item again edits it.
        QVERIFY(o.clickNode("L1CL12"));
        o.box("txtDescr1")->setText("Spalla");
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT COUNT(*)||MAX(descr) FROM RighePRJ WHERE livello=1"), QStringLiteral("1Spalla"));

        // An empty item code is refused.
        QVERIFY(o.clickNode("L1CL12"));
        o.combo("cboCodice1")->setEditText("");
        o.click("cmdSalva");
        QCOMPARE(o.lastMessage(), QStringLiteral("Manca il codice di Livello 1!"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM RighePRJ"), QStringLiteral("2"));

        // A level-1 item with level-2 items under it is not deleted: they
        // would move under another item.
        QVERIFY(o.clickNode("L1CL12"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdElimina");
        QCOMPARE(MessageBox::shown().last().text,
                 QStringLiteral("Impossibile eliminare l'elemento, contiene elementi di Livello 2 associati !"));
        QCOMPARE(shape(o.w->treeModel()), QStringList({"PP1", "  L1CL12", "    L2CL21"}));
        QVERIFY(o.clickNode("L2CL21"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdElimina");
        QVERIFY(o.clickNode("L1CL12"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdElimina");
        QCOMPARE(MessageBox::shown().last().text, QStringLiteral("Livello 1 - Confermi la cancellazione ?"));
        QCOMPARE(shape(o.w->treeModel()), QStringList({"PP1"}));
        QVERIFY(o.combo("cboCodice1")->currentText().isEmpty());
        QVERIFY(QFileInfo(o.f.data() + "/P1/L12").isDir());
        QCOMPARE(o.sql("SELECT group_concat(codice||':'||livello) FROM maxcodice"), QStringLiteral("2:1,1:2"));
    }

    void itemsStayWithTheirOwnProject()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno'),('P2','Due')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P2',1,'L11','pila'),('P2',2,'L21','trave')");
        o.open();
        QVERIFY(o.clickNode("PP1"));
        QCOMPARE(o.s.state.ProgettoCorrente, QStringLiteral("P1"));
        // Clicking an item shows its own project on sheet 0 and makes it current.
        QVERIFY(o.clickNode("L2CL21"));
        QCOMPARE(o.s.state.ProgettoCorrente, QStringLiteral("P2"));
        QCOMPARE(o.s.state.LivelloCorrente, 2);
        QCOMPARE(o.get<QTabWidget>("STab1")->currentIndex(), 2);
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P2"));
        QCOMPARE(o.combo("cboDescr")->currentText(), QStringLiteral("Due"));
        QCOMPARE(o.box("txtDescr2")->text(), QStringLiteral("trave"));
        o.box("txtDescr2")->setText("trave nuova");
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT group_concat(codprj||':'||descr) FROM RighePRJ WHERE codice='L21'"),
                 QStringLiteral("P2:trave nuova"));

        // A code used by another project's item is refused.
        QVERIFY(o.clickNode("PP1"));
        o.sheet(1);
        o.combo("cboCodice1")->setEditText("L11");
        o.click("cmdSalva");
        QVERIFY(o.lastMessage().contains("P2"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM RighePRJ WHERE codprj='P1'"), QStringLiteral("0"));

        // An item of another project is never deleted from the current one.
        o.sheet(1);
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdElimina");
        QCOMPARE(o.sql("SELECT COUNT(*) FROM RighePRJ"), QStringLiteral("2"));

        // An item cannot be saved under a project that is not stored.
        o.sheet(0);
        o.click("cmdNuovo");
        o.sheet(1);
        o.combo("cboCodice1")->setEditText("L15");
        o.click("cmdSalva");
        QVERIFY(o.lastMessage().contains("non è in archivio"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM RighePRJ"), QStringLiteral("2"));
    }

    void itemFolderLandsInItsProjectsFolder()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno')");
        o.open();
        QVERIFY(o.clickNode("PP1"));
        QVERIFY(!QFileInfo::exists(o.f.data() + "/P1"));
        QDir::setCurrent(o.f.root());   // wherever the working folder happens to be
        o.sheet(1);
        o.combo("cboCodice1")->setEditText("L17");
        o.click("cmdSalva");
        QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(o.lastMessage()));
        QVERIFY(QFileInfo(o.f.data() + "/P1/L17").isDir());
        QVERIFY(!QFileInfo::exists(o.f.data() + "/L17"));
        QVERIFY(!QFileInfo::exists(o.f.root() + "/L17"));
    }

    void workingFolderFollowsTheNode()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno'),('P2','Due')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L11','a'),('P2',1,'L12','b')");
        QDir(o.f.data()).mkpath("P1/L11");
        QDir(o.f.data()).mkpath("P2");
        o.open();
        QVERIFY(o.clickNode("PP1"));
        QCOMPARE(QDir::currentPath(), o.f.data() + "/P1");
        QVERIFY(o.clickNode("L1CL11"));
        QCOMPARE(QDir::currentPath(), o.f.data() + "/P1/L11");
        QVERIFY(o.clickNode("L1CL12"));   // item folder missing: stays in the project's
        QCOMPARE(QDir::currentPath(), o.f.data() + "/P2");
#ifdef _WIN32
        // Windows removes no folder that is a program's working folder.
        QDir::setCurrent(o.f.data() + "/P1");
#endif
        QVERIFY(QDir(o.f.data()).rmdir("P2"));
        QVERIFY(o.clickNode("PP2"));      // project folder missing: stays in the data folder
        QCOMPARE(QDir::currentPath(), o.f.data());
        QVERIFY(o.get<QToolButton>("cmdAllegati")->isEnabled());
    }

    void keyboardMovesShowTheNode()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno'),('P2','Due')");
        o.open();
        QVERIFY(o.clickNode("PP1"));
        QCOMPARE(o.combo("cboDescr")->currentText(), QStringLiteral("Uno"));
        QTest::keyClick(o.w->tree(), Qt::Key_Down);
        QCOMPARE(o.combo("cboDescr")->currentText(), QStringLiteral("Due"));
        QCOMPARE(o.s.state.ProgettoCorrente, QStringLiteral("P2"));
        // A second click on the node on show runs the node click again.
        o.box("txtTelefono")->setText("da svuotare");
        QVERIFY(o.clickNode("PP2"));
        QVERIFY(o.box("txtTelefono")->text().isEmpty());
    }

    void nodeClickClearsTheTextBoxes()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr,telefono) VALUES('P1','Uno','0123')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L11','a')");
        o.open();
        o.box("txtDescr2")->setText("resto");
        QVERIFY(o.clickNode("PP1"));
        QCOMPARE(o.box("txtTelefono")->text(), QStringLiteral("0123"));
        QVERIFY(o.box("txtDescr2")->text().isEmpty());
        o.combo("cboCodice2")->setEditText("L29");
        QVERIFY(o.clickNode("L1CL11"));
        QCOMPARE(o.box("txtDescr1")->text(), QStringLiteral("a"));
        QCOMPARE(o.box("txtTelefono")->text(), QStringLiteral("0123"));
    }

    void handOverToTheComponentsWindow()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr,data) VALUES('P1','Uno','2026-12-07')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L11','a')");
        o.open();
        // Empty code boxes: the three messages, spacing as they stand.
        o.get<QToolButton>("cmdAllegati")->setEnabled(true);
        o.w->cmdAllegati_Click();
        QCOMPARE(o.lastMessage(), QStringLiteral("Codice Progetto NON Valido !"));
        o.sheet(1);
        o.w->cmdAllegati_Click();
        QCOMPARE(o.lastMessage(), QStringLiteral("Codice Livello 1  NON valido !"));
        o.sheet(2);
        o.w->cmdAllegati_Click();
        QCOMPARE(o.lastMessage(), QStringLiteral("Codice Livello 2 NON valido !"));

        QVERIFY(o.clickNode("PP1"));
        for (int press = 0; press < 2; ++press) {
            std::unique_ptr<ComponentsSeen> seen(catchComponents());
            o.click("cmdAllegati");
            QVERIFY(seen->shown);
            QCOMPARE(seen->codPrj, QStringLiteral("P1"));
            QCOMPARE(seen->dataIns, QStringLiteral("07/12/2026"));
            QCOMPARE(o.s.state.ElementoCorrente, QStringLiteral("P1"));
            QCOMPARE(o.s.state.FileNote, native(o.f.data() + "/P1/P1"));
            QCOMPARE(QDir::currentPath(), o.f.data());
        }
        QVERIFY(o.clickNode("L1CL11"));
        for (int press = 0; press < 2; ++press) {
            std::unique_ptr<ComponentsSeen> seen(catchComponents());
            o.click("cmdAllegati");
            QVERIFY(seen->shown);
            QCOMPARE(seen->codPrj, QStringLiteral("P1"));
            QCOMPARE(o.s.state.LivelloCorrente, 1);
            QCOMPARE(o.s.state.ElementoCorrente, QStringLiteral("L11"));
            QCOMPARE(o.s.state.FileNote, native(o.f.data() + "/P1/L11/L11"));
        }
        // An item typed over, not stored under the current project, is not handed over.
        o.combo("cboCodice1")->setEditText("L99");
        std::unique_ptr<ComponentsSeen> seen(catchComponents());
        o.click("cmdAllegati");
        QVERIFY(!seen->shown);
        QCOMPARE(o.lastMessage(), QStringLiteral("Codice Livello 1  NON valido !"));
        // New disables the hand-over.
        o.click("cmdNuovo");
        QVERIFY(!o.get<QToolButton>("cmdAllegati")->isEnabled());
    }

    void clientSheet()
    {
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr,indirizzo,cap,citta,provincia,telefono) VALUES"
              "(3,'L''Officina','Via Roma 1','20100','Milano','MI','02 1'),(5,'Bianchi','Via Po','','Torino','TO','011')");
        o.sql("INSERT INTO Progetti(codice,descr,codcli) VALUES('P1','Uno',3),('P2','Due',0)");
        o.open();
        o.sheet(3);
        QCOMPARE(o.combo("cboCliente")->count(), 2);
        o.w->cboCliente_Click(0);
        QCOMPARE(o.combo("cboCodCli")->currentText(), QStringLiteral("3"));
        QCOMPARE(o.get<QLabel>("Label5")->text(), QStringLiteral("20100 Milano MI"));
        QCOMPARE(o.s.state.ClienteCorrente, QStringLiteral("3"));
        o.w->cboCodCli_Click(1);
        QCOMPARE(o.combo("cboCliente")->currentText(), QStringLiteral("Bianchi"));
        QCOMPARE(o.get<QLabel>("Label5")->text(), QStringLiteral(" Torino TO"));
        QCOMPARE(o.get<QLabel>("Label6")->text(), QStringLiteral("011"));
        QVERIFY(o.clickNode("PP1"));
        QCOMPARE(o.get<QLabel>("Label5")->text(), QStringLiteral("Milano"));
        QCOMPARE(o.get<QLabel>("Label4")->text(), QStringLiteral("Via Roma 1"));
        QVERIFY(o.clickNode("PP2"));
        QCOMPARE(o.combo("cboCodCli")->currentText(), QStringLiteral("0"));
        QVERIFY(o.combo("cboCliente")->currentText().isEmpty());
        QVERIFY(o.get<QLabel>("Label4")->text().isEmpty());
    }

    // Another workstation saves the project or item shown here: this save
    // asks before going over it (No by default), and a second save of one's
    // own is no conflict.
    void savesNeverReplaceAStoredProjectOrItem()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Ponte')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L11','Pila')");
        QDir(o.f.data()).mkpath("P1/L11");
        o.open();
        // Nuovo's code taken meanwhile by another workstation.
        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P2"));
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P2','Scuola')");
        o.type("cboDescr", "Strada");
        o.click("cmdSalva");
        QCOMPARE(o.lastMessage(), QStringLiteral("Il codice P2 è già usato da un altro progetto e non viene sovrascritto: "
                                                 "non è stato salvato nulla.\nSalvare con il primo codice libero, P3 ?"));
        QCOMPARE(o.sql("SELECT group_concat(codice||descr) FROM Progetti"), QStringLiteral("P1Ponte,P2Scuola"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT group_concat(codice||descr) FROM Progetti"), QStringLiteral("P1Ponte,P2Scuola,P3Strada"));
        QVERIFY(QFileInfo(o.f.data() + "/P3").isDir());

        // A hand-typed existing code, in another letter case, replaces nothing
        // and makes no second folder.
        o.click("cmdNuovo");
        o.type("cboCodice", "p1");
        o.type("cboDescr", "Altro");
        o.click("cmdSalva");
        QVERIFY(o.lastMessage().startsWith("Il codice p1 è già usato da un altro progetto"));
        QCOMPARE(o.sql("SELECT descr FROM Progetti WHERE codice='P1'"), QStringLiteral("Ponte"));
        // By its spelling: a Windows folder answers to either case.
        QVERIFY(!QDir(o.f.data()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).contains("p1"));

        // The project shown, saved as "p1", keeps its stored spelling.
        QVERIFY(o.clickNode("PP1"));
        o.type("cboCodice", "p1");
        o.type("cboDescr", "Ponte nuovo");
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT group_concat(codice||descr) FROM Progetti WHERE lower(codice) = 'p1'"), QStringLiteral("P1Ponte nuovo"));
        // By its spelling: a Windows folder answers to either case.
        QVERIFY(!QDir(o.f.data()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).contains("p1"));

        // An item code typed over a stored item's after Nuovo.
        QVERIFY(o.clickNode("PP1"));
        o.sheet(1);
        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice1")->currentText(), QStringLiteral("L12"));   // L11 is passed over
        o.type("cboCodice1", "L11");
        QTest::keyClicks(o.box("txtDescr1"), "Spalla");
        o.click("cmdSalva");
        QVERIFY(o.lastMessage().startsWith("Il codice L11 è già usato da un altro elemento"));
        QCOMPARE(o.sql("SELECT group_concat(descr) FROM RighePRJ"), QStringLiteral("Pila"));
    }

    void itemsHaveFoldersAndNotesOfTheirOwn()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Ponte')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'2','Pila')");
        QDir(o.f.data()).mkpath("P1/2");
        o.open();
        QVERIFY(o.clickNode("PP1"));
        o.sheet(2);
        o.type("cboCodice2", "2");
        o.click("cmdSalva");
        QCOMPARE(o.lastMessage(), QStringLiteral("Il codice 2 è già usato nel progetto P1 da un elemento di Livello 1: "
                                                 "la cartella e le note sarebbero le stesse."));
        o.type("cboCodice2", "p1");
        o.click("cmdSalva");
        QVERIFY(o.lastMessage().startsWith("Il codice p1 è il codice del progetto"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM RighePRJ"), QStringLiteral("1"));

        // After a level-1 item is shown, the level-2 sheet names no item, and
        // saving there stores nothing over one.
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',2,'L21','Trave')");
        o.w->CaricaProgetti();
        QVERIFY(o.clickNode("L2CL21"));
        QVERIFY(o.clickNode("L1C2"));
        QVERIFY(o.combo("cboCodice2")->currentText().isEmpty());
        QVERIFY(o.clickNode("L2CL21"));
        QVERIFY(o.combo("cboCodice1")->currentText().isEmpty());
        o.sheet(1);
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT group_concat(descr) FROM RighePRJ"), QStringLiteral("Pila,Trave"));
    }

    void focusIntoTheTreeShowsNothing()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno'),('P2','Due')");
        o.open();
        QApplication::setActiveWindow(o.w);
        o.click("cmdNuovo");
        // Nuovo puts the cursor where typing goes on; Tab leaves the date at once.
        QTRY_VERIFY(o.combo("cboDescr")->hasFocus());
        auto *date = o.get<QDateEdit>("DataProgetto");
        date->setFocus();
        QTest::keyClick(date, Qt::Key_Tab);
        QVERIFY(!date->hasFocus());
        o.type("cboDescr", "Nuovo progetto");
        // Shift+Tab from the code box lands on the tree, first in the order.
        o.combo("cboCodice")->setFocus();
        QTest::keyClick(o.combo("cboCodice"), Qt::Key_Backtab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QTRY_VERIFY(o.w->tree()->hasFocus());
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P3"));
        QCOMPARE(o.combo("cboDescr")->currentText(), QStringLiteral("Nuovo progetto"));
        QVERIFY(!o.get<QToolButton>("cmdAllegati")->isEnabled());
        QVERIFY(o.s.state.ProgettoCorrente.isEmpty());
        // Tab leaves the notes box as every other box.
        auto *note = o.get<QPlainTextEdit>("txtNote");
        note->setFocus();
        QTest::keyClick(note, Qt::Key_Tab);
        QVERIFY(!note->hasFocus());
        QVERIFY(note->toPlainText().isEmpty());
        // Editable boxes complete nothing.
        for (const char *name : {"cboCodice", "cboDescr", "cboCodCli", "cboCliente", "cboCodice1", "cboCodice2"})
            QVERIFY2(!o.combo(name)->completer(), name);
    }

    void proposalsPassOverCodesWithFoldersOrDrawings()
    {
        Opened o;
        // P1 was deleted: its folder and drawings stay; P2's drawings too.
        QDir(o.f.data()).mkpath("P1");
        o.sql("INSERT INTO Componenti(codprj,file) VALUES('P2','/x.dwg')");
        o.open();
        o.click("cmdNuovo");
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P3"));
    }

    void handOverFromTheClientSheetAndMissingFolders()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno'),('P2','Due')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L11','a')");
        o.open();
        QVERIFY(o.clickNode("L1CL11"));
        QVERIFY(o.clickNode("PP2"));
        o.sheet(3);
        {
            std::unique_ptr<ComponentsSeen> seen(catchComponents());
            o.click("cmdAllegati");
            QVERIFY(seen->shown);
            QCOMPARE(seen->codPrj, QStringLiteral("P2"));
        }
        // The missing project folder is made; the notes path is left for the file.
        QVERIFY(QFileInfo(o.f.data() + "/P2").isDir());
        QCOMPARE(o.s.state.FileNote, native(o.f.data() + "/P2/P2"));
        QVERIFY(!QFileInfo(o.s.state.FileNote).isDir());
        QCOMPARE(o.s.state.LivelloCorrente, 3);
        QVERIFY(!QFileInfo::exists(o.f.data() + "/P2/L11"));

        // A project no longer stored is not handed over.
        o.sql("DELETE FROM Progetti WHERE codice='P2'");
        o.click("cmdAllegati");
        QCOMPARE(o.lastMessage(), QStringLiteral("Codice Progetto NON Valido !"));
    }

    void newClientKeepsTheProjectsClient()
    {
        Opened o;
        o.sql("INSERT INTO Clienti(codice,descr,indirizzo) VALUES(3,'Alfa','Via Roma 1')");
        o.sql("INSERT INTO Progetti(codice,descr,codcli) VALUES('P1','Uno',3)");
        o.open();
        QVERIFY(o.clickNode("PP1"));
        o.sheet(3);
        // The register is opened and a client added meanwhile.
        QObject::connect(o.w, &frmProgetti::clientRegisterRequested, o.w,
                         [&o] { o.sql("INSERT INTO Clienti(codice,descr) VALUES(4,'Beta')"); });
        o.click("cmdNuovoCliente");
        QCOMPARE(o.combo("cboCodCli")->count(), 2);
        QCOMPARE(o.combo("cboCodCli")->currentText(), QStringLiteral("3"));
        QCOMPARE(o.combo("cboCliente")->currentText(), QStringLiteral("Alfa"));
        QCOMPARE(o.get<QLabel>("Label4")->text(), QStringLiteral("Via Roma 1"));
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT codcli FROM Progetti"), QStringLiteral("3"));
    }

    void unreadableStoredValues()
    {
        if (testOnServer())
            QSKIP("il server non accetta date illeggibili");
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr,data) VALUES('P1','Uno','2026-03-04'),('P2','Due','non una data')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P2',1,'../fuori','x')");
        o.open();
        QVERIFY(o.clickNode("PP1"));
        QVERIFY(o.clickNode("PP2"));
        QCOMPARE(o.get<QDateEdit>("DataProgetto")->text().trimmed(), QString());
        o.type("cboDescr", "Due bis");
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT descr||'|'||data FROM Progetti WHERE codice='P2'"), QStringLiteral("Due bis|non una data"));
        // An item code that cannot be a folder is never made one.
        QVERIFY(o.clickNode("L1C../fuori"));
        o.click("cmdAllegati");
        QVERIFY(o.lastMessage().contains("nome di una cartella"));
        QVERIFY(!QFileInfo::exists(o.f.root() + "/fuori"));
        QVERIFY(!QFileInfo::exists(o.f.data() + "/fuori"));
    }

    // An item's date that is absent or cannot be read stays as stored when
    // the item is saved, on either level's sheet.
    void anItemsUnreadableOrAbsentDateIsKeptAtASave_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("date");   // SQL value
        QTest::addColumn<QString>("kept");
        for (int level : {1, 2}) {
            QTest::addRow("level %d, absent", level) << level << "NULL" << "NULL";
            QTest::addRow("level %d, unreadable", level) << level << "'non una data'" << "non una data";
        }
    }
    void anItemsUnreadableOrAbsentDateIsKeptAtASave()
    {
        QFETCH(int, level);
        QFETCH(QString, date);
        QFETCH(QString, kept);
        if (testOnServer() && date != "NULL")
            QSKIP("il server non accetta date illeggibili");
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Uno')");
        o.sql(QStringLiteral("INSERT INTO RighePRJ(codprj,livello,codice,descr,data) VALUES('P1',%1,'E1','Pila',%2)")
                  .arg(level)
                  .arg(date));
        QDir(o.f.data()).mkpath("P1/E1");
        o.open();
        QVERIFY(o.clickNode(QStringLiteral("L%1CE1").arg(level)));
        QLineEdit *descr = o.box(level == 1 ? "txtDescr1" : "txtDescr2");
        QCOMPARE(descr->text(), QStringLiteral("Pila"));
        descr->setText("Pila bis");
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT descr||'|'||COALESCE(CAST(data AS TEXT),'NULL') FROM RighePRJ"), "Pila bis|" + kept);
    }

    void projectFolderThroughALinkIsRefused()
    {
        SKIP_ON_WINDOWS("su Windows QFile::link crea un collegamento .lnk");
        Opened o;
        QTemporaryDir outside;
        QVERIFY(QFile::link(outside.path(), o.f.data() + "/P7"));
        o.open();
        o.type("cboCodice", "P7");
        o.click("cmdSalva");
        QVERIFY(o.lastMessage().contains("porta fuori dalla cartella dati"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Progetti"), QStringLiteral("0"));
    }

    void svuotaCampiIgnoresLetterCase()
    {
        Opened o;
        o.open();
        o.box("txtFax")->setText("1");
        o.box("txtDescr2")->setText("2");
        o.get<QPlainTextEdit>("txtNote")->setPlainText("3");
        o.combo("cboCodice")->setEditText("P1");
        SvuotaCampi(o.w, "TXT");
        QVERIFY(o.box("txtFax")->text().isEmpty());
        QVERIFY(o.box("txtDescr2")->text().isEmpty());
        QVERIFY(o.get<QPlainTextEdit>("txtNote")->toPlainText().isEmpty());
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P1"));
    }


    void openedFromTheMainWindow()
    {
        GuiFixture f;
        QCOMPARE(sqlValue(f.programArchive(), "INSERT INTO Configura(sk1,sk2,sk3,pre1,pre2,pre3) VALUES('Commessa','Fase','Sottofase','C','F','S')"),
                 QString());
        Session s;
        frmMain main(s);
        QVERIFY(main.Form_Load());
        auto tabs = [&] { return main.progetti()->findChild<QTabWidget *>("STab1"); };
        main.findChild<QAction *>("mnugestPrj")->trigger();
        QCOMPARE(tabs()->tabText(0), QStringLiteral("Generale"));
        QCOMPARE(tabs()->tabText(1), QStringLiteral("Livello 1"));
        QCOMPARE(main.progetti()->windowTitle(), QStringLiteral("Velbor Manager"));
        QTest::mouseClick(main.findChild<QPushButton *>("cmdProgetti"), Qt::LeftButton);
        QCOMPARE(tabs()->tabText(0), QStringLiteral("Commessa"));
        QCOMPARE(tabs()->tabText(2), QStringLiteral("Sottofase"));
        QCOMPARE(tabs()->tabText(3), QStringLiteral("Cliente"));
        QCOMPARE(tabs()->currentIndex(), 0);
        frmProgetti *first = main.progetti();
        main.findChild<QAction *>("mnugestPrj")->trigger();
        QCOMPARE(main.progetti(), first);
        QCOMPARE(tabs()->tabText(0), QStringLiteral("Commessa"));
        // The prefix of the configuration names the proposed code.
        QTest::mouseClick(first->findChild<QPushButton *>("cmdNuovo"), Qt::LeftButton);
        QCOMPARE(first->findChild<QComboBox *>("cboCodice")->currentText(), QStringLiteral("C1"));
        QTest::mouseClick(first->findChild<QPushButton *>("cmdChiudi"), Qt::LeftButton);
        QTRY_VERIFY(!main.progetti());
    }
};

QTEST_MAIN(TestProgetti)
#include "tst_progetti.moc"
