// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The preview of a component: the picture a drawing keeps (DWG, DXF), a PDF's
// first page, a picture file itself; for anything else, or a file that cannot
// be read, a message line. Read off the interface thread by Preview::Loader.

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QIODevice;
class Worker;

namespace Preview {

struct Outcome {
    QImage image;     // the picture, no larger than the box asked for; null: none
    QString message;  // the line shown under it
    bool complete = true; // false when the read was cancelled
};

// The pictures' limits: a side, and the pixels read whole (formats that can
// be read scaled, as JPEG, may declare more).
constexpr int kMaxSide = 32768;
constexpr qint64 kMaxPixels = 32LL * 1024 * 1024;

// Whether this build shows PDF pages (it has Poppler).
bool readsPdf();

// Reads the preview of the file at path, scaled down to fit box (never up);
// gives up, incomplete, once cancel is set.
Outcome read(const QString &path, QSize box, const std::atomic<bool> &cancel);

// Benchmarks: every file the preview reads is read through what wrap returns
// (a share's latency); an empty function, or none returned, reads the file
// itself.
using Wrap = std::function<std::unique_ptr<QIODevice>(QIODevice *file)>;
void setDeviceWrap(Wrap wrap);

// Reads previews one at a time on a Worker. A new request cancels the read
// running for another file; the newest request runs next and the ones in
// between are dropped. Pictures read whole stay in memory for the loader's
// life, keyed by path, size, time of change and box.
class Loader : public QObject {
    Q_OBJECT

public:
    explicit Loader(QObject *parent = nullptr);
    // Cancels the running read and waits for it.
    ~Loader() override;

    void request(const QString &path, QSize box);
    // Whether a read is running (tests).
    bool busy() const { return bool(m_worker); }

signals:
    // The outcome for the latest request.
    void ready(const QString &path, const Outcome &outcome);

private:
    struct Job {
        QString path;
        QSize box;
        bool operator==(const Job &o) const { return path == o.path && box == o.box; }
    };
    struct Cache;
    void start(const Job &job);
    void finished(const Job &job, const Outcome &outcome);

    std::shared_ptr<Cache> m_cache;
    std::unique_ptr<Worker> m_worker;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    Job m_running;
    Job m_wanted;
    bool m_pending = false;
};

} // namespace Preview

Q_DECLARE_METATYPE(Preview::Outcome)
