// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmInformazioni.h"

#include "Version.h"
#include "platform/Resources.h"
#include "widgets/Widgets.h"
#include "ui_frmInformazioni.h"

#include <QDir>

frmInformazioni::frmInformazioni(const Session &session, QWidget *parent)
    : QDialog(parent), ui(new Ui::frmInformazioni)
{
    ensureResources();
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    ui->lblNome->setText(QStringLiteral(VELBOR_NAME));
    ui->lblVersione->setText(QStringLiteral("Versione %1").arg(QStringLiteral(VELBOR_VERSION)));
    ui->lblLicenza->setText(QStringLiteral(
        "Licenza: GNU General Public License, versione 3 o successiva (GPL-3.0-or-later).\n\n"
        "Velbor è software libero: è possibile ridistribuirlo e/o modificarlo secondo i termini della GNU "
        "General Public License pubblicata dalla Free Software Foundation, nella versione 3 della Licenza "
        "o (a scelta) in una qualsiasi versione successiva.\n\n"
        "Velbor è distribuito nella speranza che sia utile, ma SENZA ALCUNA GARANZIA; senza neppure la "
        "garanzia implicita di COMMERCIABILITÀ o di IDONEITÀ PER UNO SCOPO PARTICOLARE. Per i dettagli si "
        "veda la GNU General Public License, che accompagna il programma (nel pacchetto: "
        "/usr/share/doc/velbor/copyright) e si trova anche su https://www.gnu.org/licenses/."));
    // On a server the records are there, named by the server file of the data
    // folder; the data folder keeps the files.
    const Archive &archive = session.archive;
    ui->lblArchivio->setText(archive.onServer() ? QStringLiteral("%1 (indicato da %2)")
                                                      .arg(archive.label(), QDir::toNativeSeparators(archive.path()))
                                                : QDir::toNativeSeparators(archive.path()));
    ui->lblCartella->setText(session.state.PercorsoDati);
    connect(ui->cmdOK, &QPushButton::clicked, this, &QDialog::close);
    adjustSize();
    centerOnScreen(this);
}

frmInformazioni::~frmInformazioni()
{
    delete ui;
}
