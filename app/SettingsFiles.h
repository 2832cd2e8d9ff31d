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
// Reads SERVER.DAT alone (an administrator's default beside an installed
// program); true when it gave the data folder.
bool readDataFolder(RunState &state, const QString &folder);
// The folder SERVER.DAT is to name for the next start: the one chosen during
// the run, else the configured one (even when it was unreachable this time),
// else the one in use.
QString nextDataFolder(const RunState &state);
// Writes MAXPRJ.DAT, then SERVER.DAT (nextDataFolder), each atomically,
// making the folder first when it is missing. Returns the error, empty on success.
QString write(const RunState &state, const QString &folder);
}
