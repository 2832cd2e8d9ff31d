// SPDX-License-Identifier: GPL-3.0-or-later
#include "Rtf.h"

#include "data/Codepage.h"

#include <QBuffer>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QPainter>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <array>
#include <atomic>
#include <limits>

namespace {

constexpr int kMaxDepth = 256;          // deeper groups are read as skipped
constexpr int kMaxWordLength = 32;
constexpr int kMaxParamDigits = 10;
constexpr int kMaxTableDepth = 16;      // deeper \itap levels read as this one
constexpr int kMaxColumns = 128;        // further cells of a row join the last one
constexpr int kMaxListLevel = 8;
constexpr qsizetype kProgressStep = 1 << 18;

const char *const kPlaceholder = "velbor-rtf:segnaposto";
// What a document keeps for writing back lives in its resources, so that
// clearing the document or loading other text drops it too.
const char *const kDocGroups = "velbor-rtf:gruppi-documento";
const char *const kSectionGroups = "velbor-rtf:gruppi-sezione";
const char *const kListPictures = "velbor-rtf:immagini-elenchi";
const char *const kFonts = "velbor-rtf:caratteri";
const char *const kColors = "velbor-rtf:colori";
const char *const kAnsi = "velbor-rtf:codifica";
const char *const kDefaultFont = "velbor-rtf:carattere-predefinito";

void setKept(QTextDocument *doc, const char *name, const QVariant &value)
{
    doc->addResource(QTextDocument::UserResource, QUrl(QString::fromLatin1(name)), value);
}

QVariant kept(const QTextDocument *doc, const char *name)
{
    return doc->resource(QTextDocument::UserResource, QUrl(QString::fromLatin1(name)));
}

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

constexpr std::array<signed char, 256> kHex = [] {
    std::array<signed char, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = i >= '0' && i <= '9' ? i - '0' : i >= 'a' && i <= 'f' ? i - 'a' + 10 : i >= 'A' && i <= 'F' ? i - 'A' + 10 : -1;
    return t;
}();

int hexDigit(char d) { return kHex[uchar(d)]; }

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Control characters carry nothing a notes page can show.
void dropControls(QString &text, bool keepLineFeeds)
{
    text.removeIf([keepLineFeeds](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != '\t' && !(keepLineFeeds && u == '\n')) || u == 0x7F
               || u == QChar::ObjectReplacementCharacter || u == 0xFEFF;
    });
}

struct CharState {
    bool bold = false, italic = false, underline = false, strike = false, hidden = false;
    int vertical = 0;   // 1 superscript, 2 subscript
    int font = -1;      // -1: the default font
    int halfPoints = 24;
    int color = 0;      // index in the colour table, 0 = automatic
    int highlight = 0;
    QString href;
    bool operator==(const CharState &o) const
    {
        return bold == o.bold && italic == o.italic && underline == o.underline && strike == o.strike
               && hidden == o.hidden && vertical == o.vertical && font == o.font && halfPoints == o.halfPoints
               && color == o.color && highlight == o.highlight && href == o.href;
    }
    bool operator!=(const CharState &o) const { return !(*this == o); }
};

struct ParaState {
    Qt::Alignment align = Qt::AlignLeft;
    int left = 0, right = 0, first = 0;   // twips
    bool intbl = false;
    int itap = -1;
    int ls = 0, ilvl = 0;                 // list table membership
    int pnType = 0, pnStyle = 0, pnLevel = 0;   // old \pn list: 1 bullet, 2 numbered
    bool operator==(const ParaState &o) const
    {
        return align == o.align && left == o.left && right == o.right && first == o.first && intbl == o.intbl
               && itap == o.itap && ls == o.ls && ilvl == o.ilvl && pnType == o.pnType && pnStyle == o.pnStyle
               && pnLevel == o.pnLevel;
    }
};

int tableLevel(const ParaState &p)
{
    return std::min(p.itap > 0 ? p.itap : (p.intbl ? 1 : 0), kMaxTableDepth);
}

enum class Dest { Text, Skip, FontTable, ColorTable, ListTable, ListOverride, Pn, TableProps };

struct State {
    CharState chr;
    ParaState para;
    int uc = 1;
    Dest dest = Dest::Text;
    bool starred = false;
    qsizetype starPos = -1;
    bool levelText = false;
};

struct Font {
    QString name;
    int charset = 0;
};

// What a destination word does.
enum class Act { Skip, Text, Doc, Section, Inline, FontTable, ColorTable, ListTable, ListOverride, ListPicture, Pn, Field,
                 Pict, TableProps };

