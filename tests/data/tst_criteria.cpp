// SPDX-License-Identifier: GPL-3.0-or-later
// Criteria are parsed, never pasted: what they accept and what they refuse.
#include "Criterion.h"
#include "Dates.h"
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

    // Stored dates as both engines spell them, and what is no date.
    void storedDates_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("read");   // ISO, empty when no date
        QTest::newRow("day") << "2026-12-07" << "2026-12-07T00:00:00";
        QTest::newRow("day and time") << "2026-12-07 09:05:03" << "2026-12-07T09:05:03";
        QTest::newRow("with a T") << "2026-12-07T09:05:03" << "2026-12-07T09:05:03";
        QTest::newRow("spaces around") << " 2026-12-07 " << "2026-12-07T00:00:00";
        QTest::newRow("no such day") << "2026-02-30" << "";
        QTest::newRow("no such hour") << "2026-12-07 25:00:00" << "";
        QTest::newRow("sign in the year") << "-026-12-07" << "";
        QTest::newRow("letter in the month") << "2026-1a-07" << "";
        QTest::newRow("year 0") << "0000-01-01" << "";
        QTest::newRow("text") << "non una data" << "";
    }
    void storedDates()
    {
        QFETCH(QString, stored);
        QFETCH(QString, read);
        const QDateTime when = Dates::dateTimeFromStored(stored);
        QCOMPARE(when.isValid() ? when.toString(Qt::ISODate) : QString(), read);
        // The day alone reads the first ten characters, as the general parser does.
        QCOMPARE(Dates::dayFromStored(stored.trimmed()), QDate::fromString(stored.trimmed().left(10), Qt::ISODate));
    }
};

QTEST_APPLESS_MAIN(TestCriteria)
#include "tst_criteria.moc"
