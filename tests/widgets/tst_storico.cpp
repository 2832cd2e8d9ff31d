// SPDX-License-Identifier: GPL-3.0-or-later
// Each record's history (Ctrl+H) in the project window, the client register
// and the configuration: what a save changed, by whom and where; a value
// copied back into its box and saved again; a history that cannot be written
// stores nothing. The recycle bin's days in the configuration.
#include "GuiSupport.h"
#include "TestSupport.h"
#include "clients/frmClienti.h"
#include "config/frmConfigura.h"
#include "data/engines/Archive.h"
#include "platform/MessageBox.h"
#include "projects/ProjectTreeModel.h"
#include "projects/frmProgetti.h"
#include "widgets/frmStorico.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeView>
#include <QtTest>

#include <functional>

namespace {
const Who kMine{QStringLiteral("rossi"), QStringLiteral("PC-ROSSI")};
const Who kTheirs{QStringLiteral("bianchi"), QStringLiteral("PC-BIANCHI")};

// One record, the window that shows it and one of its boxes.
struct Case {
    QStringList setup;                          // statements run before the window opens
    std::function<QWidget *(Session &)> make;   // opens the window
    std::function<bool(QWidget *)> choose;      // chooses the record in it
    const char *box;                            // the box a save changes
    const char *save;                           // the button that stores
    QString label;                              // the field as the history names it
    QString title;                              // the history's window title
    QString check;                              // the field's stored value
    QString old;                                // what it holds before
    QString shownOld;                           // the old value as its cell shows it
    QString table, criterion, field;            // the record for another workstation
};

bool clickNode(QWidget *window, const QString &key)
{
    auto *w = static_cast<frmProgetti *>(window);
    QTreeView *view = w->tree();
    const QModelIndex idx = w->treeModel()->indexOfKey(key);
    if (!idx.isValid())
        return false;
    for (QModelIndex p = idx.parent(); p.isValid(); p = p.parent())
        view->expand(p);
    view->scrollTo(idx);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(idx).center());
    return true;
}

const QString kProject = QStringLiteral(
    "INSERT INTO Progetti(codice,descr,ufficio,reparto,operatore,telefono,email,fax,specifica,note,data,codcli) "
    "VALUES('P1','Ponte','Sede','','','','','','','Pali trivellati\nVerifica sismica da rifare','2026-01-05',0)");

Case projectCase()
{
    Case c;
    c.setup = {kProject};
    c.make = [](Session &s) { return new frmProgetti(s); };
    c.choose = [](QWidget *w) { return clickNode(w, "PP1"); };
    c.box = "txtUfficio";
    c.save = "cmdSalva";
    c.label = "Ufficio";
    c.title = "Storico - Progetto P1";
    c.check = "SELECT ufficio FROM Progetti WHERE codice='P1'";
    c.old = c.shownOld = "Sede";
    c.table = Tables::Progetti;
    c.criterion = "codice='P1'";
    c.field = "ufficio";
    return c;
}

QVector<std::pair<const char *, Case>> cases()
{
    Case project = projectCase();

    Case notes = projectCase();
    notes.box = "txtNote";
    notes.label = "Note";
    notes.check = "SELECT note FROM Progetti WHERE codice='P1'";
    notes.old = "Pali trivellati\nVerifica sismica da rifare";
    notes.shownOld = "Pali trivellati …";
    notes.field = "note";

    Case item = projectCase();
    item.setup << "INSERT INTO RighePRJ(codprj,livello,codice,descr,data) VALUES('P1',1,'L11','Pila','2026-12-01')";
    item.choose = [](QWidget *w) { return clickNode(w, "L1CL11"); };
    item.box = "txtDescr1";
    item.label = "Descrizione";
    item.title = "Storico - Livello 1 L11 (Progetto P1)";
    item.check = "SELECT descr FROM RighePRJ WHERE codice='L11'";
    item.old = item.shownOld = "Pila";
    item.table = Tables::RighePRJ;
    item.criterion = "codice='L11'";
    item.field = "descr";

    Case client;
    client.setup = {"INSERT INTO Clienti(codice,descr,citta) VALUES(7,'Rossi srl','Roma')"};
    client.make = [](Session &s) { return new frmClienti(s); };
    client.choose = [](QWidget *w) {
        return chooseInList(w->findChild<QComboBox *>("cboCodice"), "7", ChooseBy::Enter);
    };
    client.box = "txtCitta";
    client.save = "cmdSalva";
    client.label = "Città";
    client.title = "Storico - Cliente 7";
    client.check = "SELECT citta FROM Clienti WHERE codice=7";
    client.old = client.shownOld = "Roma";
    client.table = Tables::Clienti;
    client.criterion = "codice=7";
    client.field = "citta";

    Case config;
    config.setup = {"INSERT INTO Configura(descr,sk1,sk2,sk3,pre1,pre2,pre3) "
                    "VALUES('Studio Bassi','Progetto','Livello 1','Livello 2','P','L1','L2')"};
    config.make = [](Session &s) { return new frmConfigura(s); };
    config.choose = [](QWidget *) { return true; };
    config.box = "txtDitta";
    config.save = "cmdConferma";
    config.label = "Ragione Sociale";
    config.title = "Storico - Configurazione";
    config.check = "SELECT descr FROM Configura";
    config.old = config.shownOld = "Studio Bassi";
    config.table = Tables::Configura;
    config.field = "descr";

    return {{"project", project}, {"project's notes", notes}, {"item", item}, {"client", client},
            {"configuration", config}};
}

