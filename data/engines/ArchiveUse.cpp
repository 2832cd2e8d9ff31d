// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/ArchiveUse.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Locks owned by the open file, not the process: a second handle closed
// elsewhere in the program does not drop them.
#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif
} // namespace

ArchiveUse::~ArchiveUse()
{
    release();
}

QString ArchiveUse::markPath(const QString &archivePath)
{
    return archivePath + QStringLiteral("-uso");
}

bool ArchiveUse::acquire(const QString &archivePath, Mode mode, QString *error)
{
    release();
    const QByteArray path = QFile::encodeName(markPath(archivePath));
    // Never through a symbolic link: anyone who can write the data folder
    // could point one at a file elsewhere, which would be made or opened.
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        const int why = errno;
        if (mode == Mode::Shared)
            return true;
        *error = why == ELOOP ? QStringLiteral("%1 è un collegamento simbolico, non il file di blocco dell'archivio: "
                                               "eliminarlo e riprovare.")
                                    .arg(markPath(archivePath))
                              : QStringLiteral("Impossibile creare %1: %2").arg(markPath(archivePath), QString::fromLocal8Bit(strerror(why)));
        return false;
    }
    struct flock lock {};
    lock.l_type = mode == Mode::Shared ? F_RDLCK : F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    if (::fcntl(m_fd, kSetLock, &lock) == 0)
        return true;
    const int why = errno;
    release();
    if (why == EAGAIN || why == EACCES) {
        *error = mode == Mode::Shared
                     ? QStringLiteral("L'archivio %1 è in manutenzione: riprovare al termine dell'operazione.").arg(archivePath)
                     : QStringLiteral("L'archivio %1 è in uso: chiudere Velbor su tutte le postazioni e riprovare.")
                           .arg(archivePath);
        return false;
    }
    // A share without locks cannot tell: a shared holder goes on, a writer stops.
    if (mode == Mode::Shared)
        return true;
    *error = QStringLiteral("Impossibile verificare che l'archivio %1 non sia in uso: %2")
                 .arg(archivePath, QString::fromLocal8Bit(strerror(why)));
    return false;
}

void ArchiveUse::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
