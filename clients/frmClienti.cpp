// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmClienti.h"

#include "clients/ClientSearch.h"
#include "clients/frmElenco.h"
#include "data/basMain.h"
#include "platform/BusyCursor.h"
#include "platform/MessageBox.h"
#include "widgets/SearchPanel.h"
#include "widgets/Anchors.h"
#include "widgets/Widgets.h"
#include "widgets/WindowPlace.h"
#include "widgets/frmStorico.h"
#include "ui_frmClienti.h"

#include <QShortcut>
#include <QStringListModel>

#include <limits>

namespace {
QStringListModel *listOf(QComboBox *combo)
{
    return static_cast<QStringListModel *>(combo->model());
}

void appendEntry(QComboBox *combo, const QString &text)
{
    QStringListModel *model = listOf(combo);
    const int row = model->rowCount();
    model->insertRows(row, 1);
    model->setData(model->index(row), text);
}
} // namespace

frmClienti::frmClienti(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window),
      ui(new Ui::frmClienti), m_session(session), m_search(new ClientSearch)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // The long boxes take the extra width, the search's list all the room.
    auto *anchors = new Anchors(this);
    const Anchors::Share half{0, 0, 0.5, 0}, besideHalf{0.5, 0, 0, 0};
    anchors->add(ui->Frame1, Anchors::Grow)
        .add({ui->lblDescr, ui->cboDescr, ui->lblIndirizzo, ui->txtIndirizzo, ui->lblTelefono, ui->txtTelefono,
              ui->lblFax, ui->txtFax, ui->lblEMail, ui->txtEMail, ui->lblSito, ui->txtSito},
             Anchors::GrowWide)
        .add({ui->lblCitta, ui->txtCitta, ui->lblContatto, ui->txtContatto}, half)
        .add({ui->lblCap, ui->txtCap, ui->lblProvincia, ui->txtProvincia}, besideHalf)
        .add({ui->lblPIva, ui->txtPIva}, {0.5, 0, 0.5, 0})
        .add({ui->cmdNuovo, ui->cmdSalva, ui->cmdElimina, ui->cmdProgetti}, Anchors::Right)
        .add(ui->cmdChiudi, Anchors::BottomRight)
        .add(ui->edtCerca, {0, 1, 1, 0})
        .add(ui->lblRisultati, Anchors::BottomRight)
        .add(ui->lstRisultati, Anchors::Grow);
    WindowPlace::keep(this, QStringLiteral("clienti"));
    for (QComboBox *combo : {ui->cboCodice, ui->cboDescr}) {
        combo->setModel(new QStringListModel(combo));
        combo->setEditText(QString());
        choicesOnly(combo);
    }
    onChoice(ui->cboCodice, this, [this](int entry) { cboCodice_Click(entry); });
    onChoice(ui->cboDescr, this, [this](int entry) { cboDescr_Click(entry); });
    connect(ui->cmdNuovo, &QPushButton::clicked, this, &frmClienti::cmdNuovo_Click);
    connect(ui->cmdSalva, &QPushButton::clicked, this, &frmClienti::cmdSalva_Click);
    connect(ui->cmdElimina, &QPushButton::clicked, this, &frmClienti::cmdElimina_Click);
    connect(ui->cmdProgetti, &QPushButton::clicked, this, &frmClienti::cmdProgetti_Click);
    connect(ui->cmdChiudi, &QPushButton::clicked, this, &frmClienti::cmdChiudi_Click);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this), &QShortcut::activated, this,
            &frmClienti::Storico_Click);
    m_panel = new SearchPanel(this, ui->edtCerca, ui->lblRisultati, ui->lstRisultati, m_search);
    connect(m_panel, &SearchPanel::opening, this, &frmClienti::refreshSearch);
    connect(m_panel, &SearchPanel::chosen, this, &frmClienti::showSearchResult);
    CaricaClienti();
}

frmClienti::~frmClienti()
{
    // The list of results asks its source while it lives: the source goes last.
    delete m_panel;
    delete m_search;
    delete ui;
}

void frmClienti::refreshSearch()
{
    // Read afresh at each opening: clients stored by another workstation since are found too.
    BusyCursor busy;
    const TableInfo &clients = m_session.archive.clients().table();
    QVector<QString> cells;
    QString error;
    if (!m_session.archive.store().readTexts(clients,
                                             {clients.indexOf(u"codice"), clients.indexOf(u"descr"),
                                              clients.indexOf(u"citta"), clients.indexOf(u"piva")},
                                             &cells, &error)) {
        MessageBox::error(this, error);
        return;
    }
    m_search->setRows(cells);
}

void frmClienti::searchAfterWrite()
{
    if (m_panel->isOpen()) {
        refreshSearch();
        m_panel->entriesChanged();
    }
}

