#include "Rtf.h"

#include "data/Codepage.h"

#include <QColor>
#include <QHash>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <limits>

namespace {

constexpr int kMaxDepth = 256;          // deeper groups are read as skipped
constexpr int kMaxWordLength = 32;
constexpr int kMaxParamDigits = 10;

int codepageOfCharset(int charset, int ansi)
{
    switch (charset) {
    case 0: return 1252;
    case 1: return ansi;
    case 2: return 1252;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return ansi;
    }
}

QByteArray codecName(int codepage)
{
    switch (codepage) {
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 10000: return "macintosh";
    case 65001: return "UTF-8";
    default: return "windows-" + QByteArray::number(codepage);
    }
}

// Decodes a run of 8-bit text; an unknown code page reads as Windows-1252.
QString decodeBytes(const QByteArray &bytes, int codepage)
{
    if (codepage != 1252) {
        QStringDecoder decoder(codecName(codepage).constData());
        if (decoder.isValid()) {
            const QString text = decoder.decode(bytes);
            if (!decoder.hasError() || !text.isEmpty())
                return text;
        }
    }
    return Codepage::fromWindows1252(bytes);
}

struct CharState {
    bool bold = false, italic = false, underline = false, strike = false;
    int font = -1;      // -1: the default font
    int halfPoints = 24;
    int color = 0;      // index in the colour table, 0 = automatic
    int highlight = 0;
    bool operator==(const CharState &o) const
    {
        return bold == o.bold && italic == o.italic && underline == o.underline && strike == o.strike
               && font == o.font && halfPoints == o.halfPoints && color == o.color && highlight == o.highlight;
    }
    bool operator!=(const CharState &o) const { return !(*this == o); }
};

// Control characters carry nothing a notes page can show.
void dropControls(QString &text, bool keepLineFeeds)
{
    text.removeIf([keepLineFeeds](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != '\t' && !(keepLineFeeds && u == '\n')) || u == 0x7F
               || u == QChar::ObjectReplacementCharacter;
    });
}

int hexDigit(char d)
{
    if (d >= '0' && d <= '9') return d - '0';
    if (d >= 'a' && d <= 'f') return d - 'a' + 10;
    if (d >= 'A' && d <= 'F') return d - 'A' + 10;
    return -1;
}

struct ParaState {
    Qt::Alignment align = Qt::AlignLeft;
    int left = 0, right = 0, first = 0;   // twips
};

enum class Dest { Text, Skip, FontTable, ColorTable };

struct State {
    CharState chr;
    ParaState para;
    int uc = 1;
    Dest dest = Dest::Text;
};

struct Font {
    QString name;
    int charset = 0;
};

class Reader {
public:
    Reader(const QByteArray &in, QTextDocument *doc) : m_in(in), m_doc(doc), m_cursor(doc) {}

    void run()
    {
        m_doc->clear();
        m_cursor = QTextCursor(m_doc);
        const qsizetype n = m_in.size();
        while (m_pos < n) {
            const char c = m_in.at(m_pos);
            if (c == '{') {
                ++m_pos;
                openGroup();
            } else if (c == '}') {
                ++m_pos;
                closeGroup();
            } else if (c == '\\') {
                ++m_pos;
                control();
            } else if (c == '\r' || c == '\n' || c == '\0') {
                ++m_pos;
            } else {
                ++m_pos;
                textByte(c);
            }
        }
        flush();
        finishParagraphs();
    }

private:
    // ---- groups
    void openGroup()
    {
        flushBytes();
        m_skipChars = 0;
        if (m_stack.size() >= kMaxDepth) {
            ++m_overflow;
            return;
        }
        m_stack.append(m_state);
    }

    void closeGroup()
    {
        flushBytes();
        m_skipChars = 0;
        if (m_overflow > 0) {
            --m_overflow;
            return;
        }
        if (m_state.dest == Dest::FontTable)
            finishFontName();
        if (m_stack.isEmpty())
            return;
        if (m_stack.last().chr != m_state.chr)
            flush();
        m_state = m_stack.takeLast();
    }

    bool skipping() const { return m_overflow > 0 || m_state.dest == Dest::Skip; }

    // ---- text
    int codepage() const
    {
        const auto font = m_fonts.constFind(m_state.chr.font < 0 ? m_defaultFont : m_state.chr.font);
        return font == m_fonts.constEnd() ? m_ansi : codepageOfCharset(font->charset, m_ansi);
    }

