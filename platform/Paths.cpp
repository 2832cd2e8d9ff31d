// SPDX-License-Identifier: GPL-3.0-or-later
#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <optional>

namespace {
const QString kArchiveName = QStringLiteral("Velbor.mdb");
#ifdef _WIN32
const QString kUninstaller = QStringLiteral("Disinstalla.exe");
#else
const QString kSharedFolder = QStringLiteral("../share/velbor");
#endif

QString g_programFolder;
bool g_actReadOnly = false;

struct Places {
    bool besideProgram = true;
    QString settings;
    QString local;
    QString shipped;
    QString guide;
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
#ifdef _WIN32
    // One folder holds everything; the installer leaves its uninstaller
    // there, which tells an installed copy from a portable one.
    const bool installed = QFileInfo::exists(Paths::join(program, kUninstaller));
    const QString shared = program;
#else
    const QString shared = QDir::toNativeSeparators(
        QDir::cleanPath(QDir::fromNativeSeparators(program) + QLatin1Char('/') + kSharedFolder));
    const bool installed = QFileInfo(Paths::join(shared, kArchiveName)).isFile();
#endif
    p.besideProgram = !installed && !g_actReadOnly && canWriteIn(program);
    p.shipped = Paths::join(installed ? shared : program, kArchiveName);
    p.guide = Paths::join(installed ? shared : program, QStringLiteral("guida"));
    if (p.besideProgram) {
        p.settings = p.local = program;
    } else {
#ifdef _WIN32
        // The user's roaming folder, as Windows programs keep theirs.
        const QString appData = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
        p.settings = p.local = QDir::toNativeSeparators(
            (appData.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) : appData)
            + QStringLiteral("/Velbor"));
#else
        p.settings = QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
        p.local = QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
#endif
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

QString guideFolder()
{
    return places().guide;
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

bool setWorkingFolder(const QString &folder)
{
    return !folder.isEmpty() && QDir::setCurrent(folder);
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
        if (info.isFile() && Files::within(info.canonicalFilePath(), root))
            return QDir::toNativeSeparators(candidate);
    }
    return {};
}

} // namespace Paths
