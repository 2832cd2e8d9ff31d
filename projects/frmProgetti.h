// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The project window: the tree of projects and items, the project sheet, the
// two item sheets and the client sheet.

#include "data/Session.h"

#include <QDateTime>
#include <QSet>
#include <QWidget>

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
    void placeSearch(bool open);
    bool SalvaProgetto();
    bool SalvaLivello();
    void eliminaProgetto();
    void eliminaLivello(int level);
    bool Cambia(const QString &folder);
    void showClientLabels(bool found, bool withPostcode);
    QComboBox *levelCode(int level) const;
    // Project folder, and item folder inside it, as full paths.
    QString projectFolder(const QString &project) const;
    QString itemFolder(const QString &project, const QString &item) const;
    bool ensureFolder(const QString &path);
    bool checkFolderName(const QString &code);
    bool projectExists(const QString &code);
    QDateTime pickerValue(int level) const;
    void setPicker(int level, const QDateTime &value);
    // First free code of a level from the proposal counters: 0 projects, 1 and
    // 2 items of project. Empty (message shown) when none can be drawn.
    QString proposeCode(int level, const QString &project);
    // folders: the names in the folder the code's own folder would lie in.
    // A failed look-up sets *failed and counts as taken.
    bool codeIsFree(int level, const QString &code, const QString &project, const QSet<QString> &folders, bool *failed);
    // Why an item code cannot have its own folder and notes in project (the
    // project's code, or an item of the other level there); empty when it can.
    QString itemFolderClash(const QString &project, const QString &code, int level);
    // The stored spelling of a project's code; empty when no project has it.
    QString storedProjectCode(const QString &code);
    bool hasLevel2Below(const QString &project, const QString &item, QString *error);
    // Asks whether a record shown here and deleted since by another
    // workstation is to be stored again ("Il progetto P2", "L'elemento L11").
    bool askToStoreAgain(const QString &record);
    void forgetShownProject();
    // Asks whether to save under the first free code after a save found its
    // code taken; the free code is put in box.
    bool offerFreeCode(int level, const QString &taken, const QString &project, QComboBox *box);
    bool eventFilter(QObject *watched, QEvent *event) override;

    Ui::frmProgetti *ui;
    Session &m_session;
    ProjectTreeModel *m_tree;
    ProjectSearch *m_search;
    SearchPanel *m_panel;
    // The rows the tree shows now.
    QVector<QString> m_treeProjects, m_treeItems;
    QRect m_treeGeometry;
    // The pickers show the day; the value they were given keeps its time. An
    // invalid value is a stored date that could not be read: the box is blank
    // and a save leaves the stored date as it was.
    QDateTime m_pickerValue[3];
    // The records chosen and shown: a save of the code on show edits it, any
    // other code is a new record that never replaces one already stored.
    QString m_shownProject;
    QString m_shownItem[3];
    // The shown project and items as stored when shown: a save goes over them
    // only, never unasked over another workstation's save in between.
    RawRow m_shownProjectRow;
    RawRow m_shownItemRow[3];
    QString m_shownItemProject[3];
    // A key went to the tree: a node it makes current was chosen by the user.
    bool m_treeKey = false;
};
