#pragma once
// The project window: the tree of projects and items, the project sheet, the
// two item sheets and the client sheet.

#include "data/Session.h"

#include <QDateTime>
#include <QWidget>

class ProjectTreeModel;
class QComboBox;
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

    Ui::frmProgetti *ui;
    Session &m_session;
    ProjectTreeModel *m_tree;
    // The pickers show the day; the value they were given keeps its time.
    QDateTime m_pickerValue[3];
};
