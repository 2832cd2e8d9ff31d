// SPDX-License-Identifier: GPL-3.0-or-later
#include "Startup.h"

#include "app/frmMain.h"
#include "data/engines/PgStore.h"
#include "platform/MessageBox.h"
#include "widgets/PasswordDialog.h"

#include "Version.h"

#include <QApplication>
#include <QDate>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTextStream>
#include <QTranslator>

#include <algorithm>

namespace {
const char *const kHelp =
    "Uso: velbor [OPZIONE]\n"
    "\n"
    "Velbor, il registro dei clienti e dei progetti dello studio tecnico. Senza\n"
    "opzioni apre la finestra principale sull'archivio della cartella dati.\n"
    "\n"
    "Opzioni:\n"
    "  -h, --help     mostra questo aiuto ed esce.\n"
    "  --version      mostra la versione ed esce.\n"
    "\n"
    "Sono accettate anche le opzioni comuni dei programmi Qt, per esempio\n"
    "-platform NOME, -style NOME, -reverse e -session ID.\n"
    "\n"
    "La cartella dati è quella indicata nel file SERVER.DAT dell'utente\n"
    "(~/.config/Velbor/SERVER.DAT); chi non ne ha uno parte dalla cartella che\n"
    "l'amministratore ha indicato in /etc/velbor/SERVER.DAT. L'amministrazione\n"
    "dell'archivio (copie, backup, server) si fa con velbor_admin.\n";

const char *const kVersion =
    "velbor " VELBOR_VERSION "\n"
    "Licenza GPL-3.0-or-later: GNU GPL versione 3 o successiva\n"
    "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
    "Questo è software libero: si è liberi di modificarlo e ridistribuirlo.\n"
    "Non c'è ALCUNA GARANZIA, nei limiti permessi dalla legge.\n";

// Qt's own options, which QApplication takes out of the command line: with
// a value in the next argument, or alone. Qt reads them with one dash or two.
const QStringList kQtWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry", "qwindowtitle",
    "title", "qwindowicon", "icon", "session", "display", "name", "style", "stylesheet"};
const QStringList kQtAlone = {"reverse", "widgetcount", "sync", "nograb", "dograb", "testability"};
const QStringList kQtJoined = {"style=", "stylesheet=", "qmljsdebugger="};

int refuse(const QString &message)
{
    QTextStream(stderr) << message << "\nPer l'elenco delle opzioni: velbor --help\n";
    return 2;
}
} // namespace

namespace Velbor {

int commandLine(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            QTextStream(stdout) << kHelp;
            return 0;
        }
        if (arg == QLatin1String("--version")) {
            QTextStream(stdout) << kVersion;
            return 0;
        }
        if (!arg.startsWith(QLatin1Char('-')) || arg.size() < 2)
            return refuse(QStringLiteral("Argomento non previsto: %1").arg(arg));
        const QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
        if (kQtAlone.contains(name)
            || std::any_of(kQtJoined.cbegin(), kQtJoined.cend(), [&](const QString &p) { return name.startsWith(p); }))
            continue;
        if (kQtWithValue.contains(name)) {
            if (++i >= argc)
                return refuse(QStringLiteral("L'opzione %1 vuole un valore.").arg(arg));
            continue;
        }
        return refuse(QStringLiteral("Opzione sconosciuta: %1").arg(arg));
    }
    return -1;
}

void installItalianLocale()
{
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
}

void installItalian(QApplication &app)
{
    installItalianLocale();
    auto *translator = new QTranslator(&app);
    // Qt's own texts ("Sì", "Annulla"): where the system's Qt keeps them,
    // or beside the program (the Windows program folder ships them).
    if (translator->load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || translator->load(QStringLiteral("qtbase_it"), QCoreApplication::applicationDirPath() + QStringLiteral("/translations")))
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
    // the window to the menu entry and its icon (packaging/packaging.cmake
    // names the desktop file by the same id).
    QApplication::setApplicationName(QStringLiteral("Velbor"));
    QGuiApplication::setDesktopFileName(QStringLiteral("invalid.velbor.velbor"));
    installItalian(app);
    installServerAccess(knownServerFile());
    Session session;
    frmMain main(session);
    if (!main.Form_Load())
        return 1;
    main.show();
    main.startDailyBackup(QDate::currentDate());
    return app.exec();
}

} // namespace Velbor
