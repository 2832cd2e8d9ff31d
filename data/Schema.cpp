// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Schema.h"

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
