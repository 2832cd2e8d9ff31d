// SPDX-License-Identifier: GPL-3.0-or-later
#include "Resources.h"

#include <QtGlobal>

static void registerVelborResources()
{
    Q_INIT_RESOURCE(velbor);
}

void ensureResources()
{
    static const bool once = (registerVelborResources(), true);
    Q_UNUSED(once);
}
