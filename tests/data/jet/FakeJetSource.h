// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A row source that hands the converter rows as the Jet reader gives them,
// and an office's six tables in it (no rows yet), named in the file's own
// letter case.

#include "data/jet/JetReader.h"

#include <QDateTime>

namespace fakejet {

struct FakeTable {
    QString name;
    QVector<JetColumn> columns;
    QVector<QVector<QVariant>> rows;
    int failAt = -1; // row index at which the source reports damage
};

class FakeSource : public JetRowSource {
public:
    QVector<FakeTable> tablesIn;
    QStringList tables() override
    {
        QStringList names;
        for (const FakeTable &t : tablesIn)
            names << t.name;
        return names;
    }
    bool openTable(const QString &name, QVector<JetColumn> *columns, qint64 *rowCount, QString *error) override
    {
        for (int i = 0; i < tablesIn.size(); ++i)
            if (tablesIn[i].name == name) {
                m_table = i;
                m_row = 0;
                *columns = tablesIn[i].columns;
                *rowCount = tablesIn[i].rows.size();
                return true;
            }
        *error = QStringLiteral("no table %1").arg(name);
        return false;
    }
    Fetch next(QVector<QVariant> *values, QString *error) override
    {
        const FakeTable &t = tablesIn[m_table];
        if (m_row == t.failAt) {
            *error = QStringLiteral("La tabella %1 del file è danneggiata").arg(t.name);
            return Fetch::Failed;
        }
        if (m_row >= t.rows.size())
            return Fetch::End;
        *values = t.rows[m_row++];
        return Fetch::Row;
    }
    FakeTable &table(const QString &name)
    {
        for (FakeTable &t : tablesIn)
            if (t.name.compare(name, Qt::CaseInsensitive) == 0)
                return t;
        static FakeTable none;
        return none;
    }

private:
    int m_table = 0;
    int m_row = 0;
};

inline QVector<JetColumn> cols(std::initializer_list<std::pair<const char *, int>> list)
{
    QVector<JetColumn> out;
    for (const auto &[name, type] : list)
        out.append({QString::fromLatin1(name), type});
    return out;
}

inline QVariant n(qint64 v) { return QVariant::fromValue<qint64>(v); }
inline QVariant s(const char *text) { return QString::fromUtf8(text); }
inline QVariant dt(int y, int mo, int d, int h = 0, int mi = 0, int sec = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, sec), Qt::UTC);
}

// An office's archive as the old program kept it, names in the file's own letter case.
inline FakeSource office()
{
    using namespace JetType;
    FakeSource src;
    src.tablesIn.append({"CLIENTI",
                         cols({{"Codice", Long}, {"Descr", Text}, {"Indirizzo", Text}, {"CAP", Text},
                               {"Provincia", Text}, {"Citta", Text}, {"Telefono", Text}, {"Fax", Text},
                               {"Email", Text}, {"Sito", Text}, {"Contatto", Text}, {"PIva", Text}}),
                         {}});
    src.tablesIn.append({"Progetti",
                         cols({{"codice", Text}, {"descr", Text}, {"ufficio", Text}, {"reparto", Text},
                               {"operatore", Text}, {"telefono", Text}, {"email", Text}, {"fax", Text},
                               {"specifica", Text}, {"note", Memo}, {"data", DateTime}, {"codcli", Int}}),
                         {}});
    src.tablesIn.append({"righeprj",
                         cols({{"codprj", Text}, {"livello", Byte}, {"codice", Text}, {"descr", Text},
                               {"data", DateTime}}),
                         {}});
    src.tablesIn.append({"Componenti",
                         cols({{"codprj", Text}, {"livello", Long}, {"codice", Text}, {"file", Text},
                               {"tipo", Text}, {"inserito", DateTime}}),
                         {}});
    src.tablesIn.append({"Configura",
                         cols({{"descr", Text}, {"indirizzo", Text}, {"citta", Text}, {"cap", Text},
                               {"provincia", Text}, {"telefono", Text}, {"fax", Text}, {"email", Text},
                               {"sito", Text}, {"piva", Text}, {"cf", Text}, {"sk1", Text}, {"sk2", Text},
                               {"sk3", Text}, {"pre1", Text}, {"pre2", Text}, {"pre3", Text}}),
                         {}});
    src.tablesIn.append({"MaxCodice", cols({{"codice", Long}, {"livello", Int}}), {}});
    return src;
}

inline QVector<QVariant> row(int size) { return QVector<QVariant>(size); }

} // namespace fakejet
