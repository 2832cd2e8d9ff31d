// SPDX-License-Identifier: GPL-3.0-or-later
// The administration tool: creating, copying, moving, backing up and
// restoring archives, on a shared file or a PostgreSQL server, and rewriting a
// file archive that no workstation has open.
#include "data/engines/ArchiveCopy.h"
#include "data/engines/ArchiveUse.h"
#include "data/jet/JetImport.h"
#include "data/engines/PgStore.h"
#include "data/engines/SqliteStore.h"
#include "data/basMain.h"
#include "platform/Paths.h"
#include "data/engines/WorkFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <functional>

#include <sqlite3.h>

#include "Version.h"

namespace {
#ifdef _WIN32
#define VELBOR_PGPASS "%APPDATA%\\postgresql\\pgpass.conf"
#else
#define VELBOR_PGPASS "~/.pgpass"
#endif
const char *const kUsage =
    "Uso: velbor_admin COMANDO ARGOMENTI\n"
    "\n"
    "Un ARCHIVIO è il percorso di un file Velbor.mdb, di un file Velbor.server, oppure\n"
    "una stringa di connessione PostgreSQL (\"postgresql://server/velbor\" oppure\n"
    "\"host=server dbname=velbor\"). Le password non si scrivono mai nei comandi né in\n"
    "Velbor.server (una stringa che ne contiene una è rifiutata): vanno nel file\n"
    VELBOR_PGPASS " dell'utente (o PGPASSFILE) o in un file di servizio; oppure Kerberos o\n"
    "un certificato. Una password si invia solo con SCRAM su TLS (channel binding) o\n"
    "su un socket locale del server.\n"
    "\n"
    "Comandi:\n"
    "  crea CONNESSIONE     crea le tabelle dell'archivio in un database PostgreSQL\n"
    "                       vuoto.\n"
    "  permessi CONNESSIONE RUOLO\n"
    "                       concede al ruolo RUOLO i soli permessi che servono a\n"
    "                       Velbor sulle tabelle dell'archivio: leggere e scrivere\n"
    "                       righe e fare backup (nessun permesso di modificare le\n"
    "                       tabelle). Da eseguire come proprietario del database.\n"
    "  copia ORIGINE DESTINAZIONE\n"
    "                       copia tutto l'archivio ORIGINE in DESTINAZIONE: un file\n"
    "                       Velbor.mdb nuovo (che non deve esistere) o un database\n"
    "                       PostgreSQL (le tabelle vengono create se mancano; se\n"
    "                       contengono righe il comando rifiuta). Ogni riga e ogni\n"
    "                       valore vengono verificati prima di confermare la copia;\n"
    "                       l'origine non viene mai modificata. Un valore che la\n"
    "                       copia altererebbe (un testo che non è UTF-8 valido, una\n"
    "                       data illeggibile) ferma il comando prima di toccare la\n"
    "                       destinazione, indicando tabella, riga e campo.\n"
    "  trasferisci CARTELLA_DATI CONNESSIONE\n"
    "                       sposta l'archivio Velbor.mdb della cartella dati sul\n"
    "                       server: lo copia e verifica, scrive Velbor.server nella\n"
    "                       cartella e rinomina il vecchio file in\n"
    "                       \"Velbor.mdb.trasferito-sul-server\", così nessuna\n"
    "                       postazione continua a scrivere su una copia superata.\n"
    "                       Tutte le postazioni devono avere chiuso Velbor.\n"
    "  backup ARCHIVIO FILE crea una copia coerente dell'archivio anche mentre le\n"
    "                       postazioni lavorano: per un file, un nuovo Velbor.mdb;\n"
    "                       per il server, un file di pg_dump (formato custom) o,\n"
    "                       se FILE termina con .mdb, un nuovo Velbor.mdb.\n"
    "  ripristina FILE DESTINAZIONE\n"
    "                       ripristina un backup (un Velbor.mdb o un file di\n"
    "                       pg_dump) in una destinazione vuota.\n"
    "  pagine64 ARCHIVIO    riscrive l'archivio (Velbor.mdb) con pagine da 64 KB, che\n"
    "                       su una cartella di rete richiedono molte meno letture.\n"
    "                       Tutte le postazioni devono avere chiuso Velbor: se una lo\n"
    "                       ha aperto, il comando rifiuta e non cambia nulla.\n"
    "  converti FILE_JET NUOVO_ARCHIVIO\n"
    "                       converte un vecchio archivio Access/Jet (Velbor.mdb del\n"
    "                       formato Jet 3, Jet 4 o ACE) in un nuovo archivio: un\n"
    "                       file che non deve esistere, o un database PostgreSQL\n"
    "                       vuoto. Il file Access non viene modificato. Tutte le\n"
    "                       postazioni devono avere chiuso il vecchio programma: se\n"
    "                       il file di blocco (Velbor.ldb) ne indica una al lavoro,\n"
    "                       il comando rifiuta. Stampa l'avanzamento e, per ogni\n"
    "                       tabella, i record letti e scritti.\n"
    "  -h, --help           mostra questo aiuto ed esce.\n"
    "  --version            mostra la versione ed esce.\n"
    "\n"
    "Con crea, copia, trasferisci, converti e ripristina verso un server, l'opzione\n"
    "--permessi RUOLO concede a RUOLO, a lavoro finito, gli stessi permessi del\n"
    "comando permessi (un ripristino non porta con sé i permessi). Un nome di file\n"
    "che comincia con un trattino va scritto dopo \"--\".\n";

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

int failWith(const QString &message)
{
    err() << message << Qt::endl;
    return 1;
}

// The role named by --permessi, granted its rights once a command has made
// a server archive.
QString g_grantRole;

int grantRights(const QString &conninfo, const QString &role)
{
    QString error;
    PgStore store;
    if (!store.open(conninfo, &error) || !store.grantRights(role, &error))
        return failWith(QStringLiteral("Permessi non concessi a %1: %2").arg(role, error));
    out() << "Concessi a " << role << " i permessi di Velbor sulle tabelle dell'archivio." << Qt::endl;
    return 0;
}

int grantCommand(const QString &archive, const QString &role)
{
    QString error;
    ArchivePlace place;
    if (!placeOf(archive, &place, &error))
        return failWith(error);
    if (!place.server)
        return failWith(QStringLiteral("I permessi si concedono solo su un archivio sul server, non su %1.").arg(place.describe()));
    return grantRights(place.conninfo, role);
}

// What a command that made a server archive ends with.
int done(const ArchivePlace &place)
{
    return place.server && !g_grantRole.isEmpty() ? grantRights(place.conninfo, g_grantRole) : 0;
}

int convert(const QString &jetPath, const QString &destination)
{
    if (!JetReader::available()) {
        err() << JetReader::unavailableText() << Qt::endl;
        return 1;
    }
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
    JetImportReport report;
    QString error;
    ArchivePlace place;
    if (!placeOf(destination, &place, &error))
        return failWith(error);
    out() << "Conversione di " << jetPath << " in " << place.describe() << "..." << Qt::endl;
    QString current;
    const auto progress = [&](const QString &table, qint64 done, qint64 total) {
        if (table != current) {
            current = table;
            out() << "  " << table << ": " << total << " record da leggere" << Qt::endl;
        } else if (done > 0) {
            out() << "  " << table << ": " << done << " di " << total << Qt::endl;
        }
        return true;
    };
    bool ok = false;
    if (place.server) {
        Archive target;
        JetReader reader;
        ok = reader.open(jetPath, &error) && openEmptyServer(place.conninfo, &target, &error)
             && writeJetRows(reader, target.store(), target.tables(), &report, &error, progress);
    } else {
        ok = convertJetFile(jetPath, destination, &report, &error, progress);
    }
    if (!ok) {
        err() << error << Qt::endl;
        return 1;
    }
    out() << "Fatto: nuovo archivio " << place.describe() << ".\n";
    for (const QString &line : report.lines())
        out() << line << "\n";
    out() << Qt::flush;
    return done(place);
}

void printProgress(const QString &table, qint64 done, qint64 total)
{
    err() << "\r" << table << ": " << done << "/" << total << " righe" << (done >= total ? "\n" : "") << Qt::flush;
}

void printReport(const QVector<TableCount> &copied)
{
    out() << "Righe copiate e verificate per tabella:\n";
    for (const TableCount &t : copied)
        out() << "  " << t.table << ": " << t.rows << "\n";
    out() << Qt::flush;
}

int createTables(const QString &conninfo)
{
    QString error;
    if (!PgConnect::check(conninfo, &error) || !PgStore::createArchive(conninfo, &error))
        return failWith(QStringLiteral("Tabelle non create: %1").arg(error));
    out() << "Tabelle dell'archivio create." << Qt::endl;
    ArchivePlace place;
    place.server = true;
    place.conninfo = conninfo;
    return done(place);
}

int copy(const QString &fromArg, const QString &toArg)
{
    QString error;
    ArchivePlace from, to;
    if (!placeOf(fromArg, &from, &error) || !placeOf(toArg, &to, &error))
        return failWith(error);
    Archive source;
    if (!openArchive(from, &source, &error))
        return failWith(QStringLiteral("Impossibile aprire l'origine %1: %2").arg(from.describe(), error));
    QVector<TableCount> copied;
    out() << "Copia di " << from.describe() << " in " << to.describe() << "..." << Qt::endl;
    if (!checkCopyable(source, &error))
        return failWith(QStringLiteral("Copia non eseguita, la destinazione non è stata toccata: %1").arg(error));
    if (!to.server) {
        if (!copyToNewFile(source, to.path, printProgress, &copied, &error))
            return failWith(QStringLiteral("Copia non eseguita: %1").arg(error));
    } else {
        Archive target;
        if (!openEmptyServer(to.conninfo, &target, &error))
            return failWith(QStringLiteral("Impossibile aprire la destinazione %1: %2").arg(to.describe(), error));
        if (!copyArchive(source, target, printProgress, &copied, &error))
            return failWith(QStringLiteral("Copia non eseguita: %1").arg(error));
    }
    printReport(copied);
    return done(to);
}

int moveToServer(const QString &folder, const QString &conninfo)
{
    {
        // Velbor.server is read by every workstation: never a password in it.
        QString error;
        if (!PgConnect::check(conninfo, &error))
            return failWith(QStringLiteral("Trasferimento non eseguito: %1").arg(error));
    }
    const QString file = archivePathIn(folder);
    if (isServerFile(file))
        return failWith(QStringLiteral("La cartella %1 usa già un archivio sul server (%2).").arg(folder, file));
    if (!QFileInfo(file).isFile())
        return failWith(QStringLiteral("La cartella %1 non contiene l'archivio Velbor.mdb.").arg(folder));
    if (nameTaken(Paths::join(folder, QStringLiteral("Velbor.server"))))
        return failWith(QStringLiteral("Nella cartella %1 il nome Velbor.server è già preso (un file, una cartella o "
                                       "un collegamento simbolico): eliminarlo e riprovare. Nulla è stato cambiato.")
                            .arg(folder));
    // No workstation may write the file while it moves, nor after.
    ArchiveUse use;
    QString error;
    if (!use.acquire(file, ArchiveUse::Mode::Alone, &error))
        return failWith(error);
    QVector<TableCount> copied;
    {
        Archive source, target;
        if (!source.open(file, &error, true))
            return failWith(QStringLiteral("Impossibile aprire %1: %2").arg(file, error));
        if (!checkCopyable(source, &error))
            return failWith(QStringLiteral("Trasferimento non eseguito, la cartella e il server sono rimasti "
                                           "com'erano: %1")
                                .arg(error));
        if (!openEmptyServer(conninfo, &target, &error))
            return failWith(QStringLiteral("Impossibile aprire il server: %1").arg(error));
        out() << "Trasferimento di " << file << " sul server..." << Qt::endl;
        if (!copyArchive(source, target, printProgress, &copied, &error))
            return failWith(QStringLiteral("Trasferimento non eseguito, la cartella è rimasta com'era: %1").arg(error));
    }
    const QString serverFile = Paths::join(folder, QStringLiteral("Velbor.server"));
    const QString kept = file + QStringLiteral(".trasferito-sul-server");
    if (nameTaken(kept))
        return failWith(QStringLiteral("Esiste già %1: rinominarlo o spostarlo prima del trasferimento. "
                                       "I dati sono sul server, ma la cartella non è stata cambiata.")
                            .arg(kept));
    // Written whole in a folder of its own, then given its name only if
    // nothing (not even a link planted there) has it.
    {
        WorkFolder work(serverFile);
        const QString written = work.file(QStringLiteral("Velbor.server"));
        if (!work.ok() || !writeExclusive(written, (conninfo + QStringLiteral("\n")).toUtf8(), &error)
            || !placeNewFile(written, serverFile, &error))
            return failWith(QStringLiteral("Impossibile scrivere %1: %2. I dati sono sul server, ma la cartella "
                                           "non è stata cambiata.")
                                .arg(serverFile, work.ok() ? error : work.error()));
        QFile::setPermissions(serverFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    if (!placeNewFile(file, kept, &error))
        return failWith(QStringLiteral("Impossibile rinominare %1 (%2): le postazioni useranno comunque il server "
                                       "(Velbor.server ha la precedenza).")
                            .arg(file, error));
    use.release();
    QFile::remove(ArchiveUse::markPath(file));
    printReport(copied);
    out() << "Fatto: la cartella usa ora l'archivio sul server (" << serverFile << ");\nil vecchio archivio è in "
          << kept << "." << Qt::endl;
    ArchivePlace place;
    place.server = true;
    place.conninfo = conninfo;
    return done(place);
}

int runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(program, args);
    if (!p.waitForStarted())
        return failWith(QStringLiteral("Impossibile avviare %1 (pacchetto postgresql-client).").arg(program));
    p.waitForFinished(-1);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : 1;
}

int backup(const QString &fromArg, const QString &file)
{
    QString error;
    ArchivePlace from;
    if (!placeOf(fromArg, &from, &error))
        return failWith(error);
    if (nameTaken(file))
        return failWith(QStringLiteral("Il file %1 esiste già: il backup non lo sovrascrive.").arg(file));
    // Every file is written in a folder of this run's own and given its name
    // at the end, never through anything planted under a predictable name.
    WorkFolder work(file);
    if (!work.ok())
        return failWith(QStringLiteral("Backup non eseguito: %1").arg(work.error()));
    const QString temporary = work.file(QFileInfo(file).fileName());
    if (from.server && !file.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive)) {
        // pg_dump reads in one snapshot while workstations work, from the
        // server verified here and with a stored password only.
        PgStore server;
        if (!server.open(from.conninfo, &error))
            return failWith(QStringLiteral("Impossibile aprire %1: %2").arg(from.describe(), error));
        const QString conninfo = server.toolConninfo();
        server.close();
        const int code = runTool(QStringLiteral("pg_dump"), {QStringLiteral("--format=custom"), QStringLiteral("--no-owner"),
                                                             QStringLiteral("--no-password"),
                                                             QStringLiteral("--file=") + temporary,
                                                             QStringLiteral("--dbname=") + conninfo});
        if (code != 0)
            return failWith(QStringLiteral("Backup non eseguito."));
        if (!placeNewFile(temporary, file, &error))
            return failWith(QStringLiteral("Backup non eseguito: %1").arg(error));
        out() << "Backup del server in " << file << " (formato pg_dump)." << Qt::endl;
        return 0;
    }
    Archive source;
    if (!openArchive(from, &source, &error))
        return failWith(QStringLiteral("Impossibile aprire %1: %2").arg(from.describe(), error));
    if (!from.server) {
        if (!backupFileArchive(source, file, BackupCheck::Rows, &error))
            return failWith(QStringLiteral("Backup non eseguito: %1").arg(error));
        out() << "Backup di " << from.describe() << " in " << file << ", verificato." << Qt::endl;
        return 0;
    }
    QVector<TableCount> copied;
    if (!copyToNewFile(source, file, printProgress, &copied, &error))
        return failWith(QStringLiteral("Backup non eseguito: %1").arg(error));
    printReport(copied);
    return 0;
}

int restore(const QString &file, const QString &toArg)
{
    QString error;
    QFile in;
    if (!Files::openRegularFile(in, file, &error))
        return failWith(error);
    const QByteArray head = in.read(16);
    in.close();
    ArchivePlace to;
    if (!placeOf(toArg, &to, &error))
        return failWith(error);
    if (head.startsWith("PGDMP")) {
        if (!to.server)
            return failWith(QStringLiteral("Un backup di pg_dump si ripristina solo su un server PostgreSQL."));
        PgStore probe;
        if (!probe.open(to.conninfo, &error))
            return failWith(error);
        const QStringList present = probe.archiveTablesPresent(&error);
        if (!error.isEmpty())
            return failWith(error);
        if (!present.isEmpty())
            return failWith(QStringLiteral("La destinazione contiene già le tabelle dell'archivio: si ripristina "
                                           "solo in un database vuoto."));
        const QString conninfo = probe.toolConninfo();
        probe.close();
        // The backup's grants are not restored: they name roles of the server
        // it came from. --permessi grants the office's role its rights again.
        const int code = runTool(QStringLiteral("pg_restore"), {QStringLiteral("--no-owner"), QStringLiteral("--no-privileges"),
                                                                QStringLiteral("--single-transaction"), QStringLiteral("--exit-on-error"),
                                                                QStringLiteral("--no-password"),
                                                                QStringLiteral("--dbname=") + conninfo, file});
        if (code != 0)
            return failWith(QStringLiteral("Ripristino non eseguito: nulla è stato scritto."));
        Archive check;
        if (!check.openServer(to.conninfo, &error))
            return failWith(QStringLiteral("Ripristino eseguito, ma l'archivio non si apre: %1").arg(error));
        out() << "Ripristino eseguito in " << to.describe() << "." << Qt::endl;
        if (g_grantRole.isEmpty())
            out() << "I permessi non vengono ripristinati: concederli al ruolo dell'ufficio con\n"
                     "  velbor_admin permessi DESTINAZIONE RUOLO" << Qt::endl;
        return done(to);
    }
    if (!head.startsWith("SQLite format 3"))
        return failWith(QStringLiteral("%1 non è un backup di Velbor (né un archivio Velbor.mdb né un file di pg_dump).").arg(file));
    return copy(file, toArg);
}
} // namespace

