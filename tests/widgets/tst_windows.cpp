// SPDX-License-Identifier: GPL-3.0-or-later
// Every window grows: never below its design, the room beyond it to what
// holds data; it opens centred the first time and where its user left it
// afterwards. The file dialog's dates read as the program's.
#include "GuiSupport.h"
#include "TestSupport.h"
#include "app/frmCestino.h"
#include "app/frmMain.h"
#include "clients/frmClienti.h"
#include "clients/frmElenco.h"
#include "components/frmCOmponenti.h"
#include "config/frmConfigura.h"
#include "platform/FileDialog.h"
#include "projects/frmProgetti.h"
#include "widgets/frmStorico.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTreeView>
#include <QScreen>
#include <QtTest>

#include <functional>
#include <memory>

namespace {
using Make = std::function<QWidget *(Session &)>;

struct Row {
    Make make;
    QSize designed;        // the least the window may take (its client area)
    const char *data;      // a control that holds data and grows
    QSize grows;           // how much it grows for 100 by 60 more
    const char *beside;    // a control that moves with the right edge
    int moves = 100;       // how far it moves for 100 more
};
} // namespace
Q_DECLARE_METATYPE(Row)

class TestWindows : public QObject {
    Q_OBJECT

private slots:
    void growsAndKeepsItsPlace_data()
    {
        QTest::addColumn<Row>("row");
        QTest::newRow("principale") << Row{[](Session &s) {
                                               auto *w = new frmMain(s);
                                               w->Form_Load();
                                               return w;
                                           },
                                           QSize(600, 399), "lblDItta", QSize(100, 0), "fraPulsanti"};
        QTest::newRow("clienti") << Row{[](Session &s) { return new frmClienti(s); }, QSize(603, 425), "lstRisultati",
                                        QSize(100, 60), "cmdSalva"};
        QTest::newRow("progetti") << Row{[](Session &s) { return new frmProgetti(s); }, QSize(650, 505), "tvwProgetti",
                                         QSize(100, 30), "cmdSalva"};
        QTest::newRow("configurazione") << Row{[](Session &s) { return new frmConfigura(s); }, QSize(543, 450),
                                               "txtDitta", QSize(100, 0), "cmdConferma"};
        QTest::newRow("elenco") << Row{[](Session &s) { return new frmElenco(s); }, QSize(635, 421), "Grid1",
                                       QSize(100, 60), "cmdChiudi"};
        QTest::newRow("cestino") << Row{[](Session &s) { return new frmCestino(s); }, QSize(640, 400), "lstCestino",
                                        QSize(100, 60), "cmdChiudi"};
        QTest::newRow("componenti") << Row{[](Session &s) {
                                               auto *w = new frmCOmponenti(s);
                                               w->Form_Load();
                                               return w;
                                           },
                                           // The buttons move with the list, which shares
                                           // the width with the preview.
                                           QSize(904, 475), "RTF1", QSize(100, 42), "cmdChiudi", 70};
        QTest::newRow("storico") << Row{[](Session &s) {
                                            auto *w = new frmStorico(s.archive, {Tables::Progetti, 1, "Progetto P1", {}});
                                            QString error;
                                            w->load(&error);
                                            return w;
                                        },
                                        QSize(760, 320), "lstStorico", QSize(100, 60), "cmdChiudi"};
    }

    void growsAndKeepsItsPlace()
    {
        QFETCH(Row, row);
        SessionFixture o;
        const auto inner = [](QWidget *w) {
            auto *main = qobject_cast<QMainWindow *>(w);
            return main ? main->centralWidget() : w;
        };

        std::unique_ptr<QWidget> w(row.make(o.s));
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(inner(w.get())->minimumSize(), row.designed);
        QVERIFY(w->windowFlags() & Qt::WindowMaximizeButtonHint);
        // The first time, centred on the screen.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2((w->frameGeometry().center() - screen.center()).manhattanLength() <= 8,
                 qPrintable(QStringLiteral("%1,%2").arg(w->frameGeometry().center().x()).arg(w->frameGeometry().center().y())));

        auto *data = w->findChild<QWidget *>(row.data);
        auto *beside = w->findChild<QWidget *>(row.beside);
        const QRect data0 = data->geometry(), beside0 = beside->geometry();
        w->resize(w->size() + QSize(100, 60));
        QTRY_COMPARE(data->size(), data0.size() + row.grows);
        QCOMPARE(beside->x(), beside0.x() + row.moves);
        w->move(screen.topLeft() + QPoint(20, 30));
        const QRect left = w->geometry();
        w->close();

        // The next window opens where this one was left, at its size.
        std::unique_ptr<QWidget> again(row.make(o.s));
        again->setAttribute(Qt::WA_DeleteOnClose, false);
        again->show();
        QVERIFY(QTest::qWaitForWindowExposed(again.get()));
        QTRY_COMPARE(again->geometry(), left);
        QCOMPARE(again->findChild<QWidget *>(row.data)->size(), data0.size() + row.grows);
    }

    // Qt's own file dialog lists dates as the program writes them, not in the
    // desktop's language.
    void theFileDialogWritesDatesAsTheProgram()
    {
        QTemporaryDir dir;
        QFile file(dir.path() + "/pianta.dwg");
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setFileTime(QDateTime(QDate(2026, 12, 9), QTime(10, 12)), QFileDevice::FileModificationTime));
        file.close();
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setViewMode(QFileDialog::Detail);
        FileDialog::useProgramDates(dialog);
        dialog.setDirectory(dir.path());
        dialog.show();
        auto *view = dialog.findChild<QTreeView *>("treeView");
        QVERIFY(view);
        auto *dates = dynamic_cast<FileDialog::ProgramDates *>(view->itemDelegateForColumn(3));
        QVERIFY(dates);
        auto *files = qobject_cast<QFileSystemModel *>(view->model());
        QVERIFY(files);
        QTRY_VERIFY(files->index(dir.path() + "/pianta.dwg").isValid());
        QStyleOptionViewItem option;
        dates->initStyleOption(&option, files->index(dir.path() + "/pianta.dwg", 3));
        QCOMPARE(option.text, QStringLiteral("09/12/2026 10:12"));
        QVERIFY(view->header()->sectionSize(3) > view->fontMetrics().horizontalAdvance(option.text));
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
