// The RTF reader and writer, grouped by concern.
#include "components/Rtf.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

namespace {
QString plain(const QByteArray &rtf)
{
    QTextDocument doc;
    Rtf::read(rtf, &doc);
    return doc.toPlainText();
}

QByteArray sample(const char *name)
{
    QFile f(QStringLiteral(VELBOR_SAMPLES "/") + QString::fromLatin1(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Format of the first fragment holding text.
QTextCharFormat formatOf(const QTextDocument &doc, const QString &text)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().text().contains(text))
                return it.fragment().charFormat();
    return {};
}

QTextBlockFormat blockOf(const QTextDocument &doc, const QString &text)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (b.text().contains(text))
            return b.blockFormat();
    return {};
}
} // namespace

class TestRtf : public QObject {
    Q_OBJECT

private slots:
    void codePages_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::newRow("1252 is not Latin-1") << QByteArray("{\\rtf1\\ansi \\'80 \\'e0\\'93x\\'94}") << "€ à“x”";
        QTest::newRow("ansicpg 1251") << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}") << "При";
        QTest::newRow("font charset 161")
            << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset161 Greek;}}\\f1 \\'e1\\'e2\\f0 \\'e9}")
            << "αβé";
        QTest::newRow("double-byte pair split by nothing")
            << QByteArray("{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fcharset128 MS Mincho;}}\\f0 \\'93\\'fa\\'96\\'7b}") << "日本";
        QTest::newRow("unknown code page reads as 1252") << QByteArray("{\\rtf1\\ansi\\ansicpg99999 \\'80}") << "€";
        QTest::newRow("raw 8-bit text") << QByteArray("{\\rtf1\\ansi citt\xe0}") << "città";
        QTest::newRow("Cyrillic sample file") << sample("cyrillic.rtf") << "Привет café €";
    }
    void codePages()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QCOMPARE(plain(rtf), text);
    }

    void unicodeEscapes_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::newRow("u with one fallback") << QByteArray("{\\rtf1 \\u8364?x}") << "€x";
        QTest::newRow("fallback as hex byte") << QByteArray("{\\rtf1 \\u8364\\'80x}") << "€x";
        QTest::newRow("uc0") << QByteArray("{\\rtf1\\uc0 \\u8364 x}") << "€x";
        QTest::newRow("uc2") << QByteArray("{\\rtf1\\uc2 \\u8364??x}") << "€x";
        QTest::newRow("uc scoped to its group") << QByteArray("{\\rtf1{\\uc2 \\u8364??}\\u8364?x}") << "€€x";
        QTest::newRow("negative is signed 16 bits") << QByteArray("{\\rtf1 \\u-3913?}") << QString(QChar(0xF0B7));
        QTest::newRow("surrogate pair") << QByteArray("{\\rtf1 \\u-10179?\\u-8704?}") << QString::fromUtf8("😀");
        QTest::newRow("braces end the fallback") << QByteArray("{\\rtf1\\uc3 {\\u8364}ab}") << "€ab";
    }
    void unicodeEscapes()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QCOMPARE(plain(rtf), text);
    }

    void skippedDestinations()
    {
        QCOMPARE(plain(sample("destinations.rtf")), QStringLiteral("collegamento\nelenco\ndopo il binario"));
        QCOMPARE(plain("{\\rtf1 a{\\*\\sconosciuto nascosto}b{\\*\\generator Riched20}c}"), QStringLiteral("abc"));
        QCOMPARE(plain("{\\rtf1 {\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}testo}"), QStringLiteral("testo"));
    }

    void paragraphsAndFormats()
    {
        QTextDocument doc;
        Rtf::read(sample("wordpad.rtf"), &doc);
        QCOMPARE(doc.toPlainText(),
                 QStringLiteral("Verifica del ponte sul fiume: città di Pavia, costo 1.200 €.\n"
                                "Attenzione: controllare le vecchie armature.\n"
                                "Titolo centrato\n"
                                "Rientro\tcon tabulazione\ne a capo"));
        QCOMPARE(doc.blockCount(), 4);
        QCOMPARE(doc.lastBlock().text(), QStringLiteral("Rientro\tcon tabulazione\u2028e a capo"));
        QVERIFY(formatOf(doc, "ponte").fontWeight() >= QFont::Bold);
        QVERIFY(formatOf(doc, "Verifica").fontWeight() < QFont::Bold);
        QCOMPARE(formatOf(doc, "Verifica").fontFamilies().toStringList(), QStringList({"Calibri"}));
        QCOMPARE(formatOf(doc, "Verifica").fontPointSize(), 11.0);
        QVERIFY(formatOf(doc, "Attenzione").fontItalic());
        QCOMPARE(formatOf(doc, "Attenzione").foreground().color(), QColor(255, 0, 0));
        QVERIFY(!formatOf(doc, ": ").hasProperty(QTextFormat::ForegroundBrush));
        QVERIFY(formatOf(doc, "controllare").fontUnderline());
        QVERIFY(formatOf(doc, "vecchie").fontStrikeOut());
        QCOMPARE(formatOf(doc, "Titolo").background().color(), QColor(0, 0, 255));
        QCOMPARE(formatOf(doc, "Titolo").fontFamilies().toStringList(), QStringList({"Arial"}));
        QCOMPARE(formatOf(doc, "Titolo").fontPointSize(), 14.0);
        QCOMPARE(blockOf(doc, "Titolo").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(blockOf(doc, "Rientro").leftMargin(), 48.0);
        QCOMPARE(blockOf(doc, "Rientro").rightMargin(), 24.0);
        QCOMPARE(blockOf(doc, "Rientro").textIndent(), -24.0);
        QCOMPARE(blockOf(doc, "Verifica").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

        QCOMPARE(plain("{\\rtf1 uno\\par\\par tre\\par}"), QStringLiteral("uno\n\ntre"));
        QTextDocument symbols;
        Rtf::read("{\\rtf1 \\{graffe\\} e \\\\ barra\\~spazio}", &symbols);
        QCOMPARE(symbols.begin().text(), QStringLiteral("{graffe} e \\ barra\u00a0spazio"));
        QCOMPARE(plain("{\\rtf1 a\\plain\\b b\\plain c}"), QStringLiteral("abc"));
    }

    void notRtfLoadsAsPlainText()
    {
        QCOMPARE(plain("solo testo\n"), QStringLiteral("solo testo\n"));
        QCOMPARE(plain("citt\xe0"), QStringLiteral("città"));
        QCOMPARE(plain("citt\xc3\xa0"), QStringLiteral("città"));
        QCOMPARE(plain(""), QString());
        QVERIFY(Rtf::looksLikeRtf("\xEF\xBB\xBF \r\n{\\rtf1}"));
    }

    void malformedInputLoadsWhatItCan_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("contains");
        QTest::newRow("unbalanced close") << QByteArray("{\\rtf1 a}}}}b") << "ab";
        QTest::newRow("unbalanced open") << QByteArray("{\\rtf1 {{{{a") << "a";
        QTest::newRow("deep nesting") << QByteArray("{\\rtf1 ") + QByteArray(200000, '{') + "x" + QByteArray(200000, '}') << "";
        QTest::newRow("huge numbers") << QByteArray("{\\rtf1{\\fs99999999999999999999\\uc99999999999 \\u999999999999?}ok\\li-99999999999 k}") << "okk";
        QTest::newRow("huge bin") << QByteArray("{\\rtf1 a\\bin99999999999 bbbb}") << "a";
        QTest::newRow("truncated hex") << QByteArray("{\\rtf1 a\\'") << "a";
        QTest::newRow("truncated word") << QByteArray("{\\rtf1 a\\par") << "a";
        QTest::newRow("truncated unicode") << QByteArray("{\\rtf1 a\\u") << "a";
        QTest::newRow("long control word") << QByteArray("{\\rtf1 \\") + QByteArray(100000, 'z') + " ok}" << "ok";
        QTest::newRow("lone backslash") << QByteArray("{\\rtf1 a\\") << "a";
        QTest::newRow("NUL bytes") << QByteArray("{\\rtf1 a\0b}", 10) << "ab";
        QTest::newRow("bad hex") << QByteArray("{\\rtf1 \\'zz ok}") << "ok";
    }
    void malformedInputLoadsWhatItCan()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, contains);
        QTextDocument doc;
        Rtf::read(rtf, &doc);
        QVERIFY2(doc.toPlainText().contains(contains), qPrintable(doc.toPlainText().left(80)));
        // And what was read can be written and read again.
        QTextDocument again;
        Rtf::read(Rtf::write(&doc), &again);
        QCOMPARE(again.toPlainText(), doc.toPlainText());
    }

    void randomBytesNeverBreakTheReader()
    {
        QRandomGenerator rng(20261207);
        for (int round = 0; round < 200; ++round) {
            QByteArray junk("{\\rtf1 ");
            const int size = int(rng.bounded(4096));
            static const char alphabet[] = "{}\\'abcu0123456789-; \r\nbfsparlinequc*";
            for (int i = 0; i < size; ++i)
                junk.append(rng.bounded(4) == 0 ? char(rng.bounded(256)) : alphabet[rng.bounded(int(sizeof alphabet) - 1)]);
            QTextDocument doc;
            Rtf::read(junk, &doc);
            QTextDocument again;
            Rtf::read(Rtf::write(&doc), &again);
            QCOMPARE(again.toPlainText(), doc.toPlainText());
        }
    }

    void writerRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::newRow("wordpad sample") << sample("wordpad.rtf");
        QTest::newRow("cyrillic sample") << sample("cyrillic.rtf");
        QTest::newRow("destinations sample") << sample("destinations.rtf");
        QTest::newRow("symbols") << QByteArray("{\\rtf1 \\u-10179?\\u-8704? \\u945?\\u8364? \\{x\\}\\\\ \\'e0\\tab\\line fine\\par\\par}");
        QTest::newRow("empty") << QByteArray("{\\rtf1}");
        QTest::newRow("plain text") << QByteArray("appunti\nsu due righe");
    }
    void writerRoundTrip()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument first;
        Rtf::read(rtf, &first);
        const QByteArray once = Rtf::write(&first);
        for (char c : once)
            QVERIFY2(uchar(c) < 0x80, "the writer produces 7-bit text");
        QTextDocument second;
        Rtf::read(once, &second);
        QCOMPARE(second.toPlainText(), first.toPlainText());
        QCOMPARE(Rtf::write(&second), once);
    }

    void writerEscapesAndCodes()
    {
        QTextDocument doc;
        doc.setPlainText(QString::fromUtf8("a{b}c\\d é € α 😀"));
        const QByteArray out = Rtf::write(&doc);
        QVERIFY(out.contains("a\\{b\\}c\\\\d \\'e9 \\'80 \\u945? \\u-10179?\\u-8704?"));
        QVERIFY(out.contains("\\par\r\n}"));
        QVERIFY(out.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl"));
    }
};

QTEST_MAIN(TestRtf)
#include "tst_rtf.moc"
