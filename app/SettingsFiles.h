#pragma once
// SERVER.DAT (the data folder) and MAXPRJ.DAT (the component counter): one
// line each, CR LF, in the program's own folder.

#include "data/RunState.h"

namespace SettingsFiles {
// Reads both files into state; a file that is missing, empty, unreadable or
// not what it should be leaves its value as it was. Returns true when
// SERVER.DAT gave the data folder.
bool read(RunState &state, const QString &programFolder);
// The folder SERVER.DAT is to name for the next start: the one chosen during
// the run, else the configured one (even when it was unreachable this time),
// else the one in use.
QString nextDataFolder(const RunState &state);
// Writes MAXPRJ.DAT, then SERVER.DAT (nextDataFolder), each atomically.
// Returns the error, empty on success.
QString write(const RunState &state, const QString &programFolder);
}
