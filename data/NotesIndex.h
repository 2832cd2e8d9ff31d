// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The notes pages' plain texts, kept in the archive (TestiNote) so that a
// search finds words written in the pages without reading thousands of files
// over the share, and the words of those texts held in memory for searches.
//
// A page is named by its path from the data folder, with '/' between names
// on every system ("P1/P1", "P1/E1/E1"). Each row keeps the size and time of
// the file it was read from: a workstation that sees the file differ reads
// the page again.

#include "data/engines/Store.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>

namespace NotesIndex {

struct Row {
    QString path;            // from the data folder, '/' between names
    qint64 size = -1;        // of the file when read
    qint64 modified = 0;     // its time then, in ms since 1970 (UTC)
    QByteArray fingerprint;  // SHA-256 of its bytes, in hex
    QString text;            // its plain text
    bool keepText = false;   // a write keeps the stored text (the same bytes)
};

// The name a file inside dataFolder is kept under; empty when it lies outside.
QString pathOf(const QString &dataFolder, const QString &file);
// The file a kept name stands for in dataFolder.
QString fileOf(const QString &dataFolder, const QString &path);
// Size and time of a file as the rows keep them; false when it is no file.
bool stat(const QString &file, qint64 *size, qint64 *modified);
QByteArray fingerprintOf(const QByteArray &content);

// Writes each row over the row of its path (made when missing), all in one
// transaction. A row whose size is -1 removes the row of its path instead.
bool store(Store &store, const TableInfo &table, const QVector<Row> &rows, QString *error);
// Every row in stored order, a few hundred at a time so that the texts are
// never all held at once; each goes to take. Ends early, with true, once
// *stop is set.
bool readAll(Store &store, const TableInfo &table, const std::function<void(Row &&)> &take, QString *error,
             const std::atomic<bool> *stop = nullptr);
// The text kept for one page; a null text when it has no row.
bool textOf(Store &store, const TableInfo &table, const QString &path, QString *text, QString *error);

} // namespace NotesIndex

// The words of the pages' texts, folded as searches fold them, each page
// holding the numbers of its distinct words: the texts themselves are not
// held. A word typed matches a page when it lies whole within one of the
// page's words (its runs of characters between blanks), so searching the
// words is searching the text.
class NotesWords {
public:
    struct Page {
        QString path;
        qint64 size = -1;
        qint64 modified = 0;
        QByteArray fingerprint;
        QByteArray words;   // distinct word numbers, ascending, as varint gaps
        bool present = false;
    };

    // Puts a page's text in place of what the page held before (only its
    // size and time for a row that keeps its text); its number.
    int set(const NotesIndex::Row &row);
    // The page has gone (its file was deleted).
    void remove(const QString &path);
    // The number of a page, or -1.
    int find(const QString &path) const { return m_byPath.value(path, -1); }
    int count() const { return int(m_pages.size()); }
    const Page &page(int n) const { return m_pages[n]; }
    int wordCount() const { return int(m_starts.size()) - 1; }

    // Pages present holding every word typed (folded), ascending; among,
    // when given, holds the only pages to look at.
    QVector<int> match(const QStringList &words, const QVector<int> *among = nullptr) const;

    // Of a page's text, the line where the words typed are, for the list of
    // results: the first holding all of them, otherwise the first holding
    // the longest.
    static QString lineOf(const QString &text, const QStringList &words);

private:
    static constexpr quint32 kHashStart = 2166136261u, kHashStep = 16777619u;   // FNV-1a
    static quint32 hashOf(QStringView folded);
    int wordId(QStringView folded, quint32 hash);
    void grow();

    QVector<Page> m_pages;
    QHash<QString, int> m_byPath;
    QVector<char16_t> m_text{};   // each distinct word folded, then a '\n'
    QVector<int> m_starts{0};     // word n spans m_starts[n] .. m_starts[n + 1] - 1
    QStringView wordAt(int id) const
    {
        return QStringView(m_text.constData() + m_starts[id], m_starts[id + 1] - m_starts[id] - 1);
    }
    // Open addressing: each slot the word's hash (high half) and number + 1.
    QVector<quint64> m_slots;
    struct Recent {
        quint32 hash = 0;
        int id = 0;
        int stamp = 0;
    };
    Recent m_recent[1024];        // the words met last, by hash
    QVector<int> m_seen;          // by word: the last page that held it (m_stamp)
    int m_stamp = 0;
};
