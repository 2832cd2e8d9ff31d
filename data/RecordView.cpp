// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/RecordView.h"

#include "data/Dates.h"
#include "data/Journal.h"

#include <limits>

namespace {
const QString kNoCurrent = QStringLiteral("Nessun record corrente.");

bool sameValues(const RawRow &a, const RawRow &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (a[i].isValid() != b[i].isValid() || a[i].toString() != b[i].toString())
            return false;
    return true;
}

} // namespace

RecordView::RecordView(Store &store, TableInfo table) : m_store(store), m_table(std::move(table)) {}

bool RecordView::fail(const QString &message)
{
    m_error = message;
    return false;
}

int RecordView::column(QStringView field, bool report) const
{
    const int c = m_table.indexOf(field);
    if (c < 0 && report)
        m_error = QStringLiteral("Il campo %1 non esiste nella tabella %2.").arg(field.toString(), m_table.name);
    return c;
}

qint64 RecordView::count()
{
    qint64 n = -1;
    if (!m_store.count(m_table, &n, &m_error))
        return -1;
    return n;
}

bool RecordView::moveFirst()
{
    QVector<StoredRow> rows;
    if (!m_store.select(m_table, {}, std::numeric_limits<qint64>::min(), -1, &rows, &m_error))
        return false;
    m_rows = std::move(rows);
    m_pos = 0;
    m_findSet = false;
    m_setCriterion.clear();
    return true;
}

bool RecordView::moveNext()
{
    if (eof())
        return fail(kNoCurrent);
    do
        ++m_pos;
    while (m_pos < m_rows.size() && m_rows[m_pos].key == 0);
    return true;
}

bool RecordView::eof() const
{
    return m_pos >= m_rows.size();
}

const StoredRow *RecordView::current() const
{
    if (eof() || m_rows[m_pos].key == 0)
        return nullptr;
    return &m_rows[m_pos];
}

bool RecordView::hasCurrent() const
{
    return current() != nullptr;
}

qint64 RecordView::currentKey() const
{
    const StoredRow *row = current();
    return row ? row->key : 0;
}

bool RecordView::loadFind(const QString &criterion, qint64 afterKey)
{
    const ParsedCriterion parsed = parseCriterion(criterion, m_table);
    if (!parsed.ok()) {
        m_noMatch = true;
        return fail(parsed.error);
    }
    QVector<StoredRow> rows;
    if (!m_store.select(m_table, parsed.terms, afterKey, -1, &rows, &m_error)) {
        m_noMatch = true;
        return false;
    }
    m_noMatch = rows.isEmpty();
    if (!m_noMatch) {
        m_rows = std::move(rows);
        m_pos = 0;
        m_findSet = true;
        m_setCriterion = criterion;
    }
    return true;
}

bool RecordView::findFirst(const QString &criterion)
{
    return loadFind(criterion, std::numeric_limits<qint64>::min());
}

bool RecordView::findNext(const QString &criterion)
{
    if (m_findSet && criterion == m_setCriterion && !eof()) {
        int next = m_pos + 1;
        while (next < m_rows.size() && m_rows[next].key == 0)
            ++next;
        m_noMatch = next >= m_rows.size();
        if (!m_noMatch)
            m_pos = next;
        return true;
    }
    const StoredRow *row = current();
    return loadFind(criterion, row ? row->key : std::numeric_limits<qint64>::min());
}

QVariant RecordView::value(QStringView field) const
{
    const int c = column(field, true);
    const StoredRow *row = current();
    if (c < 0)
        return {};
    if (!row) {
        m_error = kNoCurrent;
        return {};
    }
    return presentValue(m_table.columns[c].kind, row->values[c]);
}

QString RecordView::text(QStringView field) const
{
    const int c = column(field, true);
    const StoredRow *row = current();
    if (c < 0 || !row) {
        if (!row)
            m_error = kNoCurrent;
        return QString(QLatin1String(""));
    }
    return presentText(m_table.columns[c].kind, row->values[c]);
}

QString RecordView::getChunk(QStringView field, qint64 offset, qint64 length) const
{
    return text(field).mid(offset, length);
}

bool RecordView::matches(const QString &criterion, bool *found)
{
    *found = false;
    const ParsedCriterion parsed = parseCriterion(criterion, m_table);
    if (!parsed.ok())
        return fail(parsed.error);
    QVector<StoredRow> rows;
    if (!m_store.select(m_table, parsed.terms, std::numeric_limits<qint64>::min(), 1, &rows, &m_error))
        return false;
    *found = !rows.isEmpty();
    return true;
}

void RecordView::addNewUnique(const QString &criterion)
{
    addNew([criterion](RecordView &view, QString *error) {
        bool found = false;
        if (!view.matches(criterion, &found)) {
            *error = view.lastError();
            return false;
        }
        if (found)
            *error = QStringLiteral("Esiste già un record con lo stesso codice.");
        return !found;
    });
}

