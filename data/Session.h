// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What one run of the program shares: the run-wide values and the archive.

#include "data/engines/Archive.h"
#include "data/RunState.h"

struct Session {
    RunState state;
    Archive archive;
};
