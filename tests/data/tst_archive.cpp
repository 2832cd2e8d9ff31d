// SPDX-License-Identifier: GPL-3.0-or-later
// The archive: opening, the open views, counters, dates and errors.
#include "TestSupport.h"
#include "basMain.h"
#include "platform/Paths.h"

#include <QtTest>

namespace {
bool addClient(RecordView &v, const QVariant &code, const QString &name)
{
    v.addNew();
    return v.setValue(u"codice", code) && v.setValue(u"descr", name) && v.update();
}
} // namespace

class TestArchive : public QObject {
    Q_OBJECT

private slots:
    void opensTheSixTablesAndFiveViews()
    {
        TestFolders f;
        QVERIFY(f.ok());
        Archive a;
        QString error;
        QVERIFY2(a.open(f.dataArchive(), &error), qPrintable(error));
        QCOMPARE(a.clients().table().name, QStringLiteral("Clienti"));
        QCOMPARE(a.projects().table().name, QStringLiteral("Progetti"));
        QCOMPARE(a.items().table().name, QStringLiteral("RighePRJ"));
        QCOMPARE(a.components().table().name, QStringLiteral("Componenti"));
        QCOMPARE(a.configuration().table().name, QStringLiteral("Configura"));
        QCOMPARE(a.configuration().table().columns.size(), 17);
        QCOMPARE(a.clients().count(), 0);
        if (!testOnServer())
            QCOMPARE(sqlValue(f.dataArchive(), "PRAGMA journal_mode"), QStringLiteral("delete"));
        else
            QVERIFY(a.onServer());
    }

