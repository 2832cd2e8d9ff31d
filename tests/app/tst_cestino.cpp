// SPDX-License-Identifier: GPL-3.0-or-later
// The recycle bin: records deleted in their windows are listed with who
// deleted them, put back (under a free code when theirs was taken), refused
// with the reason, emptied for good; old entries are emptied at start.
#include "GuiSupport.h"
#include "TestSupport.h"
#include "app/frmCestino.h"
#include "app/frmMain.h"
#include "clients/frmClienti.h"
#include "components/frmCOmponenti.h"
#include "data/RecycleBin.h"
#include "platform/MessageBox.h"
#include "projects/ProjectTreeModel.h"
#include "projects/frmProgetti.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {
const Who kHere{"mario", "PC-UFFICIO"};
const Who kThere{"luigi", "PC-DISEGNO"};

struct Bin : SessionFixture {
    std::unique_ptr<frmCestino> w;

    Bin()
    {
        Journal::setWho(kHere);
        s.state.NomeScheda(2) = "Campata";
        s.state.NomeScheda(3) = "Trave";
    }
    frmCestino *open()
    {
        w = std::make_unique<frmCestino>(s);
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->show();
        return w.get();
    }
    QTableWidget *list() const { return w->findChild<QTableWidget *>("lstCestino"); }
    // Each row's texts but the date.
    QStringList rows() const
    {
        QStringList out;
        for (int r = 0; r < list()->rowCount(); ++r)
            out << QStringList{list()->item(r, 0)->text(), list()->item(r, 1)->text(), list()->item(r, 2)->text(),
                               list()->item(r, 3)->text()}
                       .join('|');
        return out;
    }
    // Rows chosen as a person does: a click, Ctrl and a click for each more.
    void choose(const QList<int> &rows) const
    {
        list()->clearSelection();
        for (int r : rows) {
            const QRect cell = list()->visualItemRect(list()->item(r, 1));
            QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
        }
    }
    void click(const char *button) const
    {
        QTest::mouseClick(w->findChild<QPushButton *>(button), Qt::LeftButton);
    }
    QStringList messages() const
    {
        QStringList out;
        for (const MessageBox::Shown &m : MessageBox::shown())
            out << m.text;
        return out;
    }
    // Deletes in this session as a window does.
    void remove(RecordView &view, const QString &criterion) const
    {
        QVERIFY(view.findFirst(criterion) && !view.noMatch());
        QVERIFY2(view.deleteCurrent(), qPrintable(view.lastError()));
    }
    QString sql(const QString &statement) const { return sqlValue(f.dataArchive(), statement); }
};

// Node keys of the project tree, depth first, two spaces of indent per level.
QStringList shape(ProjectTreeModel *m, const QModelIndex &parent = {}, int depth = 0)
{
    QStringList out;
    for (int r = 0; r < m->rowCount(parent); ++r) {
        const QModelIndex idx = m->index(r, 0, parent);
        out << QString(depth * 2, ' ') + m->key(idx);
        out << shape(m, idx, depth + 1);
    }
    return out;
}

bool clickNode(frmProgetti *w, const QString &key)
{
    const QModelIndex idx = w->treeModel()->indexOfKey(key);
    if (!idx.isValid())
        return false;
    for (QModelIndex p = idx.parent(); p.isValid(); p = p.parent())
        w->tree()->expand(p);
    w->tree()->scrollTo(idx);
    QTest::mouseClick(w->tree()->viewport(), Qt::LeftButton, {}, w->tree()->visualRect(idx).center());
    return true;
}

// Another workstation on the same archive.
struct Elsewhere {
    Archive archive;
    bool ok = false;
    explicit Elsewhere(const QString &path)
    {
        QString error;
        ok = archive.open(path, &error);
    }
    bool add(RecordView &view, const QVariantMap &fields)
    {
        Journal::setWho(kThere);
        view.addNew();
        bool set = true;
        for (auto it = fields.begin(); it != fields.end(); ++it)
            set = set && view.setValue(it.key(), it.value());
        const bool stored = set && view.update();
        Journal::setWho(kHere);
        return stored;
    }
};
} // namespace

