// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/NotesIndex.h"

#include "data/TextSearch.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <QVarLengthArray>

#include <algorithm>

namespace {
// Rows read at a time: a few hundred pages of text.
constexpr int kChunk = 256;

bool isBlank(char16_t c)
{
    if (c < 0x80)
        return c <= 0x20 || c == 0x7F;
    const QChar q(c);
    return q.isSpace() || q.category() == QChar::Other_Control;
}

struct Columns {
    int path, size, modified, fingerprint, text;
    explicit Columns(const TableInfo &t)
        : path(t.indexOf(u"percorso")), size(t.indexOf(u"dimensione")), modified(t.indexOf(u"modificato")),
          fingerprint(t.indexOf(u"impronta")), text(t.indexOf(u"testo"))
    {
    }
};

NotesIndex::Row rowFrom(const RawRow &values, const Columns &c)
{
    NotesIndex::Row row;
    row.path = values.value(c.path).toString();
    bool ok = false;
    row.size = values.value(c.size).toLongLong(&ok);
    if (!ok)
        row.size = -1;
    row.modified = values.value(c.modified).toString().toLongLong();
    row.fingerprint = values.value(c.fingerprint).toString().toLatin1();
    row.text = values.value(c.text).toString();
    return row;
}

// The stored rows of a path (letter case ignored by the engine), as keys,
// the one spelled exactly first; empty when there is none.
bool rowsOf(Store &store, const TableInfo &table, const Columns &c, const QString &path, QVector<StoredRow> *rows,
            QString *error)
{
    if (!store.select(table, {Term{c.path, path}}, 0, -1, rows, error))
        return false;
    rows->erase(std::remove_if(rows->begin(), rows->end(),
                               [&](const StoredRow &r) { return r.values.value(c.path).toString() != path; }),
                rows->end());
    return true;
}

// Words are short: compared in place, without a call.
inline bool sameWord(QStringView a, QStringView b)
{
    return a.size() == b.size() && std::equal(a.utf16(), a.utf16() + a.size(), b.utf16());
}

void writeVarint(QByteArray *out, quint32 v)
{
    while (v >= 0x80) {
        out->append(char(v | 0x80));
        v >>= 7;
    }
    out->append(char(v));
}
} // namespace

namespace NotesIndex {

QString pathOf(const QString &dataFolder, const QString &file)
{
    const QString relative = QDir(QDir::fromNativeSeparators(dataFolder)).relativeFilePath(QDir::fromNativeSeparators(file));
    if (relative.isEmpty() || relative.startsWith(QLatin1String("../")) || relative == QLatin1String("..")
        || QDir::isAbsolutePath(relative))
        return {};
    return relative;
}

QString fileOf(const QString &dataFolder, const QString &path)
{
    return QDir::toNativeSeparators(QDir(QDir::fromNativeSeparators(dataFolder)).filePath(path));
}

bool stat(const QString &file, qint64 *size, qint64 *modified)
{
    const QFileInfo info(file);
    if (!info.isFile())
        return false;
    *size = info.size();
    *modified = info.lastModified().toMSecsSinceEpoch();
    return true;
}

QByteArray fingerprintOf(const QByteArray &content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
}

bool store(Store &store, const TableInfo &table, const QVector<Row> &rows, QString *error)
{
    const Columns c(table);
    WriteTransaction tx(store);
    if (!tx.begin(error))
        return false;
    for (const Row &row : rows) {
        QVector<StoredRow> stored;
        if (!rowsOf(store, table, c, row.path, &stored, error))
            return false;
        if (row.size < 0) {
            for (const StoredRow &r : std::as_const(stored))
                if (!store.remove(table, r.key, error))
                    return false;
            continue;
        }
        RawRow values(table.columns.size());
        values[c.path] = row.path;
        values[c.size] = row.size;
        values[c.modified] = QString::number(row.modified);
        values[c.fingerprint] = QString::fromLatin1(row.fingerprint);
        if (row.keepText && !stored.isEmpty())
            values[c.text] = stored.first().values.value(c.text);
        else
            values[c.text] = row.text;
        bool changed = false;
        if (!stored.isEmpty() && !store.update(table, stored.first().key, values, &changed, error))
            return false;
        // Two rows of one path (written by two programs at once) become one.
        for (int i = 1; i < stored.size(); ++i)
            if (!store.remove(table, stored[i].key, error))
                return false;
        qint64 key = 0;
        if (!changed && !store.insert(table, values, &key, error))
            return false;
    }
    return tx.commit(error);
}

bool readAll(Store &store, const TableInfo &table, const std::function<void(Row &&)> &take, QString *error,
             const std::atomic<bool> *stop)
{
    const Columns c(table);
    qint64 after = 0;
    for (;;) {
        if (stop && *stop)
            return true;
        QVector<StoredRow> rows;
        if (!store.select(table, {}, after, kChunk, &rows, error))
            return false;
        for (StoredRow &r : rows)
            take(rowFrom(r.values, c));
        if (rows.size() < kChunk)
            return true;
        after = rows.last().key;
    }
}

bool textOf(Store &store, const TableInfo &table, const QString &path, QString *text, QString *error)
{
    const Columns c(table);
    QVector<StoredRow> rows;
    if (!rowsOf(store, table, c, path, &rows, error))
        return false;
    *text = rows.isEmpty() ? QString() : rows.first().values.value(c.text).toString();
    return true;
}

} // namespace NotesIndex

