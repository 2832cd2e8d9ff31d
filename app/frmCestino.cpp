// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmCestino.h"

#include "data/basMain.h"
#include "platform/BusyCursor.h"
#include "platform/MessageBox.h"
#include "widgets/Anchors.h"
#include "widgets/GridColumns.h"
#include "widgets/WindowPlace.h"
#include "ui_frmCestino.h"

#include <QDir>
#include <QHeaderView>

namespace {
const int kWidths[5] = {1200, 1200, 2400, 2400, 1800};   // twips: the five fit the designed width
const char *const kHeaders[5] = {"Tipo", "Codice", "Descrizione", "Eliminato da", "Data"};

bool isTable(const BinEntry &entry, const QString &table)
{
    return entry.table.compare(table, Qt::CaseInsensitive) == 0;
}
} // namespace

frmCestino::frmCestino(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::frmCestino), m_session(session), m_bin(session.archive),
      m_editor(session, ProjectEditor::Dialogs{
                            [this](const QString &q) { return MessageBox::askDefaultNo(this, q); },
                            [this](const QString &n) { MessageBox::show(this, n); },
                            [this](const QString &n) {
                                MessageBox::show(this, n, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
                            },
                            [this](const QString &e) { MessageBox::error(this, e); },
                        })
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    QTableWidget *list = ui->lstCestino;
    list->verticalHeader()->hide();
    list->setColumnCount(5);
    for (int c = 0; c < 5; ++c)
        list->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromLatin1(kHeaders[c])));
    list->setTextElideMode(Qt::ElideMiddle);
    m_columns = new GridColumns(list, QVector<int>(std::begin(kWidths), std::end(kWidths)), 2);
    auto *anchors = new Anchors(this);
    anchors->add(list, Anchors::Grow)
        .add(ui->lblCestino, {0, 1, 1, 0})
        .add({ui->cmdRipristina, ui->cmdElimina, ui->cmdChiudi}, Anchors::BottomRight);
    WindowPlace::keep(this, QStringLiteral("cestino"));
    connect(ui->cmdRipristina, &QPushButton::clicked, this, &frmCestino::cmdRipristina_Click);
    connect(ui->cmdElimina, &QPushButton::clicked, this, &frmCestino::cmdElimina_Click);
    connect(ui->cmdChiudi, &QPushButton::clicked, this, &frmCestino::cmdChiudi_Click);
    CaricaCestino();
}

frmCestino::~frmCestino()
{
    delete ui;
}

QString frmCestino::typeOf(const BinEntry &entry) const
{
    if (isTable(entry, Tables::Clienti))
        return QStringLiteral("Cliente");
    if (isTable(entry, Tables::Progetti))
        return QStringLiteral("Progetto");
    if (isTable(entry, Tables::Componenti))
        return QStringLiteral("Componente");
    if (isTable(entry, Tables::RighePRJ)) {
        const QString level = entry.text(m_session.archive, u"livello");
        if (level == QLatin1String("1") || level == QLatin1String("2"))
            return m_session.state.NomeScheda(level.toInt() + 1);
        return QStringLiteral("Elemento");
    }
    return entry.table;
}

void frmCestino::CaricaCestino()
{
    QTableWidget *list = ui->lstCestino;
    list->clearContents();
    list->setRowCount(0);
    m_entries.clear();
    QString why;
    const bool available = m_bin.available(&why);
    for (QPushButton *button : {ui->cmdRipristina, ui->cmdElimina})
        button->setEnabled(available);
    if (!available) {
        ui->lblCestino->setText(why);
        m_columns->fit();
        return;
    }
    QString error;
    int days = RecycleBin::kDefaultDays;
    if (!m_bin.list(&m_entries, &error) || !m_bin.keepDays(&days, &error))
        MessageBox::error(this, error);
    ui->lblCestino->setText(
        QStringLiteral("Ogni voce resta nel cestino %1 giorni dalla sua eliminazione, poi viene tolta.").arg(days));
    list->setUpdatesEnabled(false);
    list->setRowCount(int(m_entries.size()));
    for (int row = 0; row < m_entries.size(); ++row) {
        const BinEntry &e = m_entries[row];
        const QString who = e.host.isEmpty() ? e.user : QStringLiteral("%1 (%2)").arg(e.user, e.host);
        const QString cells[5] = {typeOf(e), e.code, e.descr, who,
                                  e.when.isValid() ? e.when.toString(QStringLiteral("dd/MM/yyyy HH:mm")) : QString()};
        for (int c = 0; c < 5; ++c)
            list->setItem(row, c, new QTableWidgetItem(cells[c]));
        list->item(row, 2)->setToolTip(e.descr);
    }
    list->setUpdatesEnabled(true);
    m_columns->fit();
}

