// Criteria are parsed, never pasted: what they accept and what they refuse.
#include "Criterion.h"
#include "basMain.h"

#include <QtTest>

class TestCriteria : public QObject {
    Q_OBJECT
    TableInfo m_items{QStringLiteral("RighePRJ"),
                      {{"codprj", FieldKind::Text}, {"livello", FieldKind::Number}, {"codice", FieldKind::Text},
                       {"descr", FieldKind::Text}, {"data", FieldKind::Date}}};

private slots:
    void accepted_data()
    {
        QTest::addColumn<QString>("criterion");
        QTest::addColumn<int>("terms");
        QTest::addColumn<QString>("lastValue");
        QTest::newRow("window form") << "codprj='P1' AND codice='L13' AND Livello=1" << 3 << "1";
        QTest::newRow("doubled apostrophe") << "descr='L''Officina'" << 1 << "L'Officina";
        QTest::newRow("empty text") << "descr=''" << 1 << "";
        QTest::newRow("only an apostrophe") << "descr=''''" << 1 << "'";
        QTest::newRow("field case") << "CODPRJ='x' and LIVELLO=2" << 2 << "2";
        QTest::newRow("negative number") << "livello=-1" << 1 << "-1";
        QTest::newRow("32-bit edge") << "livello=2147483647" << 1 << "2147483647";
        QTest::newRow("number for a text field") << "codice=12" << 1 << "12";
        QTest::newRow("semicolon inside text") << "descr='a; DROP TABLE x --'" << 1 << "a; DROP TABLE x --";
    }
    void accepted()
    {
        QFETCH(QString, criterion);
        QFETCH(int, terms);
        QFETCH(QString, lastValue);
        const ParsedCriterion parsed = parseCriterion(criterion, m_items);
        QVERIFY2(parsed.ok(), qPrintable(parsed.error));
        QCOMPARE(parsed.terms.size(), terms);
        QCOMPARE(parsed.terms.last().value.toString(), lastValue);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("criterion");
        QTest::newRow("empty") << "";
        QTest::newRow("unknown field") << "nome='x'";
        QTest::newRow("hidden key") << "vb_key=1";
        QTest::newRow("OR") << "livello=1 OR 1=1";
        QTest::newRow("typed OR") << "codice=1 OR 1=1";
        QTest::newRow("semicolon") << "livello=1; DELETE FROM RighePRJ";
        QTest::newRow("comment") << "codice='x' -- rest";
        QTest::newRow("block comment") << "codice='x' /* */";
        QTest::newRow("unbalanced apostrophe") << "codice='x";
        QTest::newRow("text for a number") << "livello='1'";
        QTest::newRow("number beyond 32 bits") << "livello=2147483648";
        QTest::newRow("huge number") << "livello=99999999999999999999999";
        QTest::newRow("missing value") << "livello=";
        QTest::newRow("other operator") << "livello>1";
        QTest::newRow("trailing AND") << "livello=1 AND";
        QTest::newRow("glued AND") << "livello=1AND codice='x'";
        QTest::newRow("decimal") << "livello=1.5";
        QTest::newRow("parenthesis") << "(livello=1)";
    }
    void refused()
    {
        QFETCH(QString, criterion);
        const ParsedCriterion parsed = parseCriterion(criterion, m_items);
        QVERIFY(!parsed.ok());
        QVERIFY(parsed.error.startsWith(QStringLiteral("Criterio di ricerca non valido")));
        QVERIFY(parsed.terms.isEmpty());
    }

    void quotaSqlRoundTrips_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("empty") << "" << "''";
        QTest::newRow("apostrophe") << "'" << "''''";
        QTest::newRow("O'Hara") << "O'Hara" << "'O''Hara'";
        QTest::newRow("others untouched") << "a\"b\\c%_" << "'a\"b\\c%_'";
    }
    void quotaSqlRoundTrips()
    {
        QFETCH(QString, text);
        QFETCH(QString, quoted);
        QCOMPARE(QuotaSQL(text), quoted);
        const ParsedCriterion parsed = parseCriterion(QStringLiteral("descr=") + QuotaSQL(text), m_items);
        QVERIFY(parsed.ok());
        QCOMPARE(parsed.terms.first().value.toString(), text);
    }
};

QTEST_APPLESS_MAIN(TestCriteria)
#include "tst_criteria.moc"
