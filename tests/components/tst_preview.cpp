// SPDX-License-Identifier: GPL-3.0-or-later
// The preview of a component: the pictures drawings keep, pictures and PDF
// pages, damaged and hostile files, and the pane in the components window.
#include "GuiSupport.h"
#include "TestSupport.h"
#include "components/frmCOmponenti.h"
#include "components/preview/DwgPicture.h"
#include "components/preview/Preview.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QImageWriter>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QTableWidget>
#include <QtEndian>
#include <QtTest>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

const QByteArray kStart = QByteArray::fromHex("1F256D07D43628289D57CA3F9D44102B");
const QSize kBox(220, 140);

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray patched(QByteArray bytes, int at, quint32 v)
{
    return bytes.replace(at, 4, le32(v));
}

// A DIB as drawings keep it: the 40-byte header, then 24-bit rows bottom-up
// in one colour (only the header when pixels is false).
QByteArray dib(qint32 width, qint32 height, quint16 bits = 24, QColor colour = Qt::red, bool pixels = true)
{
    QByteArray b = le32(40) + le32(quint32(width)) + le32(quint32(height));
    b += QByteArray("\x01\x00", 2) + QByteArray(1, char(bits)) + QByteArray(1, char(bits >> 8));
    b += le32(0) + le32(0) + le32(2835) + le32(2835) + le32(0) + le32(0);
    if (bits <= 8)
        b += QByteArray(4 << bits, '\0');
    if (pixels && bits == 24) {
        const int row = (width * 3 + 3) & ~3;
        QByteArray line(row, '\0');
        for (int x = 0; x < width; ++x) {
            line[x * 3] = char(colour.blue());
            line[x * 3 + 1] = char(colour.green());
            line[x * 3 + 2] = char(colour.red());
        }
        for (int y = 0; y < height; ++y)
            b += line;
    }
    return b;
}

// A drawing of release 2004 whose picture entries (a header entry, then the
// picture with the given code) lie at 0x80, the picture after them.
constexpr int kAddress = 0x80;
constexpr int kEntry = kAddress + 21 + 9;   // the picture's entry
QByteArray drawing(const QByteArray &picture, int code = 2)
{
    QByteArray d = "AC1018";
    d += QByteArray(kAddress - d.size(), '\0');
    d = patched(d, 0x0D, kAddress);
    const int data = kAddress + 21 + 18;
    d += kStart + le32(quint32(1 + 18 + 80 + picture.size())) + QByteArray(1, '\2');
    d += QByteArray(1, '\1') + le32(data) + le32(80);
    d += QByteArray(1, char(code)) + le32(data + 80) + le32(quint32(picture.size()));
    d += QByteArray(80, '\0') + picture;
    QByteArray end = kStart;
    for (char &c : end)
        c = char(~c);
    return d + end;
}

// A DXF whose last section is a thumbnail of dib, given as declared bytes.
QByteArray dxf(const QByteArray &dib, qint64 declared)
{
    QByteArray d = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nENDSEC\r\n  0\r\nSECTION\r\n  2\r\nTHUMBNAILIMAGE\r\n";
    d += " 90\r\n" + QByteArray::number(declared) + "\r\n";
    const QByteArray hex = dib.toHex().toUpper();
    for (int at = 0; at < hex.size(); at += 254)
        d += "310\r\n" + hex.mid(at, 254) + "\r\n";
    return d + "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return bytes;
}

QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A PDF of A4 pages, the first one red.
void writePdf(const QString &path, int pages)
{
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&pdf);
    for (int p = 0; p < pages; ++p) {
        if (p)
            pdf.newPage();
        painter.fillRect(QRect(QPoint(0, 0), QSize(pdf.width(), pdf.height())), p ? Qt::blue : Qt::red);
    }
}

bool near(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 && qAbs(a.blue() - b.blue()) < 40;
}

