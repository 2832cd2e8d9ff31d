// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whole archives: where one is, making an empty one, and copying every table
// from one archive to another (file to server, server to file, or a backup),
// checked row by row before it is kept.

#include "data/engines/Archive.h"

#include <functional>

// Where an archive is: a Velbor.mdb file, a Velbor.server file, or a libpq
// connection string or URI given directly.
struct ArchivePlace {
    bool server = false;
    QString path;       // the file (Velbor.mdb or Velbor.server); empty for a bare connection string
    QString conninfo;   // on a server
    // For messages: a connection string never shows a password.
    QString describe() const;
};
// An argument of the administration tool as a place. A connection string
// (given, or read from a Velbor.server file) that holds a password is refused.
bool placeOf(const QString &argument, ArchivePlace *place, QString *error);
bool openArchive(const ArchivePlace &place, Archive *archive, QString *error);

// The archive in a server database that holds none of its rows: the tables
// are made when the database has none; refused when any table holds rows.
bool openEmptyServer(const QString &conninfo, Archive *archive, QString *error);

struct TableCount {
    QString table;
    qint64 rows = 0;
};
using CopyProgress = std::function<void(const QString &table, qint64 done, qint64 total)>;

// Copies every row of from into to, whose six tables must be empty, in one
// transaction of to; the rows keep their keys (their stored order) and the
// highest key ever given. Before the transaction ends every row and value is
// read back and compared; any difference undoes the whole copy. from is
// read in one snapshot and never written.
bool copyArchive(Archive &from, Archive &to, const CopyProgress &progress, QVector<TableCount> *copied,
                 QString *error);

// Copies an archive into a new Velbor.mdb file at path: written in a work
// folder of its own beside it and given the name only when whole and
// checked, and only if nothing (not even a link) has taken the name.
bool copyToNewFile(Archive &from, const QString &path, const CopyProgress &progress, QVector<TableCount> *copied,
                   QString *error);

// A copy of the file archive source (open) into a new Velbor.mdb at path,
// while workstations go on working: the engine's online backup, in one read
// snapshot of the source (saves of other workstations wait for it, as for a
// save). Compared with the snapshot row by row (compare: Rows, the snapshot
// held meanwhile), or by the row count of each table (Counts, which lets
// the others save again as soon as the pages are copied); then SQLite's own
// integrity check of the copy. It is made in a work folder of its own and
// takes the name only when whole and checked, and only if nothing (not even
// a link) has the name.
enum class BackupCheck { Rows, Counts };
bool backupFileArchive(Archive &source, const QString &path, BackupCheck check, QString *error);
// SQLite's own check of a file archive: "ok", or what it found.
QString integrityOf(const QString &path);

// Every value of from can be copied into either engine unchanged; otherwise
// the first that cannot is named by table, row and field. Run before a copy
// touches its destination, so a refused copy leaves none behind.
bool checkCopyable(Archive &from, QString *error);

// Every row and value of a equal to b's (keys and stored order included;
// texts that are not UTF-8 compared byte by byte).
bool sameContent(Archive &a, Archive &b, QString *error);
