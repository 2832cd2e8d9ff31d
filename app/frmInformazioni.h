// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The information window: the program's name, version and licence, and the
// archive and data folder this run works on.

#include "data/Session.h"

#include <QDialog>

namespace Ui {
class frmInformazioni;
}

class frmInformazioni : public QDialog {
    Q_OBJECT

public:
    explicit frmInformazioni(const Session &session, QWidget *parent = nullptr);
    ~frmInformazioni() override;

private:
    Ui::frmInformazioni *ui;
};
