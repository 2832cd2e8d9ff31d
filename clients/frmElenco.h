#pragma once
// The projects of one client, printable.

#include "data/Session.h"

#include <QWidget>

class QPrinter;

namespace Ui {
class frmElenco;
}

class frmElenco : public QWidget {
    Q_OBJECT

public:
    explicit frmElenco(Session &session, QWidget *parent = nullptr);
    ~frmElenco() override;

    // Prints the client's heading and the grid, as many pages as it takes.
    void printTo(QPrinter *printer);

public slots:
    void cmdStampa_Click();
    void cmdChiudi_Click();

private:
    void Form_Load();

    Ui::frmElenco *ui;
    Session &m_session;
};
