// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmStorico.h"

#include "data/Dates.h"
#include "data/engines/Archive.h"
#include "platform/BusyCursor.h"
#include "platform/MessageBox.h"
#include "widgets/Anchors.h"
#include "widgets/GridColumns.h"
#include "widgets/Widgets.h"
#include "widgets/WindowPlace.h"
#include "ui_frmStorico.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>

namespace {
const int kWidths[6] = {1950, 900, 1200, 1200, 1500, 1500};   // twips: the six fit the designed width
const char *const kHeaders[6] = {"Data", "Utente", "Postazione", "Campo", "Valore precedente", "Valore nuovo"};
constexpr int kBefore = 4;
constexpr int kMostShown = 40;   // characters of a value its cell shows

// Brings forward the sheets that hold box, so the user sees what came back.
void bringForward(QWidget *box)
{
    for (QWidget *w = box->parentWidget(); w; w = w->parentWidget())
        if (auto *tabs = qobject_cast<QTabWidget *>(w))
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->widget(i)->isAncestorOf(box))
                    tabs->setCurrentIndex(i);
}
} // namespace

frmStorico *frmStorico::open(QWidget *owner, Archive &archive, const Record &record)
{
    if (!archive.journal()) {
        MessageBox::show(owner, archive.safetyMissing(), MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return nullptr;
    }
    auto *w = new frmStorico(archive, record, owner);
    QString error;
    bool loaded = false;
    {
        BusyCursor busy;
        loaded = w->load(&error);
    }
    if (!loaded) {
        delete w;
        MessageBox::error(owner, error);
        return nullptr;
    }
    // The owner shows the same record until the history closes.
    w->setWindowModality(Qt::WindowModal);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

qint64 frmStorico::keyOf(QWidget *owner, RecordView &view, const QString &criterion, const QString &gone)
{
    if (!view.findFirst(criterion)) {
        MessageBox::error(owner, view.lastError());
        return 0;
    }
    if (view.noMatch()) {
        MessageBox::show(owner, QStringLiteral("%1 non è più in archivio: può essere stato eliminato da un'altra "
                                               "postazione.")
                                    .arg(gone));
        return 0;
    }
    return view.currentKey();
}

QString frmStorico::codeRefusal(const QString &newRecord)
{
    return QStringLiteral("Il codice non si copia nella casella: salvando con un altro codice si crea un nuovo %1, "
                          "non si cambia questo.")
        .arg(newRecord);
}

frmStorico::frmStorico(Archive &archive, Record record, QWidget *owner)
    : QWidget(owner, Qt::Window), ui(new Ui::frmStorico), m_archive(archive), m_record(std::move(record))
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Storico - ") + m_record.what);
    QTableWidget *list = ui->lstStorico;
    list->verticalHeader()->hide();
    list->setColumnCount(6);
    for (int c = 0; c < 6; ++c)
        list->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromLatin1(kHeaders[c])));
    m_columns = new GridColumns(list, QVector<int>(std::begin(kWidths), std::end(kWidths)), kBefore);
    auto *anchors = new Anchors(this);
    anchors->add(list, Anchors::Grow).add({ui->cmdCopia, ui->cmdChiudi}, Anchors::BottomRight);
    WindowPlace::keep(this, QStringLiteral("storico"));
    connect(ui->cmdCopia, &QPushButton::clicked, this, &frmStorico::cmdCopia_Click);
    connect(ui->cmdChiudi, &QPushButton::clicked, this, &frmStorico::cmdChiudi_Click);
    connect(list, &QTableWidget::cellDoubleClicked, this, &frmStorico::cmdCopia_Click);
    m_columns->fit();
}

frmStorico::~frmStorico()
{
    delete ui;
}

QString frmStorico::shortened(const QString &value)
{
    qsizetype end = value.size();
    for (qsizetype i = 0; i < value.size(); ++i)
        if (value[i] == QLatin1Char('\n') || value[i] == QLatin1Char('\r')) {
            end = i;
            break;
        }
    if (end > kMostShown)
        end = value[kMostShown - 1].isHighSurrogate() ? kMostShown - 1 : kMostShown;
    if (end == value.size())
        return value;
    return value.left(end).trimmed() + QStringLiteral(" …");
}

