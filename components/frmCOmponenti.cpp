#include "frmCOmponenti.h"

frmCOmponenti::frmCOmponenti(Session &session, QWidget *parent) : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("frmCOmponenti"));
    setWindowTitle(QStringLiteral("COMPONENTI DEL PROGETTO"));
}

void frmCOmponenti::Form_Load()
{
    Esegui.clear();
}
