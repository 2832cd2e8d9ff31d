// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmConfigura.h"

#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "data/RecycleBin.h"
#include "widgets/Anchors.h"
#include "widgets/Widgets.h"
#include "widgets/WindowPlace.h"
#include "widgets/frmStorico.h"
#include "ui_frmConfigura.h"

#include <QMouseEvent>
#include <QShortcut>

namespace {
// Fields of the configuration row, in the order of the boxes of fieldBoxes().
const char *const kFields[17] = {"descr", "indirizzo", "citta", "cap", "provincia", "telefono",
                                 "fax",   "email",     "sito",  "piva", "cf",       "sk1",
                                 "sk2",   "sk3",       "pre1",  "pre2", "pre3"};
} // namespace

frmConfigura::frmConfigura(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::frmConfigura), m_session(session)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    auto *anchors = new Anchors(this);
    anchors->add(ui->Frame1, Anchors::Grow)
        .add({ui->txtDitta, ui->txtIndirizzo, ui->lblSchede, ui->STab1}, Anchors::GrowWide)
        .add({ui->cmdAnnulla, ui->cmdConferma}, Anchors::BottomRight);
    WindowPlace::keep(this, QStringLiteral("configurazione"));

    const QLineEdit *names[3] = {ui->txtNome1, ui->txtNome2, ui->txtNome3};
    for (int n = 0; n < 3; ++n)
        connect(names[n], &QLineEdit::textChanged, this, [this, n](const QString &t) { txtNome_Change(n + 1, t); });
    for (QLabel *pic : {ui->picIcona1, ui->picIcona2, ui->picIcona3})
        pic->installEventFilter(this);
    connect(ui->cmdConferma, &QPushButton::clicked, this, &frmConfigura::cmdConferma_Click);
    connect(ui->cmdAnnulla, &QPushButton::clicked, this, &frmConfigura::cmdAnnulla_Click);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this), &QShortcut::activated, this,
            &frmConfigura::Storico_Click);
    Form_Load();
}

frmConfigura::~frmConfigura()
{
    delete ui;
}

QList<QLineEdit *> frmConfigura::fieldBoxes() const
{
    return {ui->txtDitta, ui->txtIndirizzo, ui->txtCitta, ui->txtCAP,   ui->txtProvincia, ui->txtTelefono,
            ui->txtFax,   ui->txtEMail,     ui->txtSito,  ui->txtPIVA,  ui->txtCodFiscale, ui->txtNome1,
            ui->txtNome2, ui->txtNome3,     ui->txtPre1,  ui->txtPre2,  ui->txtPre3};
}

void frmConfigura::Form_Load()
{
    // The recycle bin's days; an archive without the bin, or one whose setting
    // cannot be read, leaves the box out of use and says why.
    RecycleBin bin(m_session.archive);
    QString why;
    int days = RecycleBin::kDefaultDays;
    const bool daysRead = bin.keepDays(&days, &why);
    m_shownDays = daysRead ? days : 0;
    ui->txtGiorniCestino->setValue(days);
    ui->txtGiorniCestino->setEnabled(daysRead);
    ui->lblGiorniCestino->setEnabled(daysRead);
    if (!daysRead)
        ui->txtGiorniCestino->setToolTip(why);

    RecordView &config = m_session.archive.configuration();
    m_shownRow.clear();
    if (config.count() < 1 || !config.moveFirst() || !config.hasCurrent()) {
        // No configuration yet: the names and prefixes in use start the boxes,
        // so a confirm that only sets the company keeps them.
        const RunState &s = m_session.state;
        QLineEdit *const names[3] = {ui->txtNome1, ui->txtNome2, ui->txtNome3};
        QLineEdit *const prefixes[3] = {ui->txtPre1, ui->txtPre2, ui->txtPre3};
        for (int n = 1; n <= 3; ++n) {
            names[n - 1]->setText(s.NomeScheda(n));
            prefixes[n - 1]->setText(s.PrefissoScheda(n));
        }
        return;
    }
    m_shownRow = config.currentValues();
    const QList<QLineEdit *> boxes = fieldBoxes();
    for (int i = 0; i < boxes.size(); ++i)
        boxes[i]->setText(config.text(QString::fromLatin1(kFields[i])));
}

void frmConfigura::setSheetCaptions()
{
    const RunState &s = m_session.state;
    ui->STab1->setCurrentIndex(1);
    ui->STab1->setTabText(1, s.NomeScheda(2));
    ui->STab1->setCurrentIndex(2);
    ui->STab1->setTabText(2, s.NomeScheda(3));
    ui->STab1->setCurrentIndex(0);
    ui->STab1->setTabText(0, s.NomeScheda(1));
}

void frmConfigura::txtNome_Change(int sheet, const QString &text)
{
    ui->STab1->setCurrentIndex(sheet - 1);
    ui->STab1->setTabText(ui->STab1->currentIndex(), text);
}

bool frmConfigura::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const QLabel *pics[3] = {ui->picIcona1, ui->picIcona2, ui->picIcona3};
        for (int n = 0; n < 3; ++n)
            if (watched == pics[n]) {
                picIcona_Click(n + 1);
                return true;
            }
    }
    return QWidget::eventFilter(watched, event);
}

