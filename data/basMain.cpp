// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/basMain.h"

#include "data/Files.h"

#include <QDir>
#include <QFileInfo>

#include <limits>

namespace {
const QString kArchiveName = QStringLiteral("Velbor.mdb");
const QString kServerName = QStringLiteral("Velbor.server");

Outcome<int> nextAfter(const QVariant &maximum, const QString &field)
{
    Outcome<int> out;
    if (!maximum.isValid()) {
        out.value = 1;
        return out;
    }
    bool ok = false;
    const qint64 max = maximum.toLongLong(&ok);
    if (!ok) {
        out.error = QStringLiteral("Il campo %1 contiene un valore non numerico.").arg(field);
    } else if (max >= std::numeric_limits<qint32>::max()) {
        out.error = QStringLiteral("Numerazione esaurita: il codice successivo supererebbe %1.")
                        .arg(std::numeric_limits<qint32>::max());
    } else {
        out.value = int(std::max<qint64>(max, 0) + 1);
    }
    return out;
}

const TableInfo *lookup(Archive &archive, const QString &table, const QString &field, int *column,
                        QString *error)
{
    const TableInfo *info = archive.table(table);
    if (!info) {
        *error = QStringLiteral("no such table: %1").arg(table);
        return nullptr;
    }
    *column = info->indexOf(field);
    if (*column < 0) {
        *error = QStringLiteral("no such column: %1").arg(field);
        return nullptr;
    }
    return info;
}
} // namespace

Outcome<int> ProssimoCodice(Archive &archive, const QString &table, const QString &field)
{
    Outcome<int> out;
    int column = -1;
    const TableInfo *info = lookup(archive, table, field, &column, &out.error);
    if (!info)
        return out;
    QVariant maximum;
    if (!archive.store().maximum(*info, column, {}, &maximum, &out.error))
        return out;
    return nextAfter(maximum, field);
}

Outcome<int> ProssimoCodiceLivello(Archive &archive, const QString &table, int level, const QString &field)
{
    return ProssimoCodiceLivello(archive, table, level, field, {});
}

Outcome<int> ProssimoCodiceLivello(Archive &archive, const QString &table, int level, const QString &field,
                                   const std::function<bool(int)> &isFree)
{
    Outcome<int> out;
    int column = -1;
    const TableInfo *info = lookup(archive, table, field, &column, &out.error);
    if (!info)
        return out;
    const int levelColumn = info->indexOf(u"livello");
    const int counterColumn = info->indexOf(u"codice");
    if (levelColumn < 0 || counterColumn < 0) {
        out.error = QStringLiteral("no such column: %1").arg(levelColumn < 0 ? "livello" : "codice");
        return out;
    }
    Store &store = archive.store();
    const QVector<Term> ofLevel{{levelColumn, QVariant::fromValue<qint64>(level)}};

    // Reading the maximum and moving the counter in one write transaction keeps
    // two workstations from drawing the same number.
    if (!store.begin(&out.error))
        return out;
    if (!store.lockRows(*info, ofLevel, &out.error)) {
        store.rollback();
        return out;
    }
    QVariant maximum;
    QVector<StoredRow> rows;
    bool ok = store.maximum(*info, column, ofLevel, &maximum, &out.error)
              && store.select(*info, ofLevel, std::numeric_limits<qint64>::min(), 1, &rows, &out.error);
    if (ok) {
        const Outcome<int> next = nextAfter(maximum, field);
        out.value = next.value;
        out.error = next.error;
        ok = next.ok();
    }
    if (ok) {
        RawRow values;
        qint64 previous = 0;
        if (rows.isEmpty()) {
            values = RawRow(info->columns.size());
        } else {
            values = rows.first().values;
            previous = values[counterColumn].toLongLong();
        }
        if (previous >= std::numeric_limits<qint32>::max()) {
            out.error = QStringLiteral("Numerazione esaurita: il codice successivo supererebbe %1.")
                            .arg(std::numeric_limits<qint32>::max());
            ok = false;
        } else {
            qint64 number = std::max<qint64>(previous + 1, out.value);
            if (isFree) {
                // Bounded: a check that keeps failing must not run for ever.
                const qint64 last = std::min<qint64>(std::numeric_limits<qint32>::max(), number + 100000);
                while (number <= last && !isFree(int(number)))
                    ++number;
                if (number > last) {
                    out.error = QStringLiteral("Nessun codice libero trovato dopo %1.").arg(out.value);
                    ok = false;
                }
                out.value = int(number);
            }
            values[counterColumn] = QVariant::fromValue<qint64>(isFree ? number : previous + 1);
            values[levelColumn] = QVariant::fromValue<qint64>(level);
            qint64 key = 0;
            bool changed = false;
            ok = ok
                 && (rows.isEmpty() ? store.insert(*info, values, &key, &out.error)
                                    : store.update(*info, rows.first().key, values, &changed, &out.error));
        }
    }
    if (!ok) {
        store.rollback();
        if (out.error.isEmpty())
            out.error = QStringLiteral("Errore sconosciuto dell'archivio.");
        return out;
    }
    if (!store.commit(&out.error))
        return out;
    return out;
}

QString trimSpaces(const QString &text)
{
    qsizetype start = 0, end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}

QString QuotaSQL(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out.append(QLatin1Char('\''));
    for (QChar c : text) {
        out.append(c);
        if (c == QLatin1Char('\''))
            out.append(c);
    }
    out.append(QLatin1Char('\''));
    return out;
}

QString archivePathIn(const QString &folder)
{
    // A server file names the archive of the whole office: it wins over any
    // Velbor.mdb left in the folder. The names as written are looked up
    // first; the folder (on a share, thousands of project folders) is listed
    // only when neither is there.
    for (const QString &name : {kServerName, kArchiveName}) {
        const QString exact = Files::join(folder, name);
        if (QFileInfo::exists(exact))
            return exact;
    }
    const QStringList other = QDir(folder).entryList({kServerName, kArchiveName}, QDir::Files);
    for (const QString &name : {kServerName, kArchiveName})
        for (const QString &found : other)
            if (found.compare(name, Qt::CaseInsensitive) == 0)
                return Files::join(folder, found);
    return Files::join(folder, kArchiveName);
}

QString ApriArchivio(RunState &state, Archive &archive, const QString &programFolder)
{
    QString path = archivePathIn(state.PercorsoDati);
    if (!QFileInfo::exists(path)) {
        state.PercorsoDati = programFolder;
        path = archivePathIn(programFolder);
    }
    QString error;
    if (!archive.open(path, &error))
        return error.isEmpty() ? QStringLiteral("Impossibile aprire l'archivio.") : error;
    return {};
}
