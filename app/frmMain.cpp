// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmMain.h"

#include "app/JetConversion.h"
#include "app/SettingsFiles.h"
#include "app/frmAutore.h"
#include "config/frmConfigura.h"
#include "data/basMain.h"
#include "data/engines/DailyBackup.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "widgets/Anchors.h"
#include "widgets/SearchPanel.h"
#include "widgets/Widgets.h"
#include "widgets/WindowPlace.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "ui_frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>

#include <memory>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QTimer>

frmMain::frmMain(Session &session, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::frmMain), m_session(session), m_timer(new QTimer(this))
{
    ensureResources();
    ui->setupUi(this);
    // The header and the clock take the extra width; the logo and the
    // buttons keep to the right edge, the clock to the bottom.
    auto *anchors = new Anchors(ui->centralwidget, ui->centralwidget->minimumSize());
    anchors->add({ui->fraDitta, ui->lblDItta, ui->lblIndirizzo, ui->lblCitta, ui->lblSito, ui->fraServer, ui->lblServer},
                 Anchors::GrowWide)
        .add({ui->Picture1, ui->fraPulsanti}, Anchors::Right)
        .add({ui->Line1, ui->Label1}, {0, 1, 1, 0})
        .add(ui->lblBackup, Anchors::GrowWide);
    anchors->setAfter([this] { showCompanyName(ui->lblDItta->text()); });
    WindowPlace::keep(this, QStringLiteral("principale"));

    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &frmMain::Timer1_Timer);

    connect(ui->cmdClienti, &QPushButton::clicked, this, &frmMain::cmdClienti_Click);
    connect(ui->cmdProgetti, &QPushButton::clicked, this, &frmMain::cmdProgetti_Click);
    connect(ui->cmdServer, &QPushButton::clicked, this, &frmMain::cmdServer_Click);
    connect(ui->mnuGestCli, &QAction::triggered, this, &frmMain::mnuGestCli_Click);
    connect(ui->mnugestPrj, &QAction::triggered, this, &frmMain::mnugestPrj_Click);
    connect(ui->mnuConfig, &QAction::triggered, this, &frmMain::mnuConfig_Click);
    connect(ui->mnuAutore, &QAction::triggered, this, &frmMain::mnuAutore_Click);
    connect(ui->mnuGuida, &QAction::triggered, this, &frmMain::mnuGuida_Click);
    connect(ui->mnuInformazioni, &QAction::triggered, this, &frmMain::mnuInformazioni_Click);
    connect(ui->mnuCestino, &QAction::triggered, this, &frmMain::mnuCestino_Click);
    connect(ui->mnuFine, &QAction::triggered, this, &frmMain::mnuFine_Click);
}

frmMain::~frmMain()
{
    m_backup.reset();
    for (QWidget *w : {static_cast<QWidget *>(m_clienti), static_cast<QWidget *>(m_progetti),
                       static_cast<QWidget *>(m_configura), static_cast<QWidget *>(m_autore),
                       static_cast<QWidget *>(m_guida), static_cast<QWidget *>(m_informazioni),
                       static_cast<QWidget *>(m_cestino)})
        delete w;
    delete ui;
}

bool frmMain::Form_Load()
{
    RunState &s = m_session.state;
    // Beside the program, or in the user's folders for an installed copy.
    const QString local = Paths::localFolder();
    const QString localError = Paths::ensureLocalArchive();
    Paths::setWorkingFolder(local);
    Timer1_Timer();
    s.ContatoreComponenti = 0;
    s.PercorsoDati = local;
    s.CartellaConfigurata.clear();
    s.ServerScelto.clear();
    // A user of an installed copy who has no SERVER.DAT yet starts on the
    // data folder an administrator named in /etc/velbor/SERVER.DAT (or, as
    // before, in one beside the program).
    if (SettingsFiles::read(s, Paths::settingsFolder())
        || (!Paths::keepsFilesBesideProgram() && SettingsFiles::readAdminDataFolder(s, Paths::programFolder())))
        s.CartellaConfigurata = s.PercorsoDati;

    const QString configured = s.PercorsoDati;
    // An archive still in the old Access format is offered for conversion
    // first; declined or failed, the program ends.
    QString archive = archivePathIn(s.PercorsoDati);
    if (!QFileInfo::exists(archive))
        archive = archivePathIn(local);
    if (isLegacyJetFile(archive) && !offerJetConversion(this, archive))
        return false;
    QString error = ApriArchivio(s, m_session.archive, local);
    ui->lblServer->setText(s.PercorsoDati);
    if (error.isEmpty() && m_session.archive.onServer()) {
        // The records are on the server; the folder keeps the files.
        ui->lblServer->setText(m_session.archive.label());
        ui->lblServer->setToolTip(QStringLiteral("Archivio: %1\nCartella dati: %2").arg(m_session.archive.label(), s.PercorsoDati));
    }
    if (!error.isEmpty()) {
        if (!localError.isEmpty())
            error += QLatin1Char('\n') + localError;
        MessageBox::show(this,
                         QStringLiteral("Impossibile aprire l'archivio %1\n\n%2")
                             .arg(archivePathIn(s.PercorsoDati), error),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Critical);
        return false;
    }
    // The configured folder held no archive: the one beside the program is in
    // use for this run, and the user must know the shared data is not.
    if (s.PercorsoDati != configured)
        MessageBox::show(this,
                         QStringLiteral("La cartella dati %1 non è raggiungibile o non contiene l'archivio.\n"
                                        "Viene usato l'archivio %2.")
                             .arg(configured, m_session.archive.path()),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);

    RecordView &config = m_session.archive.configuration();
    const qint64 rows = config.count();
    if (rows > 0 && config.moveFirst() && config.hasCurrent()) {
        for (int n = 1; n <= 3; ++n) {
            s.NomeScheda(n) = config.text(QStringLiteral("sk%1").arg(n));
            s.PrefissoScheda(n) = config.text(QStringLiteral("pre%1").arg(n));
        }
        showHeader(config);
    } else {
        s.NomeScheda(1) = QStringLiteral("Progetto");
        s.NomeScheda(2) = QStringLiteral("Livello 1");
        s.NomeScheda(3) = QStringLiteral("Livello 2");
        s.PrefissoScheda(1) = QStringLiteral("P");
        s.PrefissoScheda(2) = QStringLiteral("L1");
        s.PrefissoScheda(3) = QStringLiteral("L2");
        if (rows < 0)
            MessageBox::error(this, config.lastError());
    }
    m_timer->start();
    return true;
}

