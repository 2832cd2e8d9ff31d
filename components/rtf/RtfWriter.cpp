// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF writer: a header with the font, colour and list tables and the
// kept document groups, then the blocks, tables, text runs, pictures and
// kept inline groups of the document, as 7-bit text.
#include "components/rtf/Rtf.h"
#include "components/rtf/RtfShared.h"

#include "data/Codepage.h"

#include <QBuffer>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

namespace Rtf::detail {

namespace {

// A font name as the font table can hold it: a semicolon would end it, and
// control characters and outer spaces do not survive reading.
QString tableName(QString name)
{
    name.replace(QLatin1Char(';'), QLatin1Char(' ')).replace(QLatin1Char('\t'), QLatin1Char(' '));
    dropControls(name, false);
    return name.trimmed();
}

// Text as RTF; with ansiBytes, characters of Windows-1252 are written as
// \'hh, which only a font of that code page reads back right.
void escape(QByteArray &out, const QString &text, bool ansiBytes)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        const char16_t u = ch.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += char(u);
        } else if (u == '\t') {
            out += "\\tab ";
        } else if (u == QChar::LineSeparator) {
            out += "\\line ";
        } else if (u >= 0x20 && u < 0x7F) {
            out += char(u);
        } else if (u < 0x20 || u == 0x7F || u == QChar::ObjectReplacementCharacter || u == QChar::ParagraphSeparator
                   || u == 0xFEFF) {
            continue;
        } else if (const int b = ansiBytes ? Codepage::toWindows1252(ch) : -1; b >= 0x80 && b <= 0xFF) {
            out += QByteArray("\\'") + QByteArray::number(b, 16).rightJustified(2, '0');
        } else {
            out += "\\u" + QByteArray::number(qint16(u)) + '?';
        }
    }
}

// A link target as a field argument: only printable ASCII, quotes and
// backslashes and braces percent-encoded.
QByteArray fieldArgument(const QString &target)
{
    QByteArray out = "\"";
    for (const char c : target.toUtf8()) {
        const uchar u = uchar(c);
        if (u > 0x20 && u < 0x7F && c != '"' && c != '\\' && c != '{' && c != '}')
            out += c;
        else
            out += '%' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
    }
    return out + '"';
}

void appendHex(QByteArray &out, const QByteArray &bytes)
{
    static const char digits[] = "0123456789abcdef";
    constexpr qsizetype kLine = 64;   // bytes a line
    const qsizetype start = out.size();
    const qsizetype lines = (bytes.size() + kLine - 1) / kLine;
    out.resize(start + bytes.size() * 2 + lines * 2);
    char *p = out.data() + start;
    const uchar *in = reinterpret_cast<const uchar *>(bytes.constData());
    for (qsizetype done = 0; done < bytes.size(); done += kLine) {
        *p++ = '\r';
        *p++ = '\n';
        const uchar *end = in + std::min(kLine, bytes.size() - done);
        for (; in < end; ++in) {
            *p++ = digits[*in >> 4];
            *p++ = digits[*in & 15];
        }
    }
}

struct WriterFont {
    int number = 0;
    int charset = 0;
    QString name;
};

class Writer {
public:
    explicit Writer(const QTextDocument *doc) : m_doc(doc) {}

    QByteArray run()
    {
        collect();
        std::sort(m_fonts.begin(), m_fonts.end(),
                  [](const WriterFont &a, const WriterFont &b) { return a.number < b.number; });
        m_out = "{\\rtf1\\ansi\\ansicpg" + QByteArray::number(m_ansi) + "\\deff" + QByteArray::number(m_defaultFont)
                + "\\uc1{\\fonttbl";
        for (const WriterFont &f : std::as_const(m_fonts)) {
            m_out += "{\\f" + QByteArray::number(f.number) + "\\fnil\\fcharset" + QByteArray::number(f.charset) + ' ';
            escape(m_out, f.name, ansiCharset(f.charset));
            m_out += ";}";
        }
        m_out += "}{\\colortbl ";
        for (const QColor &c : std::as_const(m_colors)) {
            if (c.isValid())
                m_out += "\\red" + QByteArray::number(c.red()) + "\\green" + QByteArray::number(c.green()) + "\\blue"
                         + QByteArray::number(c.blue());
            m_out += ';';
        }
        m_out += "}\r\n";
        m_out += kept(m_doc, kDocGroups).toByteArray();
        writeListTables();
        m_out += kept(m_doc, kSectionGroups).toByteArray();
        items(m_doc->rootFrame()->begin(), 0);
        m_out += "}\r\n";
        return m_out;
    }

private:
    bool ansiCharset(int charset) const { return codepageOfCharset(charset, m_ansi) == 1252; }

