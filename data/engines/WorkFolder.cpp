// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/WorkFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "data/SysFile.h"

#include <cerrno>

namespace {
QString systemError(int err)
{
    return SysFile::errorText(err);
}
} // namespace

WorkFolder::WorkFolder(const QString &path)
{
    const QFileInfo info(path);
    m_path = SysFile::makeFolder(info.absolutePath() + QStringLiteral("/.") + info.fileName().left(100) + QLatin1Char('.'));
    if (!m_path.isEmpty())
        return;
    m_error = QStringLiteral("Impossibile creare una cartella di lavoro accanto a %1: %2")
                  .arg(QDir::toNativeSeparators(path), systemError(errno));
}

WorkFolder::~WorkFolder()
{
    // Only this user could put anything inside: removing it whole is safe.
    if (!m_path.isEmpty())
        QDir(m_path).removeRecursively();
}

QString WorkFolder::file(const QString &name) const
{
    return m_path + QLatin1Char('/') + name;
}

bool nameTaken(const QString &path)
{
    return SysFile::exists(path);
}

bool placeNewFile(const QString &from, const QString &to, QString *error)
{
    const auto taken = [&] {
        *error = QStringLiteral("%1 esiste già: non viene sostituito.").arg(QDir::toNativeSeparators(to));
        return false;
    };
    const auto failed = [&](int err) {
        *error = QStringLiteral("Impossibile dare al file il nome %1: %2").arg(QDir::toNativeSeparators(to), systemError(err));
        return false;
    };
    if (SysFile::renameNoReplace(from, to))
        return true;
    if (errno == EEXIST)
        return taken();
    if (!SysFile::unsupported(errno))
        return failed(errno);
    // A file system without the no-replace rename: a hard link is refused
    // just as well when the name is taken.
    if (SysFile::hardLink(from, to)) {
        SysFile::remove(from);
        return true;
    }
    if (errno == EEXIST)
        return taken();
    if (!SysFile::unsupported(errno))
        return failed(errno);
    // Nor hard links (some shares): the name is checked, then taken.
    if (nameTaken(to))
        return taken();
    if (QFile::rename(from, to))
        return true;
    return failed(EIO);
}

bool writeExclusive(const QString &path, const QByteArray &content, QString *error)
{
    const int fd = SysFile::createNew(path);
    if (fd < 0) {
        *error = errno == EEXIST ? QStringLiteral("%1 esiste già: non viene sostituito.").arg(QDir::toNativeSeparators(path))
                                 : QStringLiteral("Impossibile creare %1: %2").arg(QDir::toNativeSeparators(path), systemError(errno));
        return false;
    }
    const bool written = SysFile::writeAll(fd, content);
    const int writeError = errno;
    SysFile::close(fd);
    if (written)
        return true;
    SysFile::remove(path);
    *error = QStringLiteral("Impossibile scrivere %1: %2").arg(QDir::toNativeSeparators(path), systemError(writeError));
    return false;
}
