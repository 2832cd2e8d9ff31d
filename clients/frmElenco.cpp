// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmElenco.h"

#include "data/Dates.h"
#include "data/basMain.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "widgets/Anchors.h"
#include "widgets/GridColumns.h"
#include "widgets/Widgets.h"
#include "widgets/WindowPlace.h"
#include "ui_frmElenco.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
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
    auto *anchors = new Anchors(this);
    m_columns = new GridColumns(ui->Grid1, QVector<int>(std::begin(kWidths), std::end(kWidths)), 1);
    ui->Grid1->setTextElideMode(Qt::ElideMiddle);
    anchors->add(ui->Grid1, Anchors::Grow).add({ui->cmdChiudi, ui->cmdStampa}, Anchors::BottomRight);
    WindowPlace::keep(this, QStringLiteral("elenco"));
    connect(ui->cmdChiudi, &QPushButton::clicked, this, &frmElenco::cmdChiudi_Click);
    connect(ui->cmdStampa, &QPushButton::clicked, this, &frmElenco::cmdStampa_Click);
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
    }
    RecordView &projects = m_session.archive.projects();
    const QString criterion = QStringLiteral("codcli=") + m_session.state.ClienteCorrente;
    if (!projects.findFirst(criterion))
        return;   // a code that is no number lists nothing
    grid->setUpdatesEnabled(false);
    for (; !projects.noMatch(); projects.findNext(criterion)) {
        const QVariant day = projects.value(u"data");
        const QString date = day.typeId() == QMetaType::QDate
                                 ? QLocale().toString(day.toDate(), QLocale::ShortFormat)
                                 : projects.text(u"data");
        const QString cells[5] = {projects.text(u"codice"), projects.text(u"descr"), date, projects.text(u"reparto"),
                                  projects.text(u"operatore")};
        const int row = grid->rowCount();
        grid->insertRow(row);
        for (int c = 0; c < 5; ++c)
            grid->setItem(row, c, new QTableWidgetItem(cells[c]));
        // The day itself, for a print with the whole year.
        if (day.typeId() == QMetaType::QDate)
            grid->item(row, 2)->setData(Qt::UserRole, day.toDate());
    }
    grid->setUpdatesEnabled(true);
    m_columns->fit();
}

namespace {
constexpr int kTall = 1 << 20;   // no limit to a measured text's height

// The text at the given point, wrapped to width and as tall as it needs:
// words wrap, and a word wider than the width breaks anywhere rather than
// being cut.
PrintedText placed(const QFont &font, const QPaintDevice *device, const QPoint &at, int width, const QString &text,
                   int align = Qt::AlignLeft)
{
    const QFontMetrics metrics(font, device);
    PrintedText t{QRect(), text, font, align | Qt::AlignTop | Qt::TextWordWrap};
    QRect needed = metrics.boundingRect(QRect(0, 0, width, kTall), t.flags, text);
    if (needed.width() > width) {
        t.flags = align | Qt::AlignTop | Qt::TextWrapAnywhere;
        needed = metrics.boundingRect(QRect(0, 0, width, kTall), t.flags, text);
    }
    t.rect = QRect(at, QSize(width, needed.height()));
    return t;
}
} // namespace

