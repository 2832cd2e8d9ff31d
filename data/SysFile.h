// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The few file-system calls Qt does not offer, on Linux and on Windows:
// making a file that must be new, never through a symbolic link; writing it
// to the disk; hard links and renames that never replace a name; a lock on
// a file's first byte; a private new folder. Failures set errno (Windows
// errors are mapped onto the errno values callers look at), and errorText
// says them in the system's words.

#include <QByteArray>
#include <QString>

namespace SysFile {

QString errorText(int err);

// A new file, write-only; -1 with errno EEXIST when the name is taken (by a
// link too, which is never followed).
int createNew(const QString &path);
// The file, read-write, made when missing; never through a symbolic link
// (errno ELOOP).
int openOrCreate(const QString &path);
// All of content, then to the disk (file systems that take no sync count as
// written).
bool writeAll(int fd, const QByteArray &content);
bool sync(int fd);
// False with errno when the system reports a late write error at close.
bool close(int fd);
bool remove(const QString &path);

// Whether anything (a file, folder or link) has the name.
bool exists(const QString &path);
// A second name for from; never replaces to (errno EEXIST). Where the file
// system has no hard links errno is one of ENOTSUP, EPERM, ENOSYS, EMLINK.
bool hardLink(const QString &from, const QString &to);
// Renames from to to only when to is free (errno EEXIST when taken; EINVAL,
// ENOSYS or ENOTSUP where the system cannot promise it).
bool renameNoReplace(const QString &from, const QString &to);
// Whether errno, after hardLink or renameNoReplace, means "not on this file system".
bool unsupported(int err);

// A lock on fd's first byte, shared or exclusive, without waiting; false
// with errno EAGAIN when another holder has it.
bool lockFirstByte(int fd, bool shared);

// A new folder named prefix followed by six random characters, that only
// this user may enter; empty with errno on failure.
QString makeFolder(const QString &prefix);

}
