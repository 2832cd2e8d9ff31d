// SPDX-License-Identifier: GPL-3.0-or-later
// The components window: list, types, new numbered names, attach, open,
// removal, drag and drop, and the notes page.
#include "TestSupport.h"
#include "components/rtf/Rtf.h"
#include "components/frmCOmponenti.h"
#include "data/basMain.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QHeaderView>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace {
struct Opened : SessionFixture {
    std::unique_ptr<frmCOmponenti> w;

    Opened(int level = 0, const QString &element = "P1")
    {
        s.state.LivelloCorrente = level;
        s.state.ElementoCorrente = element;
        QDir(f.data()).mkpath("P1");
        s.state.FileNote = f.data() + "/P1/" + element;
    }
    frmCOmponenti *open(const QString &dataIns = "07/12/2026")
    {
        w = std::make_unique<frmCOmponenti>(s);
        w->CodPrj = "P1";
        w->DataIns = dataIns;
        w->Form_Load();
        w->show();
        return w.get();
    }
    QTableWidget *grid() const { return w->findChild<QTableWidget *>("Grid1"); }
    QString cell(int row, int col) const
    {
        const QTableWidgetItem *item = grid()->item(row, col);
        return item ? item->text() : QString();
    }
    QStringList column(int col) const
    {
        QStringList out;
        for (int r = 1; r < grid()->rowCount(); ++r)
            out << cell(r, col);
        return out;
    }
    void click(const char *name) const { QTest::mouseClick(w->findChild<QPushButton *>(name), Qt::LeftButton); }
    void setType(const QString &t) const { w->findChild<QComboBox *>("cboTipo")->setEditText(t); }
    QString lastMessage() const { return MessageBox::shown().isEmpty() ? QString() : MessageBox::shown().last().text; }
};
} // namespace

class TestComponenti : public QObject {
    Q_OBJECT

private slots:
    void emptyProjectShowsTheHeaderAndOneEmptyRow()
    {
        Opened o;
        o.open();
        QCOMPARE(o.w->windowTitle(), QStringLiteral("COMPONENTI DEL PROGETTO"));
        QCOMPARE(o.grid()->rowCount(), 1);
        QCOMPARE(o.grid()->columnCount(), 4);
        QStringList headers;
        for (int c = 0; c < 4; ++c)
            headers << o.grid()->horizontalHeaderItem(c)->text();
        QCOMPARE(headers, QStringList({"Data Inserimento", "Nome del Componente", "Dimensioni Kb", "Tipo"}));
        // Never narrower than designed; the name takes what the others leave.
        const int designed[4] = {120, 206, 73, 66};
        for (int c = 0; c < 4; ++c)
            QVERIFY(o.grid()->columnWidth(c) >= designed[c]);
        int widths = 0;
        for (int c = 0; c < 4; ++c)
            widths += o.grid()->columnWidth(c);
#ifndef _WIN32
        // (Under Wine the substitute fonts make the date and header wider.)
        QCOMPARE(widths, o.grid()->viewport()->width());
#endif
        auto *type = o.w->findChild<QComboBox *>("cboTipo");
        QCOMPARE(type->count(), 4);
        QCOMPARE(type->itemText(2), QStringLiteral(".DXF"));
        QVERIFY(type->itemText(3).isEmpty());
        QVERIFY(type->currentText().isEmpty());
        QVERIFY(!o.w->findChild<QPushButton *>("cmdUsa")->isEnabled());
        QVERIFY(o.w->Esegui.isEmpty());
    }

    void listsEveryComponentOfTheProjectWithSizes()
    {
        Opened o;
        writeBytes(o.f.root() + "/cinque.dwg", "12345");
        o.sql(QString("INSERT INTO Componenti(codprj,livello,codice,file,tipo,inserito) VALUES"
                      "('P1',0,'P1','%1/cinque.dwg','.DWG','2026-12-07 09:05:03'),"
                      "('P2',0,'P2','/altro.dwg','.DWG','2026-12-07'),"
                      "('p1',1,'L11','/manca.igs','.IGS','2026-01-02'),"
                      "('P1',NULL,NULL,'%1','.DIR',NULL)").arg(o.f.root()));
        o.open();
        QCOMPARE(o.column(1), QStringList({o.f.root() + "/cinque.dwg", "/manca.igs", o.f.root()}));
        QCOMPARE(o.column(2), QStringList({"5", "0", "0"}));
        QCOMPARE(o.column(3), QStringList({".DWG", ".IGS", ".DIR"}));
        QCOMPARE(o.column(0), QStringList({"07/12/2026 09:05:03", "02/01/2026", ""}));
    }

