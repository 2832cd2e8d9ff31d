// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stand-in for a PostgreSQL server on 127.0.0.1, as someone who can write
// the shared data folder could point Velbor.server at: it declines TLS and
// GSS encryption, answers every login with one authentication request
// (password in clear, MD5 or SCRAM) and records every byte the client sends
// after its login message, so a test can tell whether a password left.

#include <QByteArray>
#include <QList>

#include <atomic>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

class FakePgServer {
public:
    enum Request { Cleartext = 3, Md5 = 5, Scram = 10 };

    explicit FakePgServer(Request request) : m_request(request)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_listener, 8) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~FakePgServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }
    FakePgServer(const FakePgServer &) = delete;
    FakePgServer &operator=(const FakePgServer &) = delete;

    quint16 port() const { return m_port; }
    int logins() const { return m_logins; }
    // Every byte sent after the login messages, all connections together.
    QByteArray received() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }
    // The type of every message sent after the login ('p': a password).
    QList<char> messages() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }

private:
    // Waits up to a second for bytes; false at the end or when stopping.
    bool readExactly(int fd, char *into, size_t size, bool record)
    {
        size_t done = 0;
        while (done < size && !m_stop) {
            pollfd p {fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t n = ::recv(fd, into + done, size - done, 0);
            if (n <= 0)
                return false;
            if (record) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_received.append(into + done, n);
            }
            done += size_t(n);
        }
        return done == size;
    }

    static quint32 bigEndian(const char *p)
    {
        return (quint32(quint8(p[0])) << 24) | (quint32(quint8(p[1])) << 16) | (quint32(quint8(p[2])) << 8) | quint8(p[3]);
    }
    static void append32(QByteArray *out, quint32 v)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            out->append(char((v >> shift) & 0xff));
    }

    void talk(int fd)
    {
        // Requests for TLS or GSS encryption are declined; then the login.
        for (;;) {
            char head[4];
            if (!readExactly(fd, head, 4, false))
                return;
            const quint32 length = bigEndian(head);
            if (length < 8 || length > 10000)
                return;
            QByteArray body(int(length - 4), '\0');
            if (!readExactly(fd, body.data(), size_t(body.size()), false))
                return;
            const quint32 code = bigEndian(body.constData());
            if (code == 80877103 || code == 80877104) {
                ::send(fd, "N", 1, MSG_NOSIGNAL);
                continue;
            }
            break;
        }
        ++m_logins;
        QByteArray request("R");
        QByteArray rest;
        append32(&rest, quint32(m_request));
        if (m_request == Md5)
            rest.append("salt", 4);
        if (m_request == Scram)
            rest.append("SCRAM-SHA-256\0\0", 15);
        append32(&request, quint32(rest.size() + 4));
        request += rest;
        ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
        // Whatever comes back, message by message, until the client hangs up.
        for (;;) {
            char head[5];
            if (!readExactly(fd, head, 5, true))
                return;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_messages.append(head[0]);
            }
            const quint32 length = bigEndian(head + 1);
            if (length < 4 || length > 100000)
                return;
            QByteArray body(int(length - 4), '\0');
            if (!readExactly(fd, body.data(), size_t(body.size()), true))
                return;
        }
    }

    void serve()
    {
        while (!m_stop) {
            pollfd p {m_listener, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            talk(fd);
            ::close(fd);
        }
    }

    Request m_request;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop {false};
    std::atomic<int> m_logins {0};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QByteArray m_received;
    QList<char> m_messages;
};
