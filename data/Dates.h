// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dates as the program hands them around: stored as ISO 8601 text, exchanged
// between windows as day-first text ("dd/mm/yyyy", with the time when there
// is one), whatever the system's locale.

#include <QDateTime>
#include <QString>

namespace Dates {
// Parses day-first text ("07/12/2026", "7/12/2026 09:05:03", also with "."
// or "-" separators and a "hh.mm.ss" time) or ISO text. Invalid on failure.
QDateTime parse(const QString &text);

// The general date text: "dd/MM/yyyy HH:mm:ss", or the day alone at midnight.
QString generalText(const QDateTime &when);
QString dayText(const QDate &day);

QString storedDay(const QDate &day);
QString storedDateTime(const QDateTime &when);
QDate dayFromStored(const QString &text);
QDateTime dateTimeFromStored(const QString &text);
}
