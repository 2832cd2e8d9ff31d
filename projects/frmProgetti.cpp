// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmProgetti.h"

#include "ProjectEditor.h"
#include "NotesSearch.h"
#include "ProjectSearch.h"
#include "ProjectTreeModel.h"
#include "components/frmCOmponenti.h"
#include "data/Dates.h"
#include "data/basMain.h"
#include "platform/BusyCursor.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "widgets/SearchPanel.h"
#include "widgets/Widgets.h"
#include "ui_frmProgetti.h"

#include <QDir>
#include <QGuiApplication>
#include <QSet>
#include <QShortcut>
#include <QStringListModel>

#include <limits>
#include <memory>

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

} // namespace

frmProgetti::frmProgetti(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::frmProgetti), m_session(session),
      m_editor(session, {[this](const QString &question) { return MessageBox::askDefaultNo(this, question); },
                         [this](const QString &notice) { MessageBox::show(this, notice); },
                         [this](const QString &notice) {
                             MessageBox::show(this, notice, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
                         },
                         [this](const QString &message) { MessageBox::error(this, message); }}),
      m_tree(new ProjectTreeModel(this)),
      m_search(new ProjectSearch(*m_tree))
{
    ensureResources();
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    layOut();

    m_tree->setImages({QIcon(QStringLiteral(":/img/tree_progetto.png")), QIcon(QStringLiteral(":/img/tree_elemento.png")),
                       QIcon(QStringLiteral(":/img/tree_livello2.png")), QIcon(QStringLiteral(":/img/tree_cliente.png"))});
    ui->tvwProgetti->setModel(m_tree);
    m_search->setIcons({QIcon(QStringLiteral(":/img/tree_progetto.png")), QIcon(QStringLiteral(":/img/tree_elemento.png")),
                        QIcon(QStringLiteral(":/img/componenti.png"))});
    m_panel = new SearchPanel(this, ui->edtCerca, ui->lblRisultati, ui->lstRisultati, m_search);
    m_notes = new NotesSearch(session, this);
    m_search->setNotes(m_notes);
    connect(m_panel, &SearchPanel::opening, this, [this] {
        refreshSearch();
        // The notes pages of every node: the texts kept, then a look for
        // pages changed since, both off the window.
        QStringList pages;
        pages.reserve(m_tree->nodeCount());
        for (int n = 0; n < m_tree->nodeCount(); ++n)
            pages.append(m_search->pageOf(n));
        m_notes->refresh(pages);
    });
    connect(m_notes, &NotesSearch::changed, this, [this] {
        m_search->notesChanged();
        if (m_panel->isOpen())
            m_panel->entriesChanged();
    });
    connect(m_panel, &SearchPanel::opened, this, [this] { placeSearch(true); });
    connect(m_panel, &SearchPanel::closed, this, [this] { placeSearch(false); });
    connect(m_panel, &SearchPanel::chosen, this, &frmProgetti::showSearchResult);
    for (QComboBox *combo : {ui->cboCodice, ui->cboDescr, ui->cboCodCli, ui->cboCliente})
        useListModel(combo);
    for (QComboBox *combo : {ui->cboCodice, ui->cboDescr, ui->cboCodCli, ui->cboCliente, ui->cboCodice1, ui->cboCodice2})
        choicesOnly(combo);
    ui->txtNote->setTabChangesFocus(true);

    // A node is chosen by a click (also on the node already current) or by
    // moving to it with the keys. Focus alone makes Qt pick a current node
    // (Tab into the tree): that is no choice and shows nothing.
    connect(ui->tvwProgetti, &QTreeView::clicked, this, &frmProgetti::tvwProgetti_NodeClick);
    ui->tvwProgetti->installEventFilter(this);
    connect(ui->tvwProgetti->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (m_treeKey && QGuiApplication::mouseButtons() == Qt::NoButton)
                    tvwProgetti_NodeClick(current);
            });
    connect(ui->STab1, &QTabWidget::currentChanged, this, &frmProgetti::STab1_Click);
    connect(ui->cmdNuovo, &QPushButton::clicked, this, &frmProgetti::cmdNuovo_Click);
    connect(ui->cmdSalva, &QPushButton::clicked, this, &frmProgetti::cmdSalva_Click);
    connect(ui->cmdElimina, &QPushButton::clicked, this, &frmProgetti::cmdElimina_Click);
    connect(ui->cmdAllegati, &QToolButton::clicked, this, &frmProgetti::cmdAllegati_Click);
    connect(ui->cmdChiudi, &QPushButton::clicked, this, &frmProgetti::cmdChiudi_Click);
    connect(ui->cmdNuovoCliente, &QPushButton::clicked, this, &frmProgetti::cmdNuovoCliente_Click);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this), &QShortcut::activated, this,
            &frmProgetti::Storico_Click);
    onChoice(ui->cboCodice, this, [this](int entry) { cboCodice_Click(entry); });
    onChoice(ui->cboCliente, this, [this](int entry) { cboCliente_Click(entry); });
    onChoice(ui->cboCodCli, this, [this](int entry) { cboCodCli_Click(entry); });
    QDateEdit *pickers[3] = {ui->DataProgetto, ui->DataLivello1, ui->DataLivello2};
    for (int level = 0; level < 3; ++level) {
        // The lowest date stands for "no readable date" and shows blank.
        pickers[level]->setSpecialValueText(QStringLiteral(" "));
        tabLeavesAtOnce(pickers[level]);
        connect(pickers[level], &QDateEdit::dateChanged, this, [this, level, pickers](const QDate &day) {
            if (day == pickers[level]->minimumDate()) {
                m_pickerValue[level] = QDateTime();
                return;
            }
            if (m_pickerValue[level].date() != day) {
                const QTime time = m_pickerValue[level].time();
                m_pickerValue[level] = QDateTime(day, time.isValid() ? time : QTime(0, 0));
            }
        });
    }

    // Load: the pickers show now, the tree is built, the hand-over waits for a node.
    ui->cmdAllegati->setEnabled(false);
    m_session.state.LivelloCorrente = ui->STab1->currentIndex();
    const QDateTime now = QDateTime::currentDateTime();
    for (int level = 0; level < 3; ++level)
        setPicker(level, now);
    CaricaProgetti();
    m_notes->preload();
}