bool frmStorico::load(QString *error)
{
    Journal *journal = m_archive.journal();
    if (!journal) {
        *error = m_archive.safetyMissing();
        return false;
    }
    QVector<HistoryLine> lines;
    if (!journal->historyOf(m_record.table, m_record.key, &lines, error))
        return false;
    m_lines = lines;
    QTableWidget *list = ui->lstStorico;
    list->clearContents();
    list->setRowCount(int(m_lines.size()));
    for (int r = 0; r < m_lines.size(); ++r) {
        const HistoryLine &line = m_lines[r];
        const QString field = m_record.fields.value(line.field.toLower()).label;
        const QString cells[6] = {line.when.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")),
                                  line.user,
                                  line.host,
                                  field.isEmpty() ? line.field : field,
                                  line.before,
                                  line.after};
        for (int c = 0; c < 6; ++c) {
            auto *item = new QTableWidgetItem(c >= kBefore ? shortened(cells[c]) : cells[c]);
            if (c >= kBefore && item->text() != cells[c])
                item->setToolTip(cells[c]);
            list->setItem(r, c, item);
        }
    }
    if (!m_lines.isEmpty())
        list->selectRow(0);
    ui->cmdCopia->setEnabled(!m_lines.isEmpty());
    m_columns->fit();
    return true;
}

bool frmStorico::putInBox(QWidget *box, const QString &text, QString *why)
{
    if (auto *date = qobject_cast<QDateEdit *>(box)) {
        if (text.isEmpty()) {
            *why = QStringLiteral("Prima di quel salvataggio la data non c'era: una data non si può togliere, "
                                  "la casella resta com'è.");
            return false;
        }
        const QDate day = Dates::parse(text).date();
        if (!day.isValid() || day <= date->minimumDate() || day > date->maximumDate()) {
            *why = QStringLiteral("\"%1\" non è una data che la casella possa mostrare.").arg(text);
            return false;
        }
        date->setDate(day);
        return true;
    }
    if (auto *spin = qobject_cast<QSpinBox *>(box)) {
        bool ok = false;
        const int n = text.trimmed().toInt(&ok);
        if (!ok || n < spin->minimum() || n > spin->maximum()) {
            *why = QStringLiteral("\"%1\" non è un numero da %2 a %3.").arg(text).arg(spin->minimum()).arg(spin->maximum());
            return false;
        }
        spin->setValue(n);
        return true;
    }
    if (auto *combo = qobject_cast<QComboBox *>(box)) {
        if (combo->isEditable()) {
            showFromStart(combo, text);
            return true;
        }
        const int entry = combo->findText(text);
        if (entry < 0) {
            *why = QStringLiteral("\"%1\" non è più tra le scelte della casella.").arg(text);
            return false;
        }
        combo->setCurrentIndex(entry);
        return true;
    }
    if (auto *line = qobject_cast<QLineEdit *>(box)) {
        showFromStart(line, text);
        return true;
    }
    if (auto *plain = qobject_cast<QPlainTextEdit *>(box)) {
        plain->setPlainText(text);
        return true;
    }
    if (auto *rich = qobject_cast<QTextEdit *>(box)) {
        rich->setPlainText(text);
        return true;
    }
    *why = QStringLiteral("La casella non può ricevere il valore.");
    return false;
}

void frmStorico::cmdCopia_Click()
{
    const QList<QTableWidgetItem *> chosen = ui->lstStorico->selectedItems();
    const int row = chosen.isEmpty() ? -1 : chosen.first()->row();
    if (row < 0 || row >= m_lines.size()) {
        MessageBox::show(this, QStringLiteral("Scegliere nell'elenco la riga del valore da copiare."));
        return;
    }
    const HistoryLine &line = m_lines[row];
    const Field field = m_record.fields.value(line.field.toLower());
    const QString name = field.label.isEmpty() ? line.field : field.label;
    if (!field.refusal.isEmpty()) {
        MessageBox::show(this, field.refusal, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return;
    }
    if (!field.box) {
        MessageBox::show(this,
                         QStringLiteral("Il campo \"%1\" non ha una casella in questa finestra: il suo valore non si "
                                        "può copiare.")
                             .arg(name),
                         MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return;
    }
    QString why;
    if (field.put) {
        field.put(line.before);
    } else if (!putInBox(field.box, line.before, &why)) {
        MessageBox::show(this, why, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
        return;
    }
    // Nothing is stored here: the owner's save stores what its boxes hold.
    bringForward(field.box);
    field.box->setFocus(Qt::OtherFocusReason);
    close();
}

void frmStorico::cmdChiudi_Click()
{
    close();
}
