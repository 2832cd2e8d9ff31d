// SPDX-License-Identifier: GPL-3.0-or-later
#include "Widgets.h"

#include "data/RecordView.h"
#include "platform/MessageBox.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>

void SvuotaCampi(QWidget *window, const QString &prefix)
{
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        if (!w->objectName().startsWith(prefix, Qt::CaseInsensitive))
            continue;
        if (auto *line = qobject_cast<QLineEdit *>(w)) {
            // The line edit inside a combo box belongs to the combo box.
            if (!qobject_cast<QComboBox *>(line->parentWidget()))
                line->clear();
        } else if (auto *plain = qobject_cast<QPlainTextEdit *>(w)) {
            plain->clear();
        } else if (auto *rich = qobject_cast<QTextEdit *>(w)) {
            rich->clear();
        } else if (auto *label = qobject_cast<QLabel *>(w)) {
            label->clear();
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            if (combo->isEditable())
                combo->setEditText(QString());
            else
                combo->setCurrentIndex(-1);
        }
    }
}

void centerOnScreen(QWidget *window)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}

QString trimSpaces(const QString &text)
{
    qsizetype start = 0, end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}

Stored storeOrConflict(QWidget *parent, RecordView &view, bool fieldsSet)
{
    if (fieldsSet && view.update())
        return Stored::Yes;
    if (fieldsSet && view.conflict()) {
        view.cancelUpdate();
        return Stored::Conflict;
    }
    storeOrReport(parent, view, false);
    return Stored::Failed;
}

bool storeOrReport(QWidget *parent, RecordView &view, bool fieldsSet)
{
    if (fieldsSet && view.update())
        return true;
    const QString error = view.lastError();
    view.cancelUpdate();
    MessageBox::error(parent, error);
    return false;
}

namespace {
// Delivers Enter and focus-out to the box's text part with the box's signals
// held, so the box cannot turn them into a choice.
class TypingIsNoChoice : public QObject {
public:
    explicit TypingIsNoChoice(QComboBox *combo) : QObject(combo), m_combo(combo) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_inside)
            return false;
        bool hold = event->type() == QEvent::FocusOut;
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            hold = key == Qt::Key_Return || key == Qt::Key_Enter;
        }
        if (!hold)
            return false;
        m_inside = true;
        const bool blocked = m_combo->blockSignals(true);
        // The box may also replace the typed text by a list entry that matches
        // it ignoring case: what was typed stays.
        const QString typed = m_combo->lineEdit()->text();
        const int index = m_combo->currentIndex();
        QCoreApplication::sendEvent(watched, event);
        if (m_combo->currentIndex() != index)
            m_combo->setCurrentIndex(index);
        if (m_combo->lineEdit()->text() != typed)
            m_combo->lineEdit()->setText(typed);
        m_combo->blockSignals(blocked);
        m_inside = false;
        return true;
    }

private:
    QComboBox *m_combo;
    bool m_inside = false;
};
} // namespace

namespace {
class TabLeaves : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Tab && key != Qt::Key_Backtab)
            return false;
        auto *box = static_cast<QWidget *>(watched);
        const bool forward = key == Qt::Key_Tab && !(static_cast<QKeyEvent *>(event)->modifiers() & Qt::ShiftModifier);
        for (QWidget *w = forward ? box->nextInFocusChain() : box->previousInFocusChain(); w && w != box;
             w = forward ? w->nextInFocusChain() : w->previousInFocusChain()) {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() && w->window() == box->window()
                && !box->isAncestorOf(w)) {
                w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                return true;
            }
        }
        return false;
    }
};
} // namespace

void tabLeavesAtOnce(QWidget *dateBox)
{
    dateBox->installEventFilter(new TabLeaves(dateBox));
}

void choicesOnly(QComboBox *combo)
{
    combo->setInsertPolicy(QComboBox::NoInsert);
    if (!combo->isEditable())
        return;
    combo->setCompleter(nullptr);
    combo->lineEdit()->installEventFilter(new TypingIsNoChoice(combo));
}

void showFromStart(QLineEdit *box, const QString &text)
{
    box->setText(text);
    box->setCursorPosition(0);
}

void showFromStart(QComboBox *combo, const QString &text)
{
    combo->setEditText(text);
    if (combo->lineEdit())
        combo->lineEdit()->setCursorPosition(0);
}
