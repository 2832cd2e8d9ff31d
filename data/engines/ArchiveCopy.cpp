// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/ArchiveCopy.h"

#include "data/Dates.h"
#include "data/engines/PgStore.h"
#include "data/engines/SqliteStore.h"
#include "data/engines/WorkFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <limits>

#include <sqlite3.h>

QString ArchivePlace::describe() const
{
    return server && path.isEmpty() ? PgConnect::masked(conninfo) : path;
}

bool placeOf(const QString &argument, ArchivePlace *place, QString *error)
{
    *place = {};
    const QString arg = argument.trimmed();
    if (arg.startsWith(QLatin1String("postgresql://")) || arg.startsWith(QLatin1String("postgres://"))
        || (arg.contains(QLatin1Char('=')) && !QFileInfo::exists(arg))) {
        place->server = true;
        place->conninfo = arg;
        return PgConnect::check(arg, error);
    }
    place->path = arg;
    if (isServerFile(arg)) {
        place->server = true;
        if (!PgStore::readServerFile(arg, &place->conninfo, error))
            return false;
        if (!PgConnect::check(place->conninfo, error)) {
            *error = QStringLiteral("%1: %2").arg(arg, *error);
            return false;
        }
    }
    return true;
}

bool openArchive(const ArchivePlace &place, Archive *archive, QString *error)
{
    if (place.server && place.path.isEmpty())
        return archive->openServer(place.conninfo, error);
    return archive->open(place.path, error);
}

namespace {
// Values as the program reads them, so that both engines' spellings of one
// date or number compare equal.
QString comparable(FieldKind kind, const QVariant &v)
{
    if (!v.isValid())
        return QStringLiteral("\x01");   // absent, never equal to any text
    switch (kind) {
    case FieldKind::Number:
        return QString::number(v.toLongLong());
    case FieldKind::Date:
    case FieldKind::DateTime: {
        const QDateTime when = Dates::dateTimeFromStored(v.toString());
        return when.isValid() ? when.toString(Qt::ISODate) : v.toString();
    }
    default:
        return v.toString();
    }
}

bool readAll(Store &store, const TableInfo &table, QVector<StoredRow> *rows, QString *error)
{
    return store.select(table, {}, std::numeric_limits<qint64>::min(), -1, rows, error);
}

// A value the target engine cannot hold is named with its table, row and field.
bool checkValues(const TableInfo &table, const QVector<StoredRow> &rows, QString *error)
{
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < table.columns.size(); ++c) {
            const Column &col = table.columns[c];
            const QVariant &v = rows[r].values[c];
            if (!v.isValid())
                continue;
            bool bad = false;
            if (col.kind == FieldKind::Number) {
                bool ok = false;
                const qint64 n = v.typeId() == QMetaType::QString ? v.toString().trimmed().toLongLong(&ok)
                                                                  : (ok = v.typeId() == QMetaType::LongLong, v.toLongLong());
                bad = !ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max();
            } else if (col.kind == FieldKind::Date || col.kind == FieldKind::DateTime) {
                bad = !Dates::dateTimeFromStored(v.toString()).isValid();
            }
            if (bad) {
                *error = QStringLiteral("Tabella %1, riga %2 (chiave %3), campo %4: valore non convertibile \"%5\".")
                             .arg(table.name)
                             .arg(r + 1)
                             .arg(rows[r].key)
                             .arg(col.name, v.toString());
                return false;
            }
        }
    }
    return true;
}

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// A text no read gives back as stored, named by table, row and field.
QString invalidTextMessage(const QString &table, const InvalidText &bad)
{
    return QStringLiteral("Tabella %1, riga %2 (chiave %3), campo %4: il testo non è UTF-8 valido (byte %5 alla "
                          "posizione %6 di %7) e non si può copiare senza alterarlo. Correggere il valore "
                          "nell'archivio di origine e ripetere.")
        .arg(table)
        .arg(bad.row)
        .arg(bad.key)
        .arg(bad.column, hexBytes(bad.bytes.mid(bad.at, 4)))
        .arg(bad.at + 1)
        .arg(bad.bytes.size());
}