const QHash<QByteArray, Act> &destinations()
{
    static const QHash<QByteArray, Act> table = [] {
        QHash<QByteArray, Act> t;
        for (const char *w : {"pntext", "listtext", "nonesttables", "nonshppict", "fldinst", "pntxta", "pntxtb"})
            t.insert(w, Act::Skip);
        for (const char *w : {"shppict", "fldrslt"})
            t.insert(w, Act::Text);
        for (const char *w : {"info", "stylesheet", "generator", "rsidtbl", "xmlnstbl", "themedata", "colorschememapping",
                              "datastore", "latentstyles", "filetbl", "revtbl", "pgdsctbl", "mmathPr", "userprops",
                              "protusertbl", "wgrffmtfilter", "defchp", "defpap", "docvar", "template", "fchars", "lchars",
                              "pnseclvl", "background"})
            t.insert(w, Act::Doc);
        for (const char *w : {"header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr", "footerf",
                              "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn"})
            t.insert(w, Act::Section);
        for (const char *w : {"footnote", "annotation", "object", "shp", "shpgrp", "do", "xe", "tc", "txe", "rxe", "bkmkstart",
                              "bkmkend", "atnid", "atnauthor", "atrfstart", "atrfend", "atnref", "atndate", "atnparent"})
            t.insert(w, Act::Inline);
        t.insert("fonttbl", Act::FontTable);
        t.insert("colortbl", Act::ColorTable);
        t.insert("listtable", Act::ListTable);
        t.insert("listoverridetable", Act::ListOverride);
        t.insert("listpicture", Act::ListPicture);
        t.insert("pn", Act::Pn);
        t.insert("field", Act::Field);
        t.insert("pict", Act::Pict);
        t.insert("nesttableprops", Act::TableProps);
        return t;
    }();
    return table;
}

// Formatting words that some writers star; they are applied, not kept.
bool isFormattingWord(const QByteArray &w)
{
    static const QByteArrayList words = {"cs", "s", "ds", "ts", "b", "i", "ul", "strike", "f", "fs", "cf", "cb",
                                         "highlight", "super", "sub", "nosupersub", "up", "dn", "v", "plain"};
    return words.contains(w);
}

// Just past the '}' that closes the group whose content starts at pos; at the
// end of the input, missing tells how many '}' were left open, or is -1 when
// binary data ran past the end (such a group cannot be written back).
qsizetype groupEnd(const QByteArray &in, qsizetype pos, int *missing)
{
    const char *d = in.constData();
    const qsizetype n = in.size();
    qint64 depth = 1;
    while (pos < n) {
        const char c = d[pos++];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth == 0) {
                *missing = 0;
                return pos;
            }
        } else if (c == '\\' && pos < n) {
            if (!isLetter(d[pos])) {
                ++pos;
                continue;
            }
            const qsizetype start = pos;
            while (pos < n && isLetter(d[pos]))
                ++pos;
            const bool bin = pos - start == 3 && d[start] == 'b' && d[start + 1] == 'i' && d[start + 2] == 'n';
            qint64 param = 0;
            int digits = 0;
            if (pos < n && d[pos] == '-')
                ++pos;
            while (pos < n && d[pos] >= '0' && d[pos] <= '9') {
                if (digits++ < kMaxParamDigits)
                    param = param * 10 + (d[pos] - '0');
                ++pos;
            }
            if (pos < n && d[pos] == ' ')
                ++pos;
            if (bin) {
                if (param > n - pos) {
                    *missing = -1;
                    return n;
                }
                pos += param;
            }
        }
    }
    *missing = int(std::min<qint64>(depth, kMaxDepth * 4));
    return n;
}

struct Pict {
    int kind = 0;   // 1 PNG, 2 JPEG, 3 another format
    bool metafile = false;
    int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    QByteArray data;
};

// The words and data of a \pict group, from just after \pict to the group's
// end; hex is decoded in one pass.
Pict parsePict(const QByteArray &in, qsizetype pos, qsizetype end)
{
    Pict p;
    const char *d = in.constData();
    p.data.resize(end - pos);
    char *out = p.data.data();
    qsizetype size = 0;
    int depth = 1, high = -1;
    while (pos < end) {
        const char c = d[pos];
        if (c == '{') {
            ++depth;
            ++pos;
        } else if (c == '}') {
            ++pos;
            if (--depth == 0)
                break;
        } else if (c == '\\') {
            ++pos;
            if (pos >= end)
                break;
            if (!isLetter(d[pos])) {
                ++pos;
                continue;
            }
            const qsizetype start = pos;
            while (pos < end && isLetter(d[pos]))
                ++pos;
            const QByteArray word(d + start, std::min<qsizetype>(pos - start, kMaxWordLength));
            bool negative = false;
            if (pos < end && d[pos] == '-') {
                negative = true;
                ++pos;
            }
            qint64 param = 0;
            int digits = 0;
            while (pos < end && d[pos] >= '0' && d[pos] <= '9') {
                if (digits++ < kMaxParamDigits)
                    param = param * 10 + (d[pos] - '0');
                ++pos;
            }
            if (pos < end && d[pos] == ' ')
                ++pos;
            const int value = int(std::clamp<qint64>(negative ? -param : param, -1000000, 1000000));
            if (word == "bin") {
                const qsizetype len = std::min<qint64>(std::max<qint64>(param, 0), end - pos);
                if (depth == 1 && len <= p.data.size() - size) {
                    memcpy(out + size, d + pos, size_t(len));
                    size += len;
                }
                pos += len;
            } else if (depth != 1) {
                continue;
            } else if (word == "pngblip") p.kind = 1;
            else if (word == "jpegblip") p.kind = 2;
            else if (word == "emfblip" || word == "wmetafile" || word == "pmmetafile" || word == "macpict") {
                p.kind = 3;
                p.metafile = true;
            } else if (word == "dibitmap" || word == "wbitmap") p.kind = 3;
            else if (word == "picw") p.picw = value;
            else if (word == "pich") p.pich = value;
            else if (word == "picwgoal") p.goalw = value;
            else if (word == "pichgoal") p.goalh = value;
            else if (word == "picscalex") p.scalex = value;
            else if (word == "picscaley") p.scaley = value;
        } else {
            ++pos;
            const int v = kHex[uchar(c)];
            if (depth == 1 && v >= 0) {
                if (high < 0) {
                    high = v;
                } else {
                    out[size++] = char(high << 4 | v);
                    high = -1;
                }
            }
        }
    }
    p.data.truncate(size);
    p.data.squeeze();
    return p;
}

