// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowPlace.h"

#include "widgets/Widgets.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

namespace {
QString &placesFile()
{
    static QString path;
    return path;
}

QString settingsKey(const QString &key)
{
    return QStringLiteral("finestre/") + key;
}

bool onSomeScreen(const QRect &frame)
{
    for (const QScreen *screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersected(frame).width() >= 100
            && screen->availableGeometry().contains(QPoint(frame.center().x(), frame.top() + 10)))
            return true;
    return false;
}

class Keeper : public QObject {
public:
    Keeper(QWidget *window, QString key) : QObject(window), m_window(window), m_key(std::move(key))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        if (event->type() == QEvent::Show && !m_placed) {
            m_placed = true;
            restore();
        } else if ((event->type() == QEvent::Hide || event->type() == QEvent::Close) && m_placed
                   && !m_window->isMinimized()) {
            remember();
        }
        return false;
    }

private:
    void restore()
    {
        QSettings settings(WindowPlace::file(), QSettings::IniFormat);
        const QByteArray saved = settings.value(settingsKey(m_key)).toByteArray();
        if (!saved.isEmpty() && m_window->restoreGeometry(saved) && onSomeScreen(m_window->frameGeometry()))
            return;
        centerOnScreen(m_window);
    }

    void remember()
    {
        QSettings settings(WindowPlace::file(), QSettings::IniFormat);
        settings.setValue(settingsKey(m_key), m_window->saveGeometry());
    }

    QWidget *m_window;
    QString m_key;
    bool m_placed = false;
};
}

namespace WindowPlace {

QString file()
{
    if (placesFile().isEmpty())
        return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/finestre.ini");
    return placesFile();
}

void setFile(const QString &path)
{
    placesFile() = path;
}

void keep(QWidget *window, const QString &key)
{
    new Keeper(window, key);
}

}
