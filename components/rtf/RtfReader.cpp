// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF reader's core: the walk over the bytes with its explicit state
// stack, groups, control words and symbols, text with its character format,
// and what the document keeps for writing back; and the public read.
#include "components/rtf/RtfReader.h"

#include "components/rtf/Rtf.h"
#include "data/Codepage.h"

#include <QTextDocument>

#include <limits>

namespace Rtf::detail {

namespace {

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

} // namespace

Reader::Reader(const QByteArray &in, qsizetype start, QTextDocument *doc, const std::function<bool(int)> &progress)
    : m_in(in), m_doc(doc), m_cursor(doc), m_pos(start), m_progress(progress)
{
}

bool Reader::run()
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

// ---- groups
void Reader::openGroup()
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

void Reader::closeGroup()
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
void Reader::leaveGroup(qsizetype end)
{
    m_pos = end;
    m_skipChars = 0;
    if (!m_stack.isEmpty())
        m_state = m_stack.takeLast();
}

// ---- text
int Reader::codepage() const
{
    const auto font = m_fonts.constFind(m_state.chr.font < 0 ? m_defaultFont : m_state.chr.font);
    return font == m_fonts.constEnd() ? m_ansi : codepageOfCharset(font->charset, m_ansi);
}

void Reader::textByte(char c)
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

void Reader::appendText(const QString &text)
{
    if (skipping() || m_state.dest != Dest::Text)
        return;
    flushBytes();
    m_text.append(text);
}

void Reader::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    m_text.append(decodeBytes(m_bytes, codepage()));
    m_bytes.clear();
}

void Reader::flush()
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

void Reader::insertObject(const QTextCharFormat &format)
{
    flush();
    beginContent(tableLevel(m_state.para));
    m_cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
    m_sawContent = true;
    m_lastPara = m_state.para;
}

QTextCharFormat Reader::charFormat() const
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

// ---- control words and symbols
void Reader::control()
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

void Reader::word_(const QByteArray &w, bool hasParam, int param, qsizetype wordStart)
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

void Reader::charWord(const QByteArray &w, int param, bool on, CharState &c)
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
void Reader::store()
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

} // namespace Rtf::detail

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
        detail::dropControls(text, true);
        document->setPlainText(text);
        return !progress || progress(100);
    }
    // Reading is one edit without undo: a big file would otherwise keep
    // every step of it.
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QTextCursor batch(document);
    batch.beginEditBlock();
    const bool done = detail::Reader(data, start, document, progress).run();
    batch.endEditBlock();
    document->setUndoRedoEnabled(undo);
    return done;
}

} // namespace Rtf
