// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One more line on top of the test server's pg_hba.conf for one test (a
// login that needs no password, or one that needs a password over the
// local socket), taken away again at the end. The server has loaded it once
// the constructor returns with ok().

#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QThread>

class ServerHba {
public:
    explicit ServerHba(const QByteArray &line)
    {
        if (m_before.isEmpty())
            return;
        writeBytes(m_file, line + "\n" + m_before);
        m_ok = reload();
    }
    ~ServerHba()
    {
        if (!m_before.isEmpty()) {
            writeBytes(m_file, m_before);
            reload();
        }
    }
    ServerHba(const ServerHba &) = delete;
    ServerHba &operator=(const ServerHba &) = delete;
    bool ok() const { return m_ok; }

private:
    // A new session tells when the server last read its files.
    static QString loadedAt() { return serverValue(QStringLiteral("dbname=postgres"), QStringLiteral("SELECT pg_conf_load_time()")); }
    static bool reload()
    {
        const QString before = loadedAt();
        if (serverValue(QStringLiteral("dbname=postgres"), QStringLiteral("SELECT pg_reload_conf()")) != QLatin1String("t"))
            return false;
        for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(50))
            if (loadedAt() != before)
                return true;
        return false;
    }

    QString m_file = serverValue(QStringLiteral("dbname=postgres"), QStringLiteral("SHOW hba_file"));
    QByteArray m_before = readBytes(m_file);
    bool m_ok = false;
};
