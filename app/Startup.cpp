#include "Startup.h"

#include "app/frmMain.h"
#include "data/PgStore.h"
#include "platform/PasswordDialog.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace Velbor {

void installItalian(QApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(translator);
}

int run(QApplication &app)
{
    QApplication::setApplicationName(QStringLiteral("Velbor"));
    installItalian(app);
    PgStore::setPasswordPrompt([](const QString &where, QString *password, bool *remember) {
        return PasswordDialog::ask(QApplication::activeWindow(), where, password, remember);
    });
    Session session;
    frmMain main(session);
    if (!main.Form_Load())
        return 1;
    main.show();
    return app.exec();
}

} // namespace Velbor
