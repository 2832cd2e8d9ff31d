// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Conversion of an office's old Access/Jet archive into a new archive: the
// six tables mapped by name (letter case ignored), every value converted to
// the program's field kinds, each table's stored order kept, all written in
// one transaction into a file beside the destination that takes its name
// only when complete. The source file is only ever read.

#include "data/jet/JetReader.h"
#include "data/Schema.h"
#include "data/engines/SqliteStore.h"

#include <functional>

struct JetTableReport {
    QString table;
    qint64 read = 0;
    qint64 written = 0;
    QStringList extraFields;   // in the file, not in the program's table: not imported
    QStringList absentFields;  // in the program's table, not in the file: left empty
};

struct JetImportReport {
    QVector<JetTableReport> tables;
    // One line per table (and per note on its fields), in Italian.
    QStringList lines() const;
};

// Called as rows go by: the table, rows done and rows the file declares.
// Returning false interrupts the conversion (nothing is written).
using JetProgress = std::function<bool(const QString &table, qint64 done, qint64 total)>;

// Reads the six tables from source and writes them with store, whose tables
// are targets, in one transaction; rolled back on any failure.
bool writeJetRows(JetRowSource &source, Store &store, const QVector<TableInfo> &targets,
                  JetImportReport *report, QString *error, const JetProgress &progress = {});

// A new archive at destination (which must not exist) with the rows of source.
bool convertJetRows(JetRowSource &source, const QString &destination, JetImportReport *report, QString *error,
                    const JetProgress &progress = {});
// The same from a Jet file on disk.
bool convertJetFile(const QString &jetPath, const QString &destination, JetImportReport *report, QString *error,
                    const JetProgress &progress = {});

// Where the original of a converted archive is kept: "Velbor (Access
// originale).mdb" beside it, numbered when that name is taken.
QString jetKeptPath(const QString &archivePath);

// Workstations the Jet lock file beside archivePath ("Velbor.ldb", any
// letter case) names; empty when there is none or it names nobody.
QStringList jetLockHolders(const QString &archivePath, QString *lockFile = nullptr);

// Converts the Jet archive at path in place: the new archive takes its name,
// the original is kept at *keptAs. On failure nothing has changed.
// source, when given, stands in for the file's rows.
bool replaceJetArchive(const QString &path, QString *keptAs, JetImportReport *report, QString *error,
                       const JetProgress &progress = {}, JetRowSource *source = nullptr);
