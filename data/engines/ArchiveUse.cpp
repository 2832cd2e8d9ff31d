// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/ArchiveUse.h"

#include "data/SysFile.h"

#include <cerrno>

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
    // Never through a symbolic link: anyone who can write the data folder
    // could point one at a file elsewhere, which would be made or opened.
    m_fd = SysFile::openOrCreate(markPath(archivePath));
    if (m_fd < 0) {
        const int why = errno;
        if (mode == Mode::Shared)
            return true;
        *error = why == ELOOP ? QStringLiteral("%1 è un collegamento simbolico, non il file di blocco dell'archivio: "
                                               "eliminarlo e riprovare.")
                                    .arg(markPath(archivePath))
                              : QStringLiteral("Impossibile creare %1: %2").arg(markPath(archivePath), SysFile::errorText(why));
        return false;
    }
    if (SysFile::lockFirstByte(m_fd, mode == Mode::Shared))
        return true;
    const int why = errno;
    release();
    if (why == EAGAIN) {
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
                 .arg(archivePath, SysFile::errorText(why));
    return false;
}

void ArchiveUse::release()
{
    if (m_fd >= 0)
        SysFile::close(m_fd);
    m_fd = -1;
}