// The target of a HYPERLINK field, from the field group's bytes; false for
// any other field.
bool hyperlinkTarget(const QByteArray &in, qsizetype pos, qsizetype end, QString *href)
{
    // Only within the field: a search to the end of the input for every
    // field would make many fields quadratic.
    const qsizetype found = QByteArrayView(in).sliced(pos, end - pos).indexOf("\\fldinst");
    if (found < 0)
        return false;
    const qsizetype at = pos + found;
    QString text;
    const char *d = in.constData();
    qsizetype i = at + 8;
    int depth = 1;
    while (i < end && depth > 0 && text.size() < 4096) {
        const char c = d[i++];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            --depth;
        } else if (c == '\\' && i < end) {
            const char s = d[i];
            if (s == '\'' && i + 2 < end && hexDigit(d[i + 1]) >= 0 && hexDigit(d[i + 2]) >= 0) {
                text += QChar(char16_t(hexDigit(d[i + 1]) * 16 + hexDigit(d[i + 2])));
                i += 3;
            } else if (!isLetter(s)) {
                text += QLatin1Char(s);
                ++i;
            } else {
                while (i < end && (isLetter(d[i]) || d[i] == '-' || (d[i] >= '0' && d[i] <= '9')))
                    ++i;
                if (i < end && d[i] == ' ')
                    ++i;
            }
        } else if (c != '\r' && c != '\n') {
            text += QLatin1Char(c);
        }
    }
    // HYPERLINK "target" with switches; \l names a place in the document.
    QStringList args;
    bool quoted = false;
    QString current;
    bool started = false;
    for (const QChar ch : std::as_const(text)) {
        if (ch == QLatin1Char('"')) {
            if (quoted) {
                args << current;
                current.clear();
                started = false;
            }
            quoted = !quoted;
        } else if (ch.isSpace() && !quoted) {
            if (started)
                args << current;
            current.clear();
            started = false;
        } else {
            current += ch;
            started = true;
        }
    }
    if (started)
        args << current;
    if (args.isEmpty() || args.first().compare(QLatin1String("HYPERLINK"), Qt::CaseInsensitive) != 0)
        return false;
    QString target, place;
    for (int k = 1; k < args.size(); ++k) {
        const QString &a = args.at(k);
        if (a == QLatin1String("\\l") && k + 1 < args.size())
            place = args.at(++k);
        else if ((a == QLatin1String("\\o") || a == QLatin1String("\\t")) && k + 1 < args.size())
            ++k;
        else if (!a.startsWith(QLatin1Char('\\')) && target.isEmpty())
            target = a;
    }
    *href = place.isEmpty() ? target : target + QLatin1Char('#') + place;
    return !href->isEmpty();
}

QTextListFormat::Style styleOfLevel(int nfc, const QString &levelText)
{
    switch (nfc) {
    case 1: return QTextListFormat::ListUpperRoman;
    case 2: return QTextListFormat::ListLowerRoman;
    case 3: return QTextListFormat::ListUpperAlpha;
    case 4: return QTextListFormat::ListLowerAlpha;
    case 23: case 255:
        if (levelText.contains(QLatin1Char('o')) || levelText.contains(QChar(0x25E6)))
            return QTextListFormat::ListCircle;
        if (levelText.contains(QChar(0x25AA)) || levelText.contains(QChar(0x25A0)) || levelText.contains(QChar(0xF0A7)))
            return QTextListFormat::ListSquare;
        return QTextListFormat::ListDisc;
    default: return QTextListFormat::ListDecimal;
    }
}

const QImage &placeholderImage()
{
    static const QImage image = [] {
        QImage i(48, 48, QImage::Format_RGB32);
        i.fill(QColor(235, 235, 235));
        QPainter p(&i);
        p.setPen(QColor(150, 150, 150));
        p.drawRect(0, 0, 47, 47);
        p.drawLine(0, 0, 47, 47);
        p.drawLine(0, 47, 47, 0);
        return i;
    }();
    return image;
}

std::atomic<quint64> g_imageSerial{0};

