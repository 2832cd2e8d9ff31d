// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading notes pages for the search's index: the plain text of a page, and
// the walk that finds the pages changed, made or deleted by other programs
// since their text was kept. Runs on a thread of its own.

#include "data/NotesIndex.h"

#include <atomic>
#include <functional>

namespace NotesPages {

// The plain text of a notes page's bytes (RTF; any other file as it reads).
QString plainText(const QByteArray &page);

// A page as the index knows it (size -1: not indexed).
struct Known {
    QString path;   // kept name, from the data folder
    qint64 size = -1;
    qint64 modified = 0;
    QByteArray fingerprint;
};

// Looks at one page; false when it is as known. Otherwise *change is the row
// to keep: size -1 when the page has gone, keepText when only its size or
// time moved (the same bytes).
bool check(const QString &dataFolder, const Known &known, NotesIndex::Row *change);
// Looks at every page, handing what differs to report a few at a time, until
// done or stop is set.
void walk(const QString &dataFolder, const QVector<Known> &pages, const std::atomic<bool> &stop,
          const std::function<void(QVector<NotesIndex::Row> &&)> &report);

} // namespace NotesPages
