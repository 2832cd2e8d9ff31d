// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageBox.h"

#include <QMessageBox>

namespace {
bool g_scripted = false;
QList<MessageBox::Answer> g_answers;
QList<MessageBox::Shown> g_shown;
const QString kTitle = QStringLiteral("Velbor");
} // namespace

namespace MessageBox {

Answer show(QWidget *parent, const QString &text, Buttons buttons, Icon icon)
{
    g_shown.append({kTitle, text, buttons, icon});
    if (g_scripted) {
        if (!g_answers.isEmpty())
            return g_answers.takeFirst();
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::Information: qtIcon = QMessageBox::Information; break;
    case Icon::Exclamation: qtIcon = QMessageBox::Warning; break;
    case Icon::Critical: qtIcon = QMessageBox::Critical; break;
    case Icon::Question: qtIcon = QMessageBox::Question; break;
    case Icon::None: break;
    }
    QMessageBox box(qtIcon, kTitle, text,
                    buttons == Buttons::Ok ? QMessageBox::Ok : (QMessageBox::Yes | QMessageBox::No), parent);
    if (buttons != Buttons::Ok)
        box.setDefaultButton(buttons == Buttons::YesNo ? QMessageBox::Yes : QMessageBox::No);
    const int result = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

bool ask(QWidget *parent, const QString &text)
{
    return show(parent, text, Buttons::YesNo) == Answer::Yes;
}

bool askDefaultNo(QWidget *parent, const QString &text)
{
    return show(parent, text, Buttons::YesNoDefaultNo, Icon::Question) == Answer::Yes;
}

void error(QWidget *parent, const QString &engineText)
{
    show(parent, QStringLiteral("Operazione non riuscita:\n%1").arg(engineText), Buttons::Ok, Icon::Critical);
}

void setScripted(bool scripted)
{
    g_scripted = scripted;
    g_answers.clear();
}

void setNextAnswer(Answer answer)
{
    g_answers.append(answer);
}

QList<Shown> shown()
{
    return g_shown;
}

void clearShown()
{
    g_shown.clear();
    g_answers.clear();
}

} // namespace MessageBox
