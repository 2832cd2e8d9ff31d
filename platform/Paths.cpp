#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>

namespace {
QString g_programFolder;
}

namespace Paths {

QString programFolder()
{
    if (!g_programFolder.isEmpty())
        return g_programFolder;
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

void setProgramFolder(const QString &folder)
{
    g_programFolder = QDir::toNativeSeparators(folder);
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

} // namespace Paths