// Every text of the table reads back as stored, or the first that does not is named.
bool checkTexts(Store &store, const TableInfo &table, QString *error)
{
    QVector<InvalidText> bad;
    if (!store.invalidTexts(table, &bad, error))
        return false;
    if (bad.isEmpty())
        return true;
    *error = invalidTextMessage(table.name, bad.first());
    return false;
}

// The source rows laid out in the target's columns (matched by name).
QVector<StoredRow> mapped(const TableInfo &from, const TableInfo &to, const QVector<StoredRow> &rows)
{
    QVector<int> source(to.columns.size());
    for (int c = 0; c < to.columns.size(); ++c)
        source[c] = from.indexOf(to.columns[c].name);
    QVector<StoredRow> out;
    out.reserve(rows.size());
    for (const StoredRow &row : rows) {
        StoredRow m;
        m.key = row.key;
        m.values.resize(to.columns.size());
        for (int c = 0; c < to.columns.size(); ++c) {
            QVariant v = source[c] >= 0 ? row.values[source[c]] : QVariant();
            if (v.isValid() && to.columns[c].kind == FieldKind::Number && v.typeId() == QMetaType::QString)
                v = QVariant::fromValue(v.toString().trimmed().toLongLong());
            m.values[c] = v;
        }
        out.append(std::move(m));
    }
    return out;
}

bool compareTable(Archive &a, Archive &b, const QString &name, QString *error)
{
    if (!b.anyTable(name)) {
        *error = QStringLiteral("La copia non ha la tabella %1.").arg(name);
        return false;
    }
    const TableInfo &ta = *a.anyTable(name);
    const TableInfo &tb = *b.anyTable(name);
    QVector<StoredRow> ra, rb;
    if (!readAll(a.store(), ta, &ra, error) || !readAll(b.store(), tb, &rb, error))
        return false;
    if (ra.size() != rb.size()) {
        *error = QStringLiteral("Tabella %1: %2 righe invece di %3.").arg(name).arg(rb.size()).arg(ra.size());
        return false;
    }
    QVector<int> columnsInB;
    for (const Column &c : ta.columns)
        columnsInB.append(tb.indexOf(c.name));
    for (int r = 0; r < ra.size(); ++r) {
        if (ra[r].key != rb[r].key) {
            *error = QStringLiteral("Tabella %1, riga %2: chiave %3 invece di %4.").arg(name).arg(r + 1).arg(rb[r].key).arg(ra[r].key);
            return false;
        }
        for (int c = 0; c < ta.columns.size(); ++c) {
            const int cb = columnsInB[c];
            const QVariant &va = ra[r].values[c];
            const QVariant vb = cb >= 0 ? rb[r].values[cb] : QVariant();
            if (va.isValid() && vb.isValid() && va.typeId() == vb.typeId() && va == vb)
                continue;
            if (comparable(ta.columns[c].kind, va) != comparable(ta.columns[c].kind, vb)) {
                *error = QStringLiteral("Tabella %1, riga %2 (chiave %3), campo %4: \"%5\" invece di \"%6\".")
                             .arg(name)
                             .arg(r + 1)
                             .arg(ra[r].key)
                             .arg(ta.columns[c].name, vb.toString(), ra[r].values[c].toString());
                return false;
            }
        }
    }
    // Texts that are not UTF-8 read back altered, so two different byte
    // strings may read alike: those are compared as the bytes they are.
    QVector<InvalidText> ia, ib;
    if (!a.store().invalidTexts(ta, &ia, error) || !b.store().invalidTexts(tb, &ib, error))
        return false;
    QMap<QPair<qint64, QString>, InvalidText> inB;
    for (const InvalidText &t : std::as_const(ib))
        inB.insert({t.key, t.column.toLower()}, t);
    for (const InvalidText &t : std::as_const(ia)) {
        const auto match = inB.constFind({t.key, t.column.toLower()});
        if (match == inB.cend() || match->bytes != t.bytes) {
            *error = QStringLiteral("Tabella %1, riga %2 (chiave %3), campo %4: byte %5 invece di %6.")
                         .arg(name)
                         .arg(t.row)
                         .arg(t.key)
                         .arg(t.column)
                         .arg(match == inB.cend() ? QStringLiteral("UTF-8 validi") : hexBytes(match->bytes),
                              hexBytes(t.bytes));
            return false;
        }
        inB.erase(match);
    }
    if (!inB.isEmpty()) {
        const InvalidText &t = inB.first();
        *error = QStringLiteral("Tabella %1, riga %2 (chiave %3), campo %4: byte %5 non UTF-8 al posto di un testo valido.")
                     .arg(name)
                     .arg(t.row)
                     .arg(t.key)
                     .arg(t.column, hexBytes(t.bytes));
        return false;
    }
    return true;
}
} // namespace

