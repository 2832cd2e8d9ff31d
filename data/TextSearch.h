// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding records by words typed in any order: texts compared with accents
// dropped and letter case folded ("citta" finds "Città"), held in memory so a
// keystroke costs one pass over folded texts and never a query.

#include <QString>
#include <QStringList>
#include <QVector>

#include <initializer_list>

namespace TextSearch {
// The text as searches compare it: accents and other combining marks dropped,
// letter case folded.
QString fold(QStringView text);
// The folded words of what was typed; empty when nothing but blanks was typed.
QStringList words(QStringView typed);
// Whether every entry matching now also matched before (now only narrows then).
bool narrows(const QStringList &now, const QStringList &then);
} // namespace TextSearch

// Entries made of a few text fields, folded once when added. An entry matches
// when each word lies whole within one of its fields.
class FoldedIndex {
public:
    void clear();
    void reserve(int entries, int chars);
    // Adds an entry; its number is the count of entries added before it.
    int add(std::initializer_list<QStringView> fields);
    int size() const { return int(m_start.size()) - 1; }

    // Entries matching every word, in the order they were added, except that
    // entries whose first field is exactly the one word typed come first.
    // among, when given, holds the only entries to look at (ascending).
    QVector<int> match(const QStringList &words, const QVector<int> *among = nullptr) const;

private:
    QStringView entry(int n) const;
    bool matchesRest(int n, const QStringList &words) const;
    bool firstFieldIs(int n, const QString &word) const;

    QVector<char16_t> m_text{};   // fields folded, each followed by a separator
    QVector<int> m_start{0};      // entry n spans m_start[n] .. m_start[n + 1]
};
