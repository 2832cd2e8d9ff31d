// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/RecycleBin.h"

#include "data/Dates.h"

#include <limits>

namespace {
constexpr qint64 kFromStart = std::numeric_limits<qint64>::min();
const QString kKeepDays = QStringLiteral("giorni_cestino");
const QString kEmptiedOn = QStringLiteral("cestino_svuotato");

QString textOf(const TableInfo &table, const RawRow &row, QStringView field)
{
    const int c = table.indexOf(field);
    return c >= 0 && c < row.size() && row[c].isValid() ? row[c].toString() : QString();
}

BinEntry entryOf(Archive &archive, const TableInfo &bin, const StoredRow &stored)
{
    BinEntry e;
    e.key = stored.key;
    const RawRow &r = stored.values;
    e.table = textOf(bin, r, u"tabella");
    e.rowKey = textOf(bin, r, u"chiave").toLongLong();
    e.code = textOf(bin, r, u"codice");
    e.descr = textOf(bin, r, u"descr");
    e.user = textOf(bin, r, u"utente");
    e.host = textOf(bin, r, u"postazione");
    e.when = Dates::dateTimeFromStored(textOf(bin, r, u"eliminato"));
    if (const TableInfo *table = archive.table(e.table))
        e.row = Journal::rowFromText(*table, textOf(bin, r, u"riga"), &e.readable);
    else
        e.readable = false;
    return e;
}

// The row whose key is key, if any.
bool rowWithKey(Store &store, const TableInfo &table, qint64 key, bool *present, QString *error)
{
    QVector<StoredRow> rows;
    if (!store.select(table, {}, key - 1, 1, &rows, error))
        return false;
    *present = !rows.isEmpty() && rows.first().key == key;
    return true;
}
} // namespace

QString BinEntry::text(const Archive &archive, QStringView field) const
{
    const TableInfo *t = archive.table(table);
    return t ? textOf(*t, row, field) : QString();
}

RecycleBin::RecycleBin(Archive &archive) : m_archive(archive) {}

const TableInfo *RecycleBin::safety(const QString &name, QString *error) const
{
    // Described on first use: an engine that cannot describe it leaves none,
    // and a table gone since the archive opened is described without fields.
    const TableInfo *table = m_archive.safetyTable(name);
    if (!table) {
        *error = m_archive.safetyMissing().isEmpty()
                     ? QStringLiteral("La tabella %1 dell'archivio non si può leggere.").arg(name)
                     : m_archive.safetyMissing();
        return nullptr;
    }
    const bool bin = name.compare(Tables::Cestino, Qt::CaseInsensitive) == 0;
    const QStringList fields = bin ? QStringList{"tabella", "chiave", "codice", "descr", "riga", "utente", "postazione",
                                                 "eliminato"}
                                   : QStringList{"nome", "valore"};
    for (const QString &field : fields) {
        if (table->indexOf(field) < 0) {
            *error = QStringLiteral("La tabella %1 dell'archivio non ha il campo %2.").arg(name, field);
            return nullptr;
        }
    }
    return table;
}

bool RecycleBin::available(QString *why) const
{
    return safety(Tables::Cestino, why) != nullptr;
}

bool RecycleBin::list(QVector<BinEntry> *entries, QString *error)
{
    entries->clear();
    const TableInfo *binTable = safety(Tables::Cestino, error);
    if (!binTable)
        return false;
    const TableInfo &bin = *binTable;
    QVector<StoredRow> rows;
    if (!m_archive.store().select(bin, {}, kFromStart, -1, &rows, error))
        return false;
    for (const StoredRow &row : std::as_const(rows))
        entries->append(entryOf(m_archive, bin, row));
    // Newest first; entries of the same second in the order they were made.
    std::stable_sort(entries->begin(), entries->end(), [](const BinEntry &a, const BinEntry &b) {
        return a.when != b.when ? a.when > b.when : a.key > b.key;
    });
    return true;
}