namespace {
// The commands, with their arguments as the help names them.
struct Command {
    QString name;
    QStringList arguments;
    bool grants;   // takes --permessi
    std::function<int(const QStringList &)> run;
};
const QVector<Command> &commands()
{
    static const QVector<Command> all = {
        {"crea", {"CONNESSIONE"}, true, [](const QStringList &a) { return createTables(a.at(0)); }},
        {"permessi", {"CONNESSIONE", "RUOLO"}, false, [](const QStringList &a) { return grantCommand(a.at(0), a.at(1)); }},
        {"copia", {"ORIGINE", "DESTINAZIONE"}, true, [](const QStringList &a) { return copy(a.at(0), a.at(1)); }},
        {"trasferisci", {"CARTELLA_DATI", "CONNESSIONE"}, true,
         [](const QStringList &a) { return moveToServer(a.at(0), a.at(1)); }},
        {"backup", {"ARCHIVIO", "FILE"}, false, [](const QStringList &a) { return backup(a.at(0), a.at(1)); }},
        {"ripristina", {"FILE", "DESTINAZIONE"}, true, [](const QStringList &a) { return restore(a.at(0), a.at(1)); }},
        {"pagine64", {"ARCHIVIO"}, false, [](const QStringList &a) { return largePages(a.at(0)); }},
        {"converti", {"FILE_JET", "NUOVO_ARCHIVIO"}, true, [](const QStringList &a) { return convert(a.at(0), a.at(1)); }},
    };
    return all;
}

// A command line it cannot carry out: what is wrong, then where the help is.
int refuse(const QString &message)
{
    err() << message << "\nUso: velbor_admin COMANDO ARGOMENTI\nPer l'elenco dei comandi: velbor_admin --help\n"
          << Qt::flush;
    return 1;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        err() << kUsage << Qt::flush;
        return 1;
    }
    // Options may stand anywhere; after "--" every argument is a command's
    // (a file whose name begins with a dash).
    QStringList words;
    bool options = true;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (!options || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            words << arg;
        } else if (arg == QLatin1String("--")) {
            options = false;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out() << kUsage << Qt::flush;
            return 0;
        } else if (arg == QLatin1String("--version")) {
            out() << "velbor_admin " VELBOR_VERSION "\n" << Qt::flush;
            return 0;
        } else if (arg == QLatin1String("--permessi")) {
            if (i + 1 >= args.size() || args.at(i + 1).isEmpty())
                return refuse(QStringLiteral("--permessi vuole il nome del ruolo."));
            g_grantRole = args.at(++i);
        } else {
            return refuse(QStringLiteral("Opzione sconosciuta: %1").arg(arg));
        }
    }
    if (words.isEmpty())
        return refuse(QStringLiteral("Manca il comando."));
    const QString name = words.takeFirst();
    const auto command = std::find_if(commands().cbegin(), commands().cend(),
                                      [&](const Command &c) { return c.name == name; });
    if (command == commands().cend())
        return refuse(QStringLiteral("Comando sconosciuto: %1").arg(name));
    if (!g_grantRole.isEmpty() && !command->grants) {
        err() << "--permessi vale solo con crea, copia, trasferisci, converti e ripristina.\n" << Qt::flush;
        return 1;
    }
    if (words.size() != command->arguments.size())
        return refuse(QStringLiteral("Il comando %1 vuole %2 (%3), non %4.")
                          .arg(name,
                               command->arguments.size() == 1 ? QStringLiteral("un argomento")
                                                              : QStringLiteral("%1 argomenti").arg(command->arguments.size()),
                               command->arguments.join(QLatin1Char(' ')), QString::number(words.size())));
    return command->run(words);
}
