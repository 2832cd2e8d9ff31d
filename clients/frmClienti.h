// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client register.

#include "data/Session.h"
#include "widgets/Widgets.h"

#include <QPointer>
#include <QWidget>

#include "clients/frmElenco.h"

class ClientSearch;
class SearchPanel;

namespace Ui {
class frmClienti;
}

class frmClienti : public QWidget {
    Q_OBJECT

public:
    explicit frmClienti(Session &session, QWidget *parent = nullptr);
    ~frmClienti() override;

    void CaricaClienti();
    void Pulisci();
    void Visualizza();
    frmElenco *elenco() const { return m_elenco; }
    SearchPanel *search() const { return m_panel; }

public slots:
    void cboCodice_Click(int entry);
    void cboDescr_Click(int entry);
    void cmdNuovo_Click();
    void cmdSalva_Click();
    void cmdElimina_Click();
    void cmdProgetti_Click();
    void cmdChiudi_Click();
    // Ctrl+H: the history of the client on show.
    void Storico_Click();

private:
    // Shows the client with that code, as choosing it from a list does;
    // false when no client has it.
    bool showClient(qint32 code);
    void refreshSearch();
    // A search on show looks again after this window stored or deleted a client.
    void searchAfterWrite();
    void showSearchResult(int entry);

    // The code box as a 32-bit whole number; a message and false when it is
    // empty (whenEmpty) or no such number.
    bool typedCode(qint32 *code, const QString &whenEmpty);

    // Stores the window's boxes as client code: an edit of the client found
    // when editing, otherwise a new row that never replaces a stored one.
    // storeAgain: the user already agreed to store again a client deleted
    // meanwhile by another workstation.
    Stored store(qint32 code, bool editing, bool storeAgain = false);
    bool askToStoreAgain(qint32 code);

    Ui::frmClienti *ui;
    Session &m_session;
    // The client chosen and shown (or saved) here: saving its code edits it.
    bool m_shown = false;
    RawRow m_shownRow;   // the shown client as stored when shown
    qint32 m_shownCode = 0;
    // The code that Nuovo proposed, while it is in the box.
    QString m_proposed;
    QPointer<frmElenco> m_elenco;
    ClientSearch *m_search;
    SearchPanel *m_panel;
};