void addCases()
{
    QTest::addColumn<Case>("c");
    for (const auto &[name, c] : cases())
        QTest::newRow(name) << c;
}

QString textOf(QWidget *box)
{
    if (auto *line = qobject_cast<QLineEdit *>(box))
        return line->text();
    if (auto *combo = qobject_cast<QComboBox *>(box))
        return combo->currentText();
    if (auto *plain = qobject_cast<QPlainTextEdit *>(box))
        return plain->toPlainText();
    return QStringLiteral("?");
}

struct Office : SessionFixture {
    QPointer<QWidget> w;
    ~Office() { delete w; }

    // Opens the case's window on its record.
    bool open(const Case &c)
    {
        delete w;
        w = c.make(s);
        return activate(w) && c.choose(w);
    }
    QWidget *box(const char *name) const { return w->findChild<QWidget *>(name); }
    void click(const char *button) const { QTest::mouseClick(w->findChild<QPushButton *>(button), Qt::LeftButton); }
    // Types over a box's text, as a person does.
    void typeOver(const char *name, const QString &text) const
    {
        clickAndSelectAll(box(name));
        typeHere(text);
    }
    // Ctrl+H with the focus in a box; the history that opens, if one does.
    frmStorico *history(const char *inBox) const
    {
        if (!activate(w))
            return nullptr;
        QTest::mouseClick(box(inBox), Qt::LeftButton, {}, QPoint(4, 6));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_H, Qt::ControlModifier);
        auto *h = w->findChild<frmStorico *>();
        return h && QTest::qWaitForWindowExposed(h) ? h : nullptr;
    }
    QString lastMessage() const { return MessageBox::shown().isEmpty() ? QString() : MessageBox::shown().last().text; }
};

QStringList line(frmStorico *h, int row)
{
    auto *list = h->findChild<QTableWidget *>("lstStorico");
    QStringList cells;
    for (int c = 0; c < list->columnCount() && row < list->rowCount(); ++c)
        cells << list->item(row, c)->text();
    return cells;
}

int lines(frmStorico *h)
{
    return h->findChild<QTableWidget *>("lstStorico")->rowCount();
}

void chooseLine(frmStorico *h, int row)
{
    auto *list = h->findChild<QTableWidget *>("lstStorico");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row, 3)).center());
}

bool savedLately(const QString &cell)
{
    const QDateTime when = QDateTime::fromString(cell, QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    return when.isValid() && qAbs(when.secsTo(QDateTime::currentDateTime())) < 120;
}

// The row of a record as another workstation finds it.
RecordView &viewOf(Archive &archive, const QString &table)
{
    if (table == Tables::Clienti)
        return archive.clients();
    if (table == Tables::Progetti)
        return archive.projects();
    if (table == Tables::RighePRJ)
        return archive.items();
    return archive.configuration();
}
} // namespace
Q_DECLARE_METATYPE(Case)

class TestStorico : public QObject {
    Q_OBJECT

private slots:
    void init() { Journal::setWho(kMine); }