struct TableAt {
    QTextTable *table = nullptr;
    int row = 0, column = 0;
    bool pendingCell = false, pendingRow = false;
};

struct LevelDef {
    int nfc = 0;
    QString text;
    int picture = -1;   // \levelpicture: which picture of \listpicture is the bullet
    bool pictureNoSize = false;
};

class Reader {
public:
    Reader(const QByteArray &in, qsizetype start, QTextDocument *doc, const std::function<bool(int)> &progress)
        : m_in(in), m_doc(doc), m_cursor(doc), m_pos(start), m_progress(progress)
    {
    }

    bool run()
    {
        m_cursor = QTextCursor(m_doc);
        const qsizetype n = m_in.size();
        const char *d = m_in.constData();
        qsizetype report = m_pos + kProgressStep;
        while (m_pos < n) {
            if (m_pos >= report && m_progress) {
                if (!m_progress(int(m_pos * 100 / n)))
                    return false;
                report = m_pos + kProgressStep;
            }
            const char c = d[m_pos];
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
        finish();
        store();
        return !m_progress || m_progress(100);
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
        m_state.starred = false;
        m_state.levelText = false;
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
        const State &outer = m_stack.last();
        if (outer.chr != m_state.chr || !(outer.para == m_state.para))
            flush();
        const bool endsPn = m_state.dest == Dest::Pn && outer.dest == Dest::Text;
        m_state = m_stack.takeLast();
        if (endsPn && m_pn.pnType != 0) {
            m_state.para.pnType = m_pn.pnType;
            m_state.para.pnStyle = m_pn.pnStyle;
            m_state.para.pnLevel = m_pn.pnLevel;
        }
    }

    // Leaves the group a kept destination was read from.
    void leaveGroup(qsizetype end)
    {
        m_pos = end;
        m_skipChars = 0;
        if (!m_stack.isEmpty())
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
        case Dest::ListTable:
            if (m_state.levelText && !m_levels.isEmpty() && m_levels.last().text.size() < 64)
                m_levels.last().text += QChar(char16_t(uchar(c)));
            break;
        default:
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
        beginContent(tableLevel(m_state.para));
        m_cursor.insertText(m_text, charFormat());
        m_text.clear();
        m_sawContent = true;
        m_lastPara = m_state.para;
    }

    void insertObject(const QTextCharFormat &format)
    {
        flush();
        beginContent(tableLevel(m_state.para));
        m_cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
        m_sawContent = true;
        m_lastPara = m_state.para;
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
        if (c.vertical == 1)
            f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (c.vertical == 2)
            f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        if (c.hidden)
            f.setProperty(Rtf::Hidden, true);
        if (!c.href.isEmpty()) {
            f.setAnchor(true);
            f.setAnchorHref(c.href);
        }
        return f;
    }

    static QTextBlockFormat blockFormat(const ParaState &p)
    {
        QTextBlockFormat f;
        f.setAlignment(p.align);
        const bool listed = p.ls > 0 || p.pnType > 0;   // a list indents its items itself
        f.setLeftMargin(listed ? 0 : p.left / 15.0);
        f.setRightMargin(p.right / 15.0);
        f.setTextIndent(listed ? 0 : p.first / 15.0);
        return f;
    }

    // ---- paragraphs: a \par ends a paragraph; the next one opens only when
    // something follows, so a closing \par adds no empty paragraph.
    void paragraph()
    {
        flush();
        beginContent(tableLevel(m_state.para));
        m_pending.append(m_state.para);
        m_sawContent = true;
    }

    void applyPara(const ParaState &p)
    {
        m_cursor.setBlockFormat(blockFormat(p));
        if (QTextList *list = listFor(p))
            list->add(m_cursor.block());
    }

    // Gives the ended paragraphs their formats; with openNext, opens the
    // block that the following content goes to.
    void applyPending(bool openNext)
    {
        for (qsizetype i = 0; i < m_pending.size(); ++i) {
            if (i > 0)
                m_cursor.insertBlock();
            applyPara(m_pending.at(i));
        }
        if (openNext && !m_pending.isEmpty())
            m_cursor.insertBlock(QTextBlockFormat());
        m_pending.clear();
    }

    // Puts the cursor where content of table level `level` goes: opening and
    // closing tables, moving to the next cell or row.
    void beginContent(int level)
    {
        const bool moves = level != m_tables.size()
                           || (level > 0 && (m_tables.last().pendingCell || m_tables.last().pendingRow));
        if (!moves) {
            applyPending(true);
            return;
        }
        applyPending(false);
        while (m_tables.size() > level)
            closeTable();
        if (!m_tables.isEmpty())
            advance(m_tables.last());
        while (m_tables.size() < level)
            openTable();
    }

    void openTable()
    {
        QTextTableFormat format;
        format.setBorder(1);
        format.setCellPadding(3);
        format.setCellSpacing(0);
        format.setBorderCollapse(true);
        TableAt at;
        at.table = m_cursor.insertTable(1, 1, format);
        m_tables.append(at);
        m_cursor = at.table->cellAt(0, 0).firstCursorPosition();
    }

    void closeTable()
    {
        const TableAt at = m_tables.takeLast();
        const int used = at.row + 1;
        if (at.table->rows() > used)   // rows added ahead, unused
            at.table->removeRows(used, at.table->rows() - used);
        m_cursor = at.table->lastCursorPosition();
        m_cursor.movePosition(QTextCursor::NextBlock);
    }

    void advance(TableAt &at)
    {
        if (at.pendingRow) {
            at.pendingRow = at.pendingCell = false;
            ++at.row;
            at.column = 0;
            // Rows are added ahead in growing batches: each addition costs
            // the whole table.
            if (at.row >= at.table->rows())
                at.table->appendRows(std::clamp(at.table->rows(), 1, 1024));
            m_cursor = at.table->cellAt(at.row, 0).firstCursorPosition();
        } else if (at.pendingCell) {
            at.pendingCell = false;
            if (at.column + 1 < kMaxColumns) {
                ++at.column;
                if (at.column >= at.table->columns())
                    at.table->appendColumns(1);
                m_cursor = at.table->cellAt(at.row, at.column).firstCursorPosition();
            } else {
                m_cursor = at.table->cellAt(at.row, at.column).lastCursorPosition();
                m_cursor.insertBlock(QTextBlockFormat());
            }
        }
    }

    void endCell(int level)
    {
        flush();
        beginContent(level);
        applyPara(m_state.para);
        m_tables.last().pendingCell = true;
        m_sawContent = true;
    }

    void endRow(int level)
    {
        flush();
        if (m_tables.size() < level || level < 1)
            return;
        applyPending(false);
        while (m_tables.size() > level)
            closeTable();
        m_tables.last().pendingRow = true;
        m_tables.last().pendingCell = false;
    }

    void finish()
    {
        flush();
        const ParaState last = m_lastPara;
        if (!m_pending.isEmpty()) {
            applyPending(false);
        } else if (tableLevel(last) == m_tables.size()
                   && (m_tables.isEmpty() || !(m_tables.last().pendingCell || m_tables.last().pendingRow))) {
            applyPara(last);
        }
        while (!m_tables.isEmpty())
            closeTable();
    }

    // ---- lists
    QTextList *listFor(const ParaState &p)
    {
        if (p.ls > 0) {
            const qint64 key = qint64(p.ls) * 16 + p.ilvl;
            if (QTextList *list = m_lists.value(key))
                return list;
            QTextListFormat format;
            const auto def = m_listDefs.constFind(m_overrides.value(p.ls, -1));
            const bool defined = def != m_listDefs.constEnd() && p.ilvl < def->size();
            format.setStyle(defined ? styleOfLevel(def->at(p.ilvl).nfc, def->at(p.ilvl).text) : QTextListFormat::ListDisc);
            format.setIndent(p.ilvl + 1);
            if (defined && def->at(p.ilvl).picture >= 0) {
                format.setProperty(Rtf::LevelPicture, def->at(p.ilvl).picture);
                if (def->at(p.ilvl).pictureNoSize)
                    format.setProperty(Rtf::LevelPictureNoSize, true);
            }
            QTextList *list = m_cursor.createList(format);
            m_lists.insert(key, list);
            return list;
        }
        if (p.pnType > 0) {
            const int key = p.pnStyle * 16 + p.pnLevel;
            if (QTextList *list = m_pnLists.value(key))
                return list;
            QTextListFormat format;
            format.setStyle(QTextListFormat::Style(p.pnStyle));
            format.setIndent(p.pnLevel + 1);
            QTextList *list = m_cursor.createList(format);
            m_pnLists.insert(key, list);
            return list;
        }
        m_pnLists.clear();   // old-style numbering restarts after a plain paragraph
        return nullptr;
    }

    // ---- kept groups and pictures
    // The bytes of a group from its destination word, closed if the input
    // ended inside it.
    QByteArray rawGroup(qsizetype start, qsizetype end, int missing) const
    {
        QByteArray raw;
        raw.reserve(end - start + 1 + missing);
        raw += '{';
        raw += QByteArrayView(m_in).sliced(start, end - start);
        if (missing > 0) {
            qsizetype slashes = 0;
            while (slashes < raw.size() && raw.at(raw.size() - 1 - slashes) == '\\')
                ++slashes;
            if (slashes % 2)   // a lone backslash would escape the closing brace
                raw.chop(1);
            raw += QByteArray(missing, '}');
        }
        return raw;
    }

    void keep(Act act, qsizetype start, qsizetype end, int missing)
    {
        if (missing < 0) {
            leaveGroup(end);
            return;
        }
        const QByteArray raw = rawGroup(start, end, missing);
        leaveGroup(end);
        if (act == Act::Doc) {
            m_docGroups += raw + "\r\n";
        } else if (act == Act::Section) {
            m_sectionGroups += raw + "\r\n";
        } else {
            QTextCharFormat f = charFormat();
            f.setObjectType(Rtf::KeptObject);
            f.setProperty(Rtf::Raw, raw);
            f.setProperty(Rtf::RawKey, int(qHash(raw)));
            insertObject(f);
        }
    }

    void picture(qsizetype start)
    {
        int missing = 0;
        const qsizetype end = groupEnd(m_in, m_pos, &missing);
        if (missing < 0) {
            leaveGroup(end);
            return;
        }
        const Pict p = parsePict(m_in, m_pos, end);
        QTextImageFormat f;
        f.merge(charFormat());
        QSize natural;
        bool shown = false;
        if (p.kind == 1 || p.kind == 2) {
            QBuffer buffer;
            buffer.setData(p.data);
            buffer.open(QIODevice::ReadOnly);
            QImageReader reader(&buffer, p.kind == 1 ? "png" : "jpeg");
            natural = reader.size();
            shown = reader.canRead() && natural.isValid() && !natural.isEmpty();
        }
        double w = 32, h = 32;
        if (p.goalw > 0 && p.goalh > 0) {
            w = p.goalw / 15.0;
            h = p.goalh / 15.0;
        } else if (shown) {
            w = natural.width();
            h = natural.height();
        } else if (p.picw > 0 && p.pich > 0) {
            w = p.metafile ? p.picw * 96 / 2540.0 : p.picw;
            h = p.metafile ? p.pich * 96 / 2540.0 : p.pich;
        }
        if (p.scalex > 0)
            w = w * p.scalex / 100;
        if (p.scaley > 0)
            h = h * p.scaley / 100;
        f.setWidth(std::clamp(w, 1.0, 4000.0));
        f.setHeight(std::clamp(h, 1.0, 4000.0));
        if (shown) {
            const QString name = QStringLiteral("velbor-rtf:immagine/%1").arg(++g_imageSerial);
            m_doc->addResource(QTextDocument::ImageResource, QUrl(name), p.data);
            f.setName(name);
            f.setProperty(Rtf::Blip, p.data);
            f.setProperty(Rtf::BlipJpeg, p.kind == 2);
            f.setProperty(Rtf::PictureWidth, p.picw > 0 ? p.picw : natural.width());
            f.setProperty(Rtf::PictureHeight, p.pich > 0 ? p.pich : natural.height());
            leaveGroup(end);
            insertObject(f);
            return;
        }
        // Shown as a placeholder, written back as it was.
        if (!m_placeholder) {
            m_doc->addResource(QTextDocument::ImageResource, QUrl(QString::fromLatin1(kPlaceholder)), placeholderImage());
            m_placeholder = true;
        }
        f.setName(QString::fromLatin1(kPlaceholder));
        const QByteArray raw = rawGroup(start, end, missing);
        f.setProperty(Rtf::Raw, raw);
        f.setProperty(Rtf::RawKey, int(qHash(raw)));
        leaveGroup(end);
        insertObject(f);
    }

    void field(qsizetype start)
    {
        int missing = 0;
        const qsizetype end = groupEnd(m_in, m_pos, &missing);
        QString href;
        if (hyperlinkTarget(m_in, m_pos, end, &href)) {
            flush();
            m_state.chr.href = href;   // the result reads as text with this target
            return;
        }
        keep(Act::Inline, start, end, missing);
    }

    void destination(Act act, qsizetype start)
    {
        // The pictures list levels use as bullets: kept whole for the list
        // table the writer makes.
        if (act == Act::ListPicture && (m_state.dest == Dest::ListTable || m_state.dest == Dest::Text)) {
            int missing = 0;
            const qsizetype end = groupEnd(m_in, m_pos, &missing);
            if (missing >= 0)
                m_listPictures += rawGroup(start, end, missing);
            leaveGroup(end);
            return;
        }
        if (m_state.dest != Dest::Text) {
            m_state.dest = Dest::Skip;
            return;
        }
        switch (act) {
        case Act::Skip: m_state.dest = Dest::Skip; break;
        case Act::Text: break;
        case Act::FontTable: m_state.dest = Dest::FontTable; break;
        case Act::ColorTable: m_state.dest = Dest::ColorTable; m_colors.clear(); break;
        case Act::ListTable: m_state.dest = Dest::ListTable; break;
        case Act::ListOverride: m_state.dest = Dest::ListOverride; break;
        case Act::ListPicture: break;
        case Act::Pn: m_state.dest = Dest::Pn; m_pn = ParaState(); break;
        case Act::TableProps: m_state.dest = Dest::TableProps; break;
        case Act::Field: field(start); break;
        case Act::Pict: picture(start); break;
        case Act::Doc: case Act::Section: case Act::Inline: {
            int missing = 0;
            const qsizetype end = groupEnd(m_in, m_pos, &missing);
            keep(act, start, end, missing);
            break;
        }
        }
    }

    // ---- font table
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
        if (isLetter(c)) {
            const qsizetype start = m_pos;
            while (m_pos < n && isLetter(m_in.at(m_pos)))
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
            word_(word, hasParam, int(param), start - 1);
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
            if (skipping())
                break;
            flushBytes();
            if (m_pos + 1 < n && m_in.at(m_pos) == '\\' && isLetter(m_in.at(m_pos + 1))) {
                m_state.starred = true;
                m_state.starPos = m_pos - 2;
            } else {
                m_state.dest = Dest::Skip;
            }
            break;
        case '\r': case '\n':
            if (!skipping() && m_state.dest == Dest::Text)
                paragraph();
            break;
        default:
            break;   // \- optional hyphen, \| \: and unknown symbols
        }
    }

