// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Dates.h"

#include <QRegularExpression>

namespace Dates {

namespace {
// Digits at p[0..n), or -1.
int number(const QChar *p, int n)
{
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned d = p[i].unicode() - u'0';
        if (d > 9)
            return -1;
        v = v * 10 + int(d);
    }
    return v;
}
} // namespace

QDateTime parse(const QString &input)
{
    const QString text = input.trimmed();
    static const QRegularExpression dayFirst(QStringLiteral(
        R"(^(\d{1,2})[/.\-](\d{1,2})[/.\-](\d{4})(?:[ T]+(\d{1,2})[:.](\d{2})(?:[:.](\d{2}))?)?$)"));
    QRegularExpressionMatch m = dayFirst.match(text);
    if (m.hasMatch()) {
        const QDate day(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
        QTime time(0, 0);
        if (m.capturedLength(4))
            time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
        if (!day.isValid() || !time.isValid())
            return {};
        return QDateTime(day, time);
    }
    const QDateTime iso = dateTimeFromStored(text);
    return iso;
}

QString generalText(const QDateTime &when)
{
    if (!when.isValid())
        return {};
    if (when.time() == QTime(0, 0))
        return when.date().toString(QStringLiteral("dd/MM/yyyy"));
    return when.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

QString dayText(const QDate &day)
{
    return day.toString(QStringLiteral("dd/MM/yyyy"));
}

QString storedDay(const QDate &day)
{
    return day.toString(Qt::ISODate);
}

QString storedDateTime(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDate dayFromStored(const QString &text)
{
    if (text.size() >= 10 && text[4] == u'-' && text[7] == u'-') {
        const int y = number(text.constData(), 4), m = number(text.constData() + 5, 2),
                  d = number(text.constData() + 8, 2);
        if (y >= 0 && m >= 0 && d >= 0)
            return QDate(y, m, d);
    }
    return QDate::fromString(text.left(10), Qt::ISODate);
}


QDateTime dateTimeFromStored(const QString &text)
{
    const QString t = text.trimmed();
    // The two spellings the archive stores, read without the general parser
    // (walks and copies read hundreds of thousands of them).
    if ((t.size() == 10 || t.size() == 19) && t[4] == u'-' && t[7] == u'-') {
        const QChar *p = t.constData();
        const int y = number(p, 4), m = number(p + 5, 2), d = number(p + 8, 2);
        if (y >= 0 && m >= 0 && d >= 0) {
            const QDate day(y, m, d);
            if (t.size() == 10)
                return day.isValid() ? QDateTime(day, QTime(0, 0)) : QDateTime();
            const int h = number(p + 11, 2), mi = number(p + 14, 2), sec = number(p + 17, 2);
            if ((t[10] == u' ' || t[10] == u'T') && t[13] == u':' && t[16] == u':' && h >= 0 && mi >= 0 && sec >= 0) {
                const QTime time(h, mi, sec);
                return day.isValid() && time.isValid() ? QDateTime(day, time) : QDateTime();
            }
        }
    }
    if (t.size() == 10) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        return d.isValid() ? QDateTime(d, QTime(0, 0)) : QDateTime();
    }
    QDateTime dt = QDateTime::fromString(t, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!dt.isValid())
        dt = QDateTime::fromString(t, Qt::ISODate);
    return dt;
}

} // namespace Dates
