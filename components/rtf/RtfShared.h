// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the RTF reader and writer share: their limits, the names under which
// a document keeps what is written back, code pages and byte classes.

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <array>

class QTextDocument;

namespace Rtf::detail {

constexpr int kMaxDepth = 256;          // deeper groups are read as skipped
constexpr int kMaxWordLength = 32;
constexpr int kMaxParamDigits = 10;
constexpr int kMaxTableDepth = 16;      // deeper \itap levels read as this one
constexpr int kMaxColumns = 128;        // further cells of a row join the last one
constexpr int kMaxListLevel = 8;
constexpr qsizetype kProgressStep = 1 << 18;

// What a document keeps for writing back lives in its resources, so that
// clearing the document or loading other text drops it too.
const char *const kDocGroups = "velbor-rtf:gruppi-documento";
const char *const kSectionGroups = "velbor-rtf:gruppi-sezione";
const char *const kListPictures = "velbor-rtf:immagini-elenchi";
const char *const kFonts = "velbor-rtf:caratteri";
const char *const kColors = "velbor-rtf:colori";
const char *const kAnsi = "velbor-rtf:codifica";
const char *const kDefaultFont = "velbor-rtf:carattere-predefinito";

void setKept(QTextDocument *doc, const char *name, const QVariant &value);
QVariant kept(const QTextDocument *doc, const char *name);

int codepageOfCharset(int charset, int ansi);
// Decodes a run of 8-bit text; an unknown code page reads as Windows-1252.
QString decodeBytes(const QByteArray &bytes, int codepage);

inline constexpr std::array<signed char, 256> kHex = [] {
    std::array<signed char, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = i >= '0' && i <= '9' ? i - '0' : i >= 'a' && i <= 'f' ? i - 'a' + 10 : i >= 'A' && i <= 'F' ? i - 'A' + 10 : -1;
    return t;
}();

inline int hexDigit(char d) { return kHex[uchar(d)]; }

inline bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Control characters carry nothing a notes page can show.
void dropControls(QString &text, bool keepLineFeeds);

} // namespace Rtf::detail
