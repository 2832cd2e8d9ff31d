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

// True when name can be one folder name inside another folder: not empty, not
// "." or "..", and free of / \ : * ? " < > | and control characters.
bool isSafeFolderName(const QString &name);
}
