// SPDX-License-Identifier: GPL-3.0-or-later
#include "PasswordDialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
struct Answer {
    bool accepted;
    QString password;
    bool remember;
};
bool g_scripted = false;
QList<Answer> g_answers;
QStringList g_asked;
} // namespace

namespace PasswordDialog {

bool ask(QWidget *parent, const QString &where, QString *password, bool *remember)
{
    g_asked.append(where);
    if (g_scripted) {
        if (g_answers.isEmpty())
            return false;
        const Answer a = g_answers.takeFirst();
        *password = a.password;
        *remember = a.remember;
        return a.accepted;
    }
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("frmPassword"));
    dialog.setWindowTitle(QStringLiteral("Velbor - Accesso al server"));
    auto *layout = new QVBoxLayout(&dialog);
    auto *label = new QLabel(QStringLiteral("Il server dell'archivio chiede la password per:\n%1").arg(where), &dialog);
    label->setWordWrap(true);
    auto *text = new QLineEdit(&dialog);
    text->setObjectName(QStringLiteral("txtPassword"));
    text->setEchoMode(QLineEdit::Password);
    auto *keep = new QCheckBox(QStringLiteral("&Ricorda la password per questo utente"), &dialog);
    keep->setObjectName(QStringLiteral("chkRicorda"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(text);
    layout->addWidget(keep);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *password = text->text();
    *remember = keep->isChecked();
    return true;
}

void setScripted(bool scripted)
{
    g_scripted = scripted;
    g_answers.clear();
    g_asked.clear();
}

void setNextAnswer(bool accepted, const QString &password, bool remember)
{
    g_answers.append({accepted, password, remember});
}

QStringList asked()
{
    return g_asked;
}

} // namespace PasswordDialog
