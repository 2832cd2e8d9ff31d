// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user guide: its HTML pages, shipped with the program, shown in a window
// of its own, so that it needs no browser.

#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace Ui {
class frmGuida;
}

class frmGuida : public QWidget {
    Q_OBJECT

public:
    // The guide whose index page is index (a file that exists: see indexPage).
    explicit frmGuida(const QString &index, QWidget *parent = nullptr);
    ~frmGuida() override;

    // The index page of the guide in folder; empty, with a message to parent,
    // when it is missing or cannot be read.
    static QString indexPage(QWidget *parent, const QString &folder);

    QTextBrowser *browser() const;

public slots:
    void cmdIndietro_Click();
    void cmdAvanti_Click();
    void cmdIndice_Click();
    void cmdChiudi_Click();

private:
    // A link clicked: another page of the guide, or a place in this one.
    void follow(const QUrl &link);
    void showTitle();

    Ui::frmGuida *ui;
    QUrl m_index;
};
