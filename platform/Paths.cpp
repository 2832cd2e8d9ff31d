// SPDX-License-Identifier: GPL-3.0-or-later
#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <optional>

namespace {
const QString kArchiveName = QStringLiteral("Velbor.mdb");
const QString kSharedFolder = QStringLiteral("../share/velbor");

QString g_programFolder;
bool g_actReadOnly = false;

struct Places {
    bool besideProgram = true;
    QString settings;
    QString local;
    QString shipped;
};
std::optional<Places> g_places;

// A folder can be written when a file can be made in it: the permission bits
// alone do not tell (a read-only mount, a share's own rules).
bool canWriteIn(const QString &folder)
{
    QTemporaryFile probe(QDir::fromNativeSeparators(folder) + QStringLiteral("/.velbor-XXXXXX"));
    return probe.open();
}

const Places &places()
{
    if (g_places)
        return *g_places;
    Places p;
    const QString program = Paths::programFolder();
    const QString shared = QDir::cleanPath(QDir::fromNativeSeparators(program) + QLatin1Char('/') + kSharedFolder);
    const bool installed = QFileInfo(shared + QLatin1Char('/') + kArchiveName).isFile();
    p.besideProgram = !installed && !g_actReadOnly && canWriteIn(program);
    p.shipped = Paths::join(installed ? QDir::toNativeSeparators(shared) : program, kArchiveName);
    if (p.besideProgram) {
        p.settings = p.local = program;
    } else {
        p.settings = QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
        p.local = QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    }
    g_places = p;
    return *g_places;
}
} // namespace

namespace Paths {

QString programFolder()
{
    if (!g_programFolder.isEmpty())
        return g_programFolder;
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

void setProgramFolder(const QString &folder, bool actReadOnly)
{
    g_programFolder = QDir::toNativeSeparators(folder);
    g_actReadOnly = actReadOnly;
    g_places.reset();
}

bool keepsFilesBesideProgram()
{
    return places().besideProgram;
}

QString settingsFolder()
{
    return places().settings;
}

QString localFolder()
{
    return places().local;
}

QString shippedArchive()
{
    return places().shipped;
}

QString ensureLocalArchive()
{
    const Places &p = places();
    if (p.besideProgram)
        return {};
    const QString target = join(p.local, kArchiveName);
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        return {};
    const QString failed = QStringLiteral("Impossibile creare l'archivio %1: %2");
    if (!QDir().mkpath(QDir::fromNativeSeparators(p.local)))
        return failed.arg(target, QStringLiteral("la cartella non può essere creata."));
    if (!QFileInfo(QDir::fromNativeSeparators(p.shipped)).isFile())
        return failed.arg(target, QStringLiteral("manca l'archivio vuoto %1.").arg(p.shipped));
    // QFile::copy writes a temporary file and renames it: an interrupted copy
    // never leaves half an archive under the real name.
    QFile source(QDir::fromNativeSeparators(p.shipped));
    if (!source.copy(QDir::fromNativeSeparators(target)))
        return failed.arg(target, source.errorString());
    // The shipped file may be read-only; the user's copy must take saves.
    QFile copy(QDir::fromNativeSeparators(target));
    copy.setPermissions(copy.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    return {};
}

QString join(const QString &folder, const QString &name)
{
    QString base = QDir::fromNativeSeparators(folder);
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return QDir::toNativeSeparators(base + name);
}

QString folderOf(const QString &path)
{
    const QString p = QDir::fromNativeSeparators(path);
    const int slash = p.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return QDir::toNativeSeparators(slash == 0 ? QStringLiteral("/") : p.left(slash));
}

bool setWorkingFolder(const QString &folder)
{
    return !folder.isEmpty() && QDir::setCurrent(folder);
}

bool writeAtomically(const QString &path, const QByteArray &content, QString *error)
{
    QSaveFile file(path);
    // QSaveFile buffers, and a write that fails only when the buffer goes out
    // (a full disk) leaves commit() still willing to rename a short file over
    // the real one: every step is checked, and the old file stays on failure.
    bool ok = file.open(QIODevice::WriteOnly);
    for (qint64 done = 0; ok && done < content.size();) {
        // A short write is retried, so the next one tells the system's reason.
        const qint64 n = file.write(content.constData() + done, content.size() - done);
        ok = n > 0;
        done += n;
    }
    ok = ok && file.flush() && file.error() == QFileDevice::NoError;
    QString reason = file.error() == QFileDevice::NoError ? QStringLiteral("scrittura incompleta") : file.errorString();
    if (ok) {
        ok = file.commit();
        reason = file.errorString();
    } else if (file.isOpen()) {
        file.cancelWriting();
        file.commit();   // removes the temporary file, leaves the old one
    }
    if (ok)
        return true;
    if (error)
        *error = QStringLiteral("Impossibile salvare il file %1: %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
}

bool isSafeFolderName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("/\\:*?\"<>|").contains(c))
            return false;
    }
    // A Windows or Samba share drops a trailing space or dot ("P5 " is "P5").
    if (name.endsWith(QLatin1Char(' ')) || name.endsWith(QLatin1Char('.')))
        return false;
    // Device names are no folders there, whatever follows the first dot.
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList devices = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                        QStringLiteral("NUL")};
    if (devices.contains(stem))
        return false;
    if (stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
        && stem.at(3) >= QLatin1Char('1') && stem.at(3) <= QLatin1Char('9'))
        return false;
    return true;
}

