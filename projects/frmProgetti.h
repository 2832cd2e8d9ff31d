// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The project window: the tree of projects and items, the project sheet, the
// two item sheets and the client sheet.

#include "ProjectEditor.h"
#include "data/Session.h"

#include <QDateTime>
#include <QSet>
#include <QWidget>

class Anchors;
class NotesSearch;
class ProjectSearch;
class ProjectTreeModel;
class SearchPanel;
class QComboBox;
class QEvent;
class QModelIndex;
class QTreeView;

namespace Ui {
class frmProgetti;
}

class frmProgetti : public QWidget {
    Q_OBJECT

public:
    explicit frmProgetti(Session &session, QWidget *parent = nullptr);
    ~frmProgetti() override;

    ProjectTreeModel *treeModel() const { return m_tree; }
    SearchPanel *search() const { return m_panel; }
    ProjectSearch *searchSource() const { return m_search; }
    NotesSearch *notesSearch() const { return m_notes; }
    QTreeView *tree() const;
    // Selects a sheet and names it, as the main window does before showing.
    void setSheetCaption(int sheet, const QString &caption);

    void CaricaProgetti();
    void CaricaClienti();
    // Shows a project on sheet 0 and selects it; false when no row has that code.
    bool Visualizza(const QString &code);
    // Shows an item of a project on its sheet; false when not found.
    bool VisualizzaLivelli(const QString &code, int level, const QString &project);

public slots:
    void tvwProgetti_NodeClick(const QModelIndex &node);
    void STab1_Click(int sheet);
    void cmdNuovo_Click();
    void cmdSalva_Click();
    void cmdElimina_Click();
    void cmdAllegati_Click();
    void cmdChiudi_Click();
    void cboCodice_Click(int entry);
    void cboCliente_Click(int entry);
    void cboCodCli_Click(int entry);
    void cmdNuovoCliente_Click();
    // Ctrl+H: the history of the record on show (the project, or the item of
    // the sheet chosen).
    void Storico_Click();

signals:
    // Asks for the client register as a modal window (the main window owns it).
    void clientRegisterRequested();

private:
    // The rows of the tree, read in one snapshot; false with the engine's message.
    bool readTreeRows(QVector<QString> *projects, QVector<QString> *items, QString *error);
    // Rebuilds the tree from rows read, keeping open the nodes that were open
    // and the current node, without showing anything on the sheets.
    void replaceTreeRows(const QVector<QString> &projects, const QVector<QString> &items);
    // Brings the search up to date with the archive as it is now (rows
    // another workstation stored since included).
    void refreshSearch();
    void showSearchResult(int entry);
    void layOut();
    void placeSearch(bool open);
    // Opens the node's parents, chooses it, scrolls it into view and shows it
    // as a click does.
    void showNode(const QModelIndex &node);
    QStringList expandedNodes() const;
    bool SalvaProgetto();
    bool SalvaLivello();
    void eliminaProgetto();
    void eliminaLivello(int level);
    bool Cambia(const QString &folder);
    void showClientLabels(bool found, bool withPostcode);
    QComboBox *levelCode(int level) const;
    QDateTime pickerValue(int level) const;
    void setPicker(int level, const QDateTime &value);
    bool eventFilter(QObject *watched, QEvent *event) override;

    Ui::frmProgetti *ui;
    Session &m_session;
    // The rules of saving, deleting and proposing codes, and the records on show.
    ProjectEditor m_editor;
    ProjectTreeModel *m_tree;
    ProjectSearch *m_search;
    SearchPanel *m_panel = nullptr;
    NotesSearch *m_notes = nullptr;
    // The rows the tree shows now.
    QVector<QString> m_treeProjects, m_treeItems;
    Anchors *m_anchors = nullptr;
    int m_searchLine = 0;
    // The pickers show the day; the value they were given keeps its time. An
    // invalid value is a stored date that could not be read: the box is blank
    // and a save leaves the stored date as it was.
    QDateTime m_pickerValue[3];
    // A key went to the tree: a node it makes current was chosen by the user.
    bool m_treeKey = false;
};
