#include "Dates.h"

#include <QRegularExpression>

namespace Dates {

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
    return QDate::fromString(text.left(10), Qt::ISODate);
}

QDateTime dateTimeFromStored(const QString &text)
{
    const QString t = text.trimmed();
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
