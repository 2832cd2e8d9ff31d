// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/WorkFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}
} // namespace

WorkFolder::WorkFolder(const QString &path)
{
    const QFileInfo info(path);
    // mkdtemp makes the folder new (never an existing one) with mode 0700.
    QByteArray pattern = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName().left(100)
                                           + QStringLiteral(".XXXXXX"));
    if (::mkdtemp(pattern.data())) {
        m_path = QFile::decodeName(pattern);
        return;
    }
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
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool placeNewFile(const QString &from, const QString &to, QString *error)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    const auto taken = [&] {
        *error = QStringLiteral("%1 esiste già: non viene sostituito.").arg(QDir::toNativeSeparators(to));
        return false;
    };
    const auto failed = [&](int err) {
        *error = QStringLiteral("Impossibile dare al file il nome %1: %2").arg(QDir::toNativeSeparators(to), systemError(err));
        return false;
    };
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return taken();
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return failed(errno);
    // A file system without the no-replace rename: a hard link is refused
    // just as well when the name is taken.
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return true;
    }
    if (errno == EEXIST)
        return taken();
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return failed(errno);
    // Nor hard links (some shares): the name is checked, then taken.
    if (nameTaken(to))
        return taken();
    if (::rename(source.constData(), target.constData()) == 0)
        return true;
    return failed(errno);
}

bool writeExclusive(const QString &path, const QByteArray &content, QString *error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = errno == EEXIST ? QStringLiteral("%1 esiste già: non viene sostituito.").arg(QDir::toNativeSeparators(path))
                                 : QStringLiteral("Impossibile creare %1: %2").arg(QDir::toNativeSeparators(path), systemError(errno));
        return false;
    }
    qsizetype done = 0;
    errno = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + done, size_t(content.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    const int writeError = done == content.size() ? 0 : (errno ? errno : EIO);
    const bool synced = writeError == 0 && ::fsync(fd) == 0;
    const int syncError = errno;
    ::close(fd);
    if (writeError == 0 && synced)
        return true;
    ::unlink(QFile::encodeName(path).constData());
    *error = QStringLiteral("Impossibile scrivere %1: %2").arg(QDir::toNativeSeparators(path),
                                                              systemError(writeError ? writeError : syncError));
    return false;
}