void RecordView::addNew(AddCheck check)
{
    m_addCheck = std::move(check);
    m_conflict = false;
    m_gone = false;
    m_pending = Pending::Adding;
    m_editKey = 0;
    m_buffer = RawRow(m_table.columns.size());
    // A new counter row starts from 0, as its table declares.
    if (m_table.name.compare(Tables::maxcodice, Qt::CaseInsensitive) == 0) {
        const int c = m_table.indexOf(u"codice");
        if (c >= 0)
            m_buffer[c] = QVariant::fromValue<qint64>(0);
    }
}

RawRow RecordView::currentValues() const
{
    const StoredRow *row = current();
    return row ? row->values : RawRow();
}

bool RecordView::edit(const RawRow &shown)
{
    if (!edit())
        return false;
    m_expectShown = true;
    m_shown = shown;
    return true;
}

bool RecordView::edit()
{
    const StoredRow *row = current();
    if (!row)
        return fail(kNoCurrent);
    m_addCheck = {};
    m_expectShown = false;
    m_conflict = false;
    m_gone = false;
    m_pending = Pending::Editing;
    m_editKey = row->key;
    m_buffer = row->values;
    return true;
}

bool RecordView::convert(const Column &col, const QVariant &in, QVariant *out)
{
    if (!in.isValid()) {
        *out = QVariant();
        return true;
    }
    const auto invalid = [&] {
        return fail(QStringLiteral("Valore non valido per il campo %1: \"%2\".").arg(col.name, in.toString()));
    };
    switch (col.kind) {
    case FieldKind::Number: {
        bool ok = false;
        qint64 n = 0;
        switch (in.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::Bool:
            n = in.toLongLong(&ok);
            break;
        default:
            n = in.toString().trimmed().toLongLong(&ok);
        }
        if (!ok)
            return invalid();
        if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
            return fail(QStringLiteral("Il numero %1 è fuori dall'intervallo ammesso per il campo %2.")
                            .arg(n)
                            .arg(col.name));
        *out = QVariant::fromValue(n);
        return true;
    }
    case FieldKind::Date:
    case FieldKind::DateTime: {
        QDateTime when;
        if (in.typeId() == QMetaType::QDate)
            when = QDateTime(in.toDate(), QTime(0, 0));
        else if (in.typeId() == QMetaType::QDateTime)
            when = in.toDateTime();
        else
            when = Dates::parse(in.toString());
        if (!when.isValid())
            return invalid();
        *out = col.kind == FieldKind::Date ? Dates::storedDay(when.date()) : Dates::storedDateTime(when);
        return true;
    }
    default:
        *out = in.toString();
        return true;
    }
}

bool RecordView::setValue(QStringView field, const QVariant &value)
{
    if (m_pending == Pending::None)
        return fail(QStringLiteral("Nessuna modifica in corso sul record."));
    const int c = column(field, true);
    if (c < 0)
        return false;
    QVariant stored;
    if (!convert(m_table.columns[c], value, &stored))
        return false;
    m_buffer[c] = stored;
    return true;
}

bool RecordView::appendChunk(QStringView field, const QString &chunk)
{
    if (m_pending == Pending::None)
        return fail(QStringLiteral("Nessuna modifica in corso sul record."));
    const int c = column(field, true);
    if (c < 0)
        return false;
    m_buffer[c] = (m_buffer[c].isValid() ? m_buffer[c].toString() : QString()) + chunk;
    return true;
}

bool RecordView::update()
{
    if (m_pending == Pending::None)
        return fail(QStringLiteral("Nessuna modifica in corso sul record."));
    WriteTransaction tx(m_store);
    if (!tx.begin(&m_error))
        return false;
    if (m_pending == Pending::Adding) {
        if (m_addCheck) {
            QString why;
            m_error.clear();
            if (!m_addCheck(*this, &why)) {
                // A failed look-up leaves the engine's error; a refusal is a conflict.
                m_conflict = m_error.isEmpty();
                return fail(why.isEmpty() ? m_error : why);
            }
        }
        qint64 key = 0;
        if (!m_store.insert(m_table, m_buffer, &key, &m_error)
            || (m_journal && !m_journal->saved(m_table, key, nullptr, m_buffer, &m_error)))
            return false;
        if (!tx.commit(&m_error))
            return m_store.commitUncertain() && settleUncertainStore();
        // A walk over the whole table sees rows added through the view at its end.
        if (!m_findSet)
            m_rows.append({key, m_buffer});
    } else {
        // Read again inside the transaction that writes: what is compared, and
        // what the history keeps as the value before, is what is overwritten.
        QVector<StoredRow> now;
        const bool journaled = m_journal && Journal::keepsHistory(m_table.name);
        if (m_expectShown || journaled) {
            if (!m_store.select(m_table, {}, m_editKey - 1, 1, &now, &m_error))
                return false;
            if (!now.isEmpty() && now.first().key != m_editKey)
                now.clear();
        }
        if (m_expectShown && !now.isEmpty() && !sameValues(now.first().values, m_shown)) {
            m_conflict = true;
            return fail(QStringLiteral("Il record è stato modificato da un'altra postazione dopo essere stato mostrato."));
        }
        bool changed = false;
        if (!m_store.update(m_table, m_editKey, m_buffer, &changed, &m_error))
            return false;
        if (!changed) {
            m_conflict = m_gone = true;
            return fail(QStringLiteral("Il record non esiste più: è stato eliminato da un'altra postazione."));
        }
        if (journaled && !now.isEmpty() && !m_journal->saved(m_table, m_editKey, &now.first().values, m_buffer, &m_error))
            return false;
        if (!tx.commit(&m_error))
            return m_store.commitUncertain() && settleUncertainStore();
        for (StoredRow &row : m_rows)
            if (row.key == m_editKey)
                row.values = m_buffer;
    }
    cancelUpdate();
    return true;
}

