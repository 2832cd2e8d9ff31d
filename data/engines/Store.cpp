// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/Store.h"

#include <QRegularExpression>

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

QString schemaStatementsFor(const QString &schema, const QStringList &tables)
{
    QString text;
    for (const QString &line : schema.split(QLatin1Char('\n')))
        if (!line.trimmed().startsWith(QLatin1String("--")))
            text += line + QLatin1Char('\n');
    static const QRegularExpression made(QStringLiteral(R"(^CREATE\s+(?:TABLE|INDEX\s+\w+\s+ON)\s+(\w+))"),
                                         QRegularExpression::CaseInsensitiveOption);
    QString out;
    for (const QString &statement : text.split(QLatin1Char(';'))) {
        const QString s = statement.trimmed();
        const QRegularExpressionMatch m = made.match(s);
        if (m.hasMatch() && tables.contains(m.captured(1), Qt::CaseInsensitive))
            out += s + QStringLiteral(";\n");
    }
    return out;
}