    void textByte(char c)
    {
        if (skipping())
            return;
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        switch (m_state.dest) {
        case Dest::Text:
            m_bytes.append(c);
            break;
        case Dest::FontTable:
            if (c == ';')
                finishFontName();
            else
                m_fontName.append(c);
            break;
        case Dest::ColorTable:
            if (c == ';') {
                m_colors.append(m_colorSet ? QColor(m_red, m_green, m_blue) : QColor());
                m_red = m_green = m_blue = 0;
                m_colorSet = false;
            }
            break;
        case Dest::Skip:
            break;
        }
    }

    void appendText(const QString &text)
    {
        if (skipping() || m_state.dest != Dest::Text)
            return;
        flushBytes();
        m_text.append(text);
    }

    void flushBytes()
    {
        if (m_bytes.isEmpty())
            return;
        m_text.append(decodeBytes(m_bytes, codepage()));
        m_bytes.clear();
    }

    void flush()
    {
        flushBytes();
        if (m_text.isEmpty())
            return;
        dropControls(m_text, false);
        if (m_text.isEmpty())
            return;
        openPendingParagraphs();
        m_cursor.insertText(m_text, charFormat());
        m_text.clear();
    }

    QTextCharFormat charFormat() const
    {
        const CharState &c = m_state.chr;
        QTextCharFormat f;
        f.setFontWeight(c.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(c.italic);
        f.setFontUnderline(c.underline);
        f.setFontStrikeOut(c.strike);
        const auto font = m_fonts.constFind(c.font < 0 ? m_defaultFont : c.font);
        if (font != m_fonts.constEnd() && !font->name.isEmpty())
            f.setFontFamilies({font->name});
        f.setFontPointSize(c.halfPoints / 2.0);
        if (c.color > 0 && c.color < m_colors.size() && m_colors[c.color].isValid())
            f.setForeground(m_colors[c.color]);
        if (c.highlight > 0 && c.highlight < m_colors.size() && m_colors[c.highlight].isValid())
            f.setBackground(m_colors[c.highlight]);
        return f;
    }

    QTextBlockFormat blockFormat() const
    {
        const ParaState &p = m_state.para;
        QTextBlockFormat f;
        f.setAlignment(p.align);
        f.setLeftMargin(p.left / 15.0);
        f.setRightMargin(p.right / 15.0);
        f.setTextIndent(p.first / 15.0);
        return f;
    }

    // ---- paragraphs: a \par ends a paragraph; the next one opens only when
    // something follows, so a closing \par adds no empty paragraph.
    void paragraph()
    {
        flush();
        m_pending.append(blockFormat());
    }

    void openPendingParagraphs()
    {
        for (const QTextBlockFormat &f : std::as_const(m_pending)) {
            m_cursor.setBlockFormat(f);
            m_cursor.insertBlock();
        }
        m_pending.clear();
    }

    void finishParagraphs()
    {
        if (m_pending.isEmpty()) {
            m_cursor.setBlockFormat(blockFormat());
            return;
        }
        const QTextBlockFormat last = m_pending.takeLast();
        openPendingParagraphs();
        m_cursor.setBlockFormat(last);
    }

    // ---- tables
    void fontNameBytesToText()
    {
        if (m_fontName.isEmpty())
            return;
        const int charset = m_fontNumber >= 0 ? m_fonts.value(m_fontNumber).charset : 0;
        m_fontText += decodeBytes(m_fontName, codepageOfCharset(charset, m_ansi));
        m_fontName.clear();
    }

    void finishFontName()
    {
        fontNameBytesToText();
        if (m_fontNumber >= 0) {
            const QString name = m_fontText.trimmed();
            if (!name.isEmpty())
                m_fonts[m_fontNumber].name = name;
        }
        m_fontText.clear();
    }

    // ---- control words and symbols
    void control()
    {
        const qsizetype n = m_in.size();
        if (m_pos >= n)
            return;
        const char c = m_in.at(m_pos);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            const qsizetype start = m_pos;
            while (m_pos < n && ((m_in.at(m_pos) >= 'a' && m_in.at(m_pos) <= 'z') || (m_in.at(m_pos) >= 'A' && m_in.at(m_pos) <= 'Z')))
                ++m_pos;
            const QByteArray word = m_in.mid(start, std::min<qsizetype>(m_pos - start, kMaxWordLength));
            bool hasParam = false;
            bool negative = false;
            qint64 param = 0;
            if (m_pos < n && m_in.at(m_pos) == '-') {
                negative = true;
                ++m_pos;
            }
            int digits = 0;
            while (m_pos < n && m_in.at(m_pos) >= '0' && m_in.at(m_pos) <= '9') {
                if (digits++ < kMaxParamDigits)
                    param = param * 10 + (m_in.at(m_pos) - '0');
                hasParam = true;
                ++m_pos;
            }
            if (m_pos < n && m_in.at(m_pos) == ' ')
                ++m_pos;
            param = std::clamp<qint64>(negative ? -param : param, std::numeric_limits<qint32>::min(),
                                       std::numeric_limits<qint32>::max());
            word_(word, hasParam, int(param));
            return;
        }
        ++m_pos;
        switch (c) {
        case '\'': {
            int value = 0, got = 0;
            while (got < 2 && m_pos < n && hexDigit(m_in.at(m_pos)) >= 0) {
                value = value * 16 + hexDigit(m_in.at(m_pos));
                ++got;
                ++m_pos;
            }
            if (got == 2)
                textByte(char(value));
            break;
        }
        case '\\': case '{': case '}':
            textByte(c);
            break;
        case '~':
            appendText(QString(QChar(0x00A0)));
            break;
        case '_':
            appendText(QString(QChar(0x2011)));
            break;
        case '*':
            flushBytes();
            m_state.dest = Dest::Skip;
            break;
        case '\r': case '\n':
            if (!skipping() && m_state.dest == Dest::Text)
                paragraph();
            break;
        default:
            break;   // \- optional hyphen, \| \: and unknown symbols
        }
    }

