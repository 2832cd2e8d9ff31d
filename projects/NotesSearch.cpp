// SPDX-License-Identifier: GPL-3.0-or-later
#include "NotesSearch.h"

#include "components/NotesPages.h"
#include "data/Files.h"
#include "data/Worker.h"
#include "data/engines/SqliteStore.h"

#include <QFile>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace {
// Texts kept for the lines of the results, in characters.
constexpr int kTextCache = 4 * 1024 * 1024;

// Rows handed from the thread that reads to the one that cuts words, at most
// a few chunks held at once.
class Chunks {
public:
    static constexpr int kRows = 128;
    void put(QVector<NotesIndex::Row> &&chunk)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_room.wait(lock, [this] { return m_queue.size() < 4; });
        m_queue.push_back(std::move(chunk));
        m_ready.notify_one();
    }
    void close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_ready.notify_one();
    }
    // The next chunk; false once closed and empty.
    bool take(QVector<NotesIndex::Row> *chunk)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [this] { return m_closed || !m_queue.empty(); });
        if (m_queue.empty())
            return false;
        *chunk = std::move(m_queue.front());
        m_queue.pop_front();
        m_room.notify_one();
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready, m_room;
    std::deque<QVector<NotesIndex::Row>> m_queue;
    bool m_closed = false;
};
} // namespace

NotesSearch::NotesSearch(Session &session, QObject *parent) : QObject(parent), m_session(session)
{
    m_texts.setMaxCost(kTextCache);
}

NotesSearch::~NotesSearch()
{
    m_stop = true;
    m_loader.reset();
    m_walker.reset();
}

void NotesSearch::refresh(const QStringList &pages)
{
    m_pages = pages;
    m_walkWanted = true;
    if (m_loader || m_walker)
        return;
    if (m_loaded)
        startWalk();
    else
        startLoad();
}

void NotesSearch::preload()
{
    if (!m_loaded && !m_loader && !m_session.archive.onServer() && m_session.archive.notesTable())
        startLoad();
}

void NotesSearch::startLoad()
{
    Archive &archive = m_session.archive;
    const TableInfo *table = archive.notesTable();
    if (!table) {
        // No kept texts: the pages are read, and their words held for this window.
        m_loaded = true;
        startWalk();
        return;
    }
    if (archive.onServer()) {
        // A server answers at once; the texts come a few hundred at a time.
        auto *words = new NotesWords;
        QString error;
        NotesIndex::readAll(archive.store(), *table, [words](NotesIndex::Row &&row) { words->set(row); }, &error);
        loaded(words, error);
        return;
    }
    // A file archive on a share: read on a connection of its own, off the window.
    const QString path = archive.path();
    const TableInfo info = *table;
    m_loader = std::make_unique<Worker>([this, path, info] {
        auto *words = new NotesWords;
        QString error;
        {
            // Reading and cutting the texts into words go side by side, a
            // few chunks apart, so neither waits for the other for long.
            Chunks chunks;
            Worker cutter([&] {
                QVector<NotesIndex::Row> chunk;
                while (chunks.take(&chunk))
                    for (const NotesIndex::Row &row : std::as_const(chunk))
                        if (!m_stop)
                            words->set(row);
            });
            SqliteStore reader;
            // Read once through: the pages need not stay in the cache.
            QString ignored;
            QVector<NotesIndex::Row> chunk;
            if (reader.open(path, &error) && reader.execScript(QStringLiteral("PRAGMA cache_size=-2048"), &ignored))
                NotesIndex::readAll(reader, info, [&](NotesIndex::Row &&row) {
                    chunk.append(std::move(row));
                    if (chunk.size() == Chunks::kRows)
                        chunks.put(std::exchange(chunk, {}));
                }, &error, &m_stop);
            chunks.put(std::move(chunk));
            chunks.close();
        }
        if (!QMetaObject::invokeMethod(this, [this, words, error] { loaded(words, error); }, Qt::QueuedConnection))
            delete words;
    });
}

void NotesSearch::loaded(NotesWords *words, const QString &error)
{
    std::unique_ptr<NotesWords> owned(words);
    if (m_loader) {
        m_loader->wait();
        m_loader.reset();
    }
    // Without the kept texts the pages are read again; what could be read is used.
    Q_UNUSED(error);
    m_words = std::move(*owned);
    m_loaded = true;
    m_texts.clear();
    emit changed();
    if (m_walkWanted)
        startWalk();
}

void NotesSearch::startWalk()
{
    if (m_walker || m_stop)
        return;
    QVector<NotesPages::Known> pages;
    pages.reserve(m_pages.size());
    for (const QString &path : std::as_const(m_pages)) {
        const int n = m_words.find(path);
        if (n < 0 || !m_words.page(n).present) {
            pages.append({path});
            continue;
        }
        const NotesWords::Page &p = m_words.page(n);
        pages.append({path, p.size, p.modified, p.fingerprint});
    }
    const QString folder = m_session.state.PercorsoDati;
    m_walker = std::make_unique<Worker>([this, folder, pages] {
        NotesPages::walk(folder, pages, m_stop, [this](QVector<NotesIndex::Row> &&rows) {
            QMetaObject::invokeMethod(this, [this, rows = std::move(rows)] { apply(rows); }, Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(this, [this] { walked(); }, Qt::QueuedConnection);
    });
}

void NotesSearch::walked()
{
    if (m_walker) {
        m_walker->wait();
        m_walker.reset();
    }
    emit settledNow();
}

void NotesSearch::recheck(const QString &page)
{
    if (!m_loaded)
        return;
    const int n = m_words.find(page);
    NotesPages::Known known{page};
    if (n >= 0 && m_words.page(n).present) {
        const NotesWords::Page &p = m_words.page(n);
        known = {page, p.size, p.modified, p.fingerprint};
    }
    NotesIndex::Row row;
    if (NotesPages::check(m_session.state.PercorsoDati, known, &row))
        apply({row});
}

void NotesSearch::apply(QVector<NotesIndex::Row> rows)
{
    if (rows.isEmpty())
        return;
    // Kept for every workstation; when the archive refuses, the next look
    // finds the same pages again.
    Archive &archive = m_session.archive;
    if (const TableInfo *table = archive.notesTable()) {
        QString ignored;
        NotesIndex::store(archive.store(), *table, rows, &ignored);
    }
    bool words = false;
    for (const NotesIndex::Row &row : std::as_const(rows)) {
        m_texts.remove(row.path);
        if (row.size < 0) {
            m_words.remove(row.path);
            words = true;
        } else {
            words = words || !row.keepText;
            m_words.set(row);
        }
    }
    if (words)
        emit changed();
}

QString NotesSearch::text(const QString &page)
{
    if (QString *kept = m_texts.object(page))
        return *kept;
    QString text;
    QString error;
    Archive &archive = m_session.archive;
    const TableInfo *table = archive.notesTable();
    if (!table || !NotesIndex::textOf(archive.store(), *table, page, &text, &error) || text.isNull()) {
        // Not kept: the page itself.
        QFile file;
        if (Files::openRegularFile(file, NotesIndex::fileOf(m_session.state.PercorsoDati, page)))
            text = NotesPages::plainText(file.read(8 * 1024 * 1024));
    }
    m_texts.insert(page, new QString(text), int(std::min<qsizetype>(text.size(), kTextCache)));
    return text;
}
