// SPDX-License-Identifier: GPL-3.0-or-later
// The Jet reader of a build without libmdb (Windows): every Jet file is
// refused with the way to convert it on a Linux workstation.
#include "data/jet/JetReader.h"

struct JetReader::Private {};

JetReader::JetReader() : d(std::make_unique<Private>()) {}
JetReader::~JetReader() = default;

bool JetReader::available()
{
    return false;
}

QString JetReader::unavailableText()
{
    return QStringLiteral("Questa versione di Velbor non legge i vecchi archivi Access/Jet. La conversione si fa una "
                          "volta sola, su una postazione Linux, con lo strumento di amministrazione:\n"
                          "velbor_admin converti FILE_JET NUOVO_ARCHIVIO\n"
                          "Il nuovo archivio si usa poi da tutte le postazioni, Windows comprese.");
}

QString JetReader::checkHeader(const QByteArray &, qint64)
{
    return unavailableText();
}

bool JetReader::open(const QString &, QString *error)
{
    *error = unavailableText();
    return false;
}

bool JetReader::openBytes(const QByteArray &, QString *error)
{
    *error = unavailableText();
    return false;
}

void JetReader::close() {}

QString JetReader::format() const
{
    return {};
}

QStringList JetReader::tables()
{
    return {};
}

bool JetReader::openTable(const QString &, QVector<JetColumn> *, qint64 *, QString *error)
{
    *error = unavailableText();
    return false;
}

JetRowSource::Fetch JetReader::next(QVector<QVariant> *, QString *error)
{
    *error = unavailableText();
    return Fetch::Failed;
}
