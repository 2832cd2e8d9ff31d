// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/NotesPages.h"

#include "components/rtf/Rtf.h"
#include "data/Files.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTextDocument>

namespace {
// Larger pages are left out of the index rather than read whole.
constexpr qint64 kLargestPage = 64 * 1024 * 1024;
// Changes handed over at once, or after this many milliseconds.
constexpr int kBatch = 200;
constexpr int kBatchMs = 500;
} // namespace

namespace NotesPages {

QString plainText(const QByteArray &page)
{
    if (!page.startsWith("{\\rtf"))
        return QString::fromUtf8(page);
    QTextDocument doc;
    Rtf::read(page, &doc);
    return doc.toPlainText();
}

bool check(const QString &dataFolder, const Known &known, NotesIndex::Row *change)
{
    const QString file = NotesIndex::fileOf(dataFolder, known.path);
    qint64 size = 0, modified = 0;
    *change = NotesIndex::Row{known.path};
    if (!NotesIndex::stat(file, &size, &modified)) {
        // Gone (or a folder in its place): its row goes, if it has one.
        return known.size >= 0;
    }
    if (size == known.size && modified == known.modified)
        return false;
    // Never a page reached through a link (or a code) leading out of the data folder.
    QFile f;
    if (size > kLargestPage || !Files::staysInside(file, dataFolder) || !Files::openRegularFile(f, file))
        return false;
    const QByteArray content = f.readAll();
    // The time of what was read: a write meanwhile is seen at the next look.
    change->size = content.size();
    change->modified = modified;
    change->fingerprint = NotesIndex::fingerprintOf(content);
    if (change->fingerprint != known.fingerprint) {
        change->text = plainText(content);
    } else {
        change->keepText = true;
    }
    return true;
}

void walk(const QString &dataFolder, const QVector<Known> &pages, const std::atomic<bool> &stop,
          const std::function<void(QVector<NotesIndex::Row> &&)> &report)
{
    QVector<NotesIndex::Row> batch;
    QElapsedTimer since;
    since.start();
    for (const Known &known : pages) {
        if (stop)
            return;
        NotesIndex::Row change;
        if (check(dataFolder, known, &change))
            batch.append(std::move(change));
        if (!batch.isEmpty() && (batch.size() >= kBatch || since.elapsed() >= kBatchMs)) {
            report(std::move(batch));
            batch = {};
            since.restart();
        }
    }
    if (!batch.isEmpty())
        report(std::move(batch));
}

} // namespace NotesPages