    void badFilesAreRefusedAtOpen_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("random bytes") << QByteArray(4096, '\x5a') << "file is not a database";
        QTest::newRow("empty file") << QByteArray() << "no such table: Clienti";
        QByteArray jet(2048, '\0');
        jet.replace(4, 15, "Standard Jet DB");
        QTest::newRow("legacy Jet") << jet << "vecchio formato";
        QByteArray ace(2048, '\0');
        ace.replace(4, 15, "Standard ACE DB");
        QTest::newRow("legacy ACE") << ace << "vecchio formato";
    }
    void badFilesAreRefusedAtOpen()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        TestFolders f;
        const QString path = f.root() + "/bad.mdb";
        writeBytes(path, bytes);
        Archive a;
        QString error;
        QVERIFY(!a.open(path, &error));
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY(!a.isOpen());
        QCOMPARE(readBytes(path), bytes);
    }

    void truncatedOrForeignFilesAreRefused()
    {
        if (testOnServer())
            QSKIP("il file dell'archivio esiste solo senza server");
        TestFolders f;
        QString values;
        for (int i = 1; i <= 3000; ++i)
            values += QString("%1(%2,'cliente numero %2 con un nome lungo')").arg(i > 1 ? "," : "").arg(i);
        QCOMPARE(sqlValue(f.dataArchive(), "INSERT INTO Clienti(codice,descr) VALUES" + values), QString());
        const QByteArray whole = readBytes(f.dataArchive());
        QVERIFY(whole.size() > 100000);
        const QString cut = f.root() + "/troncato.mdb";
        Archive a;
        QString error;
        for (int tenths : {9, 5, 1}) {
            const QByteArray part = whole.left(whole.size() * tenths / 10);
            writeBytes(cut, part);
            QVERIFY(!a.open(cut, &error));
            QVERIFY2(error.contains("troncato") || error.contains("malformed"), qPrintable(error));
            QCOMPARE(readBytes(cut), part);
        }

        const QString foreign = f.root() + "/altro.sqlite";
        QCOMPARE(sqlValue(foreign, "CREATE TABLE rubrica(nome TEXT)"), QStringLiteral("ERROR: unable to open database file"));
        writeBytes(foreign, QByteArray());
        QCOMPARE(sqlValue(foreign, "CREATE TABLE rubrica(nome TEXT)"), QString());
        QVERIFY(!a.open(foreign, &error));
        QVERIFY2(error.contains("no such table: Clienti"), qPrintable(error));

        QVERIFY(!a.open(f.data(), &error));   // a folder
        QVERIFY(error.contains("non è un file"));
    }

    void missingTableOrFieldIsRefusedAtOpen()
    {
        TestFolders f;
        QCOMPARE(sqlValue(f.dataArchive(), "DROP TABLE maxcodice"), QString());
        Archive a;
        QString error;
        QVERIFY(!a.open(f.dataArchive(), &error));
        QVERIFY2(error.contains("maxcodice"), qPrintable(error));

        QCOMPARE(sqlValue(f.programArchive(), "ALTER TABLE Componenti RENAME COLUMN tipo TO genere"), QString());
        QVERIFY(!a.open(f.programArchive(), &error));
        QVERIFY2(error.contains("Componenti.tipo"), qPrintable(error));

        QVERIFY(!a.open(f.root() + "/none.mdb", &error));
        QVERIFY(!QFileInfo::exists(f.root() + "/none.mdb"));
    }

    void apriArchivioFallsBackToTheProgramFolder()
    {
        TestFolders f;
        RunState state;
        state.PercorsoDati = f.root() + "/altrove";
        Archive a;
        QCOMPARE(ApriArchivio(state, a, f.program()), QString());
        QCOMPARE(state.PercorsoDati, f.program());
        QCOMPARE(a.path(), native(f.programArchive()));

        state.PercorsoDati = f.data();
        QCOMPARE(ApriArchivio(state, a, f.program()), QString());
        QCOMPARE(state.PercorsoDati, f.data());

        QFile::remove(f.programArchive());
        state.PercorsoDati = f.root() + "/altrove";
        QVERIFY(!ApriArchivio(state, a, f.program()).isEmpty());
    }

    void textCriteriaIgnoreCaseAndKeepApostrophes()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        RecordView &v = a.clients();
        QVERIFY(addClient(v, 1, "ROSSI"));
        QVERIFY(addClient(v, 2, "O'Hara"));
        QVERIFY(addClient(v, 3, "CITTÀ ÉLITE"));
        QVERIFY(addClient(v, 4, "Straße"));
        QVERIFY(addClient(v, 5, "ΟΔΟΣ ΑΘΗΝΑΣ"));
        QVERIFY(addClient(v, 6, "МОСКВА"));
        QVERIFY(addClient(v, 7, "\u212Aelvin"));   // KELVIN SIGN, folds to an ASCII k
        QVERIFY(addClient(v, 8, "CITTA"));
        QVERIFY(addClient(v, 9, "100%_a"));

        // The same answers on every engine.
        const struct { QString criterion; int code; } cases[] = {
            {"descr=" + QuotaSQL("οδος αθηνας"), 5},   // final sigma folds as sigma
            {"descr=" + QuotaSQL("москва"), 6},
            {"descr=" + QuotaSQL("kelvin"), -1},        // an ASCII text matches ASCII letters only
            {"descr=" + QuotaSQL("\u212AELVIN"), 7},
            {"descr=" + QuotaSQL("città"), -1},          // accents count
            {"descr=" + QuotaSQL("citta"), 8},
            {"descr=" + QuotaSQL("100%_A"), 9},
            {"descr=" + QuotaSQL("100x_a"), -1},        // no wildcards
            {"descr=" + QuotaSQL("100%_à"), -1},
            {"descr=" + QuotaSQL("rossi"), 1},
            {"DESCR=" + QuotaSQL("o'hara"), 2},
            {"descr=" + QuotaSQL("città élite"), 3},
            {"descr=" + QuotaSQL("STRASSE"), -1},   // folding keeps one letter per letter
            {"descr=" + QuotaSQL("STRAßE"), 4},
            {"codice=3", 3},
        };
        for (const auto &c : cases) {
            QVERIFY2(v.findFirst(c.criterion), qPrintable(v.lastError()));
            if (c.code < 0) {
                QVERIFY(v.noMatch());
            } else {
                QVERIFY2(!v.noMatch(), qPrintable(c.criterion));
                QCOMPARE(v.value(u"codice").toInt(), c.code);
            }
        }
    }

    void refusedCriterionRunsNothing()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        RecordView &v = a.clients();
        QVERIFY(addClient(v, 1, "Uno"));
        QVERIFY(v.findFirst("codice=1"));
        QVERIFY(!v.findFirst("codice=1 OR 1=1"));
        QVERIFY(v.noMatch());
        QVERIFY(v.lastError().contains("Criterio di ricerca non valido"));
        // The current row is still the one found before.
        QCOMPARE(v.text(u"descr"), QStringLiteral("Uno"));
        QVERIFY(!v.findFirst("codice=1; DELETE FROM Clienti"));
        QCOMPARE(v.count(), 1);
    }

    void findNextWalksMatchesInStoredOrder()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        RecordView &items = a.items();
        const QStringList rows = {"P1:L11", "P2:L12", "P1:L13", "p1:L14"};
        for (const QString &r : rows) {
            items.addNew();
            QVERIFY(items.setValue(u"codprj", r.section(':', 0, 0)));
            QVERIFY(items.setValue(u"codice", r.section(':', 1, 1)));
            QVERIFY(items.setValue(u"livello", 1));
            QVERIFY(items.update());
        }
        QStringList seen;
        const QString crit = "codprj=" + QuotaSQL("P1");
        items.findFirst(crit);
        while (!items.noMatch()) {
            seen << items.text(u"codice");
            items.findNext(crit);
        }
        QCOMPARE(seen, QStringList({"L11", "L13", "L14"}));
        // A find-next from a row reached otherwise continues after it.
        items.findFirst("codice='L12'");
        items.findNext(crit);
        QCOMPARE(items.text(u"codice"), QStringLiteral("L13"));
    }

    void rowsAddedDuringTheRunWalkLast()
    {
        TestFolders f;
        QCOMPARE(sqlValue(f.dataArchive(), "INSERT INTO Clienti(vb_key,codice,descr) VALUES (50,9,'nove')"), QString());
        QCOMPARE(sqlValue(f.dataArchive(), "INSERT INTO Clienti(vb_key,codice,descr) VALUES (10,5,'cinque')"), QString());
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        RecordView &v = a.clients();
        QVERIFY(v.moveFirst());
        QCOMPARE(v.text(u"descr"), QStringLiteral("cinque"));
        QVERIFY(addClient(v, 1, "uno"));   // added while the walk stands on its first row
        QStringList order;
        for (; !v.eof(); v.moveNext())
            order << v.text(u"descr");
        QCOMPARE(order, QStringList({"cinque", "nove", "uno"}));
        QVERIFY(v.moveFirst());
        order.clear();
        for (; !v.eof(); v.moveNext())
            order << v.text(u"descr");
        QCOMPARE(order, QStringList({"cinque", "nove", "uno"}));
        // A deleted key is never given again.
        QVERIFY(v.findFirst("codice=1"));
        QVERIFY(v.deleteCurrent());
        QVERIFY(addClient(v, 2, "due"));
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT vb_key FROM Clienti WHERE codice=2"), QStringLiteral("52"));
    }

    void absentValuesDifferFromEmptyTexts()
    {
        TestFolders f;
        QCOMPARE(sqlValue(f.dataArchive(), "INSERT INTO Clienti(codice,descr) VALUES (1,'')"), QString());
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        RecordView &v = a.clients();
        QVERIFY(v.findFirst("codice=1"));
        QVERIFY(v.value(u"descr").isValid());
        QCOMPARE(v.value(u"descr").toString(), QString(""));
        QVERIFY(!v.value(u"indirizzo").isValid());
        QCOMPARE(v.text(u"indirizzo"), QString(""));
        QVERIFY(!v.value(u"nessuno").isValid());
        QVERIFY(v.lastError().contains("nessuno"));
        QCOMPARE(v.value(u"CODICE").toInt(), 1);
    }

    void deletedCurrentRow()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        RecordView &v = a.clients();
        for (int i = 1; i <= 3; ++i)
            QVERIFY(addClient(v, i, QString::number(i)));
        QVERIFY(v.moveFirst());
        QVERIFY(v.moveNext());
        QVERIFY(v.deleteCurrent());
        QVERIFY(!v.hasCurrent());
        QVERIFY(!v.value(u"descr").isValid());
        QVERIFY(!v.edit());
        QVERIFY(!v.deleteCurrent());
        QVERIFY(v.moveNext());
        QCOMPARE(v.text(u"descr"), QStringLiteral("3"));
        QCOMPARE(v.count(), 2);
        QVERIFY(v.findFirst("codice=2"));
        QVERIFY(v.noMatch());
    }

    void datesInAndOut()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        RecordView &p = a.projects();
        p.addNew();
        QVERIFY(p.setValue(u"codice", "P1"));
        QVERIFY(p.setValue(u"data", "07/12/2026"));
        QVERIFY(p.update());
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT data FROM Progetti"), QStringLiteral("2026-12-07"));
        QVERIFY(p.findFirst("codice='P1'"));
        QCOMPARE(p.value(u"data").toDate(), QDate(2026, 12, 7));
        QCOMPARE(p.text(u"data"), QStringLiteral("07/12/2026"));

        RecordView &c = a.components();
        c.addNew();
        QVERIFY(c.setValue(u"inserito", "07/12/2026 09:05:03"));
        QVERIFY(c.update());
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT inserito FROM Componenti"), QStringLiteral("2026-12-07 09:05:03"));
        c.addNew();
        QVERIFY(c.setValue(u"inserito", QDateTime(QDate(2026, 1, 2), QTime(0, 0))));
        QVERIFY(c.update());
        QVERIFY(c.moveFirst());
        QCOMPARE(c.text(u"inserito"), QStringLiteral("07/12/2026 09:05:03"));
        QVERIFY(c.moveNext());
        QCOMPARE(c.text(u"inserito"), QStringLiteral("02/01/2026"));

        p.addNew();
        QVERIFY(!p.setValue(u"data", "31/02/2026"));
        QVERIFY(!p.setValue(u"data", "domani"));
        QVERIFY(!p.setValue(u"codcli", "2147483648"));
        QVERIFY(!p.setValue(u"codcli", "dodici"));
        QVERIFY(p.setValue(u"codcli", " 12 "));
        p.cancelUpdate();
        QCOMPARE(p.count(), 1);
    }

    void memoChunks()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        RecordView &p = a.projects();
        p.addNew();
        QVERIFY(p.setValue(u"codice", "P1"));
        QVERIFY(p.setValue(u"note", ""));
        QVERIFY(p.appendChunk(u"note", "prima riga\n"));
        QVERIFY(p.appendChunk(u"note", QString(10000, QChar(0x00e8))));
        QVERIFY(p.update());
        QVERIFY(p.findFirst("codice='P1'"));
        QCOMPARE(p.getChunk(u"note", 0, 11), QStringLiteral("prima riga\n"));
        QCOMPARE(p.getChunk(u"note", 0, 1 << 20).size(), 10011);
    }

    void refusedStoreLeavesTableAsItWas()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        // Made after opening: an archive with triggers is not opened.
        QCOMPARE(sqlValue(f.dataArchive(),
                          testOnServer()
                              ? "CREATE FUNCTION no_x() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                                "IF NEW.descr = 'X' THEN RAISE EXCEPTION 'rifiutato dal motore'; END IF; "
                                "RETURN NEW; END $$; CREATE TRIGGER no_x BEFORE UPDATE ON clienti "
                                "FOR EACH ROW EXECUTE FUNCTION no_x()"
                              : "CREATE TRIGGER no_x BEFORE UPDATE ON Clienti WHEN NEW.descr='X' "
                                "BEGIN SELECT RAISE(ABORT,'rifiutato dal motore'); END"),
                 QString());
        RecordView &v = a.clients();
        QVERIFY(addClient(v, 1, "Uno"));
        QVERIFY(v.findFirst("codice=1"));
        QVERIFY(v.edit());
        QVERIFY(v.setValue(u"descr", "X"));
        QVERIFY(!v.update());
        QCOMPARE(v.lastError(), QStringLiteral("rifiutato dal motore"));
        v.cancelUpdate();
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT descr FROM Clienti"), QStringLiteral("Uno"));
        QCOMPARE(v.text(u"descr"), QStringLiteral("Uno"));
        // The connection is usable afterwards: no transaction was left open.
        QVERIFY(v.edit());
        QVERIFY(v.setValue(u"descr", "Due"));
        QVERIFY2(v.update(), qPrintable(v.lastError()));
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT descr FROM Clienti"), QStringLiteral("Due"));
    }

    void editOfARowDeletedElsewhereIsReported()
    {
        TestFolders f;
        Archive one, two;
        QString error;
        QVERIFY(one.open(f.dataArchive(), &error));
        QVERIFY(two.open(f.dataArchive(), &error));
        QVERIFY(addClient(one.clients(), 1, "Uno"));
        QVERIFY(two.clients().findFirst("codice=1"));
        QVERIFY(one.clients().findFirst("codice=1"));
        QVERIFY(one.clients().deleteCurrent());
        QVERIFY(two.clients().edit());
        QVERIFY(two.clients().setValue(u"descr", "Nuovo"));
        QVERIFY(!two.clients().update());
        QVERIFY(two.clients().lastError().contains("eliminato"));
        // A conflict the window can ask about, not an error of the engine.
        QVERIFY(two.clients().conflict() && two.clients().gone());
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT COUNT(*) FROM Clienti"), QStringLiteral("0"));
    }

    void triggersAreRefusedAndEveryWriteChangesOneRow()
    {
        TestFolders f;
        const QString ignore = "CREATE TRIGGER swallow BEFORE INSERT ON Clienti BEGIN SELECT RAISE(IGNORE); END";
        QCOMPARE(sqlValue(f.programArchive(), ignore), QString());
        Archive a;
        QString error;
        QVERIFY(!a.open(f.programArchive(), &error));
        QVERIFY2(error.contains("trigger (swallow)"), qPrintable(error));

        // A trigger made by another program while the archive is open: a
        // swallowed insert is reported, never taken for a save.
        Archive one, two;
        QVERIFY(one.open(f.dataArchive(), &error));
        QVERIFY(two.open(f.dataArchive(), &error));
        QVERIFY(addClient(one.clients(), 1, "Uno"));
        QCOMPARE(sqlValue(f.dataArchive(),
                          testOnServer() ? "CREATE FUNCTION swallow() RETURNS trigger LANGUAGE plpgsql AS "
                                           "$$ BEGIN RETURN NULL; END $$; CREATE TRIGGER swallow BEFORE INSERT "
                                           "ON clienti FOR EACH ROW EXECUTE FUNCTION swallow()"
                                         : ignore),
                 QString());
        QVERIFY(!addClient(one.clients(), 2, "Due"));
        QVERIFY(one.clients().lastError().contains("non ha aggiunto"));
        one.clients().cancelUpdate();
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT COUNT(*) FROM Clienti"), QStringLiteral("1"));

        // Deleting a row that another workstation deleted first says so.
        QVERIFY(one.clients().findFirst("codice=1"));
        QVERIFY(two.clients().findFirst("codice=1"));
        QVERIFY(two.clients().deleteCurrent());
        QVERIFY(!one.clients().deleteCurrent());
        QVERIFY(one.clients().lastError().contains("eliminato"));
    }

    void uniqueAddIsCheckedInItsOwnTransaction()
    {
        TestFolders f;
        Archive one, two;
        QString error;
        QVERIFY(one.open(f.dataArchive(), &error));
        QVERIFY(two.open(f.dataArchive(), &error));
        // Both workstations were proposed code 1; the first stores it.
        QVERIFY(addClient(one.clients(), 1, "Verdi Impianti"));
        RecordView &v = two.clients();
        v.addNewUnique("codice=1");
        QVERIFY(v.setValue(u"codice", 1) && v.setValue(u"descr", "Neri Costruzioni"));
        QVERIFY(!v.update());
        QVERIFY(v.conflict());
        v.cancelUpdate();
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT group_concat(codice||descr) FROM Clienti"),
                 QStringLiteral("1Verdi Impianti"));
        // A free code is stored, and a later plain add knows no conflict.
        v.addNewUnique("codice=2");
        QVERIFY(v.setValue(u"codice", 2) && v.setValue(u"descr", "Neri Costruzioni") && v.update());
        QVERIFY(!v.conflict());
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT COUNT(*) FROM Clienti"), QStringLiteral("2"));
    }

    void twoConnectionsSeeEachOthersWrites()
    {
        TestFolders f;
        Archive one, two;
        QString error;
        QVERIFY(one.open(f.dataArchive(), &error));
        QVERIFY(two.open(f.dataArchive(), &error));
        QVERIFY(addClient(one.clients(), 1, "Uno"));
        QVERIFY(two.clients().findFirst("codice=1"));
        QCOMPARE(two.clients().text(u"descr"), QStringLiteral("Uno"));
        QVERIFY(two.clients().edit());
        QVERIFY(two.clients().setValue(u"descr", "Uno bis"));
        QVERIFY(two.clients().update());
        QVERIFY(one.clients().findFirst("codice=1"));
        QCOMPARE(one.clients().text(u"descr"), QStringLiteral("Uno bis"));
        const Outcome<int> code = ProssimoCodice(two, "clienti", "codice");
        QCOMPARE(code.value, 2);
    }

    void prossimoCodice()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        QCOMPARE(ProssimoCodice(a, "clienti", "codice").value, 1);
        for (int code : {1, 2, 7})
            QVERIFY(addClient(a.clients(), code, "c"));
        QCOMPARE(ProssimoCodice(a, "clienti", "codice").value, 8);
        QCOMPARE(ProssimoCodice(a, "clienti", "codice").value, 8);
        QVERIFY(!ProssimoCodice(a, "clienti", "nessuno").ok());
        QVERIFY(!ProssimoCodice(a, "nessuna", "codice").ok());
        QVERIFY(addClient(a.clients(), 2147483647, "ultimo"));
        const Outcome<int> full = ProssimoCodice(a, "clienti", "codice");
        QVERIFY(!full.ok());
        QVERIFY(full.error.contains("2147483647"));
    }

    void prossimoCodiceLivelloKeepsOneCounterRowPerLevel()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        const QString db = f.dataArchive();
        QCOMPARE(ProssimoCodiceLivello(a, "maxcodice", 1, "codice").value, 1);
        QCOMPARE(sqlValue(db, "SELECT (SELECT COUNT(*) FROM maxcodice)||':'||codice||':'||livello FROM maxcodice"), QStringLiteral("1:1:1"));
        QCOMPARE(ProssimoCodiceLivello(a, "maxcodice", 1, "codice").value, 2);
        QCOMPARE(sqlValue(db, "SELECT codice FROM maxcodice WHERE livello=1"), QStringLiteral("2"));
        QCOMPARE(ProssimoCodiceLivello(a, "maxcodice", 2, "codice").value, 1);
        QCOMPARE(sqlValue(db, "SELECT COUNT(*) FROM maxcodice"), QStringLiteral("2"));
        // The project code generator reads the highest counter of either level.
        QCOMPARE(ProssimoCodice(a, "maxcodice", "codice").value, 3);
        QCOMPARE(sqlValue(db, "SELECT SUM(codice) FROM maxcodice"), QStringLiteral("3"));
        // Two archives on one file never draw the same number.
        Archive other;
        QVERIFY(other.open(db, &error));
        QCOMPARE(ProssimoCodiceLivello(other, "maxcodice", 1, "codice").value, 3);
        QCOMPARE(ProssimoCodiceLivello(a, "maxcodice", 1, "codice").value, 4);
        // Taken numbers are passed over in the same draw, and the counter
        // stands at the number handed out.
        const auto taken = [](int n) { return n != 5 && n != 6; };
        QCOMPARE(ProssimoCodiceLivello(a, "maxcodice", 1, "codice", taken).value, 7);
        QCOMPARE(sqlValue(db, "SELECT codice FROM maxcodice WHERE livello=1"), QStringLiteral("7"));
        QCOMPARE(ProssimoCodiceLivello(a, "maxcodice", 1, "codice").value, 8);
        // A check that never finds a free number ends with a message, counter kept.
        const Outcome<int> none = ProssimoCodiceLivello(a, "maxcodice", 1, "codice", [](int) { return false; });
        QVERIFY(!none.ok());
        QCOMPARE(sqlValue(db, "SELECT codice FROM maxcodice WHERE livello=1"), QStringLiteral("8"));
    }

    void newArchivesHaveLargePagesAndOldOnesStillOpen()
    {
        if (testOnServer())
            QSKIP("pagine del file: solo senza server");
        TestFolders f;
        QCOMPARE(sqlValue(f.dataArchive(), "PRAGMA page_size"), QString::number(SqliteStore::kPageSize));
        // An archive made with the engine's small default pages opens and works.
        const QString old = f.root() + "/vecchio.mdb";
        QVERIFY(makeSmallPageArchive(old, f.dataArchive()));
        QCOMPARE(sqlValue(old, "PRAGMA page_size"), QStringLiteral("4096"));
        Archive a;
        QString error;
        QVERIFY2(a.open(old, &error), qPrintable(error));
        QVERIFY(addClient(a.clients(), 1, "Uno"));
        QCOMPARE(sqlValue(old, "SELECT descr FROM Clienti"), QStringLiteral("Uno"));
    }

    // On the server a statement that fails undoes its whole transaction, and
    // the server answers the COMMIT that follows with ROLLBACK, no error
    // given: the store reports that as a failure (a certain one), and the
    // rows written before the failed statement are not there.
    void commitOfAnAbortedTransactionFails_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("a value the field cannot hold") << "codice" << QVariant("non un numero");
        QTest::newRow("a field the table does not have") << "nessuno" << QVariant("x");
    }
    void commitOfAnAbortedTransactionFails()
    {
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        if (!testOnServer())
            QSKIP("un'istruzione fallita annulla la transazione solo sul server");
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY2(a.open(f.dataArchive(), &error), qPrintable(error));
        const TableInfo &clients = a.clients().table();
        TableInfo bad = clients;
        if (bad.indexOf(field) < 0)
            bad.columns.append({field, FieldKind::Text});
        RawRow good(clients.columns.size()), wrong(bad.columns.size());
        good[clients.indexOf(u"codice")] = QVariant::fromValue<qint64>(1);
        wrong[bad.indexOf(field)] = value;
        qint64 key = 0;
        QVERIFY(a.store().begin(&error));
        QVERIFY2(a.store().insert(clients, good, &key, &error), qPrintable(error));
        QVERIFY(!a.store().insert(bad, wrong, &key, &error));
        error.clear();
        QVERIFY(!a.store().commit(&error));
        QCOMPARE(error, QStringLiteral("Il server ha annullato la transazione: nulla è stato salvato."));
        QVERIFY(!a.store().commitUncertain());
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT COUNT(*) FROM clienti"), QStringLiteral("0"));
        // The store goes on working.
        QVERIFY(addClient(a.clients(), 2, "dopo"));
        QCOMPARE(sqlValue(f.dataArchive(), "SELECT COUNT(*) FROM clienti"), QStringLiteral("1"));
    }

    void waitsForAnotherWriterInsteadOfFailing()
    {
        TestFolders f;
        Archive a;
        QString error;
        QVERIFY(a.open(f.dataArchive(), &error));
        Archive other;
        QVERIFY(other.open(f.dataArchive(), &error));
        QVERIFY(other.store().begin(&error));
        QTimer::singleShot(300, [&] { other.store().commit(&error); });
        // The lock is released from the event loop while the write waits in the
        // busy handler; run it on a thread of its own.
        bool stored = false;
        QThread *writer = QThread::create([&] {
            Archive mine;
            QString e;
            stored = mine.open(f.dataArchive(), &e) && addClient(mine.clients(), 1, "dopo l'attesa");
        });
        writer->start();
        QTRY_VERIFY_WITH_TIMEOUT(writer->isFinished(), 10000);
        delete writer;
        QVERIFY(stored);
        QCOMPARE(a.clients().count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
