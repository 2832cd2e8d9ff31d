// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF reader's destinations: groups kept verbatim (document, section and
// inline ones), pictures, fields, and the font, colour, list and \pn tables;
// with the scans that read a group's bytes ahead of the walk.
#include "components/rtf/RtfReader.h"

#include "components/rtf/Rtf.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTextDocument>
#include <QUrl>

#include <atomic>

namespace Rtf::detail {

namespace {

const char *const kPlaceholder = "velbor-rtf:segnaposto";

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

} // namespace

// ---- kept groups and pictures
// The bytes of a group from its destination word, closed if the input
// ended inside it.
QByteArray Reader::rawGroup(qsizetype start, qsizetype end, int missing) const
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

void Reader::keep(Act act, qsizetype start, qsizetype end, int missing)
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

void Reader::picture(qsizetype start)
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

void Reader::field(qsizetype start)
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

void Reader::destination(Act act, qsizetype start)
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
void Reader::fontNameBytesToText()
{
    if (m_fontName.isEmpty())
        return;
    const int charset = m_fontNumber >= 0 ? m_fonts.value(m_fontNumber).charset : 0;
    m_fontText += decodeBytes(m_fontName, codepageOfCharset(charset, m_ansi));
    m_fontName.clear();
}

void Reader::finishFontName()
{
    fontNameBytesToText();
    if (m_fontNumber >= 0) {
        const QString name = m_fontText.trimmed();
        if (!name.isEmpty())
            m_fonts[m_fontNumber].name = name;
    }
    m_fontText.clear();
}

// ---- words within the font, colour and list tables and \pn
void Reader::fontWord(const QByteArray &w, bool hasParam, int param)
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

void Reader::colorWord(const QByteArray &w, int param)
{
    const int v = std::clamp(param, 0, 255);
    if (w == "red") { m_red = v; m_colorSet = true; }
    else if (w == "green") { m_green = v; m_colorSet = true; }
    else if (w == "blue") { m_blue = v; m_colorSet = true; }
}

void Reader::listWord(const QByteArray &w, bool hasParam, int param)
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

void Reader::pnWord(const QByteArray &w, int param)
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

} // namespace Rtf::detail
