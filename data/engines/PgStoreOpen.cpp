// SPDX-License-Identifier: GPL-3.0-or-later
// The server engine's way in: which server answers, whether it may be given
// a password, and the connection that follows.
#include "data/engines/PgStore.h"

#include "data/Files.h"
#include "data/engines/PgSql.h"
#include "schema_pg_sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <libpq-fe.h>
#include <pg_config_manual.h>

#include <limits>

#include <sys/stat.h>

namespace {
PgStore::PasswordPrompt g_prompt;
QString g_knownServerFile;
PgStore::ServerConfirm g_confirmServer;
} // namespace

using PgSql::trimmedMessage;

void PgStore::setPasswordPrompt(PasswordPrompt prompt)
{
    g_prompt = std::move(prompt);
}

void PgStore::setKnownServer(const QString &file, ServerConfirm confirm)
{
    g_knownServerFile = file;
    g_confirmServer = std::move(confirm);
}

QString PgStore::connectionError() const
{
    if (!m_conn)
        return QStringLiteral("archivio non aperto");
    const QString message = trimmedMessage(PQerrorMessage(m_conn));
    return message.isEmpty() ? QStringLiteral("connessione al server interrotta") : message;
}

bool PgStore::connect(const PgConnect::Options &options, const PgConnect::Server *expected,
                      PgConnect::Server *seen, QString *error)
{
    if (m_conn)
        PQfinish(m_conn);
    QString refusal;
    m_conn = PgConnect::connect(options, expected, seen, &refusal);
    if (!m_conn) {
        *error = QStringLiteral("Memoria insufficiente per la connessione al server.");
        return false;
    }
    if (!refusal.isEmpty()) {
        *error = refusal;
        return false;
    }
    if (PQstatus(m_conn) != CONNECTION_OK) {
        *error = connectionError();
        return false;
    }
    // The server's notices are for its log, not the workstation's terminal.
    PQsetNoticeProcessor(m_conn, [](void *, const char *) {}, nullptr);
    return true;
}


namespace {
// How the server asked for the password, when it could be read.
QString requestedAs(int authRequest)
{
    switch (authRequest) {
    case 3: return QStringLiteral(" in chiaro");
    case 5: return QStringLiteral(" con MD5");
    case 10: return QStringLiteral(" con SCRAM");
    default: return QString();
    }
}

// libpq's refusal of a login without channel binding, in the user's words.
QString channelBindingRefused(const QString &where, const QString &libpqMessage)
{
    return QStringLiteral("Il server %1 non ha accettato l'accesso con SCRAM e channel binding, l'unico con cui Velbor "
                          "invia una password: la password non è stata inviata. Sul server servono l'autenticazione "
                          "scram-sha-256 (riga hostssl di pg_hba.conf) e la password dell'utente salvata come SCRAM. (%2)")
        .arg(where, libpqMessage);
}
} // namespace

bool PgStore::confirmServer(const PgConnect::Server &seen, QString *error)
{
    if (g_knownServerFile.isEmpty())
        return true;
    PgConnect::Server known;
    if (!PgConnect::loadKnown(g_knownServerFile, &known) || seen.sameAs(known))
        return true;
    if (g_confirmServer && g_confirmServer(seen.describe(), known.describe()))
        return true;
    *error = QStringLiteral("Collegamento annullato: l'archivio indica il server %1, mentre questa postazione finora "
                            "usava %2. Se il cambio non è voluto dall'amministratore, qualcuno può avere modificato "
                            "Velbor.server nella cartella dati.")
                 .arg(seen.describe(), known.describe());
    return false;
}

bool PgStore::passwordOptions(const PgConnect::Server &seen, PgConnect::Options *options, QString *error) const
{
    // The second connection goes to the very server the first one reached.
    PgConnect::set(options, "host", seen.host.toUtf8());
    PgConnect::set(options, "port", seen.port.toUtf8());
    if (seen.socket) {
        // On a local socket the kernel tells who runs the server: only that
        // system user's server is given the password.
        if (seen.socketOwner.isEmpty()) {
            *error = QStringLiteral("Il server su %1 chiede una password, ma il sistema non dice quale utente lo "
                                    "esegue: la password non viene inviata.")
                         .arg(seen.host);
            return false;
        }
        PgConnect::set(options, "requirepeer", seen.socketOwner.toUtf8());
        return true;
    }
    if (!PgConnect::canEncrypt()) {
        *error = QStringLiteral("Il server (%1) chiede una password, ma questa versione di Velbor non sa cifrare il "
                                "collegamento (libreria libpq senza TLS): la password non viene inviata. Da questa "
                                "postazione si accede al server solo senza password, come l'amministratore stabilisce "
                                "(ad esempio con SSPI o un certificato del cliente).")
                     .arg(seen.describe());
        return false;
    }
    if (!seen.tls) {
        *error = QStringLiteral("Il server (%1) chiede la password%2 su una connessione non cifrata. Velbor invia una "
                                "password solo con SCRAM su una connessione cifrata (TLS), così un server che non la "
                                "conosca già non può leggerla: la password non è stata inviata. L'amministratore deve "
                                "attivare TLS sul server (riga hostssl ... scram-sha-256 in pg_hba.conf) oppure un "
                                "accesso senza password.")
                     .arg(seen.describe(), requestedAs(seen.authRequest));
        return false;
    }
    PgConnect::set(options, "hostaddr", seen.address.toUtf8());
    const QByteArray mode = PgConnect::value(*options, "sslmode");
    if (mode != "verify-ca" && mode != "verify-full")
        PgConnect::set(options, "sslmode", "require");
    // libpq then answers nothing but SCRAM bound to this TLS connection.
    PgConnect::set(options, "channel_binding", "require");
    return true;
}

