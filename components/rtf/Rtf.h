// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Rich text in RTF, read into and written from a QTextDocument.
//
// Rebuilt from the document (read into Qt's model, written anew):
//  - text, paragraphs, line breaks, bold, italic, underline, strike, font face
//    and size, text and highlight colours, superscript and subscript, hidden
//    text (kept as the Hidden property, written as \v), alignment, indents;
//  - tables, nested ones included, as QTextTable (written Word-style: \trowd,
//    \cellx, \cell, \row; deeper levels with \itap, \nestcell, \nestrow);
//  - lists from list tables (\ls, \ilvl) and from old \pn paragraphs, as
//    QTextList (written as a list table, override table and \listtext); a
//    level's picture bullet (\levelpicture) stays with its list, and the
//    list table's pictures (\listpicture) are kept verbatim and written
//    back at the head of the list table;
//  - hyperlink fields, as anchors with an href;
//  - PNG and JPEG pictures, shown as images; their original bytes are kept
//    and written back as \pngblip / \jpegblip. Images from elsewhere (pasted,
//    any image resource) are written as PNG.
// Kept verbatim and written back unchanged:
//  - other pictures (metafiles, bitmaps, anything Qt cannot draw), shown as a
//    placeholder image of the picture's size;
//  - footnotes, annotations, objects, shapes, bookmarks, other fields and
//    unknown starred destinations in the text: an invisible inline object at
//    their place (Raw property);
//  - stylesheet, info, generator and other document groups, and headers and
//    footers: kept in the document's resources (clearing the document drops
//    them) and written in the header;
//  - the font and colour tables (numbers kept, so kept groups still refer to
//    the right entries; fonts and colours added by editing follow them).
// Generated text (\listtext, \pntext, \nonesttables) and the alternative
// picture of \nonshppict are dropped.
//
// The reader walks the bytes once with an explicit state stack and bounded
// limits, so damaged input ends in what could be read. Bytes that are not RTF
// load as plain text. A UTF-8 byte-order mark is ignored.
//
// The writer produces 7-bit text; reading what it wrote and writing again
// gives the same bytes.

#include <QByteArray>
#include <QTextFormat>

#include <functional>

class QTextDocument;

namespace Rtf {

// Character format properties the reader sets and the writer reads.
enum Property {
    Raw = QTextFormat::UserProperty + 0x5200,   // QByteArray: a group written back as it was
    RawKey,                                     // int: hash of Raw, so distinct groups get distinct formats
    Blip,                                       // QByteArray: the PNG or JPEG bytes of a picture
    BlipJpeg,                                   // bool: Blip holds a JPEG
    PictureWidth,                               // int: \picw as read
    PictureHeight,                              // int: \pich as read
    Hidden,                                     // bool: hidden text (\v)
    LevelPicture,                               // int, on a list: its level's \levelpicture, a picture of \listpicture
    LevelPictureNoSize,                         // bool, on a list: \levelpicturenosize
};
// Object type of the inline groups kept verbatim.
constexpr int KeptObject = QTextFormat::UserObject + 0x52;

void read(const QByteArray &data, QTextDocument *document);
// As above, reporting progress (0-100); when progress returns false the
// reading stops and read returns false, leaving the document partial.
// The document must belong to the calling thread: to read off the GUI thread,
// create the document in the worker and move it to the GUI thread afterwards
// (QObject::moveToThread).
bool read(const QByteArray &data, QTextDocument *document, const std::function<bool(int percent)> &progress);
QByteArray write(const QTextDocument *document);
bool looksLikeRtf(const QByteArray &data);
}