namespace {
// What a whole copy carries: the six tables and the safety net's, when there.
QStringList carried(const Archive &archive)
{
    QStringList names;
    for (const TableInfo &t : archive.everyTable())
        names << t.name;
    return names;
}

bool refuseFull(Archive &to, QString *error)
{
    for (const QString &name : carried(to)) {
        qint64 n = 0;
        if (!to.store().count(*to.anyTable(name), &n, error))
            return false;
        if (n > 0) {
            *error = QStringLiteral("La destinazione non è vuota: la tabella %1 contiene già %2 righe. "
                                    "Si copia solo in un archivio vuoto.")
                         .arg(name)
                         .arg(n);
            return false;
        }
    }
    return true;
}
} // namespace

bool openEmptyServer(const QString &conninfo, Archive *archive, QString *error)
{
    {
        PgStore probe;
        if (!probe.open(conninfo, error))
            return false;
        const QStringList present = probe.archiveTablesPresent(error);
        if (!error->isEmpty() || (present.isEmpty() && !probe.createTables(error)))
            return false;
    }
    return archive->openServer(conninfo, error) && refuseFull(*archive, error);
}

bool checkCopyable(Archive &from, QString *error)
{
    Store::ReadScope snapshot(from.store());
    for (const QString &name : carried(from)) {
        const TableInfo &table = *from.anyTable(name);
        QVector<StoredRow> rows;
        if (!readAll(from.store(), table, &rows, error) || !checkValues(table, rows, error)
            || !checkTexts(from.store(), table, error))
            return false;
    }
    return true;
}

bool sameContent(Archive &a, Archive &b, QString *error)
{
    Store::ReadScope sa(a.store()), sb(b.store());
    for (const QString &name : carried(a))
        if (!compareTable(a, b, name, error))
            return false;
    return true;
}

bool copyArchive(Archive &from, Archive &to, const CopyProgress &progress, QVector<TableCount> *copied,
                 QString *error)
{
    copied->clear();
    if (!refuseFull(to, error))
        return false;
    Store::ReadScope snapshot(from.store());
    if (!to.store().begin(error))
        return false;
    bool ok = true;
    for (const QString &name : carried(from)) {
        if (!to.anyTable(name)) {
            *error = QStringLiteral("La destinazione non ha la tabella %1: nulla è stato scritto.").arg(name);
            ok = false;
            break;
        }
        const TableInfo &source = *from.anyTable(name);
        const TableInfo &target = *to.anyTable(name);
        QVector<StoredRow> rows;
        qint64 ceiling = 0;
        ok = readAll(from.store(), source, &rows, error) && from.store().keyCeiling(source, &ceiling, error)
             && checkValues(source, rows, error) && checkTexts(from.store(), source, error);
        if (!ok)
            break;
        const QVector<StoredRow> out = mapped(source, target, rows);
        constexpr int kBatch = 5000;
        for (int at = 0; ok && at < out.size(); at += kBatch) {
            ok = to.store().insertKeyed(target, out.mid(at, kBatch), error);
            if (ok && progress)
                progress(name, std::min<qint64>(at + kBatch, out.size()), out.size());
        }
        if (ok && out.isEmpty() && progress)
            progress(name, 0, 0);
        ok = ok && to.store().raiseKeyCeiling(target, ceiling, error);
        if (!ok)
            break;
        copied->append({name, qint64(out.size())});
    }
    // Checked inside the copy's own transaction: a difference keeps nothing.
    if (ok) {
        for (const QString &name : carried(from)) {
            if (!compareTable(from, to, name, error)) {
                *error = QStringLiteral("Verifica della copia non superata, nulla è stato scritto: %1").arg(*error);
                ok = false;
                break;
            }
        }
    }
    if (!ok) {
        to.store().rollback();
        copied->clear();
        return false;
    }
    return to.store().commit(error);
}

