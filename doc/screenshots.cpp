// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of the user guide: the real windows, opened offscreen on a
// small sample office, saved as PNG files.
//
//   velbor_screenshots <folder for the pictures> [work folder]
//
// The sample office is made afresh in the work folder (by default
// <temporary folder>/velbor-guida) each run and removed at the end, with fixed
// records, dates and clock, so a second run gives the same pictures; the
// folders of the office show in the pictures. scripts/screenshots.sh runs it.
#include "app/Startup.h"
#include "app/frmMain.h"
#include "clients/frmClienti.h"
#include "clients/frmElenco.h"
#include "components/frmCOmponenti.h"
#include "components/rtf/Rtf.h"
#include "config/frmConfigura.h"
#include "data/Dates.h"
#include "data/engines/Archive.h"
#include "data/engines/SqliteStore.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "projects/ProjectTreeModel.h"
#include "projects/frmProgetti.h"
#include "widgets/ProgressWindow.h"
#include "widgets/SearchPanel.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QPixmap>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextDocument>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <utility>

namespace {

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

[[noreturn]] void fail(const QString &what)
{
    err() << "velbor_screenshots: " << what << Qt::endl;
    std::exit(1);
}

// Lets the windows settle: layouts, timers set to 0, deferred searches.
void settle(int ms = 150)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

QString g_out;
QStringList g_saved;

// Saves the window as it looks; a blank or one-colour picture is a failure.
void shoot(QWidget *window, const QString &name)
{
    settle();
    const QImage picture = window->grab().toImage();
    if (picture.isNull() || picture.width() < 50 || picture.height() < 50)
        fail(QStringLiteral("%1: nessuna immagine della finestra").arg(name));
    const QRgb first = picture.pixel(0, 0);
    bool varied = false;
    for (int y = 0; y < picture.height() && !varied; y += 3)
        for (int x = 0; x < picture.width() && !varied; x += 3)
            varied = picture.pixel(x, y) != first;
    if (!varied)
        fail(QStringLiteral("%1: la finestra è vuota").arg(name));
    const QString file = g_out + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!picture.save(file, "PNG"))
        fail(QStringLiteral("impossibile scrivere %1").arg(file));
    g_saved << file;
}

template <typename T> T *child(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        fail(QStringLiteral("%1 non ha il controllo %2").arg(window->objectName(), QString::fromLatin1(name)));
    return found;
}

using Fields = std::initializer_list<std::pair<const char *, QVariant>>;

void add(RecordView &view, Fields fields)
{
    view.addNew();
    for (const auto &f : fields)
        if (f.second.isValid() && !view.setValue(QString::fromLatin1(f.first), f.second))
            fail(view.lastError());
    if (!view.update())
        fail(view.lastError());
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("impossibile scrivere %1").arg(path));
}

// A report of one page, as the components' preview shows it.
void writeReport(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(150);
    pdf.setCreator(QStringLiteral("Velbor"));
    QPainter painter(&pdf);
    const QRect page(0, 0, pdf.width(), pdf.height());
    painter.setPen(QPen(Qt::black, 6));
    painter.drawRect(page.adjusted(60, 60, -60, -60));
    QFont title(QStringLiteral("DejaVu Sans"), 28, QFont::Bold);
    painter.setFont(title);
    painter.drawText(QRect(0, 200, page.width(), 200), Qt::AlignCenter, QStringLiteral("RELAZIONE TECNICA"));
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
    painter.drawText(QRect(0, 400, page.width(), 100), Qt::AlignCenter, QStringLiteral("Ampliamento scuola media"));
    painter.fillRect(QRect(200, 700, page.width() - 400, 500), QColor(200, 215, 235));
    painter.setPen(QPen(QColor(40, 70, 120), 8));
    painter.drawRect(QRect(200, 700, page.width() - 400, 500));
    for (int y = 1350; y < page.height() - 200; y += 60)
        painter.fillRect(QRect(200, y, page.width() - (y % 180 ? 400 : 700), 20), QColor(120, 120, 120));
}

// A file of the given size with fixed content, standing for a drawing.
QByteArray filler(int kilobytes)
{
    QByteArray bytes(kilobytes * 1024, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 131 + 7) & 0xff);
    return bytes;
}

