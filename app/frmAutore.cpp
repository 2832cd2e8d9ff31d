// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmAutore.h"

#include "Version.h"
#include "platform/Resources.h"
#include "ui_frmAutore.h"

frmAutore::frmAutore(QWidget *parent) : QDialog(parent), ui(new Ui::frmAutore)
{
    ensureResources();
    ui->setupUi(this);
    ui->lblContatti->setText(QStringLiteral("Velbor - assistenza: supporto@velbor.example\nVersione %1")
                                 .arg(QStringLiteral(VELBOR_VERSION)));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(size());
    connect(ui->cmdOK, &QPushButton::clicked, this, &QDialog::close);
}

frmAutore::~frmAutore()
{
    delete ui;
}