    void word_(const QByteArray &w, bool hasParam, int param)
    {
        if (w == "bin") {
            // Binary data is never text: skip it, never past the end.
            flush();
            const qint64 len = hasParam ? std::max(param, 0) : 0;
            m_pos += std::min<qint64>(len, m_in.size() - m_pos);
            return;
        }
        if (skipping())
            return;
        flushBytes();
        if (m_state.dest == Dest::FontTable) {
            if (w == "u" && hasParam) {
                fontNameBytesToText();
                m_fontText += QChar(char16_t((param < 0 ? param + 65536 : param) & 0xFFFF));
                m_skipChars = m_state.uc;
            } else if (w == "f")
                m_fontNumber = param;
            else if (w == "fcharset" && m_fontNumber >= 0)
                m_fonts[m_fontNumber].charset = param;
            else if (isSkippedDestination(w))
                m_state.dest = Dest::Skip;
            return;
        }
        if (m_state.dest == Dest::ColorTable) {
            const int v = std::clamp(param, 0, 255);
            if (w == "red") { m_red = v; m_colorSet = true; }
            else if (w == "green") { m_green = v; m_colorSet = true; }
            else if (w == "blue") { m_blue = v; m_colorSet = true; }
            return;
        }
        // Text read so far keeps the format it was read in.
        CharState c = m_state.chr;
        ParaState &p = m_state.para;
        const bool on = !hasParam || param != 0;
        charWord(w, param, on, c);
        if (c != m_state.chr) {
            flush();
            m_state.chr = c;
            return;
        }
        if (w == "par" || w == "page" || w == "sect" || w == "row") paragraph();
        else if (w == "line") appendText(QString(QChar(QChar::LineSeparator)));
        else if (w == "tab" || w == "cell") appendText(QStringLiteral("\t"));
        else if (w == "u" && hasParam) {
            const int unit = param < 0 ? param + 65536 : param;
            appendText(QString(QChar(char16_t(unit & 0xFFFF))));
            m_skipChars = m_state.uc;
        }
        else if (w == "uc") m_state.uc = std::clamp(param, 0, 16);
        else if (w == "pard") p = ParaState();
        else if (w == "ql") p.align = Qt::AlignLeft;
        else if (w == "qc") p.align = Qt::AlignHCenter;
        else if (w == "qr") p.align = Qt::AlignRight;
        else if (w == "qj") p.align = Qt::AlignJustify;
        else if (w == "li") p.left = std::clamp(param, -32000, 32000);
        else if (w == "ri") p.right = std::clamp(param, -32000, 32000);
        else if (w == "fi") p.first = std::clamp(param, -32000, 32000);
        else if (w == "ansi") m_ansi = 1252;
        else if (w == "ansicpg") m_ansi = param > 0 ? param : 1252;
        else if (w == "mac") m_ansi = 10000;
        else if (w == "pc") m_ansi = 437;
        else if (w == "pca") m_ansi = 850;
        else if (w == "deff") m_defaultFont = param;
        else if (w == "fonttbl") m_state.dest = Dest::FontTable;
        else if (w == "colortbl") { m_state.dest = Dest::ColorTable; m_colors.clear(); }
        else if (w == "emdash") appendText(QString(QChar(0x2014)));
        else if (w == "endash") appendText(QString(QChar(0x2013)));
        else if (w == "bullet") appendText(QString(QChar(0x2022)));
        else if (w == "lquote") appendText(QString(QChar(0x2018)));
        else if (w == "rquote") appendText(QString(QChar(0x2019)));
        else if (w == "ldblquote") appendText(QString(QChar(0x201C)));
        else if (w == "rdblquote") appendText(QString(QChar(0x201D)));
        else if (w == "emspace") appendText(QString(QChar(0x2003)));
        else if (w == "enspace") appendText(QString(QChar(0x2002)));
        else if (isSkippedDestination(w)) m_state.dest = Dest::Skip;
    }

