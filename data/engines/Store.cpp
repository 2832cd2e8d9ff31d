// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/Store.h"

bool isAsciiText(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

bool textMatches(const QString &stored, const QString &value)
{
    if (!isAsciiText(value))
        return stored.toCaseFolded() == value.toCaseFolded();
    // ASCII letters only, as the shared file's NOCASE comparison: a character
    // beyond ASCII never equals an ASCII one.
    if (stored.size() != value.size())
        return false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        char16_t a = stored[i].unicode(), b = value[i].unicode();
        if (a >= 'A' && a <= 'Z')
            a += 32;
        if (b >= 'A' && b <= 'Z')
            b += 32;
        if (a != b)
            return false;
    }
    return true;
}
