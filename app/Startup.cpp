// SPDX-License-Identifier: GPL-3.0-or-later
#include "Startup.h"

#include "app/frmMain.h"
#include "data/engines/PgStore.h"
#include "platform/MessageBox.h"
#include "widgets/PasswordDialog.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>

namespace Velbor {

void installItalian(QApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(translator);
}

void installServerAccess(const QString &knownServerFile)
{
    PgStore::setPasswordPrompt([](const QString &where, QString *password, bool *remember) {
        return PasswordDialog::ask(QApplication::activeWindow(), where, password, remember);
    });
    PgStore::setKnownServer(knownServerFile, [](const QString &now, const QString &before) {
        return MessageBox::askDefaultNo(
            QApplication::activeWindow(),
            QStringLiteral("L'archivio ora indica un altro server: %1 invece di %2.\n\n"
                           "Se l'amministratore non ha spostato l'archivio, qualcuno può avere modificato il file "
                           "Velbor.server nella cartella dati, e il nuovo server potrebbe raccogliere le password.\n\n"
                           "Collegarsi comunque ?")
                .arg(now, before));
    });
}

QString knownServerFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/server-verificato.ini");
}

int run(QApplication &app)
{
    // The name also places an installed copy's files in the user's folders
    // (~/.config/Velbor, ~/.local/share/Velbor); the desktop file name ties
    // the window to the menu entry and its icon.
    QApplication::setApplicationName(QStringLiteral("Velbor"));
    QGuiApplication::setDesktopFileName(QStringLiteral("velbor"));
    installItalian(app);
    installServerAccess(knownServerFile());
    Session session;
    frmMain main(session);
    if (!main.Form_Load())
        return 1;
    main.show();
    return app.exec();
}

} // namespace Velbor
