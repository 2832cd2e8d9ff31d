// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The project window opened on a fresh archive, and the hands and eyes the
// project window's suites use on it.

#include "GuiSupport.h"
#include "TestSupport.h"
#include "app/frmMain.h"
#include "data/engines/Archive.h"
#include "components/frmCOmponenti.h"
#include "data/basMain.h"
#include "platform/MessageBox.h"
#include "widgets/SearchPanel.h"
#include "widgets/Widgets.h"
#include "projects/ProjectEditor.h"
#include "projects/ProjectTreeModel.h"
#include "projects/NotesSearch.h"
#include "projects/frmProgetti.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include "data/TextSearch.h"

namespace {

// Types text key by key, letters beyond ASCII included.
void typeText(QWidget *widget, const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

struct Opened : SessionFixture {
    frmProgetti *w = nullptr;

    ~Opened() { delete w; }
    frmProgetti *open()
    {
        w = new frmProgetti(s);
        w->show();
        return w;
    }
    template <typename T> T *get(const char *name) const { return w->findChild<T *>(name); }
    QComboBox *combo(const char *name) const { return get<QComboBox>(name); }
    QLineEdit *box(const char *name) const { return get<QLineEdit>(name); }
    void click(const char *button) const { QTest::mouseClick(w->findChild<QAbstractButton *>(button), Qt::LeftButton); }
    void sheet(int index) const { get<QTabWidget>("STab1")->setCurrentIndex(index); }
    void type(const char *comboName, const QString &text) const
    {
        QComboBox *c = combo(comboName);
        c->setEditText(QString());
        QTest::keyClicks(c->lineEdit(), text);
    }
    bool clickNode(const QString &key) const
    {
        QTreeView *view = w->tree();
        const QModelIndex idx = w->treeModel()->indexOfKey(key);
        if (!idx.isValid())
            return false;
        for (QModelIndex p = idx.parent(); p.isValid(); p = p.parent())
            view->expand(p);
        view->scrollTo(idx);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(idx).center());
        return true;
    }
    QString lastMessage() const { return MessageBox::shown().isEmpty() ? QString() : MessageBox::shown().last().text; }
    // Opens the search with Ctrl+F and types text, as a user does.
    void search(const QString &text) const
    {
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w, Qt::Key_F, Qt::ControlModifier);
        QLineEdit *edit = box("edtCerca");
        QVERIFY(edit->hasFocus());
        typeText(edit, text);
        QTRY_VERIFY(w->search()->isOpen() && TextSearch::words(edit->text()) == TextSearch::words(text));
        QCoreApplication::processEvents();
    }
    QString currentKey() const { return w->treeModel()->key(w->tree()->currentIndex()); }
    QString countText() const { return get<QLabel>("lblRisultati")->text(); }
};

// Node texts of the tree, depth first, with two spaces of indent per level.
QStringList shape(ProjectTreeModel *m, const QModelIndex &parent = {}, int depth = 0)
{
    QStringList out;
    for (int r = 0; r < m->rowCount(parent); ++r) {
        const QModelIndex idx = m->index(r, 0, parent);
        out << QString(depth * 2, ' ') + m->key(idx);
        out << shape(m, idx, depth + 1);
    }
    return out;
}

struct ComponentsSeen {
    bool shown = false;
    QString codPrj, dataIns;
    QObject context;   // a catch that did not fire goes with it
};

// Closes the modal components window as soon as it shows, noting what it was handed.
ComponentsSeen *catchComponents()
{
    auto *seen = new ComponentsSeen;
    QTimer::singleShot(0, &seen->context, [seen] {
        if (auto *dlg = qobject_cast<frmCOmponenti *>(QApplication::activeModalWidget())) {
            seen->shown = true;
            seen->codPrj = dlg->CodPrj;
            seen->dataIns = dlg->DataIns;
            dlg->close();
        }
    });
    return seen;
}

} // namespace
