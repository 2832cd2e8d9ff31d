// The administration tool: work on an archive that no workstation has open.
#include "data/ArchiveUse.h"
#include "data/JetImport.h"
#include "data/SqliteStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <sqlite3.h>

namespace {
const char *const kUsage =
    "Uso: velbor_admin COMANDO ARGOMENTI\n"
    "\n"
    "Comandi:\n"
    "  pagine64 ARCHIVIO   riscrive l'archivio (Velbor.mdb) con pagine da 64 KB, che\n"
    "                      su una cartella di rete richiedono molte meno letture.\n"
    "                      Tutte le postazioni devono avere chiuso Velbor: se una lo\n"
    "                      ha aperto, il comando rifiuta e non cambia nulla.\n"
    "  converti FILE_JET NUOVO_ARCHIVIO\n"
    "                      converte un vecchio archivio Access/Jet (Velbor.mdb del\n"
    "                      formato Jet 3, Jet 4 o ACE) in un nuovo archivio, che non\n"
    "                      deve esistere. Il file Access non viene modificato. Tutte\n"
    "                      le postazioni devono avere chiuso il vecchio programma:\n"
    "                      se il file di blocco (Velbor.ldb) ne indica una al lavoro,\n"
    "                      il comando rifiuta. Stampa l'avanzamento e, per ogni\n"
    "                      tabella, i record letti e scritti.\n"
    "  --help              mostra questo aiuto.\n";

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}
QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

QString scalar(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *stmt = nullptr;
    QString value;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    return value;
}

// Rows of every table, as one text to compare before and after.
QString census(sqlite3 *db)
{
    QString text;
    for (const char *table : {"Clienti", "Progetti", "RighePRJ", "Componenti", "Configura", "maxcodice"})
        text += QStringLiteral("%1 %2\n").arg(QLatin1String(table),
                                             scalar(db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table)).toUtf8().constData()));
    return text;
}

int largePages(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        err() << "L'archivio " << path << " non esiste." << Qt::endl;
        return 1;
    }
    ArchiveUse use;
    QString error;
    if (!use.acquire(path, ArchiveUse::Mode::Alone, &error)) {
        err() << error << Qt::endl;
        return 2;
    }
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        err() << "Impossibile aprire " << path << ": " << sqlite3_errmsg(db) << Qt::endl;
        sqlite3_close(db);
        return 1;
    }
    sqlite3_busy_timeout(db, SqliteStore::kBusyTimeoutMs);
    const QString before = census(db);
    const QString pageSize = scalar(db, "PRAGMA page_size");
    if (pageSize.toInt() == SqliteStore::kPageSize) {
        out() << "L'archivio ha già pagine da 64 KB: nulla da fare." << Qt::endl;
        sqlite3_close(db);
        return 0;
    }
    out() << "Conversione di " << path << " da pagine di " << pageSize << " byte a 64 KB..." << Qt::endl;
    // One rewrite under the rollback journal: interrupted, it is undone whole.
    const QByteArray sql = "PRAGMA journal_mode=DELETE; PRAGMA page_size=" + QByteArray::number(SqliteStore::kPageSize)
                           + "; VACUUM;";
    char *message = nullptr;
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        err() << "Conversione non riuscita, l'archivio è rimasto com'era: " << (message ? message : sqlite3_errmsg(db))
              << Qt::endl;
        sqlite3_free(message);
        sqlite3_close(db);
        return 1;
    }
    const QString after = census(db);
    const QString check = scalar(db, "PRAGMA integrity_check");
    const QString now = scalar(db, "PRAGMA page_size");
    sqlite3_close(db);
    if (after != before || check != QLatin1String("ok") || now.toInt() != SqliteStore::kPageSize) {
        err() << "Verifica non superata dopo la conversione (" << check << ").\nPrima:\n"
              << before << "Dopo:\n" << after << Qt::endl;
        return 1;
    }
    out() << "Fatto: pagine da " << now << " byte, record per tabella invariati:\n" << after << Qt::flush;
    return 0;
}
int convert(const QString &jetPath, const QString &destination)
{
    if (!QFileInfo(jetPath).isFile()) {
        err() << "Il file " << jetPath << " non esiste." << Qt::endl;
        return 1;
    }
    QString lockFile;
    const QStringList holders = jetLockHolders(jetPath, &lockFile);
    if (!holders.isEmpty()) {
        err() << "Il file " << jetPath << " risulta aperto dalle postazioni: " << holders.join(QStringLiteral(", "))
              << ".\nChiudere il programma su tutte le postazioni e riprovare; se nessuna lo usa più, eliminare "
              << lockFile << "." << Qt::endl;
        return 2;
    }
    out() << "Conversione di " << jetPath << " in " << destination << "..." << Qt::endl;
    JetImportReport report;
    QString error;
    QString current;
    const bool ok = convertJetFile(jetPath, destination, &report, &error,
                                   [&](const QString &table, qint64 done, qint64 total) {
                                       if (table != current) {
                                           current = table;
                                           out() << "  " << table << ": " << total << " record da leggere" << Qt::endl;
                                       } else if (done > 0) {
                                           out() << "  " << table << ": " << done << " di " << total << Qt::endl;
                                       }
                                       return true;
                                   });
    if (!ok) {
        err() << error << Qt::endl;
        return 1;
    }
    out() << "Fatto: nuovo archivio " << destination << ".\n";
    for (const QString &line : report.lines())
        out() << line << "\n";
    out() << Qt::flush;
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        (args.isEmpty() ? err() : out()) << kUsage << Qt::flush;
        return args.isEmpty() ? 1 : 0;
    }
    if (args.first() == QLatin1String("pagine64") && args.size() == 2)
        return largePages(args.at(1));
    if (args.first() == QLatin1String("converti") && args.size() == 3)
        return convert(args.at(1), args.at(2));
    err() << "Comando non riconosciuto.\n\n" << kUsage << Qt::flush;
    return 1;
}