    void word_(const QByteArray &w, bool hasParam, int param, qsizetype wordStart)
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
        const bool starred = m_state.starred;
        m_state.starred = false;
        const auto act = destinations().constFind(w);
        if (act != destinations().constEnd()) {
            destination(*act, starred ? m_state.starPos : wordStart);
            return;
        }
        if (starred && !isFormattingWord(w)) {
            destination(m_sawContent ? Act::Inline : Act::Doc, m_state.starPos);
            return;
        }
        switch (m_state.dest) {
        case Dest::Text: break;
        case Dest::FontTable: fontWord(w, hasParam, param); return;
        case Dest::ColorTable: colorWord(w, param); return;
        case Dest::ListTable: listWord(w, hasParam, param); return;
        case Dest::ListOverride:
            if (w == "listid") m_overrideList = param;
            else if (w == "ls") m_overrides.insert(param, m_overrideList);
            return;
        case Dest::Pn: pnWord(w, param); return;
        case Dest::TableProps:
            if (w == "nestrow") endRow(std::max(tableLevel(m_state.para), 2));
            return;
        case Dest::Skip: return;
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
        if (w == "par" || w == "page" || w == "sect") paragraph();
        else if (w == "cell") endCell(1);
        else if (w == "nestcell") endCell(std::max(tableLevel(p), 2));
        else if (w == "row") endRow(1);
        else if (w == "nestrow") endRow(std::max(tableLevel(p), 2));
        else if (w == "line") appendText(QString(QChar(QChar::LineSeparator)));
        else if (w == "tab") appendText(QStringLiteral("\t"));
        else if (w == "u" && hasParam) {
            const int unit = param < 0 ? param + 65536 : param;
            appendText(QString(QChar(char16_t(unit & 0xFFFF))));
            m_skipChars = m_state.uc;
        }
        else if (w == "uc") m_state.uc = std::clamp(param, 0, 16);
        else if (w == "pard") { flush(); p = ParaState(); m_sawContent = true; }
        else if (w == "intbl") { flush(); p.intbl = true; }
        else if (w == "itap") { flush(); p.itap = std::clamp(param, 0, kMaxTableDepth); }
        else if (w == "ls") { flush(); p.ls = std::max(param, 0); }
        else if (w == "ilvl") { flush(); p.ilvl = std::clamp(param, 0, kMaxListLevel); }
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
        else if (w == "emdash") appendText(QString(QChar(0x2014)));
        else if (w == "endash") appendText(QString(QChar(0x2013)));
        else if (w == "bullet") appendText(QString(QChar(0x2022)));
        else if (w == "lquote") appendText(QString(QChar(0x2018)));
        else if (w == "rquote") appendText(QString(QChar(0x2019)));
        else if (w == "ldblquote") appendText(QString(QChar(0x201C)));
        else if (w == "rdblquote") appendText(QString(QChar(0x201D)));
        else if (w == "emspace") appendText(QString(QChar(0x2003)));
        else if (w == "enspace") appendText(QString(QChar(0x2002)));
        else if (w == "chftn" || w == "chpgn" || w == "chdate" || w == "chtime" || w == "chatn") {
            // Text the word processor generates (note marks, page numbers):
            // kept at its place.
            QTextCharFormat f = charFormat();
            const QByteArray raw = "{\\" + w + '}';
            f.setObjectType(Rtf::KeptObject);
            f.setProperty(Rtf::Raw, raw);
            f.setProperty(Rtf::RawKey, int(qHash(raw)));
            insertObject(f);
        }
    }

