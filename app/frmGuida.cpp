// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmGuida.h"

#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "widgets/WindowPlace.h"
#include "ui_frmGuida.h"

#include <QDir>
#include <QFileInfo>
#include <QShortcut>
#include <QTextBrowser>

namespace {
const QString kTitle = QStringLiteral("Guida di Velbor");

// The file a link leads to; empty when it is no file of this computer.
QString fileOf(const QUrl &url)
{
    return url.isLocalFile() ? url.toLocalFile() : QString();
}
} // namespace

frmGuida::frmGuida(const QString &index, QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::frmGuida),
      m_index(QUrl::fromLocalFile(QFileInfo(QDir::fromNativeSeparators(index)).absoluteFilePath()))
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // Links are followed here: a page that is missing is said so, never shown blank.
    ui->txtGuida->setOpenLinks(false);
    connect(ui->txtGuida, &QTextBrowser::anchorClicked, this, &frmGuida::follow);
    connect(ui->txtGuida, &QTextBrowser::backwardAvailable, ui->cmdIndietro, &QWidget::setEnabled);
    connect(ui->txtGuida, &QTextBrowser::forwardAvailable, ui->cmdAvanti, &QWidget::setEnabled);
    connect(ui->txtGuida, &QTextBrowser::sourceChanged, this, &frmGuida::showTitle);
    connect(ui->cmdIndietro, &QPushButton::clicked, this, &frmGuida::cmdIndietro_Click);
    connect(ui->cmdAvanti, &QPushButton::clicked, this, &frmGuida::cmdAvanti_Click);
    connect(ui->cmdIndice, &QPushButton::clicked, this, &frmGuida::cmdIndice_Click);
    connect(ui->cmdChiudi, &QPushButton::clicked, this, &frmGuida::cmdChiudi_Click);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &frmGuida::cmdChiudi_Click);
    ui->txtGuida->setSource(m_index, QTextDocument::HtmlResource);
    ui->txtGuida->setFocus();
    // Reopens where and as large as its user left it.
    WindowPlace::keep(this, QStringLiteral("guida"));
}

frmGuida::~frmGuida()
{
    delete ui;
}

QString frmGuida::indexPage(QWidget *parent, const QString &folder)
{
    const QString index = Paths::join(folder, QStringLiteral("index.html"));
    const QFileInfo info(QDir::fromNativeSeparators(index));
    if (info.isFile() && info.isReadable())
        return index;
    MessageBox::show(parent,
                     QStringLiteral("La guida non è stata trovata: manca il file %1.\n"
                                    "Il programma funziona anche senza la guida; per riaverla, installare di nuovo "
                                    "Velbor.")
                         .arg(index),
                     MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
    return {};
}

QTextBrowser *frmGuida::browser() const
{
    return ui->txtGuida;
}

void frmGuida::follow(const QUrl &link)
{
    const QUrl target = ui->txtGuida->source().resolved(link);
    const QString file = fileOf(target);
    const QFileInfo info(file);
    if (file.isEmpty() || !info.isFile() || !info.isReadable()) {
        MessageBox::show(this,
                         QStringLiteral("La pagina %1 della guida non è stata trovata.")
                             .arg(file.isEmpty() ? link.toString() : QDir::toNativeSeparators(file)),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return;
    }
    ui->txtGuida->setSource(target, QTextDocument::HtmlResource);
}

void frmGuida::showTitle()
{
    const QString page = ui->txtGuida->documentTitle();
    setWindowTitle(page.isEmpty() ? kTitle : kTitle + QStringLiteral(" - ") + page);
}

void frmGuida::cmdIndietro_Click()
{
    ui->txtGuida->backward();
}

void frmGuida::cmdAvanti_Click()
{
    ui->txtGuida->forward();
}

void frmGuida::cmdIndice_Click()
{
    ui->txtGuida->setSource(m_index, QTextDocument::HtmlResource);
}

void frmGuida::cmdChiudi_Click()
{
    close();
}
