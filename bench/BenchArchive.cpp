// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchArchive.h"

#include "data/engines/SqliteStore.h"

#include <QTextStream>

#include <random>
#include <sqlite3.h>

bool buildBenchArchive(const QString &path, const BenchSize &size, QString *error)
{
    if (!SqliteStore::createArchive(path, error))
        return false;
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    std::mt19937 rng(20261207);
    auto word = [&](int n) {
        static const char *parts[] = {"Ponte", "Villa", "Capannone", "Scuola", "Ufficio", "Torre", "Ampliamento",
                                      "Restauro", "Impianto", "Magazzino"};
        QString s;
        for (int i = 0; i < n; ++i)
            s += QString::fromLatin1(parts[rng() % 10]) + QLatin1Char(' ');
        return s.trimmed();
    };
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *c, *p, *r, *k;
    sqlite3_prepare_v2(db, "INSERT INTO Clienti(codice,descr,indirizzo,cap,provincia,citta,telefono,fax,email,sito,contatto,piva) VALUES(?,?,'Via Roma 1','20100','MI','Milano','02 1234','02 5678','a@b.it','www.b.it','Sig. Bianchi','01234567890')", -1, &c, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO Progetti(codice,descr,ufficio,reparto,operatore,telefono,email,fax,specifica,note,data,codcli) VALUES(?,?,'Tecnico','Progettazione','Rossi','02','x@y.it','02','norme UNI','note','2026-12-07',?)", -1, &p, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO RighePRJ(codprj,livello,codice,descr,data) VALUES(?,?,?,?,'2026-12-07')", -1, &r, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO Componenti(codprj,livello,codice,file,tipo,inserito) VALUES(?,?,?,?,'.DWG','2026-12-07 10:00:00')", -1, &k, nullptr);
    auto bindText = [](sqlite3_stmt *s, int i, const QString &t) {
        const QByteArray b = t.toUtf8();
        sqlite3_bind_text(s, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
    };
    for (int i = 1; i <= size.clients; ++i) {
        sqlite3_bind_int(c, 1, i);
        bindText(c, 2, QStringLiteral("Cliente %1 %2").arg(i).arg(word(2)));
        sqlite3_step(c);
        sqlite3_reset(c);
    }
    int item = 0;
    for (int i = 1; i <= size.projects; ++i) {
        const QString code = QStringLiteral("P%1").arg(i);
        bindText(p, 1, code);
        bindText(p, 2, word(3));
        sqlite3_bind_int(p, 3, int(rng() % size.clients) + 1);
        sqlite3_step(p);
        sqlite3_reset(p);
        for (int j = 0; j < size.itemsPerProject; ++j) {
            const int level = j % 3 == 0 ? 1 : 2;
            bindText(r, 1, code);
            sqlite3_bind_int(r, 2, level);
            bindText(r, 3, QStringLiteral("L%1%2").arg(level).arg(++item));
            bindText(r, 4, word(2));
            sqlite3_step(r);
            sqlite3_reset(r);
        }
        for (int j = 0; j < size.componentsPerProject; ++j) {
            bindText(k, 1, code);
            sqlite3_bind_int(k, 2, 0);
            bindText(k, 3, code);
            bindText(k, 4, QStringLiteral("/dati/disegni/%1-%2.dwg").arg(code).arg(j));
            sqlite3_step(k);
            sqlite3_reset(k);
        }
    }
    sqlite3_finalize(c);
    sqlite3_finalize(p);
    sqlite3_finalize(r);
    sqlite3_finalize(k);
    const int rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        *error = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return rc == SQLITE_OK;
}

double timeMs(const std::function<void()> &fn, int runs)
{
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        fn();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

void report(const char *name, double ms, double plainMs)
{
    QTextStream out(stdout);
    out << QString::asprintf("%-58s %9.2f ms", name, ms);
    if (plainMs > 0)
        out << QString::asprintf("   x%.2f of plain read (%.2f ms)", ms / plainMs, plainMs);
    out << Qt::endl;
}
