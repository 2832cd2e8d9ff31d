// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Journal.h"

#include "data/Dates.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <optional>

namespace {
std::optional<Who> g_who;

void setText(const TableInfo &table, RawRow &row, QStringView field, const QVariant &value)
{
    const int c = table.indexOf(field);
    if (c >= 0)
        row[c] = value;
}

QString textOf(const TableInfo &table, const RawRow &row, QStringView field)
{
    const int c = table.indexOf(field);
    return c >= 0 && c < row.size() && row[c].isValid() ? row[c].toString() : QString();
}

// A safety table is written and searched only by the fields it has: one that
// vanished after the archive was opened (described with no fields) or was
// made by another program is refused, never used by a field it lacks.
bool hasFields(const TableInfo &table, std::initializer_list<const char16_t *> fields, QString *error)
{
    for (const char16_t *field : fields)
        if (table.indexOf(QStringView(field)) < 0) {
            *error = QStringLiteral("La tabella %1 dell'archivio non c'è più o non ha il campo %2: non si può usare.")
                         .arg(table.name, QStringView(field).toString());
            return false;
        }
    return true;
}
} // namespace

Who Who::current()
{
    if (g_who)
        return *g_who;
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    if (user.isEmpty())
        user = QDir::home().dirName();
    return {user, QSysInfo::machineHostName()};
}

void Journal::setWho(const Who &who)
{
    g_who = who;
}

Journal::Journal(Store &store, TableLookup lookup) : m_store(store), m_lookup(std::move(lookup)) {}

bool Journal::keepsHistory(const QString &table)
{
    for (const QString &t : {Tables::Clienti, Tables::Progetti, Tables::RighePRJ, Tables::Configura})
        if (t.compare(table, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool Journal::keepsDeleted(const QString &table)
{
    for (const QString &t : {Tables::Clienti, Tables::Progetti, Tables::RighePRJ, Tables::Componenti})
        if (t.compare(table, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool Journal::saved(const TableInfo &table, qint64 key, const RawRow *before, const RawRow &after, QString *error)
{
    if (!keepsHistory(table.name))
        return true;
    const TableInfo *history = m_lookup(Tables::Storico, error);
    if (!history || !hasFields(*history, {u"tabella", u"chiave", u"campo", u"prima", u"dopo"}, error))
        return false;
    const Who who = Who::current();
    const QString when = Dates::storedDateTime(QDateTime::currentDateTime());
    QVector<RawRow> lines;
    for (int c = 0; c < table.columns.size(); ++c) {
        const FieldKind kind = table.columns[c].kind;
        const QString old = before ? presentText(kind, before->value(c)) : QString();
        const QString now = presentText(kind, after.value(c));
        if (old == now)
            continue;
        RawRow line(history->columns.size());
        setText(*history, line, u"tabella", table.name);
        setText(*history, line, u"chiave", key);
        setText(*history, line, u"campo", table.columns[c].name);
        setText(*history, line, u"prima", old);
        setText(*history, line, u"dopo", now);
        setText(*history, line, u"utente", who.user);
        setText(*history, line, u"postazione", who.host);
        setText(*history, line, u"quando", when);
        lines.append(line);
    }
    // One request for the whole save, however many fields changed.
    return lines.isEmpty() || m_store.insertRows(*history, lines, error);
}

QString Journal::rowText(const TableInfo &table, const RawRow &row)
{
    QJsonObject object;
    for (int c = 0; c < table.columns.size(); ++c) {
        const QVariant v = row.value(c);
        if (!v.isValid())
            object.insert(table.columns[c].name, QJsonValue::Null);
        else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
            object.insert(table.columns[c].name, v.toLongLong());
        else if (v.typeId() == QMetaType::Double)
            object.insert(table.columns[c].name, v.toDouble());
        else
            object.insert(table.columns[c].name, v.toString());
    }
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

RawRow Journal::rowFromText(const TableInfo &table, const QString &text, bool *ok)
{
    QJsonParseError parsed;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &parsed);
    *ok = parsed.error == QJsonParseError::NoError && doc.isObject();
    RawRow row(table.columns.size());
    if (!*ok)
        return row;
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const int c = table.indexOf(it.key());
        if (c < 0 || it->isNull())
            continue;
        if (it->isDouble()) {
            const double d = it->toDouble();
            row[c] = d == double(qint64(d)) ? QVariant::fromValue(qint64(d)) : QVariant(d);
        } else {
            row[c] = it->toVariant().toString();
        }
    }
    return row;
}

bool Journal::deleted(const TableInfo &table, qint64 key, const RawRow &row, QString *error)
{
    if (!keepsDeleted(table.name))
        return true;
    const Who who = Who::current();
    QString code = textOf(table, row, u"codice");
    QString descr = textOf(table, row, u"descr");
    if (table.name.compare(Tables::Componenti, Qt::CaseInsensitive) == 0) {
        // A component is known by its project (and item) and its file.
        const QString item = textOf(table, row, u"codice");
        code = textOf(table, row, u"codprj") + (item.isEmpty() ? QString() : QStringLiteral(" / ") + item);
        descr = textOf(table, row, u"file");
    }
    const TableInfo *bin = m_lookup(Tables::Cestino, error);
    if (!bin || !hasFields(*bin, {u"tabella", u"chiave", u"riga"}, error))
        return false;
    RawRow entry(bin->columns.size());
    setText(*bin, entry, u"tabella", table.name);
    setText(*bin, entry, u"chiave", key);
    setText(*bin, entry, u"codice", code);
    setText(*bin, entry, u"descr", descr);
    setText(*bin, entry, u"riga", rowText(table, row));
    setText(*bin, entry, u"utente", who.user);
    setText(*bin, entry, u"postazione", who.host);
    setText(*bin, entry, u"eliminato", Dates::storedDateTime(QDateTime::currentDateTime()));
    qint64 ignored = 0;
    return m_store.insert(*bin, entry, &ignored, error);
}

bool Journal::historyOf(const QString &table, qint64 key, QVector<HistoryLine> *lines, QString *error)
{
    lines->clear();
    const TableInfo *history = m_lookup(Tables::Storico, error);
    if (!history || !hasFields(*history, {u"tabella", u"chiave"}, error))
        return false;
    const TableInfo &h = *history;
    QVector<StoredRow> rows;
    if (!m_store.select(h, {{h.indexOf(u"chiave"), QVariant::fromValue(key)}}, std::numeric_limits<qint64>::min(), -1,
                        &rows, error))
        return false;
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        const RawRow &r = it->values;
        if (textOf(h, r, u"tabella").compare(table, Qt::CaseInsensitive) != 0)
            continue;
        lines->append({Dates::dateTimeFromStored(textOf(h, r, u"quando")), textOf(h, r, u"utente"),
                       textOf(h, r, u"postazione"), textOf(h, r, u"campo"), textOf(h, r, u"prima"),
                       textOf(h, r, u"dopo")});
    }
    return true;
}