// Counts what is read through it.
class Counting : public QIODevice {
public:
    explicit Counting(QIODevice *inner) : m_inner(inner) { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    qint64 size() const override { return m_inner->size(); }
    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override { return QIODevice::seek(pos) && m_inner->seek(pos); }
    qint64 bytesRead = 0;

protected:
    qint64 readData(char *data, qint64 max) override
    {
        const qint64 n = m_inner->read(data, max);
        bytesRead += qMax<qint64>(0, n);
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QIODevice *m_inner;
};

enum class Make { Bytes, Missing, Folder, Fifo };

struct Window : SessionFixture {
    std::unique_ptr<frmCOmponenti> w;
    QString folder;
    Window()
    {
        s.state.LivelloCorrente = 0;
        s.state.ElementoCorrente = "P1";
        folder = f.data() + "/P1";
        QDir(f.data()).mkpath("P1");
        s.state.FileNote = folder + "/P1";
    }
    void attach(const QStringList &names)
    {
        for (const QString &name : names)
            sql(QString("INSERT INTO Componenti(codprj,file,tipo) VALUES('P1','%1','.X')").arg(native(folder + "/" + name)));
        w = std::make_unique<frmCOmponenti>(s);
        w->CodPrj = "P1";
        w->Form_Load();
    }
    QTableWidget *grid() const { return w->findChild<QTableWidget *>("Grid1"); }
    QLabel *picture() const { return w->findChild<QLabel *>("imgAnteprima"); }
    // The whole message; the line shows it cut to its width where the font is wide.
    QString line() const { return w->findChild<QLabel *>("lblAnteprima")->toolTip(); }
    QImage shown() const { return picture()->pixmap().toImage(); }
    QColor centre() const { const QImage i = shown(); return i.pixelColor(i.width() / 2, i.height() / 2); }
    bool idle() const { return !w->findChild<Preview::Loader *>()->busy() && line() != QStringLiteral("Caricamento…"); }
};

} // namespace

Q_DECLARE_METATYPE(Make)

class TestPreview : public QObject {
    Q_OBJECT

private slots:
    // The picture the reader gives is the one kept in the drawing: found here
    // before the end mark (the start mark's complement) that closes it, at the
    // size the samples' README gives; only a little more than it is read.
    void samplePictures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("size");
        QTest::newRow("R14") << "example_r14.dwg" << QByteArray("bmp") << 31304;
        QTest::newRow("2000") << "example_2000.dwg" << QByteArray("bmp") << 24248;
        QTest::newRow("2004") << "example_2004.dwg" << QByteArray("bmp") << 31304;
        QTest::newRow("2007") << "example_2007.dwg" << QByteArray("bmp") << 302120;
        QTest::newRow("2010") << "example_2010.dwg" << QByteArray("bmp") << 302120;
        QTest::newRow("2013") << "example_2013.dwg" << QByteArray("png") << 5351;
        QTest::newRow("2018") << "example_2018.dwg" << QByteArray("png") << 5665;
    }
    void samplePictures()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, format);
        QFETCH(int, size);
        const QString path = QStringLiteral(VELBOR_DWG_SAMPLES "/") + file;
        if (!QFileInfo::exists(path))
            QSKIP(qPrintable("The sample drawings are not here: " + path));
        const QByteArray whole = readBytes(path);
        QByteArray end = kStart;
        for (char &c : end)
            c = char(~c);
        const int closes = int(whole.indexOf(end));
        QVERIFY(closes > size);
        const QByteArray kept = whole.mid(closes - size, size);

        QFile drawing(path);
        QVERIFY(drawing.open(QIODevice::ReadOnly));
        Counting counted(&drawing);
        const DwgPicture::Picture picture = DwgPicture::fromDwg(counted);
        QVERIFY2(picture.error.isEmpty(), qPrintable(picture.error));
        QCOMPARE(picture.format, format);
        if (format == "png") {
            QCOMPARE(picture.bytes, kept);
        } else {
            QCOMPARE(picture.bytes.mid(14), kept);
            QCOMPARE(picture.bytes.left(2), QByteArray("BM"));
            QCOMPARE(qFromLittleEndian<quint32>(picture.bytes.constData() + 2), quint32(size + 14));
        }
        QVERIFY(counted.bytesRead < size + 256);
        QVERIFY(!QImage::fromData(picture.bytes, format.constData()).isNull());

        // The drawing padded to 500 KB gives the same picture.
        QBuffer padded;
        padded.setData(whole + QByteArray(qMax(0, 500 * 1024 - int(whole.size())), '\0'));
        padded.open(QIODevice::ReadOnly);
        QCOMPARE(DwgPicture::fromDwg(padded).bytes, picture.bytes);
    }

    // A DXF keeps its thumbnail in its last section: a large one is read from
    // its end only.
    void largeDxfReadFromItsEnd()
    {
        QByteArray d = "  0\nSECTION\n  2\nENTITIES\n";
        const QByteArray line = "  0\nLINE\n  8\n0\n 10\n1.0\n 20\n2.0\n 11\n3.0\n 21\n4.0\n";
        d.reserve(21 * 1024 * 1024);
        while (d.size() < 20 * 1024 * 1024)
            d += line;
        d += "  0\nENDSEC\n" + dxf(dib(10, 10), dib(10, 10).size());
        QBuffer buffer(&d);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        Counting counted(&buffer);
        const DwgPicture::Picture picture = DwgPicture::fromDxf(counted);
        QVERIFY2(picture.error.isEmpty(), qPrintable(picture.error));
        QVERIFY(!QImage::fromData(picture.bytes, "bmp").isNull());
        QVERIFY(counted.bytesRead <= DwgPicture::kDxfTail + 64);
    }

    // Pictures of every kind come fitted to the box, never enlarged, in their
    // own colours.
    void pictures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("natural");
        QTest::addColumn<QColor>("colour");
        const QColor green(30, 160, 60);
        QTest::newRow("drawing's BMP") << "pianta.dwg" << drawing(dib(100, 60, 24, green)) << QSize(100, 60) << green;
        QTest::newRow("drawing's PNG") << "pianta.dwg" << drawing(encoded(filled({400, 100}, green), "png"), 6)
                                       << QSize(400, 100) << green;
        QTest::newRow("DXF thumbnail") << "pianta.dxf" << dxf(dib(100, 60, 24, green), dib(100, 60).size())
                                       << QSize(100, 60) << green;
        QTest::newRow("PNG") << "foto.png" << encoded(filled({880, 400}, green), "png") << QSize(880, 400) << green;
        QTest::newRow("JPEG read scaled") << "foto.JPG" << encoded(filled({1600, 1200}, green), "jpeg")
                                          << QSize(1600, 1200) << green;
        QTest::newRow("BMP") << "foto.bmp" << encoded(filled({300, 300}, green), "bmp") << QSize(300, 300) << green;
        // (Qt writes no GIF: one white pixel.)
        QTest::newRow("GIF, smaller than the box")
            << "logo.gif" << QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs=") << QSize(1, 1)
            << QColor(Qt::white);
        if (QImageReader::supportedImageFormats().contains("tiff"))
            QTest::newRow("TIFF") << "scansione.tif" << encoded(filled({300, 600}, green), "tiff") << QSize(300, 600)
                                  << green;
        // A4 in points.
        if (Preview::readsPdf())
            QTest::newRow("PDF's first page") << "relazione.pdf" << QByteArray() << QSize(595, 842) << QColor(Qt::red);
    }
    void pictures()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, natural);
        QFETCH(QColor, colour);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (bytes.isEmpty())
            writePdf(path, 3);
        else
            writeBytes(path, bytes);
        const std::atomic<bool> cancel{false};
        const Preview::Outcome o = Preview::read(path, kBox, cancel);
        QVERIFY2(!o.image.isNull(), qPrintable(o.message));
        QVERIFY(o.complete);
        QCOMPARE(o.message, name.endsWith(".pdf") ? QStringLiteral("Pagina 1 di 3") : QString());
        const QSize expected = natural.boundedTo(kBox) == natural ? natural : natural.scaled(kBox, Qt::KeepAspectRatio);
        QVERIFY2(qAbs(o.image.width() - expected.width()) <= 1 && qAbs(o.image.height() - expected.height()) <= 1,
                 qPrintable(QString("%1x%2").arg(o.image.width()).arg(o.image.height())));
        QVERIFY(near(o.image.pixelColor(o.image.width() / 2, o.image.height() / 2), colour));
    }

    // Damaged and hostile files give a message line and no picture, at once.
    void messages_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Make>("make");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QString damaged = QStringLiteral("Anteprima non leggibile: ");
        const QByteArray good = drawing(dib(2, 1));
        const auto dwg = [&](const char *row, const QByteArray &bytes, const QString &message) {
            QTest::newRow(row) << "pianta.dwg" << Make::Bytes << bytes << message;
        };
        dwg("address past the end", patched(good, 0x0D, 0x7ffffff0), damaged + "indirizzo dell'anteprima oltre la fine del file");
        dwg("address at the last bytes", patched(good, 0x0D, quint32(good.size() - 8)),
            damaged + "indirizzo dell'anteprima oltre la fine del file");
        dwg("no start mark", QByteArray(good).replace(kAddress, 1, "\x20"), damaged + "segno d'inizio dell'anteprima assente");
        dwg("overall size past the end", patched(good, kAddress + 16, 0xfffffff0), damaged + "anteprima oltre la fine del file");
        dwg("entry start past the end", patched(good, kEntry + 1, 0x7fffffff), damaged + "anteprima oltre la fine del file");
        dwg("entry size past the end", patched(good, kEntry + 5, quint32(good.size())), damaged + "anteprima oltre la fine del file");
        dwg("entry size of 4 GB", patched(good, kEntry + 5, 0xffffffff), damaged + "anteprima troppo grande (4294967295 byte)");
        dwg("cut inside the picture", good.left(good.size() - 20), damaged + "anteprima oltre la fine del file");
        dwg("cut inside the header", good.left(10), damaged + "file troppo corto per un disegno DWG");
        dwg("not a drawing", "Questo non è un disegno, solo testo.", damaged + "non è un disegno DWG");
        dwg("BMP declaring 100 MB", drawing(dib(10000, 10000, 8, Qt::red, false)), damaged + "immagine troppo grande (10000×10000)");
        dwg("BMP of 7 bits", drawing(dib(2, 1, 7)), damaged + "profondità di colore BMP non valida (7 bit)");
        dwg("PNG entry that is none", drawing("no png here", 6), damaged + "immagine PNG non valida");
        dwg("only a WMF kept", drawing("wmf", 3), QStringLiteral("Anteprima non disponibile"));
        dwg("no picture address", patched(good, 0x0D, 0), QStringLiteral("Anteprima non disponibile"));
        dwg("empty file", QByteArray(), damaged + "file vuoto");

        QByteArray png = encoded(filled({64, 64}, Qt::red), "png");
        QTest::newRow("truncated PNG") << "foto.png" << Make::Bytes << png.left(png.size() / 2)
                                       << damaged + "immagine danneggiata o troncata";
        QByteArray huge;
        QString unused;
        huge = DwgPicture::bmpFromDib(dib(10000, 10000, 8, Qt::red, false), &unused);
        QTest::newRow("BMP declaring 100 MB") << "foto.bmp" << Make::Bytes << huge << damaged + "immagine troppo grande (10000×10000)";
        QTest::newRow("DXF thumbnail cut short") << "pianta.dxf" << Make::Bytes << dxf(dib(20, 10), dib(20, 10).size() + 50)
                                                 << damaged + "anteprima troncata";
        QTest::newRow("DXF thumbnail of 2 GB") << "pianta.dxf" << Make::Bytes << dxf(dib(20, 10), 2000000000)
                                               << damaged + "anteprima troppo grande (2000000000 byte)";
        QTest::newRow("DXF without thumbnail") << "pianta.dxf" << Make::Bytes
                                               << QByteArray("  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n")
                                               << QStringLiteral("Anteprima non disponibile");
        QTest::newRow("PDF that is none") << "relazione.pdf" << Make::Bytes << QByteArray("%PDF-1.4\nnothing else")
                                          << (Preview::readsPdf() ? damaged + "documento PDF non valido"
                                                                  : QStringLiteral("Anteprima non disponibile"));
        // Two billion pages declared, none there.
        QTest::newRow("PDF declaring two billion pages")
            << "relazione.pdf" << Make::Bytes
            << QByteArray("%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                          "2 0 obj<</Type/Pages/Kids[]/Count 2000000000>>endobj\n"
                          "trailer<</Root 1 0 R>>\n%%EOF\n")
            << (Preview::readsPdf() ? damaged + "documento PDF senza pagine" : QStringLiteral("Anteprima non disponibile"));
        QTest::newRow("unknown type") << "relazione.xyz" << Make::Bytes << QByteArray("x")
                                      << QStringLiteral("Anteprima non disponibile");
        QTest::newRow("missing") << "manca.dwg" << Make::Missing << QByteArray() << QStringLiteral("File non trovato");
        QTest::newRow("folder named like a file") << "cartella.dwg" << Make::Folder << QByteArray()
                                                  << QStringLiteral("Anteprima non disponibile: è una cartella");
