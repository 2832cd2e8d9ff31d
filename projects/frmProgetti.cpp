// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmProgetti.h"

#include "ProjectSearch.h"
#include "ProjectTreeModel.h"
#include "components/frmCOmponenti.h"
#include "data/Dates.h"
#include "data/basMain.h"
#include "platform/BusyCursor.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "platform/SearchPanel.h"
#include "platform/Widgets.h"
#include "ui_frmProgetti.h"

#include <QDir>
#include <QGuiApplication>
#include <QSet>
#include <QStringListModel>

#include <limits>
#include <memory>

namespace {
// Names in a folder, letter case folded (the shares ignore it); empty when
// the folder cannot be read.
QSet<QString> folderNames(const QString &folder)
{
    QSet<QString> names;
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString &name : entries)
        names.insert(name.toCaseFolded());
    return names;
}

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
    : QWidget(parent, Qt::Window), ui(new Ui::frmProgetti), m_session(session), m_tree(new ProjectTreeModel(this)),
      m_search(new ProjectSearch(*m_tree))
{
    ensureResources();
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(size());

    m_tree->setImages({QIcon(QStringLiteral(":/img/tree_progetto.png")), QIcon(QStringLiteral(":/img/tree_elemento.png")),
                       QIcon(QStringLiteral(":/img/tree_livello2.png")), QIcon(QStringLiteral(":/img/tree_cliente.png"))});
    ui->tvwProgetti->setModel(m_tree);
    m_treeGeometry = ui->tvwProgetti->geometry();
    m_search->setIcons({QIcon(QStringLiteral(":/img/tree_progetto.png")), QIcon(QStringLiteral(":/img/tree_elemento.png")),
                        QIcon(QStringLiteral(":/img/componenti.png"))});
    m_panel = new SearchPanel(this, ui->edtCerca, ui->lblRisultati, ui->lstRisultati, m_search);
    connect(m_panel, &SearchPanel::opening, this, &frmProgetti::refreshSearch);
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
}

