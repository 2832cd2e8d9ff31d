// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A person's hands on a window: keys go where the focus is, clicks land on
// the box, list entries are chosen in the open list.

#include <QString>

class QComboBox;
class QWidget;

// Shows window and waits until it is active, so focus moves as on a desktop.
bool activate(QWidget *window);
// Clicks into a box (a list box's text part) and selects all it holds, as a
// person does before typing over it.
void clickAndSelectAll(QWidget *box);
// Types text where the focus is now.
void typeHere(const QString &text);
// Presses a key where the focus is now.
void pressHere(int key);
// Chooses entry text in combo's open list: a click on it, or Enter after the
// arrow keys reached it. False when the list holds no such entry.
enum class ChooseBy { Click, Enter };
bool chooseInList(QComboBox *combo, const QString &text, ChooseBy how);

#include <QVariantMap>

#include <functional>
#include <memory>

class Archive;

// Another workstation on the same archive, on a thread of its own: it opens
// the archive, makes its writes inside one transaction, and holds that
// transaction for a moment before committing, so that a command given here
// meanwhile waits for the archive's lock. ready() once the writes are made.
class HeldWrite {
public:
    using Writes = std::function<bool(Archive &archive, QString *error)>;
    HeldWrite(const QString &archive, Writes writes, int holdMs = 600);
    ~HeldWrite();
    bool ready() const;
    // Waits for the commit; false with the message when anything failed.
    bool finish(QString *error);

private:
    struct State;
    std::shared_ptr<State> d;
};
// Writes for HeldWrite, at the store's level (inside its transaction).
bool insertRow(Archive &archive, const QString &table, const QVariantMap &fields, QString *error);
bool removeRows(Archive &archive, const QString &table, const QString &criterion, QString *error);