void frmConfigura::picIcona_Click(int sheet)
{
    const QString programFolder = Paths::programFolder();
    const QString chosen = FileDialog::getOpenFileName(this, QStringLiteral("*.ICO"));
    if (!chosen.isEmpty()) {
        const QPixmap picture(chosen);
        QLabel *pics[3] = {ui->picIcona1, ui->picIcona2, ui->picIcona3};
        if (!picture.isNull())
            pics[sheet - 1]->setPixmap(picture.scaled(pics[sheet - 1]->size(), Qt::KeepAspectRatio));
    }
    Paths::setWorkingFolder(programFolder);
}

void frmConfigura::cmdConferma_Click()
{
    RecordView &config = m_session.archive.configuration();
    const qint64 rows = config.count();
    if (rows < 0) {
        MessageBox::error(this, config.lastError());
        return;
    }
    // Another workstation's save since this window showed the configuration
    // (or a first one made meanwhile) is not gone over unasked.
    const auto askToGoOver = [&] {
        if (!MessageBox::askDefaultNo(this, QStringLiteral("La configurazione è stata modificata da un'altra postazione "
                                                           "dopo che è stata mostrata: salvando si perdono le sue "
                                                           "modifiche.\nSovrascrivere ?")))
            return;
        if (!config.moveFirst() || !config.hasCurrent()) {
            MessageBox::error(this, config.lastError());
            return;
        }
        m_shownRow = config.currentValues();
        cmdConferma_Click();
    };
    if (rows >= 1 && m_shownRow.isEmpty()) {
        askToGoOver();
        return;
    }
    if (rows < 1) {
        config.addNew([](RecordView &view, QString *why) {
            const qint64 stored = view.count();
            if (stored > 0)
                *why = QStringLiteral("La configurazione è già stata salvata da un'altra postazione.");
            return stored == 0;
        });
    } else if (!config.moveFirst() || !config.edit(m_shownRow)) {
        MessageBox::error(this, config.lastError());
        return;
    }
    const QList<QLineEdit *> boxes = fieldBoxes();
    bool ok = true;
    for (int i = 0; i < boxes.size() && ok; ++i)
        ok = config.setValue(QString::fromLatin1(kFields[i]), boxes[i]->text());
    const Stored result = storeOrConflict(this, config, ok);
    if (result == Stored::Conflict) {
        askToGoOver();
        return;
    }
    if (result != Stored::Yes)
        return;
    RunState &s = m_session.state;
    s.NomeScheda(1) = ui->txtNome1->text();
    s.NomeScheda(2) = ui->txtNome2->text();
    s.NomeScheda(3) = ui->txtNome3->text();
    s.PrefissoScheda(1) = ui->txtPre1->text();
    s.PrefissoScheda(2) = ui->txtPre2->text();
    s.PrefissoScheda(3) = ui->txtPre3->text();
    emit configurationStored();
    // The bin's days, when changed here: stored after the configuration, so a
    // refusal leaves the window open with the configuration as now stored.
    const int days = ui->txtGiorniCestino->value();
    if (m_shownDays > 0 && days != m_shownDays) {
        QString error;
        if (!RecycleBin(m_session.archive).setKeepDays(days, &error)) {
            if (config.moveFirst() && config.hasCurrent())
                m_shownRow = config.currentValues();
            MessageBox::error(this, error);
            return;
        }
        m_shownDays = days;
    }
    close();
}

void frmConfigura::cmdAnnulla_Click()
{
    close();
}

void frmConfigura::Storico_Click()
{
    RecordView &config = m_session.archive.configuration();
    if (m_shownRow.isEmpty()) {
        MessageBox::show(this, QStringLiteral("La configurazione non è ancora stata salvata: non ha uno storico da "
                                              "mostrare."));
        return;
    }
    if (!config.moveFirst()) {
        MessageBox::error(this, config.lastError());
        return;
    }
    if (!config.hasCurrent()) {
        MessageBox::show(this, QStringLiteral("La configurazione non è più in archivio."));
        return;
    }
    frmStorico::Record record;
    record.table = Tables::Configura;
    record.key = config.currentKey();
    record.what = QStringLiteral("Configurazione");
    const QString labels[17] = {ui->lblDitta->text(),
                                ui->lblIndirizzo->text(),
                                ui->lblCitta->text(),
                                ui->lblCAP->text(),
                                ui->lblProvincia->text(),
                                ui->lblTelefono->text(),
                                ui->lblFax->text(),
                                ui->lblEMail->text(),
                                ui->lblSito->text(),
                                ui->lblPIVA->text(),
                                ui->lblCodFiscale->text(),
                                QStringLiteral("Nome scheda 1"),
                                QStringLiteral("Nome scheda 2"),
                                QStringLiteral("Nome scheda 3"),
                                QStringLiteral("Prefisso scheda 1"),
                                QStringLiteral("Prefisso scheda 2"),
                                QStringLiteral("Prefisso scheda 3")};
    const QList<QLineEdit *> boxes = fieldBoxes();
    for (int i = 0; i < boxes.size(); ++i)
        record.fields.insert(QString::fromLatin1(kFields[i]), {labels[i], boxes[i], {}, {}});
    frmStorico::open(this, m_session.archive, record);
}