// The sample office: its configuration, clients, projects with items, the
// folders and files of one project, a notes page.
void fillOffice(const QString &dataFolder)
{
    const QString data = dataFolder;
    Archive archive;
    QString error;
    if (!archive.open(data + QStringLiteral("/Velbor.mdb"), &error))
        fail(error);

    add(archive.configuration(),
        {{"descr", QStringLiteral("Studio Tecnico Ferri & Associati")},
         {"indirizzo", QStringLiteral("Via dell'Indipendenza 24")},
         {"citta", QStringLiteral("Bologna")},
         {"cap", QStringLiteral("40121")},
         {"provincia", QStringLiteral("BO")},
         {"telefono", QStringLiteral("051 123456")},
         {"fax", QStringLiteral("051 123457")},
         {"email", QStringLiteral("studio@studioferri.example")},
         {"sito", QStringLiteral("www.studioferri.example")},
         {"piva", QStringLiteral("01234567890")},
         {"cf", QStringLiteral("01234567890")},
         {"sk1", QStringLiteral("Progetto")},
         {"sk2", QStringLiteral("Livello 1")},
         {"sk3", QStringLiteral("Livello 2")},
         {"pre1", QStringLiteral("P")},
         {"pre2", QStringLiteral("L1")},
         {"pre3", QStringLiteral("L2")}});

    struct Client {
        int code;
        const char *name, *address, *cap, *province, *city, *phone, *mail, *contact, *vat;
    };
    const Client clients[] = {
        {1, "Edilnord Costruzioni S.r.l.", "Via dell'Artigianato 15", "20871", "MB", "Vimercate", "039 654321",
         "ufficio.tecnico@edilnord.example", "Ing. Paolo Sala", "04567890123"},
        {2, "Rossi Giovanni", "Via Saragozza 88", "40135", "BO", "Bologna", "333 1234567", "giovanni.rossi@posta.example",
         "", ""},
        {3, "Immobiliare Le Querce S.p.A.", "Viale Verdi 3", "41121", "MO", "Modena", "059 224466",
         "info@lequerce.example", "Geom. Anna Bassi", "02345678901"},
        {4, "Condominio Via Mazzini 8", "Via Mazzini 8", "40137", "BO", "Bologna", "051 334455",
         "amministrazione@condominio.example", "Rag. Luca Neri (amministratore)", "91234560372"},
    };
    for (const Client &c : clients)
        add(archive.clients(), {{"codice", c.code},
                                {"descr", QString::fromUtf8(c.name)},
                                {"indirizzo", QString::fromUtf8(c.address)},
                                {"cap", QString::fromUtf8(c.cap)},
                                {"provincia", QString::fromUtf8(c.province)},
                                {"citta", QString::fromUtf8(c.city)},
                                {"telefono", QString::fromUtf8(c.phone)},
                                {"email", QString::fromUtf8(c.mail)},
                                {"contatto", QString::fromUtf8(c.contact)},
                                {"piva", QString::fromUtf8(c.vat)}});

    struct Project {
        const char *code, *descr, *office, *department, *operatorName, *spec, *note, *day;
        int client;
    };
    const Project projects[] = {
        {"P1", "Ristrutturazione villetta Rossi", "Bologna", "Edilizia residenziale", "Arch. Marta Ferri",
         "Pratica edilizia CILA", "Sopralluogo fatto il 4 marzo. Il cliente chiede un preventivo anche per il cappotto.",
         "2024-03-04", 2},
        {"P2", "Capannone artigianale - lotto 3", "Bologna", "Edilizia industriale", "Ing. Carlo Ferri",
         "Permesso di costruire", "", "2024-01-22", 1},
        {"P3", "Rifacimento facciate condominio", "Bologna", "Manutenzioni", "Geom. Sara Volpi",
         "Bonus facciate", "", "2023-11-09", 4},
        {"P4", "Palazzina residenziale Le Querce", "Modena", "Edilizia residenziale", "Arch. Marta Ferri",
         "Progetto esecutivo", "", "2024-02-15", 3},
        {"P5", "Box auto e recinzione", "Bologna", "Edilizia residenziale", "Geom. Sara Volpi",
         "Pratica edilizia SCIA", "", "2024-04-05", 2},
    };
    for (const Project &p : projects)
        add(archive.projects(), {{"codice", QString::fromUtf8(p.code)},
                                 {"descr", QString::fromUtf8(p.descr)},
                                 {"ufficio", QString::fromUtf8(p.office)},
                                 {"reparto", QString::fromUtf8(p.department)},
                                 {"operatore", QString::fromUtf8(p.operatorName)},
                                 {"telefono", QStringLiteral("051 123456")},
                                 {"email", QStringLiteral("studio@studioferri.example")},
                                 {"specifica", QString::fromUtf8(p.spec)},
                                 {"note", QString::fromUtf8(p.note)},
                                 {"data", Dates::dayText(QDate::fromString(QString::fromLatin1(p.day), Qt::ISODate))},
                                 {"codcli", p.client}});

    // Level-2 items hang under the level-1 item stored before them.
    struct Item {
        const char *project;
        int level;
        const char *code, *descr, *day;
    };
    const Item items[] = {
        {"P1", 1, "L11", "Rilievo dello stato di fatto", "2024-03-04"},
        {"P1", 2, "L21", "Pianta piano terra", "2024-03-06"},
        {"P1", 2, "L22", "Pianta piano primo", "2024-03-06"},
        {"P1", 1, "L12", "Progetto architettonico", "2024-03-18"},
        {"P1", 2, "L23", "Prospetti e sezioni", "2024-03-20"},
        {"P1", 1, "L13", "Pratica edilizia", "2024-04-02"},
        {"P2", 1, "L14", "Strutture in acciaio", "2024-01-25"},
        {"P2", 2, "L24", "Carpenteria metallica", "2024-02-01"},
        {"P3", 1, "L15", "Computo metrico", "2023-11-20"},
        {"P4", 1, "L16", "Impianti", "2024-02-20"},
    };
    for (const Item &i : items) {
        add(archive.items(), {{"codprj", QString::fromUtf8(i.project)},
                              {"livello", i.level},
                              {"codice", QString::fromUtf8(i.code)},
                              {"descr", QString::fromUtf8(i.descr)},
                              {"data", QDateTime(QDate::fromString(QString::fromLatin1(i.day), Qt::ISODate), QTime(9, 0))}});
        QDir().mkpath(data + QLatin1Char('/') + QString::fromUtf8(i.project) + QLatin1Char('/') + QString::fromUtf8(i.code));
    }
    for (const Project &p : projects)
        QDir().mkpath(data + QLatin1Char('/') + QString::fromUtf8(p.code));

    // The files of project P1: two drawings, a report, and a name registered
    // with Nuovo for a drawing not made yet.
    const QString p1 = data + QStringLiteral("/P1");
    writeFile(p1 + QStringLiteral("/L21/pianta piano terra.dwg"), filler(184));
    writeFile(p1 + QStringLiteral("/L23/prospetto sud.dwg"), filler(236));
    writeReport(p1 + QStringLiteral("/relazione tecnica.pdf"));
    // A name from Nuovo belongs to the project alone: no level, no item.
    struct Component {
        QVariant level, code;
        QString file;
        const char *type, *inserted;
    };
    const Component components[] = {
        {2, QStringLiteral("L21"), p1 + QStringLiteral("/L21/pianta piano terra.dwg"), ".DWG", "06/03/2024 10:12:40"},
        {2, QStringLiteral("L23"), p1 + QStringLiteral("/L23/prospetto sud.dwg"), ".DWG", "20/03/2024 15:47:02"},
        {0, QStringLiteral("P1"), p1 + QStringLiteral("/relazione tecnica.pdf"), ".PDF", "02/04/2024 11:05:18"},
        {{}, {}, data + QStringLiteral("/18.DWG"), ".DWG", "03/04/2024 09:30:00"},
    };
    for (const Component &c : components)
        add(archive.components(), {{"codprj", QStringLiteral("P1")},
                                   {"livello", c.level},
                                   {"codice", c.code},
                                   {"file", QDir::toNativeSeparators(c.file)},
                                   {"tipo", QString::fromUtf8(c.type)},
                                   {"inserito", c.inserted}});

    // The notes page of project P1, as the components window writes it.
    QTextDocument notes;
    notes.setHtml(QStringLiteral(
        "<p><b>Sopralluogo del 4 marzo 2024</b></p>"
        "<p>Presenti: sig. Giovanni Rossi, arch. Marta Ferri.</p>"
        "<ul><li>Verificare lo spessore dei solai del piano primo.</li>"
        "<li>Il cliente desidera spostare la cucina verso il giardino.</li>"
        "<li>Chiedere al Comune l'accesso agli atti della pratica del 1978.</li></ul>"
        "<p><i>Prossimo incontro: lunedì 18 marzo, ore 10.</i></p>"));
    writeFile(p1 + QStringLiteral("/P1"), Rtf::write(&notes));
    archive.close();
}

