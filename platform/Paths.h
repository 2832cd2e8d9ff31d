#pragma once
// The program's folder, the working folder and path joining.

#include <QString>

namespace Paths {
// Folder of the program's executable (tests point it elsewhere).
QString programFolder();
void setProgramFolder(const QString &folder);

// folder + separator + name, with the platform's separator.
QString join(const QString &folder, const QString &name);
// Folder of a path: the path without its last component and the separator before it.
QString folderOf(const QString &path);

// Makes folder the working folder; false (and nothing changed) when it cannot.
bool setWorkingFolder(const QString &folder);

// Replaces a file whole or not at all (a crash mid-write leaves the old one).
bool writeAtomically(const QString &path, const QByteArray &content, QString *error = nullptr);

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
