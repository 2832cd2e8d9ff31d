// SPDX-License-Identifier: GPL-3.0-or-later
#include "JetConversion.h"

#include "data/jet/JetImport.h"
#include "platform/MessageBox.h"
#include "widgets/ProgressWindow.h"

#include <QFileInfo>

namespace {
JetRowSource *g_source = nullptr;
}

void setJetSourceForTests(JetRowSource *source)
{
    g_source = source;
}

bool offerJetConversion(QWidget *parent, const QString &path)
{
    if (!JetReader::available()) {
        MessageBox::show(parent,
                         QStringLiteral("L'archivio %1 è nel vecchio formato Access/Jet.\n\n%2")
                             .arg(path, JetReader::unavailableText()),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Critical);
        return false;
    }
    const QString kept = jetKeptPath(path);
    const QString offer =
        QStringLiteral("L'archivio %1 è nel vecchio formato Access/Jet: deve essere convertito nel nuovo formato "
                       "prima di poterlo usare.\n\n"
                       "Prima di convertirlo, chiudere il programma su tutte le postazioni e aggiornarle tutte a "
                       "questa versione: dopo la conversione le postazioni non aggiornate non troveranno più i dati.\n\n"
                       "L'archivio originale non viene cancellato: resta accanto al nuovo con il nome \"%2\".\n\n"
                       "Convertire ora l'archivio?")
            .arg(path, QFileInfo(kept).fileName());
    if (MessageBox::show(parent, offer, MessageBox::Buttons::YesNoDefaultNo, MessageBox::Icon::Question)
        != MessageBox::Answer::Yes)
        return false;

    QString lockFile;
    const QStringList holders = jetLockHolders(path, &lockFile);
    if (!holders.isEmpty()) {
        MessageBox::show(parent,
                         QStringLiteral("L'archivio risulta ancora aperto dalle postazioni: %1.\n\n"
                                        "Chiudere il programma su tutte le postazioni e riavviare. Se nessuna "
                                        "postazione lo usa più (ad esempio dopo un'interruzione di corrente), "
                                        "eliminare il file %2 e riavviare.\n\nL'archivio non è stato convertito.")
                             .arg(holders.join(QStringLiteral(", ")), lockFile),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Critical);
        return false;
    }

    JetImportReport report;
    QString keptAs, error;
    bool ok = false;
    {
        ProgressWindow progress(parent, QStringLiteral("Conversione dell'archivio"));
        const QStringList order = Tables::all();
        const auto step = [&](const QString &table, qint64 done, qint64 total) {
            const int index = std::max<int>(0, int(order.indexOf(table)));
            const double part = total > 0 ? double(std::min(done, total)) / double(total) : 1.0;
            const int percent = int((index + part) * 100.0 / double(order.size()));
            return progress.update(QStringLiteral("Conversione della tabella %1: %2 di %3 record...")
                                       .arg(table)
                                       .arg(done)
                                       .arg(total),
                                   percent);
        };
        ok = replaceJetArchive(path, &keptAs, &report, &error, step, g_source);
    }
    if (!ok) {
        MessageBox::show(parent,
                         QStringLiteral("Conversione non riuscita:\n%1\n\nL'archivio originale non è stato modificato.")
                             .arg(error),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Critical);
        return false;
    }
    MessageBox::show(parent,
                     QStringLiteral("Conversione completata. L'archivio originale è conservato in:\n%1\n\n%2")
                         .arg(keptAs, report.lines().join(QLatin1Char('\n'))),
                     MessageBox::Buttons::Ok, MessageBox::Icon::Information);
    return true;
}