frmProgetti::~frmProgetti()
{
    // The list of results asks its source while it lives: the source goes last.
    delete m_panel;
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
    if (!Paths::staysInside(path, m_session.state.PercorsoDati)) {
        MessageBox::show(this,
                         QStringLiteral("La cartella %1 è un collegamento che porta fuori dalla cartella dati: "
                                        "operazione rifiutata.")
                             .arg(path),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return false;
    }
    const QFileInfo info(path);
    if (info.isDir() || (!info.exists() && info.dir().exists() && info.dir().mkdir(info.fileName())))
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
    return !storedProjectCode(code).isEmpty();
}

QString frmProgetti::storedProjectCode(const QString &code)
{
    RecordView &projects = m_session.archive.projects();
    if (projects.findFirst(QStringLiteral("codice=") + QuotaSQL(code)) && !projects.noMatch())
        return projects.text(u"codice");
    return {};
}

QString frmProgetti::itemFolderClash(const QString &project, const QString &code, int level)
{
    const RunState &s = m_session.state;
    // Project P keeps its notes in P\P: an item P would have that as its folder.
    if (code.compare(project, Qt::CaseInsensitive) == 0)
        return QStringLiteral("Il codice %1 è il codice del progetto: %2 deve avere una cartella e note proprie.")
            .arg(code, s.NomeScheda(level + 1));
    const int other = level == 1 ? 2 : 1;
    RecordView &items = m_session.archive.items();
    bool taken = false;
    if (items.matches(QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=") + QuotaSQL(code)
                          + QStringLiteral(" AND Livello=") + QString::number(other),
                      &taken)
        && taken)
        return QStringLiteral("Il codice %1 è già usato nel progetto %2 da un elemento di %3: la cartella e le note "
                              "sarebbero le stesse.")
            .arg(code, project, s.NomeScheda(other + 1));
    return {};
}

bool frmProgetti::codeIsFree(int level, const QString &code, const QString &project, const QSet<QString> &folders,
                             bool *failed)
{
    RecordView &components = m_session.archive.components();
    bool found = false;
    const auto ask = [&](RecordView &view, const QString &criterion) {
        if (!view.matches(criterion, &found))
            *failed = true;
        return !*failed && !found;
    };
    // A folder left by a deleted record must not be taken over either.
    if (folders.contains(code.toCaseFolded()))
        return false;
    if (level == 0) {
        RecordView &projects = m_session.archive.projects();
        return ask(projects, QStringLiteral("codice=") + QuotaSQL(code))
               && ask(components, QStringLiteral("codprj=") + QuotaSQL(code));
    }
    RecordView &items = m_session.archive.items();
    if (code.compare(project, Qt::CaseInsensitive) == 0)
        return false;
    return ask(items, QStringLiteral("codice=") + QuotaSQL(code) + QStringLiteral(" AND Livello=") + QString::number(level))
           && ask(items, QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=") + QuotaSQL(code))
           && ask(components, QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=")
                                  + QuotaSQL(code));
}

QString frmProgetti::proposeCode(int level, const QString &project)
{
    RunState &s = m_session.state;
    const QString prefix = s.PrefissoScheda(level + 1);
    if (level == 0) {
        const Outcome<int> next = ProssimoCodice(m_session.archive, QStringLiteral("maxcodice"), QStringLiteral("codice"));
        if (!next.ok()) {
            MessageBox::error(this, next.error);
            return {};
        }
        // The proposal never names a project that exists, nor one whose
        // folder or drawings are still there.
        // The folder is listed once: on a share every look costs a round trip.
        const QSet<QString> folders = folderNames(s.PercorsoDati);
        bool failed = false;
        {
            // One snapshot for the whole search, never held across a message.
            SqliteStore::ReadScope snapshot(m_session.archive.store());
            for (qint64 number = next.value; number <= std::numeric_limits<qint32>::max() && !failed; ++number)
                if (codeIsFree(0, prefix + QString::number(number), project, folders, &failed))
                    return prefix + QString::number(number);
        }
        if (failed) {
            MessageBox::error(this, m_session.archive.projects().lastError().isEmpty()
                                        ? m_session.archive.components().lastError()
                                        : m_session.archive.projects().lastError());
            return {};
        }
        MessageBox::show(this, QStringLiteral("Numerazione dei progetti esaurita."), MessageBox::Buttons::Ok,
                         MessageBox::Icon::Exclamation);
        return {};
    }
    // The number is drawn past taken codes in the transaction that moves the
    // counter, so the search costs one lock however many codes are taken.
    const QSet<QString> folders = folderNames(projectFolder(project));
    bool failed = false;
    const Outcome<int> next = ProssimoCodiceLivello(
        m_session.archive, QStringLiteral("maxcodice"), level, QStringLiteral("codice"), [&](int number) {
            // A failed look-up ends the search: the draw then says why.
            return failed || codeIsFree(level, prefix + QString::number(number), project, folders, &failed);
        });
    if (failed && next.ok()) {
        MessageBox::error(this, m_session.archive.items().lastError());
        return {};
    }
    if (!next.ok()) {
        MessageBox::error(this, next.error);
        return {};
    }
    return prefix + QString::number(next.value);
}

bool frmProgetti::offerFreeCode(int level, const QString &taken, const QString &project, QComboBox *box)
{
    const QString free = proposeCode(level, project);
    if (free.isEmpty())
        return false;
    const QString what = level == 0 ? QStringLiteral("un altro progetto") : QStringLiteral("un altro elemento");
    if (!MessageBox::askDefaultNo(this, QStringLiteral("Il codice %1 è già usato da %2 e non viene sovrascritto: "
                                                       "non è stato salvato nulla.\nSalvare con il primo codice "
                                                       "libero, %3 ?")
                                            .arg(taken, what, free)))
        return false;
    box->setEditText(free);
    return true;
}

bool frmProgetti::askToStoreAgain(const QString &record)
{
    return MessageBox::askDefaultNo(this, QStringLiteral("%1 è stato eliminato da un'altra postazione dopo che è stato "
                                                         "mostrato. Salvarlo di nuovo ?")
                                              .arg(record));
}

void frmProgetti::forgetShownProject()
{
    m_shownProject.clear();
    m_shownProjectRow.clear();
}

bool frmProgetti::hasLevel2Below(const QString &project, const QString &item, QString *error)
{
    // In the tree a level-2 row hangs under the last level-1 row before it.
    RecordView &items = m_session.archive.items();
    const QString criterion = QStringLiteral("codprj=") + QuotaSQL(project);
    bool after = false;
    bool ran = items.findFirst(criterion);
    for (; ran && !items.noMatch(); ran = items.findNext(criterion)) {
        const qint64 level = items.value(u"livello").toLongLong();
        if (after && level == 2)
            return true;
        if (level == 1)
            after = items.text(u"codice").compare(item, Qt::CaseInsensitive) == 0;
    }
    if (!ran)
        *error = items.lastError();
    return false;
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
    m_shownProject.clear();
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

void frmProgetti::replaceTreeRows(const QVector<QString> &projects, const QVector<QString> &items)
{
    QTreeView *view = ui->tvwProgetti;
    QStringList expanded;
    for (int n = 0; n < m_tree->nodeCount(); ++n) {
        const QModelIndex idx = m_tree->indexOfNode(n);
        if (m_tree->nodeLevel(n) < 2 && view->isExpanded(idx))
            expanded.append(m_tree->key(idx));
    }
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

void frmProgetti::placeSearch(bool open)
{
    // The box takes a line above the tree; the sheets do not move.
    const int line = ui->lstRisultati->geometry().top() - m_treeGeometry.top();
    ui->tvwProgetti->setGeometry(open ? m_treeGeometry.adjusted(0, line, 0, 0) : m_treeGeometry);
    ui->lstRisultati->setGeometry(ui->tvwProgetti->geometry());
    if (!open)
        ui->tvwProgetti->setFocus(Qt::OtherFocusReason);
}

void frmProgetti::showSearchResult(int entry)
{
    const QModelIndex node = m_tree->indexOfNode(m_search->node(entry));
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
        s.ProgettoCorrente = m_shownProject;
        s.LivelloCorrente = 0;
        for (QComboBox *box : {ui->cboCodice1, ui->cboCodice2})
            box->setEditText(QString());
        for (int level : {1, 2})
            m_shownItem[level].clear();
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
        if (!Visualizza(m_tree->projectCode(node)))
            return;
        const QString project = m_shownProject;
        s.ProgettoCorrente = project;
        // The other level's sheet shows no item: a save there would write
        // its boxes over the item it named.
        const int other = level == 1 ? 2 : 1;
        levelCode(other)->setEditText(QString());
        m_shownItem[other].clear();
        setPicker(other, QDateTime::currentDateTime());
        if (!VisualizzaLivelli(item, level, project))
            return;
        // A code from the archive that cannot be a folder name is never entered.
        if (Paths::isSafeFolderName(item) && Cambia(projectFolder(project)))
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
        m_shownProject = projects.text(u"codice");
        m_shownProjectRow = projects.currentValues();
        ui->cboCodice->setEditText(m_shownProject);
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
        m_shownProject.clear();
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
    m_session.state.ProgettoCorrente = m_shownProject;
    for (QComboBox *box : {ui->cboCodice1, ui->cboCodice2})
        box->setEditText(QString());
    for (int level : {1, 2})
        m_shownItem[level].clear();
    ui->txtDescr1->clear();
    ui->txtDescr2->clear();
    Cambia(projectFolder(m_shownProject));
    ui->cmdAllegati->setEnabled(true);
}

void frmProgetti::cmdNuovo_Click()
{
    // No search runs while the archive is being written.
    SearchPanel::Pause pause(*m_panel);
    RunState &s = m_session.state;
    ui->cmdAllegati->setEnabled(false);
    if (s.LivelloCorrente == 0) {
        const QString code = proposeCode(0, QString());
        if (code.isEmpty())
            return;
        // What is on show now is a new project, never the one shown before.
        m_shownProject.clear();
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
        m_shownItem[level].clear();
        (level == 1 ? ui->txtDescr1 : ui->txtDescr2)->clear();
        levelCode(level)->setEditText(proposeCode(level, s.ProgettoCorrente));
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
    // Only the project chosen and shown is edited, under its stored spelling;
    // any other code makes a new project, which never replaces a stored one.
    QString stored;
    const bool shown = !m_shownProject.isEmpty() && code.compare(m_shownProject, Qt::CaseInsensitive) == 0;
    if (shown) {
        if (!projects.findFirst(QStringLiteral("codice=") + QuotaSQL(m_shownProject))) {
            MessageBox::error(this, projects.lastError());
            return false;
        }
        if (!projects.noMatch())
            stored = projects.text(u"codice");
        else if (!askToStoreAgain(QStringLiteral("Il progetto %1").arg(m_shownProject)))
            return false;
        else
            // Asked and answered: stored again as a new project.
            forgetShownProject();
    }
    const bool editing = !stored.isEmpty();
    if (editing) {
        if (!(m_shownProjectRow.isEmpty() ? projects.edit() : projects.edit(m_shownProjectRow))) {
            MessageBox::error(this, projects.lastError());
            return false;
        }
    } else {
        if (projectExists(code))
            return offerFreeCode(0, code, QString(), ui->cboCodice) && SalvaProgetto();
        if (!ensureFolder(projectFolder(code)))
            return false;
        projects.addNewUnique(QStringLiteral("codice=") + QuotaSQL(code));
        stored = code;
    }
    s.ClienteCorrente = QString::number(client);
    const bool ok = projects.setValue(u"codice", stored) && projects.setValue(u"descr", ui->cboDescr->currentText())
                    && projects.setValue(u"ufficio", trimSpaces(ui->txtUfficio->text()))
                    && projects.setValue(u"reparto", trimSpaces(ui->txtReparto->text()))
                    && projects.setValue(u"operatore", trimSpaces(ui->txtOperatore->text()))
                    && projects.setValue(u"telefono", trimSpaces(ui->txtTelefono->text()))
                    && projects.setValue(u"email", trimSpaces(ui->txtEMail->text()))
                    && projects.setValue(u"fax", trimSpaces(ui->txtFax->text()))
                    && projects.setValue(u"specifica", trimSpaces(ui->txtSpecifica->text()))
                    && projects.setValue(u"note", QString(QLatin1String("")))
                    && projects.appendChunk(u"note", trimSpaces(ui->txtNote->toPlainText()))
                    // A date that could not be read stays as it was stored.
                    && (!pickerValue(0).isValid() || projects.setValue(u"data", Dates::dayText(pickerValue(0).date())))
                    && projects.setValue(u"codcli", s.ClienteCorrente);
    const Stored result = storeOrConflict(this, projects, ok);
    if (result == Stored::Conflict && editing && projects.gone()) {
        // Deleted by another workstation after the check above.
        if (!askToStoreAgain(QStringLiteral("Il progetto %1").arg(stored)))
            return false;
        forgetShownProject();
        return SalvaProgetto();
    }
    if (result == Stored::Conflict && editing) {
        if (!MessageBox::askDefaultNo(this, QStringLiteral("Il progetto %1 è stato modificato da un'altra postazione "
                                                           "dopo che è stato mostrato: salvando si perdono le sue "
                                                           "modifiche.\nSovrascrivere ?")
                                                .arg(stored)))
            return false;
        // Asked and answered: over what is stored now.
        if (!projects.findFirst(QStringLiteral("codice=") + QuotaSQL(stored)) || projects.noMatch())
            return false;
        m_shownProjectRow = projects.currentValues();
        return SalvaProgetto();
    }
    if (result == Stored::Conflict)
        // Another workstation stored this code since the check above.
        return offerFreeCode(0, code, QString(), ui->cboCodice) && SalvaProgetto();
    if (result == Stored::Failed)
        return false;
    s.ProgettoCorrente = stored;
    Cambia(projectFolder(stored));
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
    m_shownItem[stored] = items.text(u"codice");
    m_shownItemProject[stored] = items.text(u"codprj");
    m_shownItemRow[stored] = items.currentValues();
    levelCode(stored)->setEditText(m_shownItem[stored]);
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
    RunState &s = m_session.state;
    const int level = s.LivelloCorrente;
    QComboBox *codeBox = levelCode(level);
    const QString code = codeBox->currentText();
    const QString descr = (level == 1 ? ui->txtDescr1 : ui->txtDescr2)->text();
    if (code.isEmpty()) {
        MessageBox::show(this, QStringLiteral("Manca il codice di %1!").arg(s.NomeScheda(level + 1)));
        return false;
    }
    if (!checkFolderName(code))
        return false;
    BusyCursor busy;
    // Items go under the stored spelling of their project's code.
    const QString project = storedProjectCode(s.ProgettoCorrente);
    if (project.isEmpty()) {
        MessageBox::show(this,
                         QStringLiteral("Il progetto %1 non è in archivio: salvarlo prima di aggiungere elementi.")
                             .arg(s.ProgettoCorrente),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return false;
    }
    s.ProgettoCorrente = project;
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
    const QString clash = itemFolderClash(project, code, level);
    if (!clash.isEmpty()) {
        MessageBox::show(this, clash, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return false;
    }
    Cambia(s.PercorsoDati);
    Cambia(projectFolder(project));
    // Only the item chosen and shown is edited, under its stored spelling; any
    // other code is a new item, which never replaces a stored one.
    QString stored;
    const bool shown = !m_shownItem[level].isEmpty() && code.compare(m_shownItem[level], Qt::CaseInsensitive) == 0
                       && project.compare(m_shownItemProject[level], Qt::CaseInsensitive) == 0;
    const QString criterion = QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=")
                              + QuotaSQL(code) + QStringLiteral(" AND Livello=") + QString::number(level);
    if (!items.findFirst(criterion)) {
        MessageBox::error(this, items.lastError());
        return false;
    }
    if (!items.noMatch() && !shown)
        return offerFreeCode(level, code, project, codeBox) && SalvaLivello();
    if (items.noMatch() && shown) {
        if (!askToStoreAgain(QStringLiteral("L'elemento %1").arg(m_shownItem[level])))
            return false;
        // Asked and answered: stored again as a new item.
        m_shownItem[level].clear();
        m_shownItemRow[level].clear();
    }
    const bool editing = !items.noMatch();
    const auto projectGone = std::make_shared<bool>(false);
    if (editing) {
        stored = items.text(u"codice");
        if (!(m_shownItemRow[level].isEmpty() ? items.edit() : items.edit(m_shownItemRow[level]))) {
            MessageBox::error(this, items.lastError());
            return false;
        }
    } else {
        if (!ensureFolder(projectFolder(project)) || !ensureFolder(itemFolder(project, code)))
            return false;
        stored = code;
        const int other = level == 1 ? 2 : 1;
        const QString taken = sameCode;
        const QString sameFolder = QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=")
                                   + QuotaSQL(code) + QStringLiteral(" AND Livello=") + QString::number(other);
        // Inside the transaction that adds the item, the project must still
        // be there: an item saved while another workstation deletes its
        // project would otherwise be left without one.
        RecordView &projects = m_session.archive.projects();
        const QString owner = QStringLiteral("codice=") + QuotaSQL(project);
        items.addNew([taken, sameFolder, owner, &projects, projectGone](RecordView &view, QString *error) {
            bool found = false;
            if (!projects.matches(owner, &found)) {
                *error = projects.lastError();
                return false;
            }
            if (!found) {
                *projectGone = true;
                *error = QStringLiteral("Il progetto non è più in archivio.");
                return false;
            }
            for (const QString &c : {taken, sameFolder}) {
                if (!view.matches(c, &found)) {
                    *error = view.lastError();
                    return false;
                }
                if (found) {
                    *error = QStringLiteral("Esiste già un elemento con lo stesso codice.");
                    return false;
                }
            }
            return true;
        });
    }
    const bool ok = items.setValue(u"codprj", project) && items.setValue(u"codice", stored)
                    && items.setValue(u"descr", descr) && items.setValue(u"livello", level)
                    && (!pickerValue(level).isValid() || items.setValue(u"data", pickerValue(level)));
    const Stored result = storeOrConflict(this, items, ok);
    if (result == Stored::Conflict && editing && items.gone()) {
        // Deleted by another workstation after the check above.
        if (!askToStoreAgain(QStringLiteral("L'elemento %1").arg(stored)))
            return false;
        m_shownItem[level].clear();
        m_shownItemRow[level].clear();
        return SalvaLivello();
    }
    if (result == Stored::Conflict && editing) {
        if (!MessageBox::askDefaultNo(this, QStringLiteral("L'elemento %1 è stato modificato da un'altra postazione "
                                                           "dopo che è stato mostrato: salvando si perdono le sue "
                                                           "modifiche.\nSovrascrivere ?")
                                                .arg(stored)))
            return false;
        if (!items.findFirst(criterion) || items.noMatch())
            return false;
        m_shownItemRow[level] = items.currentValues();
        return SalvaLivello();
    }
    if (result == Stored::Conflict && *projectGone) {
        MessageBox::show(this,
                         QStringLiteral("Il progetto %1 è stato eliminato da un'altra postazione: l'elemento non è "
                                        "stato salvato.")
                             .arg(project),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return false;
    }
    if (result == Stored::Conflict)
        // Another workstation stored this code since the checks above.
        return offerFreeCode(level, code, project, codeBox) && SalvaLivello();
    if (result == Stored::Failed)
        return false;
    m_shownItem[level] = stored;
    m_shownItemProject[level] = project;
    if (items.findFirst(criterion) && !items.noMatch())
        m_shownItemRow[level] = items.currentValues();
    Cambia(itemFolder(project, stored));
    return true;
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
    const QString code = ui->cboCodice->currentText();
    RecordView &projects = m_session.archive.projects();
    if (!projects.findFirst(QStringLiteral("codice=") + QuotaSQL(code))) {
        MessageBox::error(this, projects.lastError());
        return;
    }
    if (projects.noMatch())
        return;
    // Looked at inside the delete's own transaction: an item another
    // workstation adds meanwhile either comes first and stops the delete,
    // or finds the project gone.
    RecordView &items = m_session.archive.items();
    const QString itemsOf = QStringLiteral("codprj=") + QuotaSQL(code);
    const bool deleted = projects.deleteCurrent([&items, itemsOf](QString *refusal, QString *error) {
        bool found = false;
        if (!items.matches(itemsOf, &found)) {
            *error = items.lastError();
            return false;
        }
        if (found)
            *refusal = QStringLiteral("Impossibile eliminare il progetto, contiene elementi associati !");
        return !found;
    });
    if (!deleted) {
        if (projects.conflict())
            MessageBox::show(this, projects.lastError());
        else
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
    // Deleting it would move its level-2 items under another level-1 item:
    // looked at inside the delete's own transaction.
    RecordView::DeleteCheck check;
    if (level == 1)
        check = [this, project = s.ProgettoCorrente, item = items.text(u"codice"),
                 refused = QStringLiteral("Impossibile eliminare l'elemento, contiene elementi di %1 associati !")
                               .arg(s.NomeScheda(3))](QString *refusal, QString *error) {
            if (hasLevel2Below(project, item, error))
                *refusal = refused;
            return refusal->isEmpty() && error->isEmpty();
        };
    if (!items.deleteCurrent(check)) {
        if (items.conflict())
            MessageBox::show(this, items.lastError());
        else
            MessageBox::error(this, items.lastError());
        return;
    }
    m_shownItem[level].clear();
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
            || !projectExists(s.ProgettoCorrente))) {
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
    if (s.ProgettoCorrente.isEmpty() || !checkFolderName(s.ProgettoCorrente))
        return;
    const bool onItem = level == 1 || level == 2;
    const QString element = onItem ? levelCode(level)->currentText() : s.ProgettoCorrente;
    if (onItem) {
        if (!checkFolderName(element))
            return;
        // Never the folder or notes of the project, nor of an item of the other level.
        const QString clash = itemFolderClash(s.ProgettoCorrente, element, level);
        if (!clash.isEmpty()) {
            MessageBox::show(this, clash, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
            return;
        }
    }
    // The notes file always lies in the own folder of the project or item; the
    // folder is made when missing (the project's first), the notes path never.
    const QString folder = onItem ? itemFolder(s.ProgettoCorrente, element) : projectFolder(s.ProgettoCorrente);
    if (!QFileInfo(folder).isDir()
        && (!ensureFolder(projectFolder(s.ProgettoCorrente)) || (onItem && !ensureFolder(folder))))
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