    // A save is listed with the value before and after, who and where; the
    // value before goes back into its box, and a save stores it as a new line.
    void aSaveIsListedAndItsOldValueComesBack_data() { addCases(); }
    void aSaveIsListedAndItsOldValueComesBack()
    {
        QFETCH(Case, c);
        Office o;
        for (const QString &statement : c.setup)
            QCOMPARE(o.sql(statement), QString());
        QDir(o.f.data()).mkpath("P1/L11");
        QVERIFY(o.open(c));
        QCOMPARE(textOf(o.box(c.box)), c.old);
        o.typeOver(c.box, "Mio");
        o.click(c.save);
        QCOMPARE(o.sql(c.check), QStringLiteral("Mio"));
        if (!o.w || !o.w->isVisible())   // the configuration closes once stored
            QVERIFY(o.open(c));

        frmStorico *h = o.history(c.box);
        QVERIFY2(h, qPrintable(o.lastMessage()));
        QCOMPARE(h->windowTitle(), c.title);
        QCOMPARE(lines(h), 1);
        QVERIFY(savedLately(line(h, 0).first()));
        QCOMPARE(line(h, 0).mid(1), QStringList({kMine.user, kMine.host, c.label, c.shownOld, "Mio"}));
        // A shortened value is whole in its tooltip.
        auto *list = h->findChild<QTableWidget *>("lstStorico");
        QCOMPARE(list->item(0, 4)->toolTip(), c.shownOld == c.old ? QString() : c.old);

        // Copied back: in the box, not yet stored.
        chooseLine(h, 0);
        QTest::mouseClick(h->findChild<QPushButton *>("cmdCopia"), Qt::LeftButton);
        QTRY_VERIFY(!o.w->findChild<frmStorico *>());
        QCOMPARE(textOf(o.box(c.box)), c.old);
        QCOMPARE(o.sql(c.check), QStringLiteral("Mio"));
        QVERIFY(activate(o.w));
        o.click(c.save);
        QCOMPARE(o.sql(c.check), c.old);
        if (!o.w || !o.w->isVisible())
            QVERIFY(o.open(c));
        h = o.history(c.box);
        QVERIFY(h);
        QCOMPARE(lines(h), 2);
        QCOMPARE(line(h, 0).mid(1, 4), QStringList({kMine.user, kMine.host, c.label, "Mio"}));
        list = h->findChild<QTableWidget *>("lstStorico");
        QCOMPARE(list->item(0, 5)->toolTip(), c.shownOld == c.old ? QString() : c.old);
        QVERIFY(MessageBox::shown().isEmpty());
    }

    // Another workstation's save, made while this window shows the record.
    void anotherWorkstationsSaveShowsItsName_data() { addCases(); }
    void anotherWorkstationsSaveShowsItsName()
    {
        QFETCH(Case, c);
        Office o;
        for (const QString &statement : c.setup)
            QCOMPARE(o.sql(statement), QString());
        QVERIFY(o.open(c));

        Archive other;
        QString error;
        QVERIFY2(other.open(o.f.dataArchive(), &error), qPrintable(error));
        Journal::setWho(kTheirs);
        RecordView &v = viewOf(other, c.table);
        QVERIFY(c.criterion.isEmpty() ? v.moveFirst() : v.findFirst(c.criterion));
        QVERIFY(v.edit() && v.setValue(c.field, "Loro"));
        QVERIFY2(v.update(), qPrintable(v.lastError()));
        Journal::setWho(kMine);

        frmStorico *h = o.history(c.box);
        QVERIFY2(h, qPrintable(o.lastMessage()));
        QCOMPARE(lines(h), 1);
        QCOMPARE(line(h, 0).mid(1), QStringList({kTheirs.user, kTheirs.host, c.label, c.shownOld, "Loro"}));
    }

