// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Asks for the archive server's password when libpq's own means (password
// file, service file, Kerberos, certificates) gave none. Tests script the
// answer and read back what was asked.

#include <QStringList>

class QWidget;

namespace PasswordDialog {
// False when the user cancelled. where names the server, database and user.
bool ask(QWidget *parent, const QString &where, QString *password, bool *remember);

void setScripted(bool scripted);
// The next scripted answer; an empty password with accepted false is a cancel.
void setNextAnswer(bool accepted, const QString &password, bool remember);
QStringList asked();
}
