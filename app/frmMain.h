// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: start-up, company header, data folder, clock, navigation and exit.

#include "app/frmAutore.h"
#include "app/frmCestino.h"
#include "app/frmGuida.h"
#include "app/frmInformazioni.h"
#include "clients/frmClienti.h"
#include "config/frmConfigura.h"
#include "data/Session.h"
#include "data/Worker.h"
#include "projects/frmProgetti.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class QTimer;

namespace Ui {
class frmMain;
}

class QThread;
class QDate;

class frmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit frmMain(Session &session, QWidget *parent = nullptr);
    ~frmMain() override;

    // Start-up, in order; false when the archive could not be opened (the
    // message has been shown and the window must not be).
    bool Form_Load();
    // The day's copy of a file archive, off the interface thread, when this
    // is the day's first workstation; a failure shows in a line under the
    // header. The copy's run ends before the window does. First, on any
    // archive, the bin's entries older than its days are emptied.
    void startDailyBackup(const QDate &today);
    bool dailyBackupRunning() const;

    // The windows opened from here; each exists once (nullptr while closed).
    frmClienti *clienti() const { return m_clienti; }
    frmProgetti *progetti() const { return m_progetti; }
    frmConfigura *configura() const { return m_configura; }
    frmAutore *autore() const { return m_autore; }
    frmGuida *guida() const { return m_guida; }
    frmInformazioni *informazioni() const { return m_informazioni; }
    frmCestino *cestino() const { return m_cestino; }

public slots:
    void Timer1_Timer();
    void cmdClienti_Click();
    void mnuGestCli_Click();
    void cmdProgetti_Click();
    void mnugestPrj_Click();
    void mnuConfig_Click();
    void mnuAutore_Click();
    void mnuGuida_Click();
    void mnuInformazioni_Click();
    void mnuCestino_Click();
    void mnuFine_Click();
    void cmdServer_Click();
    // The register as a modal window, for the project window's client sheet;
    // returns when it closes.
    void showClientiModal();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Asks for the exit; on Yes writes the settings files and ends the run.
    bool Form_Unload();
    void showClienti();
    void showCompanyName(const QString &name);
    // The company header from the configuration row config is on.
    void showHeader(RecordView &config);
    // The header again from the stored configuration, after a change to it.
    void refreshHeader();
    frmProgetti *ensureProgetti();
    static void bringToFront(QWidget *window);
    // The bin's old entries, emptied at start by the day's first workstation.
    void emptyOldBinEntries(const QDate &today);
    // A line under the header about the start's work, after those already there.
    void addStartNote(const QString &note);
    // Records came back from the bin: the open windows catch up.
    void recordsRestored();

    Ui::frmMain *ui;
    Session &m_session;
    QTimer *m_timer;
    bool m_exiting = false;
    QPointer<frmClienti> m_clienti;
    QPointer<frmProgetti> m_progetti;
    QPointer<frmConfigura> m_configura;
    QPointer<frmAutore> m_autore;
    QPointer<frmGuida> m_guida;
    QPointer<frmInformazioni> m_informazioni;
    QPointer<frmCestino> m_cestino;
    std::unique_ptr<Worker> m_backup;   // the day's copy
    bool m_backupDone = false;
};
