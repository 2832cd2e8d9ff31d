// SPDX-License-Identifier: GPL-3.0-or-later
// The project window's layout as it grows, and the search's place in it.
#include "frmProgetti.h"

#include "widgets/Anchors.h"
#include "widgets/SearchPanel.h"
#include "widgets/WindowPlace.h"
#include "ui_frmProgetti.h"

void frmProgetti::layOut()
{
    // The tree and the sheets share the room beyond the designed size; the
    // boxes of the sheets grow with the window's width, the notes with both.
    m_searchLine = ui->lstRisultati->geometry().top() - ui->tvwProgetti->geometry().top();
    m_anchors = new Anchors(this);
    const Anchors::Share upper{0, 0, 1, 0.5}, lower{0, 0.5, 1, 0.5};
    m_anchors->add({ui->tvwProgetti, ui->lstRisultati}, upper)
        .add(ui->STab1, lower)
        .add(ui->edtCerca, Anchors::GrowWide)
        .add(ui->lblRisultati, Anchors::Right)
        .add({ui->cmdNuovo, ui->cmdSalva, ui->cmdElimina, ui->cmdAllegati}, Anchors::Right)
        .add(ui->cmdChiudi, Anchors::BottomRight);
    // Sheet 0: the description and the longer boxes take the width; the three
    // rows of pairs share it in thirds.
    const Anchors::Share third{0, 0, 1.0 / 3, 0}, second{1.0 / 3, 0, 1.0 / 3, 0}, last{2.0 / 3, 0, 1.0 / 3, 0};
    m_anchors->add({ui->cboDescr, ui->txtSpecifica}, Anchors::GrowWide)
        .add({ui->lblData, ui->DataProgetto}, Anchors::Right)
        .add({ui->txtReparto, ui->txtTelefono}, third)
        .add({ui->lblUfficio, ui->txtUfficio, ui->lblFax, ui->txtFax}, second)
        .add({ui->lblOperatore, ui->txtOperatore, ui->lblEMail, ui->txtEMail}, last)
        .add(ui->txtNote, {0, 0, 1, 0.5});
    // Sheets 1 and 2, and the client's sheet.
    m_anchors->add({ui->txtDescr1, ui->txtDescr2, ui->cboCliente, ui->Frame1, ui->Label4, ui->Label5, ui->Label6},
                   Anchors::GrowWide)
        .add({ui->lblData1, ui->DataLivello1, ui->lblData2, ui->DataLivello2, ui->cmdNuovoCliente}, Anchors::Right);
    // An open search takes a line above the tree.
    m_anchors->setAfter([this] {
        if (m_panel && m_panel->isOpen())
            placeSearch(true);
    });
    WindowPlace::keep(this, QStringLiteral("progetti"));
}

void frmProgetti::placeSearch(bool open)
{
    // The box takes a line above the tree; the sheets do not move.
    const QRect tree = m_anchors->placed(ui->tvwProgetti);
    ui->tvwProgetti->setGeometry(open ? tree.adjusted(0, m_searchLine, 0, 0) : tree);
    ui->lstRisultati->setGeometry(ui->tvwProgetti->geometry());
    if (!open)
        ui->tvwProgetti->setFocus(Qt::OtherFocusReason);
}
