// SPDX-License-Identifier: GPL-3.0-or-later
// The project window's search: by code, description or drawing, through
// the matches, kept current with the archive and waiting for saves.
#include "ProjectWindow.h"

class TestProgettiSearch : public QObject {
    Q_OBJECT

private slots:
    void searchFindsAndShowsAsAClick_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("firstRow");   // code, description, project of the first result
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("node");           // key of the node the first result selects
        QTest::newRow("by code, the exact code first")
            << "P12" << QStringList{"P12", "Ampliamento scuola", ""} << 2 << "PP12";
        QTest::newRow("words in any order, accents and letter case mixed")
            << "CASTELLO città Scuola" << QStringList{"P1", "Scuola elementare di Città di Castello", ""} << 1 << "PP1";
        QTest::newRow("an item, with its project")
            << "giardino" << QStringList{"L12", "Giardino d'inverno", "P120"} << 2 << "L1CL12";
        QTest::newRow("a drawing leads to its item")
            << "PIANTA" << QStringList{"pianta-giardino.dwg", "L12  Giardino d'inverno", "P120"} << 1 << "L1CL12";
        QTest::newRow("a drawing of a project leads to the project")
            << "prospetto" << QStringList{"prospetto.dwg", "P1  Scuola elementare di Città di Castello", "P1"} << 1 << "PP1";
        QTest::newRow("a level-2 item under its level-1 item")
            << "recinzione" << QStringList{"L21", "Recinzione", "P120"} << 1 << "L2CL21";
        QTest::newRow("no match") << "scuola giardino" << QStringList{} << 0 << "";
    }
    void searchFindsAndShowsAsAClick()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, firstRow);
        QFETCH(int, count);
        QFETCH(QString, node);
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr,reparto) VALUES('P1','Scuola elementare di Città di Castello','Scuole'),"
              "('P120','Villa Rossi','Ville'),('P12','Ampliamento scuola','Scuole')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L11','Palestra'),"
              "('p120',1,'L12','Giardino d''inverno'),('P120',2,'L21','Recinzione')");
        o.sql("INSERT INTO Componenti(codprj,livello,codice,file) VALUES('P120',1,'L12','C:\\dati\\P120\\L12\\pianta-giardino.dwg'),"
              "('P1',0,'P1','/dati/P1/prospetto.dwg'),('P9',0,'P9','/dati/P9/prospetto-orfano.dwg')");
        o.open();
        const QRect treeGeometry = o.w->tree()->geometry();
        const QRect sheets = o.get<QTabWidget>("STab1")->geometry();
        o.w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(o.w));
        const QString before = o.currentKey();
        o.search(typed);
        QVERIFY(o.box("edtCerca")->isVisible());
        QCOMPARE(o.get<QTabWidget>("STab1")->geometry(), sheets);
        auto *list = o.get<QTreeView>("lstRisultati");
        QCOMPARE(list->model()->rowCount(), count);
        QCOMPARE(list->isVisible(), count > 0);
        QCOMPARE(o.countText(), count == 0 ? QStringLiteral("Nessun risultato") : QStringLiteral("%1 risultat%2").arg(count).arg(count == 1 ? "o" : "i"));
        // Searching shows nothing and selects nothing by itself.
        QCOMPARE(o.currentKey(), before);
        QVERIFY(o.combo("cboCodice")->currentText().isEmpty());
        if (count == 0)
            return;
        QStringList row;
        for (int c = 0; c < 3; ++c)
            row << list->model()->index(0, c).data().toString();
        QCOMPARE(row, firstRow);

        QTest::keyClick(o.box("edtCerca"), Qt::Key_Return);
        QCOMPARE(o.currentKey(), node);
        for (QModelIndex p = o.w->tree()->currentIndex().parent(); p.isValid(); p = p.parent())
            QVERIFY(o.w->tree()->isExpanded(p));
        QVERIFY(!list->isVisible());
        QCOMPARE(o.countText(), QStringLiteral("1 di %1").arg(count));
        // What shows is what a click on the node shows.
        const auto seen = [&] {
            return QStringList{o.combo("cboCodice")->currentText(), o.combo("cboDescr")->currentText(),
                               o.box("txtReparto")->text(), o.combo("cboCodice1")->currentText(),
                               o.combo("cboCodice2")->currentText(), o.box("txtDescr1")->text(),
                               QString::number(o.get<QTabWidget>("STab1")->currentIndex()),
                               o.s.state.ProgettoCorrente, QString::number(o.s.state.LivelloCorrente),
                               QString::number(o.get<QToolButton>("cmdAllegati")->isEnabled())};
        };
        const QStringList chosen = seen();
        QCOMPARE(chosen.at(0), row.at(2).isEmpty() ? row.at(0).section(' ', 0, 0) : row.at(2));
        QTest::keyClick(o.w, Qt::Key_Escape);
        QVERIFY(!o.box("edtCerca")->isVisible());
        QCOMPARE(o.w->tree()->geometry(), treeGeometry);
        QCOMPARE(o.currentKey(), node);
        SvuotaCampi(o.w, "txt");
        for (const char *c : {"cboCodice", "cboDescr", "cboCodice1", "cboCodice2"})
            o.combo(c)->setEditText(QString());
        QVERIFY(o.clickNode(node));
        QCOMPARE(seen(), chosen);
    }

    void searchGoesThroughTheMatches()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Villa uno'),('P2','Ponte'),('P3','Villa due'),('P4','Villa tre')");
        o.open();
        o.clickNode("PP2");
        o.search("villa");
        QCOMPARE(o.currentKey(), QStringLiteral("PP2"));
        // Esc before any choice: the tree and the sheets stay as they were.
        QTest::keyClick(o.box("edtCerca"), Qt::Key_Escape);
        QCOMPARE(o.currentKey(), QStringLiteral("PP2"));
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P2"));
        QVERIFY(!o.w->search()->isOpen());
        o.search("villa");
        const struct { Qt::Key key; Qt::KeyboardModifiers modifiers; const char *node; } steps[] = {
            {Qt::Key_Return, {}, "PP1"},         {Qt::Key_F3, {}, "PP3"},    {Qt::Key_Enter, {}, "PP4"},
            {Qt::Key_F3, {}, "PP1"},             {Qt::Key_F3, Qt::ShiftModifier, "PP4"},
            {Qt::Key_Return, Qt::ShiftModifier, "PP3"},
        };
        for (const auto &step : steps) {
            QTest::keyClick(o.box("edtCerca"), step.key, step.modifiers);
            QCOMPARE(o.currentKey(), QString::fromLatin1(step.node));
            QCOMPARE(o.combo("cboCodice")->currentText(), QString::fromLatin1(step.node).mid(1));
        }
        QCOMPARE(o.countText(), QStringLiteral("2 di 3"));
        // The arrows move in the list; Enter chooses the row they reached.
        QTest::keyClicks(o.box("edtCerca"), " ");
        QTRY_VERIFY(o.get<QTreeView>("lstRisultati")->isVisible());
        QTest::keyClick(o.box("edtCerca"), Qt::Key_Down);
        QTest::keyClick(o.box("edtCerca"), Qt::Key_Down);
        QTest::keyClick(o.box("edtCerca"), Qt::Key_Return);
        QCOMPARE(o.currentKey(), QStringLiteral("PP4"));
        // F3 works from the tree as well; going there closes the list.
        QTest::keyClicks(o.box("edtCerca"), " ");
        QTRY_VERIFY(o.get<QTreeView>("lstRisultati")->isVisible());
        o.w->tree()->setFocus();
        QVERIFY(!o.get<QTreeView>("lstRisultati")->isVisible());
        QTest::keyClick(o.w->tree(), Qt::Key_F3);
        QCOMPARE(o.currentKey(), QStringLiteral("PP1"));
        // An emptied box, then new text: found afresh.
        o.box("edtCerca")->clear();
        QTRY_VERIFY(o.countText().isEmpty());
        QTest::keyClicks(o.box("edtCerca"), "ponte");
        QTRY_COMPARE(o.countText(), QStringLiteral("1 risultato"));
    }

    void searchStaysCurrentAndWaitsForSaves()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Scuola')");
        o.open();
        o.clickNode("PP1");
        o.box("txtReparto")->setText("non salvato");
        // Another workstation adds a project and an item after the window opened.
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P2','Biblioteca comunale')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P2',1,'L15','Sala lettura')");
        o.search("lettura");
        QCOMPARE(o.get<QTreeView>("lstRisultati")->model()->rowCount(), 1);
        // Opening the search showed nothing: what was typed is still there.
        QCOMPARE(o.box("txtReparto")->text(), QStringLiteral("non salvato"));
        QCOMPARE(o.currentKey(), QStringLiteral("PP1"));
        QTest::keyClick(o.box("edtCerca"), Qt::Key_Return);
        QCOMPARE(o.currentKey(), QStringLiteral("L1CL15"));
        QCOMPARE(o.combo("cboCodice")->currentText(), QStringLiteral("P2"));

        // While a save is under way nothing is searched; the search runs after.
        {
            SearchPanel::Pause saving(*o.w->search());
            o.box("edtCerca")->clear();
            QTest::keyClicks(o.box("edtCerca"), "biblioteca");
            QTest::qWait(20);
            QCOMPARE(o.get<QTreeView>("lstRisultati")->model()->rowCount(), 1);
            QCOMPARE(o.w->search()->results().size(), 1);
        }
        QTRY_COMPARE(o.countText(), QStringLiteral("1 risultato"));
        // A project this window saves is found while the search is open.
        o.sheet(0);
        o.click("cmdNuovo");
        o.type("cboDescr", "Palazzetto dello sport");
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Progetti"), QStringLiteral("3"));
        o.box("edtCerca")->clear();
        QTest::keyClicks(o.box("edtCerca"), "palazzetto");
        QTRY_COMPARE(o.countText(), QStringLiteral("1 risultato"));
        // Ctrl+F with the search open reads the archive again.
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P7','Auditorium')");
        QTest::keyClick(o.w, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(o.box("edtCerca"), "auditorium");
        QTRY_COMPARE(o.countText(), QStringLiteral("1 risultato"));
    }

    void notesPagesAreSearchedAndKeptCurrent()
    {
        Opened o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Scuola di Pavia'),('P2','Villa Neri')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L1','Palestra')");
        const QString data = o.s.state.PercorsoDati;
        // A page no search has read yet; one changed by another program since
        // its text was kept; one deleted since.
        QDir().mkpath(data + "/P1/L1");
        writeBytes(data + "/P1/P1", "{\\rtf1\\ansi Relazione\\par Calcolo dell'armatura della soletta\\par Verifica a taglio\\par}");
        writeBytes(data + "/P1/L1/L1", "{\\rtf1\\ansi Nuova nota sulla copertura in legno\\par}");
