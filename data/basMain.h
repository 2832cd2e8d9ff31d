// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Operations the windows share: code generators, quoting of criterion texts,
// and opening the archive at start-up.

#include "data/engines/Archive.h"
#include "data/RunState.h"

#include <functional>

template <typename T>
struct Outcome {
    T value{};
    QString error;   // empty on success
    bool ok() const { return error.isEmpty(); }
};

// Highest value of field in table plus one; 1 for an empty table. Writes nothing.
Outcome<int> ProssimoCodice(Archive &archive, const QString &table, const QString &field);

// Next code of a level: highest field value among the level's rows plus one,
// and the level's counter row advanced, in one transaction.
Outcome<int> ProssimoCodiceLivello(Archive &archive, const QString &table, int level, const QString &field);
// The same, passing over numbers that isFree refuses (asked inside the same
// transaction); the counter then stands at the number returned.
Outcome<int> ProssimoCodiceLivello(Archive &archive, const QString &table, int level, const QString &field,
                                   const std::function<bool(int)> &isFree);

// The text between apostrophes, each apostrophe doubled.
QString QuotaSQL(const QString &text);

// Text with leading and trailing spaces removed (spaces only, as stored fields want).
QString trimSpaces(const QString &text);

// Path of the archive inside folder: Velbor.server when the folder has one
// (the archive is on a server), Velbor.mdb otherwise (an existing file of
// either name in another letter case counts as the same file).
QString archivePathIn(const QString &folder);

// Opens the archive of state.PercorsoDati, falling back to the program's
// folder when the data folder holds none. Returns the error, empty on success.
QString ApriArchivio(RunState &state, Archive &archive, const QString &programFolder);
