// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tables and fields of the archive, as the program knows them.

#include <QString>
#include <QVariant>
#include <QVector>

enum class FieldKind { Number, Text, Memo, Date, DateTime };

struct Column {
    QString name;
    FieldKind kind = FieldKind::Text;
};

struct TableInfo {
    QString name;
    QVector<Column> columns;

    // Index of a field, letter case ignored; -1 when the table has none.
    int indexOf(QStringView field) const;
};

// The six tables, named as the schema names them.
namespace Tables {
inline const QString Clienti = QStringLiteral("Clienti");
inline const QString Progetti = QStringLiteral("Progetti");
inline const QString RighePRJ = QStringLiteral("RighePRJ");
inline const QString Componenti = QStringLiteral("Componenti");
inline const QString Configura = QStringLiteral("Configura");
inline const QString maxcodice = QStringLiteral("maxcodice");
QStringList all();
// The tables of the safety net: deleted records (Cestino), each save's
// changes (Storico), and the archive's own settings (Impostazioni). Made at
// open when missing; older programs ignore them.
inline const QString Cestino = QStringLiteral("Cestino");
inline const QString Storico = QStringLiteral("Storico");
inline const QString Impostazioni = QStringLiteral("Impostazioni");
QStringList safety();
// The plain text of the notes pages, for searches (TestiNote): made at open
// when missing, apart from the safety net; older programs ignore it.
inline const QString TestiNote = QStringLiteral("TestiNote");
}

// Name of the hidden row key that gives the stored order.
inline const QString kRowKey = QStringLiteral("vb_key");

FieldKind kindFromDeclaredType(const QString &declared);

// A stored value as a record hands it out for a field kind: numbers as
// qint64, dates as QDate or QDateTime, texts as QString; invalid when absent.
QVariant presentValue(FieldKind kind, const QVariant &raw);
// The same as the user reads it: dates day-first, absent as an empty text.
QString presentText(FieldKind kind, const QVariant &raw);
