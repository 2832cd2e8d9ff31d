// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rules of the project window's records, apart from the window: where
// the folders of projects and items lie, which codes are free to propose,
// what a save may write over and what a delete must find first. The window
// reads its boxes into a form, hands it here and shows the outcome; its
// questions and notices come back through Dialogs, so tests can drive the
// rules without a window.

#include "data/RecordView.h"
#include "data/Session.h"

#include <QDateTime>
#include <QSet>

#include <functional>

class ProjectEditor {
public:
    struct Dialogs {
        std::function<bool(const QString &question)> askDefaultNo;   // Yes and No, No by default
        std::function<void(const QString &notice)> notice;           // a plain notice with OK
        std::function<void(const QString &notice)> warn;             // a notice with OK and a warning sign
        std::function<void(const QString &message)> error;           // the engine's message
    };

    // A project as the window's boxes hold it. code may change when the
    // user takes the first free code instead of a taken one.
    struct ProjectForm {
        QString code, descr, ufficio, reparto, operatore, telefono, email, fax, specifica, note, client;
        QDateTime date;   // invalid: a stored date that could not be read, kept as stored
    };
    struct ItemForm {
        int level = 1;
        QString code, descr;
        QDateTime date;
    };

    // The records chosen and shown in the window: a save of the code on show
    // edits it, and only over the row as shown; any other code is a new
    // record that never replaces one already stored.
    struct Shown {
        QString project;
        RawRow projectRow;
        QString item[3];
        QString itemProject[3];
        RawRow itemRow[3];
    };

    ProjectEditor(Session &session, Dialogs dialogs);

    Shown shown;

    // Project folder, and item folder inside it, as full paths.
    QString projectFolder(const QString &project) const;
    QString itemFolder(const QString &project, const QString &item) const;
    // Makes the last component of path (never a data folder gone away, never
    // through a link that leads outside it); false with a notice when it cannot.
    bool ensureFolder(const QString &path);
    // False with a notice when code cannot be a folder name.
    bool checkFolderName(const QString &code);
    // The stored spelling of a project's code; empty when no project has it.
    QString storedProjectCode(const QString &code);
    bool projectExists(const QString &code) { return !storedProjectCode(code).isEmpty(); }
    // Why an item code cannot have its own folder and notes in project (the
    // project's code, or an item of the other level there); empty when it can.
    QString itemFolderClash(const QString &project, const QString &code, int level);

    // First free code of a level from the proposal counters: 0 projects, 1 and
    // 2 items of project. Empty (after a notice) when none can be drawn.
    QString proposeCode(int level, const QString &project);

    // Stores the project of form under RunState's current project; true when
    // stored (the working folder is then the project's).
    bool saveProject(ProjectForm &form);
    // Stores an item of the current project; true when stored.
    bool saveItem(ItemForm &form);
    // Deletes a project that has no items, or an item (a level-1 item only
    // when no level-2 item hangs under it); what is checked is checked in the
    // transaction that deletes. True when a row was deleted.
    bool deleteProject(const QString &code);
    bool deleteItem(int level, const QString &code, const QString &project);

private:
    enum class Stored { Yes, Conflict, Failed };
    Stored store(RecordView &view, bool fieldsSet);
    bool askToStoreAgain(const QString &record);
    // Asks whether to save under the first free code after a save found its
    // code taken; the free code replaces *code.
    bool offerFreeCode(int level, QString *code, const QString &project);
    // folders: the names in the folder the code's own folder would lie in.
    // A failed look-up sets *failed and counts as taken.
    bool codeIsFree(int level, const QString &code, const QString &project, const QSet<QString> &folders, bool *failed);
    bool hasLevel2Below(const QString &project, const QString &item, QString *error);

    Session &m_session;
    Dialogs m_dialogs;
};
