// SPDX-License-Identifier: GPL-3.0-or-later
// "velbor_bench preview": from the choice of a row in the components window
// to its picture in the preview, for a 500 KB drawing and a 50 MB PDF, on the
// local disk and on a share that answers each file request in 0.5 ms.
#include "BenchArchive.h"
#include "components/frmCOmponenti.h"
#include "components/preview/Preview.h"
#include "data/basMain.h"
#include "data/engines/SqliteStore.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QTableWidget>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include <sqlite3.h>

namespace {

std::atomic<long> g_requests{0};
std::atomic<int> g_delayUs{0};

void request()
{
    ++g_requests;
    if (g_delayUs > 0)
        QThread::usleep(g_delayUs);
}

// A file on a share: every read and seek is one request.
class ShareFile : public QIODevice {
public:
    explicit ShareFile(QIODevice *inner) : m_inner(inner)
    {
        request();   // the open
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    qint64 size() const override { return m_inner->size(); }
    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override
    {
        request();
        return QIODevice::seek(pos) && m_inner->seek(pos);
    }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        request();
        return m_inner->read(data, max);
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QIODevice *m_inner;
};

// A sample drawing padded to 500 KB (its BMP of 302 KB is the largest the
// samples keep).
bool makeDrawing(const QString &path)
{
    QFile sample(QStringLiteral(VELBOR_DWG_SAMPLES "/example_2010.dwg"));
    if (!sample.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = sample.readAll();
    bytes += QByteArray(qMax(0, 500 * 1024 - int(bytes.size())), '\0');
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

// About 50 MB of pages, each with a photograph-like picture of its own.
qint64 makePdf(const QString &path, int *pages)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    QPdfWriter pdf(&file);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(150);
    QPainter painter(&pdf);
    QImage noise(700, 700, QImage::Format_RGB32);
    QRandomGenerator random(7);
    int page = 0;
    for (; file.size() < 50LL * 1024 * 1024 && page < 2000; ++page) {
        if (page)
            pdf.newPage();
        for (int y = 0; y < noise.height(); ++y)
            random.fillRange(reinterpret_cast<quint32 *>(noise.scanLine(y)), noise.width());
        painter.drawImage(QRect(0, 0, pdf.width(), pdf.width()), noise);
        painter.drawText(QPoint(100, pdf.width() + 100), QStringLiteral("Pagina %1").arg(page + 1));
    }
    painter.end();
    file.close();
    *pages = page;
    return QFileInfo(path).size();
}

// Milliseconds from choosing row to its picture in the pane, in a window of
// its own (nothing kept from before) or, with again, once more in the same.
double clickToPicture(Session &session, int row, bool again)
{
    frmCOmponenti w(session);
    w.CodPrj = QStringLiteral("B1");
    w.Form_Load();
    w.show();
    auto *grid = w.findChild<QTableWidget *>(QStringLiteral("Grid1"));
    auto *line = w.findChild<QLabel *>(QStringLiteral("lblAnteprima"));
    auto *picture = w.findChild<QLabel *>(QStringLiteral("imgAnteprima"));
    const auto choose = [&](int r) {
        QElapsedTimer clock;
        clock.start();
        grid->setCurrentCell(r, 1);
        while (line->text() == QStringLiteral("Caricamento…") || picture->pixmap().isNull())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        return clock.nsecsElapsed() / 1e6;
    };
    double ms = choose(row);
    if (again) {
        grid->setCurrentCell(0, 1);
        g_requests = 0;
        ms = choose(row);
    }
    if (!line->text().isEmpty() && !line->text().startsWith(QStringLiteral("Pagina")))
        std::printf("    (%s)\n", qPrintable(line->text()));
    return ms;
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

} // namespace

int runPreviewBench(int argc, char **argv, const QString &folder)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::setScripted(true);
    Paths::setProgramFolder(folder);
    const QString archive = folder + QStringLiteral("/Velbor.mdb");
    QString error;
    const QString dwg = folder + QStringLiteral("/pianta.dwg");
    const QString pdf = folder + QStringLiteral("/relazione.pdf");
    if (!SqliteStore::createArchive(archive, &error) || !makeDrawing(dwg)) {
        std::fprintf(stderr, "%s\n", qPrintable(error.isEmpty() ? QStringLiteral("no sample drawing") : error));
        return 1;
    }
    QElapsedTimer made;
    made.start();
    int pages = 0;
    const qint64 pdfSize = makePdf(pdf, &pages);
    std::printf("PDF made: %.1f MB, %d pages, in %lld ms; drawing: %lld KB\n", pdfSize / 1048576.0, pages,
                made.elapsed(), QFileInfo(dwg).size() / 1024);
    sqlite3 *db = nullptr;
    sqlite3_open(archive.toUtf8().constData(), &db);
    const QByteArray insert = QStringLiteral("INSERT INTO Componenti(codprj,file,tipo) VALUES('B1','%1','.DWG'),('B1','%2','.PDF')")
                                  .arg(dwg, pdf)
                                  .toUtf8();
    sqlite3_exec(db, insert.constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);

    Session session;
    session.state.PercorsoDati = folder;
    ApriArchivio(session.state, session.archive, folder);
    Preview::setDeviceWrap([](QIODevice *file) { return std::make_unique<ShareFile>(file); });

    std::printf("\nChoice of a row to its picture (ms, median of 5; goals: drawing 100, PDF 500):\n");
    std::printf("%-36s %9s %9s %9s %9s\n", "", "req", "0 ms", "req", "0.5 ms");
    const struct { const char *name; int row; bool again; } cases[] = {
        {"DWG of 500 KB (BMP of 302 KB)", 1, false},
        {"PDF of 50 MB, first page", 2, false},
        {"DWG again (kept in memory)", 1, true},
        {"PDF again (kept in memory)", 2, true},
    };
    for (const auto &c : cases) {
        double ms[2];
        long requests[2];
        for (int share = 0; share < 2; ++share) {
            g_delayUs = share ? 500 : 0;
            QVector<double> runs;
            for (int i = 0; i < 5; ++i) {
                g_requests = 0;
                runs << clickToPicture(session, c.row, c.again);
            }
            requests[share] = g_requests;
            ms[share] = median(runs);
        }
        std::printf("%-36s %9ld %9.1f %9ld %9.1f\n", c.name, requests[0], ms[0], requests[1], ms[1]);
    }
    Preview::setDeviceWrap({});
    return 0;
}