    // The history is written in the save's own transaction: when it cannot be
    // written the record stays as it was, and Ctrl+H says what the engine said.
    void aHistoryThatCannotBeWrittenStoresNothing_data() { addCases(); }
    void aHistoryThatCannotBeWrittenStoresNothing()
    {
        QFETCH(Case, c);
        Office o;
        for (const QString &statement : c.setup)
            QCOMPARE(o.sql(statement), QString());
        QDir(o.f.data()).mkpath("P1/L11");
        QVERIFY(o.open(c));
        QCOMPARE(o.sql("DROP TABLE Storico"), QString());
        o.typeOver(c.box, "Mio");
        o.click(c.save);
        QVERIFY(o.w && o.w->isVisible());
        QCOMPARE(o.sql(c.check), c.old);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().last().icon, MessageBox::Icon::Critical);
        QVERIFY2(o.lastMessage().contains("storico", Qt::CaseInsensitive), qPrintable(o.lastMessage()));

        MessageBox::clearShown();
        QVERIFY(!o.history(c.box));
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().last().icon, MessageBox::Icon::Critical);
        QVERIFY2(o.lastMessage().contains("storico", Qt::CaseInsensitive), qPrintable(o.lastMessage()));
        QVERIFY(o.w->isVisible());
    }

    void noRecordShownNoHistory_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("sheet");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("message");
        QTest::newRow("project") << "progetti" << 0 << "txtUfficio" << "Nessun progetto mostrato: sceglierne uno per vederne lo storico.";
        QTest::newRow("item") << "progetti" << 1 << "txtDescr1"
                              << "Nessun elemento mostrato in questa scheda: sceglierne uno nell'albero per vederne "
                                 "lo storico.";
        QTest::newRow("client") << "clienti" << 0 << "txtCitta" << "Nessun cliente mostrato: sceglierne uno per vederne lo storico.";
        QTest::newRow("configuration") << "configurazione" << 0 << "txtDitta"
                                       << "La configurazione non è ancora stata salvata: non ha uno storico da "
                                          "mostrare.";
    }
    void noRecordShownNoHistory()
    {
        QFETCH(QString, window);
        QFETCH(int, sheet);
        QFETCH(QString, box);
        QFETCH(QString, message);
        Office o;
        // Records there are, with a history; none is shown.
        QCOMPARE(o.sql(kProject), QString());
        QCOMPARE(o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L11','Pila')"), QString());
        QCOMPARE(o.sql("INSERT INTO Clienti(codice,descr) VALUES(7,'Rossi srl')"), QString());
        QCOMPARE(o.sql("INSERT INTO Storico(tabella,chiave,campo,prima,dopo) VALUES('Progetti',1,'descr','A','B'),"
                       "('RighePRJ',1,'descr','A','B'),('Clienti',1,'descr','A','B'),('Configura',1,'descr','A','B')"),
                 QString());
        Case c;
        c.choose = [sheet](QWidget *w) {
            if (sheet > 0 && !clickNode(w, "PP1"))
                return false;
            w->findChild<QTabWidget *>("STab1")->setCurrentIndex(sheet);
            return true;
        };
        if (window == "progetti") {
            c.make = [](Session &s) { return new frmProgetti(s); };
        } else {
            c.make = window == "clienti" ? std::function<QWidget *(Session &)>([](Session &s) { return new frmClienti(s); })
                                         : [](Session &s) { return new frmConfigura(s); };
            c.choose = [](QWidget *) { return true; };
        }
        QVERIFY(o.open(c));
        QVERIFY(!o.history(qPrintable(box)));
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(o.lastMessage(), message);
    }

    // An item made through the window: its history starts with every field
    // from nothing. Fields without a box of their own, the code, and a date
    // that was not there are not copied back, and the window says why.
    void whatCannotGoBackIsSaidSo_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("message");
        QTest::newRow("level") << "Livello"
                               << "Il campo \"Livello\" non ha una casella in questa finestra: il suo valore non si "
                                  "può copiare.";
        QTest::newRow("project") << "Progetto"
                                 << "Il campo \"Progetto\" non ha una casella in questa finestra: il suo valore non si "
                                    "può copiare.";
        QTest::newRow("code") << "Codice"
                              << "Il codice non si copia nella casella: salvando con un altro codice si crea un nuovo "
                                 "record, non si cambia questo.";
        QTest::newRow("date") << "Data"
                              << "Prima di quel salvataggio la data non c'era: una data non si può togliere, la "
                                 "casella resta com'è.";
    }
    void whatCannotGoBackIsSaidSo()
    {
        QFETCH(QString, field);
        QFETCH(QString, message);
        Office o;
        QCOMPARE(o.sql(kProject), QString());
        Case c = projectCase();
        QVERIFY(o.open(c));
        o.w->findChild<QTabWidget *>("STab1")->setCurrentIndex(1);
        o.click("cmdNuovo");
        const QString code = o.w->findChild<QComboBox *>("cboCodice1")->currentText();
        QVERIFY(!code.isEmpty());
        o.typeOver("txtDescr1", "Spalla");
        o.click("cmdSalva");
        QCOMPARE(o.sql("SELECT descr FROM RighePRJ WHERE codprj='P1'"), QStringLiteral("Spalla"));

        frmStorico *h = o.history("txtDescr1");
        QVERIFY2(h, qPrintable(o.lastMessage()));
        int row = -1;
        for (int r = 0; r < lines(h); ++r)
            if (line(h, r).value(3) == field)
                row = r;
        QVERIFY(row >= 0);
        QCOMPARE(line(h, row).value(4), QString());
        const QString dayShown = o.w->findChild<QDateEdit *>("DataLivello1")->text();
        chooseLine(h, row);
        QTest::mouseClick(h->findChild<QPushButton *>("cmdCopia"), Qt::LeftButton);
        QCOMPARE(o.lastMessage(), message);
        QVERIFY(h->isVisible());
        QCOMPARE(o.w->findChild<QComboBox *>("cboCodice1")->currentText(), code);
        QCOMPARE(o.w->findChild<QDateEdit *>("DataLivello1")->text(), dayShown);
        QCOMPARE(o.box("txtDescr1")->property("text").toString(), QStringLiteral("Spalla"));
    }

    // The days a deleted record stays in the recycle bin: shown, stored at
    // Conferma, and a value out of range never stored.
    void theBinsDaysAreStoredAtConferma_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");   // the setting afterwards; empty: none
        QTest::addColumn<int>("shownAgain");
        QTest::newRow("a month") << "30" << "30" << 30;
        QTest::newRow("a hundred years") << "36500" << "36500" << 36500;
        QTest::newRow("none at all") << "0" << "" << 90;
        QTest::newRow("the setting cannot be stored") << "30" << "ERROR" << 90;
    }
    void theBinsDaysAreStoredAtConferma()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(int, shownAgain);
        Office o;
        Case c;
        c.make = [](Session &s) { return new frmConfigura(s); };
        c.choose = [](QWidget *) { return true; };
        QVERIFY(o.open(c));
        auto *days = o.w->findChild<QSpinBox *>("txtGiorniCestino");
        QVERIFY(days->isEnabled());
        QCOMPARE(days->value(), 90);
        const bool fails = stored == QLatin1String("ERROR");
        if (fails)
            QCOMPARE(o.sql("DROP TABLE Impostazioni"), QString());
        o.typeOver("txtDitta", "Studio Bassi");
        o.typeOver("txtGiorniCestino", typed);
        o.click("cmdConferma");
        const QString setting = "SELECT valore FROM Impostazioni WHERE nome='giorni_cestino'";
        if (fails) {
            QVERIFY(o.w && o.w->isVisible());
            QCOMPARE(MessageBox::shown().size(), 1);
            QCOMPARE(MessageBox::shown().last().icon, MessageBox::Icon::Critical);
            QVERIFY2(o.lastMessage().contains("impostazioni", Qt::CaseInsensitive), qPrintable(o.lastMessage()));
            // The configuration itself was stored: a second Conferma takes it
            // as this window's own, and stops at the days again.
            QCOMPARE(o.sql("SELECT descr FROM Configura"), QStringLiteral("Studio Bassi"));
            MessageBox::clearShown();
            o.click("cmdConferma");
            QVERIFY(o.w && o.w->isVisible());
            QCOMPARE(MessageBox::shown().size(), 1);
            QCOMPARE(MessageBox::shown().last().icon, MessageBox::Icon::Critical);
            return;
        }
        QTRY_VERIFY(!o.w);
        QVERIFY2(MessageBox::shown().isEmpty(), qPrintable(o.lastMessage()));
        QCOMPARE(o.sql(setting), stored);
        QVERIFY(o.open(c));
        QCOMPARE(o.w->findChild<QSpinBox *>("txtGiorniCestino")->value(), shownAgain);
    }
};

QTEST_MAIN(TestStorico)
#include "tst_storico.moc"