bool RecycleBin::codeTaken(const BinEntry &entry, const TableInfo &table, const QString &code, QString *message,
                           bool *failed)
{
    Store &store = m_archive.store();
    QVector<Term> terms;
    const int c = table.indexOf(u"codice");
    const bool client = table.name.compare(Tables::Clienti, Qt::CaseInsensitive) == 0;
    if (client) {
        bool number = false;
        const qint64 n = code.toLongLong(&number);
        if (!number) {
            *message = QStringLiteral("Il codice %1 non è un numero: un cliente ha un codice numerico.").arg(code);
            return true;
        }
        terms.append({c, QVariant::fromValue(n)});
    } else {
        terms.append({c, code});
    }
    QVector<StoredRow> rows;
    if (table.name.compare(Tables::RighePRJ, Qt::CaseInsensitive) == 0) {
        // An item's code is its own within its project (its folder), and
        // within its level across projects (the tree finds it by it).
        const int project = table.indexOf(u"codprj"), level = table.indexOf(u"livello");
        for (const Term &scope : {Term{project, entry.row.value(project)}, Term{level, entry.row.value(level)}}) {
            if (!store.select(table, {terms.first(), scope}, kFromStart, 1, &rows, message)) {
                *failed = true;
                return true;
            }
            if (!rows.isEmpty())
                break;
        }
    } else if (!store.select(table, terms, kFromStart, 1, &rows, message)) {
        *failed = true;
        return true;
    }
    if (rows.isEmpty())
        return false;
    const QString descr = textOf(table, rows.first().values, u"descr");
    const QString owner = textOf(table, rows.first().values, u"codprj");
    if (client)
        *message = QStringLiteral("Il codice %1 è stato dato nel frattempo al cliente \"%2\".").arg(code, descr);
    else if (!owner.isEmpty() && owner.compare(textOf(table, entry.row, u"codprj"), Qt::CaseInsensitive) != 0)
        *message = QStringLiteral("Il codice %1 è stato dato nel frattempo a \"%2\" del progetto %3.").arg(code, descr, owner);
    else
        *message = QStringLiteral("Il codice %1 è stato dato nel frattempo a \"%2\".").arg(code, descr);
    return true;
}

bool RecycleBin::itemPlace(const BinEntry &entry, const TableInfo &items, const TableInfo &bin, bool *ownKey,
                           QString *message, bool *failed)
{
    // In the tree a level-2 item hangs under the last level-1 item of its
    // project stored before it, so the key an item goes back with decides
    // where it hangs.
    *ownKey = true;
    Store &store = m_archive.store();
    const int projectColumn = items.indexOf(u"codprj"), levelColumn = items.indexOf(u"livello");
    const QVariant project = entry.row.value(projectColumn);
    const qint64 level = entry.row.value(levelColumn).toLongLong();
    QVector<StoredRow> rows;
    if (level == 1) {
        // Level-2 items stored since right after its place would move under
        // it: it goes back after the project's last item instead. Rows of
        // other levels are not in the tree.
        if (!store.select(items, {{projectColumn, project}}, entry.rowKey, -1, &rows, message)) {
            *failed = true;
            return false;
        }
        for (const StoredRow &row : std::as_const(rows)) {
            const qint64 next = row.values.value(levelColumn).toLongLong();
            if (next == 1 || next == 2) {
                *ownKey = next == 1;
                break;
            }
        }
        return true;
    }
    if (level != 2)
        return true;
    // The level-1 item it hung under is the last one before it, present or
    // in the bin: when it is in the bin, it goes back first.
    if (!store.select(items, {{projectColumn, project}, {levelColumn, QVariant::fromValue(qint64(1))}}, kFromStart, -1,
                      &rows, message)) {
        *failed = true;
        return false;
    }
    qint64 present = 0;
    for (const StoredRow &row : std::as_const(rows))
        if (row.key < entry.rowKey)
            present = std::max(present, row.key);
    if (!store.select(bin, {{bin.indexOf(u"tabella"), Tables::RighePRJ}}, kFromStart, -1, &rows, message)) {
        *failed = true;
        return false;
    }
    const QString projectCode = project.toString();
    BinEntry parent;
    for (const StoredRow &row : std::as_const(rows)) {
        const BinEntry e = entryOf(m_archive, bin, row);
        if (e.readable && e.rowKey > present && e.rowKey < entry.rowKey && e.rowKey > parent.rowKey
            && e.row.value(levelColumn).toLongLong() == 1
            && textOf(items, e.row, u"codprj").compare(projectCode, Qt::CaseInsensitive) == 0)
            parent = e;
    }
    if (parent.key == 0)
        return true;
    *message = QStringLiteral("L'elemento %1 stava sotto l'elemento %2 del progetto %3, che è nel cestino: "
                              "ripristinare prima %2.")
                   .arg(entry.code, parent.code, projectCode);
    return false;
}

