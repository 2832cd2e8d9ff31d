// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SERVER.DAT (the data folder) and MAXPRJ.DAT (the component counter): one
// line each, CR LF, in the folder this copy keeps them in (Paths::settingsFolder).

#include "data/RunState.h"

namespace SettingsFiles {
// Reads both files into state; a file that is missing, empty, unreadable or
// not what it should be leaves its value as it was. Returns true when
// SERVER.DAT gave the data folder.
bool read(RunState &state, const QString &folder);
// For a user of an installed copy who has no SERVER.DAT yet: the data folder
// an administrator named for every such user, in adminFolder()/SERVER.DAT,
// else in a SERVER.DAT beside the program (programFolder), where older
// installations have it. These files are edited by hand: blank lines and
// lines beginning with '#' are skipped, and spaces around the folder dropped,
// so a file that is empty or holds only comments names no folder (and the
// next place is read). Returns true when one of them gave the data folder.
bool readAdminDataFolder(RunState &state, const QString &programFolder);
// The folder of the administrator's SERVER.DAT: /etc/velbor (tests point it
// at a folder of their own).
QString adminFolder();
void setAdminFolder(const QString &folder);
// The folder SERVER.DAT is to name for the next start: the one chosen during
// the run, else the configured one (even when it was unreachable this time),
// else the one in use.
QString nextDataFolder(const RunState &state);
// Writes MAXPRJ.DAT, then SERVER.DAT (nextDataFolder), each atomically,
// making the folder first when it is missing. Returns the error, empty on success.
QString write(const RunState &state, const QString &folder);
}
