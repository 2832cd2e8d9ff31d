// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/TextSearch.h"

#include <QHash>

#include <algorithm>

namespace {
// Ends every field: a blank, so no typed word can reach across two fields.
constexpr char16_t kSeparator = u'\n';

// Folded form of every character of the basic plane, worked out once: most
// give one character (kMany marks those giving none or several, kept aside).
constexpr char16_t kMany = 0xFFFF;

struct FoldTable {
    char16_t single[0x10000];
    QHash<char16_t, QString> many;

    FoldTable()
    {
        for (char32_t u = 0; u < 0x10000; ++u) {
            if (u < 0x80) {
                single[u] = (u >= 'A' && u <= 'Z') ? char16_t(u + 32) : char16_t(u);
                continue;
            }
            if (QChar::isSurrogate(u)) {
                single[u] = char16_t(u);
                continue;
            }
            const QString decomposed = QString(QChar(u)).normalized(QString::NormalizationForm_D);
            QString base;
            for (QChar c : decomposed)
                if (!c.isMark())
                    base += c;
            base = base.toCaseFolded();
            if (base.size() == 1 && base.at(0).unicode() != kMany) {
                single[u] = base.at(0).unicode();
            } else {
                single[u] = kMany;
                many.insert(char16_t(u), base);
            }
        }
    }
};

const FoldTable &foldTable()
{
    static const FoldTable table;
    return table;
}

void appendFolded(QStringView text, QVector<char16_t> *out)
{
    const FoldTable &t = foldTable();
    qsizetype at = out->size();
    out->resize(at + text.size());
    char16_t *p = out->data() + at;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const char16_t f = t.single[u];
        if (f != kMany) {
            *p++ = f;
            continue;
        }
        // Rare: a character folding to none or several.
        const QString m = t.many.value(u);
        at = p - out->data();
        out->resize(out->size() + m.size() - 1);
        p = out->data() + at;
        for (QChar x : m)
            *p++ = x.unicode();
    }
}
} // namespace

namespace TextSearch {

QString fold(QStringView text)
{
    QVector<char16_t> folded;
    folded.reserve(text.size());
    appendFolded(text, &folded);
    return QString(reinterpret_cast<const QChar *>(folded.constData()), folded.size());
}

QStringList words(QStringView typed)
{
    QStringList out;
    const QString folded = fold(typed);
    qsizetype start = -1;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        const bool blank = i == folded.size() || folded.at(i).isSpace() || folded.at(i).category() == QChar::Other_Control;
        if (blank && start >= 0) {
            out.append(folded.mid(start, i - start));
            start = -1;
        } else if (!blank && start < 0) {
            start = i;
        }
    }
    return out;
}

bool narrows(const QStringList &now, const QStringList &then)
{
    // Nothing typed found nothing, which narrows nothing.
    if (then.isEmpty())
        return false;
    return std::all_of(then.begin(), then.end(), [&](const QString &old) {
        return std::any_of(now.begin(), now.end(), [&](const QString &word) { return word.contains(old); });
    });
}

} // namespace TextSearch

void FoldedIndex::clear()
{
    m_text.clear();
    m_start = {0};
}

void FoldedIndex::reserve(int entries, int chars)
{
    m_start.reserve(entries + 1);
    m_text.reserve(chars);
}

int FoldedIndex::add(std::initializer_list<QStringView> fields)
{
    for (QStringView field : fields) {
        appendFolded(field, &m_text);
        m_text.append(kSeparator);
    }
    m_start.append(int(m_text.size()));
    return size() - 1;
}

QStringView FoldedIndex::entry(int n) const
{
    return QStringView(m_text.constData() + m_start[n], m_start[n + 1] - m_start[n]);
}

bool FoldedIndex::matchesRest(int n, const QStringList &words) const
{
    const QStringView text = entry(n);
    for (qsizetype w = 1; w < words.size(); ++w)
        if (!text.contains(words[w]))
            return false;
    return true;
}

bool FoldedIndex::firstFieldIs(int n, const QString &word) const
{
    const QStringView text = entry(n);
    return text.size() > word.size() && text.at(word.size()) == QChar(kSeparator) && text.startsWith(word);
}

QVector<int> FoldedIndex::match(const QStringList &typed, const QVector<int> *among) const
{
    QVector<int> found;
    if (typed.isEmpty())
        return found;
    // The longest word first: it rules most entries out.
    QStringList words = typed;
    std::stable_sort(words.begin(), words.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
    const QString &first = words.first();
    if (among) {
        for (int n : *among)
            if (n >= 0 && n < size() && entry(n).contains(first) && matchesRest(n, words))
                found.append(n);
    } else {
        // One pass over all the folded text for the first word; each hit is
        // checked against the other words within its own entry only.
        const QStringView all(m_text.constData(), m_text.size());
        int n = 0;
        qsizetype at = 0;
        while ((at = all.indexOf(first, at)) >= 0) {
            while (m_start[n + 1] <= at)
                ++n;
            if (matchesRest(n, words))
                found.append(n);
            at = m_start[n + 1];
        }
    }
    if (among)
        std::sort(found.begin(), found.end());
    if (typed.size() == 1) {
        // An entry whose code is exactly what was typed is the one looked for.
        std::stable_partition(found.begin(), found.end(), [&](int n) { return firstFieldIs(n, typed.first()); });
    }
    return found;
}
