// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive and its five open views, kept for the whole run. The archive is
// a SQLite file (Velbor.mdb) or, named by a one-line Velbor.server file, a
// database on a PostgreSQL server.

#include "data/engines/ArchiveUse.h"
#include "data/Journal.h"
#include "data/RecordView.h"
#include "data/engines/SqliteStore.h"

#include <memory>
#include <optional>

class Archive {
public:
    Archive();
    ~Archive();

    // Opens an existing archive for shared use and checks that it holds the
    // six tables with their fields. path is the archive file, or a server file
    // (see isServerFile) holding the server's connection string. On failure
    // the message says why, in the engine's words where the engine had them.
    // heldAlone: the caller holds the file's mark alone already (the
    // administration tool working on an archive nobody else may open).
    bool open(const QString &path, QString *error, bool heldAlone = false);
    // The same, for a server named by a connection string.
    bool openServer(const QString &conninfo, QString *error);
    void close();
    bool isOpen() const { return m_store && m_store->isOpen(); }
    const QString &path() const { return m_path; }
    bool onServer() const { return m_onServer; }
    // Which archive is in use, as the main window's header shows it.
    QString label() const { return m_store ? m_store->label() : m_path; }

    RecordView &clients() { return *m_views[0]; }
    RecordView &projects() { return *m_views[1]; }
    RecordView &items() { return *m_views[2]; }
    RecordView &components() { return *m_views[3]; }
    RecordView &configuration() { return *m_views[4]; }

    Store &store() { return *m_store; }
    // The six tables, in the program's order (Tables::all()).
    const QVector<TableInfo> &tables() const { return m_tables; }
    // One of the six tables by name, letter case ignored; nullptr otherwise.
    const TableInfo *table(QStringView name) const;

    // The safety net's tables (Tables::safety()) the archive holds: all of
    // them once open, unless the archive lacked them and this login may not
    // make them (a server archive opened by the office's role before its
    // owner opened it once); safetyMissing() then says why. They are
    // described on first use, so opening asks the engine no more than before:
    // nullptr when the archive lacks the table or the engine failed.
    const TableInfo *safetyTable(QStringView name) const;
    // The six tables and the safety net's present: what a whole copy carries.
    QVector<TableInfo> everyTable() const;
    // Any of those by name; nullptr when the archive has no such table.
    const TableInfo *anyTable(QStringView name) const
    {
        const TableInfo *t = table(name);
        return t ? t : safetyTable(name);
    }
    const QString &safetyMissing() const { return m_safetyMissing; }
    // The notes pages' texts kept for searches (TestiNote), described on
    // first use: nullptr when the archive lacks the table (on a server only
    // its owner makes it) or the engine failed.
    const TableInfo *notesTable() const;
    // The journal the views write their history and bin entries through;
    // nullptr without the safety net.
    Journal *journal() { return m_journal.get(); }

private:
    bool describeTables(QString *error);
    void openSafetyNet(QStringList present);
    void openNotesTable(const QStringList &present);
    const TableInfo *describedSafety(const QString &name, QString *error) const;

    std::unique_ptr<Store> m_store;
    ArchiveUse m_use;
    QString m_path;
    bool m_onServer = false;
    QVector<TableInfo> m_tables;
    QStringList m_safetyPresent;              // as the engine spells them
    mutable std::optional<TableInfo> m_safety[3];   // described so far, in Tables::safety() order
    QString m_safetyMissing;
    QString m_notesPresent;   // as the engine spells it; empty when missing
    mutable std::optional<TableInfo> m_notes;
    std::unique_ptr<Journal> m_journal;
    std::unique_ptr<RecordView> m_views[5];
};

// True when path names a server file (Velbor.server, any letter case).
bool isServerFile(const QString &path);

// True when the file starts like an Access/Jet database of the old format.
bool isLegacyJetFile(const QString &path);
