// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recycle bin: records deleted from the register, kept whole with who
// deleted them and when, until they are put back or emptied. Each command
// is one transaction, so two workstations never put one entry back twice.

#include "data/engines/Archive.h"

#include <QDateTime>

struct BinEntry {
    qint64 key = 0;          // the entry's own key
    QString table;           // Clienti, Progetti, RighePRJ or Componenti
    qint64 rowKey = 0;       // the record's key before it was deleted
    QString code, descr, user, host;
    QDateTime when;
    RawRow row;              // the record as it was stored
    bool readable = true;    // false: the row could not be read back
    // A field of the record, as text (empty when it has none).
    QString text(const Archive &archive, QStringView field) const;
};

class RecycleBin {
public:
    explicit RecycleBin(Archive &archive);

    // False with why when the archive has no bin (see Archive::safetyMissing).
    bool available(QString *why) const;

    // Every entry, newest first.
    bool list(QVector<BinEntry> *entries, QString *error);

    enum class Restore {
        Done,
        CodeTaken,   // a record holds the code now: *message says which; try again with a new code
        Gone,        // another workstation restored or emptied it meanwhile
        Refused,     // it cannot go back (its project is not there): *message says why
        Failed       // the engine's error in *message
    };
    // Puts an entry back, with its own key when free, under newCode when
    // given (the code taken since); the entry leaves the bin in the same
    // transaction.
    Restore restore(qint64 entryKey, const QString &newCode, QString *message);

    // Empties the given entries for good; entries already gone are passed over.
    bool purge(const QVector<qint64> &entryKeys, QString *error);

    // How many days an entry stays in the bin (90 until set).
    static constexpr int kDefaultDays = 90;
    bool keepDays(int *days, QString *error);
    bool setKeepDays(int days, QString *error);
    // Once a day, by the first workstation that asks: empties the entries
    // deleted more than keepDays before today. *emptied: how many (0 when
    // another workstation did it today already).
    bool emptyOld(const QDate &today, int *emptied, QString *error);

private:
    bool setting(const QString &name, QString *value, qint64 *key, QString *error);
    bool storeSetting(const QString &name, const QString &value, QString *error);
    bool codeTaken(const BinEntry &entry, const TableInfo &table, const QString &code, QString *message, bool *failed);
    // Whether an item goes back with its own key (*ownKey), so that it hangs
    // where it hung without taking other items under it; false with why when
    // the item it hung under must go back first (or *failed).
    bool itemPlace(const BinEntry &entry, const TableInfo &items, const TableInfo &bin, bool *ownKey, QString *message,
                   bool *failed);
    // A table of the safety net; nullptr with why when the archive has none
    // or it cannot be read.
    const TableInfo *safety(const QString &name, QString *error) const;

    Archive &m_archive;
};
