#pragma once
// Rich text in RTF, read into and written from a QTextDocument.
//
// The reader takes text, paragraphs and line breaks, bold, italic, underline,
// strike, font face and size, text and highlight colours, alignment and
// indents; code pages through \ansicpg and the fonts' \fcharset with \'hh,
// and \uN with \ucN. Unknown and non-text destinations are skipped. It walks
// the bytes once with an explicit state stack and bounded limits, so damaged
// input ends in what could be read. Bytes that are not RTF load as plain text.
//
// The writer produces 7-bit text; reading what it wrote and writing again
// gives the same bytes.

#include <QByteArray>

class QTextDocument;

namespace Rtf {
void read(const QByteArray &data, QTextDocument *document);
QByteArray write(const QTextDocument *document);
bool looksLikeRtf(const QByteArray &data);
}
