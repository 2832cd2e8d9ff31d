// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmCOmponenti.h"

#include "components/preview/Preview.h"
#include "components/rtf/Rtf.h"
#include "data/Dates.h"
#include "data/NotesIndex.h"
#include "data/Worker.h"
#include "data/basMain.h"
#include "platform/BusyCursor.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "widgets/Anchors.h"
#include "widgets/GridColumns.h"
#include "widgets/Widgets.h"
#include "widgets/WindowPlace.h"
#include "ui_frmCOmponenti.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMimeDatabase>
#include <QEventLoop>
#include <QMimeData>
#include <QProgressDialog>
#include <QTextDocument>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <QRegularExpression>
#include <QStyle>
#include <QTextCursor>

#include <limits>

namespace {

// Size of the file a stored path stands for here; 0 when none is found.
// What tells one content of a notes file from another without keeping it:
// null for a missing file.
QByteArray fingerprint(const QByteArray &content)
{
    return content.isNull() ? QByteArray() : QCryptographicHash::hash(content, QCryptographicHash::Sha256);
}

// The content of a file as it is now; null when it is missing, unreadable or
// no regular file (a FIFO put there meanwhile is never waited on).
QByteArray contentOf(const QString &path)
{
    QFile file;
    if (!Paths::openRegularFile(file, path))
        return {};
    QByteArray data = file.readAll();
    if (data.isNull())
        data = QByteArray("");
    return data;
}

// Saves a page beside the notes file, under a name nobody has taken:
// "<notes> (note di <user> del <date time>).rtf", then "… (2)).rtf", "… (3)).rtf"
// for a workstation that saved beside in the same second. Returns the file
// written; empty, with the reason in *error, when none was. The folder must
// stay inside dataFolder, as the notes file itself.
QString saveBeside(const QString &path, const QByteArray &page, const QString &dataFolder, QString *error)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!Paths::staysInside(folder, dataFolder)) {
        *error = QStringLiteral("La cartella %1 è un collegamento che porta fuori dalla cartella dati.").arg(folder);
        return {};
    }
    QString who = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    who.remove(QRegularExpression(QStringLiteral("[^\\w.-]")));
    const QString when = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
    const QString stem = path + QStringLiteral(" (note di %1 del %2").arg(who.isEmpty() ? QStringLiteral("utente") : who, when);
    constexpr int kMaxNumber = 999;
    for (int n = 1; n <= kMaxNumber; ++n) {
        const QString target = stem + (n == 1 ? QString() : QStringLiteral(" (%1)").arg(n)) + QStringLiteral(").rtf");
        switch (Paths::writeNewFile(target, page, error)) {
        case Paths::NewFile::Written: return target;
        case Paths::NewFile::Failed: return {};
        case Paths::NewFile::Taken: break;
        }
    }
    *error = QStringLiteral("Nessun nome libero per salvare le note accanto a %1.").arg(path);
    return {};
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
    // Long paths keep their file name in view; the whole path is the tooltip.
    ui->Grid1->setTextElideMode(Qt::ElideMiddle);
    // The list and the notes page share the extra height; the list and the
    // preview share the extra width, the buttons between them.
    auto *anchors = new Anchors(this);
    m_columns = new GridColumns(ui->Grid1, {1800, 3100, 1100, 1000}, 1);
    anchors->add(ui->Grid1, {0, 0, 0.7, 0.3})
        .add(ui->RTF1, {0, 0.3, 1, 0.7})
        .add({ui->cmdNuovo, ui->cboTipo, ui->cmdAggiungi, ui->cmdUsa, ui->cmdChiudi}, {0.7, 0, 0, 0})
        .add(ui->imgAnteprima, {0.7, 0, 0.3, 0.3})
        .add(ui->lblAnteprima, {0.7, 0.3, 0.3, 0});
    anchors->setAfter([this] { fitPreview(); });
    m_preview = new Preview::Loader(this);
    connect(m_preview, &Preview::Loader::ready, this, &frmCOmponenti::showOutcome);
    // The row chosen with the mouse or the keys is previewed.
    connect(ui->Grid1, &QTableWidget::currentCellChanged, this, [this](int row, int, int previous, int) {
        if (row != previous)
            showPreview(row);
    });
    WindowPlace::keep(this, QStringLiteral("componenti"));
    choicesOnly(ui->cboTipo);
    connect(ui->cmdNuovo, &QPushButton::clicked, this, &frmCOmponenti::cmdNuovo_Click);
    connect(ui->cmdAggiungi, &QPushButton::clicked, this, &frmCOmponenti::cmdAggiungi_Click);
    connect(ui->cmdUsa, &QPushButton::clicked, this, &frmCOmponenti::cmdUsa_Click);
    connect(ui->cmdChiudi, &QPushButton::clicked, this, &frmCOmponenti::cmdChiudi_Click);
    connect(ui->Grid1, &QTableWidget::cellClicked, this, [this](int row, int) { Grid1_Click(row); });
    connect(ui->Grid1, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { Grid1_DblClick(row); });
}

