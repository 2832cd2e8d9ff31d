// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any bytes read as notes, written back, and read again give
// the same document, and the second write the same bytes. Pictures, tables,
// lists, links and kept groups take part like text.
#include "components/rtf/Rtf.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_rtf";
        static char *argv[] = {name, nullptr};
        new QGuiApplication(argc, argv);
        // Image plugins warn about every damaged picture; that is no finding
        // and printing it costs most of the run.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    }
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    QTextDocument first;
    Rtf::read(input, &first);
    const QByteArray once = Rtf::write(&first);
    QTextDocument second;
    Rtf::read(once, &second);
    if (second.toPlainText() != first.toPlainText() || second.blockCount() != first.blockCount()
        || Rtf::write(&second) != once)
        abort();
    return 0;
}
