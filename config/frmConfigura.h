// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration window: company data, sheet names and code prefixes.

#include "data/Session.h"

#include <QWidget>

class QLabel;
class QLineEdit;

namespace Ui {
class frmConfigura;
}

class frmConfigura : public QWidget {
    Q_OBJECT

public:
    explicit frmConfigura(Session &session, QWidget *parent = nullptr);
    ~frmConfigura() override;

    // The opening contract: tab 1 and 2 named after NomeScheda(2) and (3),
    // then tab 0 after NomeScheda(1), tab 0 left selected.
    void setSheetCaptions();

signals:
    // The configuration was stored (at Conferma): the company data shown
    // elsewhere is to be read again.
    void configurationStored();

public slots:
    void cmdConferma_Click();
    void cmdAnnulla_Click();
    // Ctrl+H: the history of the configuration.
    void Storico_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void txtNome_Change(int sheet, const QString &text);
    void picIcona_Click(int sheet);
    QList<QLineEdit *> fieldBoxes() const;

    Ui::frmConfigura *ui;
    Session &m_session;
    RawRow m_shownRow;   // the configuration as stored when shown; empty when there was none
    int m_shownDays = 0;  // the recycle bin's days as shown; 0 when they could not be read
};
