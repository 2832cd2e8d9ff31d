// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/Archive.h"

#include "data/engines/PgStore.h"
#include "data/Files.h"

#include <QFile>
#include <QFileInfo>

namespace {
// The fields each table must have; the schema may carry more.
const QHash<QString, QStringList> &requiredFields()
{
    static const QHash<QString, QStringList> fields{
        {Tables::Clienti,
         {"codice", "descr", "indirizzo", "cap", "provincia", "citta", "telefono", "fax", "email", "sito",
          "contatto", "piva"}},
        {Tables::Progetti,
         {"codice", "descr", "ufficio", "reparto", "operatore", "telefono", "email", "fax", "specifica", "note",
          "data", "codcli"}},
        {Tables::RighePRJ, {"codprj", "livello", "codice", "descr", "data"}},
        {Tables::Componenti, {"codprj", "livello", "codice", "file", "tipo", "inserito"}},
        {Tables::Configura,
         {"descr", "indirizzo", "citta", "cap", "provincia", "telefono", "fax", "email", "sito", "piva", "cf",
          "sk1", "sk2", "sk3", "pre1", "pre2", "pre3"}},
        {Tables::maxcodice, {"codice", "livello"}},
    };
    return fields;
}
} // namespace

bool isLegacyJetFile(const QString &path)
{
    QFile file;
    if (!Files::openRegularFile(file, path))
        return false;
    const QByteArray head = file.read(64);
    return head.contains("Standard Jet DB") || head.contains("Standard ACE DB");
}

bool isServerFile(const QString &path)
{
    return QFileInfo(path).fileName().endsWith(QLatin1String(".server"), Qt::CaseInsensitive);
}

Archive::Archive() : m_store(std::make_unique<SqliteStore>()) {}
Archive::~Archive() = default;

void Archive::close()
{
    for (auto &view : m_views)
        view.reset();
    m_journal.reset();
    m_tables.clear();
    for (auto &t : m_safety)
        t.reset();
    m_safetyPresent.clear();
    m_safetyMissing.clear();
    m_notesPresent.clear();
    m_notes.reset();
    m_store->close();
    m_use.release();
}

bool Archive::open(const QString &path, QString *error, bool heldAlone)
{
    close();
    m_path = path;
    // A FIFO or a device in place of the archive is never opened: reading a
    // FIFO would wait for ever.
    if (const QString refused = Files::notAFile(path); !refused.isEmpty()) {
        *error = refused;
        return false;
    }
    if (isLegacyJetFile(path)) {
        *error = QStringLiteral("L'archivio %1 è nel vecchio formato Access/Jet: deve essere convertito "
                                "nel nuovo formato prima di poterlo usare (all'avvio del programma, o con "
                                "il comando velbor_admin converti).")
                     .arg(path);
        return false;
    }
    m_onServer = isServerFile(path);
    if (m_onServer) {
        QString conninfo;
        if (!PgStore::readServerFile(path, &conninfo, error))
            return false;
        const QString file = path;
        const bool opened = openServer(conninfo, error);
        m_path = file;
        return opened;
    } else {
        if (!dynamic_cast<SqliteStore *>(m_store.get()))
            m_store = std::make_unique<SqliteStore>();
        // Marked in use first: an archive being rewritten is not opened.
        if (!heldAlone && QFileInfo(path).isFile() && !m_use.acquire(path, ArchiveUse::Mode::Shared, error))
            return false;
        if (!static_cast<SqliteStore &>(*m_store).open(path, error)) {
            m_use.release();
            return false;
        }
    }
    return describeTables(error);
}

bool Archive::openServer(const QString &conninfo, QString *error)
{
    close();
    m_path = conninfo;
    m_onServer = true;
    auto server = std::make_unique<PgStore>();
    if (!server->open(conninfo, error)) {
        m_store = std::make_unique<SqliteStore>();
        return false;
    }
    m_store = std::move(server);
    return describeTables(error);
}

bool Archive::describeTables(QString *error)
{
    QString err;
    const QStringList present = m_store->tableNames(&err);
    if (!err.isEmpty()) {
        *error = err;
        close();
        return false;
    }
    for (const QString &name : Tables::all()) {
        const auto found = std::find_if(present.begin(), present.end(), [&](const QString &p) {
            return p.compare(name, Qt::CaseInsensitive) == 0;
        });
        TableInfo info;
        if (found == present.end() || !m_store->describe(*found, &info, &err)) {
            *error = err.isEmpty() ? QStringLiteral("L'archivio non contiene la tabella %1 (no such table: %1).").arg(name)
                                   : err;
            close();
            return false;
        }
        for (const QString &field : requiredFields().value(name)) {
            if (info.indexOf(field) < 0) {
                *error = QStringLiteral("La tabella %1 dell'archivio non ha il campo %2 (no such column: %1.%2).")
                             .arg(name, field);
                close();
                return false;
            }
        }
        info.name = name;   // the program's spelling; every engine finds the table by it
        m_tables.append(info);
    }
    // The five views, in the order the windows expect them opened.
    const QString order[5] = {Tables::Clienti, Tables::Progetti, Tables::RighePRJ, Tables::Componenti,
                              Tables::Configura};
    for (int i = 0; i < 5; ++i)
        m_views[i] = std::make_unique<RecordView>(*m_store, *table(order[i]));
    openSafetyNet(present);
    openNotesTable(present);
    return true;
}