class TestCestino : public QObject {
    Q_OBJECT

private slots:
    // Deleted in its own window: listed with its type, code and who; put
    // back, it is the same record with the same key.
    void deletedInItsWindowListedAndPutBack_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("keyOf");   // the record's key, while it is stored
        QTest::newRow("project") << "project" << "Progetto|P1|Ponte|mario (PC-UFFICIO)"
                                 << "SELECT vb_key FROM Progetti WHERE codice='P1' AND descr='Ponte'";
        QTest::newRow("level-1 item") << "L11" << "Campata|L11|Pila|mario (PC-UFFICIO)"
                                      << "SELECT vb_key FROM RighePRJ WHERE codice='L11' AND livello=1";
        QTest::newRow("level-2 item") << "L21" << "Trave|L21|Trave nord|mario (PC-UFFICIO)"
                                      << "SELECT vb_key FROM RighePRJ WHERE codice='L21' AND livello=2";
        QTest::newRow("client") << "client" << "Cliente|5|Rossi|mario (PC-UFFICIO)"
                                << "SELECT vb_key FROM Clienti WHERE codice=5 AND descr='Rossi'";
        QTest::newRow("component") << "component" << "Componente|P1 / L11|/a.dwg|mario (PC-UFFICIO)"
                                   << "SELECT vb_key FROM Componenti WHERE codice='L11' AND file='/a.dwg'";
    }
    void deletedInItsWindowListedAndPutBack()
    {
        QFETCH(QString, kind);
        QFETCH(QString, listed);
        QFETCH(QString, keyOf);
        Bin o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P0','Altro'),('P1','Ponte')");
        o.sql("INSERT INTO Clienti(codice,descr) VALUES(5,'Rossi')");
        if (kind != "project")
            o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L11','Pila')");
        if (kind == "L21")
            o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',2,'L21','Trave nord')");
        o.sql("INSERT INTO Componenti(codprj,livello,codice,file,tipo) VALUES('P1',1,'L11','/a.dwg','.DWG')");
        const QString key = o.sql(keyOf);
        QVERIFY(key.toLongLong() > 0);

        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        if (kind == "client") {
            frmClienti clients(o.s);
            clients.show();
            auto *code = clients.findChild<QComboBox *>("cboCodice");
            code->setCurrentIndex(code->findText("5"));
            clients.cboCodice_Click(code->currentIndex());
            QTest::mouseClick(clients.findChild<QPushButton *>("cmdElimina"), Qt::LeftButton);
        } else if (kind == "component") {
            o.s.state.LivelloCorrente = 1;
            o.s.state.ElementoCorrente = "L11";
            QDir(o.f.data()).mkpath("P1");
            o.s.state.FileNote = o.f.data() + "/P1/L11";
            frmCOmponenti components(o.s);
            components.CodPrj = "P1";
            components.Form_Load();
            components.show();
            components.Grid1_DblClick(1);
        } else {
            frmProgetti projects(o.s);
            projects.show();
            QVERIFY(clickNode(&projects, kind == "project" ? "PP1" : kind == "L11" ? "L1CL11" : "L2CL21"));
            QTest::mouseClick(projects.findChild<QPushButton *>("cmdElimina"), Qt::LeftButton);
        }
        QCOMPARE(o.sql(keyOf), QString());
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Cestino"), QStringLiteral("1"));

        o.open();
        QCOMPARE(o.w->windowTitle(), QStringLiteral("Cestino"));
        QCOMPARE(o.rows(), QStringList{listed});
        const QDateTime when = QDateTime::fromString(o.list()->item(0, 4)->text(), "dd/MM/yyyy HH:mm");
        QVERIFY2(when.isValid() && qAbs(when.secsTo(QDateTime::currentDateTime())) < 120,
                 qPrintable(o.list()->item(0, 4)->text()));

        const int shown = MessageBox::shown().size();
        o.choose({0});
        o.click("cmdRipristina");
        QCOMPARE(o.messages().mid(shown), QStringList());
        QCOMPARE(o.sql(keyOf), key);
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Cestino"), QStringLiteral("0"));
        QCOMPARE(o.list()->rowCount(), 0);
    }

    // A code given to another record meanwhile: the first free code is
    // offered (No by default); Yes puts the record back under it, No changes nothing.
    void aCodeTakenMeanwhileOffersTheNextFreeOne_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("deleted");     // criterion of the record deleted here
        QTest::addColumn<QVariantMap>("theirs");  // the record the other workstation stores
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QString>("mine");        // the record, as stored after Yes
        const QString folder = QStringLiteral("La cartella del progetto resta <data>/P1.");
        for (bool yes : {true, false}) {
            const char *answer = yes ? "yes" : "no";
            QTest::addRow("client, %s", answer)
                << "Clienti" << "codice=5" << QVariantMap{{"codice", 5}, {"descr", "Bianchi"}} << yes
                << QStringList{"Il codice 5 è stato dato nel frattempo al cliente \"Bianchi\". Ripristinarlo con il "
                               "codice 6 ?"}
                << "6|Rossi";
            QTest::addRow("project, %s", answer)
                << "Progetti" << "codice='P1'" << QVariantMap{{"codice", "P1"}, {"descr", "Nuovo"}} << yes
                << QStringList{"Il codice P1 è stato dato nel frattempo a \"Nuovo\". Ripristinarlo con il codice P2 ?",
                               folder}
                << "P2|Ponte";
            QTest::addRow("item, same project, %s", answer)
                << "RighePRJ" << "codice='L11'"
                << QVariantMap{{"codprj", "P1"}, {"livello", 1}, {"codice", "L11"}, {"descr", "Altra pila"}} << yes
                << QStringList{"Il codice L11 è stato dato nel frattempo a \"Altra pila\". Ripristinarlo con il "
                               "codice L12 ?"}
                << "L12|Pila";
            QTest::addRow("item, another project, %s", answer)
                << "RighePRJ" << "codice='L11'"
                << QVariantMap{{"codprj", "P0"}, {"livello", 1}, {"codice", "L11"}, {"descr", "Altra pila"}} << yes
                << QStringList{"Il codice L11 è stato dato nel frattempo a \"Altra pila\" del progetto P0. "
                               "Ripristinarlo con il codice L12 ?"}
                << "L12|Pila";
        }
    }
    void aCodeTakenMeanwhileOffersTheNextFreeOne()
    {
        QFETCH(QString, table);
        QFETCH(QString, deleted);
        QFETCH(QVariantMap, theirs);
        QFETCH(bool, yes);
        QFETCH(QStringList, said);
        QFETCH(QString, mine);
        Bin o;
        o.sql("INSERT INTO Clienti(codice,descr) VALUES(5,'Rossi')");
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P0','Altro'),('P1','Ponte')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L11','Pila')");
        const QString mineNow = QStringLiteral("SELECT codice||'|'||descr FROM %1 WHERE descr IN ('Rossi','Ponte','Pila')").arg(table);
        const QString key = o.sql(QStringLiteral("SELECT vb_key FROM %1 WHERE descr IN ('Rossi','Ponte','Pila')").arg(table));
        RecordView &view = table == "Clienti" ? o.s.archive.clients()
                           : table == "Progetti" ? o.s.archive.projects()
                                                 : o.s.archive.items();
        if (table == "Progetti")
            o.remove(o.s.archive.items(), "codprj='P1'");
        o.remove(view, deleted);
        Elsewhere other(o.f.dataArchive());
        QVERIFY(other.ok);
        RecordView &their = table == "Clienti" ? other.archive.clients()
                            : table == "Progetti" ? other.archive.projects()
                                                  : other.archive.items();
        QVERIFY(other.add(their, theirs));
        const QString bin = o.sql("SELECT COUNT(*) FROM Cestino");

        o.open();
        o.choose({0});
        MessageBox::setNextAnswer(yes ? MessageBox::Answer::Yes : MessageBox::Answer::No);
        o.click("cmdRipristina");
        said.replaceInStrings("<data>/P1", native(o.f.data() + "/P1"));
        QCOMPARE(o.messages(), yes ? said : said.mid(0, 1));
        QCOMPARE(MessageBox::shown().first().buttons, MessageBox::Buttons::YesNoDefaultNo);
        if (yes) {
            QCOMPARE(o.sql(mineNow), mine);
            QCOMPARE(o.sql(QStringLiteral("SELECT vb_key FROM %1 WHERE descr IN ('Rossi','Ponte','Pila')").arg(table)), key);
            QCOMPARE(o.sql("SELECT COUNT(*) FROM Cestino"), QString::number(bin.toInt() - 1));
        } else {
            QCOMPARE(o.sql(mineNow), QString());
            QCOMPARE(o.sql("SELECT COUNT(*) FROM Cestino"), bin);
            QCOMPARE(o.list()->rowCount(), bin.toInt());
        }
        // The other workstation's record is left as it stored it.
        QCOMPARE(o.sql(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE descr='%2'").arg(table, theirs["descr"].toString())),
                 QStringLiteral("1"));
    }

    // An entry that cannot go back says why, stays in the bin, and the
    // entries chosen with it go back all the same.
    void aRefusedEntrySaysWhyAndTheNextGoesBack_data()
    {
        QTest::addColumn<QStringList>("deletes");   // table:criterion, oldest first
        QTest::addColumn<QList<int>>("chosen");      // rows of the list: the refused entry, the client
        QTest::addColumn<bool>("restoredElsewhere");  // the newest entry, by another workstation
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("left");              // entries left in the bin
        const QString client = "Clienti:codice=7";
        QTest::newRow("item whose project is gone")
            << QStringList{client, "RighePRJ:codice='L21'", "RighePRJ:codice='L11'", "Progetti:codice='P1'"}
            << QList<int>{1, 3} << false << "Il progetto P1 non c'è più: ripristinare prima il progetto." << 3;
        QTest::newRow("level-2 item whose level-1 item is in the bin")
            << QStringList{client, "RighePRJ:codice='L21'", "RighePRJ:codice='L11'"} << QList<int>{1, 2} << false
            << "L'elemento L21 stava sotto l'elemento L11 del progetto P1, che è nel cestino: ripristinare prima L11."
            << 2;
        QTest::newRow("put back by another workstation")
            << QStringList{client, "RighePRJ:codice='L21'"} << QList<int>{0, 1} << true
            << "La voce non è più nel cestino: un'altra postazione l'ha già ripristinata o eliminata." << 0;
    }
    void aRefusedEntrySaysWhyAndTheNextGoesBack()
    {
        QFETCH(QStringList, deletes);
        QFETCH(QList<int>, chosen);
        QFETCH(bool, restoredElsewhere);
        QFETCH(QString, said);
        QFETCH(int, left);
        Bin o;
        o.sql("INSERT INTO Clienti(codice,descr) VALUES(7,'Verdi')");
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Ponte')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'L11','Pila'),('P1',2,'L21','Trave')");
        for (const QString &d : deletes) {
            const QString table = d.section(':', 0, 0);
            o.remove(table == "Clienti" ? o.s.archive.clients()
                     : table == "Progetti" ? o.s.archive.projects()
                                           : o.s.archive.items(),
                     d.section(':', 1));
        }
        o.open();
        if (restoredElsewhere) {
            Elsewhere other(o.f.dataArchive());
            QVERIFY(other.ok);
            QVector<BinEntry> listed;
            QString message;
            RecycleBin theirs(other.archive);
            QVERIFY(theirs.list(&listed, &message));
            QCOMPARE(theirs.restore(listed.first().key, {}, &message), RecycleBin::Restore::Done);
        }
        o.choose(chosen);
        o.click("cmdRipristina");
        QCOMPARE(o.messages(), QStringList{said});
        QCOMPARE(o.sql("SELECT descr FROM Clienti WHERE codice=7"), QStringLiteral("Verdi"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Cestino"), QString::number(left));
        QCOMPARE(o.list()->rowCount(), left);
    }

    // A level-1 item goes back where it was, unless level-2 items stored
    // since would then hang under it: it then goes after the project's last item.
    void aLevel1ItemNeverTakesOtherItemsUnderIt_data()
    {
        QTest::addColumn<QString>("since");   // the item stored after the delete
        QTest::addColumn<QStringList>("tree");
        QTest::newRow("a level-1 item after it") << "1:B" << QStringList{"PP1", "  L1CX", "  L1CA", "  L1CB"};
        QTest::newRow("a level-2 item after it")
            << "2:N" << QStringList{"PP1", "  L1CX", "    L2CN", "  L1CA"};
    }
    void aLevel1ItemNeverTakesOtherItemsUnderIt()
    {
        QFETCH(QString, since);
        QFETCH(QStringList, tree);
        Bin o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Ponte')");
        o.sql("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',1,'X','x'),('P1',1,'A','a')");
        o.remove(o.s.archive.items(), "codice='A'");
        o.sql(QStringLiteral("INSERT INTO RighePRJ(codprj,livello,codice,descr) VALUES('P1',%1,'%2','d')")
                  .arg(since.section(':', 0, 0), since.section(':', 1)));
        o.open();
        o.choose({0});
        o.click("cmdRipristina");
        QCOMPARE(o.messages(), QStringList());
        frmProgetti projects(o.s);
        QCOMPARE(shape(projects.treeModel()), tree);
    }

    void emptyingForGoodAsksFirst_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("yes") << true << QStringList{"Cliente|3|Tre|mario (PC-UFFICIO)"};
        QTest::newRow("no") << false
                            << QStringList{"Cliente|1|Uno|mario (PC-UFFICIO)", "Cliente|2|Due|mario (PC-UFFICIO)",
                                           "Cliente|3|Tre|mario (PC-UFFICIO)"};
    }
    void emptyingForGoodAsksFirst()
    {
        QFETCH(bool, yes);
        QFETCH(QStringList, left);
        Bin o;
        o.sql("INSERT INTO Clienti(codice,descr) VALUES(1,'Uno'),(2,'Due'),(3,'Tre')");
        for (const char *code : {"codice=3", "codice=2", "codice=1"})
            o.remove(o.s.archive.clients(), code);
        o.open();
        o.choose({0, 1});
        MessageBox::setNextAnswer(yes ? MessageBox::Answer::Yes : MessageBox::Answer::No);
        o.click("cmdElimina");
        QCOMPARE(o.messages(),
                 QStringList{"Eliminare definitivamente le voci scelte (2)? Non si potranno più ripristinare."});
        QCOMPARE(MessageBox::shown().first().buttons, MessageBox::Buttons::YesNoDefaultNo);
        QCOMPARE(o.rows(), left);
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Cestino"), QString::number(left.size()));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Clienti"), QStringLiteral("0"));
    }

    void nothingChosenChangesNothing_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("restore") << "cmdRipristina";
        QTest::newRow("empty for good") << "cmdElimina";
    }
    void nothingChosenChangesNothing()
    {
        QFETCH(QString, button);
        Bin o;
        o.sql("INSERT INTO Clienti(codice,descr) VALUES(1,'Uno')");
        o.remove(o.s.archive.clients(), "codice=1");
        o.open();
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click(qPrintable(button));
        QCOMPARE(o.messages(), QStringList{"Nessuna voce scelta: scegliere nell'elenco le voci del cestino."});
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Cestino"), QStringLiteral("1"));
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Clienti"), QStringLiteral("0"));
    }

    // At start the day's first workstation empties the entries older than
    // the bin's days; later starts that day find it done.
    void oldEntriesAreEmptiedAtStart_data()
    {
        QTest::addColumn<int>("days");          // 0: never set
        QTest::addColumn<QList<int>>("ages");   // days since each entry was deleted
        QTest::addColumn<QList<int>>("kept");
        QTest::newRow("90 days unless set") << 0 << QList<int>{0, 30, 89, 90, 91, 400} << QList<int>{0, 30, 89, 90};
        QTest::newRow("30 days set") << 30 << QList<int>{0, 29, 30, 31, 89} << QList<int>{0, 29, 30};
    }
    void oldEntriesAreEmptiedAtStart()
    {
        QFETCH(int, days);
        QFETCH(QList<int>, ages);
        QFETCH(QList<int>, kept);
        Bin o;
        QString error;
        if (days > 0)
            QVERIFY(RecycleBin(o.s.archive).setKeepDays(days, &error));
        const QDate today = QDate::currentDate();
        const auto addEntry = [&](int age) {
            const QString when = QDateTime(today.addDays(-age), QTime(12, 0)).toString("yyyy-MM-dd HH:mm:ss");
            o.sql(QStringLiteral("INSERT INTO Cestino(tabella,chiave,codice,descr,riga,utente,postazione,eliminato) "
                                 "VALUES('Clienti',%1,'%1','x','{}','mario','PC','%2')")
                      .arg(age)
                      .arg(when));
        };
        const auto left = [&] {
            QList<int> out;
            for (const QString &code : o.sql("SELECT group_concat(codice, ',') FROM Cestino").split(','))
                out << code.toInt();
            std::sort(out.begin(), out.end());
            return out;
        };
        for (int age : ages)
            addEntry(age);
        {
            frmMain w(o.s);
            w.startDailyBackup(today);
            QTRY_VERIFY(!w.dailyBackupRunning());
            QVERIFY(w.findChild<QLabel *>("lblBackup")->text().isEmpty());
        }
        QCOMPARE(left(), kept);

        // Another start the same day: what is old now stays until tomorrow.
        addEntry(500);
        {
            frmMain w(o.s);
            w.startDailyBackup(today);
            QTRY_VERIFY(!w.dailyBackupRunning());
        }
        QCOMPARE(left(), kept + QList<int>{500});
        o.open();
        QCOMPARE(o.w->findChild<QLabel *>("lblCestino")->text(),
                 QStringLiteral("Ogni voce resta nel cestino %1 giorni dalla sua eliminazione, poi viene tolta.")
                     .arg(days > 0 ? days : 90));
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void aFailedEmptyingIsALineUnderTheHeader()
    {
        Bin o;
        o.sql("DROP TABLE Impostazioni");
        frmMain w(o.s);
        w.startDailyBackup(QDate::currentDate());
        QTRY_VERIFY(!w.dailyBackupRunning());
        QVERIFY2(w.findChild<QLabel *>("lblBackup")->text().startsWith("Pulizia del cestino non eseguita: "),
                 qPrintable(w.findChild<QLabel *>("lblBackup")->text()));
        QVERIFY(MessageBox::shown().isEmpty());
    }

    // Without the bin (an archive whose owner has not made it yet) the window
    // says why and offers nothing.
    void withoutTheBinTheWindowSaysWhy()
    {
        GuiFixture f;
        // A view where the bin would be made: the owner's attempt fails.
        sqlValue(f.dataArchive(), "DROP TABLE Cestino");
        sqlValue(f.dataArchive(), "CREATE VIEW Cestino AS SELECT 1 AS x");
        Session s;
        s.state.PercorsoDati = f.data();
        QVERIFY(ApriArchivio(s.state, s.archive, f.program()).isEmpty());
        frmCestino w(s);
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        w.show();
        QCOMPARE(w.findChild<QLabel *>("lblCestino")->text(), s.archive.safetyMissing());
        QVERIFY(w.findChild<QLabel *>("lblCestino")->text().startsWith("L'archivio non ha ancora il cestino"));
        QVERIFY(!w.findChild<QPushButton *>("cmdRipristina")->isEnabled());
        QVERIFY(!w.findChild<QPushButton *>("cmdElimina")->isEnabled());
        QVERIFY(w.findChild<QPushButton *>("cmdChiudi")->isEnabled());
    }

    // From the main window's File menu, one window; what it puts back shows
    // in the open project window's tree.
    void theMainWindowOpensItOnceAndTheTreeCatchesUp()
    {
        Bin o;
        o.sql("INSERT INTO Progetti(codice,descr) VALUES('P1','Ponte'),('P2','Strada')");
        frmMain main(o.s);
        main.cmdProgetti_Click();
        frmProgetti *projects = main.progetti();
        QVERIFY(projects);
        QVERIFY(clickNode(projects, "PP1"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        QTest::mouseClick(projects->findChild<QPushButton *>("cmdElimina"), Qt::LeftButton);
        QCOMPARE(shape(projects->treeModel()), QStringList{"PP2"});

        auto *menu = main.findChild<QAction *>("mnuCestino");
        QCOMPARE(menu->text(), QStringLiteral("Cestino"));
        menu->trigger();
        frmCestino *bin = main.cestino();
        QVERIFY(bin && bin->isVisible());
        QCOMPARE(bin->findChild<QTableWidget *>("lstCestino")->rowCount(), 1);

        // Deleted meanwhile: listed when the menu brings the window up again.
        QVERIFY(clickNode(projects, "PP2"));
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        QTest::mouseClick(projects->findChild<QPushButton *>("cmdElimina"), Qt::LeftButton);
        menu->trigger();
        QCOMPARE(main.cestino(), bin);
        auto *list = bin->findChild<QTableWidget *>("lstCestino");
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(list->item(1, 1)->text(), QStringLiteral("P1"));

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1, 1)).center());
        QTest::mouseClick(bin->findChild<QPushButton *>("cmdRipristina"), Qt::LeftButton);
        QCOMPARE(shape(projects->treeModel()), QStringList{"PP1"});
    }
};

QTEST_MAIN(TestCestino)
#include "tst_cestino.moc"