frmCOmponenti::~frmCOmponenti()
{
    // A read still running is cancelled and waited for before the pane goes.
    delete m_preview;
    delete ui;
}

void frmCOmponenti::Form_Load()
{
    QTableWidget *grid = ui->Grid1;
    grid->setColumnCount(4);
    grid->setHorizontalHeaderLabels({QStringLiteral("Data Inserimento"), QStringLiteral("Nome del Componente"),
                                     QStringLiteral("Dimensioni Kb"), QStringLiteral("Tipo")});

    loadNotes();

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
            addRow(components.text(u"inserito"), file, components.text(u"tipo"));
        }
        grid->setUpdatesEnabled(true);
    }
    m_columns->fit();
    ui->cboTipo->clear();
    ui->cboTipo->addItems({QStringLiteral(".DWG"), QStringLiteral(".IGS"), QStringLiteral(".DXF"), QString()});
    ui->cboTipo->setCurrentIndex(-1);
    ui->cboTipo->setEditText(QString());
    Esegui.clear();
}

void frmCOmponenti::addRow(const QString &date, const QString &file, const QString &type)
{
    QTableWidget *grid = ui->Grid1;
    const int row = grid->rowCount();
    grid->insertRow(row);
    // The size in bytes of the file the stored path stands for here; 0 when
    // it is missing or cannot be examined.
    const QString here = Paths::findComponent(file, m_session.state.PercorsoDati);
    const QString size = QString::number(here.isEmpty() ? 0 : QFileInfo(QDir::fromNativeSeparators(here)).size());
    const QString cells[4] = {date, file, size, type};
    for (int c = 0; c < 4; ++c)
        grid->setItem(row, c, new QTableWidgetItem(cells[c]));
    grid->item(row, 1)->setToolTip(file);
    // A file that lies here but outside the data folder: other workstations
    // cannot open it.
    if (!here.isEmpty() && !Paths::staysInside(here, m_session.state.PercorsoDati)) {
        QTableWidgetItem *cell = grid->item(row, 1);
        cell->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
        cell->setData(Qt::UserRole, true);
        cell->setToolTip(file + QStringLiteral("\nFuori dalla cartella dati: le altre postazioni non possono aprirlo."));
    }
    if (!grid->updatesEnabled())
        return;   // a whole list being loaded is fitted once at its end
    m_columns->fit();
}

