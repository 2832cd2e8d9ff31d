// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recycle bin window: the records deleted from the register, newest
// first, put back or emptied for good.

#include "data/RecycleBin.h"
#include "data/Session.h"
#include "projects/ProjectEditor.h"

#include <QWidget>

class GridColumns;

namespace Ui {
class frmCestino;
}

class frmCestino : public QWidget {
    Q_OBJECT

public:
    explicit frmCestino(Session &session, QWidget *parent = nullptr);
    ~frmCestino() override;

    // Reads the bin again and lists it.
    void CaricaCestino();

public slots:
    void cmdRipristina_Click();
    void cmdElimina_Click();
    void cmdChiudi_Click();

signals:
    // Records went back into the register.
    void restored();

private:
    // The entries chosen in the list, in the list's order; empty after
    // saying that none is.
    QVector<BinEntry> chosen();
    QString typeOf(const BinEntry &entry) const;
    // Puts one entry back, offering a free code while its own is taken;
    // true when it went back.
    bool restoreEntry(const BinEntry &entry);
    // The first free code for the entry's record, whose code is taken (why:
    // taken); empty after a message.
    QString freeCode(const BinEntry &entry, const QString &taken);

    Ui::frmCestino *ui;
    Session &m_session;
    RecycleBin m_bin;
    ProjectEditor m_editor;
    GridColumns *m_columns = nullptr;
    QVector<BinEntry> m_entries;   // row by row, as listed
};
