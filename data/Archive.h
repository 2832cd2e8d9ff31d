#pragma once
// The archive file and its five open views, kept for the whole run.

#include "ArchiveUse.h"
#include "RecordView.h"

#include <memory>

class Archive {
public:
    Archive();
    ~Archive();

    // Opens an existing archive for shared use and checks that it holds the
    // six tables with their fields. On failure the message says why, in the
    // engine's words where the engine had them.
    bool open(const QString &path, QString *error);
    void close();
    bool isOpen() const { return m_store.isOpen(); }
    const QString &path() const { return m_path; }

    RecordView &clients() { return *m_views[0]; }
    RecordView &projects() { return *m_views[1]; }
    RecordView &items() { return *m_views[2]; }
    RecordView &components() { return *m_views[3]; }
    RecordView &configuration() { return *m_views[4]; }

    SqliteStore &store() { return m_store; }
    // One of the six tables by name, letter case ignored; nullptr otherwise.
    const TableInfo *table(QStringView name) const;

private:
    SqliteStore m_store;
    ArchiveUse m_use;
    QString m_path;
    QVector<TableInfo> m_tables;
    std::unique_ptr<RecordView> m_views[5];
};

// True when the file starts like an Access/Jet database of the old format.
bool isLegacyJetFile(const QString &path);