RecycleBin::Restore RecycleBin::restore(qint64 entryKey, const QString &newCode, QString *message)
{
    message->clear();
    const TableInfo *binTable = safety(Tables::Cestino, message);
    if (!binTable)
        return Restore::Refused;
    Store &store = m_archive.store();
    const TableInfo &bin = *binTable;
    WriteTransaction tx(store);
    if (!tx.begin(message))
        return Restore::Failed;
    // The entry as it is now, inside the transaction that puts it back.
    QVector<StoredRow> rows;
    if (!store.select(bin, {}, entryKey - 1, 1, &rows, message))
        return Restore::Failed;
    if (rows.isEmpty() || rows.first().key != entryKey) {
        *message = QStringLiteral("La voce non è più nel cestino: un'altra postazione l'ha già ripristinata o eliminata.");
        return Restore::Gone;
    }
    BinEntry entry = entryOf(m_archive, bin, rows.first());
    const TableInfo *table = m_archive.table(entry.table);
    if (!table || !entry.readable) {
        *message = QStringLiteral("La voce del cestino non si può leggere: non è stata ripristinata.");
        return Restore::Refused;
    }
    const int codeColumn = table->indexOf(u"codice");
    const bool component = table->name.compare(Tables::Componenti, Qt::CaseInsensitive) == 0;
    const bool item = table->name.compare(Tables::RighePRJ, Qt::CaseInsensitive) == 0;
    if (!newCode.isEmpty() && !component) {
        if (table->name.compare(Tables::Clienti, Qt::CaseInsensitive) == 0) {
            bool number = false;
            const qint32 n = newCode.toInt(&number);
            if (!number) {
                *message = QStringLiteral("Il codice %1 non è un numero: un cliente ha un codice numerico.").arg(newCode);
                return Restore::Refused;
            }
            entry.row[codeColumn] = QVariant::fromValue(qint64(n));
        } else {
            entry.row[codeColumn] = newCode;
        }
        entry.code = newCode;
    }
    // An item or a component goes back only into its project.
    if (item || component) {
        const QString project = textOf(*table, entry.row, u"codprj");
        const TableInfo &projects = *m_archive.table(Tables::Progetti);
        QVector<StoredRow> found;
        if (!store.select(projects, {{projects.indexOf(u"codice"), project}}, kFromStart, 1, &found, message))
            return Restore::Failed;
        if (found.isEmpty()) {
            *message = QStringLiteral("Il progetto %1 non c'è più: ripristinare prima il progetto.").arg(project);
            return Restore::Refused;
        }
    }
    bool ownKey = true, failed = false;
    if (item && !itemPlace(entry, *table, bin, &ownKey, message, &failed))
        return failed ? Restore::Failed : Restore::Refused;
    if (!component
        && codeTaken(entry, *table, presentText(table->columns[codeColumn].kind, entry.row[codeColumn]),
                     message, &failed))
        return failed ? Restore::Failed : Restore::CodeTaken;
    // With its own key when free, so it takes its old place in stored order.
    bool keyUsed = true;
    if (!rowWithKey(store, *table, entry.rowKey, &keyUsed, message))
        return Restore::Failed;
    keyUsed = keyUsed || !ownKey;
    qint64 newKey = entry.rowKey;
    const bool stored = entry.rowKey > 0 && !keyUsed
                            ? store.insertKeyed(*table, {{entry.rowKey, entry.row}}, message)
                            : store.insert(*table, entry.row, &newKey, message);
    if (!stored || !store.remove(bin, entryKey, message))
        return Restore::Failed;
    if (Journal *journal = m_archive.journal(); journal && !journal->saved(*table, newKey, nullptr, entry.row, message))
        return Restore::Failed;
    if (!tx.commit(message))
        return Restore::Failed;
    return Restore::Done;
}

