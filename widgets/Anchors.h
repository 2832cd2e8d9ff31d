// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows that grow. A window's controls stay where its form places them at
// the form's own size, which is also the least the window may take; the room
// beyond it goes to the controls that hold data (trees, grids, notes, long
// boxes), and the controls beside them move along.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QVector>

#include <functional>

class QWidget;

class Anchors : public QObject {
public:
    // Shares of the extra width (x) and height (y) a control takes: moving
    // its corner, growing its size. {0, 0, 1, 1} grows both ways; {1, 0, 0, 0}
    // keeps to the right edge.
    struct Share {
        double moveX = 0;
        double moveY = 0;
        double growW = 0;
        double growH = 0;
    };
    static constexpr Share Grow{0, 0, 1, 1};
    static constexpr Share GrowWide{0, 0, 1, 0};
    static constexpr Share Right{1, 0, 0, 0};
    static constexpr Share Bottom{0, 1, 0, 0};
    static constexpr Share BottomRight{1, 1, 0, 0};

    // container: the widget whose size gives the room (the window, or a main
    // window's central widget). Its size now is the designed one; it becomes
    // the container's minimum, and the window may be maximised.
    // designed: the container's designed size when its size now is not yet it
    // (a main window's central widget before the window is laid out).
    explicit Anchors(QWidget *container, QSize designed = {});

    // Controls at any depth below the container, each with its designed
    // geometry as it is now.
    Anchors &add(QWidget *control, Share share);
    Anchors &add(std::initializer_list<QWidget *> controls, Share share);

    // Where a control goes at the container's present size.
    QRect placed(const QWidget *control) const;
    // Runs after the controls are placed (a window's own adjustments).
    void setAfter(std::function<void()> after) { m_after = std::move(after); }
    QSize designed() const { return m_base; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Entry {
        QPointer<QWidget> control;
        QRect base;
        Share share;
    };
    void apply();
    QRect place(const Entry &e) const;

    QWidget *m_container;
    QSize m_base;
    QVector<Entry> m_entries;
    std::function<void()> m_after;
};
