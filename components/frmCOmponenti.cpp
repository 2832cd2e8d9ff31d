#include "frmCOmponenti.h"

#include "components/Rtf.h"
#include "data/Dates.h"
#include "data/basMain.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "platform/Widgets.h"
#include "ui_frmCOmponenti.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>

#include <limits>

namespace {
constexpr int kTwipsPerPixel = 15;

QString sizeText(const QString &path)
{
    const QFileInfo info(path);
    return QString::number(info.isFile() ? info.size() : 0);
}
} // namespace

QString componentType(const QString &path)
{
    const QString name = QFileInfo(QDir::fromNativeSeparators(path)).fileName();
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    return dot < 0 ? QString() : name.mid(dot).toUpper();
}

frmCOmponenti::frmCOmponenti(Session &session, QWidget *parent)
    : QDialog(parent), ui(new Ui::frmCOmponenti), m_session(session)
{
    ensureResources();
    ui->setupUi(this);
    setAcceptDrops(true);
    ui->RTF1->setAcceptDrops(false);
    ui->Grid1->setAcceptDrops(false);
    ui->Grid1->verticalHeader()->hide();
    connect(ui->cmdNuovo, &QPushButton::clicked, this, &frmCOmponenti::cmdNuovo_Click);
    connect(ui->cmdAggiungi, &QPushButton::clicked, this, &frmCOmponenti::cmdAggiungi_Click);
    connect(ui->cmdUsa, &QPushButton::clicked, this, &frmCOmponenti::cmdUsa_Click);
    connect(ui->cmdChiudi, &QPushButton::clicked, this, &frmCOmponenti::cmdChiudi_Click);
    connect(ui->Grid1, &QTableWidget::cellClicked, this, [this](int row, int) { Grid1_Click(row); });
    connect(ui->Grid1, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { Grid1_DblClick(row); });
}

frmCOmponenti::~frmCOmponenti()
{
    delete ui;
}

void frmCOmponenti::Form_Load()
{
    QTableWidget *grid = ui->Grid1;
    grid->setColumnCount(4);
    grid->setHorizontalHeaderLabels({QStringLiteral("Data Inserimento"), QStringLiteral("Nome del Componente"),
                                     QStringLiteral("Dimensioni Kb"), QStringLiteral("Tipo")});
    const int widths[4] = {1800, 3100, 1100, 1000};
    for (int c = 0; c < 4; ++c)
        grid->setColumnWidth(c, widths[c] / kTwipsPerPixel);

    const QString notes = m_session.state.FileNote;
    if (!notes.isEmpty() && QFileInfo(notes).isFile()) {
        QFile file(notes);
        if (file.open(QIODevice::ReadOnly))
            Rtf::read(file.readAll(), ui->RTF1->document());
    }

    // Row 0 stays empty; the components follow it.
    grid->setRowCount(1);
    RecordView &components = m_session.archive.components();
    const QString criterion = QStringLiteral("codprj=") + QuotaSQL(CodPrj);
    if (!components.findFirst(criterion)) {
        MessageBox::error(this, components.lastError());
    } else {
        grid->setUpdatesEnabled(false);
        for (; !components.noMatch(); components.findNext(criterion)) {
            const QString file = components.text(u"file");
            addRow(components.text(u"inserito"), file, sizeText(file), components.text(u"tipo"));
        }
        grid->setUpdatesEnabled(true);
    }
    ui->cboTipo->clear();
    ui->cboTipo->addItems({QStringLiteral(".DWG"), QStringLiteral(".IGS"), QStringLiteral(".DXF"), QString()});
    ui->cboTipo->setCurrentIndex(-1);
    ui->cboTipo->setEditText(QString());
    Esegui.clear();
}

void frmCOmponenti::addRow(const QString &date, const QString &file, const QString &size, const QString &type)
{
    QTableWidget *grid = ui->Grid1;
    const int row = grid->rowCount();
    grid->insertRow(row);
    const QString cells[4] = {date, file, size, type};
    for (int c = 0; c < 4; ++c)
        grid->setItem(row, c, new QTableWidgetItem(cells[c]));
}

bool frmCOmponenti::isRegistered(const QString &file)
{
    RecordView &components = m_session.archive.components();
    return components.findFirst(QStringLiteral("file=") + QuotaSQL(file)) && !components.noMatch();
}

