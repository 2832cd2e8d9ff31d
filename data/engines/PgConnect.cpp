// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engines/PgConnect.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <libpq-fe.h>
#ifdef VELBOR_OPENSSL
#include <openssl/ssl.h>
#include <openssl/x509.h>
#endif

#include <cerrno>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace PgConnect {

namespace {

QString trimmed(const char *text)
{
    return QString::fromUtf8(text ? text : "").trimmed();
}

// Keywords whose value is a secret.
bool isSecret(const QByteArray &key)
{
    return key == "password" || key == "sslpassword";
}

#ifdef VELBOR_OPENSSL
QString certificateOf(PGconn *conn)
{
    auto *ssl = static_cast<SSL *>(PQsslStruct(conn, "OpenSSL"));
    if (!ssl)
        return {};
    X509 *certificate = SSL_get1_peer_certificate(ssl);
    if (!certificate)
        return {};
    unsigned char *der = nullptr;
    const int length = i2d_X509(certificate, &der);
    QString fingerprint;
    if (length > 0)
        fingerprint = QString::fromLatin1(
            QCryptographicHash::hash(QByteArray(reinterpret_cast<const char *>(der), length), QCryptographicHash::Sha256)
                .toHex(':')
                .toUpper());
    OPENSSL_free(der);
    X509_free(certificate);
    return fingerprint;
}
#else
// Without OpenSSL no certificate is known, so no server over the network is
// ever verified (and given a password).
QString certificateOf(PGconn *)
{
    return {};
}
#endif

// The system user at the other end of a local socket, by name (what
// requirepeer compares); empty when the system does not tell.
#ifdef _WIN32
QString socketOwner(int)
{
    return {};
}
#else
QString socketOwner(int fd)
{
    ucred peer {};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0)
        return {};
    passwd entry {};
    passwd *found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(peer.uid, &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return {};
    return QString::fromLocal8Bit(found->pw_name);
}
#endif

QString optionOf(PGconn *conn, const char *key)
{
    QString result;
    PQconninfoOption *options = PQconninfo(conn);
    for (PQconninfoOption *o = options; o && o->keyword; ++o)
        if (qstrcmp(o->keyword, key) == 0 && o->val)
            result = QString::fromUtf8(o->val);
    PQconninfoFree(options);
    return result;
}

// What the connection shows once the server is about to answer the login.
void observe(PGconn *conn, Server *seen, bool *peeked)
{
    seen->host = QString::fromUtf8(PQhost(conn));
    seen->port = QString::fromUtf8(PQport(conn));
    seen->database = QString::fromUtf8(PQdb(conn));
    seen->hostaddr = optionOf(conn, "hostaddr");
    seen->socket = seen->host.startsWith(QLatin1Char('/')) || seen->host.startsWith(QLatin1Char('@'));
    seen->address = seen->socket ? QString() : QString::fromUtf8(PQhostaddr(conn));
    seen->tls = PQsslInUse(conn) == 1;
    seen->certificate = seen->tls ? certificateOf(conn) : QString();
    seen->socketOwner = seen->socket ? socketOwner(PQsocket(conn)) : QString();
    // Without encryption the first request can be read as it waits, to tell
    // the user how the server meant to take a password.
    if (*peeked || seen->tls || PQgssEncInUse(conn) == 1)
        return;
    unsigned char head[9];
#ifdef _WIN32
    // libpq's socket is non-blocking already.
    const int n = ::recv(SOCKET(PQsocket(conn)), reinterpret_cast<char *>(head), sizeof head, MSG_PEEK);
#else
    const ssize_t n = ::recv(PQsocket(conn), head, sizeof head, MSG_PEEK | MSG_DONTWAIT);
#endif
    if (n == sizeof head) {
        *peeked = true;
        if (head[0] == 'R')
            seen->authRequest = int((uint32_t(head[5]) << 24) | (uint32_t(head[6]) << 16) | (uint32_t(head[7]) << 8)
                                    | uint32_t(head[8]));
    }
}

} // namespace

bool parse(const QString &conninfo, Options *out, QString *error)
{
    out->clear();
    char *message = nullptr;
    PQconninfoOption *options = PQconninfoParse(conninfo.toUtf8().constData(), &message);
    if (!options) {
        *error = message ? trimmed(message) : QStringLiteral("memoria insufficiente");
        PQfreemem(message);
        return false;
    }
    for (PQconninfoOption *o = options; o->keyword; ++o)
        if (o->val)
            out->append({QByteArray(o->keyword), QByteArray(o->val)});
    PQconninfoFree(options);
    return true;
}

