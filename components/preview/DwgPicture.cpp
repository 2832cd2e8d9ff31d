// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/preview/DwgPicture.h"

#include <QIODevice>
#include <QtEndian>

namespace DwgPicture {
namespace {

// What opens the picture entries of a DWG, at the header's image address.
const char kStart[16] = {'\x1F', '\x25', '\x6D', '\x07', '\xD4', '\x36', '\x28', '\x28',
                         '\x9D', '\x57', '\xCA', '\x3F', '\x9D', '\x44', '\x10', '\x2B'};
constexpr qint64 kImageAddress = 0x0D;
enum Code { Header = 1, Bmp = 2, Wmf = 3, Png = 6 };

Picture failed(const QString &why)
{
    Picture p;
    p.error = why;
    return p;
}

// Exactly n bytes at pos, or false: never past the device's end.
bool readAt(QIODevice &device, qint64 pos, qint64 n, QByteArray *out)
{
    const qint64 size = device.size();
    if (pos < 0 || n < 0 || pos > size || n > size - pos || !device.seek(pos))
        return false;
    out->resize(qsizetype(n));
    qint64 got = 0;
    while (got < n) {
        const qint64 r = device.read(out->data() + got, n - got);
        if (r <= 0)
            return false;
        got += r;
    }
    return true;
}

quint32 le32(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint16 le16(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

bool isPng(const QByteArray &b)
{
    return b.startsWith(QByteArray::fromRawData("\x89PNG\r\n\x1a\n", 8));
}

} // namespace

QByteArray bmpFromDib(const QByteArray &dib, QString *error)
{
    const auto refuse = [&](const QString &why) {
        *error = why;
        return QByteArray();
    };
    if (dib.size() < 12)
        return refuse(QStringLiteral("immagine BMP troncata"));
    const quint32 headerSize = le32(dib, 0);
    qint64 width = 0;
    qint64 height = 0;
    quint32 bits = 0;
    qint64 colours = 0;
    int colourSize = 4;
    qint64 masks = 0;
    if (headerSize == 12) {
        // The old OS/2 header: 16-bit sizes, colours of three bytes.
        width = le16(dib, 4);
        height = le16(dib, 6);
        bits = le16(dib, 10);
        colourSize = 3;
        colours = bits <= 8 ? (qint64(1) << bits) : 0;
    } else if (headerSize >= 40 && headerSize <= 124 && dib.size() >= 40) {
        width = qint32(le32(dib, 4));
        height = qint32(le32(dib, 8));
        bits = le16(dib, 14);
        const quint32 compression = le32(dib, 16);
        const quint32 used = le32(dib, 32);
        if (used > 256 && bits <= 8)
            return refuse(QStringLiteral("tavolozza BMP non valida"));
        colours = used ? used : (bits <= 8 ? (qint64(1) << bits) : 0);
        // Bit fields follow the short header as three masks.
        if (headerSize == 40 && (compression == 3 || compression == 6))
            masks = compression == 3 ? 12 : 16;
    } else {
        return refuse(QStringLiteral("intestazione BMP non valida"));
    }
    switch (bits) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return refuse(QStringLiteral("profondità di colore BMP non valida (%1 bit)").arg(bits));
    }
    height = height < 0 ? -height : height;
    if (width <= 0 || height <= 0 || width > 32768 || height > 32768)
        return refuse(QStringLiteral("dimensioni BMP non valide (%1×%2)").arg(width).arg(height));
    const qint64 pixels = qint64(headerSize) + masks + colours * colourSize;
    if (colours > 65536 || pixels > dib.size())
        return refuse(QStringLiteral("immagine BMP troncata"));
    QByteArray bmp(14, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    qToLittleEndian<quint32>(quint32(14 + dib.size()), bmp.data() + 2);
    qToLittleEndian<quint32>(quint32(14 + pixels), bmp.data() + 10);
    return bmp + dib;
}

Picture fromDwg(QIODevice &device)
{
    QByteArray head;
    if (!readAt(device, 0, kImageAddress + 4, &head))
        return failed(QStringLiteral("file troppo corto per un disegno DWG"));
    if (!head.startsWith("AC10") || head.at(4) < '0' || head.at(4) > '9' || head.at(5) < '0' || head.at(5) > '9')
        return failed(QStringLiteral("non è un disegno DWG"));
    // Releases before 13 keep no picture at this address.
    if (head.left(6) < QByteArray("AC1012"))
        return {};
    const qint64 size = device.size();
    const qint64 address = le32(head, int(kImageAddress));
    if (address == 0)
        return {};
    QByteArray start;
    if (address > size - 16 - 5 || !readAt(device, address, 16 + 5, &start))
        return failed(QStringLiteral("indirizzo dell'anteprima oltre la fine del file"));
    if (!start.startsWith(QByteArray::fromRawData(kStart, 16)))
        return failed(QStringLiteral("segno d'inizio dell'anteprima assente"));
    const qint64 overall = le32(start, 16);
    const int count = quint8(start.at(20));
    if (overall > size - address - 20)
        return failed(QStringLiteral("anteprima oltre la fine del file"));
    QByteArray entries;
    if (!readAt(device, address + 21, qint64(count) * 9, &entries))
        return failed(QStringLiteral("elenco dell'anteprima oltre la fine del file"));
    // A PNG is preferred to a BMP when a drawing keeps both.
    qint64 chosenStart = -1;
    qint64 chosenSize = 0;
    int chosen = 0;
    for (int i = 0; i < count; ++i) {
        const int code = quint8(entries.at(i * 9));
        if (code != Bmp && code != Png)
            continue;   // the header entry, a WMF, or an entry of a later release
        if (chosen == Png)
            continue;
        chosen = code;
        chosenStart = le32(entries, i * 9 + 1);
        chosenSize = le32(entries, i * 9 + 5);
    }
    if (!chosen)
        return {};
    if (chosenSize > kMaxPicture)
        return failed(QStringLiteral("anteprima troppo grande (%1 byte)").arg(chosenSize));
    QByteArray bytes;
    if (chosenSize == 0 || chosenStart > size || chosenSize > size - chosenStart)
        return failed(QStringLiteral("anteprima oltre la fine del file"));
    if (!readAt(device, chosenStart, chosenSize, &bytes))
        return failed(QStringLiteral("lettura dell'anteprima non riuscita: %1").arg(device.errorString()));
    Picture p;
    if (chosen == Png) {
        if (!isPng(bytes))
            return failed(QStringLiteral("immagine PNG non valida"));
        p.bytes = bytes;
        p.format = "png";
        return p;
    }
    p.bytes = bmpFromDib(bytes, &p.error);
    if (!p.bytes.isEmpty())
        p.format = "bmp";
    return p;
}

Picture fromDxf(QIODevice &device)
{
    const qint64 size = device.size();
    QByteArray head;
    if (readAt(device, 0, qMin<qint64>(size, 22), &head) && head.startsWith("AutoCAD Binary DXF"))
        return {};   // a binary DXF: its pictures are not looked for
    const qint64 from = qMax<qint64>(0, size - kDxfTail);
    QByteArray tail;
    if (!readAt(device, from, size - from, &tail))
        return failed(QStringLiteral("lettura del file non riuscita: %1").arg(device.errorString()));
    // The section's name line, after a group code 2 line.
    qsizetype at = tail.lastIndexOf("THUMBNAILIMAGE");
    for (; at >= 0; at = at > 0 ? tail.lastIndexOf("THUMBNAILIMAGE", at - 1) : -1) {
        const qsizetype lineStart = tail.lastIndexOf('\n', at) + 1;
        qsizetype lineEnd = tail.indexOf('\n', at);
        if (lineEnd < 0)
            lineEnd = tail.size();
        if (tail.mid(lineStart, lineEnd - lineStart).trimmed() != "THUMBNAILIMAGE" || lineStart < 2)
            continue;
        const qsizetype codeStart = tail.lastIndexOf('\n', lineStart - 2) + 1;
        if (tail.mid(codeStart, lineStart - 1 - codeStart).trimmed() == "2")
            break;
    }
    if (at < 0)
        return {};
    qsizetype pos = tail.indexOf('\n', at);
    const auto nextLine = [&](QByteArray *line) {
        if (pos < 0 || pos >= tail.size())
            return false;
        const qsizetype begin = pos + 1;
        qsizetype end = tail.indexOf('\n', begin);
        if (end < 0)
            end = tail.size();
        *line = tail.mid(begin, end - begin).trimmed();
        pos = end;
        return begin < tail.size();
    };
    qint64 declared = -1;
    QByteArray dib;
    QByteArray code;
    QByteArray value;
    bool ended = false;
    while (nextLine(&code) && nextLine(&value)) {
        bool ok = false;
        const int group = code.toInt(&ok);
        if (!ok)
            return failed(QStringLiteral("codice di gruppo DXF non valido"));
        if (group == 0) {
            ended = true;
            break;
        }
        if (group == 90) {
            declared = value.toLongLong(&ok);
            if (!ok || declared < 0)
                return failed(QStringLiteral("dimensione dell'anteprima non valida"));
            if (declared > kMaxPicture)
                return failed(QStringLiteral("anteprima troppo grande (%1 byte)").arg(declared));
        } else if (group == 310) {
            if (value.size() % 2)
                return failed(QStringLiteral("cifre esadecimali dell'anteprima non valide"));
            for (char c : value)
                if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
                    return failed(QStringLiteral("cifre esadecimali dell'anteprima non valide"));
            dib += QByteArray::fromHex(value);
            if (dib.size() > kMaxPicture)
                return failed(QStringLiteral("anteprima troppo grande"));
        }
    }
    if (declared <= 0 && dib.isEmpty())
        return {};
    if (!ended || declared < 0 || dib.size() != declared)
        return failed(QStringLiteral("anteprima troncata"));
    Picture p;
    p.bytes = bmpFromDib(dib, &p.error);
    if (!p.bytes.isEmpty())
        p.format = "bmp";
    return p;
}

} // namespace DwgPicture