    void fontWord(const QByteArray &w, bool hasParam, int param)
    {
        if (w == "u" && hasParam) {
            fontNameBytesToText();
            m_fontText += QChar(char16_t((param < 0 ? param + 65536 : param) & 0xFFFF));
            m_skipChars = m_state.uc;
        } else if (w == "f") {
            m_fontNumber = param >= 0 ? param : -1;
            if (param >= 0)
                m_fonts[param];
        } else if (w == "fcharset" && m_fontNumber >= 0) {
            m_fonts[m_fontNumber].charset = param;
        }
    }

    void colorWord(const QByteArray &w, int param)
    {
        const int v = std::clamp(param, 0, 255);
        if (w == "red") { m_red = v; m_colorSet = true; }
        else if (w == "green") { m_green = v; m_colorSet = true; }
        else if (w == "blue") { m_blue = v; m_colorSet = true; }
    }

    void listWord(const QByteArray &w, bool hasParam, int param)
    {
        if (w == "list") {
            m_levels.clear();
        } else if (w == "listlevel") {
            if (m_levels.size() < 16)
                m_levels.append(LevelDef());
        } else if (w == "levelnfc" && !m_levels.isEmpty()) {
            m_levels.last().nfc = param;
        } else if (w == "levelpicture" && hasParam && !m_levels.isEmpty()) {
            m_levels.last().picture = std::max(param, -1);
        } else if (w == "levelpicturenosize" && !m_levels.isEmpty()) {
            m_levels.last().pictureNoSize = true;
        } else if (w == "leveltext") {
            m_state.levelText = true;
        } else if (w == "u" && hasParam && m_state.levelText && !m_levels.isEmpty()) {
            m_levels.last().text += QChar(char16_t((param < 0 ? param + 65536 : param) & 0xFFFF));
            m_skipChars = m_state.uc;
        } else if (w == "listid") {
            m_listDefs.insert(param, m_levels);
        }
    }

