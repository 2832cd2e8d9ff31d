// SPDX-License-Identifier: GPL-3.0-or-later
#include "Anchors.h"

#include <QEvent>
#include <QWidget>

Anchors::Anchors(QWidget *container, QSize designed)
    : QObject(container), m_container(container), m_base(designed.isValid() ? designed : container->size())
{
    container->setMinimumSize(m_base);
    container->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QWidget *window = container->window();
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    window->setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    window->setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, false);
    container->installEventFilter(this);
}

Anchors &Anchors::add(QWidget *control, Share share)
{
    m_entries.append({control, control->geometry(), share});
    return *this;
}

Anchors &Anchors::add(std::initializer_list<QWidget *> controls, Share share)
{
    for (QWidget *control : controls)
        add(control, share);
    return *this;
}

QRect Anchors::place(const Entry &e) const
{
    const int dx = std::max(0, m_container->width() - m_base.width());
    const int dy = std::max(0, m_container->height() - m_base.height());
    return {e.base.x() + qRound(dx * e.share.moveX), e.base.y() + qRound(dy * e.share.moveY),
            e.base.width() + qRound(dx * e.share.growW), e.base.height() + qRound(dy * e.share.growH)};
}

QRect Anchors::placed(const QWidget *control) const
{
    for (const Entry &e : m_entries)
        if (e.control == control)
            return place(e);
    return control->geometry();
}

void Anchors::apply()
{
    for (const Entry &e : m_entries)
        if (e.control)
            e.control->setGeometry(place(e));
    if (m_after)
        m_after();
}

bool Anchors::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_container && event->type() == QEvent::Resize)
        apply();
    return QObject::eventFilter(watched, event);
}
