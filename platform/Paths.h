// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's folder, where this copy keeps its own files, the working
// folder, path joining, and reading and writing files in shared folders.

#include <QString>

#include <functional>

class QFile;

namespace Paths {
// Folder of the program's executable (tests point it elsewhere, and may have
// it taken for a folder this copy cannot write).
QString programFolder();
void setProgramFolder(const QString &folder, bool actReadOnly = false);

// Where this copy keeps SERVER.DAT, MAXPRJ.DAT and the fallback archive,
// decided once per program folder. A copy that can write its own folder (a
// build folder, a copy on a share, a portable folder) keeps them beside the
// program. An installed copy, or one whose folder it cannot write, keeps them
// in the user's folders: Qt's configuration location of the application for
// the settings files, its data location for the fallback archive.
// A copy counts as installed when its shipped files lie in ../share/velbor,
// as the install rules lay them out (/usr/bin/velbor beside
// /usr/share/velbor): so it never writes into /usr, not even when run by root.
bool keepsFilesBesideProgram();
// Folder of SERVER.DAT and MAXPRJ.DAT.
QString settingsFolder();
// Folder of the fallback archive, and the working folder.
QString localFolder();
// The empty archive this copy ships: in ../share/velbor when installed, else
// beside the program.
QString shippedArchive();
// In the user's folders, makes the fallback archive from the shipped one when
// there is none yet. Returns the error, empty on success.
QString ensureLocalArchive();

// The file that a component's stored path stands for on this workstation: the
// stored path itself when it names a file here. Otherwise (a path written on
// another workstation, with a drive letter and backslashes or under another
// mount point) the longest tail of it, split at \ and /, that names a file
// inside dataFolder; never through a "." or ".." step, nor through a symbolic
// link that leads outside dataFolder. Empty when nothing matches.
QString findComponent(const QString &stored, const QString &dataFolder);

// folder + separator + name, with the platform's separator.
QString join(const QString &folder, const QString &name);
// Folder of a path: the path without its last component and the separator before it.
QString folderOf(const QString &path);

// Makes folder the working folder; false (and nothing changed) when it cannot.
bool setWorkingFolder(const QString &folder);

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
}