#ifndef _WIN32
        // A page that is a link leading out of the data folder is never read.
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P3','Collegamento')");
        writeBytes(o.f.root() + "/fuori.rtf", "{\\rtf1\\ansi segreto\\par}");
        QDir().mkpath(data + "/P3");
        QVERIFY(QFile::link(o.f.root() + "/fuori.rtf", data + "/P3/P3"));
#endif
        o.sql("INSERT INTO TestiNote(percorso,dimensione,modificato,impronta,testo) VALUES"
              "('P1/L1/L1',5,0,'x','vecchia nota sul tetto'),('P2/P2',9,0,'y','Fondazioni profonde')");
        o.open();
        const auto row = [&](int r) {
            QStringList cells;
            for (int c = 0; c < 3; ++c)
                cells << o.get<QTreeView>("lstRisultati")->model()->index(r, c).data().toString();
            return cells;
        };
        // Letter case, accents and order ignored, within one page; the line shown is where the words are.
        o.search("SOLETTA armatùra");
        QTRY_COMPARE(o.countText(), QStringLiteral("1 risultato"));
        QCOMPARE(row(0), (QStringList{"P1", "Note: Calcolo dell'armatura della soletta", ""}));
        QTRY_VERIFY(o.w->notesSearch()->settled());
        // The page changed meanwhile is found by its new words only; the deleted one not at all.
        for (const char *gone : {"tetto", "fondazioni", "soletta copertura", "segreto"}) {
            o.search(gone);
            QTRY_COMPARE(o.countText(), QStringLiteral("Nessun risultato"));
        }
        o.search("copertura");
        QTRY_COMPARE(o.countText(), QStringLiteral("1 risultato"));
        QCOMPARE(row(0), (QStringList{"L1", "Note: Nuova nota sulla copertura in legno", "P1"}));
        // Choosing it shows the item as a click does.
        QTest::keyClick(o.box("edtCerca"), Qt::Key_Return);
        QCOMPARE(o.currentKey(), QStringLiteral("L1CL1"));
        QCOMPARE(o.combo("cboCodice1")->currentText(), QStringLiteral("L1"));
        // What was read is kept for every workstation; the deleted page's row is gone.
        QCOMPARE(o.sql("SELECT count(*) FROM TestiNote WHERE percorso IN ('P1/P1', 'P2/P2')"), "1");
        QCOMPARE(o.sql("SELECT testo FROM TestiNote WHERE percorso = 'P1/L1/L1'"), "Nuova nota sulla copertura in legno");
    }

    void searchManyMatches()
    {
        Opened o;
        o.sql("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
              "INSERT INTO Progetti(codice,descr) SELECT 'P' || i, 'Progetto numero ' || i FROM n");
        o.sql("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
              "INSERT INTO RighePRJ(codprj,livello,codice,descr) SELECT 'P' || (i % 3000 + 1), 1, 'L' || i, 'Tavola ' || i FROM n");
        o.open();
        QElapsedTimer clock;
        clock.start();
        o.search("numero");
        QCOMPARE(o.w->search()->results().size(), 3000);
        QCOMPARE(o.countText(), QStringLiteral("3.000 risultati"));
        // Narrowing down as more is typed.
        QTest::keyClicks(o.box("edtCerca"), " 2999");
        QTRY_COMPARE(o.countText(), QStringLiteral("1 risultato"));
        QTest::keyClick(o.box("edtCerca"), Qt::Key_Return);
        QCOMPARE(o.currentKey(), QStringLiteral("PP2999"));
        qInfo() << "searching 23,000 nodes while typing took" << clock.elapsed() << "ms";
    }

};

QTEST_MAIN(TestProgettiSearch)
#include "tst_progetti_search.moc"
