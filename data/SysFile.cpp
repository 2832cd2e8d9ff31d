// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/SysFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#endif

namespace SysFile {

QString errorText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool unsupported(int err)
{
    return err == EINVAL || err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS || err == EMLINK;
}

#ifdef _WIN32

namespace {
// Qt keeps the regular-expression JIT's stack in a thread_local object that
// mingw-w64's runtime cannot free when a worker thread ends: the thread's end
// crashes, or the program hangs as it exits. Without the JIT (set before the
// first expression is compiled) no such stack is ever made.
[[maybe_unused]] const bool g_regexJitOff = qputenv("QT_ENABLE_REGEXP_JIT", "0");

std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// errno for the Windows errors the callers tell apart; EIO for the rest.
int mapped(DWORD error)
{
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_LOCK_VIOLATION:
    case ERROR_SHARING_VIOLATION:
        return EAGAIN;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return ENOTSUP;
    case ERROR_TOO_MANY_LINKS:
        return EMLINK;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    default:
        return EIO;
    }
}

bool failed()
{
    errno = mapped(GetLastError());
    return false;
}

bool isLink(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}
} // namespace

int createNew(const QString &path)
{
    // Exclusive creation fails on any name already there, a link included.
    return ::_wopen(native(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}

int openOrCreate(const QString &path)
{
    const std::wstring name = native(path);
    if (isLink(name)) {
        errno = ELOOP;
        return -1;
    }
    return ::_wopen(name.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

bool sync(int fd)
{
    return ::_commit(fd) == 0;
}

bool close(int fd)
{
    return ::_close(fd) == 0;
}

bool remove(const QString &path)
{
    return ::_wunlink(native(path).c_str()) == 0;
}

bool exists(const QString &path)
{
    return GetFileAttributesW(native(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool hardLink(const QString &from, const QString &to)
{
    return CreateHardLinkW(native(to).c_str(), native(from).c_str(), nullptr) || failed();
}

bool renameNoReplace(const QString &from, const QString &to)
{
    // Without MOVEFILE_REPLACE_EXISTING a taken name is refused.
    return MoveFileExW(native(from).c_str(), native(to).c_str(), 0) || failed();
}

bool lockFirstByte(int fd, bool shared)
{
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return false;
    }
    OVERLAPPED at {};
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK);
    return LockFileEx(handle, flags, 0, 1, 0, &at) || failed();
}

QString makeFolder(const QString &prefix)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString name = prefix;
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
        if (CreateDirectoryW(native(name).c_str(), nullptr))
            return name;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    failed();
    return {};
}

#else

int createNew(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

int openOrCreate(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
}

bool sync(int fd)
{
    // Some file systems take no fsync; what was written is all there is.
    return ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
}

bool close(int fd)
{
    return ::close(fd) == 0 || errno == EINTR;
}

bool remove(const QString &path)
{
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}

bool exists(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool hardLink(const QString &from, const QString &to)
{
    // link() never replaces its target and never follows a link there.
    return ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool renameNoReplace(const QString &from, const QString &to)
{
    return ::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD, QFile::encodeName(to).constData(),
                       RENAME_NOREPLACE)
           == 0;
}

bool lockFirstByte(int fd, bool shared)
{
    // Locks owned by the open file, not the process: a second handle closed
    // elsewhere in the program does not drop them.
#ifdef F_OFD_SETLK
    constexpr int kSetLock = F_OFD_SETLK;
#else
    constexpr int kSetLock = F_SETLK;
#endif
    struct flock lock {};
    lock.l_type = shared ? F_RDLCK : F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    if (::fcntl(fd, kSetLock, &lock) == 0)
        return true;
    if (errno == EACCES)
        errno = EAGAIN;
    return false;
}

QString makeFolder(const QString &prefix)
{
    // mkdtemp makes the folder new (never an existing one) with mode 0700.
    QByteArray pattern = QFile::encodeName(prefix + QStringLiteral("XXXXXX"));
    if (::mkdtemp(pattern.data()))
        return QFile::decodeName(pattern);
    return {};
}

#endif

bool writeAll(int fd, const QByteArray &content)
{
    const char *p = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
#ifdef _WIN32
        const int n = ::_write(fd, p, unsigned(std::min<qsizetype>(left, 1 << 20)));
#else
        const ssize_t n = ::write(fd, p, size_t(std::min<qsizetype>(left, 1 << 20)));
#endif
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return sync(fd);
}

} // namespace SysFile
