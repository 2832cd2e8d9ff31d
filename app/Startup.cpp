// SPDX-License-Identifier: GPL-3.0-or-later
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
    // The name also places an installed copy's files in the user's folders
    // (~/.config/Velbor, ~/.local/share/Velbor); the desktop file name ties
    // the window to the menu entry and its icon.
    QApplication::setApplicationName(QStringLiteral("Velbor"));
    QGuiApplication::setDesktopFileName(QStringLiteral("velbor"));
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
