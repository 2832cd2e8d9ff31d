// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/jet/JetImport.h"

#include "data/Codepage.h"
#include "data/Dates.h"
#include "data/engines/WorkFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>

#include <cmath>

#include <limits>

namespace {

constexpr qint64 kProgressEvery = 2000;

// The value as the program stores it in a field of kind; false with the
// reason when it has no faithful form there.
bool convertValue(const QVariant &in, FieldKind kind, QVariant *out, QString *why)
{
    *out = QVariant();
    if (!in.isValid() || in.isNull())
        return true;
    const int type = in.typeId();
    switch (kind) {
    case FieldKind::Number: {
        qint64 number = 0;
        if (type == QMetaType::Bool) {
            number = in.toBool() ? -1 : 0; // yes/no as Access counts it
        } else if (type == QMetaType::LongLong || type == QMetaType::Int) {
            number = in.toLongLong();
        } else if (type == QMetaType::Double) {
            const double d = in.toDouble();
            if (!std::isfinite(d) || d != std::trunc(d) || d < double(std::numeric_limits<qint32>::min())
                || d > double(std::numeric_limits<qint32>::max())) {
                *why = QStringLiteral("il numero %1 non è un intero a 32 bit").arg(d, 0, 'g', 17);
                return false;
            }
            number = qint64(d);
        } else if (type == QMetaType::QString) {
            const QString text = in.toString().trimmed();
            if (text.isEmpty())
                return true;
            bool ok = false;
            number = text.toLongLong(&ok);
            if (!ok) {
                *why = QStringLiteral("il testo \"%1\" non è un numero intero").arg(text.left(40));
                return false;
            }
        } else {
            *why = QStringLiteral("il valore non è un numero");
            return false;
        }
        if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max()) {
            *why = QStringLiteral("il numero %1 supera i limiti di un intero a 32 bit (da %2 a %3)")
                       .arg(number)
                       .arg(std::numeric_limits<qint32>::min())
                       .arg(std::numeric_limits<qint32>::max());
            return false;
        }
        *out = QVariant::fromValue<qint64>(number);
        return true;
    }
    case FieldKind::Text:
    case FieldKind::Memo:
        if (type == QMetaType::QString) {
            *out = in;
        } else if (type == QMetaType::LongLong || type == QMetaType::Int) {
            *out = QString::number(in.toLongLong());
        } else if (type == QMetaType::Double) {
            *out = QString::number(in.toDouble(), 'g', QLocale::FloatingPointShortest);
        } else if (type == QMetaType::QDateTime) {
            *out = Dates::generalText(in.toDateTime());
        } else {
            *why = type == QMetaType::QByteArray ? QStringLiteral("dati binari al posto di un testo")
                                                 : QStringLiteral("il valore non è un testo");
            return false;
        }
        return true;
    case FieldKind::Date:
    case FieldKind::DateTime: {
        QDateTime when;
        if (type == QMetaType::QDateTime) {
            when = in.toDateTime();
        } else if (type == QMetaType::QDate) {
            when = QDateTime(in.toDate(), QTime(0, 0));
        } else if (type == QMetaType::QString) {
            const QString text = in.toString().trimmed();
            if (text.isEmpty())
                return true;
            when = Dates::parse(text);
            if (!when.isValid()) {
                *why = QStringLiteral("il testo \"%1\" non è una data").arg(text.left(40));
                return false;
            }
        } else if (type == QMetaType::Double) {
            *why = QStringLiteral("data fuori dagli anni 100-9999 (valore registrato %1)").arg(in.toDouble(), 0, 'g', 17);
            return false;
        } else {
            *why = QStringLiteral("il valore non è una data");
            return false;
        }
        if (!when.isValid()) {
            *why = QStringLiteral("data non valida");
            return false;
        }
        // A day field keeps a time of day the old file held, rather than lose it.
        if (kind == FieldKind::Date && when.time() == QTime(0, 0))
            *out = Dates::storedDay(when.date());
        else
            *out = Dates::storedDateTime(when);
        return true;
    }
    }
    return false;
}

QString fieldList(const QStringList &fields)
{
    return fields.join(QStringLiteral(", "));
}

