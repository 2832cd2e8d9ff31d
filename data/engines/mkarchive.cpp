// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the empty archive that ships beside the program. An existing file is
// left alone: it may hold an office's data.
#include "data/engines/SqliteStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "uso: velbor_mkarchive <file>\n";
        return 2;
    }
    if (QFileInfo::exists(args[1]))
        return 0;
    QString error;
    if (!SqliteStore::createArchive(args[1], &error)) {
        QTextStream(stderr) << error << '\n';
        return 1;
    }
    return 0;
}
