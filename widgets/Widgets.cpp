// SPDX-License-Identifier: GPL-3.0-or-later
#include "Widgets.h"

#include "data/RecordView.h"
#include "platform/MessageBox.h"

#include <QAbstractItemView>
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
// Delivers Enter and focus-out to a box with the box's signals held, so the
// box cannot turn them into a choice. The box receives them itself (its text
// part is only its focus proxy) and hands them on to the text part directly;
// the text part is watched too, for events sent to it alone.
class TypingIsNoChoice : public QObject {
public:
    explicit TypingIsNoChoice(QComboBox *combo) : QObject(combo), m_combo(combo), m_self(combo) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // While the box is being destroyed it is a box no more (its focus
        // goes last): nothing of it may be asked then.
        if (m_inside || !qobject_cast<QComboBox *>(m_self))
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
    QObject *m_self;
    bool m_inside = false;
};

// Open only while the user chooses in the list: a click or Enter on an entry
// of the open list, or an arrow key on the closed box. A box's activated()
// outside those moments is Qt matching typed text, and chooses nothing.
class ChoiceGate : public QObject {
public:
    explicit ChoiceGate(QComboBox *combo) : QObject(combo), m_combo(combo), m_list(combo->view()),
        m_viewport(combo->view()->viewport())
    {
        combo->installEventFilter(this);
        m_list->installEventFilter(this);
        m_viewport->installEventFilter(this);
    }
    bool isOpen() const { return m_open; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_open)
            return false;
        if (watched == m_combo && event->type() == QEvent::Wheel) {
            // The wheel scrolls the window; it never changes the box's text.
            event->ignore();
            return true;
        }
        if (!isChoice(watched, event))
            return false;
        m_open = true;
        QCoreApplication::sendEvent(watched, event);
        m_open = false;
        return true;
    }

private:
    // Only pointers are compared here: the box, its list and the list's
    // viewport may be part-way through their destruction.
    bool isChoice(QObject *watched, QEvent *event) const
    {
        if (event->type() == QEvent::MouseButtonRelease)
            return watched == m_viewport;
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (watched == m_list || watched == m_viewport)
            return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Select
                   || key->key() == Qt::Key_Space;
        if (watched != m_combo || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
            return false;
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            return true;
        default:
            return false;
        }
    }

    QObject *m_combo;
    QObject *m_list;
    QObject *m_viewport;
    bool m_open = false;
};

ChoiceGate *gateOf(QComboBox *combo)
{
    for (QObject *child : combo->children())
        if (auto *gate = dynamic_cast<ChoiceGate *>(child))
            return gate;
    return new ChoiceGate(combo);
}
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
    auto *hold = new TypingIsNoChoice(combo);
    combo->installEventFilter(hold);
    combo->lineEdit()->installEventFilter(hold);
    gateOf(combo);
}

void onChoice(QComboBox *combo, QObject *context, std::function<void(int)> handler)
{
    ChoiceGate *gate = gateOf(combo);
    QObject::connect(combo, qOverload<int>(&QComboBox::activated), context, [gate, handler](int index) {
        if (gate->isOpen())
            handler(index);
    });
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