void frmCOmponenti::cmdNuovo_Click()
{
    RunState &s = m_session.state;
    const QString type = ui->cboTipo->currentText();
    if (type.isEmpty()) {
        MessageBox::show(this, QStringLiteral("Scegliere il tipo di componente da aggiungere !"));
        return;
    }
    // The registered name must stay a file inside the data folder.
    for (QChar c : type)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7f) {
            MessageBox::show(this, QStringLiteral("Il tipo di componente non può contenere separatori di cartella "
                                                  "o caratteri di controllo."),
                             MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
            return;
        }
    // Numbers already registered, or naming a file already there (another
    // workstation's, or one handed out by a run that ended without saving its
    // counter), are passed over.
    qint64 number = qint64(s.ContatoreComponenti) + 1;
    QString name;
    for (; number <= std::numeric_limits<qint32>::max(); ++number) {
        name = s.PercorsoDati + QDir::separator() + QString::number(number) + type;
        if (!QFileInfo::exists(name) && !isRegistered(trimSpaces(name)))
            break;
    }
    if (number > std::numeric_limits<qint32>::max()) {
        MessageBox::show(this,
                         QStringLiteral("Numerazione dei componenti esaurita: il contatore ha raggiunto %1.")
                             .arg(std::numeric_limits<qint32>::max()),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return;
    }
    const QString date = Dates::generalText(QDateTime::currentDateTime());
    RecordView &components = m_session.archive.components();
    components.addNew();
    const bool ok = components.setValue(u"inserito", date) && components.setValue(u"codprj", CodPrj)
                    && components.setValue(u"file", trimSpaces(name)) && components.setValue(u"tipo", trimSpaces(type));
    if (!storeOrReport(this, components, ok))
        return;
    s.ContatoreComponenti = int(number);
    DataIns = date;
    addRow(DataIns, name, QStringLiteral("0"), type);
}

bool frmCOmponenti::attach(const QString &path)
{
    const RunState &s = m_session.state;
    const QString type = componentType(path);
    RecordView &components = m_session.archive.components();
    components.addNew();
    const bool ok = components.setValue(u"inserito", DataIns) && components.setValue(u"codprj", CodPrj)
                    && components.setValue(u"livello", s.LivelloCorrente)
                    && components.setValue(u"codice", s.ElementoCorrente)
                    && components.setValue(u"file", trimSpaces(path)) && components.setValue(u"tipo", trimSpaces(type));
    if (!storeOrReport(this, components, ok))
        return false;
    addRow(DataIns, path, sizeText(path), type);
    return true;
}

void frmCOmponenti::cmdAggiungi_Click()
{
    const QString programFolder = Paths::programFolder();
    const QString chosen = FileDialog::getOpenFileName(this, QStringLiteral("*.*"));
    if (!chosen.isEmpty())
        attach(chosen);
    Paths::setWorkingFolder(programFolder);
}

void frmCOmponenti::Grid1_Click(int row)
{
    ui->cmdUsa->setEnabled(true);
    const QTableWidgetItem *cell = ui->Grid1->item(row, 1);
    Esegui = cell ? cell->text() : QString();
}

void frmCOmponenti::cmdUsa_Click()
{
    if (!Esegui.isEmpty() && QFileInfo::exists(Esegui)) {
        Desktop::openFile(Esegui);
        return;
    }
    MessageBox::show(this, QStringLiteral("Il componente \n") + Esegui + QStringLiteral("\nNON è stato trovato !"),
                     MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
}

void frmCOmponenti::Grid1_DblClick(int row)
{
    if (!MessageBox::ask(this, QStringLiteral("Vuoi togliere il componente selezionato ?")))
        return;
    const QTableWidgetItem *cell = ui->Grid1->item(row, 1);
    const QString path = cell ? cell->text() : QString();
    const RunState &s = m_session.state;
    RecordView &components = m_session.archive.components();
    const QString criterion = QStringLiteral("codprj=") + QuotaSQL(CodPrj) + QStringLiteral(" AND File=") + QuotaSQL(path)
                              + QStringLiteral(" AND Livello=") + QString::number(s.LivelloCorrente)
                              + QStringLiteral(" AND Codice=") + QuotaSQL(s.ElementoCorrente);
    if (!components.findFirst(criterion)) {
        MessageBox::error(this, components.lastError());
        return;
    }
    if (components.noMatch())
        return;
    if (!components.deleteCurrent()) {
        MessageBox::error(this, components.lastError());
        return;
    }
    ui->Grid1->removeRow(row);
}

void frmCOmponenti::cmdChiudi_Click()
{
    close();
}

void frmCOmponenti::saveNotes()
{
    const QString path = m_session.state.FileNote;
    if (m_notesSaved || path.isEmpty())
        return;
    m_notesSaved = true;
    // Written whole or not at all; an error leaves the old notes and is not reported.
    Paths::writeAtomically(path, Rtf::write(ui->RTF1->document()));
}

void frmCOmponenti::done(int result)
{
    saveNotes();
    QDialog::done(result);
}

void frmCOmponenti::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    const QRect outer = frameGeometry();
    const int width = std::max(1, outer.width() - 400 / kTwipsPerPixel);
    int height = ui->RTF1->height();
    if (outer.height() > 3000 / kTwipsPerPixel)
        height = outer.height() - 3000 / kTwipsPerPixel;
    ui->RTF1->resize(width, height);
}

void frmCOmponenti::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        for (const QUrl &url : event->mimeData()->urls())
            if (url.isLocalFile()) {
                event->acceptProposedAction();
                return;
            }
}

void frmCOmponenti::dropEvent(QDropEvent *event)
{
    bool any = false;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile())
            continue;
        if (!attach(QDir::toNativeSeparators(url.toLocalFile())))
            break;
        any = true;
    }
    if (any)
        event->acceptProposedAction();
}
