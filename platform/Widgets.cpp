#include "Widgets.h"

#include "data/RecordView.h"
#include "platform/MessageBox.h"

#include <QComboBox>
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

bool storeOrReport(QWidget *parent, RecordView &view, bool fieldsSet)
{
    if (fieldsSet && view.update())
        return true;
    const QString error = view.lastError();
    view.cancelUpdate();
    MessageBox::error(parent, error);
    return false;
}
