#pragma once
// The components window of a project or item.

#include "data/Session.h"

#include <QDialog>

class frmCOmponenti : public QDialog {
    Q_OBJECT

public:
    explicit frmCOmponenti(Session &session, QWidget *parent = nullptr);

    void Form_Load();

    QString CodPrj;
    QString DataIns;
    QString Esegui;

private:
    Session &m_session;
};
