// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces the RTF reader and writer share: what a document keeps in its
// resources, code pages and their decoding, control characters.
#include "components/rtf/RtfShared.h"

#include "data/Codepage.h"

#include <QStringDecoder>
#include <QTextDocument>
#include <QUrl>

namespace Rtf::detail {

namespace {

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

} // namespace

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

QString decodeBytes(const QByteArray &bytes, int codepage)
{
    if (codepage != 1252) {
        QStringDecoder decoder(codecName(codepage).constData());
        if (decoder.isValid()) {
            const QString text = decoder.decode(bytes);
            if (!decoder.hasError() || !text.isEmpty())
                return text;
        }
#ifdef _WIN32
        if (const QString text = Codepage::fromSystemCodepage(bytes, codepage); !text.isNull())
            return text;
#endif
    }
    return Codepage::fromWindows1252(bytes);
}

void dropControls(QString &text, bool keepLineFeeds)
{
    text.removeIf([keepLineFeeds](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != '\t' && !(keepLineFeeds && u == '\n')) || u == 0x7F
               || u == QChar::ObjectReplacementCharacter || u == 0xFEFF;
    });
}

} // namespace Rtf::detail
