// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsFiles.h"

#include "data/Codepage.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFile>

#include <limits>

namespace {
const QString kServer = QStringLiteral("SERVER.DAT");
const QString kCounter = QStringLiteral("MAXPRJ.DAT");
// A longer line is no folder path: the file counts as unreadable.
constexpr qint64 kMaxLine = 32 * 1024;
// An administrator's file larger than this is no settings file.
constexpr qint64 kMaxAdminFile = 64 * 1024;

// The first line of a file without its line end; null when the file is
// missing, unreadable, no regular file (a FIFO is never waited on), empty or
// not a line of text.
QString firstLine(const QString &path)
{
    QFile file;
    if (!Paths::openRegularFile(file, path))
        return {};
    const QByteArray head = file.read(kMaxLine + 2);
    int end = head.indexOf('\n');
    if (end < 0) {
        if (head.size() > kMaxLine)
            return {};
        end = int(head.size());
    }
    QByteArray line = head.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty() || line.contains('\0'))
        return {};
    return Codepage::decodeText(line);
}

// An administrator's file, written by hand: the first line that is neither
// blank nor a comment, without the spaces around it. Null when there is none
// (an empty or comment-only file names no folder), or when the file is
// missing, no regular file, too large for a settings file or not text.
QString settingLine(const QString &path)
{
    QFile file;
    if (!Paths::openRegularFile(file, path))
        return {};
    const QByteArray text = file.read(kMaxAdminFile + 1);
    if (text.size() > kMaxAdminFile || text.contains('\0'))
        return {};
    for (const QByteArray &raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.size() > kMaxLine)
            return {};
        return Codepage::decodeText(line);
    }
    return {};
}

QString g_adminFolder = QStringLiteral("/etc/velbor");

QString writeFile(const QString &path, const QByteArray &content)
{
    QString error;
    Paths::writeAtomically(path, content, &error);
    return error;
}
QByteArray serverLine(const QString &folder)
{
    return folder.toUtf8() + "\r\n";
}

QByteArray counterLine(int counter)
{
    return (counter < 0 ? QByteArray() : QByteArray(" ")) + QByteArray::number(counter) + "\r\n";
}

} // namespace

namespace SettingsFiles {

QString adminFolder()
{
    return g_adminFolder;
}

void setAdminFolder(const QString &folder)
{
    g_adminFolder = folder;
}

bool readAdminDataFolder(RunState &state, const QString &programFolder)
{
    for (const QString &folder : {adminFolder(), programFolder}) {
        const QString dataFolder = settingLine(Paths::join(folder, kServer));
        if (!dataFolder.isNull()) {
            state.PercorsoDati = dataFolder;
            return true;
        }
    }
    return false;
}

bool read(RunState &state, const QString &folder)
{
    const QString dataFolder = firstLine(Paths::join(folder, kServer));
    const bool fromFile = !dataFolder.isNull();
    if (fromFile)
        state.PercorsoDati = dataFolder;
    const QString counter = firstLine(Paths::join(folder, kCounter));
    if (!counter.isNull()) {
        bool ok = false;
        const qlonglong n = counter.trimmed().toLongLong(&ok);
        if (ok && n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max())
            state.ContatoreComponenti = int(n);
    }
    return fromFile;
}

QString nextDataFolder(const RunState &state)
{
    if (!state.ServerScelto.isEmpty())
        return state.ServerScelto;
    if (!state.CartellaConfigurata.isEmpty())
        return state.CartellaConfigurata;
    return state.PercorsoDati;
}

QString write(const RunState &state, const QString &folder)
{
    if (!QDir().mkpath(QDir::fromNativeSeparators(folder)))
        return QStringLiteral("Impossibile creare la cartella %1 per i file %2 e %3.").arg(folder, kCounter, kServer);
    QString error = writeFile(Paths::join(folder, kCounter), counterLine(state.ContatoreComponenti));
    const QString serverError = writeFile(Paths::join(folder, kServer), serverLine(nextDataFolder(state)));
    if (error.isEmpty())
        error = serverError;
    else if (!serverError.isEmpty())
        error += QLatin1Char('\n') + serverError;
    return error;
}

} // namespace SettingsFiles
