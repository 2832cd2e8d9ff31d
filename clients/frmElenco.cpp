#include "frmElenco.h"

#include "data/basMain.h"
#include "platform/MessageBox.h"
#include "platform/Widgets.h"
#include "ui_frmElenco.h"

#include <QDate>
#include <QHeaderView>
#include <QLocale>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace {
const int kWidths[5] = {1000, 2600, 1100, 2000, 2000};   // twips
const char *const kHeaders[5] = {"Codice", "Descrizione", "Data", "Reparto", "Operatore"};
} // namespace

frmElenco::frmElenco(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::frmElenco), m_session(session)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    ui->Grid1->verticalHeader()->hide();
    connect(ui->cmdChiudi, &QPushButton::clicked, this, &frmElenco::cmdChiudi_Click);
    connect(ui->cmdStampa, &QPushButton::clicked, this, &frmElenco::cmdStampa_Click);
    centerOnScreen(this);
    Form_Load();
}

frmElenco::~frmElenco()
{
    delete ui;
}

void frmElenco::Form_Load()
{
    QTableWidget *grid = ui->Grid1;
    grid->setColumnCount(5);
    grid->setRowCount(1);   // the empty design row
    for (int c = 0; c < 5; ++c) {
        grid->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromLatin1(kHeaders[c])));
        grid->setColumnWidth(c, kWidths[c] / 15);
    }
    RecordView &projects = m_session.archive.projects();
    const QString criterion = QStringLiteral("codcli=") + m_session.state.ClienteCorrente;
    if (!projects.findFirst(criterion))
        return;   // a code that is no number lists nothing
    grid->setUpdatesEnabled(false);
    for (; !projects.noMatch(); projects.findNext(criterion)) {
        const QVariant day = projects.value(u"data");
        const QString date = day.typeId() == QMetaType::QDate
                                 ? QLocale::system().toString(day.toDate(), QLocale::ShortFormat)
                                 : projects.text(u"data");
        const QString cells[5] = {projects.text(u"codice"), projects.text(u"descr"), date, projects.text(u"reparto"),
                                  projects.text(u"operatore")};
        const int row = grid->rowCount();
        grid->insertRow(row);
        for (int c = 0; c < 5; ++c)
            grid->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
    grid->setUpdatesEnabled(true);
}

void frmElenco::printTo(QPrinter *printer)
{
    QPainter painter;
    if (!painter.begin(printer)) {
        MessageBox::error(this, QStringLiteral("Impossibile avviare la stampa."));
        return;
    }
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    const QRect area(0, 0, page.width(), page.height());
    const double dpi = printer->resolution();

    // The client's name, when the register holds it.
    QString client;
    RecordView &clients = m_session.archive.clients();
    if (clients.findFirst(QStringLiteral("codice=") + m_session.state.ClienteCorrente) && !clients.noMatch())
        client = clients.text(u"descr");
    const QString heading = QStringLiteral("Progetti del cliente %1%2")
                                .arg(m_session.state.ClienteCorrente.trimmed(),
                                     client.isEmpty() ? QString() : QStringLiteral(" - ") + client);
    const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);

    QFont titleFont(QStringLiteral("DejaVu Sans"), 14, QFont::Bold);
    QFont headFont(QStringLiteral("DejaVu Sans"), 9, QFont::Bold);
    QFont bodyFont(QStringLiteral("DejaVu Sans"), 9);
    painter.setFont(bodyFont);
    const int line = int(painter.fontMetrics().height() * 1.4);

    // Column widths in proportion to the grid's.
    int total = 0;
    for (int w : kWidths)
        total += w;
    QVector<int> xs{0};
    for (int w : kWidths)
        xs.append(xs.last() + area.width() * w / total);

    const QTableWidget *grid = ui->Grid1;
    int row = 1;   // row 0 is the empty design row
    int pageNumber = 1;
    for (;;) {
        int y = 0;
        painter.setFont(titleFont);
        painter.drawText(QRect(0, y, area.width(), int(dpi / 2)), Qt::AlignLeft | Qt::AlignVCenter, heading);
        painter.setFont(bodyFont);
        painter.drawText(QRect(0, y, area.width(), int(dpi / 2)), Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("%1   pag. %2").arg(date).arg(pageNumber));
        y += int(dpi / 2);
        painter.setFont(headFont);
        for (int c = 0; c < 5; ++c)
            painter.drawText(QRect(xs[c] + 4, y, xs[c + 1] - xs[c] - 8, line), Qt::AlignLeft | Qt::AlignVCenter,
                             QString::fromLatin1(kHeaders[c]));
        y += line;
        painter.drawLine(0, y, area.width(), y);
        painter.setFont(bodyFont);
        while (row < grid->rowCount() && y + line <= area.height()) {
            for (int c = 0; c < 5; ++c) {
                const QTableWidgetItem *item = grid->item(row, c);
                const QRect cell(xs[c] + 4, y, xs[c + 1] - xs[c] - 8, line);
                painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
                                 painter.fontMetrics().elidedText(item ? item->text() : QString(), Qt::ElideRight,
                                                                  cell.width()));
            }
            y += line;
            ++row;
        }
        if (row >= grid->rowCount())
            break;
        printer->newPage();
        ++pageNumber;
    }
    painter.end();
}

void frmElenco::cmdStampa_Click()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("dlgAnteprima"));
    preview.setWindowTitle(QStringLiteral("Anteprima di stampa"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, &frmElenco::printTo);
    preview.exec();
}

void frmElenco::cmdChiudi_Click()
{
    close();
}