    void pnWord(const QByteArray &w, int param)
    {
        if (w == "pnlvlblt") { m_pn.pnType = 1; m_pn.pnStyle = QTextListFormat::ListDisc; m_pn.pnLevel = 0; }
        else if (w == "pnlvlbody") { m_pn.pnType = 2; if (!m_pn.pnStyle) m_pn.pnStyle = QTextListFormat::ListDecimal; m_pn.pnLevel = 0; }
        else if (w == "pnlvl") { m_pn.pnType = 2; if (!m_pn.pnStyle) m_pn.pnStyle = QTextListFormat::ListDecimal; m_pn.pnLevel = std::clamp(param - 1, 0, kMaxListLevel); }
        else if (m_pn.pnType != 1) {
            if (w == "pndec") m_pn.pnStyle = QTextListFormat::ListDecimal;
            else if (w == "pnucltr") m_pn.pnStyle = QTextListFormat::ListUpperAlpha;
            else if (w == "pnlcltr") m_pn.pnStyle = QTextListFormat::ListLowerAlpha;
            else if (w == "pnucrm") m_pn.pnStyle = QTextListFormat::ListUpperRoman;
            else if (w == "pnlcrm") m_pn.pnStyle = QTextListFormat::ListLowerRoman;
        }
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
        else if (w == "v") c.hidden = on;
        else if (w == "super") c.vertical = 1;
        else if (w == "sub") c.vertical = 2;
        else if (w == "nosupersub") c.vertical = 0;
        else if (w == "up") c.vertical = param > 0 ? 1 : 0;
        else if (w == "dn") c.vertical = param > 0 ? 2 : 0;
        else if (w == "plain") {
            const QString href = c.href;   // a link's result may reset its format, not its target
            c = CharState();
            c.href = href;
        }
    }