bool RecordView::settleUncertainStore()
{
    // Whether the row went in is read again (on a new connection): the row as
    // written is there, or it is not; a second store would write it twice.
    const QString uncertain = m_error;
    QVector<StoredRow> rows;
    QString error;
    bool read = false;
    if (m_pending == Pending::Adding) {
        QVector<Term> terms;
        for (int c = 0; c < m_table.columns.size(); ++c) {
            const FieldKind kind = m_table.columns[c].kind;
            if (m_buffer[c].isValid() && (kind == FieldKind::Number || kind == FieldKind::Text))
                terms.append({c, m_buffer[c]});
        }
        read = m_store.select(m_table, terms, std::numeric_limits<qint64>::min(), -1, &rows, &error);
    } else {
        read = m_store.select(m_table, {}, m_editKey - 1, 1, &rows, &error);
        if (read && !rows.isEmpty() && rows.first().key != m_editKey)
            rows.clear();
    }
    if (!read)
        return fail(uncertain);
    const auto asWritten = [this](const RawRow &stored) {
        for (int c = 0; c < m_table.columns.size(); ++c)
            if (m_buffer[c].isValid() != stored[c].isValid()
                || presentText(m_table.columns[c].kind, m_buffer[c]) != presentText(m_table.columns[c].kind, stored[c]))
                return false;
        return true;
    };
    for (const StoredRow &row : std::as_const(rows)) {
        if (!asWritten(row.values))
            continue;
        if (m_pending == Pending::Adding && !m_findSet)
            m_rows.append({row.key, m_buffer});
        for (StoredRow &r : m_rows)
            if (r.key == row.key)
                r.values = m_buffer;
        cancelUpdate();
        return true;
    }
    return fail(QStringLiteral("La connessione al server si è interrotta durante il salvataggio, che non è stato "
                               "registrato: si può salvare di nuovo."));
}

bool RecordView::settleUncertainDelete(qint64 key)
{
    const QString uncertain = m_error;
    QVector<StoredRow> rows;
    QString error;
    if (!m_store.select(m_table, {}, key - 1, 1, &rows, &error))
        return fail(uncertain);
    if (!rows.isEmpty() && rows.first().key == key)
        return fail(QStringLiteral("La connessione al server si è interrotta durante l'eliminazione, che non è stata "
                                   "registrata: si può eliminare di nuovo."));
    return true;
}

void RecordView::cancelUpdate()
{
    m_addCheck = {};
    m_expectShown = false;
    m_shown.clear();
    m_pending = Pending::None;
    m_editKey = 0;
    m_buffer.clear();
}

bool RecordView::deleteCurrent(const DeleteCheck &check)
{
    m_conflict = false;
    const StoredRow *row = current();
    if (!row)
        return fail(kNoCurrent);
    const qint64 key = row->key;
    WriteTransaction tx(m_store);
    if (!tx.begin(&m_error))
        return false;
    if (check) {
        QString refusal, error;
        if (!check(&refusal, &error)) {
            m_conflict = error.isEmpty();
            return fail(m_conflict ? refusal : error);
        }
    }
    if (m_journal && Journal::keepsDeleted(m_table.name)) {
        // The row as stored goes whole into the bin, in the same transaction.
        QVector<StoredRow> now;
        if (!m_store.select(m_table, {}, key - 1, 1, &now, &m_error))
            return false;
        if (!now.isEmpty() && now.first().key == key && !m_journal->deleted(m_table, key, now.first().values, &m_error))
            return false;
    }
    if (!m_store.remove(m_table, key, &m_error))
        return false;
    if (!tx.commit(&m_error) && !(m_store.commitUncertain() && settleUncertainDelete(key)))
        return false;
    for (StoredRow &r : m_rows)
        if (r.key == key) {
            r.key = 0;
            r.values.clear();
        }
    return true;
}
