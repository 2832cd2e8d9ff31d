// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reaching the archive's server without handing a password to a server this
// workstation has not verified.
//
// Anyone who can write the shared data folder can change Velbor.server, so
// the connection string is never trusted with a secret: it may hold no
// password, and a connection is first made with no password at all, which
// tells who answers (host, port, database; the server certificate's SHA-256
// fingerprint over TLS; the system user that runs the server on a local
// socket) and whether it wants a password. A password then goes only
//  - over TCP: with TLS and SCRAM channel binding (channel_binding=require,
//    so libpq itself refuses a request for the password in clear, by MD5 or
//    by SCRAM without binding), to the very address and certificate seen;
//  - over a local socket: to a server run by the system user seen
//    (requirepeer), whom the kernel vouches for.
// libpq 15 has no way to say "SCRAM only" on a connection without TLS
// (require_auth came with 16), hence the rule.

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>

struct pg_conn;

namespace PgConnect {

// Options of a connection string, in order: keyword and value.
using Options = QVector<QPair<QByteArray, QByteArray>>;

// The options of a libpq connection string or URI, as libpq reads it.
bool parse(const QString &conninfo, Options *out, QString *error);
QByteArray value(const Options &options, const char *key);
bool has(const Options &options, const char *key);
void set(Options *options, const char *key, const QByteArray &value);
void remove(Options *options, const char *key);
// The options as a key='value' connection string.
QByteArray build(const Options &options);

// The user's password file as libpq reads it (PGPASSFILE, else ~/.pgpass;
// on Windows %APPDATA%/postgresql/pgpass.conf), and its name for messages.
QString passwordFile();
QString passwordFileName();
// Whether this build can encrypt a connection and tell the server's
// certificate (libpq with TLS, and OpenSSL): without, no password is sent
// over the network.
bool canEncrypt();

// conninfo with every password in it replaced by ****: what messages show.
QString masked(const QString &conninfo);
// False, with the reason in Italian, when conninfo cannot be read or holds
// a password (password or sslpassword).
bool check(const QString &conninfo, QString *error);

// Who answered a connection, as seen before the login was answered.
struct Server {
    QString host;          // as libpq names it: a name, an address or a socket folder
    QString port;
    QString database;
    QString hostaddr;      // the hostaddr option the string gave, if any
    QString address;       // the address actually reached over TCP
    bool socket = false;   // a local (Unix-domain) socket
    QString socketOwner;   // the system user running the server there
    bool tls = false;
    QString certificate;   // SHA-256 of the server's certificate, over TLS
    int authRequest = -1;  // the first login request read, when readable (no TLS)

    bool isEmpty() const { return host.isEmpty() && database.isEmpty(); }
    // For the user: "server:5432, database velbor, certificato SHA-256 …".
    QString describe() const;
    // The same server as known: address, database and identity.
    bool sameAs(const Server &known) const;
    // The same end point as seen a moment ago (a second connection, a reconnection).
    bool sameEndpoint(const Server &seen) const;
};

// Connects with options, polling. Each time the server's answer to the
// login is about to be read, who answered is put in *seen; with expected,
// a different end point ends the attempt there and *refusal says why. The
// connection is returned in whatever state it reached (nullptr only when
// out of memory); a timeout is a refusal too.
pg_conn *connect(const Options &options, const Server *expected, Server *seen, QString *refusal);

// The server this workstation's user has verified, kept in a settings file
// of the user's own. False when there is none yet.
bool loadKnown(const QString &file, Server *out);
bool saveKnown(const QString &file, const Server &server, QString *error);

} // namespace PgConnect