    QString familyOf(const QTextCharFormat &f) const
    {
        const QStringList families = f.fontFamilies().toStringList();
        const QString name = families.isEmpty() ? QString() : tableName(families.first());
        return name.isEmpty() ? m_defaultFamily : name;
    }

    int fontNumber(const QString &family)
    {
        const auto found = m_fontByName.constFind(family);
        if (found != m_fontByName.constEnd())
            return *found;
        // The lowest number the table leaves free.
        while (m_usedFonts.contains(m_nextFont))
            ++m_nextFont;
        const int number = m_nextFont;
        m_usedFonts.insert(number);
        m_fonts.append({number, 0, family});
        m_fontByName.insert(family, number);
        return number;
    }

    int colorIndex(const QColor &c)
    {
        for (qsizetype i = 1; i < m_colors.size(); ++i)
            if (m_colors[i].isValid() && m_colors[i] == c)
                return int(i);
        m_colors.append(c);
        return int(m_colors.size() - 1);
    }

    // The tables, as read and then in order of first use.
    void collect()
    {
        const QVariantList fonts = kept(m_doc, kFonts).toList();
        for (const QVariant &v : fonts) {
            const QVariantList f = v.toList();
            if (f.size() != 3)
                continue;
            const WriterFont font{f[0].toInt(), f[1].toInt(), tableName(f[2].toString())};
            if (font.number < 0 || m_usedFonts.contains(font.number))
                continue;
            m_usedFonts.insert(font.number);
            m_fonts.append(font);
            if (!font.name.isEmpty() && !m_fontByName.contains(font.name))
                m_fontByName.insert(font.name, font.number);
        }
        const QVariantList colors = kept(m_doc, kColors).toList();
        for (const QVariant &v : colors)
            m_colors.append(v.value<QColor>());
        if (m_colors.isEmpty())
            m_colors.append(QColor());
        bool ok = false;
        const int ansi = kept(m_doc, kAnsi).toInt(&ok);
        m_ansi = ok && ansi > 0 ? ansi : 1252;
        m_defaultFont = kept(m_doc, kDefaultFont).toInt();
        for (const WriterFont &f : std::as_const(m_fonts))
            if (f.number == m_defaultFont)
                m_defaultFamily = f.name;
        if (m_fonts.isEmpty())
            m_defaultFont = 0;
        if (m_defaultFamily.isEmpty())
            m_defaultFamily = tableName(m_doc->defaultFont().family());
        if (m_defaultFamily.isEmpty())
            m_defaultFamily = QStringLiteral("Arial");
        fontNumber(m_defaultFamily);

        for (QTextBlock block = m_doc->begin(); block.isValid(); block = block.next()) {
            if (QTextList *list = block.textList(); list && !m_listIds.contains(list)) {
                m_listIds.insert(list, int(m_lists.size()) + 1);
                m_lists.append(list);
            }
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat f = it.fragment().charFormat();
                fontNumber(familyOf(f));
                if (f.hasProperty(QTextFormat::ForegroundBrush))
                    colorIndex(f.foreground().color());
                if (f.hasProperty(QTextFormat::BackgroundBrush))
                    colorIndex(f.background().color());
            }
        }
        for (const WriterFont &f : std::as_const(m_fonts))
            m_ansiFont.insert(f.number, ansiCharset(f.charset));
    }

    static int nfcOf(QTextListFormat::Style style)
    {
        switch (style) {
        case QTextListFormat::ListDecimal: return 0;
        case QTextListFormat::ListUpperRoman: return 1;
        case QTextListFormat::ListLowerRoman: return 2;
        case QTextListFormat::ListUpperAlpha: return 3;
        case QTextListFormat::ListLowerAlpha: return 4;
        default: return 23;
        }
    }

    static QByteArray bulletOf(QTextListFormat::Style style)
    {
        switch (style) {
        case QTextListFormat::ListCircle: return "o";
        case QTextListFormat::ListSquare: return "\\u9642 ?";
        default: return "\\u8226 ?";
        }
    }

    void writeListTables()
    {
        const QByteArray pictures = kept(m_doc, kListPictures).toByteArray();
        if (m_lists.isEmpty() && pictures.isEmpty())
            return;
        m_out += "{\\*\\listtable";
        if (!pictures.isEmpty())
            m_out += "\r\n" + pictures;
        for (qsizetype i = 0; i < m_lists.size(); ++i) {
            const QTextListFormat format = m_lists[i]->format();
            const QTextListFormat::Style style = format.style();
            const QByteArray nfc = QByteArray::number(nfcOf(style));
            // A picture bullet belongs to the level the list's items are written at.
            const int pictureLevel = std::clamp(format.indent() - 1, 0, kMaxListLevel);
            const bool picture = !pictures.isEmpty() && format.hasProperty(Rtf::LevelPicture);
            m_out += "\r\n{\\list\\listtemplateid" + QByteArray::number(i + 1);
            for (int level = 0; level <= kMaxListLevel; ++level) {
                m_out += "{\\listlevel\\levelnfc" + nfc + "\\levelnfcn" + nfc
                         + "\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat1";
                if (picture && level == pictureLevel) {
                    m_out += "\\levelpicture" + QByteArray::number(format.intProperty(Rtf::LevelPicture));
                    if (format.boolProperty(Rtf::LevelPictureNoSize))
                        m_out += "\\levelpicturenosize";
                }
                m_out += "{\\leveltext";
                if (nfc == "23")
                    m_out += "\\'01" + bulletOf(style) + ";}{\\levelnumbers;}";
                else
                    m_out += "\\'02\\'0" + QByteArray::number(level) + ".;}{\\levelnumbers\\'01;}";
                const QByteArray indent = QByteArray::number(360 * (level + 1));
                m_out += "\\fi-360\\li" + indent + "\\lin" + indent + '}';
            }
            m_out += "\\listid" + QByteArray::number(i + 1) + '}';
        }
        m_out += "}\r\n";
        if (m_lists.isEmpty())
            return;
        m_out += "{\\*\\listoverridetable";
        for (qsizetype i = 0; i < m_lists.size(); ++i)
            m_out += "{\\listoverride\\listid" + QByteArray::number(i + 1) + "\\listoverridecount0\\ls"
                     + QByteArray::number(i + 1) + '}';
        m_out += "}\r\n";
    }

    // The blocks and tables of a frame or cell; `level` is their table level.
    void items(QTextFrame::iterator it, int level)
    {
        bool first = true;
        while (!it.atEnd()) {
            QTextFrame::iterator next = it;
            ++next;
            if (QTextTable *table = qobject_cast<QTextTable *>(it.currentFrame())) {
                if (level < kMaxTableDepth)
                    writeTable(table, level + 1);
                else
                    items(table->begin(), level);
            } else if (QTextFrame *frame = it.currentFrame()) {
                items(frame->begin(), level);
            } else {
                const QTextBlock block = it.currentBlock();
                // Qt keeps an empty block before a table that opens a frame;
                // the reader makes it again.
                const bool beforeTable = !next.atEnd() && qobject_cast<QTextTable *>(next.currentFrame());
                if (!(first && beforeTable && block.length() <= 1 && !block.textList()))
                    writeBlock(block, level, level > 0 && next.atEnd());
            }
            first = false;
            it = next;
        }
    }

    void writeTable(QTextTable *table, int level)
    {
        const int rows = table->rows(), columns = table->columns();
        if (rows <= 0 || columns <= 0)
            return;
        QByteArray rowDef = "\\trowd\\trgaph108";
        const int width = 9000 / level;
        for (int c = 0; c < columns; ++c)
            rowDef += "\\clbrdrt\\brdrs\\clbrdrl\\brdrs\\clbrdrb\\brdrs\\clbrdrr\\brdrs\\cellx"
                      + QByteArray::number((c + 1) * width / columns);
        const QByteArray cellEnd = level > 1 ? "\\nestcell" : "\\cell";
        const QByteArray itap = level > 1 ? "\\itap" + QByteArray::number(level) : QByteArray();
        for (int r = 0; r < rows; ++r) {
            if (level == 1)
                m_out += rowDef + "\r\n";
            for (int c = 0; c < columns; ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                if (cell.row() != r || cell.column() != c)   // covered by a span
                    m_out += "\\pard\\intbl" + itap + ' ' + cellEnd + "\r\n";
                else
                    items(cell.begin(), level);
            }
            if (level == 1)
                m_out += "\\row\r\n";
            else
                m_out += "{\\*\\nesttableprops" + rowDef + "\\nestrow}{\\nonesttables\\par}\r\n";
        }
    }

    void writeBlock(const QTextBlock &block, int level, bool endsCell)
    {
        const QTextBlockFormat bf = block.blockFormat();
        m_out += "\\pard";
        if (level > 0) {
            m_out += "\\intbl";
            if (level > 1)
                m_out += "\\itap" + QByteArray::number(level);
        }
        QTextList *list = block.textList();
        int ilvl = 0;
        if (list) {
            ilvl = std::clamp(list->format().indent() - 1, 0, kMaxListLevel);
            m_out += "\\ls" + QByteArray::number(m_listIds.value(list));
            if (ilvl)
                m_out += "\\ilvl" + QByteArray::number(ilvl);
        }
        const Qt::Alignment align = bf.alignment() & Qt::AlignHorizontal_Mask;
        if (align & Qt::AlignHCenter) m_out += "\\qc";
        else if (align & Qt::AlignRight) m_out += "\\qr";
        else if (align & Qt::AlignJustify) m_out += "\\qj";
        if (list) {
            m_out += "\\li" + QByteArray::number(360 * (ilvl + 1)) + "\\fi-360";
        } else {
            if (const int li = qRound(bf.leftMargin() * 15)) m_out += "\\li" + QByteArray::number(li);
            if (const int fi = qRound(bf.textIndent() * 15)) m_out += "\\fi" + QByteArray::number(fi);
        }
        if (const int ri = qRound(bf.rightMargin() * 15)) m_out += "\\ri" + QByteArray::number(ri);
        m_out += ' ';
        if (list) {
            // The marker as text, for readers without list tables.
            m_out += "{\\listtext ";
            const QTextListFormat::Style style = list->format().style();
            if (nfcOf(style) == 23)
                m_out += "\\'95";
            else
                escape(m_out, list->itemText(block), true);
            m_out += "\\tab}";
        }
        writeFragments(block);
        m_out += endsCell ? (level > 1 ? "\\nestcell" : "\\cell") : "\\par";
        m_out += "\r\n";
    }

    // Neighbouring fragments that write the same codes share one group, so
    // the output does not depend on how the document split its text.
    void writeFragments(const QTextBlock &block)
    {
        QByteArray groupCodes;   // of the group open in the output
        QString href;
        const auto closeGroup = [&] {
            if (groupCodes.isEmpty())
                return;
            m_out += '}';
            groupCodes.clear();
        };
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat f = fragment.charFormat();
            const QString target = f.isAnchor() ? f.anchorHref() : QString();
            if (target != href) {
                closeGroup();
                if (!href.isEmpty())
                    m_out += "}}";
                if (!target.isEmpty())
                    m_out += "{\\field{\\*\\fldinst HYPERLINK " + fieldArgument(target) + "}{\\fldrslt ";
                href = target;
            }
            const int font = fontNumber(familyOf(f));
            QByteArray codes = "\\f" + QByteArray::number(font);
            const qreal points = f.fontPointSize() > 0 ? f.fontPointSize() : m_doc->defaultFont().pointSizeF();
            codes += "\\fs" + QByteArray::number(std::clamp(qRound(points * 2), 1, 3276));
            if (f.fontWeight() >= QFont::Bold) codes += "\\b";
            if (f.fontItalic()) codes += "\\i";
            if (f.fontUnderline()) codes += "\\ul";
            if (f.fontStrikeOut()) codes += "\\strike";
            if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) codes += "\\super";
            else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) codes += "\\sub";
            if (f.boolProperty(Rtf::Hidden)) codes += "\\v";
            if (f.hasProperty(QTextFormat::ForegroundBrush))
                codes += "\\cf" + QByteArray::number(colorIndex(f.foreground().color()));
            if (f.hasProperty(QTextFormat::BackgroundBrush))
                codes += "\\highlight" + QByteArray::number(colorIndex(f.background().color()));
            if (codes != groupCodes) {
                closeGroup();
                m_out += '{';
                m_out += codes;
                m_out += ' ';
                groupCodes = codes;
            }
            const QString text = fragment.text();
            if (f.isImageFormat() || f.objectType() != QTextFormat::NoObject) {
                for (const QChar ch : text)
                    if (ch == QChar::ObjectReplacementCharacter)
                        writeObject(m_out, f);
            } else {
                escape(m_out, text, m_ansiFont.value(font, true));
            }
        }
        closeGroup();
        if (!href.isEmpty())
            m_out += "}}";
    }

    void writeObject(QByteArray &out, const QTextCharFormat &f)
    {
        const QByteArray raw = f.property(Rtf::Raw).toByteArray();
        if (!raw.isEmpty()) {
            out += raw;
            return;
        }
        if (!f.isImageFormat())
            return;
        const QTextImageFormat image = f.toImageFormat();
        QByteArray bytes = f.property(Rtf::Blip).toByteArray();
        bool jpeg = f.boolProperty(Rtf::BlipJpeg);
        QSize pixels(f.intProperty(Rtf::PictureWidth), f.intProperty(Rtf::PictureHeight));
        if (bytes.isEmpty()) {
            // An image from elsewhere: its bytes if they are PNG or JPEG,
            // otherwise the image as PNG.
            const QVariant resource = m_doc->resource(QTextDocument::ImageResource, QUrl(image.name()));
            QImage decoded;
            if (resource.userType() == QMetaType::QByteArray) {
                bytes = resource.toByteArray();
                jpeg = bytes.startsWith("\xFF\xD8");
                if (!jpeg && !bytes.startsWith("\x89PNG")) {
                    decoded.loadFromData(bytes);
                    bytes.clear();
                }
            } else if (resource.userType() == QMetaType::QImage || resource.userType() == QMetaType::QPixmap) {
                decoded = resource.value<QImage>();
            }
            if (bytes.isEmpty() && !decoded.isNull()) {
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::WriteOnly);
                decoded.save(&buffer, "PNG");
                jpeg = false;
            }
            if (bytes.isEmpty())
                return;
            if (!decoded.isNull())
                pixels = decoded.size();
        }
        if (pixels.width() <= 0 || pixels.height() <= 0) {
            QBuffer buffer;
            buffer.setData(bytes);
            buffer.open(QIODevice::ReadOnly);
            pixels = QImageReader(&buffer).size();
        }
        const double w = image.width() > 0 ? image.width() : std::max(pixels.width(), 1);
        const double h = image.height() > 0 ? image.height() : std::max(pixels.height(), 1);
        out += jpeg ? "{\\pict\\jpegblip" : "{\\pict\\pngblip";
        if (pixels.width() > 0 && pixels.height() > 0)
            out += "\\picw" + QByteArray::number(pixels.width()) + "\\pich" + QByteArray::number(pixels.height());
        out += "\\picwgoal" + QByteArray::number(qRound(std::clamp(w, 1.0, 4000.0) * 15)) + "\\pichgoal"
               + QByteArray::number(qRound(std::clamp(h, 1.0, 4000.0) * 15));
        appendHex(out, bytes);
        out += '}';
    }

    const QTextDocument *m_doc;
    QByteArray m_out;
    QVector<WriterFont> m_fonts;
    QHash<QString, int> m_fontByName;
    QSet<int> m_usedFonts;
    int m_nextFont = 0;
    QHash<int, bool> m_ansiFont;
    QVector<QColor> m_colors;
    int m_ansi = 1252;
    int m_defaultFont = 0;
    QString m_defaultFamily;
    QVector<QTextList *> m_lists;
    QHash<QTextList *, int> m_listIds;
};

} // namespace

} // namespace Rtf::detail

namespace Rtf {

QByteArray write(const QTextDocument *document)
{
    return detail::Writer(document).run();
}

} // namespace Rtf
