// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // --help, --version and options it does not know answer before any
    // window system is reached: they work without a display.
    if (const int status = Velbor::commandLine(argc, argv); status >= 0)
        return status;
    QApplication app(argc, argv);
    return Velbor::run(app);
}