int NotesWords::set(const NotesIndex::Row &row)
{
    int n = find(row.path);
    if (n < 0) {
        n = int(m_pages.size());
        m_pages.append(Page{row.path});
        m_byPath.insert(row.path, n);
    }
    Page &page = m_pages[n];
    page.size = row.size;
    page.modified = row.modified;
    page.fingerprint = row.fingerprint;
    if (row.keepText && page.present)
        return n;   // the same bytes: the same words
    page.present = true;
    // The page's distinct words, by number: folded as they are cut out (the
    // few words with letters beyond ASCII folded whole), each counted once.
    const int stamp = ++m_stamp;
    QVector<quint32> ids;
    QVarLengthArray<char16_t, 64> word;
    bool wide = false;
    quint32 hash = kHashStart;
    const auto flush = [&] {
        if (word.isEmpty())
            return;
        QString wideFolded;
        QStringView folded(word.constData(), word.size());
        if (wide) {
            wideFolded = TextSearch::fold(folded);
            folded = wideFolded;
            hash = hashOf(folded);
        }
        // A word met again in the same page is mostly found among the last
        // ones, without a look into the whole vocabulary.
        Recent &recent = m_recent[hash % std::size(m_recent)];
        if (recent.stamp == stamp && recent.hash == hash && sameWord(wordAt(recent.id), folded)) {
            word.clear();
            wide = false;
            hash = kHashStart;
            return;
        }
        const int id = wordId(folded, hash);
        recent = {hash, id, stamp};
        if (m_seen.size() <= id)
            m_seen.resize(std::max<qsizetype>(id + 1, m_seen.size() * 2), 0);
        if (m_seen[id] != stamp) {
            m_seen[id] = stamp;
            ids.append(quint32(id));
        }
        word.clear();
        wide = false;
        hash = kHashStart;
    };
    for (const QChar qc : row.text) {
        char16_t c = qc.unicode();
        if (c < 0x80) {
            if (c <= 0x20 || c == 0x7F) {
                flush();
                continue;
            }
            if (c >= 'A' && c <= 'Z')
                c += 32;
            hash = (hash ^ c) * kHashStep;
        } else if (isBlank(c)) {
            flush();
            continue;
        } else {
            wide = true;
        }
        word.append(c);
    }
    flush();
    std::sort(ids.begin(), ids.end());
    QByteArray packed;
    packed.reserve(ids.size() * 2);
    quint32 last = 0;
    for (quint32 id : std::as_const(ids)) {
        writeVarint(&packed, id - last);
        last = id;
    }
    packed.squeeze();
    page.words = std::move(packed);
    return n;
}

void NotesWords::remove(const QString &path)
{
    const int n = find(path);
    if (n < 0)
        return;
    m_pages[n].present = false;
    m_pages[n].words = QByteArray();
}

quint32 NotesWords::hashOf(QStringView folded)
{
    quint32 hash = kHashStart;
    for (const QChar c : folded)
        hash = (hash ^ c.unicode()) * kHashStep;
    return hash;
}

