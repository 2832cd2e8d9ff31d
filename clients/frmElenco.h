// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The projects of one client, printable.

#include "data/Session.h"

#include <QFont>
#include <QLine>
#include <QList>
#include <QRect>
#include <QWidget>

class GridColumns;
class QPainter;
class QPaintDevice;
class QPrinter;

// One text of a printed page: drawn into rect, which is as tall as the text
// needs, with the flags it was measured with.
struct PrintedText {
    QRect rect;
    QString text;
    QFont font;
    int flags = 0;
};

struct PrintedPage {
    QList<PrintedText> texts;
    QList<QLine> lines;
};

namespace Ui {
class frmElenco;
}

class frmElenco : public QWidget {
    Q_OBJECT

public:
    explicit frmElenco(Session &session, QWidget *parent = nullptr);
    ~frmElenco() override;

    // Prints the client's heading and the grid, as many pages as it takes.
    void printTo(QPrinter *printer);
    // Where everything goes on pages of the given size (device units): the
    // studio, the heading, the date and page number apart, every cell whole.
    QList<PrintedPage> layoutPages(const QPaintDevice *device, const QSize &area) const;
    static void paintPage(QPainter &painter, const PrintedPage &page);
    // The PDF file a print to a file proposes.
    QString pdfProposal() const;

public slots:
    void cmdStampa_Click();
    void cmdChiudi_Click();

private:
    void Form_Load();
    QString clientName() const;

    Ui::frmElenco *ui;
    GridColumns *m_columns = nullptr;
    Session &m_session;
};
