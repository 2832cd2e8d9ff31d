// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/preview/Preview.h"

#include "components/preview/DwgPicture.h"
#include "data/Worker.h"
#include "platform/Paths.h"

#include <QBuffer>
#include <QCache>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QMutexLocker>

#include <cstring>

#ifdef VELBOR_POPPLER
#include <poppler-qt6.h>
#endif

namespace Preview {
namespace {

const QString kNotAvailable = QStringLiteral("Anteprima non disponibile");
// Memory that decoding one picture may take, in MB.
constexpr int kAllocationMb = 128;
// A PDF page that takes longer than this to draw is given up.
constexpr qint64 kPdfMs = 5000;

Wrap g_wrap;

// Reads the file in blocks of 64 KB and keeps the last ones read: the many
// small reads of a PDF or picture reader become a few requests to a share.
class Blocks : public QIODevice {
public:
    explicit Blocks(QIODevice *inner) : m_inner(inner), m_size(inner->size())
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    qint64 size() const override { return m_size; }
    bool isSequential() const override { return false; }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        qint64 done = 0;
        for (qint64 at = pos(); done < max && at < m_size;) {
            const QByteArray *block = fetch(at / kBlock);
            const qint64 offset = at % kBlock;
            const qint64 n = block ? qMin<qint64>(max - done, block->size() - offset) : 0;
            if (n <= 0)
                return done ? done : -1;
            memcpy(data + done, block->constData() + offset, size_t(n));
            done += n;
            at += n;
        }
        return done;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    static constexpr qint64 kBlock = 64 * 1024;
    static constexpr int kKept = 32;
    struct Block {
        qint64 index;
        QByteArray bytes;
    };
    const QByteArray *fetch(qint64 index)
    {
        for (const Block &b : m_blocks)
            if (b.index == index)
                return &b.bytes;
        if (!m_inner->seek(index * kBlock))
            return nullptr;
        QByteArray bytes(qsizetype(qMin(kBlock, m_size - index * kBlock)), Qt::Uninitialized);
        qint64 got = 0;
        while (got < bytes.size()) {
            const qint64 r = m_inner->read(bytes.data() + got, bytes.size() - got);
            if (r <= 0)
                break;
            got += r;
        }
        if (got == 0)
            return nullptr;
        bytes.truncate(qsizetype(got));
        if (m_blocks.size() >= kKept)
            m_blocks.removeFirst();
        m_blocks.append({index, bytes});
        return &m_blocks.last().bytes;
    }
    QIODevice *m_inner;
    qint64 m_size;
    QList<Block> m_blocks;
};

Outcome unreadable(const QString &why)
{
    return {QImage(), QStringLiteral("Anteprima non leggibile: %1").arg(why), true};
}

Outcome cancelled()
{
    return {QImage(), QString(), false};
}

// Never larger than the box, never enlarged.
QImage fitted(const QImage &image, QSize box)
{
    if (image.width() <= box.width() && image.height() <= box.height())
        return image;
    return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QString imageError(const QImageReader &reader)
{
    switch (reader.error()) {
    case QImageReader::UnsupportedFormatError: return QStringLiteral("formato dell'immagine non riconosciuto");
    case QImageReader::DeviceError: return QStringLiteral("lettura del file non riuscita");
    default: return QStringLiteral("immagine danneggiata o troncata");
    }
}

// A picture file's bytes, read scaled to the box when it is larger.
Outcome decode(QIODevice &device, const QByteArray &format, QSize box)
{
    QImageReader reader(&device, format);
    reader.setAllocationLimit(kAllocationMb);
    reader.setAutoTransform(true);
    const QSize declared = reader.size();
    if (declared.isValid()) {
        if (declared.isEmpty() || declared.width() > kMaxSide || declared.height() > kMaxSide
            || (qint64(declared.width()) * declared.height() > kMaxPixels
                && !reader.supportsOption(QImageIOHandler::ScaledSize)))
            return unreadable(QStringLiteral("immagine troppo grande (%1×%2)").arg(declared.width()).arg(declared.height()));
        if (declared.width() > box.width() || declared.height() > box.height())
            reader.setScaledSize(declared.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return unreadable(imageError(reader));
    return {fitted(image, box), QString(), true};
}

Outcome fromDrawing(const DwgPicture::Picture &picture, QSize box)
{
    if (!picture.error.isEmpty())
        return unreadable(picture.error);
    if (picture.none())
        return {QImage(), kNotAvailable, true};
    QBuffer buffer;
    buffer.setData(picture.bytes);
    buffer.open(QIODevice::ReadOnly);
    return decode(buffer, picture.format, box);
}

#ifdef VELBOR_POPPLER
struct RenderState {
    const std::atomic<bool> *cancel;
    QElapsedTimer clock;
};

bool shouldAbort(const QVariant &payload)
{
    const auto *state = reinterpret_cast<const RenderState *>(payload.value<quintptr>());
    return *state->cancel || state->clock.elapsed() > kPdfMs;
}

Outcome pdfPage(QIODevice &device, QSize box, const std::atomic<bool> &cancel)
{
    static const bool quiet = [] {
        // Damaged documents are reported on the message line, not on stderr.
        Poppler::setDebugErrorFunction([](const QString &, const QVariant &) {}, QVariant());
        return true;
    }();
    Q_UNUSED(quiet);
    const std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(&device);
    if (!doc)
        return unreadable(QStringLiteral("documento PDF non valido"));
    if (doc->isLocked())
        return {QImage(), QStringLiteral("Anteprima non disponibile: PDF protetto da password"), true};
    const int pages = doc->numPages();
    if (pages < 1)
        return unreadable(QStringLiteral("documento PDF senza pagine"));
    if (cancel)
        return cancelled();
    const std::unique_ptr<Poppler::Page> page(doc->page(0));
    if (!page)
        return unreadable(QStringLiteral("prima pagina non leggibile"));
    const QSizeF points = page->pageSizeF();
    if (!(points.width() >= 1 && points.height() >= 1))
        return unreadable(QStringLiteral("pagina senza dimensioni"));
    // Just the resolution that fills the box.
    const double dpi = 72.0 * qMin(box.width() / points.width(), box.height() / points.height());
    doc->setRenderHint(Poppler::Document::Antialiasing);
    doc->setRenderHint(Poppler::Document::TextAntialiasing);
    RenderState state{&cancel, {}};
    state.clock.start();
    const QImage image = page->renderToImage(dpi, dpi, -1, -1, -1, -1, Poppler::Page::Rotate0, nullptr, nullptr,
                                             shouldAbort, QVariant::fromValue(quintptr(&state)));
    if (cancel)
        return cancelled();
    if (image.isNull())
        return unreadable(state.clock.elapsed() > kPdfMs ? QStringLiteral("pagina troppo lenta da disegnare")
                                                         : QStringLiteral("prima pagina non leggibile"));
    return {fitted(image, box), QStringLiteral("Pagina 1 di %1").arg(pages), true};
}
#endif

bool isPicture(const QString &suffix)
{
    static const QStringList kinds = {QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                      QStringLiteral("jpe"), QStringLiteral("bmp"), QStringLiteral("dib"),
                                      QStringLiteral("gif"), QStringLiteral("tif"), QStringLiteral("tiff"),
                                      QStringLiteral("webp")};
    if (!kinds.contains(suffix))
        return false;
    const QByteArray format = suffix == QLatin1String("tif") ? QByteArray("tiff")
                              : suffix == QLatin1String("jpe") ? QByteArray("jpeg")
                              : suffix == QLatin1String("dib") ? QByteArray("bmp")
                                                                : suffix.toLatin1();
    return QImageReader::supportedImageFormats().contains(format);
}

} // namespace

bool readsPdf()
{
#ifdef VELBOR_POPPLER
    return true;
#else
    return false;
#endif
}

void setDeviceWrap(Wrap wrap)
{
    g_wrap = std::move(wrap);
}

Outcome read(const QString &path, QSize box, const std::atomic<bool> &cancel)
{
    box = box.expandedTo(QSize(16, 16));
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return {QImage(), QStringLiteral("File non trovato"), true};
    if (info.isDir())
        return {QImage(), QStringLiteral("Anteprima non disponibile: è una cartella"), true};
    const QString suffix = info.suffix().toLower();
    enum { Dwg, Dxf, Pdf, Picture } kind;
    if (suffix == QLatin1String("dwg"))
        kind = Dwg;
    else if (suffix == QLatin1String("dxf"))
        kind = Dxf;
    else if (suffix == QLatin1String("pdf") && readsPdf())
        kind = Pdf;
    else if (isPicture(suffix))
        kind = Picture;
    else
        return {QImage(), kNotAvailable, true};

    // A FIFO or a device is refused without waiting on it.
    QFile file;
    if (!Paths::openRegularFile(file, path)) {
        if (!Paths::notAFile(path).isEmpty())
            return {QImage(), QStringLiteral("Anteprima non disponibile: non è un file"), true};
        return unreadable(QStringLiteral("il file non si apre"));
    }
    std::unique_ptr<QIODevice> wrapped = g_wrap ? g_wrap(&file) : nullptr;
    QIODevice &device = wrapped ? *wrapped : file;
    if (device.size() == 0)
        return unreadable(QStringLiteral("file vuoto"));
    if (cancel)
        return cancelled();
    switch (kind) {
    case Dwg: {
        const DwgPicture::Picture picture = DwgPicture::fromDwg(device);
        return cancel ? cancelled() : fromDrawing(picture, box);
    }
    case Dxf: {
        const DwgPicture::Picture picture = DwgPicture::fromDxf(device);
        return cancel ? cancelled() : fromDrawing(picture, box);
    }
    case Pdf: {
#ifdef VELBOR_POPPLER
        Blocks blocks(&device);
        return pdfPage(blocks, box, cancel);
#else
        break;
#endif
    }
    case Picture: {
        Blocks blocks(&device);
        return decode(blocks, suffix == QLatin1String("tif") ? QByteArray("tiff") : QByteArray(), box);
    }
    }
    return {QImage(), kNotAvailable, true};
}

// Whole outcomes by file and box. Kept under a lock: the worker looks them up
// and stores them.
struct Loader::Cache {
    QMutex lock;
    QCache<QString, Outcome> outcomes{64 * 1024};   // cost in KB

    static QString key(const QString &path, QSize box)
    {
        const QFileInfo info(path);
        if (!info.isFile())
            return {};
        return QStringLiteral("%1\n%2\n%3\n%4x%5")
            .arg(path)
            .arg(info.size())
            .arg(info.lastModified().toMSecsSinceEpoch())
            .arg(box.width())
            .arg(box.height());
    }
    Outcome get(const QString &path, QSize box, const std::atomic<bool> &cancel)
    {
        const QString k = key(path, box);
        if (!k.isEmpty()) {
            QMutexLocker locked(&lock);
            if (const Outcome *kept = outcomes.object(k))
                return *kept;
        }
        Outcome outcome = Preview::read(path, box, cancel);
        if (!k.isEmpty() && outcome.complete) {
            QMutexLocker locked(&lock);
            outcomes.insert(k, new Outcome(outcome), int(qMax<qint64>(1, outcome.image.sizeInBytes() / 1024)));
        }
        return outcome;
    }
};

Loader::Loader(QObject *parent) : QObject(parent), m_cache(std::make_shared<Cache>())
{
    qRegisterMetaType<Preview::Outcome>();
}

Loader::~Loader()
{
    if (m_cancel)
        *m_cancel = true;
    m_worker.reset();
}

void Loader::request(const QString &path, QSize box)
{
    m_wanted = {path, box};
    if (path.isEmpty()) {
        // Nothing to show: what runs is cancelled, nothing runs next.
        if (m_worker)
            *m_cancel = true;
        m_pending = false;
        return;
    }
    if (m_worker) {
        if (m_running == m_wanted && !*m_cancel) {
            m_pending = false;
            return;   // already being read
        }
        *m_cancel = true;
        m_pending = true;
        return;
    }
    start(m_wanted);
}

void Loader::start(const Job &job)
{
    m_running = job;
    m_pending = false;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    auto cancel = m_cancel;
    auto cache = m_cache;
    // The loader outlives the work (its destructor waits), so the outcome
    // posted back never finds it gone; a post left unread dies with it.
    m_worker = std::make_unique<Worker>([this, job, cancel, cache] {
        const Outcome outcome = cache->get(job.path, job.box, *cancel);
        QMetaObject::invokeMethod(this, [this, job, outcome] { finished(job, outcome); }, Qt::QueuedConnection);
    });
}

void Loader::finished(const Job &job, const Outcome &outcome)
{
    m_worker.reset();   // the work has ended: this only joins its thread
    if (job == m_wanted && outcome.complete)
        emit ready(job.path, outcome);
    if (m_pending)
        start(m_wanted);
}

} // namespace Preview