bool RecycleBin::purge(const QVector<qint64> &entryKeys, QString *error)
{
    const TableInfo *binTable = safety(Tables::Cestino, error);
    if (!binTable)
        return false;
    Store &store = m_archive.store();
    const TableInfo &bin = *binTable;
    WriteTransaction tx(store);
    if (!tx.begin(error))
        return false;
    for (qint64 key : entryKeys) {
        bool present = false;
        if (!rowWithKey(store, bin, key, &present, error) || (present && !store.remove(bin, key, error)))
            return false;
    }
    return tx.commit(error);
}

bool RecycleBin::setting(const QString &name, QString *value, qint64 *key, QString *error)
{
    const TableInfo *settingsTable = safety(Tables::Impostazioni, error);
    if (!settingsTable)
        return false;
    const TableInfo &settings = *settingsTable;
    QVector<StoredRow> rows;
    if (!m_archive.store().select(settings, {{settings.indexOf(u"nome"), name}}, kFromStart, 1, &rows, error))
        return false;
    *key = rows.isEmpty() ? 0 : rows.first().key;
    *value = rows.isEmpty() ? QString() : textOf(settings, rows.first().values, u"valore");
    return true;
}

bool RecycleBin::storeSetting(const QString &name, const QString &value, QString *error)
{
    const TableInfo *settingsTable = safety(Tables::Impostazioni, error);
    if (!settingsTable)
        return false;
    const TableInfo &settings = *settingsTable;
    QString old;
    qint64 key = 0;
    if (!setting(name, &old, &key, error))
        return false;
    RawRow row(settings.columns.size());
    row[settings.indexOf(u"nome")] = name;
    row[settings.indexOf(u"valore")] = value;
    if (key == 0) {
        qint64 ignored = 0;
        return m_archive.store().insert(settings, row, &ignored, error);
    }
    bool changed = false;
    return m_archive.store().update(settings, key, row, &changed, error);
}

bool RecycleBin::keepDays(int *days, QString *error)
{
    *days = kDefaultDays;
    if (!available(error))
        return false;
    QString value;
    qint64 key = 0;
    if (!setting(kKeepDays, &value, &key, error))
        return false;
    bool ok = false;
    const int n = value.toInt(&ok);
    if (ok && n > 0)
        *days = n;
    return true;
}

bool RecycleBin::setKeepDays(int days, QString *error)
{
    if (!available(error))
        return false;
    if (days < 1 || days > 36500) {
        *error = QStringLiteral("I giorni nel cestino vanno da 1 a 36500.");
        return false;
    }
    WriteTransaction tx(m_archive.store());
    return tx.begin(error) && storeSetting(kKeepDays, QString::number(days), error) && tx.commit(error);
}

bool RecycleBin::emptyOld(const QDate &today, int *emptied, QString *error)
{
    *emptied = 0;
    const TableInfo *binTable = safety(Tables::Cestino, error);
    if (!binTable)
        return false;
    Store &store = m_archive.store();
    const TableInfo &bin = *binTable;
    // Every start after the day's first finds the day marked with one read,
    // without waiting for the archive's write lock.
    QString done;
    qint64 key = 0;
    if (!setting(kEmptiedOn, &done, &key, error))
        return false;
    if (done == Dates::storedDay(today))
        return true;
    WriteTransaction tx(store);
    if (!tx.begin(error))
        return false;
    int days = kDefaultDays;
    if (!setting(kEmptiedOn, &done, &key, error) || !keepDays(&days, error))
        return false;
    if (done == Dates::storedDay(today))
        return true;   // another workstation did it meanwhile
    const QDateTime limit(today.addDays(-days), QTime(0, 0));
    QVector<StoredRow> rows;
    if (!store.select(bin, {}, kFromStart, -1, &rows, error))
        return false;
    const int when = bin.indexOf(u"eliminato");
    for (const StoredRow &row : std::as_const(rows)) {
        const QDateTime deleted = Dates::dateTimeFromStored(row.values.value(when).toString());
        if (deleted.isValid() && deleted < limit) {
            if (!store.remove(bin, row.key, error))
                return false;
            ++*emptied;
        }
    }
    if (!storeSetting(kEmptiedOn, Dates::storedDay(today), error) || !tx.commit(error)) {
        *emptied = 0;
        return false;
    }
    return true;
}
