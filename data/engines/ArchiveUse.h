// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Marks an archive as in use for as long as the object holds it: a lock on a
// small file beside the archive ("Velbor.mdb-uso"). Every running program
// holds it shared; the administration tool takes it alone before it rewrites
// the archive, so it never does while a workstation has the archive open.

#include <QString>

class ArchiveUse {
public:
    enum class Mode { Shared, Alone };

    ArchiveUse() = default;
    ~ArchiveUse();
    ArchiveUse(const ArchiveUse &) = delete;
    ArchiveUse &operator=(const ArchiveUse &) = delete;

    // Takes the mark without waiting. False, with a message, when another
    // holder stands in the way. A mark file that cannot be made (a folder
    // without write access) is no obstacle for a shared holder.
    bool acquire(const QString &archivePath, Mode mode, QString *error);
    void release();

    static QString markPath(const QString &archivePath);

private:
    int m_fd = -1;
};
