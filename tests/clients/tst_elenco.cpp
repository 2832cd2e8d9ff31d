// SPDX-License-Identifier: GPL-3.0-or-later
// The printed project list of a client: every text whole, none over another.
#include "TestSupport.h"
#include "clients/frmElenco.h"
#include "data/Dates.h"
#include "data/basMain.h"

#include <QPrinter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString withoutSpaces(QString text)
{
    return text.remove(QRegularExpression("\\s"));
}
} // namespace

class TestElenco : public QObject {
    Q_OBJECT

private slots:
    // A print to a file proposes the user's documents, never the shared
    // folder, under the client's name made safe, and never over a file.
    void aPdfIsProposedInTheUsersDocuments_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "Comune di Pavia" << "Comune di Pavia.pdf";
        QTest::newRow("separators") << "Rossi/Bianchi: \"Torre\"." << "Rossi_Bianchi_ _Torre_.pdf";
        QTest::newRow("not in the register") << "" << "Cliente 12.pdf";
    }
    void aPdfIsProposedInTheUsersDocuments()
    {
        SKIP_ON_WINDOWS("su Windows la cartella Documenti non segue HOME");
        QFETCH(QString, client);
        QFETCH(QString, name);
        SessionFixture fx;
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config"));
        if (!client.isEmpty())
            fx.sql("INSERT INTO Clienti(codice,descr) VALUES(12," + QuotaSQL(client) + ")");
        fx.s.state.ClienteCorrente = "12";
        frmElenco list(fx.s);
        list.setAttribute(Qt::WA_DeleteOnClose, false);
        const QString first = list.pdfProposal();
        QCOMPARE(first, home.path() + "/Documents/" + name);
        QVERIFY(QFileInfo(home.path() + "/Documents").isDir());
        writeBytes(first, "%PDF di ieri");
        QCOMPARE(list.pdfProposal(), home.path() + "/Documents/" + name.chopped(4) + " (2).pdf");
        qputenv("HOME", oldHome);
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }

    void printedPagesKeepEveryTextWholeAndApart_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("studio");
        QTest::newRow("long client name")
            << "Consorzio Intercomunale per la Gestione Associata dei Servizi Tecnici e Ambientali della Valle"
            << "Studio Tecnico Associato Bianchi Rossi Verdi";
        QTest::newRow("one word wider than the heading")
            << "Ingegneriaarchitetturaurbanisticaprogettazionestrutturaleimpiantisticaambientale" << "Studio Verdi";
        QTest::newRow("no studio configured") << "Rossi" << "";
    }
    void printedPagesKeepEveryTextWholeAndApart()
    {
        SKIP_ON_WINDOWS("su Windows non c'è pdftotext per leggere il PDF");
        QFETCH(QString, client);
        QFETCH(QString, studio);
        SessionFixture fx;
        if (!studio.isEmpty())
            QCOMPARE(fx.sql("INSERT INTO Configura(descr) VALUES(" + QuotaSQL(studio) + ")"), QString());
        QCOMPARE(fx.sql("INSERT INTO Clienti(codice,descr) VALUES(12," + QuotaSQL(client) + ")"), QString());
        QStringList words;
        for (int i = 1; i <= 60; ++i)
            words << QString("parola%1").arg(i, 2, 10, QChar('0'));
        for (int i = 1; i <= 70; ++i) {
            const QString descr = i == 35 ? words.join(' ') : QString("Progetto %1").arg(i);
            QCOMPARE(fx.sql(QString("INSERT INTO Progetti(codice,descr,data,reparto,operatore,codcli) "
                                    "VALUES('P%1',%2,%3,'Strutture','Rossi',12)")
                                .arg(i)
                                .arg(QuotaSQL(descr), i == 36 ? "NULL" : "'2026-12-07'")),
                     QString());
        }
        fx.s.state.ClienteCorrente = "12";
        frmElenco list(fx.s);
        list.setAttribute(Qt::WA_DeleteOnClose, false);

        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = fx.f.root() + "/elenco.pdf";
        printer.setOutputFileName(pdf);
        list.printTo(&printer);

        const QSize area = printer.pageLayout().paintRectPixels(printer.resolution()).size();
        const QList<PrintedPage> pages = list.layoutPages(&printer, area);
        QVERIFY(pages.size() >= 2);
        for (int p = 0; p < pages.size(); ++p) {
            const QList<PrintedText> &texts = pages[p].texts;
            QVERIFY(texts.size() > 6);
            for (int i = 0; i < texts.size(); ++i) {
                QVERIFY2(QRect(QPoint(), area).contains(texts[i].rect), qPrintable(texts[i].text));
                for (int j = i + 1; j < texts.size(); ++j)
                    QVERIFY2(!texts[i].rect.intersects(texts[j].rect),
                             qPrintable(QString("page %1: \"%2\" over \"%3\"").arg(p + 1).arg(texts[i].text, texts[j].text)));
            }
        }

        const QString text = pdfText(pdf);
        const QStringList printed = text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        for (const QString &word : words)
            QVERIFY2(printed.contains(word), qPrintable(word));
        const QString compact = withoutSpaces(text);
        for (const QString &whole : {client, studio, QStringLiteral("pag.%1").arg(pages.size())})
            QVERIFY2(compact.contains(withoutSpaces(whole)), qPrintable(whole + "\n" + text.left(600)));
        QVERIFY(printed.contains(Dates::dayText(QDate::currentDate())));
        QVERIFY(printed.contains("07/12/2026"));
    }
};

QTEST_MAIN(TestElenco)
#include "tst_elenco.moc"
