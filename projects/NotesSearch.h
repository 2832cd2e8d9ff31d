// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The notes pages' words for the project window's search. The first Ctrl+F
// of a window reads the texts kept in the archive on a thread of its own
// (a connection of its own on a file archive); every Ctrl+F then looks, on
// another thread, for pages changed, made or deleted by other programs since
// their text was kept, reads those again and keeps their new text in the
// archive for every workstation.

#include "data/NotesIndex.h"
#include "data/Session.h"

#include <QCache>
#include <QObject>

#include <atomic>
#include <memory>

class Worker;

class NotesSearch : public QObject {
    Q_OBJECT

public:
    explicit NotesSearch(Session &session, QObject *parent = nullptr);
    ~NotesSearch() override;

    // Ctrl+F: pages is the kept name of every node's notes page. Loads the
    // kept texts the first time, then looks at the pages (neither when a
    // look is under way).
    void refresh(const QStringList &pages);
    // When the window opens: the kept texts of a file archive are loaded
    // off the window already, so the first Ctrl+F finds them ready.
    void preload();
    // The page was just saved here (or may have been): looked at at once.
    void recheck(const QString &page);
    const NotesWords &words() const { return m_words; }
    // A page's plain text, for the line shown in the results.
    QString text(const QString &page);
    // Whether the texts are loaded and no look is under way.
    bool settled() const { return m_loaded && !m_walker; }

signals:
    // Pages' words changed: what is typed is looked for again.
    void changed();
    // A look at the pages ended.
    void settledNow();

private:
    void loaded(NotesWords *words, const QString &error);
    void startLoad();
    void startWalk();
    void walked();
    // Keeps the rows found in the archive, and their words.
    void apply(QVector<NotesIndex::Row> rows);

    Session &m_session;
    NotesWords m_words;
    bool m_loaded = false;
    QStringList m_pages;          // as given by the last refresh
    bool m_walkWanted = false;    // a refresh asked for a look
    std::unique_ptr<Worker> m_loader, m_walker;
    std::atomic<bool> m_stop{false};
    QCache<QString, QString> m_texts;
};
