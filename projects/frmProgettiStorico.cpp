// SPDX-License-Identifier: GPL-3.0-or-later
// The project window's "Storico" (Ctrl+H): the history of the project or
// item on show, whose old values go back into the sheets' boxes.
#include "frmProgetti.h"

#include "data/basMain.h"
#include "platform/MessageBox.h"
#include "widgets/Widgets.h"
#include "widgets/frmStorico.h"
#include "ui_frmProgetti.h"

void frmProgetti::Storico_Click()
{
    RunState &s = m_session.state;
    Archive &archive = m_session.archive;
    const int level = ui->STab1->currentIndex();
    const QString codeRefusal = frmStorico::codeRefusal(QStringLiteral("record"));
    frmStorico::Record record;
    const auto field = [&record](const char *name, const QString &label, QWidget *box) {
        record.fields.insert(QString::fromLatin1(name), {label, box, {}, {}});
    };
    if (level == 1 || level == 2) {
        const QString item = m_editor.shown.item[level];
        const QString project = m_editor.shown.itemProject[level];
        if (item.isEmpty()) {
            MessageBox::show(this, QStringLiteral("Nessun elemento mostrato in questa scheda: sceglierne uno "
                                                  "nell'albero per vederne lo storico."));
            return;
        }
        record.table = Tables::RighePRJ;
        record.key = frmStorico::keyOf(this, archive.items(),
                                       QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=")
                                           + QuotaSQL(item) + QStringLiteral(" AND Livello=") + QString::number(level),
                                       QStringLiteral("L'elemento %1").arg(item));
        if (record.key == 0)
            return;
        record.what = QStringLiteral("%1 %2 (%3 %4)").arg(s.NomeScheda(level + 1), item, s.NomeScheda(1), project);
        field("codice", ui->lblCodice1->text(), levelCode(level));
        record.fields[QStringLiteral("codice")].refusal = codeRefusal;
        field("descr", ui->lblDescr1->text(), level == 1 ? ui->txtDescr1 : ui->txtDescr2);
        field("data", ui->lblData1->text(), level == 1 ? ui->DataLivello1 : ui->DataLivello2);
        field("codprj", s.NomeScheda(1), nullptr);
        field("livello", QStringLiteral("Livello"), nullptr);
    } else {
        const QString project = m_editor.shown.project;
        if (project.isEmpty()) {
            MessageBox::show(this, QStringLiteral("Nessun progetto mostrato: sceglierne uno per vederne lo storico."));
            return;
        }
        record.table = Tables::Progetti;
        record.key = frmStorico::keyOf(this, archive.projects(), QStringLiteral("codice=") + QuotaSQL(project),
                                       QStringLiteral("Il progetto %1").arg(project));
        if (record.key == 0)
            return;
        record.what = s.NomeScheda(1) + QLatin1Char(' ') + project;
        field("codice", ui->lblCodice->text(), ui->cboCodice);
        record.fields[QStringLiteral("codice")].refusal = codeRefusal;
        field("descr", ui->lblDescr->text(), ui->cboDescr);
        field("data", ui->lblData->text(), ui->DataProgetto);
        field("reparto", ui->lblReparto->text(), ui->txtReparto);
        field("ufficio", ui->lblUfficio->text(), ui->txtUfficio);
        field("operatore", ui->lblOperatore->text(), ui->txtOperatore);
        field("telefono", ui->lblTelefono->text(), ui->txtTelefono);
        field("fax", ui->lblFax->text(), ui->txtFax);
        field("email", ui->lblEMail->text(), ui->txtEMail);
        field("specifica", ui->lblSpecifica->text(), ui->txtSpecifica);
        field("note", ui->lblNote->text(), ui->txtNote);
        field("codcli", QStringLiteral("Codice cliente"), ui->cboCodCli);
        // The client's name and address follow its code, as when it is chosen.
        record.fields[QStringLiteral("codcli")].put = [this](const QString &code) {
            showFromStart(ui->cboCodCli, code);
            const int entry = code.isEmpty() ? -1 : ui->cboCodCli->findText(code);
            if (entry >= 0) {
                cboCodCli_Click(entry);
                return;
            }
            ui->cboCliente->setEditText(QString());
            showClientLabels(false, false);
        };
    }
    frmStorico::open(this, archive, record);
}
