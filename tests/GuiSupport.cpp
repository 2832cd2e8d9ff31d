// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "data/basMain.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ProgressWindow.h"
#include "platform/Paths.h"

#include <QDir>

GuiFixture::GuiFixture()
{
    Paths::setProgramFolder(program());
    MessageBox::setScripted(true);
    MessageBox::clearShown();
    FileDialog::setScripted(true);
    Desktop::setScripted(true);
    ProgressWindow::setScripted(true);
}

GuiFixture::~GuiFixture()
{
    // Leave the temporary folders before they are removed.
    QDir::setCurrent(QDir::tempPath());
}

SessionFixture::SessionFixture()
{
    s.state.PercorsoDati = f.data();
    ApriArchivio(s.state, s.archive, f.program());
}
