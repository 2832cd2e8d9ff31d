// SPDX-License-Identifier: GPL-3.0-or-later
// A workstation in a box: writes to a shared archive through the program's own
// data layer, as the windows do, and reports each write the archive accepted.
//
//   velbor_driver work  <archive> <id> <seconds> [<stop>]
//                                                 adds, edits and deletes clients
//                                                 and draws item codes; ends early
//                                                 once the file <stop> exists
//   velbor_driver crash <archive> <id> <folder>    saves until killed; also rewrites
//                                                 the settings and a notes file
//   velbor_driver write-one <archive>              tries to add one client
//   velbor_driver wait-write <archive>             opens, says READY, and tries to
//                                                 add one client once a line arrives
//
// Each accepted write prints one line (A/E/D code, N level number, S code) and
// any refusal "ERR <message>"; stdout is flushed line by line.
#include "app/SettingsFiles.h"
#include "data/basMain.h"
#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <cstdio>

namespace {
void say(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

int fail(const QString &error)
{
    say(QStringLiteral("ERR ") + error);
    return 2;
}

bool addClient(RecordView &v, qint64 code, const QString &name)
{
    v.addNew();
    if (v.setValue(u"codice", code) && v.setValue(u"descr", name) && v.setValue(u"citta", "Città") && v.update())
        return true;
    v.cancelUpdate();
    return false;
}

int work(Archive &archive, int id, int seconds, const QString &stopFile)
{
    RecordView &clients = archive.clients();
    QRandomGenerator rng(quint32(id) * 7919u);
    QList<qint64> mine;
    qint64 next = qint64(id) * 1000000;
    const QDeadlineTimer deadline(seconds * 1000);
    while (!deadline.hasExpired() && (stopFile.isEmpty() || !QFileInfo::exists(stopFile))) {
        // A moment between commands, as a person at a workstation takes; a
        // loop with none would hold the lock nearly all the time and starve
        // the others past any busy timeout.
        QThread::msleep(rng.bounded(1u, 4u));
        const quint32 op = rng.bounded(10u);
        if (op < 5 || mine.isEmpty()) {
            const qint64 code = ++next;
            const QString name = QStringLiteral("w%1-%2 l'ufficio").arg(id).arg(code);
            if (!addClient(clients, code, name))
                return fail(clients.lastError());
            mine.append(code);
            say(QStringLiteral("A %1 %2").arg(code).arg(name));
        } else if (op < 7) {
            const qint64 code = mine.at(int(rng.bounded(quint32(mine.size()))));
            if (!clients.findFirst(QStringLiteral("codice=%1").arg(code)))
                return fail(clients.lastError());
            if (clients.noMatch())
                return fail(QStringLiteral("codice %1 non trovato").arg(code));
            const QString name = QStringLiteral("w%1-%2 modificato %3").arg(id).arg(code).arg(rng.bounded(1000u));
            if (!clients.edit() || !clients.setValue(u"descr", name) || !clients.update())
                return fail(clients.lastError());
            say(QStringLiteral("E %1 %2").arg(code).arg(name));
        } else if (op < 8) {
            const qint64 code = mine.takeAt(int(rng.bounded(quint32(mine.size()))));
            if (!clients.findFirst(QStringLiteral("codice=%1").arg(code)) || clients.noMatch()
                || !clients.deleteCurrent())
                return fail(clients.lastError());
            say(QStringLiteral("D %1").arg(code));
        } else {
            const int level = int(rng.bounded(2u)) + 1;
            const Outcome<int> n = ProssimoCodiceLivello(archive, QStringLiteral("maxcodice"), level,
                                                         QStringLiteral("codice"));
            if (!n.ok())
                return fail(n.error);
            say(QStringLiteral("N %1 %2").arg(level).arg(n.value));
        }
    }
    return 0;
}

int crash(Archive &archive, int id, const QString &folder)
{
    RecordView &clients = archive.clients();
    const QByteArray notes[2] = {QByteArray(100000, 'a'), QByteArray(50000, 'b')};
    RunState settings[2];
    settings[0].PercorsoDati = QStringLiteral("/prima/cartella");
    settings[0].ContatoreComponenti = 11;
    settings[1].PercorsoDati = QStringLiteral("/seconda/cartella/più/lunga");
    settings[1].ContatoreComponenti = 2222;
    for (qint64 n = 1;; ++n) {
        const qint64 code = qint64(id) * 1000000 + n;
        if (!addClient(clients, code, QStringLiteral("salvato %1").arg(code)))
            return fail(clients.lastError());
        say(QStringLiteral("S %1").arg(code));
        SettingsFiles::write(settings[n % 2], folder);
        Paths::writeAtomically(Paths::join(folder, QStringLiteral("P1")), notes[n % 2]);
    }
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return fail(QStringLiteral("uso: velbor_driver work|crash|write-one <archivio> ..."));
    Archive archive;
    QString error;
    if (!archive.open(args[2], &error))
        return fail(error);
    if (args[1] == QLatin1String("work") && (args.size() == 5 || args.size() == 6))
        return work(archive, args[3].toInt(), args[4].toInt(), args.value(5));
    if (args[1] == QLatin1String("crash") && args.size() == 5)
        return crash(archive, args[3].toInt(), args[4]);
    if (args[1] == QLatin1String("wait-write")) {
        say(QStringLiteral("READY"));
        char line[64];
        if (!std::fgets(line, sizeof line, stdin))
            return fail(QStringLiteral("nessun segnale"));
    }
    if (args[1] == QLatin1String("write-one") || args[1] == QLatin1String("wait-write")) {
        if (!addClient(archive.clients(), 1, QStringLiteral("uno")))
            return fail(archive.clients().lastError());
        say(QStringLiteral("OK"));
        return 0;
    }
    return fail(QStringLiteral("modo sconosciuto"));
}
