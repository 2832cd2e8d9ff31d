// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Schema.h"

#include "data/Dates.h"

#include <QStringList>

int TableInfo::indexOf(QStringView field) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (QStringView(columns[i].name).compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QStringList Tables::all()
{
    return {Clienti, Progetti, RighePRJ, Componenti, Configura, maxcodice};
}

QStringList Tables::safety()
{
    return {Cestino, Storico, Impostazioni};
}

FieldKind kindFromDeclaredType(const QString &declared)
{
    const QString t = declared.toUpper();
    if (t.contains(QLatin1String("INT")))
        return FieldKind::Number;
    if (t.contains(QLatin1String("DATETIME")) || t.contains(QLatin1String("TIMESTAMP")))
        return FieldKind::DateTime;
    if (t.contains(QLatin1String("DATE")))
        return FieldKind::Date;
    if (t.contains(QLatin1String("LONGTEXT")) || t.contains(QLatin1String("MEMO")))
        return FieldKind::Memo;
    return FieldKind::Text;
}

// A stored value as value() hands it out for a field kind.
QVariant presentValue(FieldKind kind, const QVariant &raw)
{
    if (!raw.isValid())
        return {};
    switch (kind) {
    case FieldKind::Number:
        if (raw.typeId() == QMetaType::QString) {
            bool ok = false;
            const qint64 n = raw.toString().trimmed().toLongLong(&ok);
            return ok ? QVariant::fromValue(n) : raw;
        }
        return QVariant::fromValue<qint64>(raw.toLongLong());
    case FieldKind::Date: {
        const QDate d = Dates::dayFromStored(raw.toString());
        return d.isValid() ? QVariant(d) : raw;
    }
    case FieldKind::DateTime: {
        const QDateTime dt = Dates::dateTimeFromStored(raw.toString());
        return dt.isValid() ? QVariant(dt) : raw;
    }
    default:
        return raw.toString();
    }
}


QString presentText(FieldKind kind, const QVariant &raw)
{
    const QVariant v = presentValue(kind, raw);
    if (!v.isValid())
        return QString(QLatin1String(""));
    if (v.typeId() == QMetaType::QDate)
        return Dates::dayText(v.toDate());
    if (v.typeId() == QMetaType::QDateTime)
        return Dates::generalText(v.toDateTime());
    return v.toString();
}