// Clicks a tree node as a person does: its project (and item) shown.
void showNode(frmProgetti *w, const QString &key)
{
    QTreeView *view = w->tree();
    const QModelIndex node = w->treeModel()->indexOfKey(key);
    if (!node.isValid())
        fail(QStringLiteral("il nodo %1 non è nell'albero").arg(key));
    view->selectionModel()->setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
    view->scrollTo(node);
    w->tvwProgetti_NodeClick(node);
}

void choose(QComboBox *combo, const QString &text, const std::function<void(int)> &click)
{
    const int entry = combo->findText(text, Qt::MatchExactly);
    if (entry < 0)
        fail(QStringLiteral("%1 non è nella lista %2").arg(text, combo->objectName()));
    click(entry);
}

void search(SearchPanel *panel, QLineEdit *box, const QString &text)
{
    panel->open();
    box->setText(text);
    settle(300);
}

} // namespace

// The work folder, emptied: one this tool made before (it holds the mark), or
// a new one. Any other folder is left alone.
const char *const kMark = ".velbor-screenshots";

void makeWorkFolder(const QString &work)
{
    QDir dir(work);
    if (dir.exists() && !QFileInfo(work + QLatin1Char('/') + QLatin1String(kMark)).isFile()
        && !dir.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        fail(QStringLiteral("la cartella di lavoro %1 esiste e non è stata creata da questo programma").arg(work));
    if (!dir.removeRecursively() || !QDir().mkpath(work))
        fail(QStringLiteral("impossibile creare %1").arg(work));
    writeFile(work + QLatin1Char('/') + QLatin1String(kMark), QByteArray());
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc != 2 && argc != 3) {
        err() << "uso: velbor_screenshots <cartella delle immagini> [cartella di lavoro]" << Qt::endl;
        return 2;
    }
    // Nothing of the user's own: window places and settings live in the sample folder.
    const QString work = argc == 3 ? QDir(QString::fromLocal8Bit(argv[2])).absolutePath()
                                   : QDir::tempPath() + QStringLiteral("/velbor-guida");
    makeWorkFolder(work);
    const QString program = work + QStringLiteral("/programma");
    const QString data = work + QStringLiteral("/Dati");
    if (!QDir().mkpath(program) || !QDir().mkpath(data) || !QDir().mkpath(work + QStringLiteral("/utente")))
        fail(QStringLiteral("impossibile creare %1").arg(work));
    qputenv("XDG_CONFIG_HOME", (work + QStringLiteral("/utente/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (work + QStringLiteral("/utente/dati")).toUtf8());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velbor"));
    Velbor::installItalian(app);
    // No blinking cursor: two runs draw the same boxes.
    QApplication::setCursorFlashTime(0);
    g_out = QDir(app.arguments().at(1)).absolutePath();
    if (!QDir().mkpath(g_out))
        fail(QStringLiteral("impossibile creare %1").arg(g_out));

    // Nothing asks: any message box would be a fault of this run, reported below.
    MessageBox::setScripted(true);
    FileDialog::setScripted(true);
    Desktop::setScripted(true);
    ProgressWindow::setScripted(true);

    QString error;
    for (const QString &folder : {program, data})
        if (!SqliteStore::createArchive(folder + QStringLiteral("/Velbor.mdb"), &error))
            fail(error);
    writeFile(program + QStringLiteral("/SERVER.DAT"), QDir::toNativeSeparators(data).toUtf8() + "\r\n");
    writeFile(program + QStringLiteral("/MAXPRJ.DAT"), " 17\r\n");
    fillOffice(data);
    Paths::setProgramFolder(program);

    {
        Session session;
        frmMain main(session);
        if (!main.Form_Load())
            fail(QStringLiteral("l'archivio di esempio non si apre"));
        main.show();
        // A fixed clock: the same picture at every run.
        if (auto *timer = main.findChild<QTimer *>(QStringLiteral("Timer1")))
            timer->stop();
        child<QLabel>(&main, "Label1")->setText(QStringLiteral("10.30.00   lunedì, 08 aprile 2024"));
        shoot(&main, QStringLiteral("principale"));

        // The client register, on one client, then its search and its project list.
        main.cmdClienti_Click();
        frmClienti *clienti = main.clienti();
        choose(child<QComboBox>(clienti, "cboCodice"), QStringLiteral("2"),
               [clienti](int entry) { clienti->cboCodice_Click(entry); });
        shoot(clienti, QStringLiteral("clienti"));
        clienti->cmdProgetti_Click();
        shoot(clienti->elenco(), QStringLiteral("elenco"));
        clienti->elenco()->close();
        search(clienti->search(), child<QLineEdit>(clienti, "edtCerca"), QStringLiteral("bologna"));
        shoot(clienti, QStringLiteral("clienti-cerca"));
        clienti->close();

        // The project window: a project, an item of each level, the client sheet, the search.
        main.cmdProgetti_Click();
        frmProgetti *progetti = main.progetti();
        progetti->tree()->expandAll();
        showNode(progetti, QStringLiteral("PP1"));
        shoot(progetti, QStringLiteral("progetti"));
        showNode(progetti, QStringLiteral("L1CL12"));
        shoot(progetti, QStringLiteral("progetti-livello1"));
        showNode(progetti, QStringLiteral("PP1"));
        child<QTabWidget>(progetti, "STab1")->setCurrentIndex(3);
        shoot(progetti, QStringLiteral("progetti-cliente"));
        child<QTabWidget>(progetti, "STab1")->setCurrentIndex(0);
        search(progetti->search(), child<QLineEdit>(progetti, "edtCerca"), QStringLiteral("pianta"));
        shoot(progetti, QStringLiteral("progetti-cerca"));
        progetti->search()->close();

        // The components of project P1, as its Componenti button opens them.
        {
            RunState &s = session.state;
            s.LivelloCorrente = 0;
            s.ProgettoCorrente = QStringLiteral("P1");
            s.ElementoCorrente = QStringLiteral("P1");
            s.FileNote = Paths::join(Paths::join(s.PercorsoDati, QStringLiteral("P1")), QStringLiteral("P1"));
            frmCOmponenti components(session, progetti);
            components.CodPrj = QStringLiteral("P1");
            components.DataIns = QStringLiteral("08/04/2024");
            components.Form_Load();
            components.show();
            auto *grid = child<QTableWidget>(&components, "Grid1");
            grid->selectRow(3);
            components.Grid1_Click(3);
            // The report's first page in the preview.
            auto *line = child<QLabel>(&components, "lblAnteprima");
            QElapsedTimer waited;
            waited.start();
            while (line->text() == QStringLiteral("Caricamento…") && waited.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            shoot(&components, QStringLiteral("componenti"));
            components.reject();
        }
        progetti->close();

        main.mnuConfig_Click();
        shoot(main.configura(), QStringLiteral("configurazione"));
        main.configura()->close();

        main.mnuInformazioni_Click();
        shoot(main.informazioni(), QStringLiteral("informazioni"));
        main.informazioni()->close();

        if (!MessageBox::shown().isEmpty())
            fail(QStringLiteral("messaggio inatteso: %1").arg(MessageBox::shown().first().text));
        settle();
    }
    QDir(work).removeRecursively();
    for (const QString &file : std::as_const(g_saved))
        QTextStream(stdout) << file << Qt::endl;
    return 0;
}