void frmMain::emptyOldBinEntries(const QDate &today)
{
    RecycleBin bin(m_session.archive);
    QString error;
    int emptied = 0;
    // An archive without the bin has nothing to empty: the bin's window says why.
    if (bin.available(&error) && !bin.emptyOld(today, &emptied, &error))
        addStartNote(QStringLiteral("Pulizia del cestino non eseguita: %1").arg(error));
}

void frmMain::addStartNote(const QString &note)
{
    const QString before = ui->lblBackup->text();
    ui->lblBackup->setText(before.isEmpty() ? note : before + QLatin1Char('\n') + note);
}

void frmMain::startDailyBackup(const QDate &today)
{
    if (!m_backup)
        emptyOldBinEntries(today);
    if (m_backup || m_session.archive.onServer())
        return;
    const QString archive = m_session.archive.path();
    auto result = std::make_shared<DailyBackup::Result>();
    const auto finished = [this, result] {
        m_backupDone = true;
        // Said once, in a line under the header: work goes on.
        if (result->outcome == DailyBackup::Outcome::Failed)
            addStartNote(QStringLiteral("Backup giornaliero non eseguito: %1").arg(result->error));
        else if (result->outcome == DailyBackup::Outcome::Made)
            ui->lblBackup->setToolTip(QStringLiteral("Backup giornaliero: %1").arg(QDir::toNativeSeparators(result->file)));
    };
    // The end is told to this window in its own thread; a window closed
    // meanwhile waited for the copy in its destructor and hears nothing.
    m_backup = std::make_unique<Worker>([this, archive, today, result, finished] {
        *result = DailyBackup::run(archive, today);
        QMetaObject::invokeMethod(this, finished, Qt::QueuedConnection);
    });
}

bool frmMain::dailyBackupRunning() const
{
    return m_backup && !m_backupDone;
}

void frmMain::showHeader(RecordView &config)
{
    showCompanyName(config.text(u"descr"));
    ui->lblIndirizzo->setText(config.text(u"indirizzo"));
    ui->lblCitta->setText(config.text(u"cap") + QLatin1Char(' ') + config.text(u"citta") + QLatin1Char(' ')
                          + config.text(u"provincia"));
    ui->lblSito->setText(config.text(u"sito"));
}

void frmMain::refreshHeader()
{
    RecordView &config = m_session.archive.configuration();
    const qint64 rows = config.count();
    if (rows > 0 && config.moveFirst() && config.hasCurrent())
        showHeader(config);
    else if (rows < 0)
        MessageBox::error(this, config.lastError());
}

void frmMain::showCompanyName(const QString &name)
{
    // The whole name, on two lines and in smaller type when it needs them.
    QLabel *label = ui->lblDItta;
    const QSize room = label->contentsRect().size();
    label->ensurePolished();
    QFont font = label->font();
    font.setBold(true);
    int points = 15;
    for (; points > 7; --points) {
        font.setPointSize(points);
        const QRect needed = QFontMetrics(font).boundingRect(QRect(QPoint(), room), Qt::TextWordWrap, name);
        if (needed.width() <= room.width() && needed.height() <= room.height())
            break;
    }
    label->setStyleSheet(QStringLiteral("color: #800000; font-size: %1pt; font-weight: bold;").arg(points));
    label->setText(name);
    label->setToolTip(points < 15 ? name : QString());
}