void removeArchiveFiles(const QString &path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

QString besideName(const QString &destination)
{
    const QFileInfo info(destination);
    return info.absoluteDir().filePath(QStringLiteral(".%1.conversione-%2")
                                           .arg(info.fileName())
                                           .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
}

} // namespace

QStringList JetImportReport::lines() const
{
    QStringList out;
    for (const JetTableReport &t : tables) {
        out << QStringLiteral("%1: %2 record letti, %3 scritti").arg(t.table).arg(t.read).arg(t.written);
        if (!t.extraFields.isEmpty())
            out << QStringLiteral("  campi del file non previsti dal programma, non importati: %1")
                       .arg(fieldList(t.extraFields));
        if (!t.absentFields.isEmpty())
            out << QStringLiteral("  campi assenti nel file, lasciati vuoti: %1").arg(fieldList(t.absentFields));
    }
    return out;
}

bool writeJetRows(JetRowSource &source, Store &store, const QVector<TableInfo> &targets,
                  JetImportReport *report, QString *error, const JetProgress &progress)
{
    *report = {};
    // Every table must be there before anything is written.
    const QStringList present = source.tables();
    QStringList sourceNames, missing;
    for (const TableInfo &target : targets) {
        const auto found = std::find_if(present.begin(), present.end(), [&](const QString &p) {
            return p.compare(target.name, Qt::CaseInsensitive) == 0;
        });
        if (found == present.end())
            missing << target.name;
        else
            sourceNames << *found;
    }
    if (!missing.isEmpty()) {
        *error = QStringLiteral("Il file non contiene %1 %2: non è un archivio di Velbor, o è incompleto. "
                                "Nessun archivio è stato scritto.")
                     .arg(missing.size() == 1 ? QStringLiteral("la tabella") : QStringLiteral("le tabelle"),
                          fieldList(missing));
        return false;
    }

    if (!store.begin(error))
        return false;
    const auto fail = [&](const QString &why) {
        store.rollback();
        *error = why;
        return false;
    };
    for (int t = 0; t < targets.size(); ++t) {
        const TableInfo &target = targets[t];
        JetTableReport table;
        table.table = target.name;
        QVector<JetColumn> columns;
        qint64 total = 0;
        QString why;
        if (!source.openTable(sourceNames[t], &columns, &total, &why))
            return fail(why);
        // Source column of each target field; -1 when the file has none.
        QVector<int> from(target.columns.size(), -1);
        for (int c = 0; c < columns.size(); ++c) {
            const int to = target.indexOf(columns[c].name);
            if (to >= 0 && from[to] < 0)
                from[to] = c;
            else
                table.extraFields << columns[c].name;
        }
        for (int f = 0; f < from.size(); ++f)
            if (from[f] < 0)
                table.absentFields << target.columns[f].name;
        if (progress && !progress(target.name, 0, total))
            return fail(QStringLiteral("Conversione interrotta: nessun archivio è stato scritto."));

        QVector<QVariant> in;
        RawRow out(target.columns.size());
        for (;;) {
            const JetRowSource::Fetch got = source.next(&in, &why);
            if (got == JetRowSource::Fetch::Failed)
                return fail(why + QStringLiteral("\nNessun archivio è stato scritto."));
            if (got == JetRowSource::Fetch::End)
                break;
            ++table.read;
            for (int f = 0; f < from.size(); ++f) {
                const QVariant value = from[f] >= 0 && from[f] < in.size() ? in[from[f]] : QVariant();
                if (!convertValue(value, target.columns[f].kind, &out[f], &why))
                    return fail(QStringLiteral("Valore non convertibile nella tabella %1, record %2, campo %3: %4.\n"
                                               "Nessun archivio è stato scritto.")
                                    .arg(target.name)
                                    .arg(table.read)
                                    .arg(columns[from[f]].name, why));
            }
            qint64 key = 0;
            if (!store.insert(target, out, &key, &why))
                return fail(QStringLiteral("Scrittura non riuscita nella tabella %1, record %2 (%3). "
                                           "Nessun archivio è stato scritto.")
                                .arg(target.name)
                                .arg(table.read)
                                .arg(why));
            ++table.written;
            if (progress && table.read % kProgressEvery == 0 && !progress(target.name, table.read, total))
                return fail(QStringLiteral("Conversione interrotta: nessun archivio è stato scritto."));
        }
        if (progress && !progress(target.name, table.read, std::max(total, table.read)))
            return fail(QStringLiteral("Conversione interrotta: nessun archivio è stato scritto."));
        report->tables.append(table);
    }
    QString why;
    if (!store.commit(&why)) {
        report->tables.clear();
        *error = QStringLiteral("Scrittura del nuovo archivio non riuscita (%1). Nessun archivio è stato scritto.").arg(why);
        return false;
    }
    return true;
}

bool convertJetRows(JetRowSource &source, const QString &destination, JetImportReport *report, QString *error,
                    const JetProgress &progress)
{
    if (nameTaken(destination)) {
        *error = QStringLiteral("Il file %1 esiste già: la conversione non lo sovrascrive.").arg(destination);
        return false;
    }
    // Made in a folder of its own, so that no name it or the engine uses
    // (the journal) can be planted beforehand.
    WorkFolder work(destination);
    if (!work.ok()) {
        *error = work.error();
        return false;
    }
    const QString temporary = work.file(QFileInfo(destination).fileName());
    if (!SqliteStore::createArchive(temporary, error)) {
        *error = QStringLiteral("Impossibile creare il nuovo archivio accanto a %1: %2").arg(destination, *error);
        return false;
    }
    bool ok = false;
    {
        SqliteStore store;
        QVector<TableInfo> targets;
        ok = store.open(temporary, error);
        for (const QString &name : Tables::all()) {
            TableInfo info;
            ok = ok && store.describe(name, &info, error);
            targets.append(info);
        }
        ok = ok && writeJetRows(source, store, targets, report, error, progress);
        store.close();
    }
    if (ok && !placeNewFile(temporary, destination, error)) {
        *error = QStringLiteral("Il nuovo archivio non è stato messo al suo posto: %1").arg(*error);
        ok = false;
    }
    if (!ok)
        report->tables.clear();
    return ok;
}

bool convertJetFile(const QString &jetPath, const QString &destination, JetImportReport *report, QString *error,
                    const JetProgress &progress)
{
    JetReader reader;
    if (!reader.open(jetPath, error)) {
        *error = QStringLiteral("Il file %1 non può essere convertito: %2").arg(jetPath, *error);
        return false;
    }
    return convertJetRows(reader, destination, report, error, progress);
}

QString jetKeptPath(const QString &archivePath)
{
    const QFileInfo info(archivePath);
    const QDir dir = info.absoluteDir();
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? QStringLiteral("%1 (Access originale)%2").arg(base, suffix)
                                    : QStringLiteral("%1 (Access originale %2)%3").arg(base).arg(n).arg(suffix);
        // Any spelling of the name counts as taken: the folder may be a share
        // that ignores letter case.
        if (!QFileInfo::exists(dir.filePath(name)) && dir.entryList({name}, QDir::Files | QDir::Hidden).isEmpty())
            return dir.filePath(name);
    }
}