namespace {
// Where a new file for path is written first, in work: empty, and why in
// *error, when anything has the name already (what: the copy, for the
// message) or the work folder could not be made.
QString workFileFor(const QString &path, const WorkFolder &work, const QString &what, QString *error)
{
    if (nameTaken(path)) {
        *error = QStringLiteral("Il file %1 esiste già: %2 non lo sovrascrive.").arg(path, what);
        return {};
    }
    if (!work.ok()) {
        *error = work.error();
        return {};
    }
    return work.file(QFileInfo(path).fileName());
}
} // namespace

bool copyToNewFile(Archive &from, const QString &path, const CopyProgress &progress, QVector<TableCount> *copied,
                   QString *error)
{
    WorkFolder work(path);
    const QString temporary = workFileFor(path, work, QStringLiteral("la copia"), error);
    if (temporary.isEmpty())
        return false;
    bool ok = SqliteStore::createArchive(temporary, error);
    if (ok) {
        Archive to;
        ok = to.open(temporary, error) && copyArchive(from, to, progress, copied, error);
    }
    if (ok && !placeNewFile(temporary, path, error))
        ok = false;
    if (!ok)
        copied->clear();
    return ok;
}

QString integrityOf(const QString &path)
{
    sqlite3 *db = nullptr;
    QString result;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
    }
    if (result.isEmpty())
        result = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return result;
}

namespace {
bool rowCounts(Archive &archive, QVector<qint64> *counts, QString *error)
{
    counts->clear();
    for (const TableInfo &table : archive.everyTable()) {
        qint64 n = 0;
        if (!archive.store().count(table, &n, error))
            return false;
        counts->append(n);
    }
    return true;
}
} // namespace

bool backupFileArchive(Archive &source, const QString &path, BackupCheck check, QString *error)
{
    if (source.onServer()) {
        *error = QStringLiteral("l'archivio è su un server: la copia si fa con velbor_admin backup.");
        return false;
    }
    WorkFolder work(path);
    const QString temporary = workFileFor(path, work, QStringLiteral("il backup"), error);
    if (temporary.isEmpty())
        return false;
    bool ok = true;
    QVector<qint64> counted;
    {
        Store::ReadScope snapshot(source.store());
        ok = static_cast<SqliteStore &>(source.store()).backupTo(temporary, error)
             && (check == BackupCheck::Rows || rowCounts(source, &counted, error));
        if (ok && check == BackupCheck::Rows) {
            Archive copy;
            ok = copy.open(temporary, error) && sameContent(source, copy, error);
        }
    }
    if (ok && check == BackupCheck::Counts) {
        Archive copy;
        QVector<qint64> copied;
        ok = copy.open(temporary, error, true) && rowCounts(copy, &copied, error);
        if (ok && copied != counted) {
            *error = QStringLiteral("la copia non ha le righe dell'archivio.");
            ok = false;
        }
    }
    if (ok) {
        const QString check = integrityOf(temporary);
        if (check != QLatin1String("ok")) {
            *error = QStringLiteral("la copia non supera il controllo di integrità (%1).").arg(check);
            ok = false;
        }
    }
    return ok && placeNewFile(temporary, path, error);
}