    // What the document keeps for writing back.
    void store()
    {
        setKept(m_doc, kDocGroups, m_docGroups);
        setKept(m_doc, kSectionGroups, m_sectionGroups);
        setKept(m_doc, kListPictures, m_listPictures);
        QList<int> numbers = m_fonts.keys();
        std::sort(numbers.begin(), numbers.end());
        QVariantList fonts;
        for (int number : std::as_const(numbers)) {
            const Font &f = m_fonts[number];
            fonts << QVariant(QVariantList{number, f.charset, f.name});
        }
        setKept(m_doc, kFonts, fonts);
        QVariantList colors;
        for (const QColor &c : std::as_const(m_colors))
            colors << c;
        setKept(m_doc, kColors, colors);
        setKept(m_doc, kAnsi, m_ansi);
        setKept(m_doc, kDefaultFont, m_defaultFont);
    }

    const QByteArray &m_in;
    QTextDocument *m_doc;
    QTextCursor m_cursor;
    qsizetype m_pos = 0;
    std::function<bool(int)> m_progress;
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
    QVector<ParaState> m_pending;
    ParaState m_lastPara;   // of the last content read
    bool m_sawContent = false;
    bool m_placeholder = false;
    QVector<TableAt> m_tables;
    QHash<qint64, QTextList *> m_lists;
    QHash<int, QTextList *> m_pnLists;
    QHash<int, QVector<LevelDef>> m_listDefs;
    QVector<LevelDef> m_levels;
    QHash<int, int> m_overrides;
    int m_overrideList = -1;
    ParaState m_pn;
    QByteArray m_docGroups, m_sectionGroups, m_listPictures;
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
    read(data, document, {});
}

bool read(const QByteArray &data, QTextDocument *document, const std::function<bool(int percent)> &progress)
{
    const qsizetype start = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    document->clear();
    if (!looksLikeRtf(data)) {
        QString text = Codepage::decodeText(start ? data.sliced(start) : data);
        text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        dropControls(text, true);
        document->setPlainText(text);
        return !progress || progress(100);
    }
    // Reading is one edit without undo: a big file would otherwise keep
    // every step of it.
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QTextCursor batch(document);
    batch.beginEditBlock();
    const bool done = Reader(data, start, document, progress).run();
    batch.endEditBlock();
    document->setUndoRedoEnabled(undo);
    return done;
}

QByteArray write(const QTextDocument *document)
{
    return Writer(document).run();
}

} // namespace Rtf
