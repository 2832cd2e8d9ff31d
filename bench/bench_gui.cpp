// Speed of the windows on the large archive built by bench.cpp.
#include "BenchArchive.h"
#include "app/frmMain.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QFile>

int runGuiBench(int argc, char **argv, const QString &folder)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::setScripted(true);
    Paths::setProgramFolder(folder);
    QFile::remove(folder + "/SERVER.DAT");

    report("main window start-up (settings, archive, configuration)", timeMs([&] {
               Session session;
               frmMain main(session);
               main.Form_Load();
           }));
    return 0;
}