QVector<BinEntry> frmCestino::chosen()
{
    QVector<BinEntry> entries;
    QList<int> rows;
    for (const QModelIndex &index : ui->lstCestino->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    for (int row : std::as_const(rows))
        if (row >= 0 && row < m_entries.size())
            entries.append(m_entries[row]);
    if (entries.isEmpty())
        MessageBox::show(this, QStringLiteral("Nessuna voce scelta: scegliere nell'elenco le voci del cestino."));
    return entries;
}

QString frmCestino::freeCode(const BinEntry &entry, const QString &taken)
{
    if (isTable(entry, Tables::Clienti)) {
        const Outcome<int> next = ProssimoCodice(m_session.archive, Tables::Clienti, QStringLiteral("codice"));
        if (!next.ok()) {
            MessageBox::error(this, next.error);
            return {};
        }
        return QString::number(next.value);
    }
    if (isTable(entry, Tables::Progetti))
        return m_editor.proposeCode(0, QString());
    const int level = entry.text(m_session.archive, u"livello").toInt();
    if (isTable(entry, Tables::RighePRJ) && (level == 1 || level == 2))
        return m_editor.proposeCode(level, entry.text(m_session.archive, u"codprj"));
    // No code to propose for a record the windows never show.
    MessageBox::show(this, taken, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
    return {};
}

bool frmCestino::restoreEntry(const BinEntry &entry)
{
    QString newCode, message;
    for (;;) {
        RecycleBin::Restore outcome = RecycleBin::Restore::Failed;
        {
            BusyCursor busy;
            outcome = m_bin.restore(entry.key, newCode, &message);
        }
        switch (outcome) {
        case RecycleBin::Restore::Done:
            // Folders are never deleted: under a new code the record's files
            // stay where its old code had them.
            if (!newCode.isEmpty() && isTable(entry, Tables::Progetti))
                MessageBox::show(this,
                                 QStringLiteral("La cartella del progetto resta %1.")
                                     .arg(QDir::toNativeSeparators(m_editor.projectFolder(entry.code))),
                                 MessageBox::Buttons::Ok, MessageBox::Icon::Information);
            return true;
        case RecycleBin::Restore::CodeTaken: {
            const QString next = freeCode(entry, message);
            if (next.isEmpty())
                return false;
            if (next == newCode) {
                // The code offered is refused again: say why instead of asking forever.
                MessageBox::show(this, message, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
                return false;
            }
            if (!MessageBox::askDefaultNo(this, QStringLiteral("%1 Ripristinarlo con il codice %2 ?").arg(message, next)))
                return false;
            newCode = next;
            break;
        }
        case RecycleBin::Restore::Gone:
        case RecycleBin::Restore::Refused:
            MessageBox::show(this, message, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
            return false;
        case RecycleBin::Restore::Failed:
            MessageBox::error(this, message);
            return false;
        }
    }
}

void frmCestino::cmdRipristina_Click()
{
    const QVector<BinEntry> entries = chosen();
    if (entries.isEmpty())
        return;
    // Newest first, as listed: a project goes back before the items deleted
    // ahead of it, a level-1 item before its level-2 items.
    int done = 0;
    for (const BinEntry &entry : entries)
        done += restoreEntry(entry) ? 1 : 0;
    CaricaCestino();
    if (done > 0)
        emit restored();
}

void frmCestino::cmdElimina_Click()
{
    const QVector<BinEntry> entries = chosen();
    if (entries.isEmpty())
        return;
    if (!MessageBox::askDefaultNo(this, QStringLiteral("Eliminare definitivamente le voci scelte (%1)? Non si potranno "
                                                       "più ripristinare.")
                                            .arg(entries.size())))
        return;
    QVector<qint64> keys;
    for (const BinEntry &entry : entries)
        keys.append(entry.key);
    QString error;
    if (!m_bin.purge(keys, &error))
        MessageBox::error(this, error);
    CaricaCestino();
}

void frmCestino::cmdChiudi_Click()
{
    close();
}
