// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any bytes read as a DWG and as a DXF give either a
// picture or a reason, never both; a picture is a whole BMP file whose sizes
// agree, or a PNG, never above the cap; and no read goes past the end.
#include "components/preview/DwgPicture.h"

#include <QBuffer>
#include <QtEndian>

#include <cstdint>
#include <cstdlib>

namespace {

void check(const DwgPicture::Picture &p)
{
    if (!p.bytes.isEmpty() && !p.error.isEmpty())
        abort();
    if (p.bytes.isEmpty())
        return;
    if (p.bytes.size() > DwgPicture::kMaxPicture + 14)
        abort();
    if (p.format == "png") {
        if (!p.bytes.startsWith("\x89PNG"))
            abort();
    } else if (p.format == "bmp") {
        if (p.bytes.size() < 14 + 12 || !p.bytes.startsWith("BM")
            || qFromLittleEndian<quint32>(p.bytes.constData() + 2) != quint32(p.bytes.size())
            || qFromLittleEndian<quint32>(p.bytes.constData() + 10) > quint32(p.bytes.size()))
            abort();
    } else {
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    check(DwgPicture::fromDwg(buffer));
    check(DwgPicture::fromDxf(buffer));
    QString error;
    const QByteArray bmp = DwgPicture::bmpFromDib(input, &error);
    if (bmp.isEmpty() == error.isEmpty())
        abort();
    return 0;
}
