// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SQL text the server engine's files share.

#include <QString>

namespace PgSql {
// An identifier between double quotes, inner quotes doubled.
inline QString quoted(const QString &identifier)
{
    QString inner = identifier;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

// A message of libpq's, trimmed; empty for none.
inline QString trimmedMessage(const char *text)
{
    return QString::fromUtf8(text ? text : "").trimmed();
}
} // namespace PgSql
