// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The preview picture that CAD programs keep inside a drawing: in a DWG, the
// entries behind the header's image address (a BMP up to release 2010, a PNG
// from 2013 on); in a DXF, the THUMBNAILIMAGE section. Bytes in, bytes out:
// only what the picture needs is read, through seeks and small reads.

#include <QByteArray>
#include <QString>

class QIODevice;

namespace DwgPicture {

// No picture is larger than this, and no address or size past it is followed.
constexpr qint64 kMaxPicture = 16 * 1024 * 1024;
// A DXF's thumbnail lies in its last section: only this much of its end is read.
constexpr qint64 kDxfTail = 4 * 1024 * 1024;

struct Picture {
    QByteArray bytes;  // a whole BMP or PNG file, empty when there is none
    QByteArray format; // "bmp" or "png"
    QString error;     // why there is none, in Italian
    // Both empty: the file keeps no picture (none was saved, or only a WMF).
    bool none() const { return bytes.isEmpty() && error.isEmpty(); }
};

// device: open for reading, random access.
Picture fromDwg(QIODevice &device);
Picture fromDxf(QIODevice &device);

// A BMP file from a DIB (a bitmap's header, colours and pixels, as drawings
// keep it); empty, with the reason in *error, when the header does not hold.
QByteArray bmpFromDib(const QByteArray &dib, QString *error);

} // namespace DwgPicture