void frmClienti::showSearchResult(int entry)
{
    bool ok = false;
    const qint32 code = m_search->code(entry).toInt(&ok);
    if (!ok || !showClient(code))
        MessageBox::show(this,
                         QStringLiteral("Il cliente %1 non è più in archivio: può essere stato eliminato da un'altra "
                                        "postazione.")
                             .arg(m_search->code(entry)),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
}

bool frmClienti::showClient(qint32 code)
{
    RecordView &v = m_session.archive.clients();
    if (!v.findFirst(QStringLiteral("codice=") + QString::number(code)) || v.noMatch())
        return false;
    Visualizza();
    return true;
}

void frmClienti::CaricaClienti()
{
    const TableInfo &clients = m_session.archive.clients().table();
    QVector<QString> cells;
    QString error;
    if (!m_session.archive.store().readTexts(clients, {clients.indexOf(u"codice"), clients.indexOf(u"descr")}, &cells,
                                             &error)) {
        MessageBox::error(this, error);
        return;
    }
    QStringList codes = listOf(ui->cboCodice)->stringList();
    QStringList names = listOf(ui->cboDescr)->stringList();
    for (int i = 0; i + 1 < cells.size(); i += 2) {
        codes.append(cells[i]);
        names.append(cells[i + 1]);
    }
    listOf(ui->cboCodice)->setStringList(codes);
    listOf(ui->cboDescr)->setStringList(names);
    ui->cboCodice->setEditText(QString());
    ui->cboDescr->setEditText(QString());
}

void frmClienti::Pulisci()
{
    for (QLineEdit *box : {ui->txtIndirizzo, ui->txtCitta, ui->txtCap, ui->txtProvincia, ui->txtTelefono, ui->txtFax,
                           ui->txtEMail, ui->txtSito, ui->txtContatto, ui->txtPIva})
        box->clear();
}

void frmClienti::Visualizza()
{
    RecordView &v = m_session.archive.clients();
    Pulisci();
    ui->cboCodice->setEditText(v.text(u"codice"));
    showFromStart(ui->cboDescr, v.text(u"descr"));
    m_shown = true;
    m_shownCode = qint32(v.value(u"codice").toLongLong());
    m_shownRow = v.currentValues();
    m_proposed.clear();
    ui->txtIndirizzo->setText(v.text(u"indirizzo"));
    ui->txtCitta->setText(v.text(u"citta"));
    ui->txtCap->setText(v.text(u"cap"));
    ui->txtProvincia->setText(v.text(u"provincia"));
    ui->txtTelefono->setText(v.text(u"telefono"));
    ui->txtFax->setText(v.text(u"fax"));
    ui->txtEMail->setText(v.text(u"email"));
    ui->txtSito->setText(v.text(u"sito"));
    ui->txtContatto->setText(v.text(u"contatto"));
    ui->txtPIva->setText(v.text(u"piva"));
}

void frmClienti::cboCodice_Click(int entry)
{
    if (entry < 0)
        return;
    const QString code = ui->cboCodice->itemText(entry);
    if (code.isEmpty())
        return;
    bool ok = false;
    const int number = code.toInt(&ok);
    if (ok)
        showClient(number);
}

void frmClienti::cboDescr_Click(int entry)
{
    if (entry < 0)
        return;
    RecordView &v = m_session.archive.clients();
    if (v.findFirst(QStringLiteral("descr=") + QuotaSQL(ui->cboDescr->itemText(entry))) && !v.noMatch())
        Visualizza();
}

void frmClienti::cmdNuovo_Click()
{
    // No search runs while the archive is being written.
    SearchPanel::Pause pause(*m_panel);
    const Outcome<int> next = ProssimoCodice(m_session.archive, QStringLiteral("clienti"), QStringLiteral("codice"));
    if (!next.ok()) {
        MessageBox::error(this, next.error);
        return;
    }
    m_shown = false;
    m_proposed = QString::number(next.value);
    ui->cboCodice->setEditText(m_proposed);
    ui->cboDescr->setEditText(QString());
    Pulisci();
    ui->cboDescr->setFocus();
}

bool frmClienti::typedCode(qint32 *code, const QString &whenEmpty)
{
    if (ui->cboCodice->currentText().isEmpty()) {
        MessageBox::show(this, whenEmpty);
        return false;
    }
    bool ok = false;
    const qlonglong n = ui->cboCodice->currentText().trimmed().toLongLong(&ok);
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max()) {
        MessageBox::show(this,
                         QStringLiteral("Il codice cliente \"%1\" non è valido: deve essere un numero intero "
                                        "da -2147483648 a 2147483647.")
                             .arg(ui->cboCodice->currentText()),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return false;
    }
    *code = qint32(n);
    return true;
}

void frmClienti::cmdSalva_Click()
{
    // No search runs while the archive is being written.
    SearchPanel::Pause pause(*m_panel);
    qint32 code = 0;
    if (!typedCode(&code, QStringLiteral("ATTENZIONE! Manca il codice !")))
        return;
    const bool editing = m_shown && code == m_shownCode;
    if (store(code, editing) != Stored::Conflict)
        return;
    // The code is taken: by another workstation since Nuovo proposed it, or
    // typed by hand. Nothing was written.
    if (ui->cboCodice->currentText() == m_proposed) {
        const Outcome<int> next = ProssimoCodice(m_session.archive, QStringLiteral("clienti"), QStringLiteral("codice"));
        if (!next.ok()) {
            MessageBox::error(this, next.error);
            return;
        }
        if (!MessageBox::askDefaultNo(this, QStringLiteral("Il codice %1 è già usato da un altro cliente e non viene "
                                                           "sovrascritto: non è stato salvato nulla.\nSalvare con il "
                                                           "primo codice libero, %2 ?")
                                                .arg(code)
                                                .arg(next.value)))
            return;
        m_proposed = QString::number(next.value);
        ui->cboCodice->setEditText(m_proposed);
        cmdSalva_Click();
        return;
    }
    if (MessageBox::askDefaultNo(this, QStringLiteral("Il cliente %1 esiste già: sovrascrivere ?").arg(code)))
        store(code, true);
}

bool frmClienti::askToStoreAgain(qint32 code)
{
    return MessageBox::askDefaultNo(this, QStringLiteral("Il cliente %1 è stato eliminato da un'altra postazione dopo "
                                                         "che è stato mostrato. Salvarlo di nuovo ?")
                                              .arg(code));
}

Stored frmClienti::store(qint32 code, bool editing, bool storeAgain)
{
    RecordView &v = m_session.archive.clients();
    if (!v.findFirst(QStringLiteral("codice=") + QString::number(code))) {
        MessageBox::error(this, v.lastError());
        return Stored::Failed;
    }
    const bool adding = v.noMatch();
    if (!adding && !editing)
        return Stored::Conflict;
    if (adding && editing && !storeAgain && !askToStoreAgain(code))
        return Stored::Failed;
    // The client shown is stored only over what it showed: another
    // workstation's save in between is not overwritten unasked.
    const bool guarded = !adding && m_shown && code == m_shownCode && !m_shownRow.isEmpty();
    if (adding)
        v.addNewUnique(QStringLiteral("codice=") + QString::number(code));
    else if (!(guarded ? v.edit(m_shownRow) : v.edit())) {
        MessageBox::error(this, v.lastError());
        return Stored::Failed;
    }
    BusyCursor busy;
    const QString descr = trimSpaces(ui->cboDescr->currentText());
    const bool ok = v.setValue(u"codice", code) && v.setValue(u"descr", descr)
                    && v.setValue(u"indirizzo", trimSpaces(ui->txtIndirizzo->text()))
                    && v.setValue(u"cap", trimSpaces(ui->txtCap->text()))
                    && v.setValue(u"provincia", trimSpaces(ui->txtProvincia->text()))
                    && v.setValue(u"citta", trimSpaces(ui->txtCitta->text()))
                    && v.setValue(u"telefono", trimSpaces(ui->txtTelefono->text()))
                    && v.setValue(u"fax", trimSpaces(ui->txtFax->text()))
                    && v.setValue(u"email", trimSpaces(ui->txtEMail->text()))
                    && v.setValue(u"sito", trimSpaces(ui->txtSito->text()))
                    && v.setValue(u"contatto", trimSpaces(ui->txtContatto->text()))
                    && v.setValue(u"piva", trimSpaces(ui->txtPIva->text()));
    const Stored result = storeOrConflict(this, v, ok);
    if (result == Stored::Conflict && guarded && v.gone()) {
        // Deleted by another workstation after the look-up above.
        if (!askToStoreAgain(code))
            return Stored::Failed;
        return store(code, true, true);
    }
    if (result == Stored::Conflict && guarded) {
        if (!MessageBox::askDefaultNo(this, QStringLiteral("Il cliente %1 è stato modificato da un'altra postazione "
                                                           "dopo che è stato mostrato: salvando si perdono le sue "
                                                           "modifiche.\nSovrascrivere ?")
                                                .arg(code)))
            return Stored::Failed;
        // Asked and answered: over what is stored now.
        if (!v.findFirst(QStringLiteral("codice=") + QString::number(code)) || v.noMatch()) {
            MessageBox::error(this, v.noMatch() ? QStringLiteral("Il cliente %1 non esiste più.").arg(code) : v.lastError());
            return Stored::Failed;
        }
        m_shownRow = v.currentValues();
        return store(code, true);
    }
    if (result != Stored::Yes)
        return result;
    m_shown = true;
    m_shownCode = code;
    if (v.findFirst(QStringLiteral("codice=") + QString::number(code)) && !v.noMatch())
        m_shownRow = v.currentValues();
    m_proposed.clear();
    // A new client joins both lists once stored, as it is stored.
    if (adding) {
        const QString typed = ui->cboCodice->currentText();
        const QString shown = ui->cboDescr->currentText();
        appendEntry(ui->cboCodice, QString::number(code));
        appendEntry(ui->cboDescr, descr);
        ui->cboCodice->setEditText(typed);
        ui->cboDescr->setEditText(shown);
    }
    searchAfterWrite();
    return Stored::Yes;
}

void frmClienti::cmdElimina_Click()
{
    // No search runs while the archive is being written.
    SearchPanel::Pause pause(*m_panel);
    qint32 code = 0;
    if (!typedCode(&code, QStringLiteral("Seleziona un cliente !")))
        return;
    if (!MessageBox::ask(this, QStringLiteral("Confermi la cancellazione del cliente selezionato ?")))
        return;
    const QString linked = QStringLiteral("codcli=") + QString::number(code);
    const QString refused = QStringLiteral("Impossibile eliminare questo cliente, ha dei progetti collegati !");
    RecordView &projects = m_session.archive.projects();
    if (!projects.findFirst(linked)) {
        MessageBox::error(this, projects.lastError());
        return;
    }
    if (!projects.noMatch()) {
        MessageBox::show(this, refused);
        return;
    }
    RecordView &v = m_session.archive.clients();
    if (!v.findFirst(QStringLiteral("codice=") + QString::number(code)) || v.noMatch())
        return;
    // Looked at again inside the delete's own transaction: a project another
    // workstation links to this client meanwhile stops the delete.
    const bool deleted = v.deleteCurrent([&projects, linked, refused](QString *refusal, QString *error) {
        bool found = false;
        if (!projects.matches(linked, &found)) {
            *error = projects.lastError();
            return false;
        }
        if (found)
            *refusal = refused;
        return !found;
    });
    if (!deleted) {
        if (v.conflict())
            MessageBox::show(this, v.lastError());
        else
            MessageBox::error(this, v.lastError());
        return;
    }
    searchAfterWrite();
    cmdNuovo_Click();
}

void frmClienti::cmdProgetti_Click()
{
    qint32 code = 0;
    if (!typedCode(&code, QStringLiteral("Seleziona un cliente !")))
        return;
    m_session.state.ClienteCorrente = ui->cboCodice->currentText();
    auto *list = new frmElenco(m_session);
    // Above a modal register the list must be modal too, or it could not be used.
    if (windowModality() != Qt::NonModal)
        list->setWindowModality(Qt::ApplicationModal);
    delete m_elenco;
    m_elenco = list;
    list->show();
    list->raise();
    list->activateWindow();
}

void frmClienti::cmdChiudi_Click()
{
    close();
}

void frmClienti::Storico_Click()
{
    if (!m_shown) {
        MessageBox::show(this, QStringLiteral("Nessun cliente mostrato: sceglierne uno per vederne lo storico."));
        return;
    }
    const qint64 key = frmStorico::keyOf(this, m_session.archive.clients(), QStringLiteral("codice=") + QString::number(m_shownCode),
                                         QStringLiteral("Il cliente %1").arg(m_shownCode));
    if (key == 0)
        return;
    frmStorico::Record record;
    record.table = Tables::Clienti;
    record.key = key;
    record.what = QStringLiteral("Cliente %1").arg(m_shownCode);
    const auto field = [&record](const char *name, const QLabel *label, QWidget *box) {
        record.fields.insert(QString::fromLatin1(name), {label->text(), box, {}, {}});
    };
    field("codice", ui->lblCodice, ui->cboCodice);
    record.fields[QStringLiteral("codice")].refusal = frmStorico::codeRefusal(QStringLiteral("cliente"));
    field("descr", ui->lblDescr, ui->cboDescr);
    field("indirizzo", ui->lblIndirizzo, ui->txtIndirizzo);
    field("citta", ui->lblCitta, ui->txtCitta);
    field("cap", ui->lblCap, ui->txtCap);
    field("provincia", ui->lblProvincia, ui->txtProvincia);
    field("telefono", ui->lblTelefono, ui->txtTelefono);
    field("fax", ui->lblFax, ui->txtFax);
    field("email", ui->lblEMail, ui->txtEMail);
    field("sito", ui->lblSito, ui->txtSito);
    field("contatto", ui->lblContatto, ui->txtContatto);
    field("piva", ui->lblPIva, ui->txtPIva);
    frmStorico::open(this, m_session.archive, record);
}
