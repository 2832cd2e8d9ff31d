#include "frmProgetti.h"

#include "ProjectTreeModel.h"
#include "components/frmCOmponenti.h"
#include "data/Dates.h"
#include "data/basMain.h"
#include "platform/BusyCursor.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "platform/Widgets.h"
#include "ui_frmProgetti.h"

#include <QDir>
#include <QGuiApplication>
#include <QStringListModel>

#include <limits>

namespace {
void setList(QComboBox *combo, const QStringList &entries)
{
    static_cast<QStringListModel *>(combo->model())->setStringList(entries);
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
}

void useListModel(QComboBox *combo)
{
    combo->setModel(new QStringListModel(combo));
    combo->setEditText(QString());
}

// The number a text begins with, leading spaces skipped; 0 when it begins with
// none. False when that number does not fit in 32 bits.
bool leadingNumber(const QString &text, qint64 *out)
{
    int i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    const int start = i;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        ++i;
    const int digits = i;
    while (i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 0x80)
        ++i;
    *out = 0;
    if (i == digits)
        return true;
    bool ok = false;
    const qint64 n = text.mid(start, i - start).toLongLong(&ok);
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        return false;
    *out = n;
    return true;
}
} // namespace

frmProgetti::frmProgetti(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::frmProgetti), m_session(session), m_tree(new ProjectTreeModel(this))
{
    ensureResources();
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(size());

    m_tree->setImages({QIcon(QStringLiteral(":/img/tree_progetto.png")), QIcon(QStringLiteral(":/img/tree_elemento.png")),
                       QIcon(QStringLiteral(":/img/tree_livello2.png")), QIcon(QStringLiteral(":/img/tree_cliente.png"))});
    ui->tvwProgetti->setModel(m_tree);
    for (QComboBox *combo : {ui->cboCodice, ui->cboDescr, ui->cboCodCli, ui->cboCliente})
        useListModel(combo);

    // A node is chosen by a click (also on the node already current) or by
    // moving to it with the keyboard.
    connect(ui->tvwProgetti, &QTreeView::clicked, this, &frmProgetti::tvwProgetti_NodeClick);
    connect(ui->tvwProgetti->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (QGuiApplication::mouseButtons() == Qt::NoButton)
                    tvwProgetti_NodeClick(current);
            });
    connect(ui->STab1, &QTabWidget::currentChanged, this, &frmProgetti::STab1_Click);
    connect(ui->cmdNuovo, &QPushButton::clicked, this, &frmProgetti::cmdNuovo_Click);
    connect(ui->cmdSalva, &QPushButton::clicked, this, &frmProgetti::cmdSalva_Click);
    connect(ui->cmdElimina, &QPushButton::clicked, this, &frmProgetti::cmdElimina_Click);
    connect(ui->cmdAllegati, &QToolButton::clicked, this, &frmProgetti::cmdAllegati_Click);
    connect(ui->cmdChiudi, &QPushButton::clicked, this, &frmProgetti::cmdChiudi_Click);
    connect(ui->cmdNuovoCliente, &QPushButton::clicked, this, &frmProgetti::cmdNuovoCliente_Click);
    connect(ui->cboCodice, qOverload<int>(&QComboBox::activated), this, &frmProgetti::cboCodice_Click);
    connect(ui->cboCliente, qOverload<int>(&QComboBox::activated), this, &frmProgetti::cboCliente_Click);
    connect(ui->cboCodCli, qOverload<int>(&QComboBox::activated), this, &frmProgetti::cboCodCli_Click);
    QDateEdit *pickers[3] = {ui->DataProgetto, ui->DataLivello1, ui->DataLivello2};
    for (int level = 0; level < 3; ++level)
        connect(pickers[level], &QDateEdit::dateChanged, this, [this, level](const QDate &day) {
            if (m_pickerValue[level].date() != day)
                m_pickerValue[level] = QDateTime(day, m_pickerValue[level].time());
        });

    // Load: the pickers show now, the tree is built, the hand-over waits for a node.
    ui->cmdAllegati->setEnabled(false);
    m_session.state.LivelloCorrente = ui->STab1->currentIndex();
    const QDateTime now = QDateTime::currentDateTime();
    for (int level = 0; level < 3; ++level)
        setPicker(level, now);
    CaricaProgetti();
}