void frmMain::Timer1_Timer()
{
    ui->Label1->setText(
        QLocale().toString(QDateTime::currentDateTime(), QStringLiteral("HH.mm.ss   dddd, dd MMMM yyyy")));
}

void frmMain::bringToFront(QWidget *window)
{
    window->show();
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}

void frmMain::showClienti()
{
    if (!m_clienti)
        m_clienti = new frmClienti(m_session);
    bringToFront(m_clienti);
}

void frmMain::showClientiModal()
{
    // One register at a time: an open one becomes modal for this use.
    frmClienti *w = m_clienti;
    if (!w)
        m_clienti = w = new frmClienti(m_session);
    else
        w->hide();
    w->setWindowModality(Qt::ApplicationModal);
    bringToFront(w);
    QEventLoop loop;
    connect(w, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
}

void frmMain::cmdClienti_Click()
{
    showClienti();
}

void frmMain::mnuGestCli_Click()
{
    showClienti();
}

frmProgetti *frmMain::ensureProgetti()
{
    if (!m_progetti) {
        m_progetti = new frmProgetti(m_session);
        connect(m_progetti, &frmProgetti::clientRegisterRequested, this, &frmMain::showClientiModal);
    }
    return m_progetti;
}

void frmMain::cmdProgetti_Click()
{
    frmProgetti *w = ensureProgetti();
    const RunState &s = m_session.state;
    w->setSheetCaption(1, s.NomeScheda(2));
    w->setSheetCaption(2, s.NomeScheda(3));
    w->setSheetCaption(0, s.NomeScheda(1));
    bringToFront(w);
}

void frmMain::mnugestPrj_Click()
{
    bringToFront(ensureProgetti());
}

void frmMain::mnuConfig_Click()
{
    if (!m_configura) {
        m_configura = new frmConfigura(m_session);
        connect(m_configura, &frmConfigura::configurationStored, this, &frmMain::refreshHeader);
    }
    m_configura->setSheetCaptions();
    bringToFront(m_configura);
}

void frmMain::mnuAutore_Click()
{
    if (!m_autore)
        m_autore = new frmAutore();
    bringToFront(m_autore);
}

void frmMain::mnuGuida_Click()
{
    if (!m_guida) {
        const QString index = frmGuida::indexPage(this, Paths::guideFolder());
        if (index.isEmpty())
            return;
        m_guida = new frmGuida(index);
    }
    bringToFront(m_guida);
}

void frmMain::mnuInformazioni_Click()
{
    if (!m_informazioni)
        m_informazioni = new frmInformazioni(m_session);
    bringToFront(m_informazioni);
}

void frmMain::mnuCestino_Click()
{
    if (!m_cestino) {
        m_cestino = new frmCestino(m_session);
        connect(m_cestino, &frmCestino::restored, this, &frmMain::recordsRestored);
    } else {
        // Deletes made since it opened join the list.
        m_cestino->CaricaCestino();
    }
    bringToFront(m_cestino);
}

void frmMain::recordsRestored()
{
    // As before a search: the project tree and the client search read the
    // archive again, and the boxes keep what is typed in them.
    if (m_progetti)
        emit m_progetti->search()->opening();
    if (m_clienti)
        emit m_clienti->search()->opening();
}

void frmMain::mnuFine_Click()
{
    close();
}

void frmMain::cmdServer_Click()
{
    if (!MessageBox::ask(this, QStringLiteral("Confermi la Configurazione del Server ?")))
        return;
    // The dialog opens on the archive in use; an archive there spelt in
    // another letter case is preset by its real name, so it can be confirmed.
    RunState &s = m_session.state;
    const QString archive = archivePathIn(s.PercorsoDati);
    const QString initial = QFileInfo::exists(archive) ? archive : Paths::join(s.PercorsoDati, QStringLiteral("VELBOR.MDB"));
    const QString chosen = FileDialog::getOpenFileName(this, initial);
    if (chosen.isEmpty())
        return;
    const QString folder = Paths::folderOf(chosen);
    if (folder.isEmpty())
        return;
    // The archive and every folder of this run stay as opened at start; the
    // choice is written to SERVER.DAT at exit.
    s.ServerScelto = folder;
    MessageBox::show(this,
                     QStringLiteral("La nuova cartella dati (%1) sarà usata dal prossimo avvio del programma.").arg(folder),
                     MessageBox::Buttons::Ok, MessageBox::Icon::Information);
}

bool frmMain::Form_Unload()
{
    if (!MessageBox::ask(this, QStringLiteral("Vuoi uscire dal programma ?")))
        return false;
    const QString error = SettingsFiles::write(m_session.state, Paths::settingsFolder());
    if (!error.isEmpty())
        MessageBox::error(this, error);
    m_exiting = true;
    // The other windows go without their own closing handlers.
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible())
            w->hide();
    return true;
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_exiting || Form_Unload()) {
        event->accept();
        QCoreApplication::exit(0);
    } else {
        event->ignore();
    }
}
