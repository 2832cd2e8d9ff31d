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
    return true;
}

} // namespace Paths