frmProgetti::~frmProgetti()
{
    delete ui;
}

QTreeView *frmProgetti::tree() const
{
    return ui->tvwProgetti;
}

void frmProgetti::setSheetCaption(int sheet, const QString &caption)
{
    ui->STab1->setCurrentIndex(sheet);
    ui->STab1->setTabText(sheet, caption);
}

QComboBox *frmProgetti::levelCode(int level) const
{
    return level == 1 ? ui->cboCodice1 : ui->cboCodice2;
}

QDateTime frmProgetti::pickerValue(int level) const
{
    return m_pickerValue[level];
}

void frmProgetti::setPicker(int level, const QDateTime &value)
{
    m_pickerValue[level] = value;
    QDateEdit *pickers[3] = {ui->DataProgetto, ui->DataLivello1, ui->DataLivello2};
    pickers[level]->setDate(value.date());
}

QString frmProgetti::projectFolder(const QString &project) const
{
    return Paths::join(m_session.state.PercorsoDati, project);
}

QString frmProgetti::itemFolder(const QString &project, const QString &item) const
{
    return Paths::join(projectFolder(project), item);
}

bool frmProgetti::Cambia(const QString &folder)
{
    return Paths::setWorkingFolder(folder);
}

bool frmProgetti::ensureFolder(const QString &path)
{
    // Only the last component is made: a data folder that has gone away is
    // never made again here, empty.
    const QFileInfo info(path);
    if (info.isDir() || (info.dir().exists() && info.dir().mkdir(info.fileName())))
        return true;
    MessageBox::show(this, QStringLiteral("Impossibile creare la cartella %1.").arg(path), MessageBox::Buttons::Ok,
                     MessageBox::Icon::Exclamation);
    return false;
}

