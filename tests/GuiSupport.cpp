// SPDX-License-Identifier: GPL-3.0-or-later
#include "GuiSupport.h"
#include "TestSupport.h"

#include "app/Startup.h"
#include "app/SettingsFiles.h"
#include "data/basMain.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "widgets/ProgressWindow.h"
#include "widgets/WindowPlace.h"
#include "platform/Paths.h"

#include "data/engines/Archive.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <limits>

GuiFixture::GuiFixture()
{
    Paths::setProgramFolder(program());
    // Never this machine's /etc/velbor/SERVER.DAT.
    SettingsFiles::setAdminFolder(root() + "/etc-velbor");
    MessageBox::setScripted(true);
    MessageBox::clearShown();
    FileDialog::setScripted(true);
    Desktop::setScripted(true);
    ProgressWindow::setScripted(true);
    // Each test's windows open as if for a new user.
    WindowPlace::setFile(root() + QStringLiteral("/finestre.ini"));
    Velbor::installItalianLocale();
}

GuiFixture::~GuiFixture()
{
    // Leave the temporary folders before they are removed.
    QDir::setCurrent(QDir::tempPath());
}

SessionFixture::SessionFixture()
{
    s.state.PercorsoDati = f.data();
    ApriArchivio(s.state, s.archive, f.program());
}

bool activate(QWidget *window)
{
    window->show();
    window->activateWindow();
    window->raise();
    return QTest::qWaitForWindowActive(window);
}

void clickAndSelectAll(QWidget *box)
{
    auto *combo = qobject_cast<QComboBox *>(box);
    QWidget *target = combo && combo->lineEdit() ? combo->lineEdit() : box;
    QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(4, target->height() / 2));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
}

void typeHere(const QString &text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void pressHere(int key)
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
}

bool chooseInList(QComboBox *combo, const QString &text, ChooseBy how)
{
    const int entry = combo->findText(text, Qt::MatchExactly);
    if (entry < 0)
        return false;
    combo->showPopup();
    QAbstractItemView *list = combo->view();
    if (!QTest::qWaitForWindowExposed(list->window()))
        return false;
    const QModelIndex index = list->model()->index(entry, combo->modelColumn(), list->rootIndex());
    list->scrollTo(index);
    if (how == ChooseBy::Click) {
        // A release too soon after the list opened is taken as the opening click's own.
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        list->setCurrentIndex(index);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
    } else {
        list->setCurrentIndex(index);
        QTest::keyClick(list, Qt::Key_Return);
    }
    return !list->isVisible();
}

struct HeldWrite::State {
    std::atomic<bool> ready{false};
    std::atomic<bool> ok{false};
    QString error;
    QThread *thread = nullptr;
};

HeldWrite::HeldWrite(const QString &archive, Writes writes, int holdMs) : d(std::make_shared<State>())
{
    d->thread = QThread::create([state = d, archive, writes, holdMs] {
        Archive other;
        QString error;
        bool ok = other.open(archive, &error) && other.store().begin(&error);
        if (ok) {
            ok = writes(other, &error);
            state->ready = true;
            QThread::msleep(holdMs);
            if (ok)
                ok = other.store().commit(&error);
            else
                other.store().rollback();
        }
        state->error = error;
        state->ok = ok;
        state->ready = true;
    });
    d->thread->start();
}

HeldWrite::~HeldWrite()
{
    d->thread->wait();
    delete d->thread;
}

bool HeldWrite::ready() const
{
    return d->ready;
}

bool HeldWrite::finish(QString *error)
{
    d->thread->wait();
    *error = d->error;
    return d->ok;
}

bool insertRow(Archive &archive, const QString &table, const QVariantMap &fields, QString *error)
{
    const TableInfo *t = archive.table(table);
    RawRow row(t->columns.size());
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        row[t->indexOf(it.key())] = it.value();
    qint64 key = 0;
    return archive.store().insert(*t, row, &key, error);
}

bool removeRows(Archive &archive, const QString &table, const QString &criterion, QString *error)
{
    const TableInfo *t = archive.table(table);
    const ParsedCriterion parsed = parseCriterion(criterion, *t);
    QVector<StoredRow> rows;
    if (!archive.store().select(*t, parsed.terms, std::numeric_limits<qint64>::min(), -1, &rows, error))
        return false;
    for (const StoredRow &row : std::as_const(rows))
        if (!archive.store().remove(*t, row.key, error))
            return false;
    return true;
}