    static void charWord(const QByteArray &w, int param, bool on, CharState &c)
    {
        if (w == "b") c.bold = on;
        else if (w == "i") c.italic = on;
        else if (w == "strike") c.strike = on;
        else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw" || w == "uldash" || w == "ulth") c.underline = on;
        else if (w == "ulnone") c.underline = false;
        else if (w == "f") c.font = param;
        else if (w == "fs") { if (param > 0) c.halfPoints = std::min(param, 3276); }
        else if (w == "cf") c.color = std::max(param, 0);
        else if (w == "highlight" || w == "cb") c.highlight = std::max(param, 0);
        else if (w == "plain") c = CharState();
    }

    static bool isSkippedDestination(const QByteArray &w)
    {
        static const QByteArrayList words = {
            "info", "pict", "object", "stylesheet", "header", "headerl", "headerr", "headerf", "footer",
            "footerl", "footerr", "footerf", "pntext", "listtext", "fldinst", "themedata", "colorschememapping",
            "latentstyles", "datastore", "xmlnstbl", "listtable", "listoverridetable", "rsidtbl", "generator",
            "filetbl", "revtbl", "footnote", "annotation", "nonshppict", "shppict", "shp", "mmathPr", "pgdsctbl",
            "bkmkstart", "bkmkend", "xe", "tc", "author", "title", "subject", "operator", "keywords", "comment",
            "doccomm", "template", "userprops", "falt", "panose", "fontemb", "fontfile", "wgrffmtfilter",
            "protusertbl", "private", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn"};
        return words.contains(w);
    }

    const QByteArray &m_in;
    QTextDocument *m_doc;
    QTextCursor m_cursor;
    qsizetype m_pos = 0;
    State m_state;
    QVector<State> m_stack;
    int m_overflow = 0;
    int m_skipChars = 0;
    int m_ansi = 1252;
    int m_defaultFont = 0;
    QHash<int, Font> m_fonts;
    int m_fontNumber = -1;
    QByteArray m_fontName;   // bytes of the name being read
    QString m_fontText;      // and what is decoded of it so far
    QVector<QColor> m_colors;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;
    QByteArray m_bytes;
    QString m_text;
    QVector<QTextBlockFormat> m_pending;
};

// ---------------------------------------------------------------- writer

// A font name as the font table can hold it: a semicolon would end it, and
// control characters and outer spaces do not survive reading.
QString tableName(QString name)
{
    name.replace(QLatin1Char(';'), QLatin1Char(' ')).replace(QLatin1Char('\t'), QLatin1Char(' '));
    dropControls(name, false);
    return name.trimmed();
}

QString familyOf(const QTextCharFormat &f, const QString &fallback)
{
    const QStringList families = f.fontFamilies().toStringList();
    const QString name = families.isEmpty() ? QString() : tableName(families.first());
    return name.isEmpty() ? fallback : name;
}

void escape(QByteArray &out, const QString &text)
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
        } else if (u < 0x20 || u == 0x7F || u == QChar::ObjectReplacementCharacter || u == QChar::ParagraphSeparator) {
            continue;
        } else if (const int b = Codepage::toWindows1252(ch); b >= 0x80 && b <= 0xFF) {
            out += QByteArray("\\'") + QByteArray::number(b, 16).rightJustified(2, '0');
        } else {
            out += "\\u" + QByteArray::number(qint16(u)) + '?';
        }
    }
}

} // namespace

