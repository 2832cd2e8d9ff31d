// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>

#include "data/SysFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {
bool g_hardLinks = true;
std::function<void(const QString &)> g_beforePlacing;

QString systemError(int err)
{
    return SysFile::errorText(err);
}

// Fills fd and closes it; 0, or the first error met.
int fillAndClose(int fd, const std::function<int(int)> &fill)
{
    const int err = fill(fd);
    if (!SysFile::close(fd) && err == 0)
        return errno;
    return err;
}

// What a path that is no regular file is, for messages.
QString kindOf(unsigned mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("una cartella");
#ifndef _WIN32
    if (S_ISFIFO(mode))
        return QStringLiteral("una pipe (FIFO)");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("un dispositivo");
    if (S_ISSOCK(mode))
        return QStringLiteral("un socket");
#endif
    return QStringLiteral("un oggetto speciale");
}

QString refusal(const QString &path, unsigned mode)
{
    return QStringLiteral("%1 non è un file ma %2: non viene aperto.").arg(QDir::toNativeSeparators(path), kindOf(mode));
}

} // namespace

namespace Files {

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

QString numbered(const QString &name, int n)
{
    if (n <= 1)
        return name;
    const QFileInfo info(name);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    return QStringLiteral("%1 (%2)%3").arg(info.completeBaseName()).arg(n).arg(suffix);
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
        if (g_beforePlacing)
            g_beforePlacing(path);
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

namespace {
// Makes path a new file that fill(fd) writes (0, or the error met), as
// writeNewFile tells.
NewFile makeNewFile(const QString &path, const std::function<int(int)> &fill, QString *error)
{
    const QString own = QDir::fromNativeSeparators(path);
    const auto failed = [&](int err) {
        if (error)
            *error = QStringLiteral("Impossibile salvare il file %1: %2").arg(QDir::toNativeSeparators(path), systemError(err));
        return NewFile::Failed;
    };
    const auto taken = [&] {
        if (error)
            *error = QStringLiteral("Il file %1 esiste già: non viene sovrascritto.").arg(QDir::toNativeSeparators(path));
        return NewFile::Taken;
    };
    if (own.isEmpty() || SysFile::exists(own))
        return own.isEmpty() ? failed(ENOENT) : taken();

    if (g_hardLinks) {
        // The temporary file is hidden and named at random beside the target;
        // it is made new too, so it never writes through a link either.
        const QString folder = folderOf(own).isEmpty() ? QStringLiteral(".") : QDir::fromNativeSeparators(folderOf(own));
        const QString base = own.mid(own.lastIndexOf(QLatin1Char('/')) + 1);
        QString temporary;
        int fd = -1;
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            temporary = QStringLiteral("%1/.%2.%3.tmp")
                            .arg(folder, base.left(100))
                            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
            fd = SysFile::createNew(temporary);
            if (fd < 0 && errno != EEXIST)
                return failed(errno);
        }
        if (fd < 0)
            return failed(EEXIST);
        int err = fillAndClose(fd, fill);
        if (err != 0) {
            SysFile::remove(temporary);
            return failed(err);
        }
        if (g_beforePlacing)
            g_beforePlacing(path);
        const bool linked = SysFile::hardLink(temporary, own);
        err = errno;
        SysFile::remove(temporary);
        if (linked)
            return NewFile::Written;
        if (err == EEXIST)
            return taken();
        if (!SysFile::unsupported(err))
            return failed(err);
        // A folder without hard links: the file is made in place below.
    } else if (g_beforePlacing) {
        g_beforePlacing(path);
    }
    const int fd = SysFile::createNew(own);
    if (fd < 0)
        return errno == EEXIST ? taken() : failed(errno);
    if (const int err = fillAndClose(fd, fill); err != 0) {
        // Made by this call (the create was exclusive): no half file stays.
        SysFile::remove(own);
        return failed(err);
    }
    return NewFile::Written;
}

} // namespace

NewFile writeNewFile(const QString &path, const QByteArray &content, QString *error)
{
    return makeNewFile(path, [&](int fd) { return SysFile::writeAll(fd, content) ? 0 : errno; }, error);
}

NewFile copyToNewFile(const QString &source, const QString &path, QString *error)
{
    QFile from;
    if (!openRegularFile(from, source, error))
        return NewFile::Failed;
    QString readError;
    const NewFile made = makeNewFile(
        path,
        [&](int fd) {
            QByteArray chunk;
            for (;;) {
                chunk = from.read(1 << 20);
                if (chunk.isEmpty()) {
                    if (from.error() == QFileDevice::NoError && from.atEnd())
                        return 0;
                    readError = from.errorString();
                    return EIO;
                }
                if (!SysFile::writeAll(fd, chunk))
                    return errno;
            }
        },
        error);
    if (made == NewFile::Failed && !readError.isEmpty() && error)
        *error = QStringLiteral("Impossibile leggere il file %1: %2").arg(QDir::toNativeSeparators(source), readError);
    return made;
}

void setHardLinksUsable(bool usable)
{
    g_hardLinks = usable;
}

void setBeforePlacing(const std::function<void(const QString &path)> &hook)
{
    g_beforePlacing = hook;
}

#ifdef _WIN32
// No FIFOs or devices wait behind a name on Windows: the file is opened and
// then looked at.
bool openRegularFile(QFile &file, const QString &path, QString *error)
{
    const QString own = QDir::fromNativeSeparators(path);
    if (const QString why = notAFile(path); !why.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    file.setFileName(own);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Impossibile leggere il file %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

QString notAFile(const QString &path)
{
    struct _stat64 info {};
    if (path.isEmpty() || ::_wstat64(QDir::toNativeSeparators(path).toStdWString().c_str(), &info) != 0
        || S_ISREG(info.st_mode))
        return {};
    return refusal(path, info.st_mode);
}
#else
bool openRegularFile(QFile &file, const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(QDir::fromNativeSeparators(path));
    // Without O_NONBLOCK the open itself would wait for a FIFO's writer.
    int fd = -1;
    do
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("Impossibile leggere il file %1: %2").arg(QDir::toNativeSeparators(path), systemError(errno));
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        if (error)
            *error = QStringLiteral("Impossibile leggere il file %1: %2").arg(QDir::toNativeSeparators(path), systemError(errno));
        ::close(fd);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        if (error)
            *error = refusal(path, info.st_mode);
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (error)
            *error = QStringLiteral("Impossibile leggere il file %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        ::close(fd);
        return false;
    }
    return true;
}

QString notAFile(const QString &path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(QDir::fromNativeSeparators(path)).constData(), &info) != 0
        || S_ISREG(info.st_mode))
        return {};
    return refusal(path, info.st_mode);
}

#endif

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

bool within(const QString &canonical, const QString &canonicalRoot)
{
    if (canonical.isEmpty() || canonicalRoot.isEmpty())
        return false;
    return canonical == canonicalRoot
           || canonical.startsWith(canonicalRoot.endsWith(QLatin1Char('/')) ? canonicalRoot
                                                                           : canonicalRoot + QLatin1Char('/'));
}

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

} // namespace Files
