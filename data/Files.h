// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files in a shared data folder: joining paths, writing a file whole or not
// at all, making a new file never over another, opening only regular files,
// and keeping every path inside the data folder. Used by the data layer and
// by the windows alike.

#include <QString>

#include <functional>

class QFile;

namespace Files {
// folder + separator + name, with the platform's separator.
QString join(const QString &folder, const QString &name);
// Folder of a path: the path without its last component and the separator before it.
QString folderOf(const QString &path);
// A file name, or for n > 1 the same name numbered before its extension:
// "pianta (2).dwg", so that a new file never takes an existing one's name.
QString numbered(const QString &name, int n);

// Replaces a file whole or not at all (a crash mid-write leaves the old one).
bool writeAtomically(const QString &path, const QByteArray &content, QString *error = nullptr);

// Makes path a new file holding content, never over anything already there:
// a file, a folder or a symbolic link (dangling or not, never followed) under
// that name gives Taken and changes nothing. The content is written whole to
// a temporary file in the same folder first, then linked under the name, so
// another workstation never reads half a file; where the folder takes no hard
// links (some shares), the file is made with an exclusive create and written
// in place, and removed again when the write fails.
enum class NewFile { Written, Taken, Failed };
NewFile writeNewFile(const QString &path, const QByteArray &content, QString *error = nullptr);
// The same for a copy of the regular file source (read in pieces, never
// whole in memory).
NewFile copyToNewFile(const QString &source, const QString &path, QString *error = nullptr);
// Tests: false makes writeNewFile behave as on a folder without hard links.
void setHardLinksUsable(bool usable);
// Tests: called with the final name just before a written file is put in
// place (by writeAtomically and writeNewFile), to play another workstation
// saving at that moment.
void setBeforePlacing(const std::function<void(const QString &path)> &hook);

// Opens path for reading when it is a regular file (links followed). A FIFO,
// a device, a socket or a folder is refused without waiting on it: opening a
// FIFO for reading would block until some writer came. False, with the
// reason in Italian in *error, when the path is missing, refused or unreadable.
bool openRegularFile(QFile &file, const QString &path, QString *error = nullptr);
// The refusal for a path that is there but is no regular file (a folder, a
// FIFO, a device, a socket); empty for a regular file or a missing path.
QString notAFile(const QString &path);

// True when name can be one folder name inside another folder on every kind of
// share: not empty, not "." or "..", free of / \ : * ? " < > | and control
// characters, not ending in a space or a dot, and not a device name (CON, PRN,
// AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an extension).
bool isSafeFolderName(const QString &name);

// True when path, read or written as a file or made as a folder, stays inside
// root: no symbolic link on the way (the path itself included, dangling or
// not) leads outside it. A path that does not exist yet counts by its folder.
bool staysInside(const QString &path, const QString &root);
// Whether a canonical path is root itself or lies below it.
bool within(const QString &canonical, const QString &canonicalRoot);
}
