// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows-1252, the 8-bit code page of older Windows installations. Qt's own
// converters cover only Latin-1 without ICU, and 1252 is not Latin-1 (0x80 is €).

#include <QByteArray>
#include <QString>

namespace Codepage {
QString fromWindows1252(const QByteArray &bytes);
// The byte for c in Windows-1252, or -1 when c has none.
int toWindows1252(QChar c);
// UTF-8 when the bytes are valid UTF-8, Windows-1252 otherwise.
QString decodeText(const QByteArray &bytes);
#ifdef _WIN32
// The system's own table for a Windows code page (Qt there reads none but
// UTF and Latin-1); a null string when the system has no such code page.
QString fromSystemCodepage(const QByteArray &bytes, int codepage);
#endif
}
