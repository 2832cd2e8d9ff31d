// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The office's daily copies of a file archive, made by the first workstation
// that starts on a day: Backup/Velbor-AAAA-MM-GG.mdb in the data folder, a
// consistent online copy checked before it is kept; the last 7 daily and 4
// weekly copies stay, older ones go (only once the new copy is checked).
// A server archive is copied by the administrator's scheduled backup instead.

#include <QDate>
#include <QString>
#include <QStringList>

namespace DailyBackup {

enum class Outcome {
    Made,          // today's copy made and checked, older copies rotated
    AlreadyMade,   // another workstation (or an earlier start) made it
    InProgress,    // another workstation is making it now
    NotNeeded,     // the archive is on a server
    Failed,
};

struct Result {
    Outcome outcome = Outcome::Failed;
    QString file;    // today's copy
    QString error;   // why it failed, in Italian
    QStringList removed;
};

// The folder of the copies in a data folder.
QString folderIn(const QString &dataFolder);
// The copy's name for a day.
QString fileName(const QDate &day);

// Makes today's copy of the archive at archivePath (Velbor.mdb, or a
// Velbor.server file: then nothing is done) into its data folder's Backup
// folder unless one is there or being made. Opens its own connection, so it
// may run on a thread of its own while the program works.
Result run(const QString &archivePath, const QDate &today);

// Of the copies' file names in a folder, those past keeping: all but the 7
// newest days and, of the weeks before them, the newest copy of each of the 4
// newest weeks. Names that are not a daily copy's are never listed.
QStringList pastKeeping(const QStringList &names);

}
