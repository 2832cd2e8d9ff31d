// SPDX-License-Identifier: GPL-3.0-or-later
// Words typed in any order, accents and letter case ignored, found among
// folded fields held in memory.
#include "NotesIndex.h"
#include "TextSearch.h"

#include <QtTest>

class TestSearch : public QObject {
    Q_OBJECT

    static FoldedIndex sample()
    {
        FoldedIndex index;
        index.add({u"P120", u"Villa sul lago"});
        index.add({u"P12", u"Scuola media di Città di Castello"});
        index.add({u"L1", u"Ampliamento SCUOLA"});
        index.add({u"AB", u"CD"});
        index.add({u"pianta-piano-terra.dwg"});
        index.add({u"ÆØ", u"Straße Njegoš Ωμέγα"});
        return index;
    }

private slots:
    void match_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QVector<int>>("expected");
        QTest::newRow("part of a code, the exact code first") << "p12" << QVector<int>{1, 0};
        QTest::newRow("words in any order") << "castello  SCUOLA media" << QVector<int>{1};
        QTest::newRow("accents typed or not, letter case mixed") << "CITTÀ scuola" << QVector<int>{1};
        QTest::newRow("no accent typed") << "citta" << QVector<int>{1};
        QTest::newRow("a word in the code, one in the description") << "l1 ampliamento" << QVector<int>{2};
        QTest::newRow("one field holds a word whole") << "bc" << QVector<int>{};
        QTest::newRow("a word found twice counts once") << "scuola" << QVector<int>{1, 2};
        QTest::newRow("a file name") << "PIANO pianta" << QVector<int>{4};
        QTest::newRow("letters beyond Latin-1") << "NJEGOS ωμεγα" << QVector<int>{5};
        QTest::newRow("no match") << "scuola lago" << QVector<int>{};
        QTest::newRow("blanks only") << "  \t " << QVector<int>{};
    }
    void match()
    {
        QFETCH(QString, typed);
        QFETCH(QVector<int>, expected);
        const FoldedIndex index = sample();
        const QStringList words = TextSearch::words(typed);
        QCOMPARE(index.match(words), expected);
        // Typing on only narrows: looking among the results of a shorter
        // text gives the same as looking everywhere.
        for (qsizetype cut = 1; cut < typed.size(); ++cut) {
            const QStringList before = TextSearch::words(typed.left(cut));
            if (!TextSearch::narrows(words, before))
                continue;
            const QVector<int> among = index.match(before);
            QCOMPARE(index.match(words, &among), expected);
        }
    }

    // The words of notes pages: a word typed lies whole within a run of
    // the page between blanks; all the words typed in one page.
    void notesWords_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QVector<int>>("expected");
        QTest::newRow("words in any order, one page") << "SOLETTA armatura" << QVector<int>{0};
        QTest::newRow("accents and letter case") << "CITTÀ" << QVector<int>{0, 2};
        QTest::newRow("part of a word, apostrophe kept") << "l'arm" << QVector<int>{0};
        QTest::newRow("on two lines of one page") << "soletta taglio" << QVector<int>{0};
        QTest::newRow("in two pages only") << "soletta legno" << QVector<int>{};
        QTest::newRow("never across a blank") << "dellasoletta" << QVector<int>{};
        QTest::newRow("a page's old words are gone") << "tetto" << QVector<int>{};
        QTest::newRow("a page deleted") << "fondazioni" << QVector<int>{};
        QTest::newRow("letters beyond Latin-1") << "NJEGOS straße" << QVector<int>{2};
    }
    void notesWords()
    {
        QFETCH(QString, typed);
        QFETCH(QVector<int>, expected);
        NotesWords words;
        words.set({"P1/P1", 1, 1, "a", "Calcolo dell'armatura della soletta a Città\nVerifica a taglio"});
        words.set({"P1/L1/L1", 1, 1, "b", "vecchia nota sul tetto"});
        words.set({"P2/P2", 1, 1, "c", "Straße di città, Njegoš"});
        words.set({"P3/P3", 1, 1, "d", "Fondazioni profonde"});
        words.set({"P1/L1/L1", 2, 2, "e", "copertura in legno"});
        words.remove("P3/P3");
        QCOMPARE(words.match(TextSearch::words(typed)), expected);
        if (!expected.isEmpty())
            QCOMPARE(words.match(TextSearch::words(typed), &expected), expected);
    }

    void lineOfAPage()
    {
        const QString page = "Relazione\nCalcolo dell'armatura\r\nSoletta e armatura a taglio\n";
        QCOMPARE(NotesWords::lineOf(page, TextSearch::words(u"armatura soletta")), QStringLiteral("Soletta e armatura a taglio"));
        QCOMPARE(NotesWords::lineOf(page, TextSearch::words(u"armatura")), QStringLiteral("Calcolo dell'armatura"));
        QCOMPARE(NotesWords::lineOf(page, TextSearch::words(u"relazione taglio")), QStringLiteral("Relazione"));
    }

    void narrows_data()
    {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("then");
        QTest::addColumn<bool>("narrower");
        QTest::newRow("a letter more") << "scuol" << "scuo" << true;
        QTest::newRow("a word more") << "scuola p1" << "scuola" << true;
        QTest::newRow("a letter less") << "scu" << "scuo" << false;
        QTest::newRow("a word changed") << "villa" << "scuola" << false;
        QTest::newRow("a letter typed in the middle") << "scuXola" << "scuola" << false;
        QTest::newRow("the first letter after an empty box") << "s" << "" << false;
    }
    void narrows()
    {
        QFETCH(QString, now);
        QFETCH(QString, then);
        QFETCH(bool, narrower);
        QCOMPARE(TextSearch::narrows(TextSearch::words(now), TextSearch::words(then)), narrower);
    }
};

QTEST_APPLESS_MAIN(TestSearch)
#include "tst_search.moc"
