// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The notes page: a rich-text box whose content is only what the notes file
// can keep. Pasted pictures become PNG pictures held by the page itself, and
// Ctrl+B, Ctrl+I, Ctrl+U format the selection.

#include <QTextEdit>

class NotesEdit : public QTextEdit {
    Q_OBJECT

public:
    explicit NotesEdit(QWidget *parent = nullptr);

    // Makes every picture of the page one the page holds as an image, so
    // that a save writes it; pictures that cannot be had are removed.
    void keepPicturesInPage();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    QString addPicture(const QImage &image);
    int m_pasted = 0;
};
