// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A record's history: each field its saves changed, with the value before and
// after, who saved it, from which workstation and when, newest first.
// "Copia nella casella" puts a value of before back into the box of the
// window that asked; that window's own save then stores it.

#include "data/Journal.h"

#include <QHash>
#include <QWidget>

#include <functional>

class Archive;
class GridColumns;
class RecordView;

namespace Ui {
class frmStorico;
}

class frmStorico : public QWidget {
    Q_OBJECT

public:
    // A field of the record as the window that asks shows it.
    struct Field {
        QString label;            // as the window names it
        QWidget *box = nullptr;   // where its value goes back; none: the window has no box for it
        QString refusal;          // why its value never goes back from here, when it never does
        // Puts a value in the box when the box needs more than its text set
        // (a list box whose choice shows more beside it).
        std::function<void(const QString &text)> put;
    };
    struct Record {
        QString table;                  // Progetti, RighePRJ, Clienti or Configura
        qint64 key = 0;                 // its row key
        QString what;                   // in the title: "Progetto P12"
        QHash<QString, Field> fields;   // by field name, lower case
    };

    // Opens the history of record above owner, modal to it. Without the
    // history in the archive, or when the engine cannot read it, a message
    // says why and nothing opens (nullptr).
    static frmStorico *open(QWidget *owner, Archive &archive, const Record &record);

    frmStorico(Archive &archive, Record record, QWidget *owner = nullptr);
    ~frmStorico() override;

    // Reads the record's history into the list; false with the engine's message.
    bool load(QString *error);

    // The row key of the record criterion finds in view, whose history is
    // asked for; 0 after a message: the engine's error, or that gone (as
    // "Il progetto P1") is no longer in the archive.
    static qint64 keyOf(QWidget *owner, RecordView &view, const QString &criterion, const QString &gone);
    // Why a code is never copied back: saving under another code makes a
    // new record (newRecord: "cliente", "record").
    static QString codeRefusal(const QString &newRecord);

    // A value as its cell shows it: the first line, at most a few words long.
    static QString shortened(const QString &value);
    // Puts text in a box of the kinds the windows use; false with why not.
    static bool putInBox(QWidget *box, const QString &text, QString *why);

public slots:
    void cmdCopia_Click();
    void cmdChiudi_Click();

private:
    Ui::frmStorico *ui;
    Archive &m_archive;
    Record m_record;
    QVector<HistoryLine> m_lines;
    GridColumns *m_columns;
};