void frmCOmponenti::loadNotes()
{
    const RunState &s = m_session.state;
    const QString notes = s.FileNote;
    m_notesOnDisk = QByteArray();
    if (notes.isEmpty())
        return;
    if (!Paths::staysInside(notes, s.PercorsoDati)) {
        MessageBox::show(this,
                         QStringLiteral("Il file delle note %1 è un collegamento che porta fuori dalla cartella dati: "
                                        "non viene letto né scritto.")
                             .arg(notes),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        m_notesSaved = true;
        ui->RTF1->setReadOnly(true);
        return;
    }
    // A FIFO, a device or a socket is neither read (a FIFO would hold the
    // window for ever) nor replaced; a folder there is reported at the save.
    if (const QString refused = Paths::notAFile(notes); !refused.isEmpty() && !QFileInfo(notes).isDir()) {
        MessageBox::show(this, QStringLiteral("Le note non vengono lette né salvate.\n%1").arg(refused),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        m_notesSaved = true;
        ui->RTF1->setReadOnly(true);
        return;
    }
    const QByteArray content = contentOf(notes);
    m_notesOnDisk = fingerprint(content);
    if (content.size() >= kLargeNotes) {
        if (!readLargeNotes(content)) {
            // A page not read whole is never written back over the file.
            ui->RTF1->clear();
            ui->RTF1->setReadOnly(true);
            m_notesSaved = true;
            MessageBox::show(this,
                             QStringLiteral("Caricamento delle note annullato: il file %1 non è stato letto e "
                                            "non verrà modificato.")
                                 .arg(notes),
                             MessageBox::Buttons::Ok, MessageBox::Icon::Information);
            return;
        }
    } else if (!content.isNull()) {
        Rtf::read(content, ui->RTF1->document());
    }
    // The page opens at its top; unchanged, it is never written back.
    ui->RTF1->moveCursor(QTextCursor::Start);
    ui->RTF1->document()->setModified(false);
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
    // Numbers already registered, or naming a file (or a link) already there
    // (another workstation's, or one handed out by a run that ended without
    // saving its counter), are passed over. The free number is chosen inside
    // the transaction that registers it, so two workstations never take one.
    const QString date = Dates::generalText(QDateTime::currentDateTime());
    const QString folder = s.PercorsoDati;
    const qint64 first = qint64(s.ContatoreComponenti) + 1;
    qint64 number = 0;
    QString name;
    RecordView &components = m_session.archive.components();
    components.addNew([&](RecordView &view, QString *error) {
        for (qint64 n = first; n <= std::numeric_limits<qint32>::max(); ++n) {
            const QString candidate = Paths::join(folder, QString::number(n) + type);
            const QFileInfo info(candidate);
            if (info.exists() || info.isSymLink())
                continue;
            // On Windows the same file may be stored with either separator.
            bool taken = false;
            for (const QString &spelling : QSet<QString>{candidate, QDir::fromNativeSeparators(candidate)}) {
                if (!taken && !view.matches(QStringLiteral("file=") + QuotaSQL(trimSpaces(spelling)), &taken)) {
                    *error = view.lastError();
                    return false;
                }
            }
            if (taken)
                continue;
            number = n;
            name = candidate;
            return view.setValue(u"file", trimSpaces(candidate)) || (*error = view.lastError(), false);
        }
        *error = QStringLiteral("Numerazione dei componenti esaurita: il contatore ha raggiunto %1.")
                     .arg(std::numeric_limits<qint32>::max());
        return false;
    });
    const bool ok = components.setValue(u"inserito", date) && components.setValue(u"codprj", CodPrj)
                    && components.setValue(u"tipo", trimSpaces(type));
    if (!storeOrReport(this, components, ok))
        return;
    s.ContatoreComponenti = int(number);
    DataIns = date;
    addRow(DataIns, name, type);
}

QString frmCOmponenti::copyIntoFolder(const QString &source)
{
    // The folder of the project or item whose notes this window shows.
    const RunState &s = m_session.state;
    QString folder = Paths::folderOf(s.FileNote);
    if (folder.isEmpty())
        folder = s.PercorsoDati;
    const QString name = QFileInfo(QDir::fromNativeSeparators(source)).fileName();
    BusyCursor busy;
    for (int n = 1; n < 10000; ++n) {
        // Never over a file already there: the next free numbered name.
        const QString target = Paths::join(folder, Files::numbered(name, n));
        QString error;
        switch (Files::copyToNewFile(source, target, &error)) {
        case Files::NewFile::Written:
            return target;
        case Files::NewFile::Taken:
            continue;
        case Files::NewFile::Failed:
            MessageBox::error(this, error);
            return {};
        }
    }
    MessageBox::error(this, QStringLiteral("Nessun nome libero per la copia di %1 in %2.").arg(source, folder));
    return {};
}

bool frmCOmponenti::attach(const QString &chosen)
{
    const RunState &s = m_session.state;
    QString path = chosen;
    // A file outside the data folder is a path no other workstation can open:
    // it is copied beside the project's own files when the user says so.
    if (!Paths::staysInside(path, s.PercorsoDati)
        && MessageBox::ask(this, QStringLiteral("Il file non è nella cartella dati: le altre postazioni non potranno "
                                                "aprirlo. Copiarlo nella cartella del progetto ?"))) {
        path = copyIntoFolder(chosen);
        if (path.isEmpty())
            return false;
    }
    const QString type = componentType(path);
    RecordView &components = m_session.archive.components();
    components.addNew();
    const bool ok = components.setValue(u"inserito", DataIns) && components.setValue(u"codprj", CodPrj)
                    && components.setValue(u"livello", s.LivelloCorrente)
                    && components.setValue(u"codice", s.ElementoCorrente)
                    && components.setValue(u"file", trimSpaces(path)) && components.setValue(u"tipo", trimSpaces(type));
    if (!storeOrReport(this, components, ok))
        return false;
    addRow(DataIns, path, type);
    return true;
}

void frmCOmponenti::cmdAggiungi_Click()
{
    const QString chosen = FileDialog::getOpenFileName(this, QStringLiteral("*.*"));
    if (!chosen.isEmpty())
        attach(chosen);
    Paths::setWorkingFolder(Paths::localFolder());
}

void frmCOmponenti::Grid1_Click(int row)
{
    ui->cmdUsa->setEnabled(true);
    const QTableWidgetItem *cell = ui->Grid1->item(row, 1);
    // The row keeps the stored path (other workstations rely on it); what
    // runs is the file it stands for here.
    const QString stored = cell ? cell->text() : QString();
    const QString found = Paths::findComponent(stored, m_session.state.PercorsoDati);
    Esegui = found.isEmpty() ? stored : found;
    showPreview(row);
}

void frmCOmponenti::showPreview(int row)
{
    const QTableWidgetItem *cell = ui->Grid1->item(row, 1);
    const QString stored = cell ? cell->text() : QString();
    QString path;
    if (!stored.isEmpty()) {
        const QString found = Paths::findComponent(stored, m_session.state.PercorsoDati);
        path = found.isEmpty() ? stored : found;
    }
    if (path != m_previewPath) {
        m_previewPath = path;
        m_previewImage = QImage();
        m_previewShown = false;
        ui->imgAnteprima->clear();
        showPreviewMessage(path.isEmpty() ? QString() : QStringLiteral("Caricamento…"));
    }
    // The empty row cancels what runs; what comes back is not shown.
    m_preview->request(path, ui->imgAnteprima->contentsRect().size() * devicePixelRatioF());
}

void frmCOmponenti::showOutcome(const QString &path, const Preview::Outcome &outcome)
{
    if (path != m_previewPath || path.isEmpty())
        return;
    m_previewImage = outcome.image;
    m_previewShown = true;
    showPreviewMessage(outcome.message);
    fitPreview();
}

void frmCOmponenti::showPreviewMessage(const QString &message)
{
    // Cut at its end to the line's width, whole in the tooltip.
    QLabel *line = ui->lblAnteprima;
    line->setToolTip(message);
    line->setText(line->fontMetrics().elidedText(message, Qt::ElideRight, line->contentsRect().width()));
}

void frmCOmponenti::fitPreview()
{
    showPreviewMessage(ui->lblAnteprima->toolTip());
    QLabel *pane = ui->imgAnteprima;
    if (!m_previewShown) {
        pane->clear();
        return;
    }
    const qreal ratio = devicePixelRatioF();
    if (m_previewImage.isNull()) {
        // The type's icon, from the name alone: the file itself is never read here.
        const QMimeType type = QMimeDatabase().mimeTypeForFile(m_previewPath, QMimeDatabase::MatchExtension);
        const QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(),
                                                                              style()->standardIcon(QStyle::SP_FileIcon)));
        pane->setPixmap(icon.pixmap(QSize(64, 64), ratio));
        return;
    }
    // Fitted to the pane, keeping its shape, enlarged at most twice.
    const QSize room = (pane->contentsRect().size() * ratio).boundedTo(m_previewImage.size() * 2);
    QPixmap picture = QPixmap::fromImage(m_previewImage.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    picture.setDevicePixelRatio(ratio);
    pane->setPixmap(picture);
}

void frmCOmponenti::cmdUsa_Click()
{
    const QString file = Paths::findComponent(Esegui, m_session.state.PercorsoDati);
    if (!file.isEmpty()) {
        if (!Desktop::openFile(QDir::fromNativeSeparators(file)))
            MessageBox::show(this,
                             QStringLiteral("Nessun programma del sistema apre il componente \n") + file
                                 + QStringLiteral("\nAssociare un programma ai file di tipo %1.")
                                       .arg(componentType(file).isEmpty() ? QStringLiteral("senza estensione")
                                                                         : componentType(file)),
                             MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
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
    if (components.noMatch()) {
        // Say why nothing was removed.
        if (path.isEmpty()) {
            MessageBox::show(this, QStringLiteral("Nessun componente in questa riga."));
            return;
        }
        const QString mine = QStringLiteral("codprj=") + QuotaSQL(CodPrj) + QStringLiteral(" AND File=") + QuotaSQL(path);
        if (components.findFirst(mine) && !components.noMatch()) {
            const QString owner = components.text(u"codice");
            MessageBox::show(this,
                             owner.isEmpty()
                                 ? QStringLiteral("Il componente non è stato tolto: è stato registrato con «Nuovo» "
                                                  "senza un elemento, e da qui non si può togliere.")
                                 : QStringLiteral("Il componente non è stato tolto: appartiene a %1 e si toglie dalla "
                                                  "finestra dei suoi componenti.")
                                       .arg(owner),
                             MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        } else {
            MessageBox::show(this, QStringLiteral("Il componente non è stato tolto: non è più in archivio."),
                             MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        }
        return;
    }
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

bool frmCOmponenti::readLargeNotes(const QByteArray &data)
{
    std::atomic<int> percent{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    QTextDocument *read = nullptr;
    bool complete = false;
    QThread *gui = thread();
    // The document is made and filled in the worker, then handed to this thread.
    const auto work = [&] {
        auto *doc = new QTextDocument;
        complete = Rtf::read(data, doc, [&](int p) {
            percent = p;
            return !cancel;
        });
        doc->moveToThread(gui);
        read = doc;
        finished = true;
    };
    QProgressDialog progress(QStringLiteral("Caricamento delle note…"), QStringLiteral("Annulla"), 0, 100, this);
    progress.setObjectName(QStringLiteral("prgNote"));
    progress.setWindowTitle(QStringLiteral("Velbor"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(300);
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (progress.wasCanceled())
            cancel = true;
        if (finished)
            loop.quit();
        else
            progress.setValue(percent);
    });
    Worker worker(work);
    poll.start(30);
    loop.exec();
    worker.wait();
    progress.reset();
    std::unique_ptr<QTextDocument> owned(read);
    if (!complete || cancel)
        return false;
    // The editor shows the page it was given; the old one goes with the editor.
    owned->setParent(ui->RTF1);
    ui->RTF1->setDocument(owned.release());
    return true;
}

bool frmCOmponenti::saveNotes()
{
    const RunState &s = m_session.state;
    const QString path = s.FileNote;
    // A page nobody changed is never rewritten: it may hold what this page
    // cannot show, or what another workstation saved meanwhile.
    if (m_notesSaved || path.isEmpty() || !ui->RTF1->document()->isModified())
        return true;
    QString error;
    QString written;
    QByteArray page;
    if (!Paths::staysInside(path, s.PercorsoDati)) {
        error = QStringLiteral("Il file delle note %1 è un collegamento che porta fuori dalla cartella dati.").arg(path);
    } else if (QFileInfo(path).isDir()) {
        error = QStringLiteral("Impossibile scrivere %1: al suo posto c'è una cartella.").arg(QDir::toNativeSeparators(path));
    } else {
        page = Rtf::write(ui->RTF1->document());
        bool beside = false;
        if (m_notesOnDisk.isNull()) {
            // There was no page when this one was loaded: it is made new, so a
            // page another workstation made meanwhile is never replaced.
            switch (Paths::writeNewFile(path, page, &error)) {
            case Paths::NewFile::Written: written = path; break;
            case Paths::NewFile::Taken: beside = true; error.clear(); break;
            case Paths::NewFile::Failed: break;
            }
        } else if (fingerprint(contentOf(path)) != m_notesOnDisk) {
            // Saved by another workstation since this page was loaded: both stay.
            beside = true;
        } else if (Paths::writeAtomically(path, page, &error)) {
            written = path;
        }
        if (beside)
            written = saveBeside(path, page, s.PercorsoDati, &error);
    }
    if (!written.isEmpty()) {
        m_notesSaved = true;
        if (written == path)
            keepNotesText(path, page);
        if (written != path)
            MessageBox::show(this,
                             QStringLiteral("Le note sono state salvate da un'altra postazione dopo l'apertura di "
                                            "questa finestra e non vengono sovrascritte.\nLe note scritte qui sono "
                                            "state salvate nel file:\n%1")
                                 .arg(written),
                             MessageBox::Buttons::Ok, MessageBox::Icon::Information);
        return true;
    }
    // Nothing typed is lost without the user's word.
    if (MessageBox::askDefaultNo(this, QStringLiteral("Le note non sono state salvate.\n%1\n\nChiudere comunque "
                                                      "perdendo le modifiche alle note ?")
                                           .arg(error))) {
        m_notesSaved = true;
        return true;
    }
    return false;
}

void frmCOmponenti::keepNotesText(const QString &path, const QByteArray &page)
{
    // The page's text for searches, with what tells this file from a later
    // one. When the archive refuses, the next search reads the page again.
    Archive &archive = m_session.archive;
    const TableInfo *table = archive.notesTable();
    NotesIndex::Row row{NotesIndex::pathOf(m_session.state.PercorsoDati, path)};
    // A file of another size is another workstation's save since: the next
    // search reads that one.
    if (!table || row.path.isEmpty() || !NotesIndex::stat(path, &row.size, &row.modified) || row.size != page.size())
        return;
    row.fingerprint = NotesIndex::fingerprintOf(page);
    row.text = ui->RTF1->document()->toPlainText();
    QString ignored;
    NotesIndex::store(archive.store(), *table, {row}, &ignored);
}

void frmCOmponenti::done(int result)
{
    if (!saveNotes())
        return;
    QDialog::done(result);
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
