// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About window.

#include <QDialog>

namespace Ui {
class frmAutore;
}

class frmAutore : public QDialog {
    Q_OBJECT

public:
    explicit frmAutore(QWidget *parent = nullptr);
    ~frmAutore() override;

private:
    Ui::frmAutore *ui;
};