namespace Rtf {

bool looksLikeRtf(const QByteArray &data)
{
    qsizetype i = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < data.size() && (data.at(i) == ' ' || data.at(i) == '\r' || data.at(i) == '\n' || data.at(i) == '\t'))
        ++i;
    return data.mid(i, 5) == "{\\rtf";
}

void read(const QByteArray &data, QTextDocument *document)
{
    if (!looksLikeRtf(data)) {
        QString text = Codepage::decodeText(data);
        text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        dropControls(text, true);
        document->setPlainText(text);
        return;
    }
    Reader(data, document).run();
}

QByteArray write(const QTextDocument *document)
{
    QString defaultFamily = tableName(document->defaultFont().family());
    if (defaultFamily.isEmpty())
        defaultFamily = QStringLiteral("Arial");
    QStringList fonts{defaultFamily};
    QVector<QColor> colors;
    const auto colorIndex = [&colors](const QColor &c) {
        const int found = int(colors.indexOf(c));
        if (found >= 0)
            return found + 1;
        colors.append(c);
        return int(colors.size());
    };
    // First pass: the tables, in order of first use.
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QString family = familyOf(f, defaultFamily);
            if (!fonts.contains(family))
                fonts.append(family);
            if (f.hasProperty(QTextFormat::ForegroundBrush))
                colorIndex(f.foreground().color());
            if (f.hasProperty(QTextFormat::BackgroundBrush))
                colorIndex(f.background().color());
        }

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl";
    for (int i = 0; i < fonts.size(); ++i) {
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0 ";
        escape(out, fonts[i]);
        out += ";}";
    }
    out += "}{\\colortbl ;";
    for (const QColor &c : std::as_const(colors))
        out += "\\red" + QByteArray::number(c.red()) + "\\green" + QByteArray::number(c.green()) + "\\blue"
               + QByteArray::number(c.blue()) + ';';
    out += "}\r\n";

    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat bf = block.blockFormat();
        out += "\\pard";
        const Qt::Alignment align = bf.alignment() & Qt::AlignHorizontal_Mask;
        if (align & Qt::AlignHCenter) out += "\\qc";
        else if (align & Qt::AlignRight) out += "\\qr";
        else if (align & Qt::AlignJustify) out += "\\qj";
        if (const int li = qRound(bf.leftMargin() * 15)) out += "\\li" + QByteArray::number(li);
        if (const int ri = qRound(bf.rightMargin() * 15)) out += "\\ri" + QByteArray::number(ri);
        if (const int fi = qRound(bf.textIndent() * 15)) out += "\\fi" + QByteArray::number(fi);
        out += ' ';
        // Neighbouring fragments that write the same codes share one group, so
        // the output does not depend on how the document split its text.
        QByteArray groupCodes;
        QString groupText;
        const auto closeGroup = [&] {
            if (groupCodes.isEmpty())
                return;
            out += '{' + groupCodes + ' ';
            escape(out, groupText);
            out += '}';
            groupCodes.clear();
            groupText.clear();
        };
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat f = fragment.charFormat();
            QByteArray codes = "\\f" + QByteArray::number(fonts.indexOf(familyOf(f, defaultFamily)));
            const qreal points = f.fontPointSize() > 0 ? f.fontPointSize() : document->defaultFont().pointSizeF();
            codes += "\\fs" + QByteArray::number(std::max(1, qRound(points * 2)));
            if (f.fontWeight() >= QFont::Bold) codes += "\\b";
            if (f.fontItalic()) codes += "\\i";
            if (f.fontUnderline()) codes += "\\ul";
            if (f.fontStrikeOut()) codes += "\\strike";
            if (f.hasProperty(QTextFormat::ForegroundBrush))
                codes += "\\cf" + QByteArray::number(colorIndex(f.foreground().color()));
            if (f.hasProperty(QTextFormat::BackgroundBrush))
                codes += "\\highlight" + QByteArray::number(colorIndex(f.background().color()));
            if (codes != groupCodes)
                closeGroup();
            groupCodes = codes;
            groupText += fragment.text();
        }
        closeGroup();
        out += "\\par\r\n";
    }
    out += "}\r\n";
    return out;
}

} // namespace Rtf
