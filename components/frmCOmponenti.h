// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The components window of a project or item: the attached files, and the
// notes page of the item in RTF.

#include "data/Session.h"

#include <QDialog>
#include <QImage>

namespace Preview {
class Loader;
struct Outcome;
}

namespace Ui {
class frmCOmponenti;
}

class GridColumns;

class frmCOmponenti : public QDialog {
    Q_OBJECT

public:
    explicit frmCOmponenti(Session &session, QWidget *parent = nullptr);

    // Pages from this size on are read behind a progress dialog.
    static constexpr qint64 kLargeNotes = 1024 * 1024;
    ~frmCOmponenti() override;

    // Fills the list and the notes page; the caller sets the fields first.
    void Form_Load();

    QString CodPrj;   // project whose components are listed
    QString DataIns;  // insertion date given to components added here
    QString Esegui;   // path of the component selected in the list

public slots:
    void cmdNuovo_Click();
    void cmdAggiungi_Click();
    void cmdUsa_Click();
    void cmdChiudi_Click();
    void Grid1_Click(int row);
    void Grid1_DblClick(int row);

    void done(int result) override;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Records one attached file, then lists it; false when the archive refused it.
    bool attach(const QString &chosen);
    // Copies a file into the folder of the project or item, under a free
    // name; the copy's path, or empty (and the reason shown) when it failed.
    QString copyIntoFolder(const QString &source);
    void addRow(const QString &date, const QString &file, const QString &type);
    // Saves the page when it was changed; false (message shown) when the
    // save failed and the user keeps the window open.
    bool saveNotes();
    // Keeps the text of the page just written in the archive, for searches.
    void keepNotesText(const QString &path, const QByteArray &page);
    void loadNotes();
    // Reads a large page off the interface thread behind a progress dialog
    // that can be cancelled; false when cancelled (the page stays unread).
    bool readLargeNotes(const QByteArray &data);
    // The preview pane: asks for the picture of the row's file; shows it, or
    // the file type's icon and the message line.
    void showPreview(int row);
    void showOutcome(const QString &path, const Preview::Outcome &outcome);
    void fitPreview();
    void showPreviewMessage(const QString &message);

    Ui::frmCOmponenti *ui;
    Session &m_session;
    GridColumns *m_columns = nullptr;
    bool m_notesSaved = false;
    // Fingerprint of the notes file as it was when the page was loaded (null
    // when missing), to see whether another workstation saved it meanwhile.
    QByteArray m_notesOnDisk;
    Preview::Loader *m_preview = nullptr;
    QString m_previewPath;   // the file on show in the pane
    QImage m_previewImage;   // its picture; null when the icon is shown
    bool m_previewShown = false; // false while it is read
};

// The type of a file: its name's extension from the last dot, in capitals,
// with the dot; empty when the name has none.
QString componentType(const QString &path);