frmProgetti::~frmProgetti()
{
    // The list of results asks its source while it lives: the source goes last.
    delete m_panel;
    delete m_notes;
    delete m_search;
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
    pickers[level]->setDate(value.isValid() ? value.date() : pickers[level]->minimumDate());
}

bool frmProgetti::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->tvwProgetti) {
        if (event->type() == QEvent::KeyPress)
            m_treeKey = true;
        else if (event->type() == QEvent::KeyRelease || event->type() == QEvent::FocusIn
                 || event->type() == QEvent::FocusOut)
            m_treeKey = false;
    }
    return QWidget::eventFilter(watched, event);
}

bool frmProgetti::Cambia(const QString &folder)
{
    return Paths::setWorkingFolder(folder);
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
    m_editor.shown.project.clear();
    m_tree->clear();

    QVector<QString> projectCells, itemCells;
    QString error;
    const bool read = readTreeRows(&projectCells, &itemCells, &error);
    if (!read) {
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
    m_treeProjects = projectCells;
    m_treeItems = itemCells;
    m_search->treeChanged();
    m_panel->entriesChanged();
    CaricaClienti();
}

bool frmProgetti::readTreeRows(QVector<QString> *projectCells, QVector<QString> *itemCells, QString *error)
{
    Archive &archive = m_session.archive;
    const TableInfo &projects = archive.projects().table();
    const TableInfo &items = archive.items().table();
    // One snapshot for both tables, released before any message.
    Store::ReadScope snapshot(archive.store());
    return archive.store().readTexts(projects, {projects.indexOf(u"codice"), projects.indexOf(u"descr")}, projectCells,
                                     error)
           && archive.store().readTexts(items,
                                        {items.indexOf(u"codprj"), items.indexOf(u"livello"), items.indexOf(u"codice"),
                                         items.indexOf(u"descr")},
                                        itemCells, error);
}

QStringList frmProgetti::expandedNodes() const
{
    QStringList expanded;
    for (int n = 0; n < m_tree->nodeCount(); ++n) {
        const QModelIndex idx = m_tree->indexOfNode(n);
        if (m_tree->nodeLevel(n) < 2 && ui->tvwProgetti->isExpanded(idx))
            expanded.append(m_tree->key(idx));
    }
    return expanded;
}

void frmProgetti::replaceTreeRows(const QVector<QString> &projects, const QVector<QString> &items)
{
    QTreeView *view = ui->tvwProgetti;
    const QStringList expanded = expandedNodes();
    const QString current = m_tree->key(view->currentIndex());
    const bool key = m_treeKey;
    m_treeKey = false;
    m_tree->rebuild(projects, items);
    for (const QString &k : std::as_const(expanded))
        view->expand(m_tree->indexOfKey(k));
    const QModelIndex now = m_tree->indexOfKey(current);
    if (now.isValid())
        view->selectionModel()->setCurrentIndex(now, QItemSelectionModel::ClearAndSelect);
    m_treeKey = key;
    m_treeProjects = projects;
    m_treeItems = items;
}

// ---------------------------------------------------------------- search

void frmProgetti::refreshSearch()
{
    BusyCursor busy;
    Archive &archive = m_session.archive;
    const TableInfo &components = archive.components().table();
    QVector<QString> projectCells, itemCells, componentCells;
    QString error;
    bool read = false;
    {
        Store::ReadScope snapshot(archive.store());
        read = readTreeRows(&projectCells, &itemCells, &error)
               && archive.store().readTexts(components,
                                            {components.indexOf(u"codprj"), components.indexOf(u"livello"),
                                             components.indexOf(u"codice"), components.indexOf(u"file")},
                                            &componentCells, &error);
    }
    if (!read) {
        // The search keeps what it had; the tree stays as it is.
        MessageBox::error(this, error);
        return;
    }
    // Rows another workstation stored since the tree was built join the tree,
    // so what the search finds can be shown; the sheets are left alone.
    if (projectCells != m_treeProjects || itemCells != m_treeItems)
        replaceTreeRows(projectCells, itemCells);
    m_search->setComponents(componentCells);
    m_search->treeChanged();
}

void frmProgetti::showSearchResult(int entry)
{
    showNode(m_tree->indexOfNode(m_search->node(entry)));
}

void frmProgetti::showNode(const QModelIndex &node)
{
    if (!node.isValid())
        return;
    QTreeView *view = ui->tvwProgetti;
    for (QModelIndex p = node.parent(); p.isValid(); p = p.parent())
        view->expand(p);
    const bool key = m_treeKey;
    m_treeKey = false;
    view->selectionModel()->setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
    m_treeKey = key;
    view->scrollTo(node);
    // Shown as a click on the node shows it.
    tvwProgetti_NodeClick(node);
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
        s.ProgettoCorrente = m_editor.shown.project;
        s.LivelloCorrente = 0;
        for (QComboBox *box : {ui->cboCodice1, ui->cboCodice2})
            box->setEditText(QString());
        for (int level : {1, 2})
            m_editor.shown.item[level].clear();
        ui->txtDescr1->clear();
        ui->txtDescr2->clear();
        setPicker(1, QDateTime::currentDateTime());
        setPicker(2, QDateTime::currentDateTime());
        Cambia(m_editor.projectFolder(code));
        ui->cmdAllegati->setEnabled(true);
    } else if (key.startsWith(QLatin1Char('L'))) {
        const QString item = key.mid(3);
        const int level = key.mid(1, 1).toInt();
        // The item's own project is shown and made current, so every command
        // on the item acts within the project it belongs to.
        if (!Visualizza(m_tree->projectCode(node)))
            return;
        const QString project = m_editor.shown.project;
        s.ProgettoCorrente = project;
        // The other level's sheet shows no item: a save there would write
        // its boxes over the item it named.
        const int other = level == 1 ? 2 : 1;
        levelCode(other)->setEditText(QString());
        m_editor.shown.item[other].clear();
        setPicker(other, QDateTime::currentDateTime());
        if (!VisualizzaLivelli(item, level, project))
            return;
        // A code from the archive that cannot be a folder name is never entered.
        if (Paths::isSafeFolderName(item) && Cambia(m_editor.projectFolder(project)))
            Cambia(m_editor.itemFolder(project, item));
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
        m_editor.shown.project = projects.text(u"codice");
        m_editor.shown.projectRow = projects.currentValues();
        ui->cboCodice->setEditText(m_editor.shown.project);
        showFromStart(ui->cboDescr, projects.text(u"descr"));
        ui->txtReparto->setText(projects.text(u"reparto"));
        ui->txtUfficio->setText(projects.text(u"ufficio"));
        ui->txtOperatore->setText(projects.text(u"operatore"));
        ui->txtTelefono->setText(projects.text(u"telefono"));
        ui->txtEMail->setText(projects.text(u"email"));
        ui->txtFax->setText(projects.text(u"fax"));
        ui->txtSpecifica->setText(projects.text(u"specifica"));
        const QVariant day = projects.value(u"data");
        setPicker(0, day.typeId() == QMetaType::QDate ? QDateTime(day.toDate(), QTime(0, 0)) : QDateTime());
        ui->txtNote->clear();
        const QString note = projects.getChunk(u"note", 0, projects.text(u"note").size());
        ui->txtNote->setPlainText(trimSpaces(note));
        s.ClienteCorrente = projects.text(u"codcli");
        ui->cboCodCli->setEditText(s.ClienteCorrente);
        RecordView &clients = m_session.archive.clients();
        const bool client = clients.findFirst(QStringLiteral("codice=") + s.ClienteCorrente) && !clients.noMatch();
        if (client)
            showFromStart(ui->cboCliente, clients.text(u"descr"));
        showClientLabels(client, false);
    } else {
        // Never leave a code on show above boxes that a save would write over it.
        m_editor.shown.project.clear();
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
    m_session.state.ProgettoCorrente = m_editor.shown.project;
    for (QComboBox *box : {ui->cboCodice1, ui->cboCodice2})
        box->setEditText(QString());
    for (int level : {1, 2})
        m_editor.shown.item[level].clear();
    ui->txtDescr1->clear();
    ui->txtDescr2->clear();
    Cambia(m_editor.projectFolder(m_editor.shown.project));
    ui->cmdAllegati->setEnabled(true);
}

void frmProgetti::cmdNuovo_Click()
{
    // No search runs while the archive is being written.
    SearchPanel::Pause pause(*m_panel);
    RunState &s = m_session.state;
    ui->cmdAllegati->setEnabled(false);
    if (s.LivelloCorrente == 0) {
        const QString code = m_editor.proposeCode(0, QString());
        if (code.isEmpty())
            return;
        // What is on show now is a new project, never the one shown before.
        m_editor.shown.project.clear();
        ui->cboCodice->setEditText(code);
        ui->cboDescr->setFocus();
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
        m_editor.shown.item[level].clear();
        (level == 1 ? ui->txtDescr1 : ui->txtDescr2)->clear();
        levelCode(level)->setEditText(m_editor.proposeCode(level, s.ProgettoCorrente));
        (level == 1 ? ui->txtDescr1 : ui->txtDescr2)->setFocus();
    }
}

void frmProgetti::cmdSalva_Click()
{
    // No search runs while the archive is being written.
    SearchPanel::Pause pause(*m_panel);
    RunState &s = m_session.state;
    const QString code = ui->cboCodice->currentText();
    if (code.isEmpty()) {
        MessageBox::show(this, QStringLiteral("Manca il codice del Progetto!"));
        return;
    }
    if (!m_editor.checkFolderName(code))
        return;
    s.ProgettoCorrente = code;
    const int level = s.LivelloCorrente;
    const bool saved = (level == 1 || level == 2) ? SalvaLivello() : SalvaProgetto();
    if (!saved)
        return;
    // The user's place is kept: the nodes that were open open again, and the
    // record just saved is chosen and shown as a click on it shows it.
    const QString savedKey = (level == 1 || level == 2)
                                 ? QStringLiteral("L%1C%2").arg(level).arg(levelCode(level)->currentText())
                                 : QLatin1Char('P') + ui->cboCodice->currentText();
    const QStringList expanded = expandedNodes();
    CaricaProgetti();
    for (const QString &k : expanded)
        ui->tvwProgetti->expand(m_tree->indexOfKey(k));
    showNode(m_tree->indexOfKey(savedKey));
    ui->cmdAllegati->setEnabled(true);
}

bool frmProgetti::SalvaProgetto()
{
    ProjectEditor::ProjectForm form;
    form.code = ui->cboCodice->currentText();
    form.descr = ui->cboDescr->currentText();
    form.ufficio = ui->txtUfficio->text();
    form.reparto = ui->txtReparto->text();
    form.operatore = ui->txtOperatore->text();
    form.telefono = ui->txtTelefono->text();
    form.email = ui->txtEMail->text();
    form.fax = ui->txtFax->text();
    form.specifica = ui->txtSpecifica->text();
    form.note = ui->txtNote->toPlainText();
    form.client = ui->cboCodCli->currentText();
    form.date = pickerValue(0);
    BusyCursor busy;
    const bool saved = m_editor.saveProject(form);
    // The first free code, when the user took it instead of a taken one.
    if (form.code != ui->cboCodice->currentText())
        ui->cboCodice->setEditText(form.code);
    return saved;
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
    m_editor.shown.item[stored] = items.text(u"codice");
    m_editor.shown.itemProject[stored] = items.text(u"codprj");
    m_editor.shown.itemRow[stored] = items.currentValues();
    levelCode(stored)->setEditText(m_editor.shown.item[stored]);
    showFromStart(stored == 1 ? ui->txtDescr1 : ui->txtDescr2, items.text(u"descr"));
    const QVariant day = items.value(u"data");
    if (day.typeId() == QMetaType::QDate)
        setPicker(stored, QDateTime(day.toDate(), QTime(0, 0)));
    else if (day.typeId() == QMetaType::QDateTime)
        setPicker(stored, day.toDateTime());
    else
        setPicker(stored, QDateTime());
    ui->STab1->setCurrentIndex(stored);
    return true;
}

bool frmProgetti::SalvaLivello()
{
    const int level = m_session.state.LivelloCorrente;
    ProjectEditor::ItemForm form;
    form.level = level;
    form.code = levelCode(level)->currentText();
    form.descr = (level == 1 ? ui->txtDescr1 : ui->txtDescr2)->text();
    form.date = pickerValue(level);
    BusyCursor busy;
    const bool saved = m_editor.saveItem(form);
    if (form.code != levelCode(level)->currentText())
        levelCode(level)->setEditText(form.code);
    return saved;
}

// ---------------------------------------------------------------- delete

void frmProgetti::cmdElimina_Click()
{
    // No search runs while the archive is being written.
    SearchPanel::Pause pause(*m_panel);
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
    if (!m_editor.deleteProject(ui->cboCodice->currentText()))
        return;
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
    if (!m_editor.deleteItem(level, code, s.ProgettoCorrente))
        return;
    levelCode(level)->setEditText(QString());
    (level == 1 ? ui->txtDescr1 : ui->txtDescr2)->clear();
    CaricaProgetti();
}

// ---------------------------------------------------------------- components hand-over

void frmProgetti::cmdAllegati_Click()
{
    // No search runs while the archive is being written.
    SearchPanel::Pause pause(*m_panel);
    RunState &s = m_session.state;
    const int level = s.LivelloCorrente;
    const QString shown = ui->cboCodice->currentText();
    const QString invalidProject = QStringLiteral("Codice ") + s.NomeScheda(1) + QStringLiteral(" NON Valido !");
    // The project sheet and the client sheet hand over the project on show,
    // which must be the current one and stored.
    if ((level == 0 || level == 3)
        && (shown.isEmpty() || shown.compare(s.ProgettoCorrente, Qt::CaseInsensitive) != 0
            || !m_editor.projectExists(s.ProgettoCorrente))) {
        MessageBox::show(this, invalidProject);
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
    if (s.ProgettoCorrente.isEmpty() || !m_editor.checkFolderName(s.ProgettoCorrente))
        return;
    const bool onItem = level == 1 || level == 2;
    const QString element = onItem ? levelCode(level)->currentText() : s.ProgettoCorrente;
    if (onItem) {
        if (!m_editor.checkFolderName(element))
            return;
        // Never the folder or notes of the project, nor of an item of the other level.
        const QString clash = m_editor.itemFolderClash(s.ProgettoCorrente, element, level);
        if (!clash.isEmpty()) {
            MessageBox::show(this, clash, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
            return;
        }
    }
    // The notes file always lies in the own folder of the project or item; the
    // folder is made when missing (the project's first), the notes path never.
    const QString folder = onItem ? m_editor.itemFolder(s.ProgettoCorrente, element) : m_editor.projectFolder(s.ProgettoCorrente);
    if (!QFileInfo(folder).isDir()
        && (!m_editor.ensureFolder(m_editor.projectFolder(s.ProgettoCorrente)) || (onItem && !m_editor.ensureFolder(folder))))
        return;
    // The components window itself refuses a notes file that is a link leading out.
    s.ElementoCorrente = element;
    s.FileNote = Paths::join(folder, element);

    // From the client sheet the window works on the project, as from sheet 0.
    s.LivelloCorrente = level == 3 ? 0 : level;
    frmCOmponenti components(m_session, this);
    components.CodPrj = s.ProgettoCorrente;
    components.DataIns = Dates::generalText(pickerValue(0).isValid() ? pickerValue(0) : QDateTime::currentDateTime());
    components.Form_Load();
    components.exec();
    s.LivelloCorrente = level;
    m_notes->recheck(NotesIndex::pathOf(s.PercorsoDati, s.FileNote));
    Cambia(s.PercorsoDati);
    // The components window may have added or removed files.
    if (m_panel->isOpen()) {
        refreshSearch();
        m_panel->entriesChanged();
    }
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
        showFromStart(ui->cboCliente, clients.text(u"descr"));
        m_session.state.ClienteCorrente = clients.text(u"codice");
    }
    showClientLabels(found, true);
}

void frmProgetti::cmdNuovoCliente_Click()
{
    // The client chosen for the project on show stays chosen when the lists
    // come back: a save must not store "no client" over it.
    const QString code = ui->cboCodCli->currentText();
    const QString name = ui->cboCliente->currentText();
    const QString labels[3] = {ui->Label4->text(), ui->Label5->text(), ui->Label6->text()};
    emit clientRegisterRequested();
    CaricaClienti();
    ui->cboCodCli->setEditText(code);
    showFromStart(ui->cboCliente, name);
    ui->Label4->setText(labels[0]);
    ui->Label5->setText(labels[1]);
    ui->Label6->setText(labels[2]);
}
