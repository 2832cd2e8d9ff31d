// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/DailyBackup.h"

#include "data/Files.h"
#include "data/SysFile.h"
#include "data/engines/Archive.h"
#include "data/engines/ArchiveCopy.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace DailyBackup {
namespace {

const QRegularExpression &copyName()
{
    static const QRegularExpression re(QStringLiteral("^Velbor-(\\d{4})-(\\d{2})-(\\d{2})\\.mdb$"));
    return re;
}

QDate dayOf(const QString &name)
{
    const QRegularExpressionMatch m = copyName().match(name);
    return m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()) : QDate();
}

// A claim on today's copy: one workstation makes it, the others see the
// claim and leave it. A claim older than this is from a run that died.
constexpr qint64 kStaleClaimSecs = 6 * 3600;

class Claim {
public:
    explicit Claim(const QString &path) : m_path(path)
    {
        for (int attempt = 0; attempt < 2 && !m_held; ++attempt) {
            const int fd = SysFile::createNew(path);
            if (fd >= 0) {
                SysFile::close(fd);
                m_held = true;
            } else if (errno == EEXIST && attempt == 0) {
                const QFileInfo info(path);
                if (info.lastModified().secsTo(QDateTime::currentDateTime()) < kStaleClaimSecs)
                    return;
                QFile::remove(path);
            } else {
                m_error = SysFile::errorText(errno);
                return;
            }
        }
    }
    ~Claim()
    {
        if (m_held)
            QFile::remove(m_path);
    }
    bool held() const { return m_held; }
    const QString &error() const { return m_error; }

private:
    QString m_path;
    bool m_held = false;
    QString m_error;
};

} // namespace

QString folderIn(const QString &dataFolder)
{
    return Files::join(dataFolder, QStringLiteral("Backup"));
}

QString fileName(const QDate &day)
{
    return QStringLiteral("Velbor-%1.mdb").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}

QStringList pastKeeping(const QStringList &names)
{
    QList<QPair<QDate, QString>> copies;
    for (const QString &name : names)
        if (const QDate day = dayOf(name); day.isValid())
            copies.append({day, name});
    std::sort(copies.begin(), copies.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QStringList past;
    QSet<int> weeks;
    for (int i = 0; i < copies.size(); ++i) {
        if (i < 7)
            continue;
        int year = 0;
        const int week = copies[i].first.weekNumber(&year);
        const int key = year * 100 + week;
        // The newest copy of each of the four newest weeks before the days.
        if (!weeks.contains(key) && weeks.size() < 4) {
            weeks.insert(key);
            continue;
        }
        past.append(copies[i].second);
    }
    return past;
}

Result run(const QString &archivePath, const QDate &today)
{
    Result r;
    if (archivePath.endsWith(QLatin1String(".server"), Qt::CaseInsensitive)) {
        r.outcome = Outcome::NotNeeded;
        return r;
    }
    const QString folder = folderIn(Files::folderOf(archivePath));
    r.file = Files::join(folder, fileName(today));
    if (QFileInfo::exists(r.file)) {
        r.outcome = Outcome::AlreadyMade;
        return r;
    }
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        r.error = QStringLiteral("impossibile creare la cartella %1.").arg(QDir::toNativeSeparators(folder));
        return r;
    }
    Claim claim(r.file + QStringLiteral(".in-corso"));
    if (!claim.held()) {
        r.outcome = claim.error().isEmpty() ? Outcome::InProgress : Outcome::Failed;
        r.error = claim.error();
        return r;
    }
    // Made meanwhile by the workstation whose claim just ended.
    if (QFileInfo::exists(r.file)) {
        r.outcome = Outcome::AlreadyMade;
        return r;
    }
    Archive source;
    if (!source.open(archivePath, &r.error) || !backupFileArchive(source, r.file, BackupCheck::Counts, &r.error))
        return r;
    source.close();
    r.outcome = Outcome::Made;
    // Only now, with today's copy checked, do older copies go.
    const QStringList names = QDir(folder).entryList(QDir::Files);
    for (const QString &name : pastKeeping(names))
        if (QFile::remove(Files::join(folder, name)))
            r.removed.append(name);
    return r;
}

}
