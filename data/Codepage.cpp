// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Codepage.h"

#include <QStringDecoder>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {
// 0x80..0x9F; 0 marks the five unassigned bytes, read as the C1 control.
const char16_t kHigh[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
                            0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
}

namespace Codepage {

QString fromWindows1252(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b <= 0x9F && kHigh[b - 0x80])
            out.append(QChar(kHigh[b - 0x80]));
        else
            out.append(QChar(b));
    }
    return out;
}

int toWindows1252(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == u && u != 0)
            return 0x80 + i;
    if (u >= 0x80 && u <= 0x9F) {
        const int i = u - 0x80;
        if (!kHigh[i])
            return u;
    }
    return -1;
}

QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return fromWindows1252(bytes);
}

#ifdef _WIN32
QString fromSystemCodepage(const QByteArray &bytes, int codepage)
{
    if (bytes.isEmpty())
        return QString(QLatin1String(""));
    const int length = MultiByteToWideChar(UINT(codepage), 0, bytes.constData(), int(bytes.size()), nullptr, 0);
    if (length <= 0)
        return {};
    QString text(length, Qt::Uninitialized);
    MultiByteToWideChar(UINT(codepage), 0, bytes.constData(), int(bytes.size()),
                        reinterpret_cast<wchar_t *>(text.data()), length);
    return text;
}
#endif

} // namespace Codepage
