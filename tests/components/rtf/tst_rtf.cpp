// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF reader and writer, grouped by concern.
#include "components/rtf/Rtf.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QtTest>

namespace {
// What a reader sees: the text without the characters that hold objects.
QString visible(const QTextDocument &doc)
{
    return doc.toPlainText().remove(QChar::ObjectReplacementCharacter);
}

QString plain(const QByteArray &rtf)
{
    QTextDocument doc;
    Rtf::read(rtf, &doc);
    return visible(doc);
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

QTextBlock blockWith(const QTextDocument &doc, const QString &text)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (b.text().contains(text))
            return b;
    return {};
}

QTextBlockFormat blockOf(const QTextDocument &doc, const QString &text) { return blockWith(doc, text).blockFormat(); }

QList<QTextCharFormat> objects(const QTextDocument &doc)
{
    QList<QTextCharFormat> found;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            for (const QChar c : it.fragment().text())
                if (c == QChar::ObjectReplacementCharacter)
                    found << it.fragment().charFormat();
    return found;
}

// The document's shape as text: tables, cells, list items, objects, links.
void outline(QTextFrame *frame, QString &out);
void outlineItems(QTextFrame::iterator it, QString &out)
{
    for (; !it.atEnd(); ++it) {
        if (auto *table = qobject_cast<QTextTable *>(it.currentFrame())) {
            out += QStringLiteral("[table %1x%2").arg(table->rows()).arg(table->columns());
            for (int r = 0; r < table->rows(); ++r)
                for (int c = 0; c < table->columns(); ++c) {
                    out += QStringLiteral(" |");
                    outlineItems(table->cellAt(r, c).begin(), out);
                }
            out += QStringLiteral("]\n");
            continue;
        }
        const QTextBlock b = it.currentBlock();
        if (const QTextList *list = b.textList())
            out += QStringLiteral("<%1/%2>").arg(list->format().style()).arg(list->format().indent());
        for (auto f = b.begin(); !f.atEnd(); ++f) {
            const QTextCharFormat cf = f.fragment().charFormat();
            QString text = f.fragment().text();
            if (cf.isImageFormat())
                text = QStringLiteral("{img %1x%2}").arg(cf.toImageFormat().width()).arg(cf.toImageFormat().height());
            else if (cf.objectType() == Rtf::KeptObject)
                text = QStringLiteral("{kept}");
            if (cf.isAnchor())
                text = QStringLiteral("{a %1 ").arg(cf.anchorHref()) + text + QLatin1Char('}');
            out += text;
        }
        out += QLatin1Char('\n');
    }
}

QString outline(const QTextDocument &doc)
{
    QString out;
    outlineItems(doc.rootFrame()->begin(), out);
    return out;
}

// The text of every table cell in document order, a nested table's cells
// after the cell holding it.
void cellTexts(QTextFrame::iterator it, QStringList &out)
{
    for (; !it.atEnd(); ++it) {
        auto *table = qobject_cast<QTextTable *>(it.currentFrame());
        if (!table)
            continue;
        for (int r = 0; r < table->rows(); ++r)
            for (int c = 0; c < table->columns(); ++c) {
                QString text;
                for (auto in = table->cellAt(r, c).begin(); !in.atEnd(); ++in)
                    if (!in.currentFrame())
                        text += in.currentBlock().text() + QLatin1Char(' ');
                out << text.remove(QChar::ObjectReplacementCharacter).simplified();
                cellTexts(table->cellAt(r, c).begin(), out);
            }
    }
}

QStringList cellTexts(const QTextDocument &doc)
{
    QStringList out;
    cellTexts(doc.rootFrame()->begin(), out);
    return out;
}

int countWord(const QByteArray &rtf, const QString &word)
{
    const QRegularExpression re(QRegularExpression::escape(word) + QStringLiteral("(?![a-zA-Z])"));
    int n = 0;
    for (auto it = re.globalMatch(QString::fromLatin1(rtf)); it.hasNext(); it.next())
        ++n;
    return n;
}

// Decoded bytes of every PNG and JPEG picture, found without the reader.
QList<QByteArray> blips(const QByteArray &rtf)
{
    QList<QByteArray> found;
    static const QRegularExpression pict(QStringLiteral("\\\\(pngblip|jpegblip)"));
    const QString text = QString::fromLatin1(rtf);
    for (auto it = pict.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        qsizetype i = m.capturedEnd();
        int depth = 1;
        QByteArray hex;
        while (i < text.size() && depth > 0) {
            const QChar c = text.at(i);
            if (c == QLatin1Char('{')) ++depth;
            else if (c == QLatin1Char('}')) --depth;
            else if (c == QLatin1Char('\\')) {
                ++i;
                while (i < text.size() && (text.at(i).isLetterOrNumber() || text.at(i) == QLatin1Char('-'))) ++i;
                continue;
            } else if (depth == 1 && QByteArray("0123456789abcdefABCDEF").contains(char(c.unicode())))
                hex += char(c.unicode());
            ++i;
        }
        found << QByteArray::fromHex(hex);
    }
    std::sort(found.begin(), found.end());
    return found;
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
        QTest::newRow("byte-order mark before RTF") << QByteArray("\xEF\xBB\xBF{\\rtf1 ok}") << "ok";
        QTest::newRow("byte-order mark before Latin-1 text") << QByteArray("\xEF\xBB\xBF" "citt\xe0") << "città";
        QTest::newRow("byte-order mark before UTF-8 text") << QByteArray("\xEF\xBB\xBF" "citt\xc3\xa0") << "città";
    }
    void codePages()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QCOMPARE(plain(rtf), text);
    }

    // Text in a font of another code page must not come back as 1252 bytes.
    void writerKeepsTextOfNonWesternFonts()
    {
        QTextDocument doc;
        Rtf::read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset204 Arial CYR;}}\\f1 \\'cf\\'f0\\'e8 caf\\u233?}", &doc);
        QCOMPARE(visible(doc), QStringLiteral("При café"));
        QTextDocument again;
        Rtf::read(Rtf::write(&doc), &again);
        QCOMPARE(visible(again), QStringLiteral("При café"));
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

    // Groups the editor cannot show are kept, at their place or in the
    // header, and written back byte for byte, also after an edit; generated
    // text is dropped.
    void keptGroups_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArrayList>("kept");   // in this order in the output
        QTest::newRow("footnote at its place")
            << QByteArray("{\\rtf1 prima{\\super\\chftn}{\\footnote \\pard {\\super\\chftn} nota {\\b forte}}dopo}")
            << "primadopo" << QByteArrayList{"prima", "{\\chftn}", "{\\footnote \\pard {\\super\\chftn} nota {\\b forte}}", "dopo"};
        QTest::newRow("unknown starred group in the text")
            << QByteArray("{\\rtf1 a{\\*\\sconosciuto nascosto}b}") << "ab" << QByteArrayList{"a", "{\\*\\sconosciuto nascosto}", "b"};
        QTest::newRow("bookmarks") << QByteArray("{\\rtf1 {\\*\\bkmkstart qui}x{\\*\\bkmkend qui}}")
                                   << "x" << QByteArrayList{"{\\*\\bkmkstart qui}", "x", "{\\*\\bkmkend qui}"};
        QTest::newRow("other fields") << QByteArray("{\\rtf1 p. {\\field{\\*\\fldinst PAGE}{\\fldrslt 3}} fine}")
                                      << "p.  fine" << QByteArrayList{"p. ", "{\\field{\\*\\fldinst PAGE}{\\fldrslt 3}}", " fine"};
        QTest::newRow("document groups in the header")
            << QByteArray("{\\rtf1{\\fonttbl{\\f0 Courier;}}{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}}{\\*\\generator G;}"
                          "{\\header \\pard intestazione\\par}{\\footerl piede}\\pard testo}")
            << "testo"
            << QByteArrayList{"{\\stylesheet{\\s0 Normal;}}", "{\\info{\\title T}}", "{\\*\\generator G;}",
                              "{\\header \\pard intestazione\\par}", "{\\footerl piede}", "testo"};
        QTest::newRow("unterminated group closed")
            << QByteArray("{\\rtf1 a{\\footnote x{\\b y") << "a" << QByteArrayList{"{\\footnote x{\\b y}}"};
        QTest::newRow("generated text dropped")
            << QByteArray("{\\rtf1 {\\pntext 1.\\tab}{\\listtext 2.}{\\nonesttables x}{\\nonshppict{\\pict\\wmetafile8 00}}testo}")
            << "testo" << QByteArrayList{"testo"};
        const QByteArray bullets = "{\\*\\listpicture{\\pict\\pngblip\\picw1\\pich1\\picwgoal180\\pichgoal180 "
                                   "89504e470d0a1a0a0000000d49484452}{\\pict\\wmetafile8\\picw10\\pich10 010009000003}}";
        QTest::newRow("picture bullets of a list")
            << "{\\rtf1{\\*\\listtable" + bullets
                   + "{\\list\\listtemplateid3{\\listlevel\\levelnfc23\\levelpicture0{\\leveltext\\'01\\u-3913 ?;}{\\levelnumbers;}}"
                     "{\\listlevel\\levelnfc23\\levelpicture1\\levelpicturenosize{\\leveltext\\'01o;}{\\levelnumbers;}}\\listid7}}"
                     "{\\*\\listoverridetable{\\listoverride\\listid7\\listoverridecount0\\ls1}}"
                     "{\\listtext \\'b7\\tab}\\pard\\ls1 uno\\par{\\listtext o\\tab}\\pard\\ls1\\ilvl1 due}"
            << "uno\ndue"
            << QByteArrayList{bullets, "\\levelpicture0{", "\\levelpicture1\\levelpicturenosize{", "{\\*\\listoverridetable",
                              "\\ls1\\", "uno", "\\ls2\\ilvl1", "due"};
        QTest::newRow("sample file") << sample("destinations.rtf") << "collegamento\nelenco\ndopo il binario"
                                     << QByteArrayList{"{\\info{\\title Titolo nascosto}{\\author Nessuno}}",
                                                       "{\\header intestazione}",
                                                       "{\\pict\\wmetafile8\\picw100\\pich100 0100090000035e00000000000000}",
                                                       "HYPERLINK \"http://x\""};
    }
    void keptGroups()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QFETCH(QByteArrayList, kept);
        QTextDocument doc;
        Rtf::read(rtf, &doc);
        QCOMPARE(visible(doc), text);
        for (const bool edited : {false, true}) {
            if (edited) {
                // One letter typed at the end, as in the notes window.
                QTextCursor end(&doc);
                end.movePosition(QTextCursor::End);
                end.insertText("x");
                QCOMPARE(visible(doc), text + "x");
            }
            const QByteArray out = Rtf::write(&doc);
            qsizetype at = 0;
            for (const QByteArray &piece : kept) {
                const qsizetype found = out.indexOf(piece, at);
                QVERIFY2(found >= 0, piece + "\n" + out);
                at = found + piece.size();
            }
            QVERIFY2(!out.contains("pntext") && !out.contains("nonesttables x") && !out.contains("wmetafile8 00"), out);
        }
        // A cleared document keeps nothing of it.
        doc.clear();
        const QByteArray empty = Rtf::write(&doc);
        for (const QByteArray &piece : kept)
            QVERIFY2(!piece.startsWith('{') || !empty.contains(piece), empty);
    }

    void characterFormats_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("code");
        const int vertical = QTextFormat::TextVerticalAlignment;
        const QVariant super(int(QTextCharFormat::AlignSuperScript)), sub(int(QTextCharFormat::AlignSubScript));
        QTest::newRow("super") << QByteArray("{\\rtf1 a{\\super X}}") << vertical << super << QByteArray("\\super");
        QTest::newRow("sub") << QByteArray("{\\rtf1 a{\\sub X}}") << vertical << sub << QByteArray("\\sub");
        QTest::newRow("up") << QByteArray("{\\rtf1 a{\\up6 X}}") << vertical << super << QByteArray("\\super");
        QTest::newRow("dn") << QByteArray("{\\rtf1 a{\\dn4 X}}") << vertical << sub << QByteArray("\\sub");
        QTest::newRow("nosupersub") << QByteArray("{\\rtf1 a\\super\\nosupersub X}") << vertical << QVariant() << QByteArray();
        QTest::newRow("hidden") << QByteArray("{\\rtf1 a{\\v X}}") << int(Rtf::Hidden) << QVariant(true) << QByteArray("\\v");
        QTest::newRow("hidden off") << QByteArray("{\\rtf1 a\\v\\v0 X}") << int(Rtf::Hidden) << QVariant() << QByteArray();
        QTest::newRow("link") << QByteArray("{\\rtf1 a{\\field{\\*\\fldinst {HYPERLINK \"https://x.org/a?b=1\" }}{\\fldrslt {\\ul X}}}}")
                              << int(QTextFormat::AnchorHref) << QVariant(QStringLiteral("https://x.org/a?b=1"))
                              << QByteArray("{\\field{\\*\\fldinst HYPERLINK \"https://x.org/a?b=1\"}{\\fldrslt {");
        QTest::newRow("link to a bookmark") << QByteArray("{\\rtf1 a{\\field{\\*\\fldinst HYPERLINK \\\\l \"qui\"}{\\fldrslt X}}}")
                                            << int(QTextFormat::AnchorHref) << QVariant(QStringLiteral("#qui"))
                                            << QByteArray("HYPERLINK \"#qui\"");
        QTest::newRow("link with spaces and accents")
            << QByteArray("{\\rtf1 a{\\field{\\*\\fldinst HYPERLINK \"http://x/citt\\'e0 b\"}{\\fldrslt X}}}")
            << int(QTextFormat::AnchorHref) << QVariant(QStringLiteral("http://x/città b")) << QByteArray("http://x/citt%C3%A0%20b");
    }
    void characterFormats()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(int, property);
        QFETCH(QVariant, value);
        QFETCH(QByteArray, code);
        QTextDocument doc;
        Rtf::read(rtf, &doc);
        QCOMPARE(visible(doc), QStringLiteral("aX"));
        QCOMPARE(formatOf(doc, "X").property(property), value);
        QVERIFY(!formatOf(doc, "a").hasProperty(property));
        const QByteArray out = Rtf::write(&doc);
        QVERIFY2(out.contains(code), out);
        QTextDocument again;
        Rtf::read(out, &again);
        QCOMPARE(outline(again), outline(doc).replace(QStringLiteral("città b"), QStringLiteral("citt%C3%A0%20b")));
        QCOMPARE(formatOf(again, "X").property(property).isValid(), value.isValid());
    }

    void pictures_data()
    {
        const QByteArray png = []() {
            QImage image(4, 2, QImage::Format_RGB32);
            image.fill(Qt::red);
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            return bytes;
        }();
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QByteArray>("blip");    // shown: the bytes kept
        QTest::addColumn<QByteArray>("group");   // not shown: the group kept
        QTest::newRow("PNG, size from goal and scale")
            << "{\\rtf1 a{\\pict\\pngblip\\picw4\\pich2\\picwgoal300\\pichgoal150\\picscalex50\\picscaley200 " + png.toHex() + "}b}"
            << QSizeF(10, 20) << png << QByteArray();
        QTest::newRow("PNG, size from the image")
            << "{\\rtf1 a{\\pict\\pngblip " + png.toHex().toUpper() + "}b}" << QSizeF(4, 2) << png << QByteArray();
        QTest::newRow("PNG as binary")
            << "{\\rtf1 a{\\pict\\pngblip\\picwgoal150\\pichgoal150\\bin" + QByteArray::number(png.size()) + ' ' + png + "}b}"
            << QSizeF(10, 10) << png << QByteArray();
        QTest::newRow("PNG in a shape, alternative dropped")
            << "{\\rtf1 a{\\*\\shppict{\\pict{\\*\\picprop{\\sp{\\sn x}{\\sv 1}}}\\pngblip\\picwgoal150\\pichgoal300 " + png.toHex()
                   + "}}{\\nonshppict{\\pict\\wmetafile8 0102}}b}"
            << QSizeF(10, 20) << png << QByteArray();
        QTest::newRow("metafile kept")
            << QByteArray("{\\rtf1 a{\\pict\\wmetafile8\\picw2540\\pich1270\\picwgoal600\\pichgoal300 0100090000}b}")
            << QSizeF(40, 20) << QByteArray() << QByteArray("{\\pict\\wmetafile8\\picw2540\\pich1270\\picwgoal600\\pichgoal300 0100090000}");
        QTest::newRow("metafile, size from picw")
            << QByteArray("{\\rtf1 a{\\pict\\emfblip\\picw2540\\pich1270 0100}b}") << QSizeF(96, 48) << QByteArray()
            << QByteArray("{\\pict\\emfblip\\picw2540\\pich1270 0100}");
        QTest::newRow("bitmap kept")
            << QByteArray("{\\rtf1 a{\\pict\\dibitmap0\\picw3\\pich3 28000000}b}") << QSizeF(3, 3) << QByteArray()
            << QByteArray("{\\pict\\dibitmap0\\picw3\\pich3 28000000}");
        QTest::newRow("damaged PNG kept")
            << QByteArray("{\\rtf1 a{\\pict\\pngblip\\picwgoal150\\pichgoal150 89504e47}b}") << QSizeF(10, 10) << QByteArray()
            << QByteArray("{\\pict\\pngblip\\picwgoal150\\pichgoal150 89504e47}");
        QTest::newRow("unterminated picture")
            << QByteArray("{\\rtf1 a{\\pict\\wmetafile8 0a0b") << QSizeF(32, 32) << QByteArray() << QByteArray("{\\pict\\wmetafile8 0a0b}");
    }
    void pictures()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QSizeF, size);
        QFETCH(QByteArray, blip);
        QFETCH(QByteArray, group);
        QTextDocument doc;
        Rtf::read(rtf, &doc);
        const QList<QTextCharFormat> found = objects(doc);
        QCOMPARE(found.size(), 1);
        QVERIFY(found[0].isImageFormat());
        const QTextImageFormat image = found[0].toImageFormat();
        QCOMPARE(QSizeF(image.width(), image.height()), size);
        QVERIFY(!doc.resource(QTextDocument::ImageResource, QUrl(image.name())).isNull());
        const QByteArray out = Rtf::write(&doc);
        if (!blip.isEmpty()) {
            QCOMPARE(blips(out), QList<QByteArray>{blip});
            QCOMPARE(found[0].property(Rtf::Blip).toByteArray(), blip);
            // And it is drawn: the picture is red.
            QImage canvas(300, 100, QImage::Format_RGB32);
            canvas.fill(Qt::white);
            QPainter painter(&canvas);
            doc.drawContents(&painter);
            painter.end();
            int red = 0;
            for (int y = 0; y < canvas.height(); ++y)
                for (int x = 0; x < canvas.width(); ++x)
                    red += canvas.pixelColor(x, y) == QColor(Qt::red);
            QVERIFY2(red >= int(size.width() * size.height() / 2), qPrintable(QString::number(red)));
        } else {
            QVERIFY2(out.contains(group), out);
        }
        QCOMPARE(countWord(out, "\\pict"), 1);
        QTextDocument again;
        Rtf::read(out, &again);
        QCOMPARE(outline(again), outline(doc));
        QCOMPARE(Rtf::write(&again), out);
    }

    // An image pasted or set as a resource is written as PNG.
    void writerWritesImagesFromElsewhere()
    {
        QImage image(6, 3, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QTextDocument doc;
        doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("incollata")), image);
        QTextCursor cursor(&doc);
        cursor.insertText(QStringLiteral("foto "));
        cursor.insertImage(QStringLiteral("incollata"));
        const QByteArray out = Rtf::write(&doc);
        QVERIFY2(out.contains("{\\pict\\pngblip\\picw6\\pich3\\picwgoal90\\pichgoal45"), out);
        QTextDocument again;
        Rtf::read(out, &again);
        const QList<QTextCharFormat> found = objects(again);
        QCOMPARE(found.size(), 1);
        QImage back;
        QVERIFY(back.loadFromData(found[0].property(Rtf::Blip).toByteArray()));
        QCOMPARE(back.size(), image.size());
        QCOMPARE(back.pixelColor(2, 1), QColor(Qt::blue));
    }

    void tables_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("after");   // text of the paragraph after the table
        QTest::newRow("cells do not run together")
            << QByteArray("{\\rtf1 \\trowd\\cellx1000\\cellx2000\\pard\\intbl after\\cell before\\cell\\row\\pard Outside\\par}")
            << QStringList{"after", "before"} << "Outside";
        QTest::newRow("two rows, paragraphs in a cell")
            << QByteArray("{\\rtf1 \\trowd\\cellx1\\cellx2\\intbl a\\cell b\\par c\\cell\\row\\trowd\\cellx1\\cellx2\\intbl d\\cell e\\cell\\row}")
            << QStringList{"a", "b c", "d", "e"} << "";
        QTest::newRow("ragged rows")
            << QByteArray("{\\rtf1 \\intbl a\\cell\\row\\intbl b\\cell c\\cell d\\cell\\row\\pard x}")
            << QStringList{"a", "", "", "b", "c", "d"} << "x";
        QTest::newRow("nested table")
            << QByteArray("{\\rtf1 \\trowd\\cellx5000\\cellx9000\\pard\\intbl sopra\\par\\pard\\intbl\\itap2 n1\\nestcell n2\\nestcell"
                          "{\\*\\nesttableprops\\trowd\\cellx1\\cellx2\\nestrow}{\\nonesttables\\par}\\pard\\intbl\\itap1 \\cell fuori\\cell\\row"
                          "\\pard dopo\\par}")
            << QStringList{"sopra", "n1", "n2", "fuori"} << "dopo";
        QTest::newRow("table in a group") << QByteArray("{\\rtf1 {\\trowd\\cellx1\\pard\\intbl x\\cell\\row}\\pard y}")
                                          << QStringList{"x"} << "y";
        QTest::newRow("row without cell end")
            << QByteArray("{\\rtf1 \\intbl a\\cell b\\row\\pard c}") << QStringList{"a", "b"} << "c";
        QTest::newRow("too deep nesting is bounded")
            << QByteArray("{\\rtf1 \\intbl\\itap99 z\\nestcell\\pard w}") << QStringList(15, QString()) + QStringList{"z"} << "w";
    }
    void tables()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QStringList, cells);
        QFETCH(QString, after);
        QTextDocument doc;
        Rtf::read(rtf, &doc);
        QCOMPARE(cellTexts(doc), cells);
        QCOMPARE(doc.lastBlock().text(), after);
        const QByteArray out = Rtf::write(&doc);
        QTextDocument again;
        Rtf::read(out, &again);
        QCOMPARE(cellTexts(again), cells);
        QCOMPARE(outline(again), outline(doc));
        QCOMPARE(Rtf::write(&again), out);
    }

    void lists_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("outline");
        const QByteArray table =
            "{\\*\\listtable{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\u8226 ?;}}{\\listlevel\\levelnfc23{\\leveltext\\'01o;}}\\listid7}"
            "{\\list{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00.;}}{\\listlevel\\levelnfc4{\\leveltext\\'02\\'01);}}"
            "{\\listlevel\\levelnfc2{\\leveltext\\'02\\'02.;}}\\listid9}}"
            "{\\*\\listoverridetable{\\listoverride\\listid7\\listoverridecount0\\ls1}{\\listoverride\\listid9\\ls2}}";
        QTest::newRow("list table")
            << "{\\rtf1" + table + "{\\listtext \\'b7\\tab}\\pard\\ls1\\li720\\fi-360 uno\\par{\\listtext o\\tab}\\pard\\ls1\\ilvl1 due\\par"
                   "\\pard niente\\par{\\listtext 1.\\tab}\\pard\\ls2 tre\\par\\pard\\ls2\\ilvl1 quattro\\par\\pard\\ls2\\ilvl2 cinque\\par\\pard\\ls2 sei}"
            << "<-1/1>uno\n<-2/2>due\nniente\n<-4/1>tre\n<-5/2>quattro\n<-7/3>cinque\n<-4/1>sei\n";
        QTest::newRow("unknown list is a bullet list") << QByteArray("{\\rtf1 \\pard\\ls5 x}") << "<-1/1>x\n";
        QTest::newRow("old bullets and numbers")
            << QByteArray("{\\rtf1 {\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}a\\par{\\pntext\\'b7\\tab}b\\par"
                          "\\pard c\\par{\\pntext 1.\\tab}{\\*\\pn\\pnlvlbody\\pnucrm{\\pntxta .}}d\\par\\pard{\\*\\pn\\pnlvl2\\pnlcltr}e\\par"
                          "\\pard f\\par\\pard{\\*\\pn\\pnlvlblt}g}")
            << "<-1/1>a\n<-1/1>b\nc\n<-8/1>d\n<-5/2>e\nf\n<-1/1>g\n";
    }
    void lists()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, outline);
        QTextDocument doc;
        Rtf::read(rtf, &doc);
        QCOMPARE(::outline(doc), outline);
        QCOMPARE(blockOf(doc, "a").leftMargin(), 0.0);   // the list indents its items
        const QByteArray out = Rtf::write(&doc);
        QVERIFY2(out.contains("{\\*\\listtable") && out.contains("{\\*\\listoverridetable") && out.contains("{\\listtext "), out);
        QTextDocument again;
        Rtf::read(out, &again);
        QCOMPARE(::outline(again), outline);
        QCOMPARE(Rtf::write(&again), out);
    }

    // Samples made by word processors: what they hold survives reading and
    // writing, checked against the bytes.
    void samples_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("counts");   // word=N in what is written
        QTest::newRow("writer") << sample("writer-notes.rtf")
                                << QStringList{"Relazione di collaudo: città, Ελληνικά, Привет, 日本語 e H2O, x2.",
                                               "primo punto", "sotto punto", "tre", "Outside"}
                                << QStringList{"after", "campata", "", "pila", "interna A", "interna B", "fine", ""}
                                << QStringList{"https://example.org/ponte?a=1&b=2"}
                                << QStringList{"\\pngblip=1", "\\jpegblip=1", "\\footnote=1", "HYPERLINK=1", "\\cell=6", "\\nestcell=2", "\\row=2", "\\nestrow=1", "\\listtext=6",
                                               "\\stylesheet=1", "\\info=1"};
        QTest::newRow("word") << sample("word-notes.rtf")
                              << QStringList{"Sopralluogo del 3 marzo: H2O, m3, E=mc2, testo nascosto visibile.",
                                             "Vedi il verbale e l'inizio.", "Primo punto", "Passo due", "Outside", "Fine centrata"}
                              << QStringList{"after", "campata", "pila", "interna A", "interna B", "Привет"}
                              << QStringList{"https://example.org/verbale", "#inizio"}
                              << QStringList{"\\pngblip=1", "\\jpegblip=1", "\\wmetafile=1", "\\footnote=1",
                                             "HYPERLINK=2", "PAGE=1", "\\header=1", "\\footer=1", "\\cell=4", "\\nestcell=2",
                                             "\\row=2", "\\nestrow=1", "\\bkmkstart=1", "\\v=1", "\\listtext=4", "\\rsidtbl=1"};
        QTest::newRow("writer from word") << sample("writer-from-word.rtf")
                                          << QStringList{"Sopralluogo del 3 marzo: H2O, m3, E=mc2, testo nascosto visibile.",
                                                         "Primo punto", "Passo due", "Outside", "Fine centrata"}
                                          << QStringList{"after", "campata", "", "pila", "interna A", "interna B", "Привет", ""}
                                          << QStringList{"https://example.org/verbale", "#inizio"}
                                          << QStringList{"\\pngblip=1", "\\jpegblip=1", "\\wmetafile=1", "\\footnote=1",
                                                         "HYPERLINK=2", "\\header=2", "\\footer=2", "\\cell=6", "\\nestcell=2",
                                                         "\\row=2", "\\bkmkstart=1", "\\v=1", "\\listtext=4", "\\chftn=2"};
        QTest::newRow("rich edit") << sample("richedit.rtf")
                                   << QStringList{"Appunti di cantiere", "ferri d'armatura", "secondo", "a destra"}
                                   << QStringList() << QStringList()
                                   << QStringList{"\\wmetafile=1", "\\pict=1", "\\listtext=4", "\\pntext=0", "\\generator=1"};
    }
    void samples()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, cells);
        QFETCH(QStringList, links);
        QFETCH(QStringList, counts);
        QVERIFY(!rtf.isEmpty());
        QTextDocument doc;
        Rtf::read(rtf, &doc);
        for (const QString &text : texts)
            QVERIFY2(blockWith(doc, text).isValid() || visible(doc).contains(text), qPrintable(text + "\n" + visible(doc)));
        if (cellTexts(doc) != cells)
            qDebug().noquote() << outline(doc);
        QCOMPARE(cellTexts(doc), cells);
        QStringList hrefs;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isAnchor())
                    hrefs << it.fragment().charFormat().anchorHref();
        hrefs.removeDuplicates();
        QCOMPARE(hrefs, links);

        const QByteArray out = Rtf::write(&doc);
        QCOMPARE(blips(out), blips(rtf));
        for (const QString &count : counts) {
            const QString word = count.section(QLatin1Char('='), 0, 0);
            QVERIFY2(countWord(out, word) == count.section(QLatin1Char('='), 1).toInt(),
                     qPrintable(count + " but " + QString::number(countWord(out, word))));
        }
        QTextDocument again;
        Rtf::read(out, &again);
        QCOMPARE(outline(again), outline(doc));
        QCOMPARE(Rtf::write(&again), out);
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

    // The last paragraph needs no \par to keep its format.
    void lastParagraphKeepsItsFormat_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::newRow("in the document group") << QByteArray("{\\rtf1 a\\par\\pard\\qc\\li300 centrato}");
        QTest::newRow("in an inner group") << QByteArray("{\\rtf1 a\\par{\\pard\\qc\\li300 centrato}}");
        QTest::newRow("unterminated") << QByteArray("{\\rtf1 a\\par\\pard\\qc\\li300 centrato");
    }
    void lastParagraphKeepsItsFormat()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        Rtf::read(rtf, &doc);
        QCOMPARE(doc.lastBlock().text(), QStringLiteral("centrato"));
        QCOMPARE(doc.lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(doc.lastBlock().blockFormat().leftMargin(), 20.0);
    }

    void notRtfLoadsAsPlainText()
    {
        QCOMPARE(plain("solo testo\n"), QStringLiteral("solo testo\n"));
        QCOMPARE(plain("citt\xe0"), QStringLiteral("città"));
        QCOMPARE(plain("citt\xc3\xa0"), QStringLiteral("città"));
        QCOMPARE(plain(""), QString());
        QVERIFY(Rtf::looksLikeRtf("\xEF\xBB\xBF \r\n{\\rtf1}"));
    }

    void progressAndCancel()
    {
        QByteArray big = "{\\rtf1 ";
        for (int i = 0; i < 20000; ++i)
            big += "riga di appunti numero " + QByteArray::number(i) + "\\par\r\n";
        big += '}';
        QList<int> seen;
        QTextDocument doc;
        QVERIFY(Rtf::read(big, &doc, [&seen](int percent) { seen << percent; return true; }));
        QVERIFY(seen.size() > 2);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(seen.last(), 100);
        QCOMPARE(doc.blockCount(), 20000);
        QTextDocument cancelled;
        QVERIFY(!Rtf::read(big, &cancelled, [](int percent) { return percent < 10; }));
        QVERIFY(cancelled.blockCount() < 20000);
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
        QTest::newRow("picture with huge bin") << QByteArray("{\\rtf1 a{\\pict\\pngblip\\bin999999999 xx}b}") << "a";
        QTest::newRow("many cells in a row") << "{\\rtf1 \\intbl " + QByteArray(20000 * 6, 'x').replace("xxxxxx", "c\\cell ") + "\\row}" << "c";
        QTest::newRow("many rows") << "{\\rtf1 " + QByteArray(20000 * 5, 'x').replace("xxxxx", "\\intbl r\\cell\\row ") + "}" << "r";
        QTest::newRow("list words without tables") << QByteArray("{\\rtf1 \\ls99999999\\ilvl-5 a{\\*\\listtable{\\list\\listid}}{\\listoverridetable\\ls}}") << "a";
        QTest::newRow("many fields without instruction")
            << "{\\rtf1 " + QByteArray(60000 * 20, 'x').replace("xxxxxxxxxxxxxxxxxxxx", "{\\field{\\fldrslt f}}") + "}" << "";
        QTest::newRow("field without instruction") << QByteArray("{\\rtf1 {\\field{\\fldrslt x}}{\\field{\\*\\fldinst HYPERLINK}{\\fldrslt y}}}") << "";
        QTest::newRow("nested rows out of order") << QByteArray("{\\rtf1 \\nestrow\\row\\intbl\\itap3\\row a\\cell\\nestcell\\itap0 b\\nestrow c}") << "c";
    }
    void malformedInputLoadsWhatItCan()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, contains);
        QElapsedTimer timer;
        timer.start();
        QTextDocument doc;
        Rtf::read(rtf, &doc);
        QVERIFY2(visible(doc).contains(contains), qPrintable(visible(doc).left(80)));
        // And what was read can be written and read again.
        const QByteArray out = Rtf::write(&doc);
        QTextDocument again;
        Rtf::read(out, &again);
        QCOMPARE(outline(again), outline(doc));
        QCOMPARE(Rtf::write(&again), out);
        QVERIFY2(timer.elapsed() < 20000, "no quadratic work on long inputs");
    }

    void randomBytesNeverBreakTheReader()
    {
        QRandomGenerator rng(20261207);
        static const QByteArrayList words = {"\\par ", "\\cell ", "\\row ", "\\intbl ", "\\itap2 ", "\\nestcell ", "\\nestrow ",
                                             "{\\*\\nesttableprops ", "\\ls1 ", "\\ilvl1 ", "{\\*\\pn\\pnlvlblt}", "{\\pict\\pngblip ",
                                             "{\\pict\\wmetafile8 ", "{\\footnote ", "{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt ",
                                             "\\super ", "\\v ", "{\\*\\x ", "\\pard ", "{\\listtext ", "\\trowd\\cellx1 "};
        for (int round = 0; round < 200; ++round) {
            QByteArray junk("{\\rtf1 ");
            const int size = int(rng.bounded(4096));
            static const char alphabet[] = "{}\\'abcu0123456789-; \r\nbfsparlinequc*";
            for (int i = 0; i < size; ++i) {
                if (rng.bounded(16) == 0)
                    junk.append(words[rng.bounded(int(words.size()))]);
                else
                    junk.append(rng.bounded(4) == 0 ? char(rng.bounded(256)) : alphabet[rng.bounded(int(sizeof alphabet) - 1)]);
            }
            QTextDocument doc;
            Rtf::read(junk, &doc);
            const QByteArray out = Rtf::write(&doc);
            QTextDocument again;
            Rtf::read(out, &again);
            QCOMPARE(outline(again), outline(doc));
            QCOMPARE(Rtf::write(&again), out);
        }
    }

    void writerRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::newRow("wordpad sample") << sample("wordpad.rtf");
        QTest::newRow("cyrillic sample") << sample("cyrillic.rtf");
        QTest::newRow("destinations sample") << sample("destinations.rtf");
        QTest::newRow("symbols") << QByteArray("{\\rtf1 \\u-10179?\\u-8704? \\u945?\\u8364? \\{x\\}\\\\ \\'e0\\tab\\line fine\\par\\par}");
        QTest::newRow("picture bullets")
            << QByteArray("{\\rtf1{\\*\\listtable{\\*\\listpicture{\\pict\\pngblip 89504e47}}{\\list{\\listlevel\\levelnfc23"
                          "\\levelpicture0{\\leveltext\\'01\\u8226 ?;}}\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}"
                          "\\pard\\ls1 uno}");
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
