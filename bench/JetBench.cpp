// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of bringing an old Access archive across: the conversion of a large
// office's rows (generated as the Jet reader hands them) and a whole read of
// a real Jet file.
#include "BenchArchive.h"
#include "data/jet/JetImport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextStream>

namespace {

// Rows made on demand, as many as a large office's archive ten times over.
class GeneratedSource : public JetRowSource {
public:
    explicit GeneratedSource(const BenchSize &size) : m_size(size) {}
    QStringList tables() override { return Tables::all(); }
    bool openTable(const QString &name, QVector<JetColumn> *columns, qint64 *rowCount, QString *) override
    {
        using namespace JetType;
        m_table = name;
        m_row = 0;
        columns->clear();
        const auto add = [&](std::initializer_list<std::pair<const char *, int>> list) {
            for (const auto &[n, t] : list)
                columns->append({QString::fromLatin1(n), t});
        };
        if (name == Tables::Clienti) {
            add({{"codice", Long}, {"descr", Text}, {"indirizzo", Text}, {"cap", Text}, {"provincia", Text},
                 {"citta", Text}, {"telefono", Text}, {"fax", Text}, {"email", Text}, {"sito", Text},
                 {"contatto", Text}, {"piva", Text}});
            m_count = m_size.clients;
        } else if (name == Tables::Progetti) {
            add({{"codice", Text}, {"descr", Text}, {"ufficio", Text}, {"reparto", Text}, {"operatore", Text},
                 {"telefono", Text}, {"email", Text}, {"fax", Text}, {"specifica", Text}, {"note", Memo},
                 {"data", DateTime}, {"codcli", Long}});
            m_count = m_size.projects;
        } else if (name == Tables::RighePRJ) {
            add({{"codprj", Text}, {"livello", Int}, {"codice", Text}, {"descr", Text}, {"data", DateTime}});
            m_count = qint64(m_size.projects) * m_size.itemsPerProject;
        } else if (name == Tables::Componenti) {
            add({{"codprj", Text}, {"livello", Int}, {"codice", Text}, {"file", Text}, {"tipo", Text},
                 {"inserito", DateTime}});
            m_count = qint64(m_size.projects) * m_size.componentsPerProject;
        } else if (name == Tables::Configura) {
            add({{"descr", Text}, {"sk1", Text}});
            m_count = 1;
        } else {
            add({{"codice", Long}, {"livello", Int}});
            m_count = 3;
        }
        *rowCount = m_count;
        return true;
    }
    Fetch next(QVector<QVariant> *v, QString *) override
    {
        if (m_row >= m_count)
            return Fetch::End;
        const qint64 i = m_row++;
        const QDateTime when(QDate(2010, 1, 1).addDays(i % 5000), QTime(9, 30), Qt::UTC);
        const QString project = QStringLiteral("P%1").arg(i % m_size.projects + 1);
        if (m_table == Tables::Clienti)
            *v = {QVariant::fromValue<qint64>(i + 1), QStringLiteral("Cliente %1 città").arg(i + 1),
                  QStringLiteral("Via Roma %1").arg(i), QStringLiteral("20100"), QStringLiteral("MI"),
                  QStringLiteral("Milano"), QStringLiteral("02 1234567"), QVariant(), QStringLiteral("c@x.it"),
                  QVariant(), QStringLiteral("Rossi"), QStringLiteral("01234567890")};
        else if (m_table == Tables::Progetti)
            *v = {project, QStringLiteral("Progetto %1").arg(i), QStringLiteral("Tecnico"), QVariant(),
                  QStringLiteral("Bianchi"), QVariant(), QVariant(), QVariant(), QVariant(),
                  QStringLiteral("Note del progetto\r\nseconda riga"), when, QVariant::fromValue<qint64>(i % 10000 + 1)};
        else if (m_table == Tables::RighePRJ)
            *v = {project, QVariant::fromValue<qint64>(1 + i % 2), QStringLiteral("L1%1").arg(i),
                  QStringLiteral("Voce %1").arg(i), when};
        else if (m_table == Tables::Componenti)
            *v = {project, QVariant::fromValue<qint64>(i % 3), QStringLiteral("L1%1").arg(i),
                  QStringLiteral("C:\\Progetti\\%1\\disegno%2.dwg").arg(project).arg(i), QStringLiteral("DWG"), when};
        else if (m_table == Tables::Configura)
            *v = {QStringLiteral("Studio"), QStringLiteral("Progetto")};
        else
            *v = {QVariant::fromValue<qint64>(1000 + i), QVariant::fromValue<qint64>(i)};
        return Fetch::Row;
    }

private:
    BenchSize m_size;
    QString m_table;
    qint64 m_row = 0, m_count = 0;
};

} // namespace

void runJetBench(const QString &folder)
{
    QTextStream out(stdout);
    int serial = 0;
    bool ok = true;
    QString error;
    report("convert a Jet archive (10,000 clients and projects, 100,000 items and components)", timeMs([&] {
               GeneratedSource source{BenchSize{}};
               JetImportReport r;
               ok = ok && convertJetRows(source, QDir(folder).filePath(QStringLiteral("jet%1.mdb").arg(++serial)), &r, &error);
           }, 1));
    if (!ok)
        out << "    conversion failed: " << error << Qt::endl;

    const QString sample = qEnvironmentVariable("VELBOR_JET_SAMPLE", QStringLiteral("/work/shared/jet/nwind.mdb"));
    const QString copy = QDir(folder).filePath(QStringLiteral("nwind.mdb"));
    if (!QFile::copy(sample, copy)) {
        out << "read nwind.mdb whole: left out (no " << sample << ")" << Qt::endl;
        return;
    }
    qint64 rows = 0;
    report("read nwind.mdb whole (every table, every value)", timeMs([&] {
               rows = 0;
               JetReader reader;
               if (!reader.open(copy, &error))
                   return;
               for (const QString &table : reader.tables()) {
                   QVector<JetColumn> columns;
                   qint64 declared = 0;
                   QVector<QVariant> values;
                   if (reader.openTable(table, &columns, &declared, &error))
                       while (reader.next(&values, &error) == JetRowSource::Fetch::Row)
                           ++rows;
               }
           }));
    out << "    (" << rows << " rows)" << Qt::endl;
}