    void typeOfAPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("type");
        QTest::newRow("drawing") << "C:\\Disegni\\pezzo.dwg" << ".DWG";
        QTest::newRow("no dot") << "/dati/LEGGIMI" << "";
        QTest::newRow("dot in a folder name") << "/dati/v1.2/pezzo" << "";
        QTest::newRow("dots in folder and name") << "/dati/v1.2/pezzo.tar.gz" << ".GZ";
        QTest::newRow("accented") << "/dati/città.dxf" << ".DXF";
    }
    void typeOfAPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, type);
        QCOMPARE(componentType(path), type);
    }

    void aggiungiRecordsThePathForTheItem()
    {
        Opened o(1, "L11");
        const QString file = o.f.root() + "/v1.2/pezzo.dwg";
        QDir(o.f.root()).mkpath("v1.2");
        writeBytes(file, QByteArray(1234, 'x'));
        o.open("07/12/2026");
        QDir::setCurrent(o.f.data());
        FileDialog::setNextFileName(file);
        o.click("cmdAggiungi");
        QCOMPARE(FileDialog::initialNames(), QStringList({"*.*"}));
        QCOMPARE(o.column(1), QStringList({file}));
        QCOMPARE(o.column(2), QStringList({"1234"}));
        QCOMPARE(o.column(0), QStringList({"07/12/2026"}));
        QCOMPARE(o.sql("SELECT codprj||'|'||livello||'|'||codice||'|'||tipo||'|'||inserito FROM Componenti"),
                 QStringLiteral("P1|1|L11|.DWG|2026-12-07 00:00:00"));
        QCOMPARE(QDir::currentPath(), o.f.program());

        // A cancelled dialog adds nothing and still sets the folder back.
        QDir::setCurrent(o.f.data());
        FileDialog::setNextFileName(QString());
        o.click("cmdAggiungi");
        QCOMPARE(o.grid()->rowCount(), 2);
        QCOMPARE(QDir::currentPath(), o.f.program());
    }

    // A file from outside the data folder is copied into the item's folder
    // when the user says so (never over a file there), or linked and marked.
    void aFileFromOutsideIsCopiedOrLinked()
    {
        Opened o(1, "L11");
        QDir(o.f.data()).mkpath("P1/L11");
        o.s.state.FileNote = o.f.data() + "/P1/L11/L11";
        const QString outside = o.f.root() + "/Documenti/pianta.dwg";
        QDir(o.f.root()).mkpath("Documenti");
        writeBytes(outside, "pianta nuova");
        writeBytes(o.f.data() + "/P1/L11/pianta.dwg", "pianta di prima");
        o.open();
        const QString question = QStringLiteral("Il file non è nella cartella dati: le altre postazioni non potranno aprirlo. "
                                                "Copiarlo nella cartella del progetto ?");

        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        FileDialog::setNextFileName(outside);
        o.click("cmdAggiungi");
        QCOMPARE(o.lastMessage(), question);
        const QString copy = o.f.data() + "/P1/L11/pianta (2).dwg";
        QCOMPARE(o.column(1), QStringList({native(copy)}));
        QCOMPARE(readBytes(copy), QByteArray("pianta nuova"));
        QCOMPARE(readBytes(o.f.data() + "/P1/L11/pianta.dwg"), QByteArray("pianta di prima"));
        QCOMPARE(o.sql("SELECT file FROM Componenti"), native(copy));
        QVERIFY(!o.grid()->item(1, 1)->data(Qt::UserRole).toBool());

        MessageBox::clearShown();
        FileDialog::setNextFileName(outside);
        o.click("cmdAggiungi");   // No: linked as it is, and marked
        QCOMPARE(o.lastMessage(), question);
        QCOMPARE(o.cell(2, 1), outside);
        QVERIFY(o.grid()->item(2, 1)->data(Qt::UserRole).toBool());
        QVERIFY(o.grid()->item(2, 1)->toolTip().contains("Fuori dalla cartella dati"));

        // A file already inside the data folder is attached without a question.
        MessageBox::clearShown();
        FileDialog::setNextFileName(o.f.data() + "/P1/L11/pianta.dwg");
        o.click("cmdAggiungi");
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Componenti"), QStringLiteral("3"));
        // The marks come back when the window lists the components again.
        o.open();
        QVERIFY(o.grid()->item(2, 1)->data(Qt::UserRole).toBool());
        QVERIFY(!o.grid()->item(3, 1)->data(Qt::UserRole).toBool());
    }

    void nuovoRegistersANumberedName()
    {
        Opened o;
        o.s.state.ContatoreComponenti = 17;
        o.open();
        o.click("cmdNuovo");
        QCOMPARE(o.lastMessage(), QStringLiteral("Scegliere il tipo di componente da aggiungere !"));
        QCOMPARE(MessageBox::shown().last().icon, MessageBox::Icon::None);
        QCOMPARE(o.s.state.ContatoreComponenti, 17);
        QCOMPARE(o.grid()->rowCount(), 1);

        o.setType("dwg");
        o.click("cmdNuovo");
        QCOMPARE(o.s.state.ContatoreComponenti, 18);
        QCOMPARE(o.column(1), QStringList({native(o.f.data() + "/18dwg")}));
        QCOMPARE(o.column(2), QStringList({"0"}));
        QVERIFY(!QFileInfo::exists(o.f.data() + "/18dwg"));
        QCOMPARE(o.sql("SELECT codprj||'|'||tipo||'|'||quote(livello)||'|'||quote(codice) FROM Componenti"),
                 QStringLiteral("P1|dwg|NULL|NULL"));
        // The date it set is what a following attach stores.
        const QString stamp = o.w->DataIns;
        QVERIFY(stamp != QStringLiteral("07/12/2026"));
        const QString file = o.f.root() + "/a.dxf";
        writeBytes(file, "x");
        FileDialog::setNextFileName(file);
        o.click("cmdAggiungi");
        QCOMPARE(o.cell(2, 0), stamp);
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Componenti WHERE inserito=(SELECT inserito FROM Componenti WHERE tipo='dwg')"),
                 QStringLiteral("2"));
    }

    void nuovoPassesOverNamesAlreadyTaken()
    {
        Opened o;
        o.s.state.ContatoreComponenti = 4;
        o.sql(QString("INSERT INTO Componenti(codprj,file,tipo) VALUES('P9','%1/5.dwg','.DWG')").arg(o.f.data()));
        writeBytes(o.f.data() + "/6.DWG", "disegno di un'altra postazione");
        o.open();
        o.setType(".DWG");
        o.click("cmdNuovo");
        QCOMPARE(o.column(1), QStringList({native(o.f.data() + "/7.DWG")}));
        QCOMPARE(o.s.state.ContatoreComponenti, 7);
        QCOMPARE(readBytes(o.f.data() + "/6.DWG"), QByteArray("disegno di un'altra postazione"));
    }

    void twoWorkstationsNeverRegisterOneName()
    {
        // The other workstation registers 1.DWG while this one's window is
        // open; the number is chosen in the transaction that stores it.
        Opened o;
        o.open();
        Archive other;
        QString error;
        QVERIFY(other.open(o.f.dataArchive(), &error));
        RecordView &theirs = other.components();
        theirs.addNew();
        QVERIFY(theirs.setValue(u"codprj", "P2") && theirs.setValue(u"file", o.f.data() + "/1.DWG") && theirs.update());
        // A link at the next name (dangling or not) is passed over too;
        // Windows has only shortcuts, a file of their own.
#ifdef _WIN32
        const QString next = native(o.f.data() + "/2.DWG");
#else
        QVERIFY(QFile::link(o.f.root() + "/altrove.DWG", o.f.data() + "/2.DWG"));
        const QString next = o.f.data() + "/3.DWG";
#endif
        o.setType(".DWG");
        o.click("cmdNuovo");
        QCOMPARE(o.column(1), QStringList({next}));
        QCOMPARE(o.sql("SELECT group_concat(file, ' ') FROM Componenti"), o.f.data() + "/1.DWG " + next);
    }

    void nuovoRefusesAtTheEndOfTheCounterAndUnsafeTypes()
    {
        Opened o;
        o.s.state.ContatoreComponenti = 2147483647;
        o.open();
        o.setType(".DWG");
        o.click("cmdNuovo");
        QVERIFY(o.lastMessage().contains("2147483647"));
        QCOMPARE(o.s.state.ContatoreComponenti, 2147483647);
        o.s.state.ContatoreComponenti = 1;
        for (const QString &bad : {QString("/../../etc/x"), QString(".D\\WG"), QString(".DWG\n")}) {
            o.setType(bad);
            o.click("cmdNuovo");
            QVERIFY(o.lastMessage().contains("separatori"));
        }
        QCOMPARE(o.grid()->rowCount(), 1);
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Componenti"), QStringLiteral("0"));
        QCOMPARE(o.s.state.ContatoreComponenti, 1);
    }

    void aRefusedWriteLeavesNoRow()
    {
        Opened o;
        o.sql(testOnServer() ? "CREATE FUNCTION no_comp() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                               "RAISE EXCEPTION 'disco pieno'; END $$; CREATE TRIGGER no_comp BEFORE INSERT "
                               "ON componenti FOR EACH ROW EXECUTE FUNCTION no_comp()"
                             : "CREATE TRIGGER no_comp BEFORE INSERT ON Componenti BEGIN SELECT RAISE(ABORT,'disco pieno'); END");
        o.s.state.ContatoreComponenti = 3;
        o.open();
        o.setType(".DWG");
        o.click("cmdNuovo");
        QVERIFY(o.lastMessage().contains("disco pieno"));
        QCOMPARE(o.s.state.ContatoreComponenti, 3);
        FileDialog::setNextFileName(o.f.dataArchive());
        o.click("cmdAggiungi");
        QCOMPARE(o.grid()->rowCount(), 1);
    }

    void removalTakesOnlyTheItemsOwnComponents()
    {
        Opened o(1, "L11");
        o.sql("INSERT INTO Componenti(codprj,livello,codice,file,tipo) VALUES"
              "('P1',1,'L11','/a.dwg','.DWG'),('P1',1,'L12','/b.dwg','.DWG'),('P1',NULL,NULL,'/c.dwg','.DWG'),"
              "('P1',1,'L11','/d.dwg','.DWG')");
        o.open();
        QCOMPARE(o.column(1), QStringList({"/a.dwg", "/b.dwg", "/c.dwg", "/d.dwg"}));

        MessageBox::setNextAnswer(MessageBox::Answer::No);
        o.w->Grid1_DblClick(1);
        QCOMPARE(o.lastMessage(), QStringLiteral("Vuoi togliere il componente selezionato ?"));
        QCOMPARE(o.grid()->rowCount(), 5);

        // Another item's, a numbered one, the empty row: each says why it stays.
        const QStringList why = {"Il componente non è stato tolto: appartiene a L12 e si toglie dalla finestra dei suoi "
                                 "componenti.",
                                 "Il componente non è stato tolto: è stato registrato con «Nuovo» senza un elemento, "
                                 "e da qui non si può togliere.",
                                 "Nessun componente in questa riga."};
        const int rows[3] = {2, 3, 0};
        for (int i = 0; i < 3; ++i) {
            MessageBox::setNextAnswer(MessageBox::Answer::Yes);
            o.w->Grid1_DblClick(rows[i]);
            QCOMPARE(o.lastMessage(), why[i]);
        }
        QCOMPARE(o.grid()->rowCount(), 5);
        QCOMPARE(o.sql("SELECT COUNT(*) FROM Componenti"), QStringLiteral("4"));

        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.w->Grid1_DblClick(4);
        QCOMPARE(o.column(1), QStringList({"/a.dwg", "/b.dwg", "/c.dwg"}));
        QCOMPARE(o.sql("SELECT group_concat(file) FROM Componenti"), QStringLiteral("/a.dwg,/b.dwg,/c.dwg"));
    }

    void eseguiOpensOrSaysNotFound()
    {
        Opened o;
        const QString there = o.f.root() + "/c'è.dwg";
        writeBytes(there, "x");
        o.sql(QString("INSERT INTO Componenti(codprj,file) VALUES('P1','%1'),('P1','/manca.dwg')").arg(QString(there).replace("'", "''")));
        o.open();
        auto *usa = o.w->findChild<QPushButton *>("cmdUsa");
        const QRect cell = o.grid()->visualItemRect(o.grid()->item(1, 1));
        QTest::mouseClick(o.grid()->viewport(), Qt::LeftButton, {}, cell.center());
        QVERIFY(usa->isEnabled());
        QCOMPARE(o.w->Esegui, there);
        o.click("cmdUsa");
        QCOMPARE(Desktop::opened(), QStringList({there}));

        o.w->Grid1_Click(2);
        o.click("cmdUsa");
        QCOMPARE(o.lastMessage(), QStringLiteral("Il componente \n/manca.dwg\nNON è stato trovato !"));
        QCOMPARE(MessageBox::shown().last().icon, MessageBox::Icon::Exclamation);
        QCOMPARE(Desktop::opened().size(), 1);

        // A file that no program takes says so.
        o.w->Grid1_Click(1);
        Desktop::setNextResult(false);
        o.click("cmdUsa");
        QVERIFY2(o.lastMessage().startsWith("Nessun programma del sistema apre il componente \n" + there),
                 qPrintable(o.lastMessage()));
    }

    void aPathFromAnotherWorkstationFindsTheFileInTheDataFolder()
    {
        Opened o;
        QVERIFY(QDir(o.f.data()).mkpath("P1/L1"));
        const QString here = o.f.data() + "/P1/L1/disegno.dwg";
        writeBytes(here, "12345");
        const QString windows = "S:\\Studio\\P1\\L1\\disegno.dwg", missing = "S:\\Studio\\P9\\manca.dwg";
        o.sql(QString("INSERT INTO Componenti(codprj,file) VALUES('P1','%1'),('P1','%2')").arg(windows, missing));
        o.open();
        // The rows show what is stored; the size is the file found.
        QCOMPARE(o.column(1), QStringList({windows, missing}));
        QCOMPARE(o.column(2), QStringList({"5", "0"}));
        const QRect cell = o.grid()->visualItemRect(o.grid()->item(1, 1));
        QTest::mouseClick(o.grid()->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(o.w->Esegui, native(here));
        o.click("cmdUsa");
        QCOMPARE(Desktop::opened(), QStringList({here}));
        Desktop::setNextResult(false);
        o.click("cmdUsa");
        QVERIFY2(o.lastMessage().startsWith("Nessun programma del sistema apre il componente \n" + native(here)),
                 qPrintable(o.lastMessage()));
        // The file found has gone: the message names it.
        QVERIFY(QFile::remove(here));
        o.click("cmdUsa");
        QCOMPARE(o.lastMessage(), "Il componente \n" + native(here) + "\nNON è stato trovato !");

        o.w->Grid1_Click(2);
        o.click("cmdUsa");
        QCOMPARE(o.lastMessage(), "Il componente \n" + missing + "\nNON è stato trovato !");
        QCOMPARE(Desktop::opened().size(), 2);
        QCOMPARE(o.sql("SELECT group_concat(file, '|') FROM Componenti"), windows + "|" + missing);
    }

    void relativePathsAndFoldersAreNoComponentFiles()
    {
        Opened o;
        writeBytes(o.f.data() + "/P1/disegno.dwg", "abc");
        QVERIFY(QDir::setCurrent(o.f.data() + "/P1"));
        const QString longPath = o.f.root() + "/" + QString(30, 'a') + "/" + QString(30, 'b') + "/pezzo.dwg";
        o.sql(QString("INSERT INTO Componenti(codprj,file) VALUES('P1','disegno.dwg'),('P1','%1'),('P1','%2')")
                  .arg(o.f.data(), longPath));
        o.open();
        QCOMPARE(o.column(2), QStringList({"0", "0", "0"}));
        for (int row : {1, 2}) {
            o.w->Grid1_Click(row);
            o.click("cmdUsa");
            QVERIFY(o.lastMessage().endsWith("NON è stato trovato !"));
        }
        QVERIFY(Desktop::opened().isEmpty());
        // A long path keeps its file name in view, and shows whole as a tooltip.
        QCOMPARE(o.grid()->textElideMode(), Qt::ElideMiddle);
        QCOMPARE(o.grid()->item(3, 1)->toolTip(), longPath);
    }

    void dropAttachesOneComponentPerFile()
    {
        Opened o(2, "L21");
        const QString a = o.f.root() + "/uno.igs", b = o.f.root() + "/due";
        writeBytes(a, "1");
        writeBytes(b, "22");
        o.open();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl::fromLocalFile(o.f.data()),
                      QUrl("https://esempio.it/x.dwg")});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(o.w.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(o.w.get(), &drop);
        QCOMPARE(o.column(1), QStringList({native(a), native(b)}));
        QCOMPARE(o.column(3), QStringList({".IGS", ""}));
        QCOMPARE(o.sql("SELECT group_concat(livello||codice||tipo) FROM Componenti"), QStringLiteral("2L21.IGS,2L21"));
    }

    void notesAreLoadedAndSavedInRtf()
    {
        Opened o;
        writeBytes(o.s.state.FileNote, "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}"
                                       "\\pard\\f0\\fs20 Nota \\b importante\\b0  sul ponte\\par\r\n}");
        o.open();
        auto *notes = o.w->findChild<QTextEdit *>("RTF1");
        QCOMPARE(notes->toPlainText(), QStringLiteral("Nota importante sul ponte"));
        notes->append("seconda riga: città");
        o.click("cmdChiudi");
        const QByteArray saved = readBytes(o.s.state.FileNote);
        QVERIFY(saved.startsWith("{\\rtf1\\ansi\\ansicpg1252"));
        QTextDocument back;
        Rtf::read(saved, &back);
        QCOMPARE(back.toPlainText(), QStringLiteral("Nota importante sul ponte\nseconda riga: città"));
        // Its text is kept for searches in the same save, with the file's size and fingerprint.
        QCOMPARE(o.sql("SELECT testo || '|' || dimensione || '|' || impronta FROM TestiNote WHERE percorso = 'P1/P1'"),
                 back.toPlainText() + '|' + QString::number(saved.size()) + '|'
                     + QCryptographicHash::hash(saved, QCryptographicHash::Sha256).toHex());

        // A notes file that is not RTF loads as plain text.
        writeBytes(o.s.state.FileNote, "appunti semplici\r\nsu due righe");
        o.open();
        QCOMPARE(o.w->findChild<QTextEdit *>("RTF1")->toPlainText(), QStringLiteral("appunti semplici\r\nsu due righe").replace("\r\n", "\n"));
    }

    void notesAreWrittenOnlyWhenChanged()
    {
        Opened o;
        QFile::remove(o.s.state.FileNote);
        o.open();
        o.w->close();
        QVERIFY(!QFileInfo::exists(o.s.state.FileNote));

        // A page written by another program, opened and closed untouched,
        // stays byte for byte; it opens at its top.
        QByteArray foreign = "\xef\xbb\xbf{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\*\\generator Altro;}\\f0 prima\\par ";
        for (int i = 0; i < 200; ++i)
            foreign += "riga " + QByteArray::number(i) + "\\par ";
        foreign += "{\\footnote nota a pi\\'e8}}";
        writeBytes(o.s.state.FileNote, foreign);
        o.open();
        auto *notes = o.w->findChild<QTextEdit *>("RTF1");
        QCOMPARE(notes->textCursor().position(), 0);
        o.click("cmdChiudi");
        QCOMPARE(readBytes(o.s.state.FileNote), foreign);

        // Ctrl+B formats what is typed next, and that is what is saved.
        o.open();
        notes = o.w->findChild<QTextEdit *>("RTF1");
        notes->setFocus();
        QTest::keyClick(notes, Qt::Key_B, Qt::ControlModifier);
        QTest::keyClicks(notes, "Urgente");
        o.click("cmdChiudi");
        QTextDocument back;
        Rtf::read(readBytes(o.s.state.FileNote), &back);
        QVERIFY(back.toPlainText().startsWith("Urgenteprima"));
        QCOMPARE(back.begin().begin().fragment().charFormat().fontWeight(), int(QFont::Bold));
    }

    void largeNotesLoadBehindAProgressDialog_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("read whole") << false;
        QTest::newRow("cancelled") << true;
    }
    void largeNotesLoadBehindAProgressDialog()
    {
        QFETCH(bool, cancel);
        Opened o;
        QByteArray page = "{\\rtf1\\ansi ";
        const QByteArray line = "una riga di note abbastanza lunga da riempire la pagina\\par\r\n";
        while (page.size() < (cancel ? 8 : 1) * frmCOmponenti::kLargeNotes + 1)
            page += line;
        page += "fine}";
        writeBytes(o.s.state.FileNote, page);
        bool sawDialog = false;
        QTimer::singleShot(0, [&] {
            for (QWidget *top : QApplication::topLevelWidgets())
                if (auto *dlg = qobject_cast<QProgressDialog *>(top); dlg && dlg->objectName() == "prgNote") {
                    sawDialog = true;
                    if (cancel)
                        dlg->cancel();
                }
        });
        o.open();
        QVERIFY(sawDialog);
        auto *notes = o.w->findChild<QTextEdit *>("RTF1");
        if (cancel) {
            QVERIFY(o.lastMessage().startsWith("Caricamento delle note annullato"));
            QVERIFY(notes->isReadOnly());
            QVERIFY(notes->toPlainText().isEmpty());
        } else {
            QVERIFY(notes->toPlainText().endsWith("pagina\nfine"));
            QTest::keyClicks(notes, "x");
            QVERIFY(notes->document()->isModified());
            notes->document()->undo();
            notes->document()->setModified(false);
        }
        o.click("cmdChiudi");
        QCOMPARE(readBytes(o.s.state.FileNote), page);
    }

    void wordProcessorPagesSurviveTheWindow_data()
    {
        QTest::addColumn<QString>("sample");
        for (const QString &name : QDir(VELBOR_SAMPLES).entryList({"*.rtf"}, QDir::Files))
            QTest::newRow(qPrintable(name)) << name;
    }
    void wordProcessorPagesSurviveTheWindow()
    {
        QFETCH(QString, sample);
        Opened o;
        const QByteArray original = readBytes(QString(VELBOR_SAMPLES "/") + sample);
        writeBytes(o.s.state.FileNote, original);
        o.open();
        o.click("cmdChiudi");
        QCOMPARE(readBytes(o.s.state.FileNote), original);

        // One letter typed at the end: pictures, cells, footnotes, links and
        // list entries are all still in the bytes, counted without our reader.
        o.open();
        auto *notes = o.w->findChild<QTextEdit *>("RTF1");
        notes->moveCursor(QTextCursor::End);
        QTest::keyClicks(notes, "x");
        o.click("cmdChiudi");
        const QByteArray saved = readBytes(o.s.state.FileNote);
        QVERIFY(saved != original);
        // A \nonshppict group repeats a picture for old readers: one picture.
        const auto count = [](const QByteArray &rtf, const char *word) {
            // Whole control words only: \header is not \headery.
            const QRegularExpression whole(QRegularExpression::escape(QString::fromLatin1(word)) + "(?![a-z])");
            const QString text = QString::fromLatin1(rtf);
            return int(text.count(whole)) - (qstrcmp(word, "\\pict") == 0 ? int(rtf.count("\\nonshppict")) : 0);
        };
        for (const char *word : {"\\pict", "\\cell", "\\footnote", "HYPERLINK", "\\header", "\\footer"})
            QVERIFY2(count(saved, word) >= count(original, word) && (count(original, word) == 0) == (count(saved, word) == 0),
                     qPrintable(QStringLiteral("%1: %2 -> %3").arg(word).arg(count(original, word)).arg(count(saved, word))));
    }

    // What another workstation saved is never replaced: this page goes
    // beside it, under a name nobody has taken yet, and the message names
    // the file written.
    void anotherWorkstationsNotesAreNeverOverwritten_data()
    {
        QTest::addColumn<bool>("pageAtOpen");   // else the colleague makes the first page
        QTest::addColumn<bool>("atTheWrite");   // the colleague saves at the very moment of the write
        QTest::addColumn<QString>("user");      // empty: no USER nor USERNAME
        QTest::addColumn<int>("taken");         // names beside already taken, for every second
        QTest::addColumn<QString>("number");    // in the name written
        QTest::newRow("page changed meanwhile") << true << false << "mario" << 0 << "";
        QTest::newRow("same second, same login") << true << false << "mario" << 1 << " (2)";
        QTest::newRow("no login, two names taken") << true << false << "" << 2 << " (3)";
        QTest::newRow("first page made meanwhile") << false << false << "mario" << 0 << "";
        QTest::newRow("first page made at the write") << false << true << "mario" << 0 << "";
        QTest::newRow("first page at the write, name taken") << false << true << "" << 1 << " (2)";
    }
    void anotherWorkstationsNotesAreNeverOverwritten()
    {
        QFETCH(bool, pageAtOpen);
        QFETCH(bool, atTheWrite);
        QFETCH(QString, user);
        QFETCH(int, taken);
        QFETCH(QString, number);
        const QByteArray oldUser = qgetenv("USER"), oldUserName = qgetenv("USERNAME");
        const auto restore = qScopeGuard([&] {
            oldUser.isNull() ? qunsetenv("USER") : qputenv("USER", oldUser);
            oldUserName.isNull() ? qunsetenv("USERNAME") : qputenv("USERNAME", oldUserName);
            Paths::setBeforePlacing({});
        });
        qunsetenv("USERNAME");
        user.isEmpty() ? qunsetenv("USER") : qputenv("USER", user.toUtf8());
        const QString who = user.isEmpty() ? "utente" : user;

        Opened o;
        const QString notes = o.s.state.FileNote;
        if (pageAtOpen)
            writeBytes(notes, "{\\rtf1\\ansi note di partenza\\par }");
        o.open();
        QTest::keyClicks(o.w->findChild<QTextEdit *>("RTF1"), "mie ");
        const QByteArray theirs = "{\\rtf1\\ansi note della collega\\par }";
        if (atTheWrite)
            Paths::setBeforePlacing([&](const QString &path) {
                if (path == notes)
                    writeBytes(notes, theirs);
            });
        else
            writeBytes(notes, theirs);
        // Other workstations already saved beside, in this second and the next ones.
        QHash<QString, QByteArray> others;
        const QDateTime now = QDateTime::currentDateTime();
        for (int second = 0; second < 5; ++second)
            for (int n = 1; n <= taken; ++n) {
                const QString name = QString("%1 (note di %2 del %3%4).rtf")
                                         .arg(notes, who, now.addSecs(second).toString("yyyy-MM-dd HH.mm.ss"),
                                              n == 1 ? QString() : QString(" (%1)").arg(n));
                others.insert(name, "{\\rtf1 salvate accanto da " + QByteArray::number(n) + "}");
                writeBytes(name, others.value(name));
            }
        o.click("cmdChiudi");
        QVERIFY(!o.w->isVisible());

        QCOMPARE(readBytes(notes), theirs);
        for (auto it = others.cbegin(); it != others.cend(); ++it)
            QCOMPARE(readBytes(it.key()), it.value());
        QStringList beside;
        for (const QString &name : QDir(o.f.data() + "/P1").entryList({"P1 (note di *).rtf"}, QDir::Files))
            if (!others.contains(o.f.data() + "/P1/" + name))
                beside << name;
        QCOMPARE(beside.size(), 1);
        const QRegularExpression shape(QRegularExpression::escape("P1 (note di " + who + " del ")
                                       + "\\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d" + QRegularExpression::escape(number + ").rtf")
                                       + "$");
        QVERIFY2(shape.match(beside.first()).hasMatch(), qPrintable(beside.first()));
        QCOMPARE(o.lastMessage(), "Le note sono state salvate da un'altra postazione dopo l'apertura di questa finestra e "
                                  "non vengono sovrascritte.\nLe note scritte qui sono state salvate nel file:\n"
                                      + o.f.data() + "/P1/" + beside.first());
        QTextDocument mine;
        Rtf::read(readBytes(o.f.data() + "/P1/" + beside.first()), &mine);
        QCOMPARE(mine.toPlainText(), pageAtOpen ? QStringLiteral("mie note di partenza") : QStringLiteral("mie "));
        // Nothing half-made is left in the folder, and the page saved beside is no notes page.
        QCOMPARE(QDir(o.f.data() + "/P1").entryList(QDir::Files | QDir::Hidden).size(), others.size() + 2);
        QCOMPARE(o.sql("SELECT count(*) FROM TestiNote"), "0");
    }

    void failedNotesSaveKeepsTheWindowOpen_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("a folder where the file goes") << "folder";
        QTest::newRow("the notes folder is gone") << "missing";
    }
    void failedNotesSaveKeepsTheWindowOpen()
    {
        QFETCH(QString, how);
        Opened o;
        if (how == "folder")
            QVERIFY(QDir().mkpath(o.s.state.FileNote));
        else
            o.s.state.FileNote = o.f.data() + "/manca/P1";
        o.open();
        auto *notes = o.w->findChild<QTextEdit *>("RTF1");
        QTest::keyClicks(notes, "da non perdere");
        o.click("cmdChiudi");
        QVERIFY(o.w->isVisible());
        QVERIFY2(o.lastMessage().startsWith("Le note non sono state salvate.\n"), qPrintable(o.lastMessage()));
        QVERIFY2(o.lastMessage().contains(native(o.s.state.FileNote)), qPrintable(o.lastMessage() + " / " + o.s.state.FileNote));
        QCOMPARE(notes->toPlainText(), QStringLiteral("da non perdere"));
        // Closing anyway is the user's choice.
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdChiudi");
        QVERIFY(!o.w->isVisible());
    }

    void notesAreNeverReadOrWrittenThroughALinkOutside()
    {
        SKIP_ON_WINDOWS("su Windows QFile::link crea un collegamento .lnk");
        Opened o;
        QTemporaryDir outside;
        const QString secret = outside.filePath("segreto.txt");
        writeBytes(secret, "riservato");
        QVERIFY(QFile::link(secret, o.s.state.FileNote));
        o.open();
        auto *notes = o.w->findChild<QTextEdit *>("RTF1");
        QVERIFY(notes->toPlainText().isEmpty());
        QVERIFY(o.lastMessage().contains("porta fuori dalla cartella dati"));
        o.click("cmdChiudi");
        QCOMPARE(readBytes(secret), QByteArray("riservato"));

        // A dangling link makes no file outside either.
        QFile::remove(o.s.state.FileNote);
        QVERIFY(QFile::link(outside.filePath("nuovo.rtf"), o.s.state.FileNote));
        o.open();
        QTest::keyClicks(o.w->findChild<QTextEdit *>("RTF1"), "x");
        MessageBox::setNextAnswer(MessageBox::Answer::Yes);
        o.click("cmdChiudi");
        QVERIFY(!QFileInfo::exists(outside.filePath("nuovo.rtf")));
    }

    // A FIFO or a device in place of the notes file is neither read (a FIFO
    // would hold the window for ever) nor replaced by a save.
    void notesThatAreNoFileAreLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("device") << "device";
    }
    void notesThatAreNoFileAreLeftAlone()
    {
#ifdef _WIN32
        QSKIP("su Windows non ci sono FIFO");
#else
        QFETCH(QString, kind);
        Opened o;
        const QString notes = o.s.state.FileNote;
        const QByteArray name = QFile::encodeName(notes);
        if (kind == "fifo")
            QVERIFY(makeFifo(notes));
        else if (::mknod(name.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("A device node could not be made here (it needs root).");
        const FifoGuard guard(kind == "fifo" ? notes : QString());
        o.open();
        QVERIFY2(!guard.fired(), "the window waited on the FIFO");
        QCOMPARE(o.lastMessage(), "Le note non vengono lette né salvate.\n" + notes + " non è un file ma "
                                      + (kind == "fifo" ? "una pipe (FIFO)" : "un dispositivo") + ": non viene aperto.");
        auto *page = o.w->findChild<QTextEdit *>("RTF1");
        QVERIFY(page->isReadOnly());
        QTest::keyClicks(page, "x");
        o.click("cmdChiudi");
        QVERIFY(!o.w->isVisible());
        struct stat info {};
        QCOMPARE(::lstat(name.constData(), &info), 0);
        QCOMPARE(info.st_mode & S_IFMT, kind == "fifo" ? mode_t(S_IFIFO) : mode_t(S_IFCHR));
#endif
    }

    // The window grows: the list and the notes page take the room, the
    // buttons keep to the right edge; it never shrinks below its design, and
    // no header or date is cut.
    void theListAndTheNotesGrowWithTheWindow()
    {
        Opened o;
        writeBytes(o.f.data() + "/P1/a.dwg", "x");
        o.sql(QString("INSERT INTO Componenti(codprj,file,tipo,inserito) VALUES('P1','%1/P1/a.dwg','.DWG','2026-12-09 01:43:40')")
                  .arg(o.f.data()));
        o.open();
        auto *notes = o.w->findChild<QTextEdit *>("RTF1");
        auto *close = o.w->findChild<QPushButton *>("cmdChiudi");
        auto *picture = o.w->findChild<QWidget *>("imgAnteprima");
        auto *line = o.w->findChild<QWidget *>("lblAnteprima");
        QCOMPARE(o.w->minimumSize(), QSize(904, 475));
        QCOMPARE(o.grid()->geometry(), QRect(8, 8, 577, 161));
        QCOMPARE(notes->geometry(), QRect(8, 176, 888, 297));
        QCOMPARE(picture->geometry(), QRect(676, 8, 220, 140));
        QCOMPARE(line->geometry(), QRect(676, 152, 220, 17));
        QHeaderView *header = o.grid()->horizontalHeader();
        for (int c : {0, 2, 3}) {
            QVERIFY2(o.grid()->columnWidth(c) >= header->sectionSizeHint(c), qPrintable(QString::number(c)));
            QVERIFY2(o.grid()->columnWidth(c) >= o.grid()->sizeHintForIndex(o.grid()->model()->index(1, c)).width(),
                     qPrintable(QString::number(c)));
        }
        const int name = o.grid()->columnWidth(1);
        // The list takes 70% of the extra width, the preview the rest.
        o.w->resize(1104, 675);
        QTRY_COMPARE(o.grid()->geometry(), QRect(8, 8, 717, 221));
        QCOMPARE(notes->geometry(), QRect(8, 236, 1088, 437));
        QCOMPARE(close->geometry().topLeft(), QPoint(740, 144));
        QCOMPARE(picture->geometry(), QRect(816, 8, 280, 200));
        QCOMPARE(line->geometry(), QRect(816, 212, 280, 17));
#ifndef _WIN32
        // (Under Wine the substitute fonts make the other columns wider than
        // the designed room, so the growth first goes to the overflow.)
        QCOMPARE(o.grid()->columnWidth(1), name + 140);
#endif
        o.w->resize(300, 200);
        QTRY_COMPARE(o.w->size(), QSize(904, 475));
        QCOMPARE(notes->geometry(), QRect(8, 176, 888, 297));
    }
};

QTEST_MAIN(TestComponenti)
#include "tst_componenti.moc"
