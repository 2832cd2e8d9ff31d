// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Making a new file in a folder that other users can write (the shared data
// folder, a backup folder): the work is done in a folder of this process's
// own, made new under a random name and open to this user only, so nothing
// planted under a predictable name (a symbolic link to another file) is ever
// written through; the finished file then takes its name only if nothing
// has it.

#include <QString>

class WorkFolder {
public:
    // A new folder beside path (the final file), on the same file system.
    explicit WorkFolder(const QString &path);
    ~WorkFolder();
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;

    bool ok() const { return !m_path.isEmpty(); }
    // Why the folder could not be made.
    const QString &error() const { return m_error; }
    // A name inside the folder.
    QString file(const QString &name) const;

private:
    QString m_path;
    QString m_error;
};

// Gives the finished file from its final name to, never over anything that
// has that name already (a file, a folder, a symbolic link, dangling or
// not). False, with the reason in Italian, and from left as it was.
bool placeNewFile(const QString &from, const QString &to, QString *error);

// True when anything has the name path, a dangling symbolic link included.
bool nameTaken(const QString &path);

// Writes content into a new file of this user's own at path: refused when
// anything already has that name (never through a link).
bool writeExclusive(const QString &path, const QByteArray &content, QString *error);