QByteArray value(const Options &options, const char *key)
{
    for (const auto &[k, v] : options)
        if (k == key)
            return v;
    return {};
}

bool has(const Options &options, const char *key)
{
    for (const auto &o : options)
        if (o.first == key)
            return true;
    return false;
}

void set(Options *options, const char *key, const QByteArray &value)
{
    for (auto &o : *options) {
        if (o.first == key) {
            o.second = value;
            return;
        }
    }
    options->append({QByteArray(key), value});
}

void remove(Options *options, const char *key)
{
    options->removeIf([&](const QPair<QByteArray, QByteArray> &o) { return o.first == key; });
}

QByteArray build(const Options &options)
{
    QByteArray text;
    for (const auto &[key, value] : options) {
        QByteArray quoted = value;
        quoted.replace('\\', "\\\\").replace('\'', "\\'");
        text += (text.isEmpty() ? "" : " ") + key + "='" + quoted + '\'';
    }
    return text;
}

QString masked(const QString &conninfo)
{
    static const QRegularExpression keyword(
        QStringLiteral(R"(((?:^|\s)(?:ssl)?password\s*=\s*)('(?:[^'\\]|\\.)*'?|\S*))"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression userInfo(QStringLiteral(R"((^\s*[A-Za-z][A-Za-z0-9+.-]*://[^/?#:@]*:)[^/?#]*@)"));
    static const QRegularExpression query(QStringLiteral(R"(([?&](?:ssl)?password=)[^&#]*)"),
                                          QRegularExpression::CaseInsensitiveOption);
    QString text = conninfo;
    text.replace(keyword, QStringLiteral("\\1****"));
    text.replace(userInfo, QStringLiteral("\\1****@"));
    text.replace(query, QStringLiteral("\\1****"));
    // Spelled some other way libpq still understands: the value itself goes.
    Options options;
    QString ignored;
    if (parse(conninfo, &options, &ignored))
        for (const auto &[key, secret] : std::as_const(options))
            if (isSecret(key) && secret.size() >= 3)
                text.replace(QString::fromUtf8(secret), QStringLiteral("****"));
    return text;
}

QString passwordFile()
{
    const QString chosen = qEnvironmentVariable("PGPASSFILE");
    if (!chosen.isEmpty())
        return chosen;
#ifdef _WIN32
    return QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA")) + QStringLiteral("/postgresql/pgpass.conf");
#else
    return QDir::homePath() + QStringLiteral("/.pgpass");
#endif
}

QString passwordFileName()
{
#ifdef _WIN32
    return QStringLiteral("%APPDATA%\\postgresql\\pgpass.conf");
#else
    return QStringLiteral("~/.pgpass");
#endif
}

bool canEncrypt()
{
#ifdef VELBOR_OPENSSL
    return PQsslAttribute(nullptr, "library") != nullptr;
#else
    return false;
#endif
}

bool check(const QString &conninfo, QString *error)
{
    const QString shown = masked(conninfo);
    const QString advice = QStringLiteral(
        "Le password non si scrivono né in Velbor.server né nei comandi: vanno nel file %1 di ogni "
        "utente (o nel file indicato da PGPASSFILE) oppure in un file di servizio (pg_service.conf).")
                                 .arg(passwordFileName());
    Options options;
    QString why;
    if (!parse(conninfo, &options, &why)) {
        // libpq's message may quote the text, password included.
        *error = shown != conninfo
                     ? QStringLiteral("La stringa di connessione %1 non è valida e contiene una password. %2").arg(shown, advice)
                     : QStringLiteral("La stringa di connessione %1 non è valida: %2").arg(shown, why);
        return false;
    }
    for (const auto &[key, secret] : std::as_const(options)) {
        if (isSecret(key) && !secret.isEmpty()) {
            *error = QStringLiteral("La stringa di connessione %1 contiene una password: non viene usata. %2 "
                                    "Togliere la password dalla stringa e riprovare.")
                         .arg(shown, advice);
            return false;
        }
    }
    return true;
}

QString Server::describe() const
{
    QString text = socket ? QStringLiteral("%1 (porta %2), database %3").arg(host, port, database)
                          : QStringLiteral("%1:%2, database %3").arg(host, port, database);
    if (!hostaddr.isEmpty())
        text += QStringLiteral(", indirizzo %1").arg(hostaddr);
    if (socket)
        text += socketOwner.isEmpty() ? QString() : QStringLiteral(", server dell'utente di sistema %1").arg(socketOwner);
    else
        text += tls ? QStringLiteral(", certificato SHA-256 %1").arg(certificate) : QStringLiteral(", senza TLS");
    return text;
}

bool Server::sameAs(const Server &known) const
{
    return host == known.host && port == known.port && database == known.database && hostaddr == known.hostaddr
           && socket == known.socket && socketOwner == known.socketOwner && tls == known.tls
           && certificate == known.certificate;
}

bool Server::sameEndpoint(const Server &seen) const
{
    return host == seen.host && port == seen.port && socket == seen.socket && socketOwner == seen.socketOwner
           && tls == seen.tls && certificate == seen.certificate;
}

pg_conn *connect(const Options &options, const Server *expected, Server *seen, QString *refusal)
{
    refusal->clear();
    PGconn *conn = PQconnectStart(build(options).constData());
    if (!conn)
        return nullptr;
    // libpq's own rule for connect_timeout, applied to each host it may try.
    int seconds = value(options, "connect_timeout").toInt();
    if (seconds <= 0)
        seconds = 10;
    seconds = std::max(seconds, 2);
    const int hosts = int(value(options, "host").count(',')) + 1;
    const QDeadlineTimer deadline(qint64(seconds) * hosts * 1000);
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    int socket = -1;
    bool peeked = false;
    while (PQstatus(conn) != CONNECTION_BAD && state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
        const int fd = PQsocket(conn);
        if (fd < 0)
            break;
        if (fd != socket) {
            socket = fd;
            peeked = false;
        }
        const qint64 left = deadline.remainingTime();
#ifdef _WIN32
        WSAPOLLFD wait {SOCKET(fd), short(state == PGRES_POLLING_READING ? POLLRDNORM : POLLWRNORM), 0};
        const int ready = left > 0 ? ::WSAPoll(&wait, 1, int(left)) : 0;
#else
        pollfd wait {fd, short(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        const int ready = left > 0 ? ::poll(&wait, 1, int(left)) : 0;
#endif
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            *refusal = QStringLiteral("Il server %1 (porta %2) non ha risposto entro %3 secondi.")
                           .arg(QString::fromUtf8(PQhost(conn)), QString::fromUtf8(PQport(conn)))
                           .arg(seconds * hosts);
            return conn;
        }
        if (PQstatus(conn) == CONNECTION_AWAITING_RESPONSE) {
            // Connected (TLS made, if any) and the login sent: who is there is
            // known now, before a word of the server's answer is acted on.
            observe(conn, seen, &peeked);
            if (expected && !seen->sameEndpoint(*expected)) {
                *refusal = QStringLiteral("Il server raggiunto (%1) non è quello verificato un momento prima (%2): "
                                          "collegamento interrotto, nessuna password è stata inviata.")
                               .arg(seen->describe(), expected->describe());
                return conn;
            }
        }
        state = PQconnectPoll(conn);
    }
    return conn;
}

bool loadKnown(const QString &file, Server *out)
{
    if (!QFileInfo(file).isFile())
        return false;
    QSettings s(file, QSettings::IniFormat);
    s.beginGroup(QStringLiteral("server"));
    out->host = s.value(QStringLiteral("host")).toString();
    out->port = s.value(QStringLiteral("port")).toString();
    out->database = s.value(QStringLiteral("database")).toString();
    out->hostaddr = s.value(QStringLiteral("hostaddr")).toString();
    out->socket = s.value(QStringLiteral("socket")).toBool();
    out->socketOwner = s.value(QStringLiteral("socketOwner")).toString();
    out->tls = s.value(QStringLiteral("tls")).toBool();
    out->certificate = s.value(QStringLiteral("certificate")).toString();
    return !out->isEmpty();
}

bool saveKnown(const QString &file, const Server &server, QString *error)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSettings s(file, QSettings::IniFormat);
    s.clear();
    s.beginGroup(QStringLiteral("server"));
    s.setValue(QStringLiteral("host"), server.host);
    s.setValue(QStringLiteral("port"), server.port);
    s.setValue(QStringLiteral("database"), server.database);
    s.setValue(QStringLiteral("hostaddr"), server.hostaddr);
    s.setValue(QStringLiteral("socket"), server.socket);
    s.setValue(QStringLiteral("socketOwner"), server.socketOwner);
    s.setValue(QStringLiteral("tls"), server.tls);
    s.setValue(QStringLiteral("certificate"), server.certificate);
    s.endGroup();
    s.sync();
    if (s.status() == QSettings::NoError)
        return true;
    *error = QStringLiteral("Impossibile salvare %1.").arg(QDir::toNativeSeparators(file));
    return false;
}

} // namespace PgConnect
