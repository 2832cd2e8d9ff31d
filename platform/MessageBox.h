// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes titled with the program's name. Tests switch to scripted mode,
// queue the answers and read back what was shown.

#include <QList>
#include <QString>

class QWidget;

namespace MessageBox {
enum class Buttons { Ok, YesNo, YesNoDefaultNo };
enum class Icon { None, Information, Exclamation, Critical, Question };
enum class Answer { Ok, Yes, No };

Answer show(QWidget *parent, const QString &text, Buttons buttons = Buttons::Ok, Icon icon = Icon::None);
// A question with Yes and No: true on Yes.
bool ask(QWidget *parent, const QString &text);
// The same, with No as the default button: for questions whose Yes overwrites.
bool askDefaultNo(QWidget *parent, const QString &text);
// An error of the archive or the file system during a command.
void error(QWidget *parent, const QString &engineText);

struct Shown {
    QString title;
    QString text;
    Buttons buttons;
    Icon icon;
};
void setScripted(bool scripted);
// Answers for the next boxes, in order; without one, Ok boxes answer Ok and questions No.
void setNextAnswer(Answer answer);
QList<Shown> shown();
void clearShown();
}