bool frmProgetti::checkFolderName(const QString &code)
{
    if (Paths::isSafeFolderName(code))
        return true;
    MessageBox::show(this,
                     QStringLiteral("Il codice \"%1\" non può essere il nome di una cartella: non deve essere vuoto, "
                                    "né \".\" o \"..\", né contenere / \\ : * ? \" < > | o caratteri di controllo.")
                         .arg(code),
                     MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
    return false;
}

bool frmProgetti::projectExists(const QString &code)
{
    RecordView &projects = m_session.archive.projects();
    return projects.findFirst(QStringLiteral("codice=") + QuotaSQL(code)) && !projects.noMatch();
}

// ---------------------------------------------------------------- tree

void frmProgetti::CaricaProgetti()
{
    BusyCursor busy;
    setPicker(0, QDateTime::currentDateTime());
    for (QLineEdit *box : {ui->txtUfficio, ui->txtReparto, ui->txtOperatore})
        box->clear();
    ui->txtNote->clear();
    ui->cboCliente->setEditText(QString());
    setList(ui->cboCodice, {});
    setList(ui->cboDescr, {});
    m_tree->clear();

    Archive &archive = m_session.archive;
    const TableInfo &projects = archive.projects().table();
    const TableInfo &items = archive.items().table();
    QVector<QString> projectCells, itemCells;
    QString error;
    if (!archive.store().readTexts(projects, {projects.indexOf(u"codice"), projects.indexOf(u"descr")}, &projectCells,
                                   &error)
        || !archive.store().readTexts(items,
                                      {items.indexOf(u"codprj"), items.indexOf(u"livello"), items.indexOf(u"codice"),
                                       items.indexOf(u"descr")},
                                      &itemCells, &error)) {
        MessageBox::error(this, error);
    } else {
        QStringList codes, descriptions;
        codes.reserve(projectCells.size() / 2);
        descriptions.reserve(projectCells.size() / 2);
        for (int i = 0; i + 1 < projectCells.size(); i += 2) {
            codes.append(projectCells[i]);
            descriptions.append(projectCells[i + 1]);
        }
        setList(ui->cboCodice, codes);
        setList(ui->cboDescr, descriptions);
        m_tree->rebuild(projectCells, itemCells);
    }
    CaricaClienti();
}

void frmProgetti::tvwProgetti_NodeClick(const QModelIndex &node)
{
    if (!node.isValid())
        return;
    RunState &s = m_session.state;
    ui->cmdAllegati->setEnabled(false);
    const QString key = m_tree->key(node);
    const QString code = key.mid(1);
    SvuotaCampi(this, QStringLiteral("txt"));
    Cambia(s.PercorsoDati);

    if (key.startsWith(QLatin1Char('P'))) {
        if (!Visualizza(code))
            return;
        s.ProgettoCorrente = code;
        s.LivelloCorrente = 0;
        for (QComboBox *box : {ui->cboCodice1, ui->cboCodice2})
            box->setEditText(QString());
        ui->txtDescr1->clear();
        ui->txtDescr2->clear();
        setPicker(1, QDateTime::currentDateTime());
        setPicker(2, QDateTime::currentDateTime());
        Cambia(projectFolder(code));
        ui->cmdAllegati->setEnabled(true);
    } else if (key.startsWith(QLatin1Char('L'))) {
        const QString item = key.mid(3);
        const int level = key.mid(1, 1).toInt();
        // The item's own project is shown and made current, so every command
        // on the item acts within the project it belongs to.
        const QString project = m_tree->projectCode(node);
        if (!Visualizza(project))
            return;
        s.ProgettoCorrente = project;
        if (!VisualizzaLivelli(item, level, project))
            return;
        if (Cambia(projectFolder(project)))
            Cambia(itemFolder(project, item));
        ui->cmdAllegati->setEnabled(true);
    }
}

void frmProgetti::STab1_Click(int sheet)
{
    m_session.state.LivelloCorrente = sheet;
}

// ---------------------------------------------------------------- project record

bool frmProgetti::Visualizza(const QString &code)
{
    RunState &s = m_session.state;
    ui->cboCliente->setEditText(QString());
    ui->cboCodCli->setEditText(QString());
    RecordView &projects = m_session.archive.projects();
    const bool ran = projects.findFirst(QStringLiteral("codice=") + QuotaSQL(code));
    if (!ran)
        MessageBox::error(this, projects.lastError());
    const bool found = ran && !projects.noMatch();
    if (found) {
        ui->cboCodice->setEditText(projects.text(u"codice"));
        ui->cboDescr->setEditText(projects.text(u"descr"));
        ui->txtReparto->setText(projects.text(u"reparto"));
        ui->txtUfficio->setText(projects.text(u"ufficio"));
        ui->txtOperatore->setText(projects.text(u"operatore"));
        ui->txtTelefono->setText(projects.text(u"telefono"));
        ui->txtEMail->setText(projects.text(u"email"));
        ui->txtFax->setText(projects.text(u"fax"));
        ui->txtSpecifica->setText(projects.text(u"specifica"));
        const QVariant day = projects.value(u"data");
        if (day.typeId() == QMetaType::QDate)
            setPicker(0, QDateTime(day.toDate(), QTime(0, 0)));
        ui->txtNote->clear();
        const QString note = projects.getChunk(u"note", 0, projects.text(u"note").size());
        ui->txtNote->setPlainText(trimSpaces(note));
        s.ClienteCorrente = projects.text(u"codcli");
        ui->cboCodCli->setEditText(s.ClienteCorrente);
        RecordView &clients = m_session.archive.clients();
        const bool client = clients.findFirst(QStringLiteral("codice=") + s.ClienteCorrente) && !clients.noMatch();
        if (client)
            ui->cboCliente->setEditText(clients.text(u"descr"));
        showClientLabels(client, false);
    } else {
        // Never leave a code on show above boxes that a save would write over it.
        ui->cboCodice->setEditText(QString());
        ui->cboDescr->setEditText(QString());
    }
    ui->STab1->setCurrentIndex(0);
    return found;
}

void frmProgetti::cboCodice_Click(int entry)
{
    if (entry < 0)
        return;
    const QString code = ui->cboCodice->itemText(entry);
    ui->cmdAllegati->setEnabled(false);
    // The project chosen from the list is the one shown, so it becomes current.
    if (!Visualizza(code))
        return;
    m_session.state.ProgettoCorrente = code;
    for (QComboBox *box : {ui->cboCodice1, ui->cboCodice2})
        box->setEditText(QString());
    ui->txtDescr1->clear();
    ui->txtDescr2->clear();
    Cambia(projectFolder(code));
    ui->cmdAllegati->setEnabled(true);
}

void frmProgetti::cmdNuovo_Click()
{
    RunState &s = m_session.state;
    ui->cmdAllegati->setEnabled(false);
    if (s.LivelloCorrente == 0) {
        const Outcome<int> next = ProssimoCodice(m_session.archive, QStringLiteral("maxcodice"), QStringLiteral("codice"));
        if (!next.ok()) {
            MessageBox::error(this, next.error);
            return;
        }
        // The proposal never names a project that exists already.
        qint64 number = next.value;
        while (number <= std::numeric_limits<qint32>::max() && projectExists(s.PrefissoScheda(1) + QString::number(number)))
            ++number;
        if (number > std::numeric_limits<qint32>::max()) {
            MessageBox::show(this, QStringLiteral("Numerazione dei progetti esaurita."), MessageBox::Buttons::Ok,
                             MessageBox::Icon::Exclamation);
            return;
        }
        ui->cboCodice->setEditText(s.PrefissoScheda(1) + QString::number(number));
        ui->cboDescr->setEditText(QString());
        for (QLineEdit *box : {ui->txtReparto, ui->txtUfficio, ui->txtOperatore, ui->txtTelefono, ui->txtEMail, ui->txtFax})
            box->clear();
        ui->txtNote->clear();
        ui->cboCliente->setEditText(QString());
        ui->cboCodCli->setEditText(QString());
        setPicker(0, QDateTime::currentDateTime());
        SvuotaCampi(this, QStringLiteral("txt"));
    } else if (s.LivelloCorrente == 1 || s.LivelloCorrente == 2) {
        const int level = s.LivelloCorrente;
        setPicker(level, QDateTime::currentDateTime());
        levelCode(level)->setEditText(QString());
        (level == 1 ? ui->txtDescr1 : ui->txtDescr2)->clear();
        const Outcome<int> next =
            ProssimoCodiceLivello(m_session.archive, QStringLiteral("maxcodice"), level, QStringLiteral("codice"));
        if (!next.ok()) {
            MessageBox::error(this, next.error);
            return;
        }
        levelCode(level)->setEditText(s.PrefissoScheda(level + 1) + QString::number(next.value));
    }
}

void frmProgetti::cmdSalva_Click()
{
    RunState &s = m_session.state;
    const QString code = ui->cboCodice->currentText();
    if (code.isEmpty()) {
        MessageBox::show(this, QStringLiteral("Manca il codice del Progetto!"));
        return;
    }
    if (!checkFolderName(code))
        return;
    s.ProgettoCorrente = code;
    const bool saved = (s.LivelloCorrente == 1 || s.LivelloCorrente == 2) ? SalvaLivello() : SalvaProgetto();
    if (!saved)
        return;
    CaricaProgetti();
    ui->cmdAllegati->setEnabled(true);
}

bool frmProgetti::SalvaProgetto()
{
    RunState &s = m_session.state;
    const QString code = ui->cboCodice->currentText();
    qint64 client = 0;
    if (!leadingNumber(ui->cboCodCli->currentText(), &client)) {
        MessageBox::show(this,
                         QStringLiteral("Il codice cliente \"%1\" è fuori dall'intervallo ammesso.")
                             .arg(ui->cboCodCli->currentText().trimmed()),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return false;
    }
    BusyCursor busy;
    RecordView &projects = m_session.archive.projects();
    if (!projects.findFirst(QStringLiteral("codice=") + QuotaSQL(code))) {
        MessageBox::error(this, projects.lastError());
        return false;
    }
    if (projects.noMatch()) {
        if (!ensureFolder(projectFolder(code)))
            return false;
        projects.addNew();
    } else if (!projects.edit()) {
        MessageBox::error(this, projects.lastError());
        return false;
    }
    s.ClienteCorrente = QString::number(client);
    const bool ok = projects.setValue(u"codice", code) && projects.setValue(u"descr", ui->cboDescr->currentText())
                    && projects.setValue(u"ufficio", trimSpaces(ui->txtUfficio->text()))
                    && projects.setValue(u"reparto", trimSpaces(ui->txtReparto->text()))
                    && projects.setValue(u"operatore", trimSpaces(ui->txtOperatore->text()))
                    && projects.setValue(u"telefono", trimSpaces(ui->txtTelefono->text()))
                    && projects.setValue(u"email", trimSpaces(ui->txtEMail->text()))
                    && projects.setValue(u"fax", trimSpaces(ui->txtFax->text()))
                    && projects.setValue(u"specifica", trimSpaces(ui->txtSpecifica->text()))
                    && projects.setValue(u"note", QString(QLatin1String("")))
                    && projects.appendChunk(u"note", trimSpaces(ui->txtNote->toPlainText()))
                    && projects.setValue(u"data", Dates::dayText(pickerValue(0).date()))
                    && projects.setValue(u"codcli", s.ClienteCorrente);
    if (!storeOrReport(this, projects, ok))
        return false;
    Cambia(projectFolder(code));
    return true;
}

// ---------------------------------------------------------------- level rows

bool frmProgetti::VisualizzaLivelli(const QString &code, int level, const QString &project)
{
    RecordView &items = m_session.archive.items();
    QString criterion = QStringLiteral("codice=") + QuotaSQL(code) + QStringLiteral(" AND Livello=") + QString::number(level);
    if (!project.isEmpty())
        criterion += QStringLiteral(" AND codprj=") + QuotaSQL(project);
    if (!items.findFirst(criterion) || items.noMatch())
        return false;
    const int stored = items.value(u"livello").toInt();
    if (stored != 1 && stored != 2)
        return false;
    levelCode(stored)->setEditText(items.text(u"codice"));
    (stored == 1 ? ui->txtDescr1 : ui->txtDescr2)->setText(items.text(u"descr"));
    const QVariant day = items.value(u"data");
    if (day.typeId() == QMetaType::QDate)
        setPicker(stored, QDateTime(day.toDate(), QTime(0, 0)));
    ui->STab1->setCurrentIndex(stored);
    return true;
}

bool frmProgetti::SalvaLivello()
{
    RunState &s = m_session.state;
    const int level = s.LivelloCorrente;
    const QString code = levelCode(level)->currentText();
    const QString descr = (level == 1 ? ui->txtDescr1 : ui->txtDescr2)->text();
    if (code.isEmpty()) {
        MessageBox::show(this, QStringLiteral("Manca il codice di %1!").arg(s.NomeScheda(level + 1)));
        return false;
    }
    if (!checkFolderName(code))
        return false;
    BusyCursor busy;
    const QString project = s.ProgettoCorrente;
    if (!projectExists(project)) {
        MessageBox::show(this,
                         QStringLiteral("Il progetto %1 non è in archivio: salvarlo prima di aggiungere elementi.").arg(project),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return false;
    }
    RecordView &items = m_session.archive.items();
    // An item code belongs to one project only, within its level.
    const QString sameCode = QStringLiteral("codice=") + QuotaSQL(code) + QStringLiteral(" AND Livello=") + QString::number(level);
    for (items.findFirst(sameCode); !items.noMatch(); items.findNext(sameCode)) {
        const QString owner = items.text(u"codprj");
        if (owner.compare(project, Qt::CaseInsensitive) != 0) {
            MessageBox::show(this,
                             QStringLiteral("Il codice %1 è già usato in %2 dal progetto %3.")
                                 .arg(code, s.NomeScheda(level + 1), owner),
                             MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
            return false;
        }
    }
    Cambia(s.PercorsoDati);
    Cambia(projectFolder(project));
    const QString criterion = QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=")
                              + QuotaSQL(code) + QStringLiteral(" AND Livello=") + QString::number(level);
    if (!items.findFirst(criterion)) {
        MessageBox::error(this, items.lastError());
        return false;
    }
    if (items.noMatch()) {
        if (!ensureFolder(projectFolder(project)) || !ensureFolder(itemFolder(project, code)))
            return false;
        items.addNew();
    } else if (!items.edit()) {
        MessageBox::error(this, items.lastError());
        return false;
    }
    const bool ok = items.setValue(u"codprj", project) && items.setValue(u"codice", code)
                    && items.setValue(u"descr", descr) && items.setValue(u"livello", level)
                    && items.setValue(u"data", pickerValue(level));
    if (!storeOrReport(this, items, ok))
        return false;
    Cambia(itemFolder(project, code));
    return true;
}

// ---------------------------------------------------------------- delete

void frmProgetti::cmdElimina_Click()
{
    const int level = m_session.state.LivelloCorrente;
    if (level == 0)
        eliminaProgetto();
    else if (level == 1 || level == 2)
        eliminaLivello(level);
}

void frmProgetti::eliminaProgetto()
{
    RunState &s = m_session.state;
    if (!MessageBox::ask(this, s.NomeScheda(1) + QStringLiteral(" - Confermi la cancellazione ?")))
        return;
    // The project deleted is the one on show.
    const QString code = ui->cboCodice->currentText();
    RecordView &items = m_session.archive.items();
    if (!items.findFirst(QStringLiteral("codprj=") + QuotaSQL(code))) {
        MessageBox::error(this, items.lastError());
        return;
    }
    if (!items.noMatch()) {
        MessageBox::show(this, QStringLiteral("Impossibile eliminare il progetto, contiene elementi associati !"));
        return;
    }
    RecordView &projects = m_session.archive.projects();
    if (!projects.findFirst(QStringLiteral("codice=") + QuotaSQL(code)) || projects.noMatch())
        return;
    if (!projects.deleteCurrent()) {
        MessageBox::error(this, projects.lastError());
        return;
    }
    SvuotaCampi(this, QStringLiteral("txt"));
    for (QComboBox *box : {ui->cboCodice, ui->cboCodice1, ui->cboCodice2})
        box->setEditText(QString());
    CaricaProgetti();
}

void frmProgetti::eliminaLivello(int level)
{
    RunState &s = m_session.state;
    const QString code = levelCode(level)->currentText();
    if (!MessageBox::ask(this, s.NomeScheda(level + 1) + QStringLiteral(" - Confermi la cancellazione ?")))
        return;
    RecordView &items = m_session.archive.items();
    const QString criterion = QStringLiteral("codice=") + QuotaSQL(code) + QStringLiteral(" AND livello=")
                              + QString::number(level) + (level == 1 ? QStringLiteral(" AND Codprj=") : QStringLiteral(" AND codprj="))
                              + QuotaSQL(s.ProgettoCorrente);
    if (!items.findFirst(criterion) || items.noMatch())
        return;
    if (!items.deleteCurrent()) {
        MessageBox::error(this, items.lastError());
        return;
    }
    levelCode(level)->setEditText(QString());
    (level == 1 ? ui->txtDescr1 : ui->txtDescr2)->clear();
    CaricaProgetti();
}

// ---------------------------------------------------------------- components hand-over

void frmProgetti::cmdAllegati_Click()
{
    RunState &s = m_session.state;
    const int level = s.LivelloCorrente;
    const QString shown = ui->cboCodice->currentText();
    // Sheet 0 hands over the project on show, which must be the current one.
    if (level == 0 && (shown.isEmpty() || shown.compare(s.ProgettoCorrente, Qt::CaseInsensitive) != 0
                       || !projectExists(s.ProgettoCorrente))) {
        MessageBox::show(this, QStringLiteral("Codice ") + s.NomeScheda(1) + QStringLiteral(" NON Valido !"));
        return;
    }
    if (level == 1 || level == 2) {
        // The item on show must be an item of the current project.
        const QString item = levelCode(level)->currentText();
        RecordView &items = m_session.archive.items();
        const bool mine = !item.isEmpty()
                          && items.findFirst(QStringLiteral("codprj=") + QuotaSQL(s.ProgettoCorrente)
                                             + QStringLiteral(" AND codice=") + QuotaSQL(item)
                                             + QStringLiteral(" AND Livello=") + QString::number(level))
                          && !items.noMatch();
        if (!mine) {
            MessageBox::show(this, level == 1 ? QStringLiteral("Codice ") + s.NomeScheda(2) + QStringLiteral("  NON valido !")
                                              : QStringLiteral("Codice ") + s.NomeScheda(3) + QStringLiteral(" NON valido !"));
            return;
        }
    }
    if (s.ProgettoCorrente.isEmpty() || !Paths::isSafeFolderName(s.ProgettoCorrente)) {
        MessageBox::show(this, QStringLiteral("Codice ") + s.NomeScheda(1) + QStringLiteral(" NON Valido !"));
        return;
    }
    if (level == 0)
        s.ElementoCorrente = s.ProgettoCorrente;
    else if (level == 1 || level == 2)
        s.ElementoCorrente = levelCode(level)->currentText();
    else if (s.ElementoCorrente.isEmpty() || !Paths::isSafeFolderName(s.ElementoCorrente))
        s.ElementoCorrente = s.ProgettoCorrente;

    // The notes file always lies in the own folder of the project or item.
    const QString folder = s.ElementoCorrente.compare(s.ProgettoCorrente, Qt::CaseInsensitive) == 0
                               ? projectFolder(s.ProgettoCorrente)
                               : itemFolder(s.ProgettoCorrente, s.ElementoCorrente);
    if (!QFileInfo(folder).isDir() && QDir(s.PercorsoDati).exists()) {
        QDir(s.PercorsoDati).mkdir(s.ProgettoCorrente);
        QDir(projectFolder(s.ProgettoCorrente)).mkdir(s.ElementoCorrente);
    }
    s.FileNote = Paths::join(folder, s.ElementoCorrente);

    frmCOmponenti components(m_session, this);
    components.CodPrj = s.ProgettoCorrente;
    components.DataIns = Dates::generalText(pickerValue(0));
    components.Form_Load();
    components.exec();
    Cambia(s.PercorsoDati);
}

void frmProgetti::cmdChiudi_Click()
{
    close();
}

// ---------------------------------------------------------------- client sheet

void frmProgetti::CaricaClienti()
{
    const TableInfo &clients = m_session.archive.clients().table();
    QVector<QString> cells;
    QString error;
    QStringList codes, names;
    if (!m_session.archive.store().readTexts(clients, {clients.indexOf(u"codice"), clients.indexOf(u"descr")}, &cells,
                                             &error)) {
        MessageBox::error(this, error);
    } else {
        codes.reserve(cells.size() / 2);
        names.reserve(cells.size() / 2);
        for (int i = 0; i + 1 < cells.size(); i += 2) {
            codes.append(cells[i]);
            names.append(cells[i + 1]);
        }
    }
    setList(ui->cboCliente, names);
    setList(ui->cboCodCli, codes);
}

void frmProgetti::showClientLabels(bool found, bool withPostcode)
{
    if (!found) {
        for (QLabel *label : {ui->Label4, ui->Label5, ui->Label6})
            label->clear();
        return;
    }
    RecordView &clients = m_session.archive.clients();
    ui->Label4->setText(clients.text(u"indirizzo"));
    ui->Label5->setText(withPostcode ? clients.text(u"cap") + QLatin1Char(' ') + clients.text(u"citta") + QLatin1Char(' ')
                                           + clients.text(u"provincia")
                                     : clients.text(u"citta"));
    ui->Label6->setText(clients.text(u"telefono"));
}

void frmProgetti::cboCliente_Click(int entry)
{
    if (entry < 0)
        return;
    const QString name = ui->cboCliente->itemText(entry);
    RecordView &clients = m_session.archive.clients();
    const bool found = clients.findFirst(QStringLiteral("descr=") + QuotaSQL(name)) && !clients.noMatch();
    if (found) {
        ui->cboCodCli->setEditText(clients.text(u"codice"));
        m_session.state.ClienteCorrente = clients.text(u"codice");
    }
    showClientLabels(found, true);
}

void frmProgetti::cboCodCli_Click(int entry)
{
    if (entry < 0)
        return;
    const QString code = ui->cboCodCli->itemText(entry);
    RecordView &clients = m_session.archive.clients();
    const bool found = clients.findFirst(QStringLiteral("codice=") + code) && !clients.noMatch();
    if (found) {
        ui->cboCliente->setEditText(clients.text(u"descr"));
        m_session.state.ClienteCorrente = clients.text(u"codice");
    }
    showClientLabels(found, true);
}

void frmProgetti::cmdNuovoCliente_Click()
{
    emit clientRegisterRequested();
    CaricaClienti();
}