bool PgStore::open(const QString &conninfo, QString *error)
{
    close();
    error->clear();
    m_conninfo = conninfo;
    PgConnect::Options options;
    if (!PgConnect::check(conninfo, error) || !PgConnect::parse(conninfo, &options, error))
        return false;
    // Defaults the string may override, then the program's own settings.
    if (!PgConnect::has(options, "connect_timeout"))
        PgConnect::set(&options, "connect_timeout", "10");
    if (!PgConnect::has(options, "fallback_application_name"))
        PgConnect::set(&options, "fallback_application_name", "velbor");
    PgConnect::set(&options, "client_encoding", "UTF8");

    // First with no password from anywhere (neither the environment nor a
    // password or service file): who answers, and whether it wants one.
    PgConnect::Options first = options;
    PgConnect::set(&first, "password", QByteArray());
    PgConnect::set(&first, "passfile", "/dev/null/nessuno");
    PgConnect::Server seen;
    const bool connected = connect(first, nullptr, &seen, error);
    const bool wantsPassword = !connected && m_conn && PQstatus(m_conn) == CONNECTION_BAD
                               && PQconnectionNeedsPassword(m_conn) && !seen.isEmpty();
    if ((!connected && !wantsPassword) || !confirmServer(seen, error)) {
        close();
        return false;
    }
    m_server = seen;
    if (connected) {
        m_options = first;
        return finishOpen(error);
    }

    PgConnect::Options second = options;
    if (!passwordOptions(seen, &second, error)) {
        close();
        return false;
    }
    const QString where = QStringLiteral("%1 (database %2, utente %3)")
                              .arg(seen.host, seen.database, QString::fromUtf8(PQuser(m_conn)));
    // A password libpq finds itself (PGPASSWORD, the password file, a service file).
    PgConnect::Server again;
    if (connect(second, &seen, &again, error)) {
        m_options = second;
        return finishOpen(error);
    }
    if (error->contains(QLatin1String("channel binding")))
        *error = channelBindingRefused(where, *error);
    // Or typed, when none was found or the one typed was refused (three tries).
    for (int attempt = 0; attempt < 3 && m_conn && g_prompt && PQstatus(m_conn) == CONNECTION_BAD
                          && (PQconnectionNeedsPassword(m_conn) || (attempt > 0 && PQconnectionUsedPassword(m_conn)));
         ++attempt) {
        QString password;
        bool remember = false;
        if (!g_prompt(where, &password, &remember)) {
            *error = QStringLiteral("Password non inserita: %1").arg(*error);
            break;
        }
        PgConnect::Options typed = second;
        PgConnect::set(&typed, "password", password.toUtf8());
        if (connect(typed, &seen, &again, error)) {
            m_options = typed;
            if (!finishOpen(error))
                return false;
            QString warning;
            if (remember
                && !rememberPassword(seen.host, seen.port, seen.database, QString::fromUtf8(PQuser(m_conn)), password,
                                     &warning))
                qWarning("%s", qPrintable(warning));
            return true;
        }
        if (error->contains(QLatin1String("channel binding"))) {
            *error = channelBindingRefused(where, *error);
            break;
        }
    }
    close();
    return false;
}

bool PgStore::finishOpen(QString *error)
{
    if (!prepareSession(error)) {
        close();
        return false;
    }
    // The first server this user reaches is the one verified from then on.
    if (!g_knownServerFile.isEmpty()) {
        PgConnect::Server known;
        QString warning;
        if ((!PgConnect::loadKnown(g_knownServerFile, &known) || !m_server.sameAs(known))
            && !PgConnect::saveKnown(g_knownServerFile, m_server, &warning))
            qWarning("%s", qPrintable(warning));
    }
    return true;
}

QString PgStore::toolConninfo() const
{
    // Everything this connection was made with but a typed password, which
    // never goes on a command line: tools find a stored one as libpq does.
    PgConnect::Options options = m_options;
    if (!PgConnect::value(options, "password").isEmpty())
        PgConnect::remove(&options, "password");
    return QString::fromUtf8(PgConnect::build(options));
}