void Archive::openNotesTable(const QStringList &present)
{
    const auto find = [](const QStringList &names) {
        for (const QString &p : names)
            if (p.compare(Tables::TestiNote, Qt::CaseInsensitive) == 0)
                return p;
        return QString();
    };
    m_notesPresent = find(present);
    if (!m_notesPresent.isEmpty())
        return;
    // Made by the first program that opens the archive, one writer at a
    // time; a login that may not make it searches without it.
    QString err;
    WriteTransaction tx(*m_store);
    if (!tx.begin(&err))
        return;
    QStringList now = m_store->tableNames(&err);
    if (!err.isEmpty())
        return;
    if (!find(now).isEmpty())
        tx.commit(&err);   // made meanwhile by another workstation
    else if (!m_store->addTables({Tables::TestiNote}, &err) || !tx.commit(&err))
        return;
    now = m_store->tableNames(&err);
    m_notesPresent = find(now);
}

const TableInfo *Archive::notesTable() const
{
    if (m_notes)
        return &*m_notes;
    if (m_notesPresent.isEmpty() || !m_store)
        return nullptr;
    TableInfo info;
    QString err;
    if (!m_store->describe(m_notesPresent, &info, &err) || info.columns.isEmpty())
        return nullptr;
    for (const char *field : {"percorso", "dimensione", "modificato", "impronta", "testo"})
        if (info.indexOf(QString::fromLatin1(field)) < 0)
            return nullptr;
    info.name = Tables::TestiNote;
    m_notes = std::move(info);
    return &*m_notes;
}

namespace {
// The safety tables among present, as spelled there; *missing: the others.
QStringList safetyAmong(const QStringList &present, QStringList *missing)
{
    QStringList found;
    missing->clear();
    for (const QString &name : Tables::safety()) {
        const auto at = std::find_if(present.begin(), present.end(), [&](const QString &p) {
            return p.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (at == present.end())
            *missing << name;
        else
            found << *at;
    }
    return found;
}
} // namespace

void Archive::openSafetyNet(QStringList present)
{
    QStringList missing;
    m_safetyPresent = safetyAmong(present, &missing);
    QString err;
    if (!missing.isEmpty()) {
        // Made by the first program that opens the archive (on a server, its
        // owner): one writer at a time, so two at once make them once.
        WriteTransaction tx(*m_store);
        if (tx.begin(&err)) {
            present = m_store->tableNames(&err);
            m_safetyPresent = safetyAmong(present, &missing);
            if (err.isEmpty() && !missing.isEmpty() && m_store->addTables(missing, &err) && tx.commit(&err)) {
                present = m_store->tableNames(&err);
                m_safetyPresent = safetyAmong(present, &missing);
            } else if (err.isEmpty() && missing.isEmpty()) {
                tx.commit(&err);
            }
        }
    }
    if (!missing.isEmpty()) {
        m_safetyPresent.clear();
        m_safetyMissing = QStringLiteral("L'archivio non ha ancora il cestino e lo storico (tabelle %1): li crea "
                                         "il proprietario dell'archivio aprendolo una volta con Velbor. (%2)")
                              .arg(missing.join(QStringLiteral(", ")), err);
        return;
    }
    m_journal = std::make_unique<Journal>(*m_store, [this](const QString &name, QString *error) {
        return describedSafety(name, error);
    });
    for (auto &view : m_views)
        view->setJournal(m_journal.get());
}

const TableInfo *Archive::describedSafety(const QString &name, QString *error) const
{
    const QStringList names = Tables::safety();
    int slot = -1;
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            slot = i;
    if (slot < 0 || slot >= int(std::size(m_safety))) {
        *error = QStringLiteral("La tabella %1 non fa parte dell'archivio.").arg(name);
        return nullptr;
    }
    if (m_safety[slot])
        return &*m_safety[slot];
    for (const QString &stored : m_safetyPresent) {
        if (stored.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        TableInfo info;
        if (!m_store->describe(stored, &info, error))
            return nullptr;
        if (info.columns.isEmpty()) {
            // Dropped since the archive was opened.
            *error = QStringLiteral("La tabella %1 non c'è più nell'archivio.").arg(stored);
            return nullptr;
        }
        info.name = Tables::safety().at(slot);   // the program's spelling
        m_safety[slot] = std::move(info);
        return &*m_safety[slot];
    }
    *error = m_safetyMissing;
    return nullptr;
}

const TableInfo *Archive::safetyTable(QStringView name) const
{
    QString ignored;
    return describedSafety(name.toString(), &ignored);
}

QVector<TableInfo> Archive::everyTable() const
{
    QVector<TableInfo> all = m_tables;
    for (const QString &name : Tables::safety())
        if (const TableInfo *t = safetyTable(name))
            all.append(*t);
    return all;
}

const TableInfo *Archive::table(QStringView name) const
{
    for (const TableInfo &t : m_tables)
        if (QStringView(t.name).compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}