#ifndef _WIN32
        QTest::newRow("FIFO") << "tubo.png" << Make::Fifo << QByteArray() << QStringLiteral("Anteprima non disponibile: non è un file");
#endif
    }
    void messages()
    {
        QFETCH(QString, name);
        QFETCH(Make, make);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        switch (make) {
        case Make::Bytes: writeBytes(path, bytes); break;
        case Make::Missing: break;
        case Make::Folder: QVERIFY(QDir(dir.path()).mkdir(name)); break;
        case Make::Fifo:
#ifndef _WIN32
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
            break;
        }
        QElapsedTimer clock;
        clock.start();
        const std::atomic<bool> cancel{false};
        const Preview::Outcome o = Preview::read(path, kBox, cancel);
        QCOMPARE(o.message, message);
        QVERIFY(o.image.isNull());
        QVERIFY(clock.elapsed() < 2000);
    }

    // The pane follows the row chosen with the mouse or the keys; the last
    // row chosen is the one shown; closing while a read runs neither crashes
    // nor waits long.
    void pane()
    {
        Window o;
        const QColor green(30, 160, 60), blue(20, 40, 200);
        writeBytes(o.folder + "/pianta.dwg", drawing(dib(60, 30, 24, green)));
        writePdf(o.folder + "/relazione.pdf", 3);
        writeBytes(o.folder + "/note.xyz", "x");
        writeBytes(o.folder + "/sezione.dwg", drawing(dib(80, 40, 24, blue)));
        QImage noise(2400, 2400, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y, qRgb(x * 7 + y, y * 13, x ^ y));
        writeBytes(o.folder + "/rilievo.png", encoded(noise, "png"));
        // Its picture's address lies past its end.
        writeBytes(o.folder + "/rotto.dwg", drawing(dib(80, 40, 24, blue)).left(600));
        o.attach({"pianta.dwg", "relazione.pdf", "manca.dwg", "note.xyz", "sezione.dwg", "rilievo.png", "rotto.dwg"});
        QVERIFY(activate(o.w.get()));
        QTableWidget *grid = o.grid();

        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(1, 1)).center());
        QTRY_VERIFY(o.idle());
        QCOMPARE(o.line(), QString());
        // Enlarged twice at most.
        QCOMPARE(o.shown().size(), QSize(120, 60));
        QVERIFY(near(o.centre(), green));

        const QSize room = o.picture()->contentsRect().size();
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Down);
        QTRY_VERIFY(o.idle());
        if (Preview::readsPdf()) {
            QCOMPARE(o.line(), QStringLiteral("Pagina 1 di 3"));
            QVERIFY(qAbs(o.shown().height() - room.height()) <= 1);
            QVERIFY(near(o.centre(), Qt::red));
        } else {
            QCOMPARE(o.line(), QStringLiteral("Anteprima non disponibile"));
        }

        // The type's icon and the reason.
        for (const QString &line : {QStringLiteral("File non trovato"), QStringLiteral("Anteprima non disponibile")}) {
            QTest::keyClick(grid, Qt::Key_Down);
            QTRY_VERIFY(o.idle());
            QCOMPARE(o.line(), line);
            QCOMPARE(o.shown().size(), QSize(64, 64));
        }

        // A reason longer than the line is cut at its end, whole in the tooltip.
        grid->setCurrentCell(7, 1);
        QTRY_VERIFY(o.idle());
        auto *line = o.w->findChild<QLabel *>("lblAnteprima");
        QVERIFY2(line->toolTip().startsWith("Anteprima non leggibile: "), qPrintable(line->toolTip()));
        QVERIFY(line->text().endsWith(QChar(0x2026)) && line->toolTip().startsWith(line->text().chopped(1)));
        QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= line->contentsRect().width());

        // Rows chosen quickly: the last one is shown, and stays.
        for (int row : {2, 1, 5, 2, 5})
            grid->setCurrentCell(row, 1);
        QTRY_VERIFY(o.idle());
        QCOMPARE(o.line(), QString());
        QVERIFY(near(o.centre(), blue));

        // A picture shown once is kept: the file is not read again.
        std::atomic<int> opened{0};
        Preview::setDeviceWrap([&](QIODevice *) {
            ++opened;
            return std::unique_ptr<QIODevice>();
        });
        grid->setCurrentCell(1, 1);
        QTRY_VERIFY(o.idle());
        Preview::setDeviceWrap({});
        QVERIFY(near(o.centre(), green));
        QCOMPARE(opened.load(), 0);

        // Closing while the large picture is read.
        grid->setCurrentCell(6, 1);
        QVERIFY(o.w->findChild<Preview::Loader *>()->busy());
        QElapsedTimer clock;
        clock.start();
        o.w.reset();
        QVERIFY(clock.elapsed() < 5000);
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