namespace {
bool within(const QString &canonical, const QString &canonicalRoot)
{
    if (canonical.isEmpty() || canonicalRoot.isEmpty())
        return false;
    return canonical == canonicalRoot
           || canonical.startsWith(canonicalRoot.endsWith(QLatin1Char('/')) ? canonicalRoot
                                                                           : canonicalRoot + QLatin1Char('/'));
}
} // namespace

bool staysInside(const QString &path, const QString &root)
{
    const QString rootCanonical = QFileInfo(QDir::fromNativeSeparators(root)).canonicalFilePath();
    const QFileInfo info(QDir::fromNativeSeparators(path));
    // A dangling link has no canonical path: writing through it would make a
    // file wherever it points, so it never counts as inside.
    if (info.isSymLink() || info.exists())
        return within(info.canonicalFilePath(), rootCanonical);
    // Not there yet: what counts is the nearest folder above that is.
    QString folder = info.absolutePath();
    while (!QFileInfo(folder).isSymLink() && !QFileInfo::exists(folder) && QFileInfo(folder).absolutePath() != folder)
        folder = QFileInfo(folder).absolutePath();
    return within(QFileInfo(folder).canonicalFilePath(), rootCanonical);
}

QString findComponent(const QString &stored, const QString &dataFolder)
{
    const QString own = QDir::fromNativeSeparators(stored);
    if (!own.isEmpty() && QDir::isAbsolutePath(own) && QFileInfo(own).isFile())
        return stored;
    const QString root = QFileInfo(QDir::fromNativeSeparators(dataFolder)).canonicalFilePath();
    if (dataFolder.isEmpty() || root.isEmpty())
        return {};
    static const QRegularExpression separators(QStringLiteral("[\\\\/]"));
    const QStringList steps = stored.split(separators, Qt::SkipEmptyParts);
    // No tail may climb or stay put: tails start after the last "." or "..".
    qsizetype first = 0;
    for (qsizetype i = 0; i < steps.size(); ++i)
        if (steps.at(i) == QLatin1String(".") || steps.at(i) == QLatin1String(".."))
            first = i + 1;
    QString base = QDir::fromNativeSeparators(dataFolder);
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    for (qsizetype i = first; i < steps.size(); ++i) {
        const QString candidate = base + steps.mid(i).join(QLatin1Char('/'));
        const QFileInfo info(candidate);
        if (info.isFile() && within(info.canonicalFilePath(), root))
            return QDir::toNativeSeparators(candidate);
    }
    return {};
}

} // namespace Paths