QStringList jetLockHolders(const QString &archivePath, QString *lockFile)
{
    const QFileInfo info(archivePath);
    const QDir dir = info.absoluteDir();
    const QStringList found = dir.entryList({info.completeBaseName() + QStringLiteral(".ldb")},
                                            QDir::Files | QDir::Hidden);
    QStringList holders;
    for (const QString &name : found) {
        if (name.compare(info.completeBaseName() + QStringLiteral(".ldb"), Qt::CaseInsensitive) != 0)
            continue;
        if (lockFile)
            *lockFile = dir.filePath(name);
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            // Unreadable: someone may be at work; say so rather than guess.
            holders << QStringLiteral("(file %1 non leggibile)").arg(name);
            continue;
        }
        // One 64-byte record per workstation: its name, then the user's.
        const QByteArray bytes = file.read(64 * 256);
        for (qsizetype at = 0; at < bytes.size(); at += 64) {
            QByteArray machine = bytes.mid(at, 32);
            const qsizetype end = machine.indexOf('\0');
            if (end >= 0)
                machine.truncate(end);
            const QString text = Codepage::fromWindows1252(machine).trimmed();
            if (!text.isEmpty() && !holders.contains(text))
                holders << text;
        }
    }
    return holders;
}

bool replaceJetArchive(const QString &path, QString *keptAs, JetImportReport *report, QString *error,
                       const JetProgress &progress, JetRowSource *source)
{
    const QString temporary = besideName(path);
    if (source ? !convertJetRows(*source, temporary, report, error, progress)
               : !convertJetFile(path, temporary, report, error, progress))
        return false;
    const QString kept = jetKeptPath(path);
    if (!QFile::rename(path, kept)) {
        removeArchiveFiles(temporary);
        *error = QStringLiteral("Impossibile rinominare l'archivio originale %1 in %2: nulla è cambiato.").arg(path, kept);
        return false;
    }
    if (!QFile::rename(temporary, path)) {
        const bool back = QFile::rename(kept, path);
        removeArchiveFiles(temporary);
        *error = back ? QStringLiteral("Impossibile mettere il nuovo archivio al posto di %1: nulla è cambiato.").arg(path)
                      : QStringLiteral("Impossibile mettere il nuovo archivio al posto di %1; l'originale è in %2.")
                            .arg(path, kept);
        return false;
    }
    *keptAs = kept;
    return true;
}