QList<PrintedPage> frmElenco::layoutPages(const QPaintDevice *device, const QSize &area) const
{
    const RunState &s = m_session.state;
    QString studio;
    RecordView &config = m_session.archive.configuration();
    if (config.count() > 0 && config.moveFirst() && config.hasCurrent())
        studio = config.text(u"descr").trimmed();
    const QString client = clientName();
    const QString heading = QStringLiteral("Progetti del cliente %1%2")
                                .arg(s.ClienteCorrente.trimmed(),
                                     client.isEmpty() ? QString() : QStringLiteral(" - ") + client);
    const QString today = Dates::dayText(QDate::currentDate());

    const QFont studioFont(QStringLiteral("DejaVu Sans"), 10, QFont::Bold);
    const QFont headFont(QStringLiteral("DejaVu Sans"), 9, QFont::Bold);
    const QFont bodyFont(QStringLiteral("DejaVu Sans"), 9);
    const QFontMetrics body(bodyFont, device);
    const int gap = body.height();
    const int pad = std::max(1, body.averageCharWidth() / 2);

    // Column edges in proportion to the grid's.
    int total = 0;
    for (int w : kWidths)
        total += w;
    QVector<int> xs{0};
    for (int w : kWidths)
        xs.append(xs.last() + area.width() * w / total);

    QList<PrintedPage> pages;
    const QTableWidget *grid = ui->Grid1;
    int row = 1;   // row 0 is the empty design row
    do {
        PrintedPage page;
        // Date and page number at the right; studio and heading beside them,
        // wrapped (and the heading in smaller type when long) so they never meet.
        const QString stamp = QStringLiteral("%1   pag. %2").arg(today).arg(pages.size() + 1);
        const int stampWidth = body.horizontalAdvance(stamp) + pad;
        page.texts.append(placed(bodyFont, device, QPoint(area.width() - stampWidth, 0), stampWidth, stamp,
                                 Qt::AlignRight));
        const int left = std::max(1, area.width() - stampWidth - gap);
        int y = 0;
        if (!studio.isEmpty()) {
            page.texts.append(placed(studioFont, device, QPoint(0, y), left, studio));
            y = page.texts.last().rect.bottom() + 1 + pad;
        }
        QFont titleFont(QStringLiteral("DejaVu Sans"), 14, QFont::Bold);
        PrintedText title = placed(titleFont, device, QPoint(0, y), left, heading);
        for (int points = 13; points >= 9 && title.rect.height() > 2 * QFontMetrics(titleFont, device).height(); --points) {
            titleFont.setPointSize(points);
            title = placed(titleFont, device, QPoint(0, y), left, heading);
        }
        page.texts.append(title);
        y = std::max(title.rect.bottom(), page.texts.first().rect.bottom()) + 1 + gap / 2;

        int headerBottom = y;
        for (int c = 0; c < 5; ++c) {
            page.texts.append(placed(headFont, device, QPoint(xs[c] + pad, y), xs[c + 1] - xs[c] - 2 * pad,
                                     QString::fromLatin1(kHeaders[c])));
            headerBottom = std::max(headerBottom, page.texts.last().rect.bottom() + 1);
        }
        y = headerBottom + pad;
        page.lines.append(QLine(0, y, area.width(), y));
        y += pad + 1;

        bool first = true;
        for (; row < grid->rowCount(); ++row) {
            QList<PrintedText> cells;
            int bottom = y + body.height();
            for (int c = 0; c < 5; ++c) {
                const QTableWidgetItem *item = grid->item(row, c);
                QString text = item ? item->text() : QString();
                const QDate day = item ? item->data(Qt::UserRole).toDate() : QDate();
                if (day.isValid())
                    text = Dates::dayText(day);
                cells.append(placed(bodyFont, device, QPoint(xs[c] + pad, y), xs[c + 1] - xs[c] - 2 * pad, text));
                bottom = std::max(bottom, cells.last().rect.bottom() + 1);
            }
            // A row that does not fit goes whole to the next page; one taller
            // than a whole page is cut at its foot.
            if (bottom > area.height() && !first)
                break;
            for (PrintedText &cell : cells) {
                if (cell.text.isEmpty())
                    continue;
                if (cell.rect.bottom() >= area.height())
                    cell.rect.setBottom(area.height() - 1);
                page.texts.append(cell);
            }
            y = bottom + pad;
            first = false;
        }
        pages.append(page);
    } while (row < grid->rowCount());
    return pages;
}

void frmElenco::paintPage(QPainter &painter, const PrintedPage &page)
{
    for (const PrintedText &t : page.texts) {
        painter.setFont(t.font);
        painter.drawText(t.rect, t.flags, t.text);
    }
    for (const QLine &l : page.lines)
        painter.drawLine(l);
}

void frmElenco::printTo(QPrinter *printer)
{
    QPainter painter;
    if (!painter.begin(printer)) {
        MessageBox::error(this, QStringLiteral("Impossibile avviare la stampa."));
        return;
    }
    const QSize area = printer->pageLayout().paintRectPixels(printer->resolution()).size();
    const QList<PrintedPage> pages = layoutPages(printer, area);
    for (int n = 0; n < pages.size(); ++n) {
        if (n > 0)
            printer->newPage();
        paintPage(painter, pages[n]);
    }
    painter.end();
}

QString frmElenco::clientName() const
{
    // The client's name, when the register holds it.
    RecordView &clients = m_session.archive.clients();
    if (clients.findFirst(QStringLiteral("codice=") + m_session.state.ClienteCorrente) && !clients.noMatch())
        return clients.text(u"descr");
    return {};
}

QString frmElenco::pdfProposal() const
{
    // In the user's documents (never the shared data folder), named after the
    // client, and never the name of a file already there.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        folder = QDir::homePath();
    QString name = clientName().trimmed();
    name.replace(QRegularExpression(QStringLiteral(R"([/\\:*?"<>|\x00-\x1f\x7f])")), QStringLiteral("_"));
    while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    if (name.isEmpty())
        name = QStringLiteral("Cliente %1").arg(m_session.state.ClienteCorrente.trimmed());
    name = name.left(120) + QStringLiteral(".pdf");
    QString path = Paths::join(folder, name);
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = Paths::join(folder, Files::numbered(name, n));
    return path;
}

void frmElenco::cmdStampa_Click()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    const QString pdf = pdfProposal();
    printer.setDocName(QFileInfo(pdf).completeBaseName());
    printer.setOutputFileName(pdf);
    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("dlgAnteprima"));
    preview.setWindowTitle(QStringLiteral("Anteprima di stampa"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, &frmElenco::printTo);
    if (preview.exec() != QDialog::Accepted)
        return;
    // Written to a file: the user is told where.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()
        && QFileInfo(printer.outputFileName()).isFile())
        MessageBox::show(this, QStringLiteral("Il PDF è stato scritto in %1").arg(QDir::toNativeSeparators(printer.outputFileName())),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Information);
}

void frmElenco::cmdChiudi_Click()
{
    close();
}