int NotesWords::wordId(QStringView folded, quint32 hash)
{
    // At most three slots in four taken.
    if (4 * m_starts.size() > 3 * m_slots.size())
        grow();
    const int mask = int(m_slots.size()) - 1;
    for (int at = int(hash & uint(mask));; at = (at + 1) & mask) {
        // A slot holds the word's hash beside its number + 1: most slots
        // looked at are told apart without the word's text.
        const quint64 slot = m_slots[at];
        const int id = int(quint32(slot)) - 1;
        if (id < 0) {
            const int n = wordCount();
            const qsizetype was = m_text.size();
            m_text.resize(was + folded.size() + 1);
            std::copy(folded.utf16(), folded.utf16() + folded.size(), m_text.begin() + was);
            m_text.last() = u'\n';
            m_starts.append(int(m_text.size()));
            m_slots[at] = quint64(hash) << 32 | quint32(n + 1);
            return n;
        }
        if (quint32(slot >> 32) == hash && sameWord(wordAt(id), folded))
            return id;
    }
}

void NotesWords::grow()
{
    const int room = std::max<int>(1024, int(m_slots.size()) * 2);
    QVector<quint64> old = std::move(m_slots);
    m_slots = QVector<quint64>(room, 0);
    for (const quint64 slot : std::as_const(old)) {
        if (!slot)
            continue;
        int at = int(quint32(slot >> 32) & uint(room - 1));
        while (m_slots[at])
            at = (at + 1) & (room - 1);
        m_slots[at] = slot;
    }
}

QVector<int> NotesWords::match(const QStringList &typed, const QVector<int> *among) const
{
    QVector<int> found;
    if (typed.isEmpty())
        return found;
    // For each word typed, the words of the pages that hold it.
    const int words = wordCount();
    std::vector<std::vector<bool>> hits(size_t(typed.size()), std::vector<bool>(size_t(words), false));
    const QStringView all(m_text.constData(), m_text.size());
    for (int w = 0; w < typed.size(); ++w) {
        bool any = false;
        qsizetype at = 0;
        int id = 0;
        while ((at = all.indexOf(typed[w], at)) >= 0) {
            id = int(std::upper_bound(m_starts.begin() + id, m_starts.end(), int(at)) - m_starts.begin()) - 1;
            hits[size_t(w)][size_t(id)] = true;
            any = true;
            at = m_starts[id + 1];
        }
        if (!any)
            return found;
    }
    const auto matches = [&](const Page &page) {
        if (!page.present)
            return false;
        quint64 pending = (typed.size() >= 64) ? ~quint64(0) : ((quint64(1) << typed.size()) - 1);
        const uchar *p = reinterpret_cast<const uchar *>(page.words.constData());
        const uchar *end = p + page.words.size();
        quint32 id = 0;
        while (p < end && pending) {
            quint32 gap = 0;
            int shift = 0;
            while (p < end) {
                const uchar b = *p++;
                gap |= quint32(b & 0x7F) << shift;
                shift += 7;
                if (!(b & 0x80))
                    break;
            }
            id += gap;
            for (int w = 0; w < typed.size() && w < 64; ++w)
                if ((pending >> w & 1) && hits[size_t(w)][id])
                    pending &= ~(quint64(1) << w);
        }
        return pending == 0;
    };
    if (among) {
        for (int n : *among)
            if (n >= 0 && n < count() && matches(m_pages[n]))
                found.append(n);
    } else {
        for (int n = 0; n < count(); ++n)
            if (matches(m_pages[n]))
                found.append(n);
    }
    return found;
}

QString NotesWords::lineOf(const QString &text, const QStringList &words)
{
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("[\\r\\n\\x{2029}\\x{2028}]")));
    QString longest;
    for (const QString &w : words)
        if (w.size() > longest.size())
            longest = w;
    QString fallback;
    for (const QString &line : lines) {
        const QString folded = TextSearch::fold(line);
        if (std::all_of(words.begin(), words.end(), [&](const QString &w) { return folded.contains(w); }))
            return line.trimmed();
        if (fallback.isNull() && !longest.isEmpty() && folded.contains(longest))
            fallback = line.trimmed();
    }
    return fallback.isNull() ? QString() : fallback;
}
